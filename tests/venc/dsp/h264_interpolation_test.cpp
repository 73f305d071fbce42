// H.264 inter prediction: every luma fraction 0-15 and every chroma (dx, dy) equals the
// standard's sample interpolation (model/h264_standard); the worked cases of the filters; and
// the prediction averages.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/venc/dsp/check/h264_setup.h"
#include "tests/venc/dsp/core_test_support.h"
#include "tests/venc/dsp/model/h264_standard.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

constexpr int kStride = 40;
constexpr int kAt = 4 * kStride + 5;  // rows and columns around the block are readable

struct alignas(16) Source {
  uint8_t v[kStride * 20] = {};
};
struct alignas(16) Out {
  uint8_t v[80] = {};
};

enum class Texture { kRandom, kExtremes, kAlternating };

void Fill(check::Rng& rng, Source& s, Texture texture) {
  for (int i = 0; i < static_cast<int>(sizeof s.v); ++i) {
    int x = i % kStride, y = i / kStride;
    s.v[i] = static_cast<uint8_t>(texture == Texture::kRandom     ? rng.Uniform(0, 255)
                                  : texture == Texture::kExtremes ? (rng.Chance(50) ? 0 : 255)
                                                                  : ((x + y) % 2 ? 255 : 0));
  }
}

TEST(H264Interpolation, EveryLumaFractionEqualsTheStandard) {
  check::Rng rng(check::HarnessSeed() + 20);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    for (Texture texture : {Texture::kRandom, Texture::kExtremes, Texture::kAlternating}) {
      for (int trial = 0; trial < 4; ++trial) {
        Source source;
        Fill(rng, source, texture);
        standard::Sample ref = [&](int x, int y) { return int{source.v[kAt + y * kStride + x]}; };
        for (int mode = 0; mode < 16; ++mode) {
          Out out;
          int offset = rng.Uniform(0, 15);
          core->InterpolateLumaQpel8x8(out.v + offset, source.v + kAt, kStride, mode);
          for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
              ASSERT_EQ(out.v[offset + 8 * y + x], standard::LumaSample(ref, x, y, mode & 3, mode >> 2))
                  << name << " mode " << mode << " at " << x << "," << y << " texture " << static_cast<int>(texture);
            }
          }
        }
      }
    }
  }
}

TEST(H264Interpolation, EveryChromaFractionEqualsTheStandard) {
  check::Rng rng(check::HarnessSeed() + 21);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    Source source;
    Fill(rng, source, Texture::kRandom);
    for (int dy = 0; dy < 8; ++dy) {
      for (int dx = 0; dx < 8; ++dx) {
        Out out;
        core->McChromaEighthPel(out.v, source.v + kAt, kStride, static_cast<uint32_t>(dy << 16 | dx));
        for (int p = 0; p < 2; ++p) {
          standard::Sample ref = [&](int x, int y) { return int{source.v[kAt + y * kStride + 2 * x + p]}; };
          for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
              ASSERT_EQ(out.v[8 * y + 2 * x + p], standard::ChromaSample(ref, x, y, dx, dy))
                  << name << " dx " << dx << " dy " << dy << " component " << p;
            }
          }
        }
      }
    }
  }
}

