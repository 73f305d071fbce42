// Macroblock coding and reconstruction of MPEG-1 and MPEG-2: which core operations run, with
// which quantiser records, strides and thresholds. All pixel work is the core's.
//
// MPEG-1 levels stay within -255..255 at every quantiser (its escape carries no more): the
// clip-255 quantisers run at every quantiser, and below 5 a level that would pass 255 raises
// the macroblock quantiser instead.
#include <algorithm>
#include <cstring>

#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace orx::venc {
namespace {

constexpr int kRetryQuantiserLimit = 5;

int16_t* Block(int16_t* coefficients, int b) { return coefficients + 64 * b; }

// Bit of block b (0 = Y0 .. 5 = Cr) in a coded block pattern.
int PatternBit(int b) { return 0x20 >> b; }

}  // namespace

CMBEncoder_MPEG1::LumaBlockLayout CMBEncoder_MPEG1::LumaLayout(int stride, bool fieldDct) {
  if (fieldDct) return {{0, 8, stride, stride + 8}, 2 * stride};
  return {{0, 8, 8 * stride, 8 * stride + 8}, stride};
}

int CMBEncoder_MPEG1::RaisedQuantiser(int q, int largestLevel, bool rowMode) {
  const int scaled = rowMode ? (q * largestLevel + 128) / 255 : q * largestLevel / 255;
  return std::min(kRetryQuantiserLimit, std::max(q + 1, scaled));
}

// ---- MPEG-1 coding ----

int CMBEncoder_MPEG1::QuantizeIntraWithRetry(bool rowMode) {
  for (;;) {
    const int q = state_.mbQuant;
    core_->SelectQuantizer(CurrentQuantIndex(), true);
    bool retry = false;
    for (int b = 0; b < 6 && !retry; ++b) {
      const int largest = core_->QuantizeClip255(Block(coefficients2_, b), Block(coefficients_, b));
      if (largest > 255 && q < kRetryQuantiserLimit) {
        state_.mbQuant = RaisedQuantiser(q, largest, rowMode);
        retry = true;
      }
    }
    if (!retry) return 63;
  }
}

int CMBEncoder_MPEG1::QuantizeInterWithRetry(bool rowMode, int formedBlocks) {
  for (;;) {
    const int q = state_.mbQuant;
    core_->SelectQuantizer(CurrentQuantIndex(), false);
    int cbp = 0;
    bool retry = false;
    for (int b = 0; b < 6 && !retry; ++b) {
      if (!(formedBlocks & PatternBit(b))) continue;
      int largest = 0;
      if (core_->QuantizeInterClip255(Block(coefficients2_, b), Block(coefficients_, b), &largest)) {
        cbp |= PatternBit(b);
      }
      if (largest > 255 && q < kRetryQuantiserLimit) {
        state_.mbQuant = RaisedQuantiser(q, largest, rowMode);
        retry = true;
      }
    }
    if (!retry) return cbp;
  }
}

int CMBEncoder_MPEG1::CodeIntraMpeg1(const uint8_t* srcLuma, const uint8_t* srcChroma, int stride,
                                     bool rowMode) {
  const LumaBlockLayout luma = LumaLayout(stride, false);
  for (int b = 0; b < 4; ++b) {
    core_->LoadBlock(Block(coefficients2_, b), srcLuma + luma.offset[b], luma.step);
  }
  core_->LoadChromaPair(Block(coefficients2_, 4), srcChroma, stride);
  for (int b = 0; b < 6; ++b) core_->ForwardDct(Block(coefficients2_, b));
  if (!rowMode && state_.mbQuant >= kRetryQuantiserLimit) {
    core_->SelectQuantizer(CurrentQuantIndex(), true);
    for (int b = 0; b < 6; ++b) core_->ApplyDeadZone(Block(coefficients2_, b));
  }
  return QuantizeIntraWithRetry(rowMode);
}

