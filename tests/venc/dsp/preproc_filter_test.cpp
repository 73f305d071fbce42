// Comb filters, noise gates and impulse filters on worked samples: the running class's results
// (the group-start left neighbour, strengths modulo 256 or capped at 127, byte thresholds and
// limits, the blend formed without 16-bit wrap-around, any row count) and the plain class's
// documented differences, one fixture each.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "tests/venc/dsp/preproc_test_support.h"

namespace orx::dsp {
namespace {

using dsptest::AlignedBytes;

TEST(PreprocCombFilters, FoldStaysInsideTheNeighboursRange) {
  struct Case {
    int above, x, below, expected;
  };
  const Case cases[] = {
      {100, 50, 110, 105},  {100, 97, 110, 103}, {100, 200, 110, 105}, {100, 104, 110, 104},
      {100, 90, 140, 110},  {100, 40, 140, 120}, {100, 150, 140, 130}, {100, 250, 140, 120},
      {100, 120, 140, 120}, {100, 50, 111, 106}, {140, 250, 100, 120}, {0, 255, 0, 0},
  };
  auto core = dsptest::RunningPreprocCore();
  // One column per case in a 16-byte wide plane; rows = 2 folds row 1 only.
  AlignedBytes plane(3 * 16);
  for (int i = 0; i < 16; ++i) {
    const Case& c = cases[i % std::size(cases)];
    plane[i] = static_cast<uint8_t>(c.above);
    plane[16 + i] = static_cast<uint8_t>(c.x);
    plane[32 + i] = static_cast<uint8_t>(c.below);
  }
  core->FilterCombRows(plane.at(0), 16, 16, 2);
  for (int i = 0; i < 16; ++i) {
    const Case& c = cases[i % std::size(cases)];
    EXPECT_EQ(plane[16 + i], c.expected) << c.above << "/" << c.x << "/" << c.below;
    EXPECT_EQ(plane[i], c.above);
    EXPECT_EQ(plane[32 + i], c.below);
  }
}

TEST(PreprocCombFilters, RowsFoldedByEachForm) {
  auto core = dsptest::RunningPreprocCore();
  {
    // Six rows: rows 1, 3 and 5 change (200 between 0 and 100 becomes 50), row 6 is read.
    AlignedBytes plane(8 * 16);
    for (int r = 0; r < 8; ++r)
      for (int i = 0; i < 16; ++i) plane[r * 16 + i] = r % 2 ? 200 : (r % 4 ? 100 : 0);
    core->FilterCombRows(plane.at(0), 16, 16, 6);
    const int expected[8] = {0, 50, 100, 50, 0, 50, 100, 200};
    for (int r = 0; r < 8; ++r) EXPECT_EQ(plane[r * 16 + 3], expected[r]) << "row " << r;
  }
  {
    // With the carry row as row 0: carry 0, row 1 = 200, row 2 = 0 gives f = 0, row 1 = 100,
    // and the carry row keeps the unfiltered 200.
    AlignedBytes plane(3 * 32), carry(32, 0);
    for (int i = 0; i < 32; ++i) plane[32 + i] = 200;
    core->FilterCombRowsWithTop(plane.at(0), 32, 32, 1, carry.at(0));
    EXPECT_EQ(plane[32 + 5], 100);
    EXPECT_EQ(carry[5], 200);
  }
  for (bool block16 : {true, false}) {
    // Even rows between the row above (the carry row first) and the odd row below; the carry
    // row ends holding the last odd row.
    SCOPED_TRACE(block16 ? "FilterCombBlock16" : "FilterCombRowsTwoSource");
    const int width = block16 ? 16 : 48;
    AlignedBytes rows(4 * width), carry(width, 100);
    const int values[4] = {50, 110, 250, 140};
    for (int r = 0; r < 4; ++r)
      for (int i = 0; i < width; ++i) rows[r * width + i] = static_cast<uint8_t>(values[r]);
    if (block16) {
      core->FilterCombBlock16(carry.at(0), rows.at(0), 2);
    } else {
      core->FilterCombRowsTwoSource(carry.at(0), rows.at(0), width, 2);
    }
    const int expected[4] = {105, 110, 125, 140};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(rows[r * width + width - 1], expected[r]) << r;
    EXPECT_EQ(carry[0], 140);
  }
}

TEST(PreprocNoiseGate, OldValueStaysBelowADifferenceOf8) {
  auto core = dsptest::RunningPreprocCore();
  const int fresh = 100;
  const int old[4] = {107, 108, 92, 93};
  const int kept[4] = {107, 100, 100, 93};
  // A row of 13 bytes gates 8; the 16-byte form gates all 16.
  AlignedBytes source(16, fresh), row(16), pair(32), out(16);
  for (int i = 0; i < 16; ++i) {
    row[i] = pair[i] = static_cast<uint8_t>(old[i % 4]);
    pair[16 + i] = fresh;
  }
  core->NoiseGateRow(source.at(0), row.at(0), 13);
  core->NoiseGate16(out.at(0), pair.at(0));
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(row[i], i < 8 ? kept[i % 4] : old[i % 4]) << i;
    EXPECT_EQ(out[i], kept[i % 4]) << i;
  }
}

// A luma plane of `width` x `rows` inside rows of 100 above and below (vertical distance one
// row), every sample 100 unless set.
struct ImpulsePlane {
  static constexpr int kStride = 64;
  explicit ImpulsePlane(int rows = 1, int fill = 100) : bytes((rows + 4) * kStride, uint8_t(fill)) {
    for (int i = 0; i < 2 * kStride; ++i) bytes[i] = bytes[(rows + 2) * kStride + i] = 100;
  }
  uint8_t* row(int r) { return bytes.at((r + 2) * kStride); }
  AlignedBytes bytes;
};

TEST(PreprocImpulseFilters, StrengthLetsLargeCorrectionsFallOff) {
  struct Case {
    int x, strength, expected;
  };
  // Neighbours 100: correction d = 100 - x, limited by the strength s (2s - d above s).
  const Case cases[] = {{95, 3, 96},  {94, 3, 94},    {90, 3, 90},   {105, 3, 104},
                        {97, 3, 100}, {110, 10, 100}, {110, 8, 104}, {110, 5, 110}};
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(name + " x " + std::to_string(c.x) + " strength " + std::to_string(c.strength));
      ImpulsePlane plane;
      plane.row(0)[5] = static_cast<uint8_t>(c.x);
      core->MedianFilter(plane.row(0), 32, 1, ImpulsePlane::kStride, ImpulsePlane::kStride,
                         c.strength);
      EXPECT_EQ(plane.row(0)[5], c.expected);
    }
  }
}

