// The VC-1 interpolation and loop-filter slots (51-62): worked values on every class, the plain
// class against the standard's own formulation (tests/venc/dsp/model/vc1_standard.h), the
// integer-SSE class's own bodies on the harness entries, and the quarter-sample
// motion-compensation drivers against a whole-macroblock prediction written from the
// standard.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "tests/venc/dsp/check/vc1_edges.h"
#include "tests/venc/dsp/model/vc1_standard.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

struct NamedCore {
  std::string name;
  std::unique_ptr<CMBCore> core;
  bool sse2() const { return name == "XMM2" || name == "XMM3"; }
};

// The integer-SSE class, as the factory builds it for a processor with integer SSE but no SSE2.
constexpr uint32_t kIntegerSseFeatures = kCpuMmx | kCpuIntegerSse | kCpuSse;

// The plain class, the integer-SSE class and every SSE2-level class the processor runs, each
// with a scratch area and (but for the integer-SSE class, whose kernel tables are not built)
// its motion-compensation tables.
std::vector<NamedCore> AllCores() {
  std::vector<NamedCore> cores;
  cores.push_back({"plain", std::make_unique<CMBCore>()});
  CMBCore* integerSse = nullptr;
  EXPECT_TRUE(CreateMBCore(&integerSse, kIntegerSseFeatures));
  cores.push_back({"XMM", std::unique_ptr<CMBCore>(integerSse)});
  for (const check::Variant& v : check::RunnableVariants()) {
    cores.push_back({v.name, std::move(check::MakeVariantCores(v).mb)});
  }
  alignas(128) static uint8_t scratch[8][1024];
  for (size_t i = 0; i < cores.size(); ++i) {
    if (cores[i].name != "XMM") cores[i].core->InitMcTables();
    cores[i].core->scratch = scratch[i];
  }
  return cores;
}

// ---------------------------------------------------------------------------------------------
// Tables.

TEST(Vc1Tables, BicubicTapsAreTheQuarterAndHalfFilters) {
  const int expected[4][4] = {{0, 1, 0, 0}, {-4, 53, 18, -3}, {-1, 9, 9, -1}, {-3, 18, 53, -4}};
  for (int f = 0; f < 4; ++f) {
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Vc1BicubicTaps[f][k], expected[f][k]) << f << " " << k;
  }
  for (int k = 0; k < 4; ++k) EXPECT_EQ(Vc1BicubicTaps[1][k], Vc1BicubicTaps[3][3 - k]);
}

