// Quantiser tables: the worked values and edge cases of the table build, spot values against
// the standards' own tables, the H.264 records, the DC precision and the selection helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

constexpr int kMpeg1 = 0, kMpeg2 = 1, kMpeg4 = 3, kVc1 = 4, kH264 = 5;

struct Tables {
  std::unique_ptr<QuantTableBlock> block = std::make_unique<QuantTableBlock>();
  alignas(128) uint8_t work[kQuantWorkAreaSize + 128];
  CMBCore core;
};

std::unique_ptr<Tables> Build(int codec, const uint8_t* intra = nullptr,
                              const uint8_t* inter = nullptr, bool mpegQuantisation = false) {
  auto t = std::make_unique<Tables>();
  QuantTableParams params;
  params.codec = codec;
  for (int i = 0; i < 64; ++i) {
    params.intraMatrix[i] = intra ? intra[i] : (codec <= 2 ? kDefaultIntraQuantMatrix[i] : 16);
    params.interMatrix[i] = inter ? inter[i] : 16;
  }
  params.mpegQuantisation = mpegQuantisation;
  t->core.InitQuantTables(params, t->block.get(), t->work + 5);
  return t;
}

TEST(QuantTables, InitStoresTheBlockAndTheAlignedScratchArea) {
  auto t = Build(kMpeg2);
  EXPECT_EQ(t->core.quantTables, t->block.get());
  EXPECT_EQ(t->core.scratch, t->work + 128);
  EXPECT_EQ(t->core.intraDcPrecision, 0);
}

TEST(QuantTables, WorkedValues) {
  struct Case {
    int codec;
    int n;
    uint16_t intra[8], inter[8];
  };
  const Case cases[] = {
      {kMpeg2,
       1,
       {1024, 2953, 2640, 2533, 2979, 3208, 4657, 8798},
       {4096, 2953, 3135, 3483, 4096, 5213, 7568, 14846}},
      {kMpeg4,
       1,
       {4096, 2953, 3135, 3483, 4096, 5213, 7568, 14846},
       {4096, 2953, 3135, 3483, 4096, 5213, 7568, 14846}},
      {kVc1,
       1,
       {3641, 2419, 2394, 2419, 3641, 2419, 2394, 2419},
       {3641, 2419, 2394, 2419, 3641, 2419, 2394, 2419}},
  };
  for (const Case& c : cases) {
    auto t = Build(c.codec);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(t->block->quant[c.n].intraReciprocal[i], c.intra[i])
          << "codec " << c.codec << " index " << i;
      EXPECT_EQ(t->block->quant[c.n].interReciprocal[i], c.inter[i])
          << "codec " << c.codec << " index " << i;
    }
  }
  auto mpeg2 = Build(kMpeg2);
  const int16_t thresholds20[8] = {0, 401, 465, 496, 439, 422, 298, 162};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(mpeg2->block->quant[20].deadZoneThreshold[i], thresholds20[i]);
  for (int codec : {kMpeg1, kMpeg2, kMpeg4, kVc1}) {
    auto t = Build(codec);
    const int16_t thresholds31[8] = {0, 508, 524, 540, 556, 572, 588, 604};
    for (int i = 1; i < 8; ++i)
      EXPECT_EQ(t->block->quant[31].deadZoneThreshold[i], thresholds31[i]);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(t->block->quant[31].intraReciprocal[i], 0);
  }
  auto mpeg4 = Build(kMpeg4);
  EXPECT_EQ(mpeg4->block->dcQuant[5].luma, 819);
  EXPECT_EQ(mpeg4->block->dcQuant[5].chroma, 910);
  EXPECT_EQ(mpeg4->block->dcMultiplier[5].luma, 160);
  EXPECT_EQ(mpeg4->block->dcMultiplier[5].chroma, 144);
  auto vc1 = Build(kVc1);
  EXPECT_EQ(vc1->block->dcQuant[1].luma, 3641);
  EXPECT_EQ(vc1->block->dcQuant[1].chroma, 3641);
  EXPECT_EQ(vc1->block->dcMultiplier[1].luma, 32);
  EXPECT_EQ(vc1->block->dcMultiplier[1].chroma, 32);
}

