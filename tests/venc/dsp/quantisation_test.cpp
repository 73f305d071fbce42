// Quantisation and inverse quantisation: the worked edge cases in every variant, MPEG-1 and
// MPEG-2 inverse quantisation against direct transcriptions of the standards' reconstruction
// rules, and the mends (unsigned reciprocals, levels limited to 2047).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "tests/venc/dsp/core_test_support.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

using dsptest::Block;

struct alignas(16) Reciprocals {
  uint16_t v[64] = {};
};
struct alignas(16) Multipliers {
  int32_t v[64] = {};
};

struct Tables {
  std::unique_ptr<QuantTableBlock> block = std::make_unique<QuantTableBlock>();
  alignas(128) uint8_t work[kQuantWorkAreaSize];
  QuantTableParams params;
};
std::unique_ptr<Tables> Build(int codec, const uint8_t* intra, const uint8_t* inter) {
  auto t = std::make_unique<Tables>();
  t->params.codec = codec;
  std::memcpy(t->params.intraMatrix, intra, 64);
  std::memcpy(t->params.interMatrix, inter, 64);
  CMBCore builder;
  builder.InitQuantTables(t->params, t->block.get(), t->work);
  return t;
}
void Use(CMBCore& core, Tables& t) {
  core.quantTables = t.block.get();
  core.intraDcPrecision = 0;
}

const uint8_t* Flat() {
  static uint8_t flat[64];
  std::memset(flat, 16, sizeof flat);
  return flat;
}

TEST(Quantisation, EdgeCases) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    const bool plain = name == "plain";
    Reciprocals quarter;
    std::fill(quarter.v, quarter.v + 64, 16384);
    core->currentReciprocals = quarter.v;
    Block source, destination;
    source.v[5] = 1020;  // level 255 exactly
    EXPECT_EQ(core->QuantizeClip255(source.v, destination.v), 0);
    EXPECT_EQ(destination.v[5], 255);
    source.v[9] = -1200;  // level -300
    EXPECT_EQ(core->QuantizeClip255(source.v, destination.v), 300);
    EXPECT_EQ(destination.v[9], -255);
    // x = -65536 exactly: slot 7 gives 0; slot 8 gives -1 in the plain class, 0 when running.
    Block exact;
    exact.v[3] = -4;
    int overflow = -1;
    EXPECT_EQ(core->QuantizeInterClip255(exact.v, destination.v, &overflow), 0);
    EXPECT_EQ(destination.v[3], 0);
    EXPECT_EQ(overflow, 0);
    EXPECT_EQ(core->QuantizeInterClip2047(exact.v), plain ? 1 : 0);
    EXPECT_EQ(exact.v[3], plain ? -1 : 0);
    // A reciprocal of 0 (quantiser 31, vertical frequency 4 and up) gives 0 for either sign.
    auto mpeg2 = Build(1, kDefaultIntraQuantMatrix, Flat());
    Use(*core, *mpeg2);
    core->SelectQuantizer(31, false);
    Block wide;
    for (int i = 0; i < 64; ++i) wide.v[i] = static_cast<int16_t>(i % 2 ? -3000 : 3000);
    core->QuantizeInterClip255(wide.v, destination.v, &overflow);
    for (int i = 0; i < 64; ++i) {
      if ((i & 7) >= 4) {
        EXPECT_EQ(destination.v[i], 0) << i;
      }
    }
    // Inverse quantisation.
    Multipliers m;
    m.v[1] = 44;
    m.v[2] = 54;
    core->currentDequant = m.v;
    Block levels;
    levels.v[1] = 449;
    levels.v[2] = -530;
    core->DequantizeIntraMpeg1(levels.v);
    EXPECT_EQ(levels.v[1], 1233);
    EXPECT_EQ(levels.v[2], -1787);
    Block zero;
    core->DequantizeInterMpeg2(zero.v);
    EXPECT_EQ(zero.v[63], 1);
    m.v[7] = 32;
    Block one;
    one.v[7] = 1;
    core->DequantizeInterMpeg2(one.v);
    EXPECT_EQ(one.v[7], 3);
    EXPECT_EQ(one.v[63], 0);
    for (auto [dcMultiplier, even, odd] : {std::tuple{43, 1, 0}, std::tuple{54, 1, 1}}) {
      m.v[0] = dcMultiplier;  // x = 4 and x = 5
      Block dc;
      dc.v[0] = 1;
      core->ReconstructInterDcOnly(dc.v);
      for (int k = 0; k < 64; ++k) EXPECT_EQ(dc.v[k], ((k >> 3) + (k & 7)) % 2 ? odd : even) << k;
    }
    Block vc1;
    vc1.v[0] = 1;
    core->ReconstructDcOnlyVc1(vc1.v, 8);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(vc1.v[k], 1);
  }
}

