// Intra macroblock coding of the H.264 encoder: the luma as sixteen 4x4 blocks or as one 16x16
// prediction with its DC transform, then the chroma, each predicted from the reconstructed
// picture, transformed, quantised and reconstructed in place (later blocks predict from the
// reconstructed samples, as a decoder does). The coders leave the mode syntax and the level
// counts for the macroblock writer.
#include <algorithm>
#include <cstring>

#include "venc/dsp/h264_blocks.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/h264_mb_tables.h"

namespace orx::venc {
namespace {

// Not yet evaluated: never chosen over a measured mode.
constexpr int kUnmeasured = 0x7FFFFFF;
// The DC cost of a macroblock without neighbours (nothing measured).
constexpr int kUnmeasuredDc = 0xFFFF;

// The 8x8 quadrant of the 4x4 block at raster position p.
inline int QuadrantOf(int p) { return ((p >> 3) << 1) | ((p & 3) >> 1); }

// The availability bits of the 16x16 luma and 8x8 chroma predictions.
uint32_t MacroblockAvailability(bool left, bool above, bool aboveLeft) {
  uint32_t a = 0;
  if (left) a |= dsp::kIntraLeftAvailable;
  if (above) a |= dsp::kIntraTopAvailable;
  if (left && above && aboveLeft) a |= dsp::kIntraTopLeftAvailable;
  return a;
}

}  // namespace

void CMBEncoder_H264::CodeIntra4x4MB(uint8_t* recon, MBInfo*, uint8_t* grid,
                                     const H264BlockEntry* blocks) {
  core_->SelectQuantRecord(currentQp_, pictureType_ == PICTURE_I ? 0 : 1);
  std::fill(std::begin(luma8x8Count_), std::end(luma8x8Count_), 0);
  const uint8_t* source = CurrentSourceLuma();
  const int16_t* leftOf = neighbour_[kNeighbourLumaLeft];
  const int16_t* topOf = neighbour_[kNeighbourLumaTop];
  for (int k = 0; k < 16; ++k) {
    const int p = kH264BlockToRaster[k];
    const bool hasLeft = (p & 3) != 0 || leftAvailable_;
    const bool hasTop = p >= 4 || aboveAvailable_;
    // Top-right samples exist where the block above-right is coded before this one.
    bool topRight = true;
    if (k == 3 || k == 7 || k == 11 || k == 13 || k == 15) topRight = false;
    if (k == 5) topRight = aboveRightAvailable_;
    if (k == 0 || k == 1 || k == 4) topRight = aboveAvailable_;
    const int entry = blocks[k].gridOffset;
    int predicted = 2;
    if (hasLeft && hasTop) {
      predicted = std::min(grid[2 * (entry + leftOf[k])] & 15, grid[2 * (entry + topOf[k])] & 15);
    }
    uint32_t flags = static_cast<uint32_t>(predicted) | intra4x4Penalty_;
    if (hasLeft) flags |= dsp::kIntraLeftAvailable;
    if (hasTop) flags |= dsp::kIntraTopAvailable;
    if (hasTop && topRight) flags |= dsp::kIntraTopRightAvailable;
    if (hasLeft && hasTop && aboveLeftAvailable_) flags |= dsp::kIntraTopLeftAvailable;

    const int pixel = blocks[k].pixelOffset;
    int16_t* levels = coefficients_ + 16 * p;
    uint8_t* prediction = predictionLuma_ + 16 * p;
    const int mode = core_->PredictIntra4x4Best(levels, prediction, recon + pixel, source + pixel,
                                                stride_, flags);
    intra4x4Codes_[k] = static_cast<uint8_t>(mode == predicted ? 8 : mode > predicted ? mode - 1 : mode);
    const int n = core_->TransformQuant4x4(levels, 0);
    grid[2 * entry] = static_cast<uint8_t>(mode);
    grid[2 * entry + 1] = static_cast<uint8_t>(n);
    luma8x8Count_[QuadrantOf(p)] += n;
    core_->Reconstruct4x4(recon + pixel, prediction, levels, stride_, 0, n);
  }
}

void CMBEncoder_H264::CodeIntra16x16MB(uint8_t* recon, MBInfo*, uint8_t* grid,
                                       const H264BlockEntry* blocks) {
  core_->SelectQuantRecord(currentQp_, pictureType_ == PICTURE_I ? 0 : 1);
  std::fill(std::begin(luma8x8Count_), std::end(luma8x8Count_), 0);
  const uint8_t* source = CurrentSourceLuma();
  const uint32_t available = MacroblockAvailability(leftAvailable_, aboveAvailable_, aboveLeftAvailable_);
  int cost[4] = {kUnmeasured, kUnmeasured, kUnmeasuredDc, kUnmeasured};
  const auto measure = [&](int mode) {
    cost[mode] = core_->PredictIntra16x16(recon, source, stride_, available | static_cast<uint32_t>(mode), nullptr);
  };
  if (leftAvailable_ || aboveAvailable_) measure(2);
  if (aboveAvailable_) measure(0);
  if (leftAvailable_) measure(1);
  if (available & dsp::kIntraTopLeftAvailable) measure(3);
  // DC first; a later mode wins only when strictly cheaper.
  int mode = 2;
  for (int m : {0, 1, 3}) {
    if (cost[m] < cost[mode]) mode = m;
  }
  intra16x16Mode_ = mode;
  core_->PredictIntra16x16(recon, nullptr, stride_, available | static_cast<uint32_t>(mode), predictionLuma_);

  int counts[16];
  for (int b = 0; b < 16; ++b) {
    const H264BlockEntry& e = blocks[kH264BlockToRaster[b]];  // raster block b
    int16_t* levels = coefficients_ + 16 * b;
    core_->Subtract4x4(levels, predictionLuma_ + 16 * b, source + e.pixelOffset, stride_);
    counts[b] = core_->TransformQuant4x4(levels, 1);
    grid[2 * e.gridOffset] = 2;
    grid[2 * e.gridOffset + 1] = static_cast<uint8_t>(counts[b]);
    luma8x8Count_[QuadrantOf(b)] += counts[b];
  }
  lumaDcCount_ = core_->TransformQuantLumaDc(dcArea_, coefficients_);
  for (int b = 0; b < 16; ++b) {
    const int pixel = blocks[kH264BlockToRaster[b]].pixelOffset;
    core_->Reconstruct4x4(recon + pixel, predictionLuma_ + 16 * b, coefficients_ + 16 * b, stride_, 1,
                          counts[b]);
  }
}

void CMBEncoder_H264::CodeIntraChroma(uint8_t* recon, MBInfo*, uint8_t* grid,
                                      const H264BlockEntry* blocks) {
  const int kind = pictureType_ == PICTURE_I ? 0 : 1;
  const uint8_t* source = state_.srcChroma;
  const uint32_t available = MacroblockAvailability(leftAvailable_, aboveAvailable_, aboveLeftAvailable_);
  int cost[4] = {kUnmeasuredDc, kUnmeasured, kUnmeasured, kUnmeasured};
  const auto measure = [&](int mode, int penalty) {
    cost[mode] = core_->PredictIntraChroma(recon, source, stride_, available | static_cast<uint32_t>(mode),
                                           nullptr) + penalty;
  };
  if (leftAvailable_ || aboveAvailable_) measure(0, 0);
  if (leftAvailable_) measure(1, chromaPenalty_);
  if (aboveAvailable_) measure(2, chromaPenalty_);
  if (available & dsp::kIntraTopLeftAvailable) measure(3, 2 * chromaPenalty_);
  int mode = 0;
  for (int m = 1; m < 4; ++m) {
    if (cost[m] < cost[mode]) mode = m;
  }
  chromaMode_ = mode;
  core_->PredictIntraChroma(recon, nullptr, stride_, available | static_cast<uint32_t>(mode), predictionChroma_);
  core_->SelectQuantRecord(H264ChromaQp(currentQp_), kind);
  // A cheap prediction codes no chroma residual at all.
  CodeChromaResidual(recon, grid, blocks, cost[mode] > 10 * kH264IntraQpTable[currentQp_]);
}

void CMBEncoder_H264::CodeChromaResidual(uint8_t* recon, uint8_t* grid, const H264BlockEntry* blocks,
                                         bool keep) {
  const uint8_t* source = state_.srcChroma;
  int16_t* levels = ChromaLevels();
  int16_t* dc = ChromaDcRecord();
  int pairSum[4] = {};
  chromaAcCount_[0] = chromaAcCount_[1] = 0;
  chromaDcCount_[0] = chromaDcCount_[1] = 0;
  if (keep) {
    for (int i = 0; i < 4; ++i) {
      uint32_t counts[2];
      core_->TransformQuantChromaAc(levels + 32 * i, predictionChroma_ + 32 * i,
                                    source + blocks[i].pixelOffset, stride_, counts);
      for (int p = 0; p < 2; ++p) {
        grid[2 * (blocks[i].gridOffset + p) + 1] = static_cast<uint8_t>(counts[p]);
        chromaAcCount_[p] += static_cast<int>(counts[p]);
        pairSum[i] += static_cast<int>(counts[p]);
      }
    }
    uint32_t dcCounts[2];
    core_->TransformQuantChromaDc(dc, levels, dcCounts);
    chromaDcCount_[0] = static_cast<int>(dcCounts[0]);
    chromaDcCount_[1] = static_cast<int>(dcCounts[1]);
  } else {
    std::memset(dc, 0, 16 * sizeof(int16_t));
    for (int i = 0; i < 4; ++i) {
      grid[2 * blocks[i].gridOffset + 1] = 0;
      grid[2 * (blocks[i].gridOffset + 1) + 1] = 0;
    }
  }
  for (int i = 0; i < 4; ++i) {
    core_->ReconstructChroma(recon + blocks[i].pixelOffset, predictionChroma_ + 32 * i, levels + 32 * i,
                             dc + 8 + 2 * i, stride_, pairSum[i]);
  }
}

}  // namespace orx::venc
