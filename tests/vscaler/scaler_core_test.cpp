// The scaler core without the framework: formats, conversion plus resize, NV12, copy mode and
// the failure outcomes the component reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "tests/vscaler/video_format.h"
#include "tests/vscaler/closed_form_resize.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/video_scaler.h"

namespace orx::vscaler {
namespace {

using test::VideoFormat;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

struct ScalerDeleter {
  void operator()(VideoScaler* s) const { Scaler_Destroy(s); }
};
using ScalerPtr = std::unique_ptr<VideoScaler, ScalerDeleter>;

ScalerPtr SetUpScaler(const VideoMediaType& in, const VideoMediaType& out, uint32_t mode = kScaleModeResize) {
  ScalerPtr scaler(Scaler_Create());
  EXPECT_EQ(Scaler_CheckFormats(in, &out), kScalerOk);
  EXPECT_EQ(Scaler_Setup(scaler.get(), mode, &in, &out), kScalerOk);
  return scaler;
}

std::vector<uint8_t> Scale(VideoScaler* scaler, const std::vector<uint8_t>& in, size_t capacity, ScaleOutcome expected) {
  std::vector<uint8_t> out(capacity, 0xEE);
  uint32_t length = 12345;
  EXPECT_EQ(Scaler_ScaleFrame(scaler, in.data(), static_cast<uint32_t>(in.size()), out.data(),
                              static_cast<uint32_t>(out.size()), &length),
            expected);
  out.resize(length);
  return out;
}

TEST(ScalerCore, PlanarUpscaleIsTheClosedFormOfEachPlane) {
  auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480), VideoFormat(QVA_MSUBTYPE_YUV420, 1920, 1080));
  std::vector<uint8_t> in = RandomBytes(PlanarBytes(720 * 480), 3);
  std::vector<uint8_t> out = Scale(scaler.get(), in, PlanarBytes(1920 * 1080), ScaleOutcome::kScaled);
  ASSERT_EQ(out.size(), 3110400u);
  EXPECT_EQ(out, test::ClosedFormPlanar(in.data(), 720, 480, 720, 480, 1920, 1080));
}

TEST(ScalerCore, EqualFormatsGiveTheInputBack) {
  auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_YUV420, 64, 32), VideoFormat(QVA_MSUBTYPE_YUV420, 64, 32));
  std::vector<uint8_t> in = RandomBytes(PlanarBytes(64 * 32), 4);
  EXPECT_EQ(Scale(scaler.get(), in, in.size(), ScaleOutcome::kScaled), in);
}

// Host frames: BGRA stored bottom-up, with or without padded rows (pitch 1928, picture 1920).
TEST(ScalerCore, BgraIsConvertedBottomUpThenResized) {
  for (uint32_t pitch : {1920u, 1928u}) {
    SCOPED_TRACE("pitch " + std::to_string(pitch));
    auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_BGRA, pitch, 1080, 1920, 1080), VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480));
    std::vector<uint8_t> in = RandomBytes(static_cast<size_t>(4) * pitch * 1080, pitch);
    std::vector<uint8_t> out = Scale(scaler.get(), in, PlanarBytes(720 * 480), ScaleOutcome::kScaled);
    ASSERT_EQ(out.size(), 518400u);
    std::vector<uint8_t> converted(PlanarBytes(static_cast<size_t>(pitch) * 1080));
    convert::PreprocBgraToI420(converted.data(), in.data(), static_cast<int>(pitch), 1080, 1);
    EXPECT_EQ(out, test::ClosedFormPlanar(converted.data(), static_cast<int>(pitch), 1080, 1920, 1080, 720, 480));
  }
}

TEST(ScalerCore, Nv12KeepsItsInterleavedChroma) {
  const int w = 64, h = 32, ow = 40, oh = 24;
  auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_NV12, w, h), VideoFormat(QVA_MSUBTYPE_NV12, ow, oh));
  std::vector<uint8_t> in = RandomBytes(PlanarBytes(w * h), 6);
  // Chroma pairs: Cb counts the pair's column, Cr is always 200.
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) {
      in[w * h + y * w + 2 * x] = static_cast<uint8_t>(x);
      in[w * h + y * w + 2 * x + 1] = 200;
    }
  std::vector<uint8_t> out = Scale(scaler.get(), in, PlanarBytes(ow * oh), ScaleOutcome::kScaled);
  ASSERT_EQ(out.size(), PlanarBytes(ow * oh));
  for (int y = 0; y < oh / 2; ++y)
    for (int x = 0; x < ow / 2; ++x) {
      EXPECT_EQ(out[ow * oh + y * ow + 2 * x], x * (w / 2) / (ow / 2)) << x << "," << y;
      EXPECT_EQ(out[ow * oh + y * ow + 2 * x + 1], 200) << x << "," << y;
    }
  std::vector<uint8_t> luma(static_cast<size_t>(ow) * oh);
  test::ClosedFormResize(in.data(), 1, w, h, w, luma.data(), ow, oh, ow);
  EXPECT_TRUE(std::equal(luma.begin(), luma.end(), out.begin()));
}