// ISO/IEC 13818-2 7.4: the reconstruction of one block in raster order (row v, column u).
void Mpeg2Reconstruction(const int levels[64], const uint8_t weights[64], int quantiserScale,
                         bool intra, int dcPrecision, int out[64]) {
  int sum = 0;
  for (int i = 0; i < 64; ++i) {
    int f;
    if (intra && i == 0) {
      f = (8 >> dcPrecision) * levels[0];
    } else if (intra) {
      f = (levels[i] * weights[i] * quantiserScale * 2) / 32;
    } else {
      int sign = levels[i] > 0 ? 1 : levels[i] < 0 ? -1 : 0;
      f = ((2 * levels[i] + sign) * weights[i] * quantiserScale) / 32;
    }
    f = std::clamp(f, -2048, 2047);
    out[i] = f;
    sum += f;
  }
  // Mismatch control: an even sum makes F[7][7] odd (an odd value less 1, an even one plus 1).
  if (sum % 2 == 0) out[63] += (out[63] % 2 != 0) ? -1 : 1;
}

// ISO/IEC 11172-2 coefficient reconstruction (intra AC and non-intra).
int Mpeg1Reconstruction(int level, int weight, int quantiserScale, bool intra) {
  if (level == 0) return 0;
  int sign = level > 0 ? 1 : -1;
  int f = intra ? (2 * level * quantiserScale * weight) / 16
                : ((2 * level + sign) * quantiserScale * weight) / 16;
  if ((f & 1) == 0) f -= sign;
  return std::clamp(f, -2048, 2047);
}

TEST(Quantisation, InverseQuantisationFollowsMpeg1AndMpeg2) {
  uint8_t user[64];
  for (int i = 0; i < 64; ++i) user[i] = static_cast<uint8_t>(i == 0 ? 8 : 1 + (i * 37) % 255);
  const uint8_t* matrices[] = {kDefaultIntraQuantMatrix, Flat(), user};
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    for (const uint8_t* weights : matrices) {
      auto mpeg2 = Build(1, weights, weights);
      auto mpeg1 = Build(0, weights, weights);
      for (int k : {1, 2, 7, 15, 31, 33, 40, 50, 63}) {
        const int scale = k > 32 ? kNonLinearQuantScale[k - 32] : 2 * k;
        for (int start = -2047; start <= 2047; start += 64) {
          int levels[64];
          Block block;
          for (int raster = 0; raster < 64; ++raster) {
            levels[raster] = std::min(start + raster, 2047);
            block.v[8 * (raster % 8) + raster / 8] = static_cast<int16_t>(levels[raster]);
          }
          for (int precision = 0; precision < 4; precision += 3) {
            for (bool intra : {true, false}) {
              Use(*core, *mpeg2);
              if (intra) {
                core->SetIntraDcPrecision(precision);
                core->SelectIntraDequantizer(k);
              } else {
                core->SelectInterDequantizer(k);
              }
              Block b = block;
              if (intra) {
                core->DequantizeIntraMpeg2(b.v, 0);
              } else {
                core->DequantizeInterMpeg2(b.v);
              }
              core->SetIntraDcPrecision(0);
              int expected[64];
              Mpeg2Reconstruction(levels, weights, scale, intra, intra ? precision : 0, expected);
              for (int raster = 0; raster < 64; ++raster) {
                ASSERT_EQ(b.v[8 * (raster % 8) + raster / 8], expected[raster])
                    << "MPEG-2 " << (intra ? "intra" : "inter") << " k " << k << " level "
                    << levels[raster] << " weight " << int{weights[raster]};
              }
            }
          }
          if (k > 31) continue;  // MPEG-1 has only the linear scale
          for (bool intra : {true, false}) {
            Use(*core, *mpeg1);
            if (intra) {
              core->SelectIntraDequantizer(k);
            } else {
              core->SelectInterDequantizer(k);
            }
            Block b = block;
            if (intra) {
              core->DequantizeIntraMpeg1(b.v);
            } else {
              core->DequantizeInterMpeg1(b.v);
            }
            for (int raster = 0; raster < 64; ++raster) {
              int expected = intra && raster == 0
                                 ? static_cast<int16_t>(8 * levels[0])
                                 : Mpeg1Reconstruction(levels[raster], weights[raster], k, intra);
              ASSERT_EQ(b.v[8 * (raster % 8) + raster / 8], expected)
                  << "MPEG-1 " << (intra ? "intra" : "inter") << " q " << k << " level "
                  << levels[raster] << " weight " << int{weights[raster]};
            }
          }
        }
      }
    }
  }
}

