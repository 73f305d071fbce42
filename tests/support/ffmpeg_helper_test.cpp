#include <gtest/gtest.h>

#include "tests/support/ffmpeg.h"

#include <cmath>
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

// ffmpeg encodes its own test pattern; the helper decodes it back and measures it.
TEST(FfmpegHelper, DecodesAnFfmpegStreamAndMeasuresIt) {
  std::string dir = MakeTempDir("ffmpeg");
  RawVideo source;
  std::string log;
  ASSERT_TRUE(GenerateLavfiVideo("testsrc2=size=176x144:rate=25", 12, source, &log)) << log;
  ASSERT_EQ(source.frames.size(), 12u);
  ASSERT_EQ(source.width, 176);
  ASSERT_EQ(source.height, 144);

  std::string y4m = dir + "/source.y4m";
  ASSERT_TRUE(WriteY4mFile(y4m, source, 25, 1));
  std::string stream = dir + "/pattern.m2v";
  ProcessResult enc = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", y4m, "-c:v",
                                  "mpeg2video", "-q:v", "3", "-y", stream});
  ASSERT_EQ(enc.exitCode, 0) << enc.err;

  auto info = ProbeStream(stream, "v:0", true);
  EXPECT_EQ(info["codec_name"], "mpeg2video");
  EXPECT_EQ(info["nb_read_frames"], "12");

  RawVideo decoded;
  ASSERT_TRUE(DecodeVideo(stream, decoded, {}, &log)) << log;
  EXPECT_EQ(decoded.frames.size(), 12u);
  PsnrReport psnr = ComparePsnr(source, decoded);
  EXPECT_EQ(psnr.frames, 12u);
  EXPECT_GT(psnr.lumaAverage, 30.0);
  EXPECT_GT(psnr.lumaMinimum, 30.0);
}

TEST(FfmpegHelper, BrokenInputFailsWithItsLog) {
  std::string dir = MakeTempDir("ffmpeg");
  std::string path = dir + "/garbage.m2v";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("this is not a video stream", f);
  std::fclose(f);
  RawVideo decoded;
  std::string log;
  EXPECT_FALSE(DecodeVideo(path, decoded, {}, &log));
  EXPECT_FALSE(log.empty());
}

TEST(FfmpegHelper, PsnrOfIdenticalAndDifferentPlanes) {
  std::vector<uint8_t> a(64, 100), b(64, 100);
  EXPECT_DOUBLE_EQ(PlanePsnr(a.data(), b.data(), a.size()), 100.0);
  b[0] = 101;  // mse 1/64
  EXPECT_NEAR(PlanePsnr(a.data(), b.data(), a.size()), 10 * std::log10(255.0 * 255.0 * 64), 1e-9);
}

TEST(TestMedia, SharedFootageIsReachable) {
  for (const char* name : {"box.mp4", "tree.avi", "building.jpg"}) {
    auto info = ProbeStream(MediaPath(name), "v:0");
    EXPECT_FALSE(info.empty()) << name;
  }
}

TEST(ProcessRunner, FeedsInputAndCollectsBothOutputs) {
  ProcessOptions options;
  options.input = std::string(200000, 'x');
  options.setEnv["ORX_PROBE"] = "value";
  ProcessResult r = RunProcess({"sh", "-c", "wc -c; echo $ORX_PROBE >&2; exit 3"}, options);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "200000\n");
  EXPECT_EQ(r.err, "value\n");
  EXPECT_FALSE(RunProcess({"no-such-program-here"}).started);
}

}  // namespace
}  // namespace orx::test
