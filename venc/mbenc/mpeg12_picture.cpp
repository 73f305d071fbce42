// The MPEG-1/2 picture loops: one slice per macroblock row, quantisers from the rate
// controller, the coding slots, the skip decision, the macroblock writer and the
// reconstruction of the pictures that are referenced (or measured).
#include <cstring>

#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace orx::venc {
namespace {

void ClearAcCoefficients(int16_t* coefficients) {
  for (int b = 0; b < 6; ++b) std::memset(coefficients + 64 * b + 1, 0, 63 * sizeof(int16_t));
}

}  // namespace

void CMBEncoder_MPEG1::ResetDcPredictors() {
  for (int32_t& predictor : state_.dcPredictor) predictor = dcResetValue_;
}

void CMBEncoder_MPEG1::ResetVectorPredictors() {
  state_.forwardPredictor = PackedMV{};
  state_.backwardPredictor = PackedMV{};
}

bool CMBEncoder_MPEG1::ReconstructsPicture(const CPicture* picture) const {
  if (picture->copyMode != COPY_NONE) return false;
  if (settings_->pictureCallback != nullptr) return true;
  const int n = settings_->gopLength;
  return (picture->pictureType == PICTURE_I && n > 1) || (picture->pictureType == PICTURE_P && n > 2);
}

void CMBEncoder_MPEG1::StartRow(CPicture* picture) {
  const int q = rateControl_->GetRowQuant(&state_);
  state_.lastQuant = q;
  WriteSliceHeader(state_.mbY, q);
  state_.mbQuant = q;
  state_.addressIncrement = 1;
  dcResetValue_ = 128 << picture->intraDcPrecision;
  ResetDcPredictors();
  ResetVectorPredictors();
}

int CMBEncoder_MPEG1::FinishMacroblockCoding(MBInfo* mb, int cbp) {
  if (!(mb->flags & MBINFO_INTRA) && cbp != 0) mb->flags |= MBINFO_PATTERN;
  if (cbp != 0 && state_.mbQuant != state_.lastQuant) mb->flags |= MBINFO_QUANT;
  return cbp;
}

void CMBEncoder_MPEG1::WriteOrSkip(MBInfo* mb, int cbp, int mbX) {
  const bool intra = (mb->flags & MBINFO_INTRA) != 0;
  if (cbp == 0 && CanSkipMB(mb, mbX)) {
    ++state_.addressIncrement;
    if (pictureType_ == PICTURE_P) {
      ResetDcPredictors();
      ResetVectorPredictors();
    }
    return;
  }
  WriteMacroblock(mb, cbp, mbX);
  state_.addressIncrement = 1;
  if (mb->flags & MBINFO_QUANT) state_.lastQuant = state_.mbQuant;
  if (!intra) ResetDcPredictors();
  if (intra || (pictureType_ == PICTURE_P && !(mb->flags & MBINFO_FORWARD))) ResetVectorPredictors();
}

bool CMBEncoder_MPEG1::CanSkipMB(const MBInfo* mb, int mbX) const {
  // Every slice starts and ends with a coded macroblock.
  if (mbX == 0 || mbX == mbw_ - 1) return false;
  if (mb->flags & MBINFO_INTRA) return false;
  if (pictureType_ == PICTURE_P) return !(mb->flags & MBINFO_FORWARD);
  if (pictureType_ != PICTURE_B) return false;
  // A skipped B macroblock repeats the prediction of the one to its left.
  const MBInfo& left = mb[-1];
  constexpr uint32_t kMode = MBINFO_INTRA | MBINFO_FORWARD | MBINFO_BACKWARD;
  if ((mb->flags & kMode) != (left.flags & kMode)) return false;
  if ((mb->flags & MBINFO_FORWARD) && !(mb->mv[0].forward == left.mv[0].forward)) return false;
  if ((mb->flags & MBINFO_BACKWARD) && !(mb->mv[0].backward == left.mv[0].backward)) return false;
  return true;
}

EncAccJob CMBEncoder_MPEG1::PredictionJob(CPicture* picture, int row) const {
  EncAccJob job{};
  job.pictureId = static_cast<uint16_t>(picture->sourceBufferIndex);
  job.kind = ACC_JOB_PREDICTION;
  job.tag = static_cast<uint16_t>(row * mbw_);
  job.count = static_cast<uint16_t>(mbw_);
  job.state = ACC_JOB_POSTED;
  job.mbInfo = picture->mbInfo;
  return job;
}

