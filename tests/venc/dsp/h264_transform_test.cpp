// The H.264 residual kernels: reconstruction equals the standard's scaling, inverse transform
// and picture construction (transcribed in model/h264_standard) for levels our quantiser makes
// at every QP 12-51, luma and chroma DC included; the worked cases of the quantiser and the
// reconstruction; the pair slots against their single-block forms; the record index bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "tests/venc/dsp/check/h264_setup.h"
#include "tests/venc/dsp/core_test_support.h"
#include "tests/venc/dsp/model/h264_standard.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

using check::PrepareH264Core;

struct alignas(16) Words {
  int16_t v[512] = {};
};
struct alignas(16) Bytes {
  uint8_t v[512] = {};
};

constexpr int kStride = 24;

// Level c[i][j] (row i: vertical frequency) of a column-major block.
int LevelAt(const int16_t* block, int i, int j, int step = 1, int component = 0) {
  return block[step * (4 * j + i) + component];
}

// Random current and prediction samples; the residual is their difference.
void RandomPicture(check::Rng& rng, uint8_t* current, uint8_t* prediction, int predictionBytes) {
  int spread = rng.Chance(50) ? 255 : 20;
  for (int i = 0; i < predictionBytes; ++i) prediction[i] = static_cast<uint8_t>(rng.Uniform(0, 255));
  for (int i = 0; i < 4 * kStride; ++i) {
    current[i] = static_cast<uint8_t>(std::clamp(prediction[i % predictionBytes] + rng.Uniform(-spread, spread), 0, 255));
  }
}

// Expected samples of one 4x4 block by the standard: scaling, transform, construction.
void StandardBlock(const int c[4][4], int qP, bool dcGiven, const uint8_t* prediction, int predictionStride,
                   int out[4][4]) {
  int d[4][4], r[4][4];
  standard::ScaleResidual4x4(c, qP, dcGiven, d);
  standard::TransformResidual4x4(d, r);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out[i][j] = standard::Construct(prediction[i * predictionStride + j], r[i][j]);
  }
}

int CountNonZero(const int16_t* v, int first, int last, int step = 1) {
  int n = 0;
  for (int i = first; i <= last; ++i) n += v[step * i] != 0;
  return n;
}

TEST(H264Reconstruction, LumaBlocksEqualTheStandardAtEveryQp) {
  check::Rng rng(check::HarnessSeed());
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int qp = 12; qp <= 51; ++qp) {
      for (int kind = 0; kind < 3; ++kind) {
        PrepareH264Core(*core, qp - 12, kind);
        for (int trial = 0; trial < 8; ++trial) {
          Bytes current, prediction, pairOut, singleOut;
          Words levels;
          RandomPicture(rng, current.v, prediction.v, 32);
          uint32_t counts[2];
          core->TransformQuant4x4Pair(levels.v, prediction.v, current.v, kStride, counts);
          for (int half = 0; half < 2; ++half) {
            ASSERT_EQ(counts[half], static_cast<uint32_t>(CountNonZero(levels.v + 16 * half, 0, 15))) << name;
          }
          core->Reconstruct4x4Pair(pairOut.v, prediction.v, levels.v, kStride, 1);
          for (int half = 0; half < 2; ++half) {
            int c[4][4], expected[4][4];
            for (int i = 0; i < 16; ++i) c[i / 4][i % 4] = LevelAt(levels.v + 16 * half, i / 4, i % 4);
            StandardBlock(c, qp, false, prediction.v + 4 * half, 8, expected);
            for (int i = 0; i < 16; ++i) {
              ASSERT_EQ(pairOut.v[(i / 4) * kStride + 4 * half + i % 4], expected[i / 4][i % 4])
                  << name << " QP " << qp << " kind " << kind << " half " << half << " sample " << i;
            }
          }
        }
      }
    }
  }
}

