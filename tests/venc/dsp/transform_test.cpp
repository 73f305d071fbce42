// The 8x8 transforms: worked edge cases in every variant, the IEEE 1180 accuracy procedure for
// both inverse DCTs, and the bounds between the plain and the running forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tests/venc/dsp/core_test_support.h"
#include "tests/venc/dsp/model/exact_dct.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

using dsptest::Block;

TEST(Transforms, FlatBlocksGiveOnlyTheDc) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int value : {0, 10, 128, 255}) {
      for (auto slot : {&CMBCore::ForwardDct, &CMBCore::ForwardTransformVc1}) {
        Block b;
        std::fill(b.v, b.v + 64, static_cast<int16_t>(value));
        (core.get()->*slot)(b.v);
        EXPECT_EQ(b.v[0], 64 * value) << name << " value " << value;
        for (int i = 1; i < 64; ++i) ASSERT_EQ(b.v[i], 0) << name << " index " << i;
      }
    }
  }
}

TEST(Transforms, AllZeroStaysZero) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (auto slot : {&CMBCore::ForwardDct, &CMBCore::ForwardTransformVc1, &CMBCore::InverseDct,
                      &CMBCore::InverseTransformVc1}) {
      Block b;
      (core.get()->*slot)(b.v);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(b.v[i], 0) << name;
    }
  }
}

TEST(Transforms, ForwardDctOfColumnRampAndCheckerboard) {
  auto plain = std::make_unique<CMBCore>();
  Block ramp, board;
  for (int i = 0; i < 64; ++i) {
    ramp.v[i] = static_cast<int16_t>(i % 8);
    board.v[i] = static_cast<int16_t>(((i / 8 + i % 8) % 2) ? -100 : 100);
  }
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    Block r = ramp, c = board;
    core->ForwardDct(r.v);
    core->ForwardDct(c.v);
    EXPECT_EQ(r.v[0], 224) << name;
    for (int i = 1; i < 8; ++i) EXPECT_EQ(r.v[i], 0) << name << " index " << i;
    int tolerance = name == "plain" ? 0 : 18;
    EXPECT_NEAR(r.v[8], -208, tolerance) << name;
    EXPECT_NEAR(c.v[63], 800, tolerance) << name;
    for (int i = 0; i < 64; ++i) {
      Block any;
      for (int j = 0; j < 64; ++j) any.v[j] = static_cast<int16_t>((j * 37 + i * 11) % 511 - 255);
      core->ForwardDct(any.v);
      EXPECT_EQ(any.v[63] % 2, 0) << name;
    }
  }
}

TEST(Transforms, InverseDctOfDcOnlyBlocks) {
  struct Case {
    int dc, running, plain;
  };
  const Case cases[] = {{1, 0, 0},    {3, 0, 0},     {4, 1, 1},           {-4, 0, 0},
                        {-5, -1, -1}, {100, 13, 13}, {-2048, -256, -256}, {2047, 256, 255}};
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    bool plain = name == "plain";
    for (const Case& c : cases) {
      Block b;
      b.v[0] = static_cast<int16_t>(c.dc);
      core->InverseDct(b.v);
      for (int i = 0; i < 64; ++i)
        ASSERT_EQ(b.v[i], plain ? c.plain : c.running) << name << " dc " << c.dc;
    }
  }
}

TEST(Transforms, InverseDctOfSingleCosines) {
  const int cosine[8] = {17, 15, 10, 3, -3, -10, -15, -17};
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    Block horizontal, vertical;
    horizontal.v[8] = 100;  // horizontal frequency 1
    vertical.v[1] = 100;    // vertical frequency 1
    core->InverseDct(horizontal.v);
    core->InverseDct(vertical.v);
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(horizontal.v[8 * r + c], cosine[c]) << name;
        EXPECT_EQ(vertical.v[8 * r + c], cosine[r]) << name;
      }
    }
  }
}

