// Fill, downscalers and blend on worked samples: the running class against the plain class's
// results, the plain class's low-byte fill, and the blend's weights.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>

#include "tests/venc/dsp/preproc_test_support.h"

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

TEST(PreprocDownscale, AveragesRoundUp) {
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    SCOPED_TRACE(name);
    // Output width 16: the source rows repeat each case's samples.
    auto source = [](const int* values, int count) {
      AlignedBytes bytes(4 * 32);
      for (int i = 0; i < 4 * 32; ++i) bytes[i] = static_cast<uint8_t>(values[i % count]);
      return bytes;
    };
    AlignedBytes out(32, kUntouched);
    for (const auto& [pair, expected] :
         {std::pair{std::array{1, 2}, 2}, std::pair{std::array{1, 1}, 1},
          std::pair{std::array{0, 255}, 128}}) {
      AlignedBytes s = source(pair.data(), 2);
      core->DownscaleHorz(out.at(0), s.at(0), 16, 1, 0);
      EXPECT_EQ(out[0], expected);
      EXPECT_EQ(out[15], expected);
      // The vertical form averages the same values over two rows.
      AlignedBytes rows(32);
      for (int i = 0; i < 16; ++i) {
        rows[i] = static_cast<uint8_t>(pair[0]);
        rows[16 + i] = static_cast<uint8_t>(pair[1]);
      }
      core->DownscaleVert(out.at(0), rows.at(0), 16, 1, 0);
      EXPECT_EQ(out[0], expected);
      EXPECT_EQ(out[15], expected);
    }
    // 2x2: 1, 1 over 1, 2 gives (5 + 2) >> 2 = 1; 1, 2 over 2, 2 gives 2.
    for (const auto& [upper, lower, expected] :
         {std::tuple{std::array{1, 1}, std::array{1, 2}, 1},
          std::tuple{std::array{1, 2}, std::array{2, 2}, 2}}) {
      AlignedBytes s(4 * 16);
      for (int i = 0; i < 32; ++i) {
        s[i] = static_cast<uint8_t>(upper[i % 2]);
        s[32 + i] = static_cast<uint8_t>(lower[i % 2]);
      }
      core->Downscale2x2(out.at(0), s.at(0), 16, 1, 0);
      EXPECT_EQ(out[0], expected);
      EXPECT_EQ(out[15], expected);
    }
    // Interleaved chroma Cb0 10, Cr0 20, Cb1 11, Cr1 30 gives Cb 11, Cr 25; the 2x2 form over
    // the same row twice gives the same.
    const int chroma[4] = {10, 20, 11, 30};
    AlignedBytes c = source(chroma, 4);
    core->DownscaleHorzChroma(out.at(0), c.at(0), 16, 1, 0);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 25);
    EXPECT_EQ(out[15], 25);
    core->Downscale2x2Chroma(out.at(0), c.at(0), 16, 1, 0);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 25);
    EXPECT_EQ(out[16], kUntouched);
  }
}

TEST(PreprocBlend, OverlayWeightFollowsAlphaAndStrength) {
  struct Case {
    int picture, overlay, alpha, strength, expected;
  };
  const Case cases[] = {
      {0, 255, 255, 255, 254},  // w = 255
      {37, 255, 0, 255, 37},    // transparent
      {37, 255, 255, 0, 37},    // strength 0: w = 0
      {0, 200, 255, 127, 99},   // w = 127: (127 x 200) >> 8
  };
  for (auto& [name, core] : dsptest::PlainAndVariantPreprocCores()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(name + " alpha " + std::to_string(c.alpha) + " strength " +
                   std::to_string(c.strength));
      // Two rows of 3 samples; the overlay and its alpha map 8 bytes apart, the picture 5.
      AlignedBytes picture(16, kUntouched), overlay(16), alpha(16);
      for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 3; ++i) {
          picture[5 * r + i] = static_cast<uint8_t>(c.picture);
          overlay[8 * r + i] = static_cast<uint8_t>(c.overlay);
          alpha[8 * r + i] = static_cast<uint8_t>(c.alpha);
        }
      }
      core->BlendWeighted(picture.at(0), overlay.at(0), alpha.at(0), c.strength, 3, 2, 8, 5);
      for (int r = 0; r < 2; ++r)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(picture[5 * r + i], c.expected);
      EXPECT_EQ(picture[3], kUntouched);
      // Nothing happens for no rows or no width.
      core->BlendWeighted(picture.at(0), overlay.at(0), alpha.at(0), 255, 0, 2, 8, 5);
      core->BlendWeighted(picture.at(0), overlay.at(0), alpha.at(0), 255, 3, -1, 8, 5);
      EXPECT_EQ(picture[0], c.expected);
    }
  }
}

}  // namespace
}  // namespace orx::dsp