TEST(H264Reconstruction, Intra16x16WithItsLumaDcEqualsTheStandardAtEveryQp) {
  check::Rng rng(check::HarnessSeed() + 1);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int qp = 12; qp <= 51; ++qp) {
      for (int kind = 0; kind < 2; ++kind) {
        PrepareH264Core(*core, qp - 12, kind);
        Words area, record;
        Bytes prediction[16], current[16], out[16];
        for (int b = 0; b < 16; ++b) {
          RandomPicture(rng, current[b].v, prediction[b].v, 16);
          // Make the 4x4 prediction and current contiguous rows of 4 for Subtract4x4.
          for (int y = 0; y < 4; ++y) std::memmove(current[b].v + 4 * y, current[b].v + y * kStride, 4);
          core->Subtract4x4(area.v + 16 * b, prediction[b].v, current[b].v, 4);
          int count = core->TransformQuant4x4(area.v + 16 * b, 1);
          ASSERT_EQ(count, CountNonZero(area.v + 16 * b, 1, 15)) << name;
        }
        int dcCount = core->TransformQuantLumaDc(record.v, area.v);
        ASSERT_EQ(dcCount, CountNonZero(record.v, 0, 15)) << name;
        int dcLevels[4][4], dcY[4][4];
        for (int i = 0; i < 16; ++i) dcLevels[i / 4][i % 4] = record.v[i];  // row-major
        standard::LumaDcTransform(dcLevels, qp, dcY);
        for (int b = 0; b < 16; ++b) {
          ASSERT_EQ(area.v[16 * b], static_cast<int16_t>(dcY[b / 4][b % 4])) << name << " QP " << qp << " block " << b;
          core->Reconstruct4x4(out[b].v, prediction[b].v, area.v + 16 * b, 4, 1, 1);
          int c[4][4], expected[4][4];
          for (int i = 0; i < 16; ++i) c[i / 4][i % 4] = LevelAt(area.v + 16 * b, i / 4, i % 4);
          c[0][0] = dcY[b / 4][b % 4];
          StandardBlock(c, qp, true, prediction[b].v, 4, expected);
          for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(out[b].v[i], expected[i / 4][i % 4]) << name << " QP " << qp << " block " << b << " sample " << i;
          }
        }
      }
    }
  }
}

TEST(H264Reconstruction, ChromaWithItsDcEqualsTheStandardAtEveryQp) {
  check::Rng rng(check::HarnessSeed() + 2);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int qp = 12; qp <= 51; ++qp) {
      for (int kind = 0; kind < 3; ++kind) {
        PrepareH264Core(*core, qp - 12, kind);
        Words area, record;
        Bytes prediction[4], current[4], out[4];
        uint32_t acCounts[4][2], dcCounts[2];
        for (int k = 0; k < 4; ++k) {
          RandomPicture(rng, current[k].v, prediction[k].v, 32);
          core->TransformQuantChromaAc(area.v + 32 * k, prediction[k].v, current[k].v, kStride, acCounts[k]);
          for (int p = 0; p < 2; ++p) {
            ASSERT_EQ(acCounts[k][p], static_cast<uint32_t>(CountNonZero(area.v + 32 * k + p, 1, 15, 2))) << name;
          }
        }
        core->TransformQuantChromaDc(record.v, area.v, dcCounts);
        for (int p = 0; p < 2; ++p) {
          ASSERT_EQ(dcCounts[p], static_cast<uint32_t>(CountNonZero(record.v + p, 0, 3, 2))) << name;
          int c[2][2] = {{record.v[p], record.v[2 + p]}, {record.v[4 + p], record.v[6 + p]}}, dcC[2][2];
          standard::ChromaDcTransform(c, qp, dcC);
          for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(record.v[8 + 2 * k + p], dcC[k / 2][k % 2]) << name << " QP " << qp << " pair " << k;
          }
        }
        for (int k = 0; k < 4; ++k) {
          int16_t dcPair[2] = {record.v[8 + 2 * k], record.v[9 + 2 * k]};
          core->ReconstructChroma(out[k].v, prediction[k].v, area.v + 32 * k, dcPair, kStride, 1);
          for (int p = 0; p < 2; ++p) {
            int c[4][4], expected[4][4];
            uint8_t componentPrediction[16];
            for (int i = 0; i < 16; ++i) {
              c[i / 4][i % 4] = LevelAt(area.v + 32 * k, i / 4, i % 4, 2, p);
              componentPrediction[i] = prediction[k].v[8 * (i / 4) + 2 * (i % 4) + p];
            }
            c[0][0] = dcPair[p];
            StandardBlock(c, qp, true, componentPrediction, 4, expected);
            for (int i = 0; i < 16; ++i) {
              ASSERT_EQ(out[k].v[(i / 4) * kStride + 2 * (i % 4) + p], expected[i / 4][i % 4])
                  << name << " QP " << qp << " pair " << k << " component " << p << " sample " << i;
            }
          }
        }
      }
    }
  }
}

