// MP4 and QuickTime files with H.264 and AAC, written through qvacmux.so (as an export drives
// it) and by the multiplexer core, read back by ffprobe, ffmpeg and faad: the container, the
// streams, every picture's time and key flag, the slices and AAC blocks byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "media/media_codes.h"
#include "tests/mux/mp4_file_checks.h"
#include "tests/mux/mp4_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

enum class Audio { kNone, kAac48Stereo128, kAac44Mono96 };
enum class Header { kAnnexB3, kAvcC };

struct Mp4Case {
  const char* name;
  bool video = true;
  H264Options h264;
  Audio audio = Audio::kAac48Stereo128;
  Header header = Header::kAnnexB3;
  bool releaseOnly = false;
};

void PrintTo(const Mp4Case& c, std::ostream* os) { *os << c.name; }

AacStream MakeAudio(Audio audio, double seconds) {
  if (audio == Audio::kAac44Mono96) return MakeAacStream(44100, 1, 96, seconds);
  return MakeAacStream(48000, 2, 128, seconds);
}

class Mp4ComponentFiles : public ::testing::TestWithParam<Mp4Case> {};

TEST_P(Mp4ComponentFiles, FfmpegReadsWhatWentIn) {
  const Mp4Case& c = GetParam();
  if (c.releaseOnly) ORX_RELEASE_ONLY();
  H264Stream video;
  AacStream audio;
  double seconds = 1.0;
  if (c.video) {
    video = MakeH264Stream(c.h264);
    seconds = static_cast<double>(c.h264.frames) / video.frameRate;
  }
  if (c.audio != Audio::kNone) audio = MakeAudio(c.audio, seconds);

  const ComponentRun run = MakeMp4ComponentRun(c.video ? &video : nullptr, c.header == Header::kAvcC,
                                                c.audio != Audio::kNone ? &audio : nullptr);
  const std::string dir = orx::test::MakeTempDir("mp4");
  const std::string path = dir + "/out.mov";
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, run, sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, 0);
  ASSERT_TRUE(result.ended) << "no end of stream reached the sink";
  const std::vector<uint8_t> bytes = sink.Bytes();
  ASSERT_TRUE(WriteBytes(path, bytes));
  EXPECT_EQ(sink.Seeks(), 1u) << "the file header is rewritten once, at the end";

  Mp4Expectation expect;
  expect.majorBrand = "qt  ";
  if (c.video) expect.video = &video;
  if (c.audio != Audio::kNone) expect.audio = &audio;
  CheckMp4File(path, expect);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Mp4ComponentFiles,
    ::testing::Values(
        Mp4Case{.name = "High2B_480p_Aac48Stereo_AnnexB", .h264 = {}},
        Mp4Case{.name = "High2B_480p_Aac48Stereo_AvcC", .h264 = {}, .header = Header::kAvcC},
        Mp4Case{.name = "NoB_720p25_Aac44Mono",
                .h264 = {.width = 1280, .height = 720, .rate = "25", .bFrames = 0},
                .audio = Audio::kAac44Mono96, .releaseOnly = true},
        Mp4Case{.name = "High2B_720p25_Aac48Stereo_AvcC",
                .h264 = {.width = 1280, .height = 720, .rate = "25"},
                .header = Header::kAvcC, .releaseOnly = true},
        Mp4Case{.name = "Intra_480p_VideoOnly", .h264 = {.bFrames = 0, .intraOnly = true}, .audio = Audio::kNone},
        Mp4Case{.name = "High2B_480p_VideoOnly_AvcC", .h264 = {}, .audio = Audio::kNone, .header = Header::kAvcC},
        Mp4Case{.name = "AudioOnly_Aac44Mono", .video = false, .h264 = {}, .audio = Audio::kAac44Mono96}),
    [](const ::testing::TestParamInfo<Mp4Case>& info) { return std::string(info.param.name); });

// The ISO forms, which the component reaches only for MPEG-4 Part 2 (type 10) or never (type 11),
// written by the core with the same streams.
struct IsoCase {
  const char* name;
  uint32_t muxType;
  const char* majorBrand;
};

void PrintTo(const IsoCase& c, std::ostream* os) { *os << c.name; }

class Mp4IsoForms : public ::testing::TestWithParam<IsoCase> {};

TEST_P(Mp4IsoForms, FfmpegReadsThem) {
  const IsoCase& c = GetParam();
  const H264Stream video = MakeH264Stream({});
  const AacStream audio = MakeAacStream(48000, 2, 128, 30 / video.frameRate);
  std::vector<EsSample> samples;
  const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(c.muxType, &video, &audio, samples));
  ASSERT_FALSE(bytes.empty());
  const std::string path = orx::test::MakeTempDir("mp4-iso") + "/out.mp4";
  ASSERT_TRUE(WriteBytes(path, bytes));
  Mp4Expectation expect;
  expect.majorBrand = c.majorBrand;
  expect.video = &video;
  expect.audio = &audio;
  CheckMp4File(path, expect);

  // Where the portable form puts its own boxes: the profile box after ftyp, an edit list in
  // each track after tkhd, the metadata box closing each track.
  const Mp4BoxTree tree = ReadMp4Boxes(bytes);
  const bool portable = c.muxType == kMuxMp4Portable;
  EXPECT_EQ(tree.Path(1), portable ? "uuid" : "mdat");
  for (int track = 0; track < 2; ++track) {
    const std::string trak = "moov/trak[" + std::to_string(track) + "]";
    EXPECT_EQ(tree.ChildTypes(trak), portable ? "tkhd edts mdia uuid" : track == 0 ? "tkhd edts mdia" : "tkhd mdia")
        << trak;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Mp4IsoForms,
                         ::testing::Values(IsoCase{"Mp4", kMuxMp4, "isom"},
                                           IsoCase{"PortableMp4", kMuxMp4Portable, "MSNV"}),
                         [](const ::testing::TestParamInfo<IsoCase>& info) { return std::string(info.param.name); });

// The file the component writes itself (QVAComp_OpenURL) and the one a writer makes of its
// output buffers, seeks included, are the same file.
TEST(Mp4ComponentOutputs, FileAndPinGiveTheSameBytes) {
  const H264Stream video = MakeH264Stream({});
  const AacStream audio = MakeAacStream(48000, 2, 128, 30 / video.frameRate);
  const ComponentRun base = MakeMp4ComponentRun(&video, false, &audio);
  MuxLibrary library;
  MuxSink pinSink;
  ComponentResult pinResult;
  RunComponent(library, base, pinSink, pinResult);
  ASSERT_EQ(pinResult.errorStatus, 0);

  const std::string path = orx::test::MakeTempDir("mp4-file") + "/out.mov";
  ComponentRun fileRun = base;
  fileRun.url = "file:/" + path;  // the prefix is cut
  MuxSink fileSink;
  ComponentResult fileResult;
  RunComponent(library, fileRun, fileSink, fileResult);
  ASSERT_EQ(fileResult.errorStatus, 0);
  EXPECT_EQ(fileSink.DataBuffers(), 0u) << "with a file open nothing goes to output pin 0";
  const std::vector<uint8_t> file = ReadBytes(path);
  const std::vector<uint8_t> pin = pinSink.Bytes();
  ASSERT_FALSE(file.empty());
  EXPECT_TRUE(WithoutTimes(file) == WithoutTimes(pin)) << file.size() << " bytes in the file, " << pin.size()
                                                       << " through the pin";
}

}  // namespace
}  // namespace orx::mux::test
