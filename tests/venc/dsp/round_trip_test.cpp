// The MPEG-2 intra chain on real pictures: load, forward DCT, quantisation (default intra
// matrix), dequantisation, inverse DCT and store, against the same chain in double precision
// (exact DCT, exact division, the same rounding and limits).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tests/venc/dsp/core_test_support.h"
#include "tests/venc/dsp/model/exact_dct.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"

namespace orx::dsp {
namespace {

// One 8x8 block (raster, 0..255) through the exact chain at quantiser_scale `scale`.
void ExactChain(const uint8_t* pixels, int stride, int scale, uint8_t* out, int outStride) {
  double samples[64], f[64];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) samples[8 * y + x] = pixels[y * stride + x];
  model::ExactForwardDct(samples, f);
  int dequantised[64];
  int sum = 0;
  for (int i = 0; i < 64; ++i) {
    const double step = i == 0 ? 8.0 : kDefaultIntraQuantMatrix[i] * scale / 16.0;
    const int level = std::clamp(static_cast<int>(std::floor(f[i] / step + 0.5)), -2047, 2047);
    const int value = i == 0 ? 8 * level : level * kDefaultIntraQuantMatrix[i] * scale / 16;
    dequantised[i] = std::clamp(value, -2048, 2047);
    sum += dequantised[i];
  }
  if (sum % 2 == 0) dequantised[63] += dequantised[63] % 2 ? -1 : 1;
  double coefficients[64], reconstructed[64];
  for (int i = 0; i < 64; ++i) coefficients[i] = dequantised[i];
  model::ExactInverseDct(coefficients, reconstructed);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int value = static_cast<int>(std::floor(reconstructed[8 * y + x] + 0.5));
      out[y * outStride + x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
    }
}

TEST(RoundTrip, IntraChainOnTreeFramesMatchesTheExactChain) {
  orx::test::RawVideo video;
  orx::test::DecodeOptions options;
  options.outputArgs = {"-frames:v", "3"};
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), video, options, &log))
      << log;
  ASSERT_GE(video.frames.size(), 1u);
  const int width = video.width / 16 * 16, height = video.height / 8 * 8;

  alignas(128) static uint8_t work[kQuantWorkAreaSize];
  auto tables = std::make_unique<QuantTableBlock>();
  QuantTableParams params;
  params.codec = 1;
  std::memcpy(params.intraMatrix, kDefaultIntraQuantMatrix, 64);
  std::memset(params.interMatrix, 16, 64);
  CMBCore builder;
  builder.InitQuantTables(params, tables.get(), work);

  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    core->quantTables = tables.get();
    for (int q : {2, 8}) {
      core->SelectQuantizer(q, true);
      core->SelectIntraDequantizer(q);
      double psnr = 0, exactPsnr = 0;
      for (const auto& frame : video.frames) {
        const uint8_t* luma = frame.data();
        std::vector<uint8_t> ours(static_cast<size_t>(width) * height + 16);
        std::vector<uint8_t> exact(static_cast<size_t>(width) * height);
        uint8_t* aligned = ours.data() + (16 - reinterpret_cast<uintptr_t>(ours.data()) % 16) % 16;
        for (int y = 0; y < height; y += 8) {
          for (int x = 0; x < width; x += 16) {
            dsptest::BlockPair pair;
            for (int half = 0; half < 2; ++half) {
              int16_t* block = pair.v + 64 * half;
              core->LoadBlock(block, luma + y * video.width + x + 8 * half, video.width);
              core->ForwardDct(block);
              core->QuantizeClip2047(block);
              core->DequantizeIntraMpeg2(block, 0);
              core->InverseDct(block);
              ExactChain(luma + y * video.width + x + 8 * half, video.width, 2 * q,
                         exact.data() + y * width + x + 8 * half, width);
            }
            core->StoreBlockPair(aligned + y * width + x, pair.v, width);
          }
        }
        std::vector<uint8_t> original(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y)
          std::memcpy(&original[y * width], luma + y * video.width, width);
        psnr += orx::test::PlanePsnr(original.data(), aligned, original.size());
        exactPsnr += orx::test::PlanePsnr(original.data(), exact.data(), original.size());
      }
      psnr /= video.frames.size();
      exactPsnr /= video.frames.size();
      std::printf("%s, quantiser %d: PSNR %.2f dB, exact chain %.2f dB\n", name.c_str(), q, psnr,
                  exactPsnr);
      EXPECT_NEAR(psnr, exactPsnr, 0.3) << name << " q " << q;
      if (q == 2) {
        EXPECT_GE(psnr, 38.0) << name;
      }
    }
  }
}

}  // namespace
}  // namespace orx::dsp
