// Block load, residual, reconstruction, padding and macroblock buffers: the worked cases in the
// plain class and every variant, with the running variant's coded flags.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "tests/venc/dsp/core_test_support.h"
#include "venc/dsp/mpeg_scans.h"

namespace orx::dsp {
namespace {

using dsptest::Block;
using dsptest::BlockPair;

struct alignas(16) Pixels {
  uint8_t v[16 * 8] = {};
};

TEST(BlockIo, SubtractDecidesCodedFlagsInTheRunningVariant) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    const bool plain = name == "plain";
    Pixels current, prediction;
    for (int i = 0; i < 128; ++i) current.v[i] = prediction.v[i] = static_cast<uint8_t>(i * 7);
    BlockPair residual;
    std::fill(residual.v, residual.v + 128, int16_t{99});
    EXPECT_EQ(core->SubtractBlock(residual.v, current.v, prediction.v, 16, 16, 0), plain ? 1 : 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(residual.v[i], 0);
    current.v[16 * 3 + 2] += 1;
    EXPECT_EQ(core->SubtractBlock(residual.v, current.v, prediction.v, 16, 16, 0), 1);
    EXPECT_EQ(residual.v[8 * 3 + 2], 1);
    // Chroma: Cb at even bytes, Cr at odd ones; the differences sum to 8 above a threshold of 5.
    for (auto [cb, cr, flags] :
         {std::tuple{0, 0, 0}, std::tuple{0, 1, 1}, std::tuple{1, 0, 2}, std::tuple{1, 1, 3}}) {
      Pixels c = prediction;
      for (int r = 0; r < 8; ++r) {
        if (cb) c.v[16 * r] = static_cast<uint8_t>(c.v[16 * r] + 1);
        if (cr) c.v[16 * r + 1] = static_cast<uint8_t>(c.v[16 * r + 1] + 1);
      }
      EXPECT_EQ(core->SubtractChromaPair(residual.v, c.v, prediction.v, 16, 16, 5),
                plain ? 3 : flags);
      EXPECT_EQ(residual.v[0], cb);
      EXPECT_EQ(residual.v[64], cr);
    }
  }
}

TEST(BlockIo, StoresAndAddsClip) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    BlockPair blocks;
    const int16_t values[5] = {-1, 0, 255, 256, 300};
    const uint8_t clipped[5] = {0, 0, 255, 255, 255};
    for (int i = 0; i < 5; ++i) blocks.v[i] = blocks.v[64 + i] = values[i];
    Pixels out;
    core->StoreBlockPair(out.v, blocks.v, 16);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(out.v[i], clipped[i]);
      EXPECT_EQ(out.v[8 + i], clipped[i]);
    }
    // Flags 2: the right half is the prediction whatever the right block holds; flags 0 copies.
    Pixels prediction;
    for (int i = 0; i < 128; ++i) prediction.v[i] = static_cast<uint8_t>(100 + i % 16);
    for (int i = 0; i < 128; ++i) blocks.v[i] = static_cast<int16_t>(i % 2 ? -50 : 50);
    for (int flags : {0, 1, 2, 3}) {
      core->AddBlockPair(out.v, prediction.v, blocks.v, 16, 16, flags);
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 16; ++c) {
          const bool coded = c < 8 ? (flags & 2) : (flags & 1);
          const int residual = c < 8 ? blocks.v[8 * r + c] : blocks.v[64 + 8 * r + c - 8];
          EXPECT_EQ(out.v[16 * r + c], prediction.v[16 * r + c] + (coded ? residual : 0)) << flags;
        }
    }
    Pixels chromaPrediction;
    chromaPrediction.v[0] = 250;
    chromaPrediction.v[1] = 3;
    BlockPair chroma;
    chroma.v[0] = 10;
    chroma.v[64] = -10;
    core->AddChromaPair(out.v, chromaPrediction.v, chroma.v, 16, 16, 3);
    EXPECT_EQ(out.v[0], 255);
    EXPECT_EQ(out.v[1], 0);
  }
}

TEST(BlockIo, OffsetsShiftTheLevel) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    Pixels source;
    source.v[0] = 0;
    source.v[1] = 255;
    Block block;
    core->LoadBlockOffset(block.v, source.v, 16, 128);
    EXPECT_EQ(block.v[0], -128);
    EXPECT_EQ(block.v[1], 127);
    Block left, right;
    left.v[0] = -129;
    left.v[1] = 128;
    right.v[0] = -128;
    Pixels out;
    core->StoreBlockPairOffset(out.v, left.v, right.v, 16, 128, 8);
    EXPECT_EQ(out.v[0], 0);
    EXPECT_EQ(out.v[1], 255);
    EXPECT_EQ(out.v[8], 0);
    // Two rows written, nothing more.
    Pixels rows;
    std::memset(rows.v, 0xEE, sizeof rows.v);
    Block cb, cr;
    core->StoreChromaPairOffset(rows.v, cb.v, cr.v, 16, 128, 2);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(rows.v[i], i < 32 ? 128 : 0xEE) << i;
  }
}