TEST(Vc1Tables, BilinearWeightsFollowTheirFormula) {
  for (int fy = 0; fy < 4; ++fy) {
    for (int fx = 0; fx < 4; ++fx) {
      const uint32_t w = Vc1BilinearWeights[4 * fy + fx];
      const uint32_t expected[4] = {uint32_t((4 - fx) * (4 - fy)), uint32_t(fx * (4 - fy)),
                                    uint32_t((4 - fx) * fy), uint32_t(fx * fy)};
      for (int b = 0; b < 4; ++b) EXPECT_EQ((w >> (8 * b)) & 0xFF, expected[b]) << fx << fy;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Worked values of the interpolation slots.

// A source plane with three rows above the block and room either side; the block's integer
// position is at row 3, column 16.
struct Source {
  static constexpr int kStride = 48, kRows = 24;
  alignas(16) uint8_t bytes[kStride * kRows] = {};
  uint8_t* at(int row, int column) { return bytes + (3 + row) * kStride + 16 + column; }
};

struct alignas(16) Destination {
  uint8_t bytes[32 * 16];
  Destination() { std::memset(bytes, 0xA5, sizeof bytes); }
};

TEST(Vc1Interpolation, BilinearRoundsWithTheRoundingControl) {
  struct Case {
    const char* name;
    int index;        // entry of the weights table
    int samples[4];   // top-left, top-right, bottom-left, bottom-right
    int expected[2];  // rounding 0, 1
  } cases[] = {
      {.name = "weights 4,4,4,4 on 1,2,3,4",
       .index = 10,
       .samples = {1, 2, 3, 4},
       .expected = {3, 2}},
      {.name = "weights 12,4,0,0 on 0,2", .index = 1, .samples = {0, 2, 0, 0}, .expected = {1, 0}},
  };
  for (auto& [name, core] : AllCores()) {
    for (const Case& c : cases) {
      for (int rc = 0; rc <= 1; ++rc) {
        Source s;
        // Both components see the same neighbourhood: bytes 0, 1 and 2, 3 of rows 0 and 1.
        for (int b = 0; b < 2; ++b) {
          *s.at(0, b) = uint8_t(c.samples[0]);
          *s.at(0, 2 + b) = uint8_t(c.samples[1]);
          *s.at(1, b) = uint8_t(c.samples[2]);
          *s.at(1, 2 + b) = uint8_t(c.samples[3]);
        }
        Destination d;
        core->InterpolateBilinearVc1(Vc1BilinearWeights[c.index], s.at(0, 0), d.bytes,
                                     Source::kStride, 16, 1, rc);
        EXPECT_EQ(d.bytes[0], c.expected[rc]) << name << ": " << c.name << ", rc " << rc;
        EXPECT_EQ(d.bytes[1], c.expected[rc]) << name << ": " << c.name << ", rc " << rc;
        EXPECT_EQ(d.bytes[16], 0xA5) << name << ": one row only";
      }
    }
  }
}

// Column (1, 0, 2, 0) on rows -1..2 (or the same along a row) sums to 32 under the fraction-1
// taps: the rounding terms 31 + rc (vertical) and 32 - rc (horizontal) decide the output; in
// two dimensions the first pass gives 1 for either rc and the second (64 + 64 - rc) >> 7.
TEST(Vc1Interpolation, RoundingTermsOfEachDirection) {
  const int pattern[4] = {1, 0, 2, 0};
  for (auto& [name, core] : AllCores()) {
    for (int rc = 0; rc <= 1; ++rc) {
      Source vertical, horizontal;
      for (int k = 0; k < 4; ++k) {
        for (int c = -1; c <= 18; ++c) *vertical.at(k - 1, c) = uint8_t(pattern[k]);
        *horizontal.at(0, k - 1) = uint8_t(pattern[k]);
      }
      Destination v, h, both;
      core->InterpolateBicubicVertVc1(vertical.at(0, 0), v.bytes, Source::kStride, 16, 1, 1, rc);
      core->InterpolateBicubicHorzVc1(horizontal.at(0, 0), h.bytes, Source::kStride, 16, 1, 1, rc);
      core->InterpolateBicubic2DVc1(vertical.at(0, 0), both.bytes, Source::kStride, 16, 1, 1, 1,
                                    rc);
      EXPECT_EQ(v.bytes[0], rc) << name << " vertical, rc " << rc;
      EXPECT_EQ(h.bytes[0], 1 - rc) << name << " horizontal, rc " << rc;
      EXPECT_EQ(both.bytes[5], 1 - rc) << name << " two-dimensional, rc " << rc;
    }
  }
}

TEST(Vc1Interpolation, FlatAreasStayFlatAndExtremesClip) {
  for (auto& [name, core] : AllCores()) {
    for (int value : {0, 77, 255}) {
      Source s;
      std::memset(s.bytes, value, sizeof s.bytes);
      for (int rc = 0; rc <= 1; ++rc) {
        for (int f : {1, 3}) {
          Destination v, h;
          core->InterpolateBicubicVertVc1(s.at(0, 0), v.bytes, Source::kStride, 16, 16, f, rc);
          core->InterpolateBicubicHorzVc1(s.at(0, 0), h.bytes, Source::kStride, 16, 16, f, rc);
          for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(v.bytes[i], value) << name << " vertical " << f;
            ASSERT_EQ(h.bytes[i], value) << name << " horizontal " << f;
          }
        }
        for (int fx = 1; fx <= 3; ++fx) {
          for (int fy = 1; fy <= 3; ++fy) {
            Destination d;
            core->InterpolateBicubic2DVc1(s.at(0, 0), d.bytes, Source::kStride, 16, 16, fx, fy, rc);
            for (int i = 0; i < 256; ++i) ASSERT_EQ(d.bytes[i], value) << name << fx << fy;
          }
        }
      }
    }
    // Fraction 3 on the column 255, 0, 0, 255: (-3 * 255 - 4 * 255 + 31 + rc) >> 6 clips to 0.
    Source s;
    for (int c = 0; c < 16; ++c) {
      *s.at(-1, c) = 255;
      *s.at(2, c) = 255;
    }
    for (int rc = 0; rc <= 1; ++rc) {
      Destination d;
      core->InterpolateBicubicVertVc1(s.at(0, 0), d.bytes, Source::kStride, 16, 1, 3, rc);
      for (int c = 0; c < 16; ++c) EXPECT_EQ(d.bytes[c], 0) << name << " rc " << rc;
    }
  }
}

// Half fractions in both directions equal the 4-tap two-dimensional half-sample kernel.
TEST(Vc1Interpolation, HalfHalfEqualsTheFourTapKernel) {
  std::mt19937 rng(5);
  Source s;
  for (auto& b : s.bytes) b = uint8_t(rng());
  for (auto& [name, core] : AllCores()) {
    for (int rc = 0; rc <= 1; ++rc) {
      Destination kernel, slot;
      kReferenceMcKernels.vc1FourTap[4 * rc + 3](s.at(0, 0), kernel.bytes, Source::kStride, 16, 16);
      core->InterpolateBicubic2DVc1(s.at(0, 0), slot.bytes, Source::kStride, 16, 16, 2, 2, rc);
      EXPECT_EQ(0, std::memcmp(kernel.bytes, slot.bytes, sizeof slot.bytes)) << name << rc;
    }
  }
}

// Differences the SSE2 class keeps: a one-dimensional fraction 2 filters with the fraction-3
// taps, and the vertical and two-dimensional kernels write at a pitch of 16 whatever stride
// they are given, while the plain class honours it (the driver always passes 16).
TEST(Vc1Interpolation, Sse2ContractOutsideTheDriversCalls) {
  std::mt19937 rng(6);
  Source s;
  for (auto& b : s.bytes) b = uint8_t(rng());
  CMBCore plain;
  for (auto& named : AllCores()) {
    if (!named.sse2()) continue;
    CMBCore* core = named.core.get();
    const std::string& name = named.name;
    for (int rc = 0; rc <= 1; ++rc) {
      Destination two, three;
      core->InterpolateBicubicVertVc1(s.at(0, 0), two.bytes, Source::kStride, 16, 16, 2, rc);
      plain.InterpolateBicubicVertVc1(s.at(0, 0), three.bytes, Source::kStride, 16, 16, 3, rc);
      EXPECT_EQ(0, std::memcmp(two.bytes, three.bytes, 256)) << name << " vertical";
      core->InterpolateBicubicHorzVc1(s.at(0, 0), two.bytes, Source::kStride, 16, 16, 0, rc);
      plain.InterpolateBicubicHorzVc1(s.at(0, 0), three.bytes, Source::kStride, 16, 16, 3, rc);
      EXPECT_EQ(0, std::memcmp(two.bytes, three.bytes, 256)) << name << " horizontal";
    }
    Destination pitched, expected;
    core->InterpolateBicubicVertVc1(s.at(0, 0), pitched.bytes, Source::kStride, 32, 8, 1, 0);
    plain.InterpolateBicubicVertVc1(s.at(0, 0), expected.bytes, Source::kStride, 16, 8, 1, 0);
    EXPECT_EQ(0, std::memcmp(pitched.bytes, expected.bytes, sizeof expected.bytes)) << name;
    core->InterpolateBicubic2DVc1(s.at(0, 0), pitched.bytes, Source::kStride, 32, 8, 1, 3, 1);
    plain.InterpolateBicubic2DVc1(s.at(0, 0), expected.bytes, Source::kStride, 16, 8, 1, 3, 1);
    EXPECT_EQ(0, std::memcmp(pitched.bytes, expected.bytes, sizeof expected.bytes)) << name;
  }
  Destination strided;
  plain.InterpolateBicubicVertVc1(s.at(0, 0), strided.bytes, Source::kStride, 32, 8, 1, 0);
  EXPECT_EQ(strided.bytes[16], 0xA5) << "the plain class honours the destination stride";
}

// ---------------------------------------------------------------------------------------------
// Worked values of overlap smoothing.

struct alignas(16) Blocks {
  int16_t left[64] = {}, right[64] = {};
};

TEST(Vc1Overlap, VerticalEdgeRoundsByRow) {
  struct Case {
    const char* name;
    int right;  // columns 0 and 1 of the right block; the left block's columns 6, 7 are 0
    int row0[4], row1[4];
  } cases[] = {
      {.name = "right 8", .right = 8, .row0 = {1, 2, 6, 7}, .row1 = {1, 2, 6, 7}},
      {.name = "right 4", .right = 4, .row0 = {1, 1, 3, 3}, .row1 = {0, 1, 3, 4}},
  };
  for (auto& [name, core] : AllCores()) {
    for (const Case& c : cases) {
      Blocks b;
      for (int r = 0; r < 8; ++r) b.right[8 * r] = b.right[8 * r + 1] = int16_t(c.right);
      core->OverlapSmoothVertEdge(b.left, b.right);
      for (int r = 0; r < 8; ++r) {
        const int* want = r % 2 ? c.row1 : c.row0;
        const int got[4] = {b.left[8 * r + 6], b.left[8 * r + 7], b.right[8 * r],
                            b.right[8 * r + 1]};
        for (int k = 0; k < 4; ++k)
          EXPECT_EQ(got[k], want[k]) << name << " " << c.name << " row " << r;
        EXPECT_EQ(b.left[8 * r], 0) << name << ": only columns 6 and 7 of the left block";
        EXPECT_EQ(b.right[8 * r + 2], 0) << name << ": only columns 0 and 1 of the right block";
      }
    }
  }
}

// (0, 0, 0, 4) gives (1, 0, 0, 3) with rounding 1 and (0, 1, -1, 4) with rounding 0, on every
// row of the row-count form; x0 = -1, x3 = 0 floors to -1 with rounding 0.
TEST(Vc1Overlap, RowCountFormKeepsOneRoundingForTheCall) {
  struct Case {
    const char* name;
    int in[4];
    int rounding;
    int out[4];
  } cases[] = {
      {.name = "rounding 1", .in = {0, 0, 0, 4}, .rounding = 1, .out = {1, 0, 0, 3}},
      {.name = "rounding 0", .in = {0, 0, 0, 4}, .rounding = 0, .out = {0, 1, -1, 4}},
      {.name = "negative sums floor", .in = {-1, 0, 0, 0}, .rounding = 0, .out = {-1, 0, 0, 0}},
  };
  for (auto& [name, core] : AllCores()) {
    for (const Case& c : cases) {
      for (int stride : {16, 32}) {
        alignas(16) int16_t left[128] = {}, right[128] = {};
        const int step = stride / 2;
        for (int r = 0; r < 8; ++r) {
          left[step * r + 6] = int16_t(c.in[0]);
          left[step * r + 7] = int16_t(c.in[1]);
          right[step * r] = int16_t(c.in[2]);
          right[step * r + 1] = int16_t(c.in[3]);
        }
        core->OverlapSmoothVertEdgeRows(left, right, stride, stride, 4, c.rounding);
        for (int r = 0; r < 8; ++r) {
          const int got[4] = {left[step * r + 6], left[step * r + 7], right[step * r],
                              right[step * r + 1]};
          for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(got[k], r < 4 ? c.out[k] : c.in[k])
                << name << " " << c.name << " stride " << stride << " row " << r;
          }
        }
      }
    }
  }
}

TEST(Vc1Overlap, FlatSamplesStayAndHorizontalEdgeRoundsByColumn) {
  for (auto& [name, core] : AllCores()) {
    for (int v : {-300, 0, 5, 700}) {
      Blocks b;
      alignas(16) int16_t upper[16];
      std::fill(std::begin(b.left), std::end(b.left), int16_t(v));
      std::fill(std::begin(b.right), std::end(b.right), int16_t(v));
      std::fill(std::begin(upper), std::end(upper), int16_t(v));
      core->OverlapSmoothVertEdge(b.left, b.right);
      core->OverlapSmoothHorzEdge(upper, b.left);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(b.left[i], v) << name;
      for (int i = 0; i < 64; ++i) ASSERT_EQ(b.right[i], v) << name;
      for (int i = 0; i < 16; ++i) ASSERT_EQ(upper[i], v) << name;
    }
    // Across the horizontal edge: (0, 0 | 0, 4) down every column.
    alignas(16) int16_t upper[16] = {};
    Blocks b;
    for (int c = 0; c < 8; ++c) b.left[8 + c] = 4;
    core->OverlapSmoothHorzEdge(upper, b.left);
    for (int c = 0; c < 8; ++c) {
      const int want[4] = {c % 2 ? 0 : 1, c % 2 ? 1 : 0, c % 2 ? -1 : 0, c % 2 ? 4 : 3};
      const int got[4] = {upper[c], upper[8 + c], b.left[c], b.left[8 + c]};
      for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k], want[k]) << name << " column " << c;
    }
  }
}