// A record with chosen multipliers and thresholds, for the quantiser's worked cases.
struct alignas(16) OwnRecord {
  H264QuantRecord record = {};
  OwnRecord(int16_t multiplier, int16_t threshold, int16_t scale = 16) {
    for (int i = 0; i < 16; ++i) {
      record.multiplier[i] = multiplier;
      record.threshold[i] = threshold;
      record.levelScale[i] = scale;
    }
  }
};

// Quantises a flat residual of `value` (transform DC 16 x value) from word 0.
int FlatDcLevel(CMBCore& core, const OwnRecord& own, int value, int* count) {
  core.currentQuantRecord = &own.record;
  dsptest::Block block;
  for (int i = 0; i < 16; ++i) block.v[i] = static_cast<int16_t>(value);
  *count = core.TransformQuant4x4(block.v, 0);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(block.v[i], 0);
  return block.v[0];
}

TEST(H264Quantiser, WorkedCases) {
  struct Case {
    const char* name;
    int16_t multiplier, threshold;
    int value;  // flat residual; the DC before quantisation is 16 x value
    int level;
  };
  const Case cases[] = {
      {"zero residual", 13107, 0, 0, 0},
      {"magnitude equal to the threshold gives 0", 20000, 160, 10, 0},
      {"one above the threshold is rounded", 12288, 159, 10, 15},
      {"above the threshold even when rounding gives 0", 100, 15, 1, 0},
      {"1.5 steps round up to 2", 12288, 0, 1, 2},
      {"-1.5 steps round up to -1", 12288, 0, -1, -1},
      {"negative at the threshold gives 0", 20000, 160, -10, 0},
  };
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    PrepareH264Core(*core, 0, 0);
    for (const Case& c : cases) {
      OwnRecord own(c.multiplier, c.threshold);
      int count = -1;
      EXPECT_EQ(FlatDcLevel(*core, own, c.value, &count), c.level) << name << ": " << c.name;
      EXPECT_EQ(count, c.level != 0) << name << ": " << c.name;
    }
  }
}

TEST(H264Quantiser, StartOneKeepsTheSumOfTheResidualsAndCountsTheRest) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    PrepareH264Core(*core, 0, 2);
    for (int value : {255, -255, 7}) {
      dsptest::Block block;
      for (int i = 0; i < 16; ++i) block.v[i] = static_cast<int16_t>(value);
      EXPECT_EQ(core->TransformQuant4x4(block.v, 1), 0) << name;
      EXPECT_EQ(block.v[0], 16 * value) << name;
    }
    // Energy outside the DC is counted, the DC is not.
    dsptest::Block block;
    block.v[0] = 200;
    int count = core->TransformQuant4x4(block.v, 1);
    EXPECT_EQ(block.v[0], 200) << name;
    EXPECT_EQ(count, CountNonZero(block.v, 1, 15)) << name;
    EXPECT_GT(count, 0) << name;
  }
}

TEST(H264Quantiser, RecordsThresholdTheDcOnlyForInterKind) {
  for (int qp = 0; qp < 40; ++qp) {
    CMBCore core;
    PrepareH264Core(core, qp, 0);
    EXPECT_EQ(core.currentQuantRecord->threshold[0], 0);
    PrepareH264Core(core, qp, 1);
    EXPECT_EQ(core.currentQuantRecord->threshold[0], 0);
    PrepareH264Core(core, qp, 2);
    EXPECT_GT(core.currentQuantRecord->threshold[0], 0);
  }
}

TEST(H264Quantiser, ChromaDcHasNoDeadZone) {
  // f x M / 2^18 = 0.5 gives level 1, -0.5 gives 0 (M = 16384, f = +-8).
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int sign : {1, -1}) {
      OwnRecord own(16384, 30000, 16);
      core->currentQuantRecord = &own.record;
      Words area, record;
      area.v[0] = static_cast<int16_t>(8 * sign);  // Cb DC of pair 0; Cr stays 0
      uint32_t counts[2];
      core->TransformQuantChromaDc(record.v, area.v, counts);
      for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(record.v[2 * k], sign > 0 ? 1 : 0) << name << " level " << k;
        EXPECT_EQ(record.v[2 * k + 1], 0) << name << " Cr level " << k;
        EXPECT_EQ(record.v[8 + 2 * k + 1], 0) << name << " Cr DC " << k;
      }
      EXPECT_EQ(counts[0], sign > 0 ? 4u : 0u) << name;
      EXPECT_EQ(counts[1], 0u) << name;
    }
  }
}