bool CMBEncoder_MPEG1::PostPredictionJob(CPicture* picture, int row) {
  const EncAccJob job = PredictionJob(picture, row);
  return accelerator_->PostJob(&job);
}

void CMBEncoder_MPEG1::WaitPredictionJob(CPicture* picture, int row) {
  EncAccJob job = PredictionJob(picture, row);
  accelerator_->WaitJob(&job);
}

bool CMBEncoder_MPEG1::StartMcpJobs(CPicture* picture) {
  if (accelerator_ == nullptr || predictionWorkers_ == 0) return false;
  AccConfig config{};
  SetAccBufferIndices(*picture, &config);
  config.codedWidth = static_cast<uint32_t>(codedWidth_);
  config.codedHeight = static_cast<uint32_t>(codedHeight_);
  config.stride = static_cast<uint32_t>(stride_);
  config.mbCols = static_cast<uint32_t>(mbw_);
  config.mbRows = static_cast<uint32_t>(mbh_);
  config.pictureType = static_cast<uint8_t>(picture->pictureType);
  config.constantOne = 1;
  config.evenRowPredLuma = rowPredictionLuma_[0];
  config.evenRowPredChroma = rowPredictionChroma_[0];
  accelerator_->ConfigureMCP(&config);
  firstRowPosted_ = PostPredictionJob(picture, 0);
  return true;
}

void CMBEncoder_MPEG1::EncodePictureBody(CPicture* picture) {
  blockOrderedPicture_ = false;
  const bool code = picture->copyMode == COPY_NONE;
  const bool statistics = settings_->pictureCallback != nullptr;
  const bool reconstruct = ReconstructsPicture(picture);
  const bool interPicture = picture->pictureType == PICTURE_P || picture->pictureType == PICTURE_B;
  const bool accelerated = interPicture && StartMcpJobs(picture);
  bool rowPosted = accelerated && firstRowPosted_;

  for (int row = 0; row < mbh_; ++row) {
    state_.mbY = row;
    state_.pixelRow = 16 * row;
    state_.mbRow = picture->mbInfo + static_cast<size_t>(row) * mbw_;
    StartRow(picture);

    // The accelerator predicts one row ahead into the buffer pair of the row's parity; a row
    // whose job could not be posted is predicted here.
    bool rowPredicted = false;
    if (accelerated) {
      const bool nextPosted = row + 1 < mbh_ && PostPredictionJob(picture, row + 1);
      if (rowPosted) {
        WaitPredictionJob(picture, row);
        rowPredicted = true;
      }
      rowPosted = nextPosted;
    }
    currentPredLuma_ = rowPredicted ? rowPredictionLuma_[row & 1] : predictionLuma_;
    currentPredChroma_ = rowPredicted ? rowPredictionChroma_[row & 1] : predictionChroma_;

    const size_t lumaRow = static_cast<size_t>(16 * row) * stride_;
    const size_t chromaRow = static_cast<size_t>(8 * row) * stride_;
    for (int mbX = 0; mbX < mbw_; ++mbX) {
      MBInfo* mb = state_.mbRow + mbX;
      state_.mbX = mbX;
      state_.srcLuma = picture->srcLuma + lumaRow + 16 * mbX;
      state_.srcChroma = picture->srcChroma + chromaRow + 16 * mbX;
      mb->flags &= ~(MBINFO_PATTERN | MBINFO_QUANT);
      const bool intra = (mb->flags & MBINFO_INTRA) != 0;
      int cbp = 0;
      if (code) {
        rateControl_->UpdateMbQuant(mb, &state_);
        if (intra) {
          cbp = CodeIntraMB(mb);
          if (state_.overflow) {
            ClearAcCoefficients(coefficients_);
            if (codec_ >= CODEC_KALDER) cbp = 0;
          }
        } else {
          if (!rowPredicted) PredictMB(mbX, mb);
          cbp = state_.overflow ? 0 : CodeInterMB(mb);
        }
        FinishMacroblockCoding(mb, cbp);
      }
      WriteOrSkip(mb, cbp, mbX);

      if (reconstruct) {
        uint8_t* reconLuma = picture->reconLuma + lumaRow + 16 * mbX;
        uint8_t* reconChroma = picture->reconChroma + chromaRow + 16 * mbX;
        if (intra) {
          ReconstructIntraMB(reconLuma, reconChroma, mb);
        } else if (cbp != 0) {
          ReconstructInterMB(reconLuma, reconChroma, mb, cbp);
        } else {
          core_->Copy16x16(reconLuma, currentPredLuma_, stride_, 16);
          core_->Copy16x16(reconLuma + 8 * stride_, currentPredLuma_ + 128, stride_, 16);
          core_->Copy16x16(reconChroma, currentPredChroma_, stride_, 16);
        }
        if (statistics) AccumulateReconStats(picture, mbX, row);
      }
      rateControl_->AccumulateMb(mb);
      if (rowPredicted) {
        currentPredLuma_ += 256;
        currentPredChroma_ += 128;
      }
    }
    if (rowListener_ != nullptr) rowListener_->DecimateRow(picture, row);
  }
  if (accelerator_ != nullptr) accelerator_->Reset(picture->sourceBufferIndex);
}

