// The H.264 encoder's per-sequence set-up: the slice layout from the slice word and the coding
// context (grids, block tables and the frame neighbour tables).
#include <gtest/gtest.h>

#include <vector>

#include "tests/venc/mbenc/h264_dc_stream.h"

namespace orx::venc::test {
namespace {

TEST(H264Layout, SliceWordGivesTheseSlices) {
  struct Case {
    const char* name;
    int32_t sliceWord;
    int mbRows;
    bool progressive;
    int mode;
    int byteLimit;
    std::vector<int> rows;
  };
  const std::vector<Case> cases = {
      {.name = "slice word 0: one slice", .sliceWord = 0, .mbRows = 18, .progressive = true,
       .mode = kSlicesByCount, .byteLimit = 0, .rows = {18}},
      {.name = "more slices than rows: clamped", .sliceWord = 40, .mbRows = 9, .progressive = true,
       .mode = kSlicesByCount, .byteLimit = 0, .rows = {1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {.name = "68 rows, 4 slices, interlaced", .sliceWord = 4, .mbRows = 68, .progressive = false,
       .mode = kSlicesByCount, .byteLimit = 0, .rows = {18, 18, 16, 16}},
      {.name = "30 rows, 4 slices", .sliceWord = 4, .mbRows = 30, .progressive = true,
       .mode = kSlicesByCount, .byteLimit = 0, .rows = {8, 8, 7, 7}},
      {.name = "interlaced, as many slices as rows: pair rows", .sliceWord = 8, .mbRows = 8,
       .progressive = false, .mode = kSlicesByCount, .byteLimit = 0, .rows = {2, 2, 2, 2}},
      {.name = "byte limit without a count", .sliceWord = 1500 << 8, .mbRows = 36, .progressive = true,
       .mode = kSlicesBySize, .byteLimit = 1500, .rows = {36}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const H264SliceLayout layout = ComputeH264SliceLayout(c.sliceWord, c.mbRows, c.progressive);
    EXPECT_EQ(layout.mode, c.mode);
    EXPECT_EQ(layout.byteLimit, c.byteLimit);
    if (c.mode == kSlicesBySize) {
      EXPECT_EQ(layout.slices, 0);
      EXPECT_EQ(layout.rowsPerSlice, c.mbRows);
      EXPECT_EQ(layout.remainderRows, 0);
    }
    EXPECT_EQ(H264SliceRows(layout, c.mbRows, c.progressive), c.rows);
  }
  // The encoder takes its layout from the settings at Init.
  H264DcRig rig(352, 480);
  rig.settings.sliceLayout = 4;
  ASSERT_TRUE(rig.encoder.Init(&rig.settings, &rig.rateControl));
  EXPECT_EQ(rig.encoder.SliceLayout().rowsPerSlice, 7);
  EXPECT_EQ(rig.encoder.SliceLayout().remainderRows, 2);
}

TEST(H264Layout, ContextHoldsGridsAndTables) {
  H264DcRig rig(176, 144);  // 11 x 9 macroblocks
  rig.settings.stride = 256;
  ASSERT_TRUE(rig.encoder.Init(&rig.settings, &rig.rateControl));
  CMBEncoder_H264& e = rig.encoder;
  EXPECT_EQ(e.GetContextSize(), (11u * 9u + 96u) * 48u);
  EXPECT_EQ(e.ChromaCountGrid() - e.LumaCountGrid(), 11 * 9 * 32);
  EXPECT_EQ(e.EntropyMode(), 0);
  EXPECT_EQ(e.InitialQpBase(), 14);
  // Block k of the block order lies at raster position Z(k) of the 4x4 blocks.
  const int expectedRaster[16] = {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15};
  for (int k = 0; k < 16; ++k) {
    const int c = expectedRaster[k] % 4, r = expectedRaster[k] / 4;
    EXPECT_EQ(e.LumaBlocks(false)[k].gridOffset, c + r * 44) << k;
    EXPECT_EQ(e.LumaBlocks(false)[k].pixelOffset, 4 * c + 4 * r * 256) << k;
    EXPECT_EQ(e.LumaBlocks(true)[k].pixelOffset, 4 * c + 8 * r * 256) << k;
  }
  const int chromaGrid[4] = {0, 2, 44, 46};
  const int chromaFrame[4] = {0, 8, 1024, 1032};
  const int chromaField[4] = {0, 8, 2048, 2056};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(e.ChromaBlocks(false)[k].gridOffset, chromaGrid[k]);
    EXPECT_EQ(e.ChromaBlocks(false)[k].pixelOffset, chromaFrame[k]);
    EXPECT_EQ(e.ChromaBlocks(true)[k].pixelOffset, chromaField[k]);
  }
  // Frame neighbours: left and top entries of the grids, macroblock-ordered block addresses.
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(e.NeighbourTable(kNeighbourLumaLeft)[k], -1);
    EXPECT_EQ(e.NeighbourTable(kNeighbourLumaTop)[k], -44);
  }
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(e.NeighbourTable(kNeighbourChromaLeft)[k], -2);
    EXPECT_EQ(e.NeighbourTable(kNeighbourChromaTop)[k], -44);
  }
  // Block 0: left is block 5 of the left macroblock, top block 10 of the one above, top-left
  // block 15 of the macroblock above-left, top-right block 11 of the one above.
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockLeft)[0], -16 + 5);
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockTop)[0], -11 * 16 + 10);
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockTopLeft)[0], -12 * 16 + 15);
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockTopRight)[0], -11 * 16 + 11);
  // Block 5 (top right corner): top-right in the macroblock above-right, block 10.
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockTopRight)[5], -10 * 16 + 10);
  // Block 3: left is block 2 of its own macroblock.
  EXPECT_EQ(e.NeighbourTable(kNeighbourBlockLeft)[3], 2);
  for (int k : {7, 13, 15}) EXPECT_EQ(e.NeighbourTable(kNeighbourBlockTopRight)[k], 0) << k;
  // The DC area is the base's second coefficient buffer, the second work area 1280 bytes on.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(e.SecondWorkArea()) - reinterpret_cast<uint8_t*>(e.DcArea()), 1280);
}

}  // namespace
}  // namespace orx::venc::test
