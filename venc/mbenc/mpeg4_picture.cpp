// The MPEG-4 Part 2 picture loop: one video packet per VOP, quantisers from the rate
// controller limited to what dquant and dbquant can carry, not-coded P macroblocks away from
// the picture's first and last column, B macroblocks skipped where the co-located one was,
// the reconstruction of referenced pictures with their borders filled, and the intra DC/AC
// prediction with its coding context.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "venc/dsp/quant_tables.h"
#include "venc/mbenc/mb_encoder_mpeg4.h"

namespace orx::venc {
namespace {

constexpr int kUnavailableDc = 1024;

// Left AC store slot and top AC store slot of each block.
constexpr int kLeftSlot[6] = {0, 0, 1, 1, 2, 3};
constexpr int kTopSlot[6] = {0, 1, 0, 1, 2, 3};

}  // namespace

void CMBEncoder_MPEG4::InitTables() {
  CMBEncoder_Kalder::InitTables();
  for (int s = 0; s < 3; ++s) {
    const uint8_t* raster = Mpeg4ScanRaster(static_cast<Mpeg4Scan>(s));
    for (int p = 0; p < 64; ++p) {
      const int r = raster[p];
      scans_[s][p] = static_cast<uint8_t>(8 * (r % 8) + r / 8);
      scanPositions_[s][scans_[s][p]] = static_cast<uint8_t>(p);
    }
  }
}

uint32_t CMBEncoder_MPEG4::GetContextSize() {
  const uint32_t mbw = static_cast<uint32_t>(settings_->mbCols);
  const uint32_t mbh = static_cast<uint32_t>(settings_->mbRows);
  return (mbh * 12 + 64) * mbw + 64;
}

void CMBEncoder_MPEG4::SetContext(uint8_t* context) {
  const size_t mbw = static_cast<size_t>(settings_->mbCols);
  const size_t mbh = static_cast<size_t>(settings_->mbRows);
  leftAc_ = reinterpret_cast<int16_t*>(context);
  topAc_ = leftAc_ + 32;
  dcLuma_ = topAc_ + 32 * mbw;
  dcChroma_ = dcLuma_ + 4 * mbw * mbh;
  contextEnd_ = reinterpret_cast<uint8_t*>(dcChroma_ + 2 * mbw * mbh);
}

void CMBEncoder_MPEG4::SetupScanTables(CPicture* picture) {
  pictureScan_ = picture->alternateScan ? kScanAlternateVertical : kScanZigzag;
  std::memcpy(scan_, scans_[pictureScan_], 64);
  std::memcpy(positionToScan_, scanPositions_[pictureScan_], 64);
}

void CMBEncoder_MPEG4::PadRow(CPicture* picture, int row) {
  const EncoderSettings& s = *settings_;
  uint8_t* luma = picture->reconLuma + static_cast<ptrdiff_t>(16 * row) * stride_;
  uint8_t* chroma = picture->reconChroma + static_cast<ptrdiff_t>(8 * row) * stride_;
  core_->PadBordersHorizontal(luma, codedWidth_, stride_, 16);
  core_->PadChromaBordersHorizontal(chroma, codedWidth_, stride_, 8);
  const int length = codedWidth_ + 2 * s.padX;
  const auto padPlane = [&](uint8_t* plane, int rows, int padRows) {
    if (padRows <= 0) return;
    uint8_t* top = plane - s.padX;
    uint8_t* last = top + static_cast<ptrdiff_t>(rows - 1) * stride_;
    if (row == 0) {
      core_->PadBordersVertical(top - static_cast<ptrdiff_t>(padRows) * stride_, top, length, padRows,
                                stride_ - length);
    }
    if (row == mbh_ - 1) core_->PadBordersVertical(last + stride_, last, length, padRows, stride_ - length);
  };
  padPlane(picture->reconLuma, codedHeight_, s.padY);
  padPlane(picture->reconChroma, codedHeight_ / 2, s.padY / 2);
}

void CMBEncoder_MPEG4::PredictMpeg4MB(int mbX, const MBInfo* mb) {
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
    core_->MotionCompensateMBRoundedBidir(first, second, prediction, stride_, x, y, f.x, f.y, b.x, b.y);
  } else if (backward) {
    uint8_t* reference[2] = {picture->backwardRef->reconLuma, picture->backwardRef->reconChroma};
    const PackedMV b = mb->mv[0].backward;
    core_->MotionCompensateMBRounded(reference, prediction, stride_, x, y, b.x, b.y);
  } else {
    uint8_t* reference[2] = {picture->forwardRef->reconLuma, picture->forwardRef->reconChroma};
    const PackedMV f = forward ? mb->mv[0].forward : PackedMV{};
    core_->MotionCompensateMBRounded(reference, prediction, stride_, x, y, f.x, f.y);
  }
}

