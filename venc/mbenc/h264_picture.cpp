// The H.264 slice layer and picture loop: slices by count or by byte size, slice headers and
// ends, the walk over the macroblocks with the rate controller's quantisers, the choice between
// intra and inter coding, luma decimation, vector prediction with the skip and direct
// decisions, the macroblock layer, QP bookkeeping, border padding of the reconstruction and the
// row notifications of the motion estimator.
//
// Pictures are frame-coded (progressive). Macroblock-pair (MBAFF) pictures and in-loop
// deblocking hook in where marked.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/debug_output.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/h264_mb_tables.h"

namespace orx::venc {
namespace {

constexpr uint32_t kPartitionSearchBits = 0xE;  // bits 1..3 of the motion-search word
constexpr uint32_t kLoopWrittenBits = MBINFO_PATTERN | MBINFO_QUANT | MBINFO_SKIPPED | MBINFO_DIRECT |
                                      (0xFFu << MBINFO_QP_SHIFT);
// Horizontal border of the reconstructed planes, bytes on each side.
constexpr int kBorderBytes = 32;

}  // namespace

void CMBEncoder_H264::EncodePictureBody(CPicture* picture) {
  if (!picture->progressiveFrame && !settings_->progressiveSequence) {
    // Macroblock-pair pictures are coded by the pair loop, which is not built yet.
    platform::DebugOutput("CMBEncoder_H264: macroblock-pair pictures are not coded\n");
    return;
  }
  const int type = picture->pictureType;
  intraMbTypeOffset_ = type == PICTURE_I ? 0 : type == PICTURE_P ? 5 : 23;
  noPartition_ = (static_cast<uint32_t>(settings_->estimatorFlags) & kPartitionSearchBits) == 0;
  // Mode penalties from the picture's average quantiser (1.1 as a single-precision constant).
  const double qAvg = picture->stats.quantiser;
  intra4x4Penalty_ = static_cast<uint32_t>(std::nearbyint(static_cast<double>(1.1f) * qAvg + 4.0)) << 16;
  chromaPenalty_ = static_cast<int>(std::nearbyint(0.75 * qAvg + 3.0));
  colocated_ = type == PICTURE_B && picture->backwardRef != nullptr ? picture->backwardRef->mbInfo : nullptr;
  skipRun_ = 0;
  // (In-loop deblocking is decided here; until it is built no picture is deblocked, and the
  // slice headers say so while the deblocking flag is clear.)
  EncodeFrameRows(picture);
}

void CMBEncoder_H264::StartSlice(CPicture* picture, int row, MBInfo* record, int qp) {
  if (row > 0 || state_.mbX > 0) WriteSliceEnd();
  WriteSliceHeader(picture, row, qp);
  sliceStartRow_ = row;
  sliceStartAddress_ = row * mbw_ + state_.mbX;
  sliceStartRecord_ = record;
  state_.sliceStartColumn = state_.mbX;
  leftBoundary_ = 4 * state_.mbX;
  previousQp_ = sliceQp_;
  skipRun_ = 0;
  sliceHasMacroblock_ = false;
}

void CMBEncoder_H264::EncodeFrameRows(CPicture* picture) {
  const H264SliceLayout& layout = sliceLayout_;
  const bool byCount = layout.mode == kSlicesByCount;
  const int rowsPerSlice = byCount && layout.slices > 0 ? layout.rowsPerSlice : mbh_;
  remainderLeft_ = byCount && layout.slices > 0 ? layout.remainderRows : 0;
  sliceLength_ = rowsPerSlice + (remainderLeft_ > 0 ? 1 : 0);
  const bool repeat = picture->copyMode != COPY_NONE;
  const bool statistics = settings_->statisticsPass != 0;
  const int byteLimit = layout.mode == kSlicesBySize ? layout.byteLimit : 0;

  for (int row = 0; row < mbh_; ++row) {
    state_.mbY = row;
    state_.mbX = 0;
    state_.pixelRow = 16 * row;
    state_.mbRow = picture->mbInfo + static_cast<size_t>(row) * mbw_;
    leftBoundary_ = 0;
    state_.sliceStartColumn = 0;
    const int rowQp = std::clamp(rateControl_->GetRowQuant(&state_), 0, dsp::kH264MaxInternalQp);
    if (byteLimit != 0) limiterEstimate_ = 4 * rateControl_->GetRowBitTarget() / mbw_;
    const bool newSlice = row == 0 || (byCount && row == sliceStartRow_ + sliceLength_);
    if (newSlice) {
      if (row == 0) sliceStartBits_ = 0;
      StartSlice(picture, row, state_.mbRow, rowQp);
      if (remainderLeft_ > 0) {
        --remainderLeft_;
        sliceLength_ = rowsPerSlice + 1;
      } else {
        sliceLength_ = rowsPerSlice;
      }
    }
    currentQp_ = previousQp_;
    for (int column = 0; column < mbw_; ++column) {
      state_.mbX = column;
      MBInfo* mb = state_.mbRow + column;
      rateControl_->UpdateMbQuant(mb, &state_);
      currentQp_ = std::clamp(state_.mbQuant, 0, dsp::kH264MaxInternalQp);
      if (byteLimit != 0 && sliceHasMacroblock_ &&
          GetPictureBits() - sliceStartBits_ + limiterEstimate_ >= 8 * static_cast<int64_t>(byteLimit)) {
        sliceStartBits_ = GetPictureBits();
        StartSlice(picture, row, mb, currentQp_);
      }
      CodeMacroblock(picture, mb, row, column);
    }
    // A repeat picture is coded like any other, so its reconstruction (which its reference
    // shares) changes and its borders must follow; only the estimator does not hear of it.
    PadRow(picture, row);
    if (!repeat && rowListener_ != nullptr) rowListener_->DecimateRow(picture, row);
  }
  WriteSliceEnd();
  if (statistics) {
    for (int row = 0; row < mbh_; ++row) {
      for (int column = 0; column < mbw_; ++column) AccumulateReconStats(picture, column, row);
    }
  }
}

void CMBEncoder_H264::CodeMacroblock(CPicture* picture, MBInfo* mb, int row, int column) {
  const int address = row * mbw_ + column;
  aboveAvailable_ = address >= sliceStartAddress_ + mbw_;
  aboveRightAvailable_ = address > sliceStartAddress_ + mbw_ - 2 && column + 1 < mbw_;
  aboveLeftAvailable_ = address > sliceStartAddress_ + mbw_ && column > state_.sliceStartColumn;
  leftAvailable_ = 4 * column > leftBoundary_;

  mb->flags &= ~kLoopWrittenBits;
  // Every inter macroblock of a P picture predicts from list 0; a B macroblock without a list
  // predicts forward.
  if (!(mb->flags & MBINFO_INTRA)) {
    if (pictureType_ == PICTURE_P) {
      mb->flags = (mb->flags & ~MBINFO_BACKWARD) | MBINFO_FORWARD;
    } else if (!(mb->flags & MBINFO_BIDIRECTIONAL)) {
      mb->flags |= MBINFO_FORWARD;
    }
  }

  const ptrdiff_t lumaOffset = static_cast<ptrdiff_t>(16 * row) * stride_ + 16 * column;
  const ptrdiff_t chromaOffset = static_cast<ptrdiff_t>(8 * row) * stride_ + 16 * column;
  state_.srcLuma = picture->srcLuma + lumaOffset;
  state_.srcChroma = picture->srcChroma + chromaOffset;
  uint8_t* reconLuma = picture->reconLuma + lumaOffset;
  uint8_t* reconChroma = picture->reconChroma + chromaOffset;
  uint8_t* lumaGrid = lumaGrid_ + 2 * (16 * static_cast<ptrdiff_t>(row) * mbw_ + 4 * column);
  uint8_t* chromaGrid = chromaGrid_ + 2 * (8 * static_cast<ptrdiff_t>(row) * mbw_ + 4 * column);
  const H264BlockEntry* lumaBlocks = lumaBlocks_[0];
  const H264BlockEntry* chromaBlocks = chromaBlocks_[0];

  if (mb->flags & MBINFO_INTRA) {
    const int q = kH264IntraQpTable[currentQp_];
    const int threshold = q < 10 ? 16 * (q + 1) : 18 * q + 16;
    if (mb->intraActivity - 3 * mb->minBlockDeviation <= threshold) {
      mb->flags |= MBINFO_PATTERN;
      CodeIntra16x16MB(reconLuma, mb, lumaGrid, lumaBlocks);
    } else {
      CodeIntra4x4MB(reconLuma, mb, lumaGrid, lumaBlocks);
    }
    CodeIntraChroma(reconChroma, mb, chromaGrid, chromaBlocks);
  } else {
    CodeInterLuma(reconLuma, mb, lumaGrid, lumaBlocks);
    decimationScore_ = 9999;
    const bool lumaCoded = (luma8x8Count_[0] | luma8x8Count_[1] | luma8x8Count_[2] | luma8x8Count_[3]) != 0;
    if (!settings_->decimationOff && lumaCoded) {
      uint32_t mask = 0;
      decimationScore_ = DecimateBlocks(mb, lumaGrid, lumaBlocks, &mask);
      if (decimationScore_ <= 5) mask = 0xF;
      if (mask != 0) DropLumaQuadrants(reconLuma, mb, lumaGrid, lumaBlocks, 0, mask);
    }
    CodeInterChroma(reconChroma, mb, chromaGrid, chromaBlocks);
    if (pictureType_ == PICTURE_B) {
      PredictMvB(mb);
    } else if (noPartition_) {
      PredictMvP16x16(mb);
    } else {
      PredictMvPartitions(mb);
    }
  }

  if (mb->flags & MBINFO_SKIPPED) {
    ++skipRun_;
  } else {
    WriteMBResidual(mb, lumaGrid, chromaGrid, 1, lumaBlocks, chromaBlocks);
    skipRun_ = 0;
    // The CAVLC coder bypasses the flush of PutBits.
    if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
  }
  sliceHasMacroblock_ = true;
  if (!(mb->flags & MBINFO_QUANT)) currentQp_ = previousQp_;
  previousQp_ = currentQp_;
  mb->flags |= static_cast<uint32_t>(currentQp_) << MBINFO_QP_SHIFT;
  rateControl_->AccumulateMb(mb);
}

void CMBEncoder_H264::PadRow(CPicture* picture, int row) {
  const int width = 16 * mbw_;
  uint8_t* luma = picture->reconLuma + static_cast<ptrdiff_t>(16 * row) * stride_;
  uint8_t* chroma = picture->reconChroma + static_cast<ptrdiff_t>(8 * row) * stride_;
  core_->PadBordersHorizontal(luma, width, stride_, 16);
  core_->PadChromaBordersHorizontal(chroma, width, stride_, 8);
  const int padRows = settings_->padY;
  if (padRows <= 0) return;
  const int length = width + 2 * kBorderBytes;
  if (row == 0) {
    uint8_t* top = picture->reconLuma - kBorderBytes;
    core_->PadBordersVertical(top - static_cast<ptrdiff_t>(padRows) * stride_, top, length, padRows,
                              stride_ - length);
    uint8_t* chromaTop = picture->reconChroma - kBorderBytes;
    core_->PadBordersVertical(chromaTop - static_cast<ptrdiff_t>(padRows / 2) * stride_, chromaTop, length,
                              padRows / 2, stride_ - length);
  }
  if (row == mbh_ - 1) {
    uint8_t* last = luma + 15 * static_cast<ptrdiff_t>(stride_) - kBorderBytes;
    core_->PadBordersVertical(last + stride_, last, length, padRows, stride_ - length);
    uint8_t* chromaLast = chroma + 7 * static_cast<ptrdiff_t>(stride_) - kBorderBytes;
    core_->PadBordersVertical(chromaLast + stride_, chromaLast, length, padRows / 2, stride_ - length);
  }
}

void CMBEncoder_H264::WriteSliceHeader(CPicture* picture, int firstRow, int sliceQp) {
  const int type = picture->pictureType;
  const bool idr = type == PICTURE_I && picture->gopStart && picture->closedGop;
  const bool progressive = settings_->progressiveSequence != 0;
  WriteNalHeader(idr ? 3 : type == PICTURE_B ? 0 : 2, idr ? 5 : 1);
  PutUe(static_cast<uint32_t>(mbw_ * firstRow + state_.mbX));
  static constexpr uint32_t kSliceType[4] = {2, 2, 0, 1};
  PutUe(kSliceType[type & 3] + (settings_->h264SliceTypeOption ? 0 : 5));
  PutUe(0);  // pic_parameter_set_id
  PutBits((frameNumber_ + (type == PICTURE_B ? 1 : 0)) & 15, 4);
  if (!progressive) PutBits(0, 1);  // field_pic_flag
  if (idr) PutUe(static_cast<uint32_t>(picture->displayNumber & 1));
  PutBits(static_cast<uint32_t>(2 * picture->temporalReference) & 63, 6);
  if (!progressive) {
    // delta_pic_order_cnt_bottom: a frame of two fields puts the second field one step later.
    PutSe(picture->progressiveFrame ? 0 : picture->topFieldFirst ? 1 : -1);
  }
  if (type == PICTURE_B) PutBits(1, 1);  // direct_spatial_mv_pred_flag
  if (type != PICTURE_I) PutBits(0, 1);  // num_ref_idx_active_override_flag
  if (type != PICTURE_I) PutBits(0, 1);  // ref_pic_list_reordering_flag_l0
  if (type == PICTURE_B) PutBits(0, 1);  // ref_pic_list_reordering_flag_l1
  if (idr) {
    PutBits(0, 1);  // no_output_of_prior_pics_flag
    PutBits(0, 1);  // long_term_reference_flag
  } else if (type != PICTURE_B) {
    PutBits(0, 1);  // adaptive_ref_pic_marking_mode_flag
  }
  sliceQp_ = sliceQp;
  PutSe(sliceQp - kH264InitialQpBase);
  if (!settings_->loopFilter) PutUe(1);  // disable_deblocking_filter_idc
}

void CMBEncoder_H264::WriteSliceEnd() {
  if (pictureType_ != PICTURE_I && skipRun_ > 0) PutUe(static_cast<uint32_t>(skipRun_));
  skipRun_ = 0;
  WriteTrailingBits();
}

}  // namespace orx::venc
