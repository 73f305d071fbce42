// Inter macroblock coding of the H.264 encoder: the motion-compensated prediction from the
// reconstructed references (quarter-sample luma per 8x8 quadrant, eighth-sample chroma per 4x4
// pair, averaged for two lists), the residual through the macroblock core, and the
// reconstruction in place, exactly as a decoder forms it. One reference picture per list: list
// 0 is the picture's forward reference, list 1 its backward reference.
#include <algorithm>

#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/h264_mb_tables.h"

namespace orx::venc {
namespace {

// Raster position of the upper-left 4x4 block of quadrant q.
inline int QuadrantFirstBlock(int q) { return 8 * (q >> 1) + 2 * (q & 1); }

}  // namespace

uint32_t CMBEncoder_H264::PartitionKind(const MBInfo* mb) const {
  // B macroblocks carry one vector per list: a partition flag there is not coded, so it must
  // not steer the prediction either.
  if (pictureType_ != PICTURE_P || noPartition_ || (mb->flags & MBINFO_INTRA)) return MBINFO_PART_16X16;
  if (mb->flags & MBINFO_PART_8X8) return MBINFO_PART_8X8;
  if (mb->flags & MBINFO_PART_8X16) return MBINFO_PART_8X16;
  if (mb->flags & MBINFO_PART_16X8) return MBINFO_PART_16X8;
  return MBINFO_PART_16X16;
}

PackedMV CMBEncoder_H264::QuadrantVector(const MBInfo* mb, int list, int quadrant) const {
  if (list != 0) return mb->mv[0].backward;
  // The vector of the partition that covers the quadrant, so that prediction, vector
  // prediction and the written vectors always agree.
  switch (PartitionKind(mb)) {
    case MBINFO_PART_16X8: return mb->mv[quadrant & 2].forward;
    case MBINFO_PART_8X16: return mb->mv[quadrant & 1].forward;
    case MBINFO_PART_8X8: return mb->mv[quadrant].forward;
    default: return mb->mv[0].forward;
  }
}

void CMBEncoder_H264::PredictLumaQuadrant(uint8_t* destination, const uint8_t* plane, PackedMV mv,
                                          int quadrant) {
  const ptrdiff_t offset = static_cast<ptrdiff_t>(16 * state_.mbY + 8 * (quadrant >> 1) + (mv.y >> 2)) * stride_ +
                           16 * state_.mbX + 8 * (quadrant & 1) + (mv.x >> 2);
  core_->InterpolateLumaQpel8x8(destination, plane + offset, stride_, (mv.x & 3) + 4 * (mv.y & 3));
}

void CMBEncoder_H264::CodeInterLuma(uint8_t* recon, MBInfo* mb, uint8_t* grid,
                                    const H264BlockEntry* blocks) {
  core_->SelectQuantRecord(currentQp_, 2);
  const CPicture* picture = state_.picture;
  const bool list0 = (mb->flags & MBINFO_FORWARD) != 0;
  const bool list1 = (mb->flags & MBINFO_BACKWARD) != 0;
  const int first = list0 ? 0 : 1;
  const uint8_t* planes[2] = {picture->forwardRef != nullptr ? picture->forwardRef->reconLuma : nullptr,
                              picture->backwardRef != nullptr ? picture->backwardRef->reconLuma : nullptr};
  const uint8_t* source = CurrentSourceLuma();
  for (int q = 0; q < 4; ++q) {
    const int offset = 8 * (q & 1) + 8 * (q >> 1) * stride_;
    uint8_t* prediction = predictionLuma_ + 64 * q;
    PredictLumaQuadrant(prediction, planes[first], QuadrantVector(mb, first, q), q);
    if (list0 && list1) {
      PredictLumaQuadrant(secondWorkArea_, planes[1], QuadrantVector(mb, 1, q), q);
      core_->AverageInPlace64(prediction, secondWorkArea_);
    }
    const int upper = QuadrantFirstBlock(q);
    uint32_t counts[4];
    core_->TransformQuant4x4Pair(coefficients_ + 16 * upper, prediction, source + offset, stride_, counts);
    core_->TransformQuant4x4Pair(coefficients_ + 16 * (upper + 4), prediction + 32,
                                 source + offset + 4 * stride_, stride_, counts + 2);
    const int raster[4] = {upper, upper + 1, upper + 4, upper + 5};
    luma8x8Count_[q] = 0;
    for (int i = 0; i < 4; ++i) {
      const int entry = blocks[kH264BlockToRaster[raster[i]]].gridOffset;
      grid[2 * entry] = 2;
      grid[2 * entry + 1] = static_cast<uint8_t>(counts[i]);
      luma8x8Count_[q] += static_cast<int>(counts[i]);
    }
    core_->Reconstruct4x4Pair(recon + offset, prediction, coefficients_ + 16 * upper, stride_,
                              static_cast<int>(counts[0] + counts[1]));
    core_->Reconstruct4x4Pair(recon + offset + 4 * stride_, prediction + 32, coefficients_ + 16 * (upper + 4),
                              stride_, static_cast<int>(counts[2] + counts[3]));
  }
}

void CMBEncoder_H264::DropLumaQuadrants(uint8_t* recon, MBInfo*, uint8_t* grid,
                                        const H264BlockEntry* blocks, int, uint32_t mask) {
  for (int q = 0; q < 4; ++q) {
    if ((mask & (1u << q)) == 0) continue;
    const int offset = 8 * (q & 1) + 8 * (q >> 1) * stride_;
    const int upper = QuadrantFirstBlock(q);
    const uint8_t* prediction = predictionLuma_ + 64 * q;
    // Coded flag 0: only position 0 counts, (level + 32) >> 6, which is 0 for the levels of
    // magnitude 1 that decimation drops; zeroed here so that no level can leak in.
    coefficients_[16 * upper] = coefficients_[16 * (upper + 1)] = 0;
    coefficients_[16 * (upper + 4)] = coefficients_[16 * (upper + 5)] = 0;
    core_->Reconstruct4x4Pair(recon + offset, prediction, coefficients_ + 16 * upper, stride_, 0);
    core_->Reconstruct4x4Pair(recon + offset + 4 * stride_, prediction + 32, coefficients_ + 16 * (upper + 4),
                              stride_, 0);
    for (int raster : {upper, upper + 1, upper + 4, upper + 5}) {
      grid[2 * blocks[kH264BlockToRaster[raster]].gridOffset + 1] = 0;
    }
    luma8x8Count_[q] = 0;
  }
}

void CMBEncoder_H264::CodeInterChroma(uint8_t* recon, MBInfo* mb, uint8_t* grid,
                                      const H264BlockEntry* blocks) {
  const CPicture* picture = state_.picture;
  const bool list0 = (mb->flags & MBINFO_FORWARD) != 0;
  const bool list1 = (mb->flags & MBINFO_BACKWARD) != 0;
  const int first = list0 ? 0 : 1;
  const uint8_t* planes[2] = {picture->forwardRef != nullptr ? picture->forwardRef->reconChroma : nullptr,
                              picture->backwardRef != nullptr ? picture->backwardRef->reconChroma : nullptr};
  const ptrdiff_t mbOffset = static_cast<ptrdiff_t>(8 * state_.mbY) * stride_ + 16 * state_.mbX;
  // The chroma vector is the luma vector in eighth chroma samples.
  const auto predict = [&](uint8_t* destination, int list, int pair) {
    const PackedMV v = QuadrantVector(mb, list, pair);
    const uint8_t* source = planes[list] + mbOffset + blocks[pair].pixelOffset +
                            static_cast<ptrdiff_t>(v.y >> 3) * stride_ + 2 * (v.x >> 3);
    core_->McChromaEighthPel(destination, source, stride_,
                             (static_cast<uint32_t>(v.y & 7) << 16) | static_cast<uint32_t>(v.x & 7));
  };
  for (int i = 0; i < 4; ++i) {
    uint8_t* prediction = predictionChroma_ + 32 * i;
    predict(prediction, first, i);
    if (list0 && list1) {
      predict(secondWorkArea_, 1, i);
      core_->AverageInPlace32(prediction, secondWorkArea_);
    }
  }
  core_->SelectQuantRecord(H264ChromaQp(currentQp_), 2);
  // A macroblock whose luma decimation scored 5 or less loses its chroma residual too.
  CodeChromaResidual(recon, grid, blocks, decimationScore_ > 5);
}

void CMBEncoder_H264::DropChromaResidual(uint8_t* recon, MBInfo*, uint8_t* grid,
                                         const H264BlockEntry* blocks) {
  CodeChromaResidual(recon, grid, blocks, false);
}

}  // namespace orx::venc
