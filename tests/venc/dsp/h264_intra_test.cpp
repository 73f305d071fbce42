// H.264 intra prediction: every mode of every size equals the standard's equations
// (model/h264_standard) for every availability combination; the worked cases of the mode
// decision; and the top-left macroblock of a plane with exactly the borders the SSE2 DC modes
// need, with unreadable pages around it.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "tests/venc/dsp/check/h264_setup.h"
#include "tests/venc/dsp/core_test_support.h"
#include "tests/venc/dsp/model/h264_standard.h"
#include "venc/dsp/h264_blocks.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

constexpr int kStride = 48;
constexpr int kOffset = kStride + 16;  // row 1, column 16: aligned, with neighbours around

struct alignas(16) Plane {
  uint8_t v[kStride * 20] = {};
};
struct alignas(16) Out {
  uint8_t v[256] = {};
};

int LumaBlockOrder(int x, int y) { return 16 * ((y / 4) * 4 + x / 4) + 4 * (y % 4) + x % 4; }
int ChromaBlockOrder(int x, int y) { return 2 * (16 * ((y / 4) * 2 + x / 4) + 4 * (y % 4) + x % 4); }

uint32_t Flags(int combination) {
  return (combination & 1 ? kIntraLeftAvailable : 0) | (combination & 2 ? kIntraTopAvailable : 0) |
         (combination & 4 ? kIntraTopLeftAvailable : 0) | (combination & 8 ? kIntraTopRightAvailable : 0);
}

void Fill(check::Rng& rng, uint8_t* p, size_t n) {
  int maximum = rng.Chance(50) ? 255 : 8;
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(rng.Uniform(0, maximum));
}

TEST(H264Intra, SixteenBySixteenEqualsTheStandard) {
  check::Rng rng(check::HarnessSeed() + 10);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    for (int trial = 0; trial < 20; ++trial) {
      Plane plane, current;
      Fill(rng, plane.v, sizeof plane.v);
      Fill(rng, current.v, sizeof current.v);
      const uint8_t* n = plane.v + kOffset;
      standard::Neighbour p = [&](int x, int y) { return int{n[y * kStride + x]}; };
      for (int combination = 0; combination < 4; ++combination) {
        bool left = combination & 1, top = combination & 2;
        for (int mode = 0; mode < 4; ++mode) {
          int expected[16][16];
          standard::Intra16x16(mode, p, left, top, expected);
          Out out;
          int sad = core->PredictIntra16x16(n, current.v + kOffset, kStride, Flags(combination) | mode, out.v);
          int expectedSad = 0;
          for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
              ASSERT_EQ(out.v[LumaBlockOrder(x, y)], expected[y][x]) << name << " mode " << mode << " availability " << combination;
              expectedSad += std::abs(current.v[kOffset + y * kStride + x] - expected[y][x]);
            }
          }
          ASSERT_EQ(sad, expectedSad) << name << " mode " << mode;
        }
      }
    }
  }
}

TEST(H264Intra, ChromaEqualsTheStandard) {
  check::Rng rng(check::HarnessSeed() + 11);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    for (int trial = 0; trial < 20; ++trial) {
      Plane plane, current;
      Fill(rng, plane.v, sizeof plane.v);
      Fill(rng, current.v, sizeof current.v);
      for (int combination = 0; combination < 4; ++combination) {
        bool left = combination & 1, top = combination & 2;
        for (int mode = 0; mode < 4; ++mode) {
          Out out;
          int sad = core->PredictIntraChroma(plane.v + kOffset, current.v + kOffset, kStride, Flags(combination) | mode, out.v);
          int expectedSad = 0;
          for (int component = 0; component < 2; ++component) {
            const uint8_t* n = plane.v + kOffset + component;
            standard::Neighbour p = [&](int x, int y) { return int{n[y * kStride + 2 * x]}; };
            int expected[8][8];
            standard::IntraChroma(mode, p, left, top, expected);
            for (int y = 0; y < 8; ++y) {
              for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(out.v[ChromaBlockOrder(x, y) + component], expected[y][x])
                    << name << " mode " << mode << " availability " << combination << " component " << component;
                expectedSad += std::abs(current.v[kOffset + y * kStride + 2 * x + component] - expected[y][x]);
              }
            }
          }
          ASSERT_EQ(sad, expectedSad) << name << " mode " << mode;
        }
      }
    }
  }
}