TEST(Vc1Overlap, ContextTakesRowsSixAndSevenOfTheLowerBlocks) {
  for (auto& [name, core] : AllCores()) {
    alignas(16) int16_t mb[384];
    alignas(16) int16_t context[64] = {};
    for (int i = 0; i < 384; ++i) mb[i] = int16_t(i - 100);
    core->SaveOverlapContext(context, mb + 48);
    for (int block = 0; block < 4; ++block) {
      for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(context[16 * block + i], mb[64 * (block + 2) + 48 + i]) << name << " " << block;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Worked values of deblocking, on each of the four geometries.

enum class Edge { kHorizontal, kHorizontalCb, kHorizontalCr, kVertical, kVerticalCb, kVerticalCr };
const char* EdgeName(Edge e) {
  static const char* const kNames[] = {"horizontal", "horizontal Cb", "horizontal Cr",
                                       "vertical",   "vertical Cb",   "vertical Cr"};
  return kNames[static_cast<int>(e)];
}
bool IsChroma(Edge e) { return e != Edge::kHorizontal && e != Edge::kVertical; }
bool IsHorizontal(Edge e) { return e <= Edge::kHorizontalCr; }

// A plane around one edge of up to 8 segments; lines are drawn as P1..P8 by index.
struct EdgePlane {
  static constexpr int kStride = 80, kRows = 40;
  alignas(16) uint8_t bytes[kStride * kRows];
  Edge edge;
  explicit EdgePlane(Edge e) : edge(e) { std::memset(bytes, 90, sizeof bytes); }
  uint8_t* pointer() { return IsHorizontal(edge) ? bytes + 4 * kStride + 16 : bytes + 16; }
  // P(k) of line i, k = 1..8.
  uint8_t& P(int line, int k) {
    const int component = edge == Edge::kHorizontalCr || edge == Edge::kVerticalCr ? 1 : 0;
    if (IsHorizontal(edge)) {
      const int column = IsChroma(edge) ? 2 * line + component : line;
      return bytes[(k - 1) * kStride + 16 + column];
    }
    const int column = IsChroma(edge) ? 2 * (k - 1) + component : k - 1;
    return bytes[line * kStride + 16 + column];
  }
  void Draw(int line, const std::array<int, 8>& p) {
    for (int k = 1; k <= 8; ++k) P(line, k) = uint8_t(p[k - 1]);
  }
  void Run(CMBCore& core, int pquant, int segments, int mask) {
    switch (edge) {
      case Edge::kHorizontal:
        core.DeblockHorzEdgeVc1(pointer(), kStride, pquant, segments);
        break;
      case Edge::kHorizontalCb:
      case Edge::kHorizontalCr:
        core.DeblockHorzEdgeMaskedVc1(pointer(), kStride, pquant, mask, segments);
        break;
      case Edge::kVertical:
        core.DeblockVertEdgeVc1(pointer(), kStride, pquant, segments);
        break;
      default:
        core.DeblockVertEdgeMaskedVc1(pointer(), kStride, pquant, mask, segments);
        break;
    }
  }
  int MaskFor() const { return edge == Edge::kHorizontalCb || edge == Edge::kVerticalCb ? 2 : 1; }
};

constexpr std::array<Edge, 6> kEdges = {Edge::kHorizontal, Edge::kHorizontalCb, Edge::kHorizontalCr,
                                        Edge::kVertical,   Edge::kVerticalCb,   Edge::kVerticalCr};

using Line = std::array<int, 8>;
constexpr Line kStep100To120 = {100, 100, 100, 100, 120, 120, 120, 120};

TEST(Vc1Deblocking, WorkedSegments) {
  struct Case {
    const char* name;
    int pquant;
    std::array<Line, 4> lines;
    std::array<std::array<int, 2>, 4> expected;  // P4, P5 of each line afterwards
  } cases[] = {
      {.name = "step 100 to 120, PQUANT 9: a0 8, d 5",
       .pquant = 9,
       .lines = {kStep100To120, kStep100To120, kStep100To120, kStep100To120},
       .expected = {{{105, 115}, {105, 115}, {105, 115}, {105, 115}}}},
      {.name = "|a0| equal to PQUANT filters nothing",
       .pquant = 8,
       .lines = {kStep100To120, kStep100To120, kStep100To120, kStep100To120},
       .expected = {{{100, 120}, {100, 120}, {100, 120}, {100, 120}}}},
      {.name = "PQUANT 1 filters nothing",
       .pquant = 1,
       .lines = {kStep100To120, kStep100To120, kStep100To120, kStep100To120},
       .expected = {{{100, 120}, {100, 120}, {100, 120}, {100, 120}}}},
      {.name = "step of 1 is not filtered",
       .pquant = 31,
       .lines = {{{100, 100, 100, 100, 101, 101, 101, 101},
                  {100, 100, 100, 100, 101, 101, 101, 101},
                  {100, 100, 100, 100, 101, 101, 101, 101},
                  {100, 100, 100, 100, 101, 101, 101, 101}}},
       .expected = {{{100, 101}, {100, 101}, {100, 101}, {100, 101}}}},
      {.name = "third line with P4 - P5 = 1 shuts the segment",
       .pquant = 31,
       .lines =
           {kStep100To120, kStep100To120, {101, 101, 101, 101, 100, 100, 100, 100}, kStep100To120},
       .expected = {{{100, 120}, {100, 120}, {101, 100}, {100, 120}}}},
      {.name = "P4 - P5 = -3 corrects by at most 1",
       .pquant = 31,
       .lines = {{{110, 110, 110, 100, 103, 95, 95, 95},
                  {110, 110, 110, 100, 103, 95, 95, 95},
                  {110, 110, 110, 100, 103, 95, 95, 95},
                  {110, 110, 110, 100, 103, 95, 95, 95}}},
       .expected = {{{101, 102}, {101, 102}, {101, 102}, {101, 102}}}},
      // Third line: P4 > P5 with a0 = (2 (140 - 60) - 5 (104 - 100) + 4) >> 3 = 18 > 0 and
      // a3 = 9: it qualifies with clip 2, but a0 points the same way as the step.
      {.name = "third line passes but does not move; the others are still filtered",
       .pquant = 31,
       .lines =
           {kStep100To120, kStep100To120, {140, 140, 140, 104, 100, 60, 60, 60}, kStep100To120},
       .expected = {{{105, 115}, {105, 115}, {104, 100}, {105, 115}}}},
  };
  for (auto& [name, core] : AllCores()) {
    for (Edge edge : kEdges) {
      for (const Case& c : cases) {
        EdgePlane plane(edge);
        for (int i = 0; i < 4; ++i) plane.Draw(i, c.lines[i]);
        EdgePlane before = plane;
        plane.Run(*core, c.pquant, 1, plane.MaskFor());
        for (int i = 0; i < 4; ++i) {
          EXPECT_EQ(plane.P(i, 4), c.expected[i][0])
              << name << " " << EdgeName(edge) << ": " << c.name << ", line " << i << " P4";
          EXPECT_EQ(plane.P(i, 5), c.expected[i][1])
              << name << " " << EdgeName(edge) << ": " << c.name << ", line " << i << " P5";
        }
        // Nothing but the P4 and P5 of the four lines may change.
        for (int i = 0; i < 4; ++i) plane.P(i, 4) = before.P(i, 4), plane.P(i, 5) = before.P(i, 5);
        EXPECT_EQ(0, std::memcmp(plane.bytes, before.bytes, sizeof plane.bytes))
            << name << " " << EdgeName(edge) << ": " << c.name;
      }
    }
  }
}

// Every segment of a count is filtered and no more: 5 segments filter 20 lines (the SSE2
// horizontal-edge kernels used to drop a trailing odd segment), 1 segment exactly 4.
TEST(Vc1Deblocking, EverySegmentOfTheCountIsFiltered) {
  for (auto& [name, core] : AllCores()) {
    for (Edge edge : kEdges) {
      for (int segments : {1, 2, 4, 5, 7}) {
        EdgePlane plane(edge);
        const int maxLines = IsHorizontal(edge) ? (IsChroma(edge) ? 32 : 64) : 36;
        for (int i = 0; i < std::min(4 * segments + 4, maxLines); ++i) plane.Draw(i, kStep100To120);
        plane.Run(*core, 12, segments, plane.MaskFor());
        for (int i = 0; i < std::min(4 * segments + 4, maxLines); ++i) {
          const bool filtered = i < 4 * segments;
          EXPECT_EQ(plane.P(i, 4), filtered ? 105 : 100)
              << name << " " << EdgeName(edge) << ", " << segments << " segments, line " << i;
        }
      }
    }
  }
}

// Mask 2 touches only Cb (even bytes), 1 only Cr, 0 nothing, 3 both.
TEST(Vc1Deblocking, ComponentMaskSelectsTheComponents) {
  for (auto& [name, core] : AllCores()) {
    for (bool horizontal : {true, false}) {
      for (int mask = 0; mask <= 3; ++mask) {
        EdgePlane cb(horizontal ? Edge::kHorizontalCb : Edge::kVerticalCb);
        EdgePlane both = cb;
        EdgePlane cr(horizontal ? Edge::kHorizontalCr : Edge::kVerticalCr);
        for (int i = 0; i < 8; ++i) cb.Draw(i, kStep100To120);
        std::memcpy(cr.bytes, cb.bytes, sizeof cb.bytes);
        for (int i = 0; i < 8; ++i) cr.Draw(i, kStep100To120);
        std::memcpy(both.bytes, cr.bytes, sizeof cr.bytes);
        both.Run(*core, 12, 2, mask);
        for (int i = 0; i < 8; ++i) {
          both.edge = cb.edge;
          EXPECT_EQ(both.P(i, 4), mask & 2 ? 105 : 100) << name << " mask " << mask << " Cb";
          both.edge = cr.edge;
          EXPECT_EQ(both.P(i, 4), mask & 1 ? 105 : 100) << name << " mask " << mask << " Cr";
        }
      }
    }
  }
}

// The horizontal-edge chroma kernels of the SIMD classes act on the masks 1-3 only; the plain
// class tests the two bits, so a mask of 4 or more (which no caller passes) may differ.
TEST(Vc1Deblocking, SimdHorizontalChromaIgnoresMasksAboveThree) {
  for (auto& named : AllCores()) {
    if (named.name == "plain") continue;
    for (int mask : {4, 6, 7}) {
      EdgePlane plane(Edge::kHorizontalCb);
      for (int i = 0; i < 8; ++i) plane.Draw(i, kStep100To120);
      const EdgePlane before = plane;
      plane.Run(*named.core, 12, 2, mask);
      EXPECT_EQ(0, std::memcmp(plane.bytes, before.bytes, sizeof plane.bytes))
          << named.name << " mask " << mask;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The plain class against the standard's formulation.

constexpr int kExtremes[] = {0, 1, 127, 128, 254, 255};

// Every column of four samples from the extreme values (6^4), then random ones; each stands at
// rows -1..2 of one output column (vertical, two-dimensional) or as one row segment at
// columns -1..2 (horizontal).
std::vector<std::array<uint8_t, 4>> InterpolationColumns(int randomCount) {
  std::vector<std::array<uint8_t, 4>> columns;
  for (int a : kExtremes)
    for (int b : kExtremes)
      for (int c : kExtremes)
        for (int d : kExtremes) columns.push_back({uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)});
  std::mt19937 rng(421);
  for (int i = 0; i < randomCount; ++i) {
    columns.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  }
  return columns;
}

// A source of 4 rows whose column j holds columns[j]; the block of output columns 16b..16b+15
// reads columns 16b-1 .. 16b+18.
struct ColumnSource {
  static constexpr int kPad = 16;
  int stride;
  std::vector<uint8_t> bytes;
  explicit ColumnSource(const std::vector<std::array<uint8_t, 4>>& columns)
      : stride(static_cast<int>(columns.size()) + 2 * kPad + 16), bytes(size_t(stride) * 6) {
    for (size_t j = 0; j < columns.size(); ++j) {
      for (int k = 0; k < 4; ++k) bytes[size_t(stride) * (1 + k) + kPad + j] = columns[j][k];
    }
  }
  const uint8_t* at(int column) const { return bytes.data() + 2 * size_t(stride) + kPad + column; }
};

TEST(Vc1AgainstStandard, BicubicSlotsOnEveryExtremeColumnAndRandomOnes) {
  const auto columns = InterpolationColumns(100000);
  const ColumnSource source(columns);
  // The horizontal slot reads rows: row t holds columns[t] at columns -1..2.
  const int rowStride = 24;
  std::vector<uint8_t> rows(columns.size() * rowStride + 64);
  for (size_t t = 0; t < columns.size(); ++t) {
    for (int k = 0; k < 4; ++k) rows[t * rowStride + 8 + k - 1] = columns[t][k];
  }
  CMBCore plain;
  alignas(16) uint8_t out[16 * 16];
  long compared = 0;
  for (int rc = 0; rc <= 1; ++rc) {
    for (int fx = 0; fx <= 3; ++fx) {
      for (int fy = 0; fy <= 3; ++fy) {
        const bool vertical = fx == 0 && (fy == 1 || fy == 3);
        const bool horizontal = fy == 0 && (fx == 1 || fx == 3);
        const bool both = fx != 0 && fy != 0;
        if (!vertical && !horizontal && !both) continue;
        if (horizontal) {
          for (size_t t = 0; t + 16 <= columns.size(); t += 16) {
            const uint8_t* p = rows.data() + t * rowStride + 8;
            plain.InterpolateBicubicHorzVc1(p, out, rowStride, 16, 16, fx, rc);
            for (int r = 0; r < 16; ++r) {
              ASSERT_EQ(out[16 * r],
                        model::Vc1BicubicSample(p + r * rowStride, rowStride, fx, 0, rc))
                  << "horizontal " << fx << " rc " << rc << " row " << t + r;
            }
            compared += 16;
          }
          continue;
        }
        for (size_t j = 0; j + 16 <= columns.size(); j += 16) {
          const uint8_t* p = source.at(static_cast<int>(j));
          if (vertical) {
            plain.InterpolateBicubicVertVc1(p, out, source.stride, 16, 1, fy, rc);
          } else {
            plain.InterpolateBicubic2DVc1(p, out, source.stride, 16, 1, fx, fy, rc);
          }
          for (int c = 0; c < 16; ++c) {
            ASSERT_EQ(out[c], model::Vc1BicubicSample(p + c, source.stride, fx, fy, rc))
                << "fractions " << fx << "," << fy << " rc " << rc << " column " << j + c;
          }
          compared += 16;
        }
      }
    }
  }
  EXPECT_GT(compared, 13L * 2 * 100000);
}

TEST(Vc1AgainstStandard, BilinearSlotOnEveryWeightsWord) {
  std::mt19937 rng(59);
  CMBCore plain;
  std::vector<uint8_t> source(40 * 12);
  alignas(16) uint8_t out[16 * 8];
  for (int trial = 0; trial < 40; ++trial) {
    for (auto& b : source) b = trial % 8 == 0 ? uint8_t(rng() & 1 ? 255 : 0) : uint8_t(rng());
    for (int index = 0; index < 16; ++index) {
      for (int rc = 0; rc <= 1; ++rc) {
        const uint8_t* p = source.data() + 40 + 3;
        plain.InterpolateBilinearVc1(Vc1BilinearWeights[index], p, out, 40, 16, 8, rc);
        for (int r = 0; r < 8; ++r) {
          for (int c = 0; c < 16; ++c) {
            ASSERT_EQ(out[16 * r + c],
                      model::Vc1BilinearSample(p + 40 * r + c, 40, 2, index & 3, index >> 2, rc))
                << "weights " << index << " rc " << rc;
          }
        }
      }
    }
  }
}

TEST(Vc1AgainstStandard, OverlapSlotsOnReconstructedSampleRange) {
  std::mt19937 rng(51);
  std::uniform_int_distribution<int> sample(-512, 767);
  CMBCore plain;
  for (int trial = 0; trial < 2000; ++trial) {
    Blocks b, in;
    alignas(16) int16_t upper[16], upperIn[16];
    for (int i = 0; i < 64; ++i)
      in.left[i] = int16_t(sample(rng)), in.right[i] = int16_t(sample(rng));
    for (int i = 0; i < 16; ++i) upperIn[i] = int16_t(sample(rng));
    auto expect = [](int a, int bb, int c, int d, int rnd, std::array<int, 4> got,
                     const char* what) {
      int x[4] = {a, bb, c, d};
      model::Vc1OverlapFilter(x, rnd);
      for (int k = 0; k < 4; ++k) ASSERT_EQ(got[k], x[k]) << what << " rounding " << rnd;
    };
    b = in;
    plain.OverlapSmoothVertEdge(b.left, b.right);
    for (int r = 0; r < 8; ++r) {
      expect(in.left[8 * r + 6], in.left[8 * r + 7], in.right[8 * r], in.right[8 * r + 1],
             1 - r % 2, {b.left[8 * r + 6], b.left[8 * r + 7], b.right[8 * r], b.right[8 * r + 1]},
             "vertical");
    }
    const int rounding = trial & 1;
    b = in;
    plain.OverlapSmoothVertEdgeRows(b.left, b.right, 16, 16, 8, rounding);
    for (int r = 0; r < 8; ++r) {
      expect(in.left[8 * r + 6], in.left[8 * r + 7], in.right[8 * r], in.right[8 * r + 1], rounding,
             {b.left[8 * r + 6], b.left[8 * r + 7], b.right[8 * r], b.right[8 * r + 1]}, "rows");
    }
    b = in;
    std::memcpy(upper, upperIn, sizeof upper);
    plain.OverlapSmoothHorzEdge(upper, b.left);
    for (int c = 0; c < 8; ++c) {
      expect(upperIn[c], upperIn[8 + c], in.left[c], in.left[8 + c], 1 - c % 2,
             {upper[c], upper[8 + c], b.left[c], b.left[8 + c]}, "horizontal");
    }
  }
}

TEST(Vc1AgainstStandard, LoopFilterSlotsOnDrawnSegments) {
  check::Rng rng(55);
  CMBCore plain;
  int opened = 0, shut = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const Edge edge = kEdges[trial % kEdges.size()];
    const int pquant = rng.Uniform(1, 31), segments = rng.Uniform(1, 8);
    EdgePlane plane(edge);
    for (auto& b : plane.bytes) b = uint8_t(rng.Uniform(0, 255));
    const int lines = 4 * segments;
    // Draw through P(): line i's P1 and the distances to its P2 and to the next line.
    uint8_t* p1 = &plane.P(0, 1);
    const std::ptrdiff_t lineStep = &plane.P(1, 1) - p1, sampleStep = &plane.P(0, 2) - p1;
    check::DrawEdges(rng, p1, int(lineStep), int(sampleStep), lines, pquant);
    EdgePlane expected = plane;
    uint8_t* q1 = &expected.P(0, 1);
    for (int s = 0; s < segments; ++s) {
      uint8_t before[8];
      for (int k = 0; k < 8; ++k) before[k] = q1[(4 * s + 2) * lineStep + k * sampleStep];
      model::Vc1LoopFilterSegment(q1 + 4 * s * lineStep, lineStep, sampleStep, pquant);
      // Whether the third line let the segment through: redo its test on the old values.
      const int a0 = (2 * (before[2] - before[5]) - 5 * (before[3] - before[4]) + 4) >> 3;
      const int a1 = (2 * (before[0] - before[3]) - 5 * (before[1] - before[2]) + 4) >> 3;
      const int a2 = (2 * (before[4] - before[7]) - 5 * (before[5] - before[6]) + 4) >> 3;
      const bool opens = std::abs(a0) < pquant &&
                         std::min(std::abs(a1), std::abs(a2)) < std::abs(a0) &&
                         (before[3] - before[4]) / 2 != 0;
      (opens ? opened : shut)++;
    }
    plane.Run(plain, pquant, segments, plane.MaskFor());
    ASSERT_EQ(0, std::memcmp(plane.bytes, expected.bytes, sizeof plane.bytes))
        << EdgeName(edge) << ", PQUANT " << pquant << ", " << segments << " segments, trial "
        << trial;
  }
  // The third line decided both ways often.
  EXPECT_GT(opened, 2000);
  EXPECT_GT(shut, 2000);
}

// ---------------------------------------------------------------------------------------------
// The integer-SSE class's own bodies on the harness entries (until the harness runs that class
// as a variant of its own).

TEST(Vc1IntegerSse, OwnBodiesMatchThePlainClassOnTheHarnessEntries) {
  const check::Variant integerSse{"XMM", kIntegerSseFeatures};
  int ran = 0;
  for (const check::KernelEntry& entry : check::RegisteredKernels()) {
    if (entry.family != check::Family::kMBCore || entry.slot < 51 || entry.slot > 62) continue;
    const std::string failure =
        check::RunEntry(entry, integerSse, entry.trials, check::HarnessSeed());
    EXPECT_TRUE(failure.empty()) << failure;
    ++ran;
  }
  EXPECT_EQ(ran, 12);
}

// ---------------------------------------------------------------------------------------------
// The quarter-sample motion-compensation drivers against the standard's prediction.

// A textured reference picture with 32 bytes of border around 64x48 luma (and its chroma).
struct Picture {
  static constexpr int kStride = 128, kLumaRows = 112, kChromaRows = 56;
  std::vector<uint8_t> luma, chroma;
  uint8_t* planes[2];
  explicit Picture(unsigned seed) : luma(kStride * kLumaRows), chroma(kStride * kChromaRows) {
    std::mt19937 rng(seed);
    for (int r = 0; r < kLumaRows; ++r) {
      for (int c = 0; c < kStride; ++c) {
        const int texture = 128 + int(90 * std::sin(0.37 * c + 0.21 * r)) + int(rng() % 41) - 20;
        luma[r * kStride + c] = uint8_t(std::clamp(texture, 0, 255));
      }
    }
    for (auto& v : chroma) v = uint8_t(rng() % 3 ? rng() : (rng() & 1) * 255);
    planes[0] = luma.data() + 32 * kStride + 32;
    planes[1] = chroma.data() + 16 * kStride + 32;
  }
};

struct Prediction {
  alignas(16) uint8_t luma[256];
  alignas(16) uint8_t chroma[128];
  uint8_t* pair[2] = {luma, chroma};
};

// The standard's one-direction prediction of the macroblock at (x, y) with the luma vector
// (vx, vy) in quarter samples: bicubic luma, bilinear chroma from the derived chroma vector.
void StandardPrediction(const Picture& p, int x, int y, int vx, int vy, bool fastChroma, int rnd,
                        uint8_t* luma, uint8_t* chroma) {
  const uint8_t* l = p.planes[0] + (y + (vy >> 2)) * Picture::kStride + x + (vx >> 2);
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c) {
      luma[16 * r + c] = model::Vc1BicubicSample(l + r * Picture::kStride + c, Picture::kStride,
                                                 vx & 3, vy & 3, rnd);
    }
  }
  const int cx = model::Vc1ChromaVector(vx, fastChroma),
            cy = model::Vc1ChromaVector(vy, fastChroma);
  const uint8_t* ch =
      p.planes[1] + ((y >> 1) + (cy >> 2)) * Picture::kStride + 2 * ((x >> 1) + (cx >> 2));
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 16; ++c) {
      chroma[16 * r + c] = model::Vc1BilinearSample(ch + r * Picture::kStride + c, Picture::kStride,
                                                    2, cx & 3, cy & 3, rnd);
    }
  }
}