TEST(PreprocImpulseFilters, RunningClassUsesTheStrengthsLowByte) {
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    ImpulsePlane plane;
    plane.row(0)[5] = 110;
    core->MedianFilter(plane.row(0), 32, 1, ImpulsePlane::kStride, ImpulsePlane::kStride, 256 + 8);
    EXPECT_EQ(plane.row(0)[5], name == "plain" ? 100 : 104);
  }
}

TEST(PreprocImpulseFilters, GroupStartsSeeTheFilteredLeftNeighbour) {
  // A 48-byte row of 100 with pairs of 200 across the unit boundaries (15/16, 31/32) and at
  // the last column. Each first 200 becomes avg(100, 200) = 150; the running class gives the
  // second (a unit's first sample) the filtered 150 as left neighbour: avg(150, 100) = 125,
  // where the unfiltered left neighbour gives 150. The running class filters the last column
  // too (itself as right neighbour); the plain class leaves it.
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    for (bool chroma : {false, true}) {
      SCOPED_TRACE(chroma ? "step 2" : "luma");
      const int step = chroma ? 2 : 1;
      ImpulsePlane plane;
      uint8_t* row = plane.row(0);
      for (int at : {16 - step, 16, 32 - step, 32, 48 - step}) row[at] = 200;
      if (chroma) {
        core->MedianFilterStep2(row, 48, 1, ImpulsePlane::kStride, ImpulsePlane::kStride, 255);
      } else {
        core->MedianFilter(row, 48, 1, ImpulsePlane::kStride, ImpulsePlane::kStride, 255);
      }
      const bool plain = name == "plain";
      EXPECT_EQ(row[16 - step], 150);
      EXPECT_EQ(row[16], plain ? 150 : 125);
      EXPECT_EQ(row[32 - step], 150);
      EXPECT_EQ(row[32], plain ? 150 : 125);
      EXPECT_EQ(row[48 - step], plain ? 200 : 150);
    }
  }
}