TEST(H264Quantiser, LumaDcHalvesEachPairSumSeparately) {
  // Rows whose DCs are (d, 0, 0, 0) give d at every horizontal frequency, so DCs a, a, 0, 0 down
  // the left column make both pair sums of the vertical pass a. For odd a, halving each pair
  // gives a - 1 where halving the whole sum gives a; pick an a where the level shows it.
  auto level = [](int v) { return (v * 32767 + 131072) >> 18; };
  int a = 1;
  while (level(a - 1) == level(a)) a += 2;
  OwnRecord own(32767, 0, 16);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    core->currentQuantRecord = &own.record;
    Words grid, record;
    grid.v[16 * 0] = static_cast<int16_t>(a);  // block 0: row 0, column 0
    grid.v[16 * 4] = static_cast<int16_t>(a);  // block 4: row 1, column 0
    core->TransformQuantLumaDc(record.v, grid.v);
    EXPECT_EQ(record.v[0], level(a - 1)) << name << " pair sums " << a << " and " << a;
  }
}

TEST(H264Reconstruction, DcOnlyBlocksRoundAndClip) {
  struct Case {
    const char* name;
    int prediction, dc, expected;
  };
  const Case cases[] = {
      {"-32 adds 0", 100, -32, 100},     {"31 adds 0", 100, 31, 100},
      {"32 adds 1", 100, 32, 101},       {"95 adds 1", 100, 95, 101},
      {"-33 adds -1", 100, -33, 99},     {"-96 adds -1", 100, -96, 99},
      {"250 + 10 clips to 255", 250, 640, 255},
      {"3 - 10 clips to 0", 3, -640, 0},
  };
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    PrepareH264Core(*core, 0, 0);
    for (const Case& c : cases) {
      dsptest::Block block;
      block.v[0] = static_cast<int16_t>(c.dc);
      Bytes prediction, out, pairOut, chromaOut;
      std::memset(prediction.v, c.prediction, 64);
      core->Reconstruct4x4(out.v, prediction.v, block.v, 4, 0, 0);
      Words pair;
      pair.v[0] = pair.v[16] = static_cast<int16_t>(c.dc);
      core->Reconstruct4x4Pair(pairOut.v, prediction.v, pair.v, 8, 0);
      int16_t dcPair[2] = {static_cast<int16_t>(c.dc), static_cast<int16_t>(c.dc)};
      Words noLevels;
      core->ReconstructChroma(chromaOut.v, prediction.v, noLevels.v, dcPair, 8, 0);
      for (int i = 0; i < 16; ++i) ASSERT_EQ(out.v[i], c.expected) << name << ": " << c.name;
      for (int i = 0; i < 32; ++i) ASSERT_EQ(pairOut.v[i], c.expected) << name << " pair: " << c.name;
      for (int i = 0; i < 32; ++i) ASSERT_EQ(chromaOut.v[i], c.expected) << name << " chroma: " << c.name;
    }
    // The coded path clips too: a DC level of 16 at QP 12 dequantises to 640 (+10).
    for (auto [prediction, level, expected] : {std::tuple{250, 16, 255}, std::tuple{3, -16, 0}}) {
      dsptest::Block block;
      block.v[0] = static_cast<int16_t>(level);
      Bytes predicted, out;
      std::memset(predicted.v, prediction, 16);
      core->Reconstruct4x4(out.v, predicted.v, block.v, 4, 0, 1);
      for (int i = 0; i < 16; ++i) ASSERT_EQ(out.v[i], expected) << name << " coded, prediction " << prediction;
    }
  }
}

TEST(H264Reconstruction, ZeroResidualCopiesThePrediction) {
  check::Rng rng(check::HarnessSeed() + 3);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    PrepareH264Core(*core, 20, 2);
    Bytes prediction, current, out;
    for (int i = 0; i < 32; ++i) prediction.v[i] = static_cast<uint8_t>(rng.Uniform(0, 255));
    for (int y = 0; y < 4; ++y) std::memcpy(current.v + y * kStride, prediction.v + 8 * y, 8);
    Words levels;
    uint32_t counts[2] = {9, 9};
    core->TransformQuant4x4Pair(levels.v, prediction.v, current.v, kStride, counts);
    EXPECT_EQ(counts[0] + counts[1], 0u) << name;
    for (int i = 0; i < 32; ++i) ASSERT_EQ(levels.v[i], 0) << name;
    core->Reconstruct4x4Pair(out.v, prediction.v, levels.v, kStride, 0);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(out.v + y * kStride, prediction.v + 8 * y, 8), 0) << name;
  }
}