bool CMBEncoder_MPEG4::IntraNeighbour(int mbX, int row, int dx, int dy) const {
  const int x = mbX + dx;
  const int y = row + dy;
  if (x < 0 || y < 0 || x >= mbw_) return false;
  if (dx == 0 && dy == 0) return true;
  return (state_.picture->mbInfo[static_cast<size_t>(y) * mbw_ + x].flags & MBINFO_INTRA) != 0;
}

int CMBEncoder_MPEG4::PredictIntraDcAc(int mbX, MBInfo* mb, int cbp) {
  const int row = state_.mbY;
  const int qp = state_.mbQuant;
  const size_t gridStride = 2 * static_cast<size_t>(mbw_);
  int16_t* top = topAc_ + 32 * static_cast<size_t>(mbX);
  bool fromLeft[6] = {};
  int gain = 0;
  for (int b = 0; b < 6; ++b) {
    int16_t* levels = coefficients_ + 64 * b;
    const bool luma = b < 4;
    const int scaler = luma ? dsp::kMpeg4LumaDcScaler[qp] : dsp::kMpeg4ChromaDcScaler[qp];
    // Neighbour DC values: A left, B above-left, C above, each 1024 where not available.
    int dcA, dcB, dcC;
    bool availableA, availableC;
    if (luma) {
      const int gx = 2 * mbX + (b & 1);
      const int gy = 2 * row + (b >> 1);
      dcLuma_[static_cast<size_t>(gy) * gridStride + gx] = static_cast<int16_t>(levels[0] * scaler);
      const auto at = [&](int dx, int dy, bool* available) {
        const int x = gx + dx, y = gy + dy;
        const bool ok = x >= 0 && y >= 0 && IntraNeighbour(mbX, row, (x >> 1) - mbX, (y >> 1) - row);
        if (available != nullptr) *available = ok;
        return ok ? int{dcLuma_[static_cast<size_t>(y) * gridStride + x]} : kUnavailableDc;
      };
      dcA = at(-1, 0, &availableA);
      dcB = at(-1, -1, nullptr);
      dcC = at(0, -1, &availableC);
    } else {
      int16_t* grid = dcChroma_ + (b - 4);
      const size_t at0 = 2 * (static_cast<size_t>(row) * mbw_ + mbX);
      grid[at0] = static_cast<int16_t>(levels[0] * scaler);
      const auto at = [&](int dx, int dy, bool* available) {
        const bool ok = IntraNeighbour(mbX, row, dx, dy);
        if (available != nullptr) *available = ok;
        return ok ? int{grid[at0 + 2 * (static_cast<ptrdiff_t>(dy) * mbw_ + dx)]} : kUnavailableDc;
      };
      dcA = at(-1, 0, &availableA);
      dcB = at(-1, -1, nullptr);
      dcC = at(0, -1, &availableC);
    }
    fromLeft[b] = !(std::abs(dcA - dcB) < std::abs(dcB - dcC));
    const int predicted = fromLeft[b] ? dcA : dcC;
    dcPredictor_[b] = (predicted + (scaler >> 1)) / scaler;

    int16_t* leftStore = leftAc_ + 8 * kLeftSlot[b];
    int16_t* topStore = top + 8 * kTopSlot[b];
    int16_t* predictedLevels = acPredicted_ + 64 * b;
    if (cbp != 0 && fromLeft[b]) {
      gain += core_->PredictAcRow(levels, predictedLevels, leftStore, availableA ? 1 : 0, qp);
      core_->StoreAcPredColumn(levels, topStore, qp);
    } else if (cbp != 0) {
      gain += core_->PredictAcColumn(levels, predictedLevels, topStore, availableC ? 1 : 0, qp);
      core_->StoreAcPredRow(levels, leftStore, qp);
    } else {
      core_->StoreAcPredRow(levels, leftStore, qp);
      core_->StoreAcPredColumn(levels, topStore, qp);
    }
  }

  const bool acPrediction = gain > 0;
  if (acPrediction) {
    mb->flags |= MBINFO_AC_PRED;
    cbp = 0;
  }
  for (int b = 0; b < 6; ++b) {
    Mpeg4Scan scan = pictureScan_;
    if (acPrediction && pictureScan_ != kScanAlternateVertical) {
      scan = fromLeft[b] ? kScanAlternateVertical : kScanAlternateHorizontal;
    }
    blockLevels_[b] = acPrediction ? acPredicted_ + 64 * b : coefficients_ + 64 * b;
    blockScan_[b] = scans_[scan];
    blockLast_[b] = core_->FindLastCoefficient(blockLevels_[b], scanPositions_[scan]);
    if (acPrediction && blockLast_[b] > 0) cbp |= 0x20 >> b;
  }

  if (state_.overflow && cbp != 0) {
    // Only the DC goes out: with AC prediction the decoder rebuilds the predicted edge, without
    // it nothing but the DC; the stores then hold what it rebuilds.
    for (int b = 0; b < 6; ++b) {
      int16_t* levels = coefficients_ + 64 * b;
      int16_t* residual = acPredicted_ + 64 * b;
      for (int k = 1; k < 64; ++k) {
        const bool edge = fromLeft[b] ? k < 8 : k % 8 == 0;
        levels[k] = static_cast<int16_t>(acPrediction && edge ? levels[k] - residual[k] : 0);
        residual[k] = 0;
      }
      core_->StoreAcPredRow(levels, leftAc_ + 8 * kLeftSlot[b], qp);
      core_->StoreAcPredColumn(levels, top + 8 * kTopSlot[b], qp);
      blockLast_[b] = 0;
    }
    cbp = 0;
  }
  // The reconstruction rebuilds every block of an AC-predicted macroblock in full.
  for (int b = 0; b < 6; ++b) state_.lastPosition[b] = acPrediction ? 63 : blockLast_[b];
  return cbp;
}

