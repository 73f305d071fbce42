// The shared encoder tables and small codes: the quantiser-to-QP lookup, GetFCode and the
// packed vector word.
#include <gtest/gtest.h>

#include "venc/common/encoder_settings.h"
#include "venc/me/f_code.h"
#include "venc/common/picture.h"
#include "venc/common/quantiser_qp.h"

namespace {

using namespace orx::venc;

TEST(QuantiserToQp, TableRisesAndLookupsStayInside) {
  for (int q = 1; q < kQuantiserToQpSize; ++q) EXPECT_LE(kQuantiserToQp[q - 1], kQuantiserToQp[q]) << q;
  struct Case {
    int quantiser;
    int qp;
  };
  for (Case c : {Case{-5, 0}, Case{0, 0}, Case{2, 1}, Case{3, 4}, Case{8, 12}, Case{31, 25},
                 Case{62, 33}, Case{95, 39}, Case{96, 39}, Case{1000, 39}}) {
    EXPECT_EQ(QuantiserToQp(c.quantiser), c.qp) << c.quantiser;
  }
}

TEST(GetFCode, OneMoreForEachDoubling) {
  struct Case {
    int range;
    int fCode;
  };
  for (Case c : {Case{0, 1}, Case{15, 1}, Case{16, 2}, Case{31, 2}, Case{32, 3}, Case{63, 3},
                 Case{64, 4}, Case{1023, 7}, Case{1024, 8}, Case{2047, 8}, Case{2048, 9},
                 Case{100000, 9}}) {
    EXPECT_EQ(GetFCode(c.range), c.fCode) << c.range;
  }
}

TEST(PackedMV, WordHoldsXLowAndYHigh) {
  const PackedMV mv{-3, 7};
  EXPECT_EQ(mv.Word(), 0x0007FFFDu);
  EXPECT_EQ(PackedMV::FromWord(0x8000FFFFu), (PackedMV{-1, -32768}));
  EXPECT_EQ(PackedMV::FromWord(mv.Word()), mv);
}

TEST(FrameRateTable, ColumnsAgree) {
  for (int i = 0; i < 12; ++i) {
    const FrameRateEntry& e = kFrameRateTable[i];
    // The whole-number column is the rate x 1000 rounded (30000/1001 reads 30000).
    EXPECT_NEAR(e.rate * 1000.0, e.rateX1000, 0.001 * e.rateX1000) << i;
    EXPECT_EQ(kNumUnitsInTick[i] == 1001, e.rate != static_cast<int>(e.rate * 2) / 2.0) << i;
  }
}

}  // namespace