TEST(H264Reconstruction, ChromaWritesOnlyItsBytesAndKeepsComponentsApart) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    PrepareH264Core(*core, 10, 1);
    Bytes prediction, out;
    std::memset(out.v, 0x5A, sizeof out.v);
    for (int i = 0; i < 32; ++i) prediction.v[i] = i % 2 ? 200 : 10;
    Words levels;
    levels.v[2 * 3] = 5;  // a Cb level only
    int16_t dcPair[2] = {0, 0};
    core->ReconstructChroma(out.v + kStride + 4, prediction.v, levels.v, dcPair, kStride, 1);
    for (int i = 0; i < 5 * kStride; ++i) {
      int row = i / kStride - 1, column = i % kStride - 4;
      bool inside = row >= 0 && row < 4 && column >= 0 && column < 8;
      if (!inside) {
        ASSERT_EQ(out.v[i], 0x5A) << name << " byte " << i;
      } else if (column % 2) {
        ASSERT_EQ(out.v[i], 200) << name << " Cr at " << row << "," << column;
      }
    }
  }
}

TEST(H264Consistency, PairsEqualTheirSingleBlocks) {
  check::Rng rng(check::HarnessSeed() + 4);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    for (int trial = 0; trial < 200; ++trial) {
      PrepareH264Core(*core, rng.Uniform(0, 39), rng.Uniform(0, 2));
      Bytes current, prediction, halves[2], pairOut, singleOut;
      RandomPicture(rng, current.v, prediction.v, 32);
      Words pair;
      uint32_t counts[2];
      core->TransformQuant4x4Pair(pair.v, prediction.v, current.v, kStride, counts);
      for (int half = 0; half < 2; ++half) {
        for (int y = 0; y < 4; ++y) std::memcpy(halves[half].v + 4 * y, prediction.v + 8 * y + 4 * half, 4);
        dsptest::Block single;
        core->Subtract4x4(single.v, halves[half].v, current.v + 4 * half, kStride);
        int count = core->TransformQuant4x4(single.v, 0);
        ASSERT_EQ(std::memcmp(single.v, pair.v + 16 * half, 32), 0) << name << " half " << half;
        ASSERT_EQ(static_cast<uint32_t>(count), counts[half]) << name;
      }
      int coded = static_cast<int>(counts[0] + counts[1]);
      core->Reconstruct4x4Pair(pairOut.v, prediction.v, pair.v, kStride, coded);
      for (int half = 0; half < 2; ++half) {
        core->Reconstruct4x4(singleOut.v + 4 * half, halves[half].v, pair.v + 16 * half, kStride, 0, coded);
      }
      for (int y = 0; y < 4; ++y) {
        ASSERT_EQ(std::memcmp(pairOut.v + y * kStride, singleOut.v + y * kStride, 8), 0) << name << " row " << y;
      }
    }
  }
}

// The record index is held to the 40 QPs that have records, and the caller is told.
TEST(H264QuantRecord, IndexOutsideTheRecordsIsClampedAndReported) {
  std::string captured;
  platform::SetDebugCapture([](void* context, std::string_view text) { static_cast<std::string*>(context)->append(text); },
                            &captured);
  CMBCore core;
  PrepareH264Core(core, 0, 1);
  const H264QuantRecord* first = core.currentQuantRecord;
  PrepareH264Core(core, 39, 1);
  const H264QuantRecord* last = core.currentQuantRecord;
  captured.clear();
  core.SelectQuantRecord(-1, 1);
  EXPECT_EQ(core.currentQuantRecord, first);
  EXPECT_NE(captured.find("internal QP -1"), std::string::npos) << captured;
  captured.clear();
  core.SelectQuantRecord(40, 1);
  EXPECT_EQ(core.currentQuantRecord, last);
  EXPECT_NE(captured.find("internal QP 40"), std::string::npos) << captured;
  platform::SetDebugCapture(nullptr, nullptr);
}

}  // namespace
}  // namespace orx::dsp