int CMBEncoder_MPEG1::CodeInterMpeg1(const MBInfo* mb, const uint8_t* srcLuma,
                                     const uint8_t* srcChroma, int stride, bool rowMode) {
  const int threshold = state_.interThreshold;
  const bool lowQuantiser = state_.mbQuant < kRetryQuantiserLimit;
  // Below 5 the picture-at-a-time mode forms every residual (a retry may need them all).
  const bool formAll = lowQuantiser && !rowMode;
  const bool skipLuma = !formAll && mb->interCost < threshold;
  const LumaBlockLayout luma = LumaLayout(stride, false);
  const LumaBlockLayout prediction = LumaLayout(16, false);
  int formed = 0;
  if (!skipLuma) {
    for (int b = 0; b < 4; ++b) {
      const bool significant = core_->SubtractBlock(
          Block(coefficients2_, b), srcLuma + luma.offset[b],
          currentPredLuma_ + prediction.offset[b], luma.step, prediction.step, threshold);
      if (significant || formAll) formed |= PatternBit(b);
    }
  }
  const int chroma = core_->SubtractChromaPair(Block(coefficients2_, 4), srcChroma,
                                               currentPredChroma_, stride, 16, threshold);
  if ((chroma & 2) || formAll) formed |= PatternBit(4);
  if ((chroma & 1) || formAll) formed |= PatternBit(5);
  for (int b = 0; b < 6; ++b) {
    if (formed & PatternBit(b)) core_->ForwardDct(Block(coefficients2_, b));
  }
  if (!rowMode && !lowQuantiser) {
    core_->SelectQuantizer(CurrentQuantIndex(), false);
    for (int b = 0; b < 6; ++b) {
      if (formed & PatternBit(b)) core_->ApplyDeadZone(Block(coefficients2_, b));
    }
  }
  return QuantizeInterWithRetry(rowMode, formed);
}

int CMBEncoder_MPEG1::CodeIntraMB(MBInfo*) {
  return CodeIntraMpeg1(state_.srcLuma, state_.srcChroma, stride_, false);
}

int CMBEncoder_MPEG1::CodeInterMB(MBInfo* mb) {
  return CodeInterMpeg1(mb, state_.srcLuma, state_.srcChroma, stride_, false);
}

int CMBEncoder_MPEG1::CodeReconstructIntraMB(MBInfo*, const uint8_t* srcLuma,
                                             const uint8_t* srcChroma) {
  return CodeIntraMpeg1(srcLuma, srcChroma, 16, true);
}

int CMBEncoder_MPEG1::CodeReconstructInterMB(MBInfo* mb, const uint8_t* srcLuma,
                                             const uint8_t* srcChroma) {
  return CodeInterMpeg1(mb, srcLuma, srcChroma, 16, true);
}

// ---- MPEG-2 coding ----

int CMBEncoder_MPEG2::CodeIntra(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma,
                                int stride, bool deadZone) {
  core_->SelectQuantizer(CurrentQuantIndex(), true);
  const LumaBlockLayout luma = LumaLayout(stride, UsesFieldDct(mb->flags));
  // A flat macroblock keeps only the DC of its luma blocks.
  if (mb->intraActivity <= 3 * mb->minBlockDeviation + state_.rowThreshold) {
    core_->CodeIntraDcOnlyPair(Block(coefficients_, 0), srcLuma + luma.offset[0], luma.step);
    core_->CodeIntraDcOnlyPair(Block(coefficients_, 2), srcLuma + luma.offset[2], luma.step);
  } else {
    for (int b = 0; b < 4; ++b) {
      int16_t* block = Block(coefficients_, b);
      core_->LoadBlock(block, srcLuma + luma.offset[b], luma.step);
      core_->ForwardDct(block);
      if (deadZone) core_->ApplyDeadZone(block);
      core_->QuantizeClip2047(block);
    }
  }
  core_->LoadChromaPair(Block(coefficients_, 4), srcChroma, stride);
  for (int b = 4; b < 6; ++b) {
    int16_t* block = Block(coefficients_, b);
    core_->ForwardDct(block);
    if (deadZone) core_->ApplyDeadZone(block);
    core_->QuantizeClip2047(block);
  }
  return 63;
}