// Every candidate the 4x4 decision builds (mode m at 16 m of the scratch area) is the standard's.
TEST(H264Intra, FourByFourCandidatesEqualTheStandard) {
  check::Rng rng(check::HarnessSeed() + 12);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    for (int trial = 0; trial < 40; ++trial) {
      Plane plane, current;
      Fill(rng, plane.v, sizeof plane.v);
      Fill(rng, current.v, sizeof current.v);
      int offset = kStride * rng.Uniform(1, 4) + rng.Uniform(1, kStride - 8);
      const uint8_t* n = plane.v + offset;
      for (int combination = 0; combination < 16; ++combination) {
        bool left = combination & 1, top = combination & 2, topLeft = combination & 4, topRight = combination & 8;
        if (!left && !top) continue;
        standard::Neighbour p = [&](int x, int y) {
          if (y == -1 && x > 3 && !topRight) x = 3;  // substitution of missing top-right samples
          return int{n[y * kStride + x]};
        };
        alignas(16) int16_t residual[16];
        alignas(16) uint8_t prediction[16];
        int chosen = core->PredictIntra4x4Best(residual, prediction, n, current.v + offset, kStride, Flags(combination));
        const bool needs[9] = {top, left, true, top, left && top && topLeft, left && top && topLeft,
                               left && top && topLeft, top, left};
        for (int mode = 0; mode < 9; ++mode) {
          if (!needs[mode]) continue;
          int expected[4][4];
          standard::Intra4x4(mode, p, left, top, expected);
          for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(core->scratch[16 * mode + i], expected[i / 4][i % 4])
                << name << " mode " << mode << " availability " << combination << " sample " << i;
          }
        }
        for (int i = 0; i < 16; ++i) {
          ASSERT_EQ(prediction[i], core->scratch[16 * chosen + i]) << name;
          ASSERT_EQ(residual[i], current.v[offset + (i / 4) * kStride + i % 4] - prediction[i]) << name;
        }
      }
    }
  }
}

// A 4x4 neighbourhood: the row above (8 samples), the corner, the left column, the block.
struct Neighbourhood4x4 {
  Plane plane;
  Plane current;
  static constexpr int kAt = 2 * kStride + 4;
  Neighbourhood4x4(int top, int corner, int left, int block) {
    std::memset(plane.v, top, sizeof plane.v);
    plane.v[kAt - kStride - 1] = static_cast<uint8_t>(corner);
    for (int y = 0; y < 4; ++y) plane.v[kAt + y * kStride - 1] = static_cast<uint8_t>(left);
    std::memset(current.v, block, sizeof current.v);
  }
  int Run(CMBCore& core, uint32_t flags, uint8_t* prediction = nullptr, int16_t* residual = nullptr) {
    alignas(16) int16_t r[16];
    alignas(16) uint8_t p[16];
    int mode = core.PredictIntra4x4Best(r, p, plane.v + kAt, current.v + kAt, kStride, flags);
    if (prediction) std::memcpy(prediction, p, 16);
    if (residual) std::memcpy(residual, r, 32);
    return mode;
  }
};

constexpr uint32_t kAll = kIntraLeftAvailable | kIntraTopAvailable | kIntraTopLeftAvailable | kIntraTopRightAvailable;

uint32_t Penalty(uint32_t p) { return p << kIntraBiasShift; }

TEST(H264Intra, FourByFourDecisionCases) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    {
      SCOPED_TRACE(name + ": no neighbours gives DC 128 whatever the penalty");
      Neighbourhood4x4 n(7, 7, 7, 200);
      uint8_t prediction[16];
      int16_t residual[16];
      EXPECT_EQ(n.Run(*core, 5 | Penalty(4095), prediction, residual), 2);
      for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(prediction[i], 128);
        EXPECT_EQ(residual[i], 72);
      }
    }
    {
      SCOPED_TRACE(name + ": vertical and DC tie, neither predicted: mode 0");
      Neighbourhood4x4 n(100, 100, 100, 90);  // every candidate predicts 100
      EXPECT_EQ(n.Run(*core, kIntraTopAvailable | 8), 0);
    }
    {
      SCOPED_TRACE(name + ": horizontal and DC equally best, predicted 2");
      // Left only, block equal to the left column: horizontal, DC and horizontal-up all exact.
      Neighbourhood4x4 n(100, 100, 50, 50);
      EXPECT_EQ(n.Run(*core, kIntraLeftAvailable | 2), 1);
      EXPECT_EQ(n.Run(*core, kIntraLeftAvailable | 2 | Penalty(1)), 2);
      EXPECT_EQ(n.Run(*core, kIntraLeftAvailable | 2 | Penalty(4095)), 2);
    }
    {
      SCOPED_TRACE(name + ": top without top-right repeats p[3, -1]");
      Neighbourhood4x4 n(0, 0, 0, 0);
      for (int x = 0; x < 8; ++x) n.plane.v[Neighbourhood4x4::kAt - kStride + x] = static_cast<uint8_t>(10 * x + 5);
      n.Run(*core, kIntraTopAvailable | 3);
      EXPECT_EQ(core->scratch[16 * 3 + 15], 35);  // (p[3] x 4 + 2) >> 2
    }
  }
}