void CMBEncoder_MPEG1::EncodeRow() {
  blockOrderedPicture_ = true;
  CPicture* picture = state_.picture;
  const int row = state_.mbY;
  const bool code = picture->copyMode == COPY_NONE;
  const bool statistics = settings_->pictureCallback != nullptr;
  const bool reconstruct = ReconstructsPicture(picture);
  StartRow(picture);
  currentPredLuma_ = predictionLuma_;
  currentPredChroma_ = predictionChroma_;

  // Block-ordered rows: mbw luma blocks of 256 bytes, then mbw chroma blocks of 128 bytes.
  const size_t rowOffset = static_cast<size_t>(row) * mbw_ * kMacroblockAreaBytes;
  const size_t chromaOffset = static_cast<size_t>(mbw_) * 256;
  const auto rowOf = [&](const CPicture* p) -> const uint8_t* {
    return p != nullptr ? p->reconLuma + rowOffset : nullptr;
  };
  const uint8_t* forward = rowOf(picture->forwardRef);
  const uint8_t* backward = rowOf(picture->backwardRef);
  uint8_t* reconLuma = picture->reconLuma + rowOffset;
  uint8_t* reconChroma = reconLuma + chromaOffset;
  const uint8_t* srcLuma = picture->srcLuma;
  const uint8_t* srcChroma = picture->srcLuma + chromaOffset;

  for (int mbX = 0; mbX < mbw_; ++mbX) {
    MBInfo* mb = state_.mbRow + mbX;
    state_.mbX = mbX;
    state_.srcLuma = const_cast<uint8_t*>(srcLuma);
    state_.srcChroma = const_cast<uint8_t*>(srcChroma);
    mb->flags &= ~(MBINFO_PATTERN | MBINFO_QUANT);
    const bool intra = (mb->flags & MBINFO_INTRA) != 0;
    int cbp = 0;
    if (code) {
      rateControl_->UpdateMbQuant(mb, &state_);
      if (intra) {
        cbp = CodeReconstructIntraMB(mb, srcLuma, srcChroma);
        if (state_.overflow) {
          ClearAcCoefficients(coefficients_);
          if (codec_ >= CODEC_KALDER) cbp = 0;
        }
      } else {
        const size_t lumaAt = 256 * static_cast<size_t>(mbX);
        const size_t chromaAt = chromaOffset + 128 * static_cast<size_t>(mbX);
        const bool useForward = (mb->flags & MBINFO_FORWARD) || !(mb->flags & MBINFO_BACKWARD);
        if ((mb->flags & MBINFO_BIDIRECTIONAL) == MBINFO_BIDIRECTIONAL) {
          core_->AverageMBBuffers(predictionLuma_, forward + lumaAt, forward + chromaAt,
                                  backward + lumaAt, backward + chromaAt);
        } else if (!useForward) {
          core_->CopyMBBuffer(predictionLuma_, backward + lumaAt, backward + chromaAt);
        } else {
          core_->CopyMBBuffer(predictionLuma_, forward + lumaAt, forward + chromaAt);
        }
        cbp = state_.overflow ? 0 : CodeReconstructInterMB(mb, srcLuma, srcChroma);
      }
      FinishMacroblockCoding(mb, cbp);
    }
    WriteOrSkip(mb, cbp, mbX);

    if (reconstruct) {
      if (intra) {
        DequantizeIntraBlocks();
        StoreReconIntra(reconLuma, reconChroma, coefficients_, mb->flags);
      } else {
        if (cbp != 0) DequantizeInterBlocks(cbp);
        StoreReconInter(reconLuma, reconChroma, coefficients_, mb->flags, cbp);
      }
      if (statistics) AccumulateReconStats(picture, mbX, row);
    }
    rateControl_->AccumulateMb(mb);
    srcLuma += 256;
    srcChroma += 128;
    reconLuma += 256;
    reconChroma += 128;
  }
}

}  // namespace orx::venc
