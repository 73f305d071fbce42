// AC prediction and the 16x8 difference sums: worked cases, the rescaling tables against exact
// rounding division (MPEG-4) and against SMPTE 421M's DQScale rule (VC-1), and the running
// variant's store and gain rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/venc/dsp/core_test_support.h"
#include "venc/dsp/ac_prediction_tables.h"

namespace orx::dsp {
namespace {

using dsptest::Block;

struct alignas(16) Store {
  int16_t v[8] = {};
};

// The predictor t of one store value p, read from the kernel's output (block edge zero).
int Predictor(CMBCore& core, int p, int quantizer, bool vc1) {
  Block block, output;
  Store store;
  store.v[3] = static_cast<int16_t>(p);
  vc1 ? core.PredictAcRowVc1(block.v, output.v, store.v, 1, quantizer)
      : core.PredictAcRow(block.v, output.v, store.v, 1, quantizer);
  return -output.v[3];
}

TEST(AcPrediction, WorkedRescalings) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Predictor(*core, 100, 3, false), 33);
    EXPECT_EQ(Predictor(*core, -100, 3, false), -33);
    EXPECT_EQ(Predictor(*core, 3, 2, false), 2);
    EXPECT_EQ(Predictor(*core, -3, 2, false), -2);
    EXPECT_EQ(Predictor(*core, 1, 5, true), 0);
    EXPECT_EQ(Predictor(*core, 3, 5, true), 1);
    EXPECT_EQ(Predictor(*core, 1, 2, true), 1);
    EXPECT_EQ(Predictor(*core, -1, 2, true), 0);
  }
}

TEST(AcPrediction, Mpeg4RescaleIsRoundingDivision) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    for (int q = 1; q <= 47; ++q) {
      for (int base = -2050; base <= 2050; base += 7) {
        Block block, output;
        Store store;
        for (int k = 1; k < 8; ++k) store.v[k] = static_cast<int16_t>(std::min(base + k - 1, 2050));
        const Store before = store;
        core->PredictAcRow(block.v, output.v, store.v, 1, q);
        for (int k = 1; k < 8; ++k) {
          const int p = before.v[k];
          // Rounding division, halves away from zero.
          const int expected = (p >= 0 ? (2 * p + q) / (2 * q) : -((-2 * p + q) / (2 * q)));
          ASSERT_EQ(-output.v[k], expected) << "p " << p << " q " << q;
        }
      }
    }
  }
}

TEST(AcPrediction, Vc1RescaleFollowsDqScale) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    for (int i = 1; i <= 63; ++i) {
      const int64_t dqScale = std::llround(262144.0 / i);  // SMPTE 421M DQScale[i]
      for (int base = -4096; base <= 4096; base += 7) {
        Block block, output;
        Store store;
        for (int k = 1; k < 8; ++k) store.v[k] = static_cast<int16_t>(std::min(base + k - 1, 4096));
        const Store before = store;
        core->PredictAcColumnVc1(block.v, output.v, store.v, 1, i);
        for (int k = 1; k < 8; ++k) {
          const int64_t expected = (before.v[k] * dqScale + (1 << 17)) >> 18;
          ASSERT_EQ(-output.v[8 * k], expected) << "p " << before.v[k] << " i " << i;
        }
      }
    }
  }
}

TEST(AcPrediction, NoNeighbourPredictsZeroAndStillStores) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    for (bool column : {false, true}) {
      Block block, output;
      for (int i = 0; i < 64; ++i) block.v[i] = static_cast<int16_t>(i % 9 - 4);
      Store store;
      std::fill(store.v, store.v + 8, int16_t{77});
      store.v[0] = 0;
      const int gain = column ? core->PredictAcColumn(block.v, output.v, store.v, 0, 6)
                              : core->PredictAcRow(block.v, output.v, store.v, 0, 6);
      EXPECT_EQ(gain, 0);
      EXPECT_EQ(std::memcmp(block.v, output.v, sizeof block.v), 0);
      for (int k = 1; k < 8; ++k) EXPECT_EQ(store.v[k], 6 * block.v[column ? 8 * k : k]);
    }
  }
}