// The predicted mode whose sum is 3 above the best one wins with a penalty of 4 (S + 3 against
// S + 4) and loses with a penalty of 2. Neighbourhoods are searched for such a pair with the
// standard's predictions.
TEST(H264Intra, PredictedModeThreeAboveTheBestWinsWithPenaltyFour) {
  check::Rng rng(check::HarnessSeed() + 13);
  int found = 0;
  for (int trial = 0; trial < 2000 && found < 20; ++trial) {
    Plane plane, current;
    for (uint8_t& v : plane.v) v = static_cast<uint8_t>(rng.Uniform(0, 6));
    for (uint8_t& v : current.v) v = static_cast<uint8_t>(rng.Uniform(0, 6));
    const int at = Neighbourhood4x4::kAt;
    standard::Neighbour p = [&](int x, int y) { return int{plane.v[at + y * kStride + x]}; };
    int sad[9];
    for (int mode = 0; mode < 9; ++mode) {
      int pred[4][4];
      standard::Intra4x4(mode, p, true, true, pred);
      sad[mode] = 0;
      for (int i = 0; i < 16; ++i) sad[mode] += std::abs(current.v[at + (i / 4) * kStride + i % 4] - pred[i / 4][i % 4]);
    }
    int best = 0;
    for (int mode = 1; mode < 9; ++mode) best = sad[mode] < sad[best] ? mode : best;
    int predicted = -1;
    for (int mode = 0; mode < 9; ++mode) predicted = sad[mode] == sad[best] + 3 ? mode : predicted;
    if (predicted < 0) continue;
    ++found;
    for (auto& [name, core] : dsptest::PlainAndVariants()) {
      check::PrepareH264Core(*core, 0, 0);
      alignas(16) int16_t residual[16];
      alignas(16) uint8_t prediction[16];
      uint32_t flags = kAll | static_cast<uint32_t>(predicted);
      EXPECT_EQ(core->PredictIntra4x4Best(residual, prediction, plane.v + at, current.v + at, kStride, flags | Penalty(4)),
                predicted) << name;
      EXPECT_EQ(core->PredictIntra4x4Best(residual, prediction, plane.v + at, current.v + at, kStride, flags | Penalty(2)),
                best) << name;
    }
  }
  EXPECT_EQ(found, 20);
}

TEST(H264Intra, AllWhiteBlockOnBlackNeighboursSplitsTheVariants) {
  // Every candidate costs 4080; predicted mode 4 with penalty 100 has key 16 x 4080 + 4, which
  // the plain class's starting key 65282 rejects (mode 2) and the SSE2 decision takes (mode 4).
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    Neighbourhood4x4 n(0, 0, 0, 255);
    EXPECT_EQ(n.Run(*core, kAll | 4 | Penalty(100)), name == "plain" ? 2 : 4) << name;
  }
}

