// The BGRA converter against ffmpeg's own BT.601 limited-range conversion of the same frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "vscaler/convert/bgra_to_i420.h"

namespace orx::convert {
namespace {

using orx::test::PlanePsnr;
using orx::test::ProcessResult;
using orx::test::RunProcess;

bool ReadAll(const std::string& path, std::vector<uint8_t>& out) {
  std::string bytes;
  if (!orx::test::ReadFileBytes(path, bytes)) return false;
  out.assign(bytes.begin(), bytes.end());
  return true;
}

struct PlanePsnrs {
  double y = 0, cb = 0, cr = 0;
};

// Decodes the first frames of tree.avi to BGRA (top-down rows) at the given size, converts them
// with ours and with ffmpeg, and answers the worst PSNR of each plane over the frames.
PlanePsnrs CompareWithFfmpeg(int w, int h, int frames) {
  const std::string dir = orx::test::MakeTempDir("bgra_ffmpeg");
  const std::string bgra = dir + "/frames.bgra";
  const std::string yuv = dir + "/ffmpeg.yuv";
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  orx::test::RequireProgram("ffmpeg");
  ProcessResult decode = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", orx::test::MediaPath("tree.avi"),
                                     "-frames:v", std::to_string(frames), "-vf", "scale=" + size, "-f",
                                     "rawvideo", "-pix_fmt", "bgra", "-y", bgra});
  EXPECT_EQ(decode.exitCode, 0) << decode.err;
  ProcessResult convert = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "bgra",
                                      "-s", size, "-i", bgra, "-vf",
                                      "scale=out_color_matrix=bt601:out_range=tv", "-pix_fmt", "yuv420p",
                                      "-f", "rawvideo", "-y", yuv});
  EXPECT_EQ(convert.exitCode, 0) << convert.err;

  std::vector<uint8_t> source, reference;
  PlanePsnrs worst{1000, 1000, 1000};
  if (!ReadAll(bgra, source) || !ReadAll(yuv, reference)) {
    ADD_FAILURE() << "ffmpeg wrote no frames";
    return {};
  }
  const size_t area = static_cast<size_t>(w) * h;
  const size_t frameIn = 4 * area, frameOut = area + 2 * (area / 4);
  EXPECT_EQ(source.size(), frameIn * frames);
  EXPECT_EQ(reference.size(), frameOut * frames);
  std::vector<uint8_t> ours(frameOut);
  for (int f = 0; f < frames && (f + 1) * frameIn <= source.size() && (f + 1) * frameOut <= reference.size(); ++f) {
    PreprocBgraToI420(ours.data(), source.data() + f * frameIn, w, h, 0);
    const uint8_t* ref = reference.data() + f * frameOut;
    worst.y = std::min(worst.y, PlanePsnr(ours.data(), ref, area));
    worst.cb = std::min(worst.cb, PlanePsnr(ours.data() + area, ref + area, area / 4));
    worst.cr = std::min(worst.cr, PlanePsnr(ours.data() + area + area / 4, ref + area + area / 4, area / 4));
  }
  std::printf("%s: Y %.2f dB, Cb %.2f dB, Cr %.2f dB (worst frame)\n", size.c_str(), worst.y, worst.cb, worst.cr);
  return worst;
}

TEST(BgraAgainstFfmpeg, TreeFramesMatchBt601LimitedRange) {
  struct Size {
    int w, h, frames;
  };
  for (const Size& s : {Size{320, 240, 8}, Size{1920, 1080, 3}}) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    PlanePsnrs p = CompareWithFfmpeg(s.w, s.h, s.frames);
    EXPECT_GE(p.y, 45.0);
    EXPECT_GE(p.cb, 30.0);
    EXPECT_GE(p.cr, 30.0);
  }
}

}  // namespace
}  // namespace orx::convert