TEST(Quantisation, ReciprocalsAbove32767KeepTheirSign) {
  auto mpeg2 = Build(1, kDefaultIntraQuantMatrix, Flat());
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    Use(*core, *mpeg2);
    core->SelectQuantizer(33, false);  // non-linear code 1, flat inter matrix
    const uint16_t* r = mpeg2->block->quant[33].interReciprocal;
    for (int c : {100, -100, 1000, -1000, 7}) {
      Block block, destination;
      for (int i : {47, 55, 61, 62, 63}) block.v[i] = static_cast<int16_t>(c);
      Block rounded = block, toward = block;
      core->QuantizeClip2047(rounded.v);
      core->QuantizeInterClip2047(toward.v);
      core->QuantizeClip255(block.v, destination.v);
      for (int i : {47, 55, 61, 62, 63}) {
        ASSERT_GT(r[i], 32767);
        const int64_t x = int64_t{c} * r[i];
        const int expectedRounded =
            static_cast<int>(std::clamp<int64_t>((x + 32768) >> 16, -2047, 2047));
        // Truncation toward zero; the running variant floors and adds 1 when negative.
        const int64_t plainLevel = x < 0 ? -((-x) >> 16) : x >> 16;
        const int64_t runningLevel = (x >> 16) < 0 ? (x >> 16) + 1 : x >> 16;
        const int expectedToward = static_cast<int>(
            std::clamp<int64_t>(name == "plain" ? plainLevel : runningLevel, -2047, 2047));
        EXPECT_EQ(rounded.v[i], expectedRounded) << "c " << c << " index " << i;
        EXPECT_EQ(toward.v[i], expectedToward) << "c " << c << " index " << i;
        EXPECT_EQ(destination.v[i], std::clamp(expectedRounded, -255, 255)) << "c " << c;
        EXPECT_EQ(rounded.v[i] > 0, c > 0);
      }
    }
  }
}

TEST(Quantisation, UserMatrixOfWeightOneKeepsLevelsWithin2047) {
  uint8_t ones[64];
  std::memset(ones, 1, sizeof ones);
  auto t = Build(1, ones, ones);
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    Use(*core, *t);
    for (bool intra : {true, false}) {
      core->SelectQuantizer(33, intra);
      Block big;
      for (int i = 0; i < 64; ++i) big.v[i] = static_cast<int16_t>(i % 2 ? -16000 : 16000);
      Block a = big, b = big, c = big, d = big;
      core->QuantizeClip2047(a.v);
      core->QuantizeInterClip2047(b.v);
      core->QuantizeIntra(c.v, 1);
      core->QuantizeIntraTrunc(d.v, 5);
      // The intra DC reciprocal is the fixed DC step, so position 0 is checked inter only.
      for (int i = intra ? 1 : 0; i < 64; ++i) {
        const int expected = i % 2 ? -2047 : 2047;
        EXPECT_EQ(a.v[i], expected) << i;
        EXPECT_EQ(b.v[i], expected) << i;
        if (i > 0) {
          EXPECT_EQ(c.v[i], expected) << i;
          EXPECT_EQ(d.v[i], expected) << i;
        }
      }
    }
  }
}

#ifndef NDEBUG
// Outside the contract, checked in builds with assertions: an inter block reconstructed from
// its DC alone has a non-zero DC.
TEST(QuantisationDeathTest, InterDcOnlyReconstructionNeedsANonZeroDc) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    Multipliers m;
    m.v[0] = 32;
    core->currentDequant = m.v;
    Block zero;
    EXPECT_DEATH(core->ReconstructInterDcOnly(zero.v), "non-zero DC") << name;
  }
}
#endif

}  // namespace
}  // namespace orx::dsp