void CMBEncoder_MPEG4::EncodePictureBody(CPicture* picture) {
  blockOrderedPicture_ = false;
  const bool code = picture->copyMode == COPY_NONE;
  const bool statistics = settings_->pictureCallback != nullptr || settings_->statisticsPass != 0;
  const int n = settings_->gopLength;
  const bool reconstruct =
      code && (statistics || (pictureType_ == PICTURE_I && n > 1) || (pictureType_ == PICTURE_P && n > 2));
  const bool bPicture = pictureType_ == PICTURE_B;
  const bool interlaced = settings_->progressiveSequence == 0;
  currentPredLuma_ = predictionLuma_;
  currentPredChroma_ = predictionChroma_;
  colocated_ = bPicture && picture->backwardRef != nullptr ? picture->backwardRef->mbInfo : nullptr;

  for (int row = 0; row < mbh_; ++row) {
    state_.mbY = row;
    state_.pixelRow = 16 * row;
    state_.mbRow = picture->mbInfo + static_cast<size_t>(row) * mbw_;
    const int rowQuant = rateControl_->GetRowQuant(&state_);
    if (row == 0) WriteVopHeader(rowQuant);
    state_.mbQuant = state_.lastQuant;
    notCoded_ = 1;
    state_.forwardPredictor = state_.backwardPredictor = PackedMV{};

    const size_t lumaRow = static_cast<size_t>(16 * row) * stride_;
    const size_t chromaRow = static_cast<size_t>(8 * row) * stride_;
    for (int mbX = 0; mbX < mbw_; ++mbX) {
      MBInfo* mb = state_.mbRow + mbX;
      state_.mbX = mbX;
      state_.srcLuma = picture->srcLuma + lumaRow + 16 * mbX;
      state_.srcChroma = picture->srcChroma + chromaRow + 16 * mbX;
      uint8_t* reconLuma = picture->reconLuma + lumaRow + 16 * mbX;
      uint8_t* reconChroma = picture->reconChroma + chromaRow + 16 * mbX;
      mb->flags &= ~(MBINFO_PATTERN | MBINFO_QUANT | MBINFO_SKIPPED | MBINFO_DIRECT | MBINFO_AC_PRED);
      // A repeat picture codes no residual, so it has no intra macroblocks; every macroblock of
      // an I-VOP is intra (the estimator may have planned the picture as another type first).
      if (!code) mb->flags &= ~MBINFO_INTRA;
      if (pictureType_ == PICTURE_I) mb->flags |= MBINFO_INTRA;
      // An intra macroblock has no vectors, also as a neighbour's predictor candidate.
      if (mb->flags & MBINFO_INTRA) mb->flags &= ~MBINFO_BIDIRECTIONAL;
      // dct_type exists only in interlaced sequences (the VOL says which).
      if (!interlaced) mb->flags &= ~MBINFO_FIELD;
      const bool intra = (mb->flags & MBINFO_INTRA) != 0;

      if (colocated_ != nullptr && (colocated_[mb - picture->mbInfo].flags & MBINFO_SKIPPED)) {
        // The decoder skips it too and predicts it from the forward reference, vector 0.
        if (code) rateControl_->UpdateMbQuant(mb, &state_);
        state_.mbQuant = state_.lastQuant;
        mb->flags = (mb->flags & ~(MBINFO_BACKWARD | MBINFO_INTRA)) | MBINFO_SKIPPED | MBINFO_FORWARD;
        mb->mv[0].forward = PackedMV{};
        if (reconstruct) {
          PredictMpeg4MB(mbX, mb);
          core_->Copy16x16(reconLuma, currentPredLuma_, stride_, 16);
          core_->Copy16x16(reconLuma + 8 * stride_, currentPredLuma_ + 128, stride_, 16);
          core_->Copy16x16(reconChroma, currentPredChroma_, stride_, 16);
          if (statistics) AccumulateReconStats(picture, mbX, row);
        }
        rateControl_->AccumulateMb(mb);
        continue;
      }

      int cbp = 0;
      if (code) {
        rateControl_->UpdateMbQuant(mb, &state_);
        int change = std::clamp(state_.mbQuant - state_.lastQuant, -2, 2);
        if (bPicture && std::abs(change) == 1 && state_.lastQuant + change < 31) change = 0;
        state_.mbQuant = std::clamp(state_.lastQuant + change, 1, 31);
        const bool changed = state_.mbQuant != state_.lastQuant;
        if (intra) {
          cbp = CodeIntraMB(mb);
          cbp = PredictIntraDcAc(mbX, mb, cbp);
          if (changed) mb->flags |= MBINFO_QUANT;
        } else {
          PredictMpeg4MB(mbX, mb);
          cbp = state_.overflow ? 0 : CodeInterMB(mb);
          if (cbp != 0) mb->flags |= MBINFO_PATTERN;
          if (cbp != 0 && changed) mb->flags |= MBINFO_QUANT;
        }
      } else {
        state_.mbQuant = state_.lastQuant;
      }

      if (pictureType_ == PICTURE_P && cbp == 0 && !intra && !(mb->flags & MBINFO_FORWARD) && mbX > 0 &&
          mbX < mbw_ - 1) {
        mb->flags |= MBINFO_SKIPPED;
        mb->mv[0].forward = PackedMV{};
        ++notCoded_;
      } else {
        WriteMacroblock(mb, cbp, mbX);
        notCoded_ = 1;
        if (mb->flags & MBINFO_QUANT) state_.lastQuant = state_.mbQuant;
        if (intra) state_.forwardPredictor = state_.backwardPredictor = PackedMV{};
      }

      if (reconstruct) {
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
    }
    if (reconstruct) PadRow(picture, row);
    if (rowListener_ != nullptr) rowListener_->DecimateRow(picture, row);
  }
  // The VOP ends with next_start_code(): a 0 and ones to the byte boundary, a whole 0x7F when
  // the data ends aligned. Decoders find the VOP's end by it; without it a VOP that happens to
  // end on a byte boundary looks like a stream without padding and is concealed.
  if (freeBits_ % 8 == 0) {
    PutBits(0x7F, 8);
  } else {
    StuffToByte();
  }
}

}  // namespace orx::venc