TEST(PreprocImpulseFilters, BoundedFormsBlendTowardsTheReference) {
  struct BlendCase {
    int y, r;  // the pixel and its reference
    int strength = 0, threshold, limit, gain;
    int plainExpected, expected;  // the pixel after the plain class and after the running class
  };
  const BlendCase cases[] = {
      // Within the threshold the weight is limit x gain / 65536: 255 x 256 gives k = 255,
      // delta = (25500 + 99) >> 8 = 99; with gain 128, k = 127 and delta = 49.
      {.y = 100, .r = 200, .threshold = 100, .limit = 255, .gain = 256, .plainExpected = 199, .expected = 199},
      {.y = 100, .r = 200, .threshold = 100, .limit = 255, .gain = 128, .plainExpected = 149, .expected = 149},
      // Threshold 4, limit 8: difference 10 gives g = 2 and nothing; gain 8192 moves 2 and -3
      // onto the reference; 12 reaches g = 0.
      {.y = 100, .r = 110, .threshold = 4, .limit = 8, .gain = 256, .plainExpected = 100, .expected = 100},
      {.y = 100, .r = 102, .threshold = 4, .limit = 8, .gain = 8192, .plainExpected = 102, .expected = 102},
      {.y = 100, .r = 97, .threshold = 4, .limit = 8, .gain = 8192, .plainExpected = 97, .expected = 97},
      {.y = 100, .r = 112, .threshold = 4, .limit = 8, .gain = 8192, .plainExpected = 100, .expected = 100},
      // k x diff = 73 x 7 = 511: the plain class truncates to 1, the running class rounds to 2.
      {.y = 100, .r = 107, .threshold = 7, .limit = 73, .gain = 256, .plainExpected = 101, .expected = 102},
      {.y = 100, .r = 99, .threshold = 7, .limit = 1, .gain = 256, .plainExpected = 100, .expected = 100},
      // Weight 0 or limit 0: the spatial step alone.
      {.y = 100, .r = 200, .threshold = 255, .limit = 255, .gain = 0, .plainExpected = 100, .expected = 100},
      {.y = 100, .r = 200, .threshold = 255, .limit = 0, .gain = 256, .plainExpected = 100, .expected = 100},
      // Threshold and limit are bytes in the running class: 256 + 100 acts as 100, 256 + 255
      // as 255 (the plain class's limit 511 weighs twice as much and lands past the reference).
      {.y = 100, .r = 200, .threshold = 356, .limit = 511, .gain = 256, .plainExpected = 255, .expected = 199},
      // The sum that a 16-bit product wraps: 255 x 200 = 51000 gives 55 + 199 = 254.
      {.y = 55, .r = 255, .threshold = 200, .limit = 255, .gain = 256, .plainExpected = 254, .expected = 254},
  };
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (const BlendCase& c : cases) {
      SCOPED_TRACE(name + " y " + std::to_string(c.y) + " r " + std::to_string(c.r) + " limit " +
                   std::to_string(c.limit) + " gain " + std::to_string(c.gain));
      ImpulsePlane plane(1, c.y), reference(1, c.r);
      core->MedianFilterBounded(plane.row(0), reference.row(0), 32, 1, ImpulsePlane::kStride,
                                ImpulsePlane::kStride, c.strength, c.threshold, c.limit, c.gain);
      EXPECT_EQ(plane.row(0)[7], name == "plain" ? c.plainExpected : c.expected);
    }
  }
}

TEST(PreprocImpulseFilters, BoundedFormsCapTheStrengthAt127) {
  // Neighbours 100, x = 250: d = 150 is within a strength of 200 (plain: 100) but beyond the
  // running class's 127: 2 x 127 - 150 = 104, so 250 - 104 = 146, as with strength 127.
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (int strength : {127, 200}) {
      SCOPED_TRACE(name + " strength " + std::to_string(strength));
      ImpulsePlane plane, reference;
      plane.row(0)[5] = 250;
      core->MedianFilterBounded(plane.row(0), reference.row(0), 32, 1, ImpulsePlane::kStride,
                                ImpulsePlane::kStride, strength, 0, 0, 0);
      EXPECT_EQ(plane.row(0)[5], name == "plain" && strength == 200 ? 100 : 146);
    }
  }
}

TEST(PreprocImpulseFilters, BoundedLumaFilterFiltersEveryRow) {
  // 300 rows: each row is pulled to 199 (the rows above, already filtered, keep the spatial
  // step's range at or above 100); the row below the last stays.
  auto core = dsptest::RunningPreprocCore();
  const int rows = 300;
  ImpulsePlane plane(rows, 100), reference(rows, 200);
  core->MedianFilterBounded(plane.row(0), reference.row(0), 32, rows, ImpulsePlane::kStride,
                            ImpulsePlane::kStride, 0, 100, 255, 256);
  for (int r = 0; r < rows; ++r) ASSERT_EQ(plane.row(r)[9], 199) << "row " << r;
  EXPECT_EQ(plane.row(rows)[9], 100);
}

TEST(PreprocImpulseFilters, ChromaBoundedFormBlendsOnlyInTheRunningClass) {
  // The plain class's step-2 bounded form is the step-2 filter alone, whatever the reference.
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    ImpulsePlane bounded(1, 100), reference(1, 200), unbounded(1, 100);
    for (int at : {3, 10, 21}) bounded.row(0)[at] = unbounded.row(0)[at] = 160;
    core->MedianFilterStep2Alt(bounded.row(0), reference.row(0), 32, 1, ImpulsePlane::kStride,
                               ImpulsePlane::kStride, 40, 100, 255, 256);
    core->MedianFilterStep2(unbounded.row(0), 32, 1, ImpulsePlane::kStride, ImpulsePlane::kStride,
                            40);
    const bool plain = name == "plain";
    EXPECT_EQ(unbounded.row(0)[3], 140);  // 60 above its range: 2 x 40 - 60 = 20 taken off
    for (int i = 0; i < 32; ++i) {
      const int filtered = unbounded.row(0)[i];
      // The running class moves every sample towards 200 (k = 255).
      const int blended =
          filtered + ((255 * (200 - filtered) + (255 * (200 - filtered) >> 8)) >> 8);
      ASSERT_EQ(bounded.row(0)[i], plain ? filtered : blended) << i;
    }
  }
}

}  // namespace
}  // namespace orx::dsp