// The chroma vector as the driver's caller passes it: quarter samples, or half samples with
// fast chroma.
int DriverChromaVector(int v, bool fastChroma) {
  const int c = model::Vc1ChromaVector(v, fastChroma);
  return fastChroma ? c / 2 : c;
}

TEST(Vc1Drivers, QuarterSamplePredictionEqualsTheStandards) {
  const Picture forward(1), backward(2);
  const int x = 16, y = 16;
  for (auto& [name, core] : AllCores()) {
    if (name == "XMM") continue;  // its kernel tables are not built
    for (int rnd = 0; rnd <= 1; ++rnd) {
      core->roundingControl = rnd;
      for (bool fast : {false, true}) {
        for (int fy = 0; fy < 4; ++fy) {
          for (int fx = 0; fx < 4; ++fx) {
            const int vx = 4 * -3 + fx, vy = 4 * 2 + fy;  // integer parts -3 and 2
            Prediction got, want;
            core->MotionCompensateMBVc1(
                const_cast<uint8_t* const*>(forward.planes), got.pair, Picture::kStride, x, y, vx,
                vy, DriverChromaVector(vx, fast), DriverChromaVector(vy, fast), fast);
            StandardPrediction(forward, x, y, vx, vy, fast, rnd, want.luma, want.chroma);
            const std::string where = name + " vector (" + std::to_string(vx) + ", " +
                                      std::to_string(vy) + ") rnd " + std::to_string(rnd) +
                                      (fast ? " fast chroma" : "");
            ASSERT_EQ(0, std::memcmp(got.luma, want.luma, 256)) << where << " luma";
            ASSERT_EQ(0, std::memcmp(got.chroma, want.chroma, 128)) << where << " chroma";

            // Bidirectional: the backward vector mirrors the forward one.
            const int wx = -vx + 1, wy = -vy - 2;
            Prediction both, back;
            core->MotionCompensateMBVc1Bidir(const_cast<uint8_t* const*>(forward.planes),
                                             const_cast<uint8_t* const*>(backward.planes),
                                             both.pair, Picture::kStride, x, y, vx, vy, wx, wy,
                                             fast);
            StandardPrediction(backward, x, y, wx, wy, fast, rnd, back.luma, back.chroma);
            for (int i = 0; i < 256; ++i) {
              ASSERT_EQ(both.luma[i], (want.luma[i] + back.luma[i] + 1) >> 1) << where << " bidir";
            }
            for (int i = 0; i < 128; ++i) {
              ASSERT_EQ(both.chroma[i], (want.chroma[i] + back.chroma[i] + 1) >> 1)
                  << where << " bidir chroma";
            }
          }
        }
      }
    }
  }
}