TEST(H264Interpolation, WorkedCases) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    Source source;
    Out out;
    {
      SCOPED_TRACE(name + ": chroma dx 4 on 10 and 13 gives 12");
      source.v[kAt] = 10;
      source.v[kAt + 2] = 13;
      core->McChromaEighthPel(out.v, source.v + kAt, kStride, 4);
      EXPECT_EQ(out.v[0], 12);
    }
    {
      SCOPED_TRACE(name + ": chroma dx 7 weights the right sample 7 of 8 and never mixes Cr");
      std::memset(source.v, 0, sizeof source.v);
      for (int i = 0; i < 16; i += 2) source.v[kAt + i] = 80;  // Cb 80, Cr 0
      source.v[kAt + 2] = 160;
      core->McChromaEighthPel(out.v, source.v + kAt, kStride, 7);
      EXPECT_EQ(out.v[0], (8 * 80 + 56 * 160 + 32) >> 6);
      for (int i = 1; i < 8; i += 2) EXPECT_EQ(out.v[i], 0);
    }
    {
      SCOPED_TRACE(name + ": fraction 0 copies, luma and chroma");
      check::Rng rng(5);
      Fill(rng, source, Texture::kRandom);
      core->InterpolateLumaQpel8x8(out.v, source.v + kAt, kStride, 0);
      for (int y = 0; y < 8; ++y) EXPECT_EQ(std::memcmp(out.v + 8 * y, source.v + kAt + y * kStride, 8), 0);
      core->McChromaEighthPel(out.v, source.v + kAt, kStride, 0);
      for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(out.v + 8 * y, source.v + kAt + y * kStride, 8), 0);
    }
    {
      SCOPED_TRACE(name + ": horizontal half between 0, 0, 255, 255, 0, 0 gives 255; inverted 0");
      for (auto [outer, inner, expected] : {std::tuple{0, 255, 255}, std::tuple{255, 0, 0}}) {
        std::memset(source.v, outer, sizeof source.v);
        for (int y = 0; y < 16; ++y) source.v[kAt + (y - 4) * kStride] = source.v[kAt + (y - 4) * kStride + 1] =
                                         static_cast<uint8_t>(inner);
        core->InterpolateLumaQpel8x8(out.v, source.v + kAt, kStride, 2);
        EXPECT_EQ(out.v[0], expected);
      }
    }
    {
      SCOPED_TRACE(name + ": centre of a flat area is the area's value");
      std::memset(source.v, 173, sizeof source.v);
      core->InterpolateLumaQpel8x8(out.v, source.v + kAt, kStride, 10);
      for (int i = 0; i < 64; ++i) EXPECT_EQ(out.v[i], 173);
    }
    {
      SCOPED_TRACE(name + ": centre on samples of 0 and 255 is the standard's j, not an average of halves");
      check::Rng rng(11);
      Fill(rng, source, Texture::kExtremes);
      core->InterpolateLumaQpel8x8(out.v, source.v + kAt, kStride, 10);
      standard::Sample ref = [&](int x, int y) { return int{source.v[kAt + y * kStride + x]}; };
      int differing = 0;
      for (int i = 0; i < 64; ++i) {
        int x = i % 8, y = i / 8;
        EXPECT_EQ(out.v[i], standard::LumaSample(ref, x, y, 2, 2));
        int halves = (standard::LumaSample(ref, x, y, 2, 0) + standard::LumaSample(ref, x, y, 0, 2) + 1) >> 1;
        differing += out.v[i] != halves;
      }
      EXPECT_GT(differing, 0);
    }
  }
}

TEST(H264Averaging, RoundsUpAndTouchesOnlyItsBytes) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    struct Case {
      const char* name;
      uint8_t a, b, expected;
    };
    for (Case c : {Case{"0 and 1", 0, 1, 1}, Case{"254 and 255", 254, 255, 255}, Case{"0 and 255", 0, 255, 128},
                   Case{"equal", 77, 77, 77}}) {
      for (int bytes : {32, 64}) {
        uint8_t destination[80], source[80];
        std::memset(destination, c.a, sizeof destination);
        std::memset(source, c.b, sizeof source);
        destination[bytes + 3] = 9;  // beyond the range
        if (bytes == 32) core->AverageInPlace32(destination + 3, source + 5);
        else core->AverageInPlace64(destination + 3, source + 5);
        for (int i = 0; i < bytes; ++i) ASSERT_EQ(destination[3 + i], c.expected) << name << " " << c.name;
        EXPECT_EQ(destination[2], c.a) << name;
        EXPECT_EQ(destination[bytes + 3], 9) << name;
      }
    }
  }
}

}  // namespace
}  // namespace orx::dsp