TEST(QuantTables, EdgeCases) {
  auto vc1 = Build(kVc1);
  // Exact halves go to the even neighbour; the layout puts the vertical frequency in index & 7.
  EXPECT_EQ(vc1->block->quant[1].intraReciprocal[17], 1590);  // 50896 / 32 = 1590.5
  EXPECT_EQ(vc1->block->quant[1].intraReciprocal[10], 1590);  // 50880 / 32
  EXPECT_EQ(vc1->block->quant[1].intraReciprocal[9], 1607);   // 51424 / 32
  auto mpeg2 = Build(kMpeg2);
  for (int n = 1; n < 64; ++n) {
    if (n == 32) continue;
    const QuantRow& row = mpeg2->block->quant[n];
    for (int i = 0; i < 64; ++i) {
      const int fv = i & 7;
      if ((n & 31) == 31 && fv >= 4) {
        EXPECT_EQ(row.intraReciprocal[i], 0) << n << " " << i;
        EXPECT_EQ(row.interReciprocal[i], 0) << n << " " << i;
        // K = 65536 where the reciprocal is 0.
        const int mult = n == 31 ? 62 : 112;
        EXPECT_EQ(row.deadZoneThreshold[i],
                  ((std::min(mult, 72) + 184 + 8 * (fv + i / 8)) * 65536) >> 15);
      }
    }
  }
  // Below quantiser 20 there is no dead zone.
  mpeg2->core.SelectQuantizer(19, true);
  EXPECT_EQ(mpeg2->core.currentDeadZone, nullptr);
  mpeg2->core.SelectQuantizer(20, true);
  EXPECT_EQ(mpeg2->core.currentDeadZone, mpeg2->block->quant[20].deadZoneThreshold);
  // Non-linear code 1 with the flat inter matrix: five reciprocals above 32767, kept unsigned.
  int largest = 0;
  for (int i = 0; i < 64; ++i) {
    const int r = mpeg2->block->quant[33].interReciprocal[i];
    const bool above = r > 32767;
    const bool listed = i == 47 || i == 55 || i == 61 || i == 62 || i == 63;
    EXPECT_EQ(above, listed) << "index " << i << " reciprocal " << r;
    largest = std::max(largest, r);
  }
  EXPECT_EQ(largest, 54864);
}

TEST(QuantTables, ReciprocalsOfTinyWeightsStayAtTheUnsignedLimit) {
  uint8_t ones[64];
  std::memset(ones, 1, sizeof ones);
  auto t = Build(kMpeg2, ones, ones);
  // Weight 1 at non-linear code 1 asks for reciprocals far above 65535: held there.
  EXPECT_EQ(t->block->quant[33].interReciprocal[63], 65535);
  EXPECT_EQ(t->block->quant[33].interReciprocal[8], 65535);
  EXPECT_GT(t->block->quant[33 + 30].interReciprocal[8], 0);
}

TEST(QuantTables, SpotValuesOfTheStandardsTables) {
  // ISO/IEC 13818-2 Table 7-6, q_scale_type 1.
  const int nonLinear[][2] = {{1, 1},   {8, 8},   {9, 10},  {16, 24},
                              {17, 28}, {24, 56}, {25, 64}, {31, 112}};
  for (auto [code, scale] : nonLinear) EXPECT_EQ(kNonLinearQuantScale[code], scale) << code;
  // ISO/IEC 14496-2 dc_scaler.
  const int luma[][2] = {{1, 8}, {4, 8}, {5, 10}, {8, 16}, {9, 17}, {24, 32}, {25, 34}, {31, 46}};
  for (auto [q, s] : luma) EXPECT_EQ(kMpeg4LumaDcScaler[q], s) << q;
  const int chroma[][2] = {{4, 8}, {5, 9}, {6, 9}, {24, 18}, {25, 19}, {31, 25}};
  for (auto [q, s] : chroma) EXPECT_EQ(kMpeg4ChromaDcScaler[q], s) << q;
  // SMPTE 421M DC step size.
  const int step[][2] = {{1, 2}, {2, 4}, {3, 8}, {4, 8}, {5, 8}, {6, 9}, {7, 9}, {31, 21}};
  for (auto [q, s] : step) EXPECT_EQ(kVc1DcStep[q], s) << q;
  // ISO/IEC 14496-10 quantisation factors and normAdjust (LevelScale of flat weighting).
  EXPECT_EQ(kH264ForwardMultiplier[0][0], 13107);
  EXPECT_EQ(kH264ForwardMultiplier[0][1], 5243);
  EXPECT_EQ(kH264ForwardMultiplier[3][2], 5825);
  EXPECT_EQ(kH264ForwardMultiplier[5][1], 2893);
  EXPECT_EQ(kH264LevelScale[0][0], 10);
  EXPECT_EQ(kH264LevelScale[3][1], 23);
  EXPECT_EQ(kH264LevelScale[5][2], 23);
  // The default intra matrix, raster order.
  EXPECT_EQ(kDefaultIntraQuantMatrix[0], 8);
  EXPECT_EQ(kDefaultIntraQuantMatrix[1], 16);
  EXPECT_EQ(kDefaultIntraQuantMatrix[8], 16);
  EXPECT_EQ(kDefaultIntraQuantMatrix[7], 34);
  EXPECT_EQ(kDefaultIntraQuantMatrix[56], 27);
  EXPECT_EQ(kDefaultIntraQuantMatrix[63], 83);
  // AAN factors.
  const double aan[8] = {0.35355339, 0.25489779, 0.27059805, 0.30067244,
                         0.35355339, 0.44998811, 0.65328148, 1.28145772};
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(AanScale(k), aan[k], 5e-9) << k;
}