TEST(Transforms, InverseVc1OfDcOnlyBlocks) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int dc : {10, -10, 4, 1, 100, 2047, -2048, 37, -999}) {
      Block b;
      b.v[0] = static_cast<int16_t>(dc);
      core->InverseTransformVc1(b.v);
      const int upper = (12 * ((12 * dc + 4) >> 3) + 64) >> 7;
      const int lower = (12 * ((12 * dc + 4) >> 3) + 65) >> 7;
      for (int i = 0; i < 64; ++i)
        ASSERT_EQ(b.v[i], i < 32 ? upper : lower) << name << " dc " << dc;
    }
  }
  const int expected[][2] = {{10, 1},   {-10, -1},   {4, 1},       {1, 0},
                             {100, 14}, {2047, 288}, {-2048, -288}};
  for (auto [dc, value] : expected) EXPECT_EQ((12 * ((12 * dc + 4) >> 3) + 64) >> 7, value);
}

// IEEE 1180 random generator (its 32-bit arithmetic).
class Ieee1180Random {
 public:
  long Next(long low, long high) {
    state_ = state_ * 1103515245u + 12345u;
    long i = static_cast<long>(state_ & 0x7ffffffeu);
    double x = static_cast<double>(i) / static_cast<double>(0x7fffffff);
    x *= static_cast<double>(low + high + 1);
    long j = static_cast<long>(x);
    return j - low;
  }

 private:
  uint32_t state_ = 1;
};

int RoundTo(double v, int low, int high) {
  return std::clamp(static_cast<int>(std::floor(v + 0.5)), low, high);
}

// Raster in, raster out; the forward result rounded and clipped to -2048..2047.
void ReferenceForward(const int in[64], int out[64]) {
  double samples[64], coefficients[64];
  for (int i = 0; i < 64; ++i) samples[i] = in[i];
  model::ExactForwardDct(samples, coefficients);
  for (int i = 0; i < 64; ++i) out[i] = RoundTo(coefficients[i], -2048, 2047);
}

void ReferenceInverse(const int in[64], int out[64]) {
  double coefficients[64], samples[64];
  for (int i = 0; i < 64; ++i) coefficients[i] = in[i];
  model::ExactInverseDct(coefficients, samples);
  for (int i = 0; i < 64; ++i) out[i] = RoundTo(samples[i], -256, 255);
}

struct ErrorStats {
  int peak = 0;
  double squared[64] = {}, sum[64] = {};
  void Add(int position, int error) {
    peak = std::max(peak, std::abs(error));
    squared[position] += error * error;
    sum[position] += error;
  }
};

TEST(Transforms, InverseDctsMeetIeee1180) {
  auto cores = dsptest::PlainAndVariants();
  const int ranges[3][2] = {{256, 255}, {5, 5}, {300, 300}};
  for (auto [low, high] : ranges) {
    for (int sign : {1, -1}) {
      Ieee1180Random random;
      std::vector<ErrorStats> stats(cores.size());
      constexpr int kBlocks = 10000;
      for (int n = 0; n < kBlocks; ++n) {
        int pixels[64], coefficients[64], reference[64];
        for (int i = 0; i < 64; ++i) pixels[i] = static_cast<int>(random.Next(low, high)) * sign;
        ReferenceForward(pixels, coefficients);
        ReferenceInverse(coefficients, reference);
        for (size_t c = 0; c < cores.size(); ++c) {
          Block b;
          for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v)
              b.v[8 * v + u] = static_cast<int16_t>(coefficients[8 * u + v]);
          cores[c].core->InverseDct(b.v);
          for (int i = 0; i < 64; ++i) {
            stats[c].Add(i, std::clamp<int>(b.v[i], -256, 255) - reference[i]);
          }
        }
      }
      for (size_t c = 0; c < cores.size(); ++c) {
        const ErrorStats& s = stats[c];
        double worstMse = 0, worstMean = 0, totalSquared = 0, totalSum = 0;
        for (int i = 0; i < 64; ++i) {
          worstMse = std::max(worstMse, s.squared[i] / kBlocks);
          worstMean = std::max(worstMean, std::abs(s.sum[i]) / kBlocks);
          totalSquared += s.squared[i];
          totalSum += s.sum[i];
        }
        double overallMse = totalSquared / (64.0 * kBlocks);
        double overallMean = std::abs(totalSum) / (64.0 * kBlocks);
        std::printf(
            "IEEE 1180 %s, range -%d..%d, sign %+d: peak %d, mse %.4f (overall %.4f), "
            "mean %.4f (overall %.5f)\n",
            cores[c].name.c_str(), low, high, sign, s.peak, worstMse, overallMse, worstMean,
            overallMean);
        EXPECT_LE(s.peak, 1) << cores[c].name;
        EXPECT_LE(worstMse, 0.06) << cores[c].name;
        EXPECT_LE(overallMse, 0.02) << cores[c].name;
        EXPECT_LE(worstMean, 0.015) << cores[c].name;
        EXPECT_LE(overallMean, 0.0015) << cores[c].name;
      }
    }
  }
}