// The half-sample bilinear mode: luma and chroma both bilinear at half positions.
TEST(Vc1Drivers, HalfSampleBilinearPredictionEqualsTheStandards) {
  const Picture picture(3);
  const int x = 32, y = 16;
  for (auto& [name, core] : AllCores()) {
    if (name == "XMM") continue;  // its kernel tables are not built
    for (int rnd = 0; rnd <= 1; ++rnd) {
      core->roundingControl = rnd;
      for (int v = 0; v < 16; ++v) {
        const int mvx = (v & 3) - 4, mvy = (v >> 2) + 3, cmvx = mvx / 2, cmvy = mvy / 2;
        Prediction got;
        core->MotionCompensateMBVc1HalfPel(const_cast<uint8_t* const*>(picture.planes), got.pair,
                                           Picture::kStride, x, y, mvx, mvy, cmvx, cmvy);
        const uint8_t* l = picture.planes[0] + (y + (mvy >> 1)) * Picture::kStride + x + (mvx >> 1);
        for (int r = 0; r < 16; ++r) {
          for (int c = 0; c < 16; ++c) {
            ASSERT_EQ(got.luma[16 * r + c],
                      model::Vc1BilinearSample(l + r * Picture::kStride + c, Picture::kStride, 1,
                                               2 * (mvx & 1), 2 * (mvy & 1), rnd))
                << name << " vector " << mvx << "," << mvy << " rnd " << rnd;
          }
        }
        const uint8_t* ch = picture.planes[1] + ((y >> 1) + (cmvy >> 1)) * Picture::kStride +
                            2 * ((x >> 1) + (cmvx >> 1));
        for (int r = 0; r < 8; ++r) {
          for (int c = 0; c < 16; ++c) {
            ASSERT_EQ(got.chroma[16 * r + c],
                      model::Vc1BilinearSample(ch + r * Picture::kStride + c, Picture::kStride, 2,
                                               2 * (cmvx & 1), 2 * (cmvy & 1), rnd))
                << name << " chroma vector " << cmvx << "," << cmvy << " rnd " << rnd;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orx::dsp
