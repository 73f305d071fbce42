#include "venc/mbenc/h264_encoder.h"

#include <algorithm>

namespace orx::venc {
namespace {

// Bytes of the neighbour tables at the end of the context (96 macroblocks' worth).
constexpr uint32_t kNeighbourTableBytes = 96 * 48;
constexpr int kLumaGridBytesPerMb = 32;
constexpr int kChromaGridBytesPerMb = 16;
// Entries per configuration of each neighbour table.
constexpr int kNeighbourEntries[8] = {16, 16, 4, 4, 16, 16, 16, 16};
// The second work area's distance from the DC area.
constexpr int kSecondWorkAreaOffset = 1280;

}  // namespace

H264SliceLayout ComputeH264SliceLayout(int32_t sliceWord, int mbRows, bool progressive) {
  H264SliceLayout layout;
  layout.rowsPerSlice = mbRows;
  const int count = sliceWord & 0xFF;
  if (count == 0) {
    const int limit = (sliceWord >> 8) & 0xFFFF;
    if (limit != 0) {
      layout.mode = kSlicesBySize;
      layout.byteLimit = limit;
    }
    return layout;
  }
  layout.slices = std::min(count, mbRows);
  layout.rowsPerSlice = mbRows / layout.slices;
  // Macroblock pairs never straddle a slice edge.
  if (!progressive) layout.rowsPerSlice &= ~1;
  layout.remainderRows = mbRows - layout.rowsPerSlice * layout.slices;
  return layout;
}

std::vector<int> H264SliceRows(const H264SliceLayout& layout, int mbRows, bool progressive) {
  if (layout.mode != kSlicesByCount || layout.slices == 0) return {mbRows};
  std::vector<int> rows;
  const int step = progressive ? 1 : 2;
  int remainder = layout.remainderRows;
  int left = mbRows;
  for (int i = 0; i < layout.slices && left > 0; ++i) {
    int n = layout.rowsPerSlice;
    if (remainder > 0) {
      const int extra = std::min(step, remainder);
      n += extra;
      remainder -= extra;
    }
    // With as many slices as pair rows the later slices would be empty: none is written.
    if (n == 0) break;
    n = std::min(n, left);
    rows.push_back(n);
    left -= n;
  }
  return rows;
}

NeighbourStep H264NeighbourSource(H264NeighbourTable table, int configuration, int block) {
  // The macroblock-pair configurations are filled by the macroblock-adaptive frame/field work.
  if (configuration != 0) return {0, 0};
  switch (table) {
    case kNeighbourLumaLeft:
    case kNeighbourChromaLeft:
    case kNeighbourBlockLeft:
      return {-1, 0};
    case kNeighbourLumaTop:
    case kNeighbourChromaTop:
    case kNeighbourBlockTop:
      return {0, -1};
    case kNeighbourBlockTopLeft:
      return {-1, -1};
    case kNeighbourBlockTopRight:
      // The top-right of these lies in the macroblock to the right, not yet coded.
      return block == 7 || block == 13 || block == 15 ? NeighbourStep{0, 0} : NeighbourStep{1, -1};
  }
  return {0, 0};
}

void CMBEncoder_H264::InitTables() {
  BuildCavlcLevelTables();
  sliceLayout_ = ComputeH264SliceLayout(settings_->sliceLayout, settings_->mbRows,
                                        settings_->progressiveSequence != 0);
  limiterEstimate_ = 0;
  sliceStartBits_ = 0;
  frameNumber_ = 0;
  initialQpBase_ = kH264InitialQpBase;
  entropyMode_ = 0;
  delimiterWritten_ = false;
  bufferingPeriodWritten_ = false;
  accessUnitsSinceBufferingPeriod_ = 0;
  codedPictures_ = 0;
  firstDisplayNumber_ = 0;
}

uint32_t CMBEncoder_H264::GetContextSize() {
  const uint32_t mbs = static_cast<uint32_t>(settings_->mbCols) * static_cast<uint32_t>(settings_->mbRows);
  return mbs * (kLumaGridBytesPerMb + kChromaGridBytesPerMb) + kNeighbourTableBytes;
}

void CMBEncoder_H264::SetContext(uint8_t* context) {
  const int mbw = settings_->mbCols;
  const int mbs = mbw * settings_->mbRows;
  const int stride = settings_->stride;

  lumaGrid_ = context;
  chromaGrid_ = lumaGrid_ + static_cast<size_t>(mbs) * kLumaGridBytesPerMb;
  uint8_t* p = chromaGrid_ + static_cast<size_t>(mbs) * kChromaGridBytesPerMb;

  for (int t = 0; t < 8; ++t) {
    const auto table = static_cast<H264NeighbourTable>(t);
    neighbour_[t] = reinterpret_cast<int16_t*>(p);
    const int entries = kNeighbourEntries[t];
    for (int config = 0; config < kNeighbourConfigs[t]; ++config) {
      for (int k = 0; k < entries; ++k) {
        const NeighbourStep step = H264NeighbourSource(table, config, k);
        int value = 0;
        if (t == kNeighbourLumaLeft || t == kNeighbourLumaTop) {
          value = step.dy * 4 * mbw + step.dx;
        } else if (t == kNeighbourChromaLeft || t == kNeighbourChromaTop) {
          value = 2 * (step.dy * 2 * mbw + step.dx);
        } else if (step.dx != 0 || step.dy != 0) {
          // Macroblock-ordered address of the neighbour (16 values per macroblock).
          const int x = kH264BlockToRaster[k] % 4 + step.dx;
          const int y = kH264BlockToRaster[k] / 4 + step.dy;
          value = ((y >> 2) * mbw + (x >> 2)) * 16 + kH264BlockToRaster[(x & 3) + 4 * (y & 3)];
        }
        neighbour_[t][config * entries + k] = static_cast<int16_t>(value);
      }
    }
    p += static_cast<size_t>(kNeighbourConfigs[t]) * entries * sizeof(int16_t);
  }

  for (int k = 0; k < 16; ++k) {
    const int c = kH264BlockToRaster[k] % 4;
    const int r = kH264BlockToRaster[k] / 4;
    const int grid = c + r * 4 * mbw;
    lumaBlocks_[0][k] = {grid, 4 * c + 4 * r * stride};
    lumaBlocks_[1][k] = {grid, 4 * c + 8 * r * stride};
  }
  const int chromaGrid[4] = {0, 2, 4 * mbw, 4 * mbw + 2};
  for (int k = 0; k < 4; ++k) {
    const int right = 8 * (k & 1);
    const int lower = k >> 1;
    chromaBlocks_[0][k] = {chromaGrid[k], right + lower * 4 * stride};
    chromaBlocks_[1][k] = {chromaGrid[k], right + lower * 8 * stride};
  }

  dcArea_ = coefficients2_;
  secondWorkArea_ = reinterpret_cast<uint8_t*>(coefficients2_) + kSecondWorkAreaOffset;
}

}  // namespace orx::venc
