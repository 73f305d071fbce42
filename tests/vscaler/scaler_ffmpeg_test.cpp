// The scaler core on real footage against ffmpeg: host frames (BGRA, stored bottom-up) of
// tree.avi at 1920x1080 scaled to 720x480 decode as raw 4:2:0 and come close to ffmpeg's own
// nearest-neighbour scaling of the same source. Loose by design (ffmpeg samples at another
// phase); it catches plane order, flips and colour errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "vscaler/video_scaler.h"

namespace orx::vscaler {
namespace {

using orx::test::ProcessResult;
using orx::test::RunProcess;

TEST(ScalerAgainstFfmpeg, HostFramesScaledTo720x480) {
  const int frames = kOrxSanitizedBuild ? 8 : 30;
  const std::string dir = orx::test::MakeTempDir("scaler_ffmpeg");
  const std::string tree = orx::test::MediaPath("tree.avi");
  const std::string bgra = dir + "/host.bgra", ours = dir + "/scaled.yuv";
  orx::test::RequireProgram("ffmpeg");
  // Host frames are stored bottom-up: vflip gives that memory order.
  ProcessResult decode = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", tree, "-frames:v",
                                     std::to_string(frames), "-vf", "scale=1920:1080,vflip", "-f", "rawvideo",
                                     "-pix_fmt", "bgra", "-y", bgra});
  ASSERT_EQ(decode.exitCode, 0) << decode.err;
  std::string host;
  ASSERT_TRUE(orx::test::ReadFileBytes(bgra, host));
  const size_t frameIn = static_cast<size_t>(4) * 1920 * 1080;
  ASSERT_EQ(host.size(), frameIn * frames);

  VideoMediaType in{}, out{};
  in.size = out.size = sizeof(VideoMediaType);
  in.MType = out.MType = QVA_MTYPE_VIDEO;
  in.subtype = QVA_MSUBTYPE_BGRA;
  in.width = in.secondWidth = 1920;
  in.height = in.secondHeight = 1080;
  out.subtype = QVA_MSUBTYPE_YUV420;
  out.width = out.secondWidth = 720;
  out.height = out.secondHeight = 480;
  ASSERT_EQ(Scaler_CheckFormats(in, &out), kScalerOk);
  VideoScaler* scaler = Scaler_Create();
  ASSERT_EQ(Scaler_Setup(scaler, kScaleModeResize, &in, &out), kScalerOk);
  orx::test::RawVideo scaled;
  scaled.width = 720;
  scaled.height = 480;
  for (int f = 0; f < frames; ++f) {
    std::vector<uint8_t> frame(PlanarBytes(720 * 480));
    uint32_t length = 0;
    ASSERT_EQ(Scaler_ScaleFrame(scaler, reinterpret_cast<const uint8_t*>(host.data()) + f * frameIn,
                                static_cast<uint32_t>(frameIn), frame.data(), static_cast<uint32_t>(frame.size()),
                                &length),
              ScaleOutcome::kScaled);
    ASSERT_EQ(length, 518400u);
    scaled.frames.push_back(std::move(frame));
  }
  Scaler_Destroy(scaler);
  ASSERT_TRUE(orx::test::WriteRawFile(ours, scaled));

  // ffmpeg reads our frames back as raw 4:2:0 ...
  orx::test::RawVideo decoded, reference;
  std::string log;
  orx::test::DecodeOptions raw;
  raw.inputArgs = {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "720x480"};
  ASSERT_TRUE(orx::test::DecodeVideo(ours, decoded, raw, &log)) << log;
  EXPECT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
  // ... and scales the same source itself.
  orx::test::DecodeOptions neighbour;
  neighbour.outputArgs = {"-frames:v", std::to_string(frames), "-vf", "scale=1920:1080,scale=720:480:flags=neighbor"};
  ASSERT_TRUE(orx::test::DecodeVideo(tree, reference, neighbour, &log)) << log;
  orx::test::PsnrReport psnr = orx::test::ComparePsnr(reference, decoded);
  std::printf("scaled against ffmpeg neighbour: Y %.2f dB (worst %.2f), chroma %.2f dB over %zu frames\n",
              psnr.lumaAverage, psnr.lumaMinimum, psnr.chromaAverage, psnr.frames);
  EXPECT_EQ(psnr.frames, static_cast<size_t>(frames));
  EXPECT_GE(psnr.lumaAverage, 25.0);
}

}  // namespace
}  // namespace orx::vscaler