TEST(QuantTables, H264Records) {
  auto t = Build(kH264);
  t->core.SelectQuantRecord(0, 0);
  const H264QuantRecord& r = *t->core.currentQuantRecord;
  const int forward[4] = {13107, 8066, 13107, 8066};
  const int thresholds[16] = {0, 11, 7, 12, 11, 17, 12, 18, 7, 12, 8, 12, 12, 18, 12, 18};
  const int inverse[6] = {40, 52, 40, 52, 52, 64};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r.multiplier[i], forward[i]);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r.threshold[i], thresholds[i]) << i;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.levelScale[i], inverse[i]) << i;
  for (int qp = 0; qp < 40; ++qp) {
    for (int kind = 0; kind < 3; ++kind) {
      t->core.SelectQuantRecord(qp, kind);
      const H264QuantRecord& rec = *t->core.currentQuantRecord;
      // Symmetric under transposition, so either coefficient order reads the same values.
      for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
          EXPECT_EQ(rec.multiplier[4 * row + col], rec.multiplier[4 * col + row]);
          EXPECT_EQ(rec.threshold[4 * row + col], rec.threshold[4 * col + row]);
          EXPECT_EQ(rec.levelScale[4 * row + col], rec.levelScale[4 * col + row]);
        }
      EXPECT_EQ(rec.threshold[0] == 0, kind != 2) << qp << " " << kind;
      for (int i = 0; i < 16; ++i) EXPECT_EQ(rec.unused[i], 0);
    }
  }
  // QP 28 (internal 16): multiplier at the DC (8192 x 4) >> 4, level scale 16 << 4.
  t->core.SelectQuantRecord(16, 2);
  EXPECT_EQ(t->core.currentQuantRecord->multiplier[0], 2048);
  EXPECT_EQ(t->core.currentQuantRecord->levelScale[0], 256);
  EXPECT_EQ(t->core.currentQuantRecord,
            reinterpret_cast<const H264QuantRecord*>(t->block.get()) + 50);
}

TEST(QuantTables, IntraDcPrecision) {
  auto t = Build(kMpeg2);
  QuantTableBlock before = *t->block;
  t->core.SetIntraDcPrecision(0);
  EXPECT_EQ(std::memcmp(&before, t->block.get(), sizeof before), 0);
  t->core.SetIntraDcPrecision(3);
  EXPECT_EQ(t->core.intraDcPrecision, 3);
  for (int n = 1; n < 64; ++n) {
    EXPECT_EQ(t->block->dcQuant[n].luma, 8192);
    EXPECT_EQ(t->block->dcQuant[n].chroma, 8192);
    EXPECT_EQ(t->block->dcMultiplier[n].luma, 16);
    EXPECT_EQ(t->block->dcMultiplier[n].chroma, 16);
    EXPECT_EQ(t->block->quant[n].intraReciprocal[0], 8192);
    EXPECT_EQ(t->block->dequant[n].intraMultiplier[0], 16);
    EXPECT_EQ(t->block->quant[n].intraReciprocal[1], before.quant[n].intraReciprocal[1]);
  }
}

TEST(QuantTables, SelectionPointsTheCurrentFields) {
  auto t = Build(kMpeg2);
  t->core.quantScaleTypeOffset = 32;
  t->core.SelectQuantizer(32 + 25, false);
  EXPECT_EQ(t->core.currentReciprocals, t->block->quant[57].interReciprocal);
  EXPECT_EQ(t->core.currentDcQuant, &t->block->dcQuant[57]);
  EXPECT_EQ(t->core.currentDeadZone, t->block->quant[57].deadZoneThreshold);
  t->core.SelectQuantizer(32 + 3, true);
  EXPECT_EQ(t->core.currentReciprocals, t->block->quant[35].intraReciprocal);
  EXPECT_EQ(t->core.currentDeadZone, nullptr);
  t->core.SelectIntraDequantizer(7);
  EXPECT_EQ(t->core.currentDequant, t->block->dequant[7].intraMultiplier);
  EXPECT_EQ(t->core.currentDcMultiplier, &t->block->dcMultiplier[7]);
  t->core.SelectInterDequantizer(40);
  EXPECT_EQ(t->core.currentDequant, t->block->dequant[40].interMultiplier);
  EXPECT_EQ(t->core.currentDcMultiplier, &t->block->dcMultiplier[40]);
  // Dequantiser multipliers: weight x multiplier in the transposed layout.
  EXPECT_EQ(t->block->dequant[7].intraMultiplier[0], 128);
  EXPECT_EQ(t->block->dequant[7].intraMultiplier[8], 16 * 14);  // raster (0, 1)
  EXPECT_EQ(t->block->dequant[7].intraMultiplier[1], 16 * 14);  // raster (1, 0)
  EXPECT_EQ(t->block->dequant[7].intraMultiplier[2], 19 * 14);  // raster (2, 0)
  EXPECT_EQ(t->block->dequant[40].interMultiplier[0], 16 * 8);  // non-linear code 8
}

TEST(QuantTables, RoundToShortRoundsHalvesToEvenAndKeepsTheLowBits) {
  const struct {
    double in;
    int out;
  } cases[] = {{2.5, 2},          {3.5, 4},     {-2.5, -2}, {1.4999, 1},
               {32768.0, -32768}, {65537.0, 1}, {-1.0, -1}};
  for (auto c : cases) EXPECT_EQ(RoundToShort(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace orx::dsp
