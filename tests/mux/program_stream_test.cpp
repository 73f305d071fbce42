// Program streams written by the multiplexer core, read back by ffprobe, ffmpeg and dvdauthor.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

const std::vector<uint8_t> kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

enum class AudioKind { kNone, kMp2, kAc3, kLpcm };

struct DvdCase {
  const char* name;
  int width;
  int height;
  const char* rate;
  bool video;
  AudioKind audio;
  const char* dvdFormat;  // VIDEO_FORMAT for dvdauthor, or null to skip it
};

void PrintTo(const DvdCase& c, std::ostream* os) { *os << c.name; }

class DvdProgramStream : public ::testing::TestWithParam<DvdCase> {};

TEST_P(DvdProgramStream, ReadsBackExactly) {
  const DvdCase& c = GetParam();
  const double seconds = 1.0;
  EsFixture video;
  if (c.video) video = Mpeg2Video(c.width, c.height, c.rate, c.height == 576 ? 25 : 30);
  EsFixture audio;
  CoreRun run;
  run.muxType = kMuxDvd;
  switch (c.audio) {
    case AudioKind::kMp2: audio = Mp2Audio(48000, 192, seconds); break;
    case AudioKind::kAc3:
      audio = Ac3Audio(seconds);
      run.audioClass = kAudioClassAc3;
      break;
    case AudioKind::kLpcm:
      audio = PcmAudioBigEndian(seconds);
      run.audioClass = kAudioClassLpcm;
      break;
    case AudioKind::kNone: break;
  }
  if (c.video) {
    run.video = &video.samples;
    // The harness's own split agrees with ffprobe's picture count.
    auto probe = orx::test::ProbeStream(video.path, "v:0", true);
    ASSERT_EQ(std::to_string(video.samples.size()), probe["nb_read_frames"]);
  }
  if (c.audio != AudioKind::kNone) run.audio = &audio.samples;
  MemoryBitStream out;
  ASSERT_TRUE(RunCore(run, out));
  ASSERT_EQ(out.segments.size(), 1u);
  const std::vector<uint8_t>& bytes = out.segments[0];
  const std::string path = orx::test::MakeTempDir("dvd") + "/out.mpg";
  ASSERT_TRUE(WriteBytes(path, bytes));

  // Pack structure: 2048-byte packs, SCR never decreasing, the DVD system header first.
  ASSERT_EQ(bytes.size() % 2048, 0u);
  const ProgramStreamWalk walk = WalkProgramStream(bytes, 2048);
  EXPECT_TRUE(walk.everyPackStartsWithBa);
  EXPECT_TRUE(walk.scrNeverDecreases);
  ASSERT_TRUE(walk.firstPackHasSystemHeader);
  EXPECT_GE(walk.muxRate, 1260000u);
  EXPECT_GE(walk.systemRateBound, 1260000u);
  const std::vector<uint8_t>& entries = walk.firstSystemHeaderEntries;
  ASSERT_GE(entries.size(), 3u);
  if (c.video) {
    EXPECT_EQ(entries[0], 0xB9);
    EXPECT_GE((entries[1] & 0x1F) << 8 | entries[2], 232);
    EXPECT_EQ(entries[1] & 0x20, 0x20);  // 1024-byte units
  }
  bool audioEntry = false;
  for (size_t i = 0; i + 3 <= entries.size(); i += 3) audioEntry = audioEntry || entries[i] == 0xB8;
  if (c.audio != AudioKind::kNone) {
    EXPECT_TRUE(audioEntry);
  }
  EXPECT_EQ(walk.endCodes, 1u);

  EXPECT_EQ(DecodeErrors(path), "");
  if (c.video) {
    auto probe = orx::test::ProbeStream(path, "v:0");
    EXPECT_EQ(probe["codec_name"], "mpeg2video");
    std::vector<uint8_t> expected = video.bytes;
    expected.insert(expected.end(), kSequenceEnd.begin(), kSequenceEnd.end());
    EXPECT_TRUE(CopyStream(path, "0:v", "mpeg2video") == expected) << "video does not round-trip";
    // Packet PTS equal the harness's stamps (in decode order) to within 1 ms.
    const std::vector<double> pts = ProbePacketPts(path, "v:0");
    ASSERT_EQ(pts.size(), video.samples.size());
    const double first = static_cast<double>(video.samples[0].timeMs);
    for (size_t i = 0; i < pts.size(); ++i)
      EXPECT_NEAR(pts[i] - pts[0], static_cast<double>(video.samples[i].timeMs) - first, 1.0) << i;
  }
  switch (c.audio) {
    case AudioKind::kMp2:
      EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "mp2");
      EXPECT_TRUE(CopyStream(path, "0:a", "mp2") == audio.bytes) << "MP2 does not round-trip";
      break;
    case AudioKind::kAc3:
      EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "ac3");
      EXPECT_TRUE(CopyStream(path, "0:a", "ac3") == audio.bytes) << "AC-3 does not round-trip";
      break;
    case AudioKind::kLpcm: {
      EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "pcm_dvd");
      auto decoded = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a",
                                            "-f", "s16be", "-"});
      ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
      EXPECT_TRUE(std::vector<uint8_t>(decoded.out.begin(), decoded.out.end()) == audio.bytes)
          << "LPCM decodes to " << decoded.out.size() << " bytes, not the " << audio.bytes.size() << " put in";
      break;
    }
    case AudioKind::kNone: break;
  }
  if (c.dvdFormat) {
    EXPECT_EQ(DvdauthorErrors(path, c.dvdFormat), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Core, DvdProgramStream,
    ::testing::Values(DvdCase{"Ntsc_Mp2", 720, 480, "30000/1001", true, AudioKind::kMp2, "NTSC"},
                      DvdCase{"Pal_Mp2", 720, 576, "25", true, AudioKind::kMp2, "PAL"},
                      DvdCase{"VideoOnly", 720, 480, "30000/1001", true, AudioKind::kNone, nullptr},
                      DvdCase{"AudioOnly", 0, 0, "", false, AudioKind::kMp2, nullptr},
                      DvdCase{"Ntsc_Ac3", 720, 480, "30000/1001", true, AudioKind::kAc3, "NTSC"},
                      DvdCase{"Ntsc_Lpcm", 720, 480, "30000/1001", true, AudioKind::kLpcm, "NTSC"}),
    [](const ::testing::TestParamInfo<DvdCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::mux::test
