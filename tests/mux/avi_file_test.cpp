// AVI files with the OpenDML extensions, written through qvacmux.so for the engine's AVI target
// (and by the multiplexer core with lowered limits), read back by ffprobe, ffmpeg and mkvmerge:
// the streams, their frame counts, every elementary byte, and the segments and indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "media/media_codes.h"
#include "mux/avi/avi_file_state.h"
#include "tests/mux/avi_fixtures.h"
#include "tests/mux/mp4_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/mux/own_encoder_fixtures.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

enum class Video { kNone, kOurMpeg2, kMpeg2, kMpeg4B2, kH264 };
enum class Audio { kNone, kOurMp2, kMp2, kMp3, kLpcm48 };

struct AviCase {
  const char* name;
  Video video;
  Audio audio;
};

void PrintTo(const AviCase& c, std::ostream* os) { *os << c.name; }

// The inputs of one row: the elementary streams, the formats on the pins, and what ffprobe and
// ffmpeg's copy must give back.
struct AviInputs {
  EsFixture video;
  EsFixture audio;
  ComponentRun run;
  const char* videoCodec = nullptr;
  const char* videoCopyFormat = nullptr;
  const char* audioCodec = nullptr;
  const char* audioCopyFormat = nullptr;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> videoEs;
  std::vector<uint8_t> audioEs;
};

int Frames() { return kOrxSanitizedBuild ? 15 : 30; }

AviInputs MakeAviInputs(const AviCase& c) {
  AviInputs in;
  in.run.outputType = QVA_MTYPE_AVI;
  const double seconds = Frames() / 25.0;
  switch (c.video) {
    case Video::kOurMpeg2:
      in.video = OurMpeg2Video(720, 576, 25000, Frames(), 6000000);
      in.run.video.format = in.video.format;
      in.videoCodec = "mpeg2video";
      in.width = 720;
      in.height = 576;
      break;
    case Video::kMpeg2:
      in.video = Mpeg2Video(720, 576, "25", Frames());
      in.run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV2, 720, 576, 25000, 8000000));
      in.videoCodec = "mpeg2video";
      in.width = 720;
      in.height = 576;
      break;
    case Video::kMpeg4B2:
      in.video = Mpeg4Video(352, 288, "25", Frames());
      in.run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV4, 352, 288, 25000, 2000000));
      in.videoCodec = "mpeg4";
      in.videoCopyFormat = "m4v";
      in.width = 352;
      in.height = 288;
      break;
    case Video::kH264: {
      const H264Stream h264 = MakeH264Stream({.width = 352, .height = 288, .rate = "25", .frames = Frames()});
      in.video.path = h264.path;
      in.video.samples = h264.buffers;
      in.run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_H264, 352, 288, 25000, 2000000));
      in.videoCodec = "h264";
      in.videoCopyFormat = "h264";
      in.width = 352;
      in.height = 288;
      break;
    }
    case Video::kNone: break;
  }
  if (in.videoCodec != nullptr && in.videoCopyFormat == nullptr) in.videoCopyFormat = "mpeg2video";
  if (c.video != Video::kNone) in.videoEs = Concatenate(in.video.samples);
  switch (c.audio) {
    case Audio::kOurMp2:
      in.audio = OurMp2Audio(seconds);
      in.run.audio.format = in.audio.format;
      in.audioCodec = "mp2";
      in.audioCopyFormat = "mp2";
      break;
    case Audio::kMp2:
      in.audio = Mp2Audio(48000, 192, seconds);
      in.run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000));
      in.audioCodec = "mp2";
      in.audioCopyFormat = "mp2";
      break;
    case Audio::kMp3:
      in.audio = Mp3Audio(48000, 128, seconds);
      in.run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_MPA3, 48000, 2, 128000));
      in.audioCodec = "mp3";
      in.audioCopyFormat = "mp3";
      break;
    case Audio::kLpcm48: {
      in.audio = PcmAudioBigEndian(seconds);
      in.run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_PCM, 48000, 2, 1536000));
      in.run.audio.littleEndian16 = true;
      in.audioCodec = "pcm_s16le";
      in.audioCopyFormat = "s16le";
      break;
    }
    case Audio::kNone: break;
  }
  if (c.audio != Audio::kNone) {
    in.audioEs = Concatenate(in.audio.samples);
    // A wave file's samples are little-endian.
    if (c.audio == Audio::kLpcm48)
      for (size_t i = 0; i + 1 < in.audioEs.size(); i += 2) std::swap(in.audioEs[i], in.audioEs[i + 1]);
  }
  if (c.video != Video::kNone) in.run.video.samples = &in.video.samples;
  if (c.audio != Audio::kNone) in.run.audio.samples = &in.audio.samples;
  return in;
}

