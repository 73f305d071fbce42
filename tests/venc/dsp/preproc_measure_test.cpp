// Block statistics on the worked macroblocks, in the plain class and every variant: flat,
// comb and split macroblocks, mean rounding, and the noise value's dead band, second-smallest
// rule, cap and empty bands.
#include <gtest/gtest.h>

#include <functional>

#include "tests/venc/dsp/preproc_test_support.h"

namespace orx::dsp {
namespace {

using dsptest::AlignedBytes;

constexpr int kStride = 32;

// A 16x16 macroblock (inside a picture of kStride) whose sample at (row, column) is given.
AlignedBytes Macroblock(const std::function<int(int, int)>& sample) {
  AlignedBytes picture(16 * kStride, 77);
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) picture[r * kStride + c] = static_cast<uint8_t>(sample(r, c));
  return picture;
}

TEST(PreprocMeasures, WorkedMacroblocks) {
  struct Case {
    const char* name;
    std::function<int(int, int)> sample;
    int frameDeviation;  // slot 4 on rows 0-7 and 8-15
    int fieldDeviation;  // slot 4 on the even and the odd rows
    int fieldFrame;      // slot 6
  };
  const Case cases[] = {
      {"flat", [](int, int) { return 90; }, 0, 0, 0},
      // Even rows 0, odd rows 100: each 8x8 block of the frame halves deviates 64 x 50.
      {"comb", [](int r, int) { return r % 2 ? 100 : 0; }, 4 * 64 * 50, 0, 14 * 16 * 100},
      // Rows 6/8 and 7/9 differ within a field; rows 7/8 are not counted as a frame pair.
      {"split", [](int r, int) { return r < 8 ? 0 : 100; }, 0, 4 * 64 * 50, -2 * 16 * 100},
  };
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(name + " " + c.name);
      AlignedBytes mb = Macroblock(c.sample);
      int smallest = -1;
      EXPECT_EQ(core->BlockDeviation(mb.at(0), mb.at(8 * kStride), kStride, &smallest, nullptr),
                c.frameDeviation);
      EXPECT_EQ(smallest, c.frameDeviation / 4);
      EXPECT_EQ(core->BlockDeviation(mb.at(0), mb.at(kStride), 2 * kStride, &smallest, mb.at(0)),
                c.fieldDeviation);
      EXPECT_EQ(smallest, c.fieldDeviation / 4);
      EXPECT_EQ(core->FieldFrameDifference(mb.at(0), kStride), c.fieldFrame);
    }
  }
}

TEST(PreprocMeasures, MeansRoundHalfUp) {
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    // Top-left block: 32 samples 0 and 32 samples 1 (mean 1, deviation 32); top-right: 32
    // samples 0 and 32 samples 255 (mean 128, deviation 32 x 128 + 32 x 127 = 8160); the lower
    // blocks flat.
    AlignedBytes mb = Macroblock([](int r, int c) {
      if (r >= 8) return 5;
      const bool high = (r * 8 + c % 8) % 2 == 1;
      return c < 8 ? (high ? 1 : 0) : (high ? 255 : 0);
    });
    int smallest = -1;
    EXPECT_EQ(core->BlockDeviation(mb.at(0), mb.at(8 * kStride), kStride, &smallest, nullptr),
              32 + 8160);
    EXPECT_EQ(smallest, 0);
    // 4x4 means (sum + 8) >> 4: a 4x4 block of eight 0s and eight 1s has mean 1 and
    // deviation 8.
    AlignedBytes halves = Macroblock([](int r, int c) { return (r + c) % 2; });
    EXPECT_EQ(core->SubBlockMeans4x4(halves.at(0), kStride, &smallest, nullptr), 16 * 8);
    EXPECT_EQ(smallest, 4 * 8);
    AlignedBytes flat = Macroblock([](int, int) { return 200; });
    EXPECT_EQ(core->SubBlockMeans4x4(flat.at(0), kStride, &smallest, nullptr), 0);
    EXPECT_EQ(smallest, 0);
  }
}

// A band of 8 rows holding `macroblocks` macroblocks; block b (8 columns) gets the pattern.
AlignedBytes NoiseBand(int blocks, const std::function<int(int, int, int)>& sample) {
  const int stride = 8 * blocks + 16;
  AlignedBytes band(8 * stride + 16, 33);
  for (int b = 0; b < blocks; ++b)
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c)
        band[r * stride + 8 * b + c] = static_cast<uint8_t>(sample(b, r, c));
  return band;
}

TEST(PreprocMeasures, NoiseValueIsTheSecondSmallestBlockValue) {
  // Block values: flat 0; alternating 10/11 (mean 11) 0, as differences of 1 count nothing;
  // 32 samples of 0 and 32 of 4 (mean 2) 64 x (2 - 1) = 64; 0/255 (mean 128) 8096.
  auto flat = [](int, int, int) { return 50; };
  auto alternating = [](int, int r, int c) { return (r + c) % 2 ? 11 : 10; };
  auto spread = [](int, int r, int c) { return (r + c) % 2 ? 4 : 0; };
  auto loud = [](int, int r, int c) { return (r + c) % 2 ? 255 : 0; };
  struct Case {
    const char* name;
    int blocks;
    std::function<int(int, int, int)> sample;
    int expected;
  };
  const Case cases[] = {
      {"flat", 4, flat, 0},
      {"dead band", 2, alternating, 0},
      // One macroblock: the larger of its two values.
      {"one macroblock", 2, [&](int b, int r, int c) { return b ? spread(b, r, c) : 50; }, 64},
      // Two equal smallest values: the second smallest is that value.
      {"tie", 4, [&](int b, int r, int c) { return b == 2 ? loud(b, r, c) : spread(b, r, c); }, 64},
      {"cap", 2, loud, 255},
  };
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(name + " " + c.name);
      AlignedBytes band = NoiseBand(c.blocks, c.sample);
      EXPECT_EQ(core->NeighbourhoodStats(band.at(0), c.blocks / 2, 8 * c.blocks + 16), c.expected);
    }
  }
}

TEST(PreprocMeasures, NoiseValueOfAnEmptyBandIsNoMeasurement) {
  // The preprocessor's margins leave no macroblock on a picture two macroblocks wide.
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    AlignedBytes band(8 * 32, 0);
    EXPECT_EQ(core->NeighbourhoodStats(band.at(0), 0, 32), 255);
    EXPECT_EQ(core->NeighbourhoodStats(band.at(0), -1, 32), 255);
  }
}

}  // namespace
}  // namespace orx::dsp