TEST(AcPrediction, RunningGainIsHeldAndVetoed) {
  auto plain = std::make_unique<CMBCore>();
  auto running = dsptest::RunningCore();
  Block block, output;
  Store store;
  // Coefficients in -128..127 and differences within 126: the same gain as the plain class.
  const int16_t edge[8] = {0, 120, -128, 40, -7, 0, 3, 90};
  const int16_t neighbour[8] = {0, 100, -20, 60, 0, 11, -3, 2};
  for (int k = 1; k < 8; ++k) block.v[k] = edge[k];
  std::memcpy(store.v, neighbour, sizeof store.v);
  Store s1 = store, s2 = store;
  const int plainGain = plain->PredictAcRow(block.v, output.v, s1.v, 1, 1);
  EXPECT_EQ(running->PredictAcRow(block.v, output.v, s2.v, 1, 1), plainGain);
  // A single difference of 127 (or -127) vetoes the macroblock's AC prediction.
  for (int difference : {127, -127}) {
    Block b = block;
    b.v[5] = static_cast<int16_t>(neighbour[5] + difference);
    Store s = store;
    EXPECT_EQ(running->PredictAcRow(b.v, output.v, s.v, 1, 1), -32768) << difference;
    s = store;
    EXPECT_NE(plain->PredictAcRow(b.v, output.v, s.v, 1, 1), -32768);
  }
  // Coefficients beyond the byte range count as 127 or 128.
  Block large;
  large.v[2] = 300;
  Store neighbourOf250, samePlain;
  neighbourOf250.v[2] = samePlain.v[2] = 250;  // difference 50
  EXPECT_EQ(running->PredictAcRow(large.v, output.v, neighbourOf250.v, 1, 1), 127 - 50);
  EXPECT_EQ(plain->PredictAcRow(large.v, output.v, samePlain.v, 1, 1), 300 - 50);
}

TEST(AcPrediction, RunningStoresWriteEntryZero) {
  auto plain = std::make_unique<CMBCore>();
  auto running = dsptest::RunningCore();
  Block block, output;
  for (int i = 0; i < 64; ++i) block.v[i] = static_cast<int16_t>(i + 1);
  for (auto* core : {plain.get(), running.get()}) {
    const bool isPlain = core == plain.get();
    Store row, column, predictedRow, predictedColumn;
    row.v[0] = column.v[0] = predictedRow.v[0] = 55;
    core->StoreAcPredRow(block.v, row.v, 3);
    core->StoreAcPredColumn(block.v, column.v, 3);
    core->PredictAcRow(block.v, output.v, predictedRow.v, 1, 3);
    core->PredictAcColumn(block.v, output.v, predictedColumn.v, 1, 3);
    EXPECT_EQ(row.v[0], isPlain ? 55 : 3);
    EXPECT_EQ(column.v[0], isPlain ? 55 : 0);
    EXPECT_EQ(predictedRow.v[0], isPlain ? 55 : 3);
    EXPECT_EQ(predictedColumn.v[0], 0);
    for (int k = 1; k < 8; ++k) {
      EXPECT_EQ(row.v[k], 3 * (k + 1));
      EXPECT_EQ(column.v[k], 3 * (8 * k + 1));
    }
  }
}

TEST(DifferenceSums, AddToTheCounters) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    uint8_t a[8 * 20], b[8 * 20];
    std::memset(a, 0, sizeof a);
    std::memset(b, 0, sizeof b);
    uint32_t sad = 5, sse = 7;
    core->SumSseSad16x8(a, b, 20, 20, &sad, &sse);
    EXPECT_EQ(sad, 5u);
    EXPECT_EQ(sse, 7u);
    std::memset(b, 255, sizeof b);
    core->SumSseSad16x8(a, b, 20, 20, &sad, &sse);
    EXPECT_EQ(sad, 5u + 128u * 255u);
    EXPECT_EQ(sse, 7u + 128u * 255u * 255u);
  }
}

}  // namespace
}  // namespace orx::dsp