size_t PictureCount(const std::vector<EsSample>& samples) {
  return static_cast<size_t>(std::count_if(samples.begin(), samples.end(), [](const EsSample& s) { return s.timed; }));
}

class AviComponentFiles : public ::testing::TestWithParam<AviCase> {};

TEST_P(AviComponentFiles, ReadBackWhole) {
  const AviCase& c = GetParam();
  AviInputs in = MakeAviInputs(c);
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, in.run, sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, 0);
  ASSERT_TRUE(result.ended) << "no end of stream reached the sink";
  const std::vector<uint8_t> bytes = sink.Bytes();
  const std::string path = orx::test::MakeTempDir("avi") + "/out.avi";
  ASSERT_TRUE(WriteBytes(path, bytes));

  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items)) << "a chunk runs past its list";
  EXPECT_EQ(orx::test::ProbeFormat(path)["format_name"], "avi");
  EXPECT_EQ(DecodeErrors(path), "");
  const size_t streams = (c.video != Video::kNone ? 1 : 0) + (c.audio != Audio::kNone ? 1 : 0);
  // mkvmerge reads no AVI without a video stream (nor ffmpeg's own).
  if (c.video != Video::kNone) {
    EXPECT_EQ(MkvmergeTracks(path).size(), streams) << "mkvmerge identifies every track";
  }
  if (c.video != Video::kNone) {
    auto probe = orx::test::ProbeStream(path, "v:0", true);
    EXPECT_EQ(probe["codec_name"], in.videoCodec);
    EXPECT_EQ(probe["width"], std::to_string(in.width));
    EXPECT_EQ(probe["height"], std::to_string(in.height));
    EXPECT_EQ(probe["r_frame_rate"], "25/1");
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(PictureCount(in.video.samples)));
    EXPECT_TRUE(CopyStream(path, "0:v:0", in.videoCopyFormat) == in.videoEs) << "the video comes back changed";
    EXPECT_EQ(CountRiff(items, "ix00"), 1u);
  }
  if (c.audio != Audio::kNone) {
    auto probe = orx::test::ProbeStream(path, "a:0");
    EXPECT_EQ(probe["codec_name"], in.audioCodec);
    EXPECT_EQ(probe["sample_rate"], "48000");
    EXPECT_EQ(probe["channels"], "2");
    EXPECT_TRUE(CopyStream(path, "0:a:0", in.audioCopyFormat) == in.audioEs) << "the audio comes back changed";
    const bool alone = c.video == Video::kNone;
    EXPECT_EQ(CountRiff(items, alone ? "00wb" : "01wb"), in.audio.samples.size());
    EXPECT_EQ(CountRiff(items, alone ? "ix00" : "ix01"), 1u);
  }
  EXPECT_EQ(CountRiff(items, "idx1"), 1u);
  EXPECT_EQ(CountRiff(items, "indx"), streams);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AviComponentFiles,
    ::testing::Values(AviCase{"OurMpeg2_OurMp2", Video::kOurMpeg2, Audio::kOurMp2},
                      AviCase{"Mpeg4B2_Mp3", Video::kMpeg4B2, Audio::kMp3},
                      AviCase{"H264_Mp3", Video::kH264, Audio::kMp3},
                      AviCase{"Mpeg2_Lpcm48", Video::kMpeg2, Audio::kLpcm48},
                      AviCase{"VideoOnly_Mpeg2", Video::kMpeg2, Audio::kNone},
                      AviCase{"AudioOnly_Mp2", Video::kNone, Audio::kMp2}),
    [](const ::testing::TestParamInfo<AviCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::mux::test
