// Fill: the worked cases in the running class, and the plain class's low-byte fill.
#include <gtest/gtest.h>

#include "tests/dsp/preproc_test_support.h"

namespace orx::dsp {
namespace {

using dsptest::AlignedBytes;

constexpr uint8_t kUntouched = 0xEE;

TEST(PreprocFill, FillsWidthBytesOfEveryRowAndLeavesTheGaps) {
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    AlignedBytes picture(3 * 736, kUntouched);
    core->FillRows(picture.at(0), 720, 2, 736, 0x80808080u);
    for (int r = 0; r < 2; ++r) {
      for (int c = 0; c < 720; ++c) ASSERT_EQ(picture[r * 736 + c], 0x80);
      for (int c = 720; c < 736; ++c) ASSERT_EQ(picture[r * 736 + c], kUntouched);
    }
    for (int c = 0; c < 736; ++c) ASSERT_EQ(picture[2 * 736 + c], kUntouched);
  }
}

TEST(PreprocFill, RunningClassRepeatsTheValuesBytesWherePlainUsesTheLowByte) {
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    // Pitch equal to the width: one run over both rows; any start alignment.
    AlignedBytes picture(64, kUntouched);
    core->FillRows(picture.at(3), 20, 2, 20, 0x44332211u);
    for (int i = 0; i < 40; ++i) {
      const int expected = name == "plain" ? 0x11 : 0x11 * (1 + i % 4);
      ASSERT_EQ(picture[3 + i], expected) << i;
    }
    EXPECT_EQ(picture[2], kUntouched);
    EXPECT_EQ(picture[43], kUntouched);
  }
}

}  // namespace
}  // namespace orx::dsp