int CMBEncoder_MPEG2::CodeInter(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma,
                                int stride, bool deadZone, bool skipAtThreshold) {
  core_->SelectQuantizer(CurrentQuantIndex(), false);
  const int threshold = state_.interThreshold;
  const bool field = UsesFieldDct(mb->flags);
  const LumaBlockLayout luma = LumaLayout(stride, field);
  const LumaBlockLayout prediction = LumaLayout(16, field);
  const auto codeBlock = [&](int b) {
    int16_t* block = Block(coefficients_, b);
    core_->ForwardDct(block);
    if (deadZone) core_->ApplyDeadZone(block);
    return core_->QuantizeInterClip2047(block) ? PatternBit(b) : 0;
  };
  int cbp = 0;
  const bool skipLuma =
      skipAtThreshold ? mb->interCost <= threshold : mb->interCost < threshold;
  if (!skipLuma) {
    for (int b = 0; b < 4; ++b) {
      if (core_->SubtractBlock(Block(coefficients_, b), srcLuma + luma.offset[b],
                               currentPredLuma_ + prediction.offset[b], luma.step,
                               prediction.step, threshold)) {
        cbp |= codeBlock(b);
      }
    }
  }
  const int chroma = core_->SubtractChromaPair(Block(coefficients_, 4), srcChroma,
                                               currentPredChroma_, stride, 16, threshold);
  if (chroma & 2) cbp |= codeBlock(4);
  if (chroma & 1) cbp |= codeBlock(5);
  return cbp;
}

int CMBEncoder_MPEG2::CodeIntraMB(MBInfo* mb) {
  return CodeIntra(mb, state_.srcLuma, state_.srcChroma, stride_, true);
}

int CMBEncoder_MPEG2::CodeInterMB(MBInfo* mb) {
  return CodeInter(mb, state_.srcLuma, state_.srcChroma, stride_, true, true);
}

int CMBEncoder_MPEG2::CodeReconstructIntraMB(MBInfo* mb, const uint8_t* srcLuma,
                                             const uint8_t* srcChroma) {
  return CodeIntra(mb, srcLuma, srcChroma, 16, false);
}

int CMBEncoder_MPEG2::CodeReconstructInterMB(MBInfo* mb, const uint8_t* srcLuma,
                                             const uint8_t* srcChroma) {
  return CodeInter(mb, srcLuma, srcChroma, 16, false, false);
}

// ---- reconstruction ----

void CMBEncoder_MPEG1::DequantizeIntraBlocks() {
  core_->SelectIntraDequantizer(CurrentQuantIndex());
  for (int b = 0; b < 6; ++b) {
    int16_t* block = Block(coefficients_, b);
    if (state_.lastPosition[b] == 0) {
      core_->ReconstructIntraDcOnly(block, b);
      continue;
    }
    if (isMpeg2Slots_) {
      core_->DequantizeIntraMpeg2(block, b);
    } else {
      core_->DequantizeIntraMpeg1(block);
    }
    core_->InverseDct(block);
  }
}

void CMBEncoder_MPEG1::DequantizeInterBlocks(int cbp) {
  core_->SelectInterDequantizer(CurrentQuantIndex());
  for (int b = 0; b < 6; ++b) {
    if (!(cbp & PatternBit(b))) continue;
    int16_t* block = Block(coefficients_, b);
    if (!isMpeg2Slots_) {
      core_->DequantizeInterMpeg1(block);
      core_->InverseDct(block);
    } else if (state_.lastPosition[b] != 0) {
      core_->DequantizeInterMpeg2(block);
      core_->InverseDct(block);
    } else {
      core_->ReconstructInterDcOnly(block);
    }
  }
}

void CMBEncoder_MPEG1::StoreIntraBlocks(uint8_t* dstLuma, uint8_t* dstChroma,
                                        const int16_t* coefficients, int stride, bool fieldDct) {
  const LumaBlockLayout luma = LumaLayout(stride, fieldDct);
  core_->StoreBlockPair(dstLuma + luma.offset[0], coefficients, luma.step);
  core_->StoreBlockPair(dstLuma + luma.offset[2], coefficients + 128, luma.step);
  core_->StoreChromaPair(dstChroma, coefficients + 256, stride);
}