TEST(BlockIo, Padding) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    alignas(16) uint8_t plane[3][96];
    std::memset(plane, 0xEE, sizeof plane);
    for (int i = 0; i < 16; ++i) plane[1][32 + i] = static_cast<uint8_t>(i + 1);
    core->PadBordersHorizontal(&plane[1][32], 16, 96, 1);
    for (int i = 0; i < 96; ++i) {
      const int expected = i < 32 ? 1 : i < 48 ? i - 31 : i < 80 ? 16 : 0xEE;
      EXPECT_EQ(plane[1][i], expected) << i;
      EXPECT_EQ(plane[0][i], 0xEE);
      EXPECT_EQ(plane[2][i], 0xEE);
    }
    alignas(16) uint8_t chroma[96];
    std::memset(chroma, 0xEE, sizeof chroma);
    chroma[32] = 10, chroma[33] = 20, chroma[46] = 30, chroma[47] = 40;
    core->PadChromaBordersHorizontal(&chroma[32], 16, 96, 1);
    for (int i = 0; i < 32; ++i) {
      EXPECT_EQ(chroma[i], i % 2 ? 20 : 10);
      EXPECT_EQ(chroma[48 + i], i % 2 ? 40 : 30);
    }
    EXPECT_EQ(chroma[80], 0xEE);
    // Vertical: count copies one after another, or every second row with an extra step.
    alignas(16) uint8_t rows[8][16];
    alignas(16) uint8_t edge[16];
    std::iota(edge, edge + 16, 1);
    for (int extra : {0, 16}) {
      std::memset(rows, 0, sizeof rows);
      core->PadBordersVertical(&rows[0][0], edge, 16, 3, extra);
      for (int r = 0; r < 8; ++r) {
        const bool written = extra == 0 ? r < 3 : (r % 2 == 0 && r < 6);
        EXPECT_EQ(rows[r][15], written ? 16 : 0) << "extra " << extra << " row " << r;
      }
    }
  }
}

TEST(BlockIo, MacroblockBuffersAndLastCoefficient) {
  for (auto& [name, core] : dsptest::PlainAndVariants()) {
    SCOPED_TRACE(name);
    alignas(16) uint8_t a[384], b[384], out[384];
    std::memset(a, 0, sizeof a);
    std::memset(b, 1, sizeof b);
    a[300] = 254, b[300] = 255;
    a[5] = 0, b[5] = 255;
    core->AverageMBBuffers(out, a, a + 256, b, b + 256);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[300], 255);
    EXPECT_EQ(out[5], 128);
    core->CopyMBBuffer(out, b, a + 256);
    EXPECT_EQ(out[5], 255);
    EXPECT_EQ(out[300], 254);
    // The inverse zigzag for the transposed layout.
    alignas(16) uint8_t positionToScan[64];
    for (int scan = 0; scan < 64; ++scan) {
      const int raster = kZigzagScan[scan];
      positionToScan[8 * (raster % 8) + raster / 8] = static_cast<uint8_t>(scan);
    }
    Block block;
    EXPECT_EQ(core->FindLastCoefficient(block.v, positionToScan), 0);
    block.v[0] = 5;
    EXPECT_EQ(core->FindLastCoefficient(block.v, positionToScan), 0);
    block.v[8] = -1;
    EXPECT_EQ(core->FindLastCoefficient(block.v, positionToScan), 1);
    block.v[8] = 0;
    block.v[1] = 300;
    EXPECT_EQ(core->FindLastCoefficient(block.v, positionToScan), 2);
    block.v[63] = 1;
    EXPECT_EQ(core->FindLastCoefficient(block.v, positionToScan), 63);
    // A table whose entry 0 is 200 with a non-zero DC: only the variants look at position 0.
    Block dc;
    dc.v[0] = 1;
    positionToScan[0] = 200;
    EXPECT_EQ(core->FindLastCoefficient(dc.v, positionToScan), name == "plain" ? 0 : 200);
  }
}

TEST(BlockIo, ScansArePermutationsInTheirStandardOrder) {
  for (const uint8_t* scan : {kZigzagScan, kAlternateScan}) {
    bool seen[64] = {};
    for (int i = 0; i < 64; ++i) seen[scan[i]] = true;
    for (bool s : seen) EXPECT_TRUE(s);
  }
  // The zigzag read in the transposed layout: 0, 8, 1, 2, 9, 16, 24, 17.
  const int transposed[8] = {0, 8, 1, 2, 9, 16, 24, 17};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(8 * (kZigzagScan[i] % 8) + kZigzagScan[i] / 8, transposed[i]);
  // The alternate scan runs down the first column first.
  const int alternate[8] = {0, 8, 16, 24, 1, 9, 2, 10};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(kAlternateScan[i], alternate[i]);
  EXPECT_EQ(kAlternateScan[63], 63);
  EXPECT_EQ(kZigzagScan[63], 63);
}

}  // namespace
}  // namespace orx::dsp
