// The other sample entries of the MP4 and QuickTime writer, written by the multiplexer core from
// ffmpeg-made streams and read back by ffprobe and ffmpeg: MPEG-4 Part 2 ("mp4v" with its
// decoder configuration) in the MP4 form, MPEG-2 video ("mpeg"), MP3 (".mp3") and big-endian
// 16-bit PCM ("twos").
#include <gtest/gtest.h>

#include "mux/core/mux_interfaces.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mp4_file_checks.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

enum class SideVideo { kNone, kMpeg4, kMpeg2 };
enum class SideAudio { kNone, kMp3, kPcm };

struct SideCase {
  const char* name;
  uint32_t muxType;
  SideVideo video;
  SideAudio audio;
  const char* videoCodec;
  const char* audioCodec;
  const char* entry;  // the sample entry's format
};

void PrintTo(const SideCase& c, std::ostream* os) { *os << c.name; }

class Mp4SideRoads : public ::testing::TestWithParam<SideCase> {};

TEST_P(Mp4SideRoads, FfmpegReadsTheEntry) {
  const SideCase& c = GetParam();
  EsFixture video;
  EsFixture audio;
  CoreRun run;
  run.muxType = c.muxType;
  run.videoFormat.width = 720;
  run.videoFormat.height = 480;
  run.videoFormat.frameRateNum = 25000;
  run.videoFormat.frameRateDen = 1000;
  if (c.video == SideVideo::kMpeg4) {
    video.path = MakeEsFile("mpeg4-480p-25.m4v", {"-f", "lavfi", "-i", "testsrc2=size=720x480:rate=25", "-frames:v",
                                                  "25", "-c:v", "mpeg4", "-bf", "0", "-g", "12", "-b:v", "3M",
                                                  "-f", "m4v"});
    video.samples = SplitVideoByProbe(video.path, 25.0);
  } else if (c.video == SideVideo::kMpeg2) {
    video = Mpeg2Video(720, 480, "25", 25);
  }
  if (c.audio == SideAudio::kMp3) {
    audio.path = MakeEsFile("mp3-48k-128.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-ac",
                                                "2", "-t", "1", "-c:a", "libmp3lame", "-b:a", "128k",
                                                "-write_xing", "0", "-id3v2_version", "0", "-f", "mp3"});
    audio.samples = SplitAudioByProbe(audio.path, 1152.0 / 48000);
    run.audioClass = kAudioClassMpeg;
  } else if (c.audio == SideAudio::kPcm) {
    audio = PcmAudioBigEndian(1.0);
    run.audioClass = kAudioClassLpcm;
  }
  if (c.video != SideVideo::kNone) run.video = &video.samples;
  if (c.audio != SideAudio::kNone) run.audio = &audio.samples;
  const std::vector<uint8_t> bytes = RunMp4Core(run);
  ASSERT_FALSE(bytes.empty());
  const std::string path = orx::test::MakeTempDir("mp4-side") + "/out.mov";
  ASSERT_TRUE(WriteBytes(path, bytes));

  EXPECT_EQ(DecodeErrors(path), "");
  const Mp4BoxTree tree = ReadMp4Boxes(bytes);
  if (c.video != SideVideo::kNone) {
    auto stream = orx::test::ProbeStream(path, "v:0");
    EXPECT_EQ(stream["codec_name"], c.videoCodec);
    EXPECT_EQ(stream["width"], "720");
    EXPECT_EQ(ProbePackets(path, "v:0").size(), video.samples.size());
  }
  if (c.audio != SideAudio::kNone) {
    auto stream = orx::test::ProbeStream(path, "a:0");
    EXPECT_EQ(stream["codec_name"], c.audioCodec);
    EXPECT_EQ(stream["sample_rate"], "48000");
    EXPECT_EQ(stream["channels"], "2");
    const std::vector<uint8_t> copied = CopyStream(path, "0:a", c.audio == SideAudio::kMp3 ? "mp3" : "s16be");
    EXPECT_TRUE(copied == Concatenate(audio.samples)) << copied.size() << " bytes of " << audio.bytes.size();
  }
  // The first track's sample entry: the video one where there is video.
  const Mp4Box* box = tree.Find("moov/trak[0]/mdia/minf/stbl/stsd");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(box->payload + 12),
                        bytes.begin() + static_cast<long>(box->payload + 16)),
            c.entry);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Mp4SideRoads,
    ::testing::Values(SideCase{"Mpeg4InMp4", kMuxMp4, SideVideo::kMpeg4, SideAudio::kNone, "mpeg4", "", "mp4v"},
                      SideCase{"Mpeg2WithMp3", kMuxQuickTime, SideVideo::kMpeg2, SideAudio::kMp3, "mpeg2video",
                               "mp3", "mpeg"},
                      SideCase{"PcmOnly", kMuxQuickTime, SideVideo::kNone, SideAudio::kPcm, "", "pcm_s16be", "twos"}),
    [](const ::testing::TestParamInfo<SideCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::mux::test