TEST(ScalerCore, CopyModeCropsAndPadsWithGrey) {
  const int w = 8, h = 4, ow = 4, oh = 8;
  auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_YUV420, w, h), VideoFormat(QVA_MSUBTYPE_YUV420, ow, oh), 0);
  std::vector<uint8_t> in = RandomBytes(PlanarBytes(w * h), 7);
  std::vector<uint8_t> out = Scale(scaler.get(), in, PlanarBytes(ow * oh), ScaleOutcome::kScaled);
  ASSERT_EQ(out.size(), PlanarBytes(ow * oh));
  struct PlaneCase {
    size_t inOffset, outOffset;
    int inPitch, outPitch, inRows, outRows;
  };
  const PlaneCase planes[] = {{0, 0, w, ow, h, oh},
                              {w * h, ow * oh, w / 2, ow / 2, h / 2, oh / 2},
                              {w * h + w * h / 4, ow * oh + ow * oh / 4, w / 2, ow / 2, h / 2, oh / 2}};
  for (const PlaneCase& p : planes)
    for (int y = 0; y < p.outRows; ++y)
      for (int x = 0; x < p.outPitch; ++x)
        EXPECT_EQ(out[p.outOffset + y * p.outPitch + x], y < p.inRows ? in[p.inOffset + y * p.inPitch + x] : 128);
}

TEST(ScalerCore, FaultOutcomes) {
  // No format change yet: the frame leaves empty.
  ScalerPtr fresh(Scaler_Create());
  std::vector<uint8_t> frame = RandomBytes(PlanarBytes(16 * 16), 8);
  EXPECT_TRUE(Scale(fresh.get(), frame, frame.size(), ScaleOutcome::kNotReady).empty());

  auto scaler = SetUpScaler(VideoFormat(QVA_MSUBTYPE_YUV420, 16, 16), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 16));
  // Output one byte short of the 4:2:0 frame.
  EXPECT_TRUE(Scale(scaler.get(), frame, PlanarBytes(32 * 16) - 1, ScaleOutcome::kShortOutput).empty());
  // Input shorter than its format's frame is not read.
  std::vector<uint8_t> shortFrame(frame.begin(), frame.end() - 1);
  EXPECT_TRUE(Scale(scaler.get(), shortFrame, PlanarBytes(32 * 16), ScaleOutcome::kShortInput).empty());

  // A conversion buffer that cannot be had fails the set-up with 4 and leaves the scaler unready.
  ScalerPtr starved(Scaler_Create());
  Scaler_SetAllocatorForTesting([](size_t) -> void* { return nullptr; });
  VideoMediaType bgra = VideoFormat(QVA_MSUBTYPE_BGRA, 16, 16), planar = VideoFormat(QVA_MSUBTYPE_YUV420, 16, 16);
  EXPECT_EQ(Scaler_Setup(starved.get(), kScaleModeResize, &bgra, &planar), kScalerNoMemory);
  Scaler_SetAllocatorForTesting(nullptr);
  EXPECT_EQ(starved->ready, 0u);
  std::vector<uint8_t> bgraFrame = RandomBytes(4 * 16 * 16, 9);
  EXPECT_TRUE(Scale(starved.get(), bgraFrame, PlanarBytes(16 * 16), ScaleOutcome::kNotReady).empty());
}

TEST(ScalerCore, FormatTable) {
  struct Row {
    const char* name;
    VideoMediaType in, out;
    uint32_t status;
  };
  const Row rows[] = {
      {"BGRA to planar", VideoFormat(QVA_MSUBTYPE_BGRA, 1920, 1080), VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480), 0},
      {"packed 4:4:4 to planar", VideoFormat(QVA_MSUBTYPE_YUV444I, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 0},
      {"NV12 to NV12", VideoFormat(QVA_MSUBTYPE_NV12, 64, 64), VideoFormat(QVA_MSUBTYPE_NV12, 32, 32), 0},
      {"planar 1366 wide", VideoFormat(QVA_MSUBTYPE_YUV420, 1366, 768), VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480), 0},
      {"packed 4:2:2 input", VideoFormat(QVA_MSUBTYPE_YUV422I, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"NV12 to planar", VideoFormat(QVA_MSUBTYPE_NV12, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"0x81013 input", VideoFormat(QVA_MSUBTYPE_VUYA_FLOAT, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"planar to NV12", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64), VideoFormat(QVA_MSUBTYPE_NV12, 32, 32), 40},
      {"BGRA output", VideoFormat(QVA_MSUBTYPE_BGRA, 64, 64), VideoFormat(QVA_MSUBTYPE_BGRA, 32, 32), 40},
      {"input picture wider than its frame", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64, 66, 64),
       VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"output picture taller than its frame", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64),
       VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32, 32, 34), 40},
      {"odd input width", VideoFormat(QVA_MSUBTYPE_YUV420, 63, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"odd output height", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 31), 40},
      {"odd picture", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64, 63, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"zero input height", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 0, 64, 2), VideoFormat(QVA_MSUBTYPE_YUV420, 32, 32), 40},
      {"zero output width", VideoFormat(QVA_MSUBTYPE_YUV420, 64, 64), VideoFormat(QVA_MSUBTYPE_YUV420, 0, 32, 2, 32), 40},
  };
  for (const Row& row : rows) EXPECT_EQ(Scaler_CheckFormats(row.in, &row.out), row.status) << row.name;
  VideoMediaType noPicture = VideoFormat(QVA_MSUBTYPE_BGRA, 64, 48);
  noPicture.secondWidth = noPicture.secondHeight = 0;
  Scaler_DefaultPictureSize(noPicture);
  EXPECT_EQ(noPicture.secondWidth, 64u);
  EXPECT_EQ(noPicture.secondHeight, 48u);
}

}  // namespace
}  // namespace orx::vscaler
