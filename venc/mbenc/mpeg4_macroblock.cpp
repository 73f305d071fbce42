// The MPEG-4 Part 2 macroblock layer (not_coded, MCBPC/CBPY or the B-VOP codes, dquant and
// dbquant, dct_type, vectors against their predictors, blocks) and the H.263 quantisation
// class's intra coding and reconstruction.
#include <cstdlib>

#include "venc/mbenc/mb_encoder_mpeg4.h"

namespace orx::venc {
namespace {

int PatternBit(int b) { return 0x20 >> b; }

}  // namespace

void CMBEncoder_MPEG4::WriteMacroblock(MBInfo* mb, int cbp, int mbX) {
  const CPicture& picture = *state_.picture;
  const bool intra = (mb->flags & MBINFO_INTRA) != 0;
  if (pictureType_ == PICTURE_P) {
    if (!intra && !(mb->flags & MBINFO_FORWARD)) {
      mb->flags |= MBINFO_FORWARD;
      mb->mv[0].forward = PackedMV{};
    }
    WriteNotCodedRun(notCoded_);
  }

  // Direct: a B macroblock without coefficients whose vectors the co-located vector gives,
  // scaled by the distances, up to a delta that fits the direct range.
  if (pictureType_ == PICTURE_B && cbp == 0 && (mb->flags & MBINFO_BIDIRECTIONAL) == MBINFO_BIDIRECTIONAL) {
    const MBInfo& colocated = colocated_[mb - picture.mbInfo];
    const PackedMV mv = (colocated.flags & MBINFO_INTRA) ? PackedMV{} : colocated.mv[0].forward;
    const int trb = picture.displayNumber - picture.forwardRef->displayNumber;
    const int trd = picture.backwardRef->displayNumber - picture.forwardRef->displayNumber;
    const PackedMV forward = mb->mv[0].forward;
    const int mvfx = trb * mv.x / trd, mvfy = trb * mv.y / trd;
    const int dx = forward.x - mvfx, dy = forward.y - mvfy;
    if (trd > 0 && dx >= -32 && dx <= 31 && dy >= -31 && dy <= 31) {
      const int mvbx = dx == 0 ? (trb - trd) * mv.x / trd : forward.x - mv.x;
      const int mvby = dy == 0 ? (trb - trd) * mv.y / trd : forward.y - mv.y;
      if (mvbx == mb->mv[0].backward.x && mvby == mb->mv[0].backward.y) {
        mb->flags |= MBINFO_DIRECT;
        directDelta_ = PackedMV{static_cast<int16_t>(dx), static_cast<int16_t>(dy)};
        if (dx == 0 && dy == 0) mb->flags &= ~MBINFO_BIDIRECTIONAL;
      }
    }
  }
  if (pictureType_ == PICTURE_B && cbp == 0) mb->flags &= ~MBINFO_QUANT;
  const uint32_t flags = mb->flags;

  WriteMbTypeAndPattern(pictureType_, flags, cbp);

  const int change = state_.mbQuant - state_.lastQuant;
  if (pictureType_ != PICTURE_B) {
    if (flags & MBINFO_QUANT) PutBitsFast(kDquantCode[change + 2], 2);
  } else if (cbp != 0) {
    if (change == 0) {
      PutBitsFast(0, 1);
    } else {
      PutBitsFast(change < 0 ? 2 : 3, 2);
    }
  }

  if (!settings_->progressiveSequence) {
    if (intra || cbp != 0) PutBitsFast((flags & MBINFO_FIELD) ? 1 : 0, 1);
    if (!intra && !(flags & MBINFO_DIRECT)) PutBitsFast(0, 1);  // field_prediction: never chosen
  }

  if (pictureType_ == PICTURE_B) {
    if (flags & MBINFO_DIRECT) {
      if (flags & MBINFO_BIDIRECTIONAL) {
        WriteMotionCode(directDelta_.x, 2);
        WriteMotionCode(directDelta_.y, 2);
      }
    } else {
      if (flags & MBINFO_FORWARD) {
        const PackedMV v = mb->mv[0].forward;
        WriteMotionCode(v.x - state_.forwardPredictor.x, vopFCodeForward_ + 1);
        WriteMotionCode(v.y - state_.forwardPredictor.y, vopFCodeForward_ + 1);
        state_.forwardPredictor = v;
      }
      if (flags & MBINFO_BACKWARD) {
        const PackedMV v = mb->mv[0].backward;
        WriteMotionCode(v.x - state_.backwardPredictor.x, vopFCodeBackward_ + 1);
        WriteMotionCode(v.y - state_.backwardPredictor.y, vopFCodeBackward_ + 1);
        state_.backwardPredictor = v;
      }
    }
  } else if (pictureType_ == PICTURE_P && !intra) {
    MBVectorPair candidates[3] = {};
    MedianCandidates(mb, mbX, MBINFO_FORWARD, &candidates[0].forward, &candidates[1].forward,
                     &candidates[2].forward);
    WriteMotionVectorMedian(&mb->mv[0].forward, &candidates[0].forward, &candidates[1].forward,
                            &candidates[2].forward, 0, vopFCodeForward_ + 1, vopFCodeForward_ + 1);
  }

  if (intra) {
    static constexpr int kComponent[6] = {0, 0, 0, 0, 1, 2};
    for (int b = 0; b < 6; ++b) {
      WriteIntraBlockMpeg4(blockLevels_[b], blockScan_[b], blockLast_[b],
                           coefficients_[64 * b] - dcPredictor_[b], kComponent[b]);
    }
  } else {
    for (int b = 0; b < 6; ++b) {
      if (cbp & PatternBit(b)) state_.lastPosition[b] = WriteInterBlock(coefficients_ + 64 * b);
    }
  }
  if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
}

// ---- H.263 quantisation ----

int CMBEncoder_MPEG4_H263::CodeIntraMB(MBInfo* mb) { return CodeIntra(mb, true); }

void CMBEncoder_MPEG4_H263::ReconstructIntraMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb) {
  core_->SelectIntraDequantizer(CurrentQuantIndex());
  const bool acPrediction = (mb->flags & MBINFO_AC_PRED) != 0;
  for (int b = 0; b < 6; ++b) {
    int16_t* block = coefficients_ + 64 * b;
    if (!acPrediction && state_.lastPosition[b] == 0) {
      core_->ReconstructIntraDcOnly(block, b);
      continue;
    }
    core_->DequantizeIntraH263(block, b, state_.mbQuant);
    core_->InverseDct(block);
  }
  StoreIntraBlocks(dstLuma, dstChroma, coefficients_, stride_, UsesFieldDct(mb->flags));
}

void CMBEncoder_MPEG4_H263::ReconstructInterMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb,
                                               int cbp) {
  core_->SelectInterDequantizer(CurrentQuantIndex());
  for (int b = 0; b < 6; ++b) {
    if (!(cbp & PatternBit(b))) continue;
    int16_t* block = coefficients_ + 64 * b;
    core_->DequantizeInterH263(block, state_.mbQuant);
    core_->InverseDct(block);
  }
  AddInterBlocks(dstLuma, dstChroma, coefficients_, stride_, UsesFieldDct(mb->flags), cbp);
}

}  // namespace orx::venc