TEST(H264Intra, MacroblockCases) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    Plane plane, current;
    uint8_t* n = plane.v + kOffset;
    Out out;
    std::memset(plane.v, 77, sizeof plane.v);
    core->PredictIntra16x16(n, nullptr, kStride, 2, out.v);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out.v[i], 128) << name << " 16x16 DC without neighbours";
    EXPECT_EQ(core->PredictIntra16x16(n, nullptr, kStride, 2, out.v), 0) << name << " no current block";
    // Left only: the top row does not count.
    for (int x = 0; x < 16; ++x) n[x - kStride] = static_cast<uint8_t>(x * 16);
    for (int y = 0; y < 16; ++y) n[y * kStride - 1] = 40;
    core->PredictIntra16x16(n, nullptr, kStride, kIntraLeftAvailable | 2, out.v);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out.v[i], 40) << name << " left-only DC";
    // Top only: (sum of the top row + 8) >> 4.
    core->PredictIntra16x16(n, nullptr, kStride, kIntraTopAvailable | 2, out.v);
    EXPECT_EQ(out.v[0], (16 * 120 + 8) >> 4) << name;
    // Plane on a flat neighbourhood gives its value; on steep edges it clips.
    std::memset(plane.v, 90, sizeof plane.v);
    core->PredictIntra16x16(n, nullptr, kStride, 3, out.v);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out.v[i], 90) << name << " flat plane";
    for (int x = -1; x < 16; ++x) n[x - kStride] = x < 8 ? 0 : 255;
    for (int y = 0; y < 16; ++y) n[y * kStride - 1] = y < 8 ? 0 : 255;
    core->PredictIntra16x16(n, nullptr, kStride, 3, out.v);
    EXPECT_EQ(out.v[LumaBlockOrder(0, 0)], 0) << name << " steep plane";
    EXPECT_EQ(out.v[LumaBlockOrder(15, 15)], 255) << name << " steep plane";
    // Chroma DC: top-right with only left uses the left rows 0-3; bottom-left with only top
    // uses the top columns 0-3; with both, top-right takes the top and bottom-left the left.
    std::memset(plane.v, 0, sizeof plane.v);
    for (int x = 0; x < 16; ++x) n[x - kStride] = x < 8 ? 20 : 60;  // columns 0-3 and 4-7
    for (int y = 0; y < 8; ++y) n[y * kStride - 2] = n[y * kStride - 1] = y < 4 ? 100 : 140;
    struct Case {
      uint32_t flags;
      int topRight, bottomLeft;
    };
    for (Case c : {Case{kIntraLeftAvailable, 100, 140}, Case{kIntraTopAvailable, 60, 20},
                   Case{kIntraLeftAvailable | kIntraTopAvailable, 60, 140}}) {
      core->PredictIntraChroma(n, nullptr, kStride, c.flags, out.v);
      EXPECT_EQ(out.v[32], c.topRight) << name << " flags " << c.flags;
      EXPECT_EQ(out.v[33], c.topRight) << name << " flags " << c.flags;
      EXPECT_EQ(out.v[64], c.bottomLeft) << name << " flags " << c.flags;
    }
  }
}

// The SSE2 DC modes read the row above and the 16 bytes left of the block before they look at
// the availability bits. The top-left macroblock of a plane with exactly the borders the intra
// coder keeps must therefore stay inside the plane's memory: unreadable pages lie on both sides.
TEST(H264Intra, TopLeftMacroblockOfAPaddedPlaneStaysInsideIt) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const int width = 64, rows = 32;
  const int stride = width + 2 * kIntraPlaneBorderBytes;
  const size_t bytes = static_cast<size_t>(stride) * (rows + 2 * kIntraPlaneBorderRows);
  const size_t mapped = (bytes + page - 1) / page * page;
  uint8_t* region = static_cast<uint8_t*>(mmap(nullptr, mapped + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  // The plane's memory ends where the guard page after it begins.
  uint8_t* memory = region + page + (mapped - bytes);
  ASSERT_EQ(mprotect(region + page, mapped, PROT_READ | PROT_WRITE), 0);
  ASSERT_EQ(reinterpret_cast<uintptr_t>(memory) % 16, 0u);
  std::memset(memory, 60, bytes);
  uint8_t* origin = memory + kIntraPlaneBorderRows * stride + kIntraPlaneBorderBytes;
  IntraPlane plane{memory, bytes, origin, stride, width, rows};
  EXPECT_TRUE(IntraPositionReadable(plane, origin, 16, 16));
  IntraPlane unpadded{origin, bytes - (origin - memory), origin, stride, width, rows};
  EXPECT_FALSE(IntraPositionReadable(unpadded, origin, 16, 16));
  IntraPlane narrow{memory, bytes, origin, width + 16, width, rows};
  EXPECT_FALSE(IntraPositionReadable(narrow, origin, 16, 16));

  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    check::PrepareH264Core(*core, 0, 0);
    alignas(16) uint8_t out[256];
    // Luma at the top-left, and chroma at the top-left of an interleaved plane of the same form.
    EXPECT_EQ(core->PredictIntra16x16(origin, origin, stride, 2, out), 16 * 16 * (128 - 60)) << name;
    EXPECT_EQ(core->PredictIntraChroma(origin, origin, stride, 0, out), 128 * (128 - 60)) << name;
    // The bottom-right macroblock reads nothing past the plane either.
    uint8_t* last = origin + (rows - 16) * stride + width - 16;
    EXPECT_TRUE(IntraPositionReadable(plane, last, 16, 16));
    core->PredictIntra16x16(last, last, stride, kIntraLeftAvailable | kIntraTopAvailable | 2, out);
  }
  munmap(region, mapped + 2 * page);
}

}  // namespace
}  // namespace orx::dsp