void CMBEncoder_MPEG1::AddInterBlocks(uint8_t* dstLuma, uint8_t* dstChroma,
                                      const int16_t* coefficients, int stride, bool fieldDct,
                                      int cbp) {
  const LumaBlockLayout luma = LumaLayout(stride, fieldDct);
  const LumaBlockLayout prediction = LumaLayout(16, fieldDct);
  for (int pair = 0; pair < 2; ++pair) {
    const int bits = (cbp >> (4 - 2 * pair)) & 3;
    uint8_t* dst = dstLuma + luma.offset[2 * pair];
    const uint8_t* pred = currentPredLuma_ + prediction.offset[2 * pair];
    if (bits) {
      core_->AddBlockPair(dst, pred, coefficients + 128 * pair, luma.step, prediction.step, bits);
    } else {
      core_->Copy16x16(dst, pred, luma.step, prediction.step);
    }
  }
  if (cbp & 3) {
    core_->AddChromaPair(dstChroma, currentPredChroma_, coefficients + 256, stride, 16, cbp & 3);
  } else {
    core_->Copy16x16(dstChroma, currentPredChroma_, stride, 16);
  }
}

void CMBEncoder_MPEG1::ReconstructIntraMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb) {
  DequantizeIntraBlocks();
  StoreIntraBlocks(dstLuma, dstChroma, coefficients_, stride_, UsesFieldDct(mb->flags));
}

void CMBEncoder_MPEG1::ReconstructInterMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb,
                                          int cbp) {
  DequantizeInterBlocks(cbp);
  AddInterBlocks(dstLuma, dstChroma, coefficients_, stride_, UsesFieldDct(mb->flags), cbp);
}

void CMBEncoder_MPEG1::StoreReconIntra(uint8_t* dstLuma, uint8_t* dstChroma,
                                       const int16_t* coefficients, uint32_t flags) {
  StoreIntraBlocks(dstLuma, dstChroma, coefficients, 16, UsesFieldDct(flags));
}

void CMBEncoder_MPEG1::StoreReconInter(uint8_t* dstLuma, uint8_t* dstChroma,
                                       const int16_t* coefficients, uint32_t flags, int cbp) {
  AddInterBlocks(dstLuma, dstChroma, coefficients, 16, UsesFieldDct(flags), cbp);
}

// ---- prediction ----

void CMBEncoder_MPEG1::PredictMB(int mbX, const MBInfo* mb) {
  CPicture* picture = state_.picture;
  uint8_t* prediction[2] = {currentPredLuma_, currentPredChroma_};
  const int x = 16 * mbX;
  const int y = state_.pixelRow;
  const bool forward = (mb->flags & MBINFO_FORWARD) != 0;
  const bool backward = (mb->flags & MBINFO_BACKWARD) != 0;
  if (forward && backward) {
    uint8_t* first[2] = {picture->forwardRef->reconLuma, picture->forwardRef->reconChroma};
    uint8_t* second[2] = {picture->backwardRef->reconLuma, picture->backwardRef->reconChroma};
    const PackedMV f = mb->mv[0].forward;
    const PackedMV b = mb->mv[0].backward;
    core_->MotionCompensateMBBidir(first, second, prediction, stride_, x, y, f.x, f.y, b.x, b.y);
  } else if (backward) {
    uint8_t* reference[2] = {picture->backwardRef->reconLuma, picture->backwardRef->reconChroma};
    const PackedMV b = mb->mv[0].backward;
    core_->MotionCompensateMB(reference, prediction, stride_, x, y, b.x, b.y);
  } else {
    // Forward, or a P macroblock without motion compensation, which uses the zero vector.
    uint8_t* reference[2] = {picture->forwardRef->reconLuma, picture->forwardRef->reconChroma};
    const PackedMV f = forward ? mb->mv[0].forward : PackedMV{};
    core_->MotionCompensateMB(reference, prediction, stride_, x, y, f.x, f.y);
  }
}

}  // namespace orx::venc