// Random smooth blocks with noise: what a natural picture area looks like.
void NaturalBlock(check::Rng& rng, int16_t* pixels) {
  int base = rng.Uniform(0, 255), dx = rng.Uniform(-12, 12), dy = rng.Uniform(-12, 12);
  int noise = rng.Uniform(0, 20);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      pixels[8 * y + x] = static_cast<int16_t>(
          std::clamp(base + dx * x + dy * y + rng.Uniform(-noise, noise), 0, 255));
    }
}

TEST(Transforms, PlainAndRunningForwardTransformsStayWithinTheirBounds) {
  auto plain = std::make_unique<CMBCore>();
  auto running = dsptest::RunningCore();
  check::Rng rng(check::HarnessSeed());
  int worstDct = 0, worstVc1 = 0;
  for (int n = 0; n < 100000; ++n) {
    Block input;
    for (int i = 0; i < 64; ++i) input.v[i] = static_cast<int16_t>(rng.Uniform(-255, 255));
    for (auto slot : {&CMBCore::ForwardDct, &CMBCore::ForwardTransformVc1}) {
      Block a = input, b = input;
      (plain.get()->*slot)(a.v);
      (running.get()->*slot)(b.v);
      int worst = 0;
      for (int i = 0; i < 64; ++i) worst = std::max(worst, std::abs(a.v[i] - b.v[i]));
      (slot == &CMBCore::ForwardDct ? worstDct : worstVc1) =
          std::max(worst, slot == &CMBCore::ForwardDct ? worstDct : worstVc1);
    }
  }
  std::printf(
      "largest plain/running difference on full-range residual blocks: forward DCT %d, "
      "VC-1 forward %d\n",
      worstDct, worstVc1);
  // The two forms round differently; over millions of random blocks the largest differences
  // are 27 and 14.
  EXPECT_LE(worstDct, 30);
  EXPECT_LE(worstVc1, 16);
}

TEST(Transforms, PlainAndRunningInverseTransformsAgreeOnQuantisedBlocks) {
  auto plain = std::make_unique<CMBCore>();
  auto running = dsptest::RunningCore();
  check::Rng rng(check::HarnessSeed() + 1);
  int worstDct = 0, differing = 0, samples = 0;
  for (int n = 0; n < 20000; ++n) {
    Block pixels;
    NaturalBlock(rng, pixels.v);
    int step = rng.Uniform(2, 60);
    for (auto forward : {&CMBCore::ForwardDct, &CMBCore::ForwardTransformVc1}) {
      Block levels = pixels;
      (running.get()->*forward)(levels.v);
      // Coarse uniform quantisation of the scaled coefficients keeps the block natural.
      for (int i = 0; i < 64; ++i) {
        int q = levels.v[i] / step * step;
        levels.v[i] = static_cast<int16_t>(std::clamp(q / 8, -2048, 2047));
      }
      Block a = levels, b = levels;
      if (forward == &CMBCore::ForwardDct) {
        plain->InverseDct(a.v);
        running->InverseDct(b.v);
        for (int i = 0; i < 64; ++i) {
          int d = std::abs(a.v[i] - std::clamp<int>(b.v[i], -256, 255));
          worstDct = std::max(worstDct, d);
          differing += d != 0;
          ++samples;
        }
      } else {
        plain->InverseTransformVc1(a.v);
        running->InverseTransformVc1(b.v);
        ASSERT_EQ(std::memcmp(a.v, b.v, sizeof a.v), 0);
      }
    }
  }
  std::printf("inverse DCT: largest plain/running difference %d, %.2f%% of samples differ\n",
              worstDct, 100.0 * differing / samples);
  EXPECT_LE(worstDct, 1);
}

}  // namespace
}  // namespace orx::dsp
