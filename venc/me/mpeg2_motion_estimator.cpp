// CMPEG2MotionEstimator: sequence set-up, decimated planes, per-picture set-up, whole-picture
// and row estimation.
#include "venc/me/mpeg2_motion_estimator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "venc/common/quantiser_qp.h"
#include "venc/dsp/core_factories.h"

namespace orx::venc {

namespace {

constexpr uint32_t kEstimatorFlag16x8 = 1u << 1;  // H.264: 4:1-horizontal plane, 16x8 search
constexpr uint32_t kEstimatorFlag8x16 = 1u << 2;  // H.264: 4:1-vertical plane, 8x16 search

// Round to the nearest integer, ties to even.
inline int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

dsp::CMotionEstimationCore* MakeCore() {
  dsp::CMotionEstimationCore* core = nullptr;
  dsp::CreateMotionEstimationCore(&core);
  return core;
}

}  // namespace

CMPEG2MotionEstimator::CMPEG2MotionEstimator() : CMPEG2MotionEstimator(MakeCore()) {}

CMPEG2MotionEstimator::CMPEG2MotionEstimator(dsp::CMotionEstimationCore* meCore)
    : coreOwner_(meCore) {
  core = meCore;
}

CMPEG2MotionEstimator::~CMPEG2MotionEstimator() { FreeDecimatedBlock(); }

void CMPEG2MotionEstimator::FreeDecimatedBlock() {
  blockRaw_.reset();
  blockAligned_ = nullptr;
  decimated = nullptr;
}

bool CMPEG2MotionEstimator::AllocateDecimatedBlock() {
  const EncoderSettings& s = *settings_;
  if ((modeFlags_ & ME_MODE_SHARED_BLOCK) != 0 && (modeFlags_ & ME_MODE_SUB_ENCODER_MASK) != 0) {
    blockAligned_ = sharedBlock_;
    return blockAligned_ != nullptr;
  }
  const size_t bytes = static_cast<size_t>(s.codedHeight + 2 * s.padY + 4) * s.stride + 128;
  // Zeroed: the window searches of some cores compare one row past their window.
  blockRaw_.reset(new (std::nothrow) uint8_t[bytes]());
  if (blockRaw_ == nullptr) return false;
  const uintptr_t address = reinterpret_cast<uintptr_t>(blockRaw_.get());
  blockAligned_ = blockRaw_.get() + ((128 - (address & 127)) & 127);
  return true;
}

bool CMPEG2MotionEstimator::Init(const EncoderSettings* settings, CMBEncoder* encoder) {
  // CMPEG2MotionEstimator::Init, the estimator's sequence set-up:
  // 1. The base part; an earlier block is forgotten and the row buffers restart at zero.
  CMotionEstimator::Init(settings, encoder);
  FreeDecimatedBlock();
  if (core == nullptr) return false;
  const EncoderSettings& s = *settings;
  // The row buffers cover every macroblock column of the picture.
  if (!AllocateRowBuffers(s.mbCols)) return false;
  BeginRows();
  estimatorFlags_ = static_cast<uint32_t>(s.estimatorFlags);

  // 2. Decimation mode.
  const SearchParams& first = s.searchParams[0];
  decimationMode_ = first.searchMode & 0xFE;
  if (s.gopLength < 2 || s.anchorDistance < 1 || s.reorderPictures != 0 || first.noSearch != 0) {
    decimationMode_ = 0;
  }

  // 3. Geometry of the decimated planes.
  const int px = s.padX;
  const int py = s.padY;
  const int w = s.codedWidth;
  const int h = s.codedHeight;
  decimatedStride = decimatedRows = 0;
  offset2to1 = offset4to1 = 0;
  offsetExtraHorz_ = offsetExtraVert_ = 0;
  stride4_ = rows4_ = extraVertStride_ = extraVertRows_ = 0;
  if (decimationMode_ == 4 || decimationMode_ == 8) {
    const int s2 = (w + 2 * px) >> 1;
    const int r2 = (h + 2 * py) >> 1;
    decimatedStride = s2;
    decimatedRows = r2;
    offset2to1 = (py >> 1) * s2 + (px >> 1);
    offset4to1 = s2 * r2 + (py >> 2) * (s2 >> 1) + (px >> 2);
    if (s.codec == CODEC_H264) {
      stride4_ = (w + 2 * px) >> 2;
      rows4_ = (h + 2 * py) >> 2;
      const int after4to1 = s2 * r2 + (s2 >> 1) * (r2 >> 1);
      int next = after4to1;
      if ((estimatorFlags_ & kEstimatorFlag16x8) != 0) {
        offsetExtraHorz_ = next + (py >> 1) * stride4_ + (px >> 2);
        next += stride4_ * r2;
      }
      if ((estimatorFlags_ & kEstimatorFlag8x16) != 0) {
        extraVertStride_ = s2;
        extraVertRows_ = rows4_;
        offsetExtraVert_ = next + (py >> 2) * s2 + (px >> 1);
      }
    }
  } else if (decimationMode_ == 10) {
    decimatedStride = (w + 2 * px) >> 1;
    decimatedRows = (h + 2 * py) >> 2;
    offset2to1 = (py >> 2) * decimatedStride + (px >> 1);
  }

  // 4. The block of decimated planes.
  if (!AllocateDecimatedBlock()) return false;
  decimated = blockAligned_;
  offsetField = ((h >> 1) + py) * s.stride;
  return true;
}

void CMPEG2MotionEstimator::Close() {
  CMotionEstimator::Close();
  FreeDecimatedBlock();
}

void CMPEG2MotionEstimator::DecimateRow(CPicture* picture, int row) {
  if (picture->copyMode != COPY_NONE || blockAligned_ == nullptr) return;
  const EncoderSettings& s = *settings_;
  const int px = s.padX;
  const int py = s.padY;
  const int srcStride = s.stride;
  const bool first = row == 0;
  const bool last = row == s.mbRows - 1;
  const uint8_t* source = picture->srcLuma + static_cast<ptrdiff_t>(row) * 16 * srcStride;
  const int s2 = decimatedStride;
  if (decimationMode_ == 4 || decimationMode_ == 8) {
    if (s.codec == CODEC_H264 && s.progressiveSequence == 0) {
      // The field-decimated plane: each field's rows decimated 2:1, the parities interleaved.
      const int outRows = 8 + (first ? py >> 1 : 0) + (last ? py >> 1 : 0);
      const int top = 8 * row - (first ? py >> 1 : 0);
      for (int r = 0; r < outRows; ++r) {
        const int outRow = top + r;
        const int parity = outRow & 1;
        const int fieldRow = 2 * (outRow >> 1);  // first of the two field rows averaged
        const uint8_t* from =
            picture->srcLuma + static_cast<ptrdiff_t>(2 * fieldRow + parity) * srcStride - px;
        uint8_t* to = blockAligned_ + offsetField + static_cast<ptrdiff_t>(outRow) * s2 - (px >> 1);
        core->DecimatePlaneAlt(to, from, s2, 1, 2 * srcStride, 0);
      }
    }
    // 2:1 rows of this macroblock row, with the padding rows at the top and bottom.
    const int rows2 = 8 + (first ? py >> 1 : 0) + (last ? py >> 1 : 0);
    const int top2 = 8 * row - (first ? py >> 1 : 0);
    uint8_t* plane2 = blockAligned_ + offset2to1 + static_cast<ptrdiff_t>(top2) * s2 - (px >> 1);
    const uint8_t* from = source - static_cast<ptrdiff_t>(first ? py : 0) * srcStride - px;
    core->DecimatePlane(plane2, from, s2, rows2, srcStride, 2 * srcStride - 2 * s2);
    // 4:1 rows from those 2:1 rows.
    const int s4 = s2 >> 1;
    uint8_t* plane4 =
        blockAligned_ + offset4to1 + static_cast<ptrdiff_t>(top2 >> 1) * s4 - (px >> 2);
    core->DecimatePlane(plane4, plane2, s4, rows2 >> 1, s2, 2 * s2 - 2 * s4);
    if (s.codec == CODEC_H264) {
      if ((estimatorFlags_ & kEstimatorFlag16x8) != 0) {
        uint8_t* to =
            blockAligned_ + offsetExtraHorz_ + static_cast<ptrdiff_t>(top2) * stride4_ - (px >> 2);
        core->DecimateHorz(to, plane2, stride4_, rows2, 0);
      }
      if ((estimatorFlags_ & kEstimatorFlag8x16) != 0) {
        uint8_t* to =
            blockAligned_ + offsetExtraVert_ + static_cast<ptrdiff_t>(top2 >> 1) * s2 - (px >> 1);
        core->DecimateVert(to, plane2, s2, rows2 >> 1, s2, s2);
      }
    }
  } else if (decimationMode_ == 10) {
    const int rows = 4 + (first ? py >> 2 : 0) + (last ? py >> 2 : 0);
    const int top = 4 * row - (first ? py >> 2 : 0);
    uint8_t* to = blockAligned_ + offset2to1 + static_cast<ptrdiff_t>(top) * s2 - (px >> 1);
    const uint8_t* from = source - static_cast<ptrdiff_t>(first ? py : 0) * srcStride - px;
    core->DecimatePlane4x2(to, from, s2, rows, srcStride);
  }
}

void CMPEG2MotionEstimator::SetSearchLimits() {
  const EncoderSettings& s = *settings_;
  int k = 1;
  if (s.codec == CODEC_VC1) k = s.profileLevel >= 48 ? 2 : 1;
  if (s.codec == CODEC_H264) k = 3;
  const int px = s.padX;
  const int py = s.padY;
  if (px < 16) {
    minX = 0;
    maxX = width - 16;
  } else {
    minX = std::max(k - px, -15);
    maxX = std::min(px - k - 16 + width, width - 1);
  }
  if (py < 16) {
    minY = 0;
    maxY = height - 16;
  } else {
    const int ky = s.progressiveSequence != 0 ? k : 2 * k;
    minY = std::max(ky - py, -15);
    maxY = std::min(py - ky - 16 + height, height - 1);
  }
}

void CMPEG2MotionEstimator::SetCostConstants() {
  const EncoderSettings& s = *settings_;
  const CPicture* forward = currentPicture_->forwardRef;
  const CPicture* backward = currentPicture_->backwardRef;
  double q = 2.0;
  if (forward != nullptr) q = std::max(q, static_cast<double>(forward->stats.quantiser));
  if (pictureType_ == PICTURE_B && backward != nullptr) {
    q = std::max(q, static_cast<double>(backward->stats.quantiser));
  }
  const int qi = static_cast<int>(q);
  if (s.variableBitRate < 0) q -= 2.0;
  q = std::clamp(q, 1.0, 100.0);
  int intra;
  int penalty;
  if (s.codec == CODEC_H264) {
    const int qp = QuantiserToQp(qi);  // clamped into the table
    intra = RoundEven(8.0 * q + 0.002 * q * q) + 12;
    double weight = 4.0;
    if (pictureType_ == PICTURE_P) weight = 0.72675 * std::pow(2.0, qp / 3.0);
    if (pictureType_ == PICTURE_B) weight = 0.73 * std::pow(2.0, qp / 3.0);
    lambda_ = static_cast<int>(std::sqrt(weight) * 65536.0 + 0.5);
    const int onePelBits = mvCodeLength_ != nullptr ? mvCodeLength_[4] : 0;
    penalty = static_cast<int>((int64_t{onePelBits} * lambda_ * 2) >> 16);
    lambdaShifted_ = lambda_ >> 15;
    qpCostWord_ = pictureType_ == PICTURE_B ? qp * 24 + 16 : qp * 10 + 16;
  } else {
    if (s.codec == CODEC_MPEG4 || s.codec == CODEC_VC1) {
      intra = RoundEven((0.05 * q + 16.0) * q);
    } else {
      intra = RoundEven((32.0 - 0.00115 * q * q) * q);
    }
    int t = RoundEven(pictureType_ == PICTURE_B ? 8.0 * q : 4.0 * q);
    intra = std::clamp(intra, 32, 2048);
    t = std::min(std::max(t, 32), intra);
    intra = RoundEven(0.0001 * q * q * (intra - t)) + t;
    penalty = RoundEven(q + 8.0);
    if (q >= 12.0) penalty += RoundEven(10.0 * (q - 12.0)) + 4;
  }
  if (2 * penalty > intra) penalty = intra / 2;
  intraThreshold = intra;
  vectorPenalty = penalty;
}

void CMPEG2MotionEstimator::SetupPicture() {
  // CMPEG2MotionEstimator::SetupPicture, the estimator's picture set-up:
  // 1. Geometry and the search words of the picture.
  width = codedWidth_;
  height = codedHeight_;
  stride = codedStride_;
  mbCols = width >> 4;
  mbRows = height >> 4;
  windowHalfWidth = searchParams_.windowHalfWidth;
  windowHalfHeight = searchParams_.windowHalfHeight;
  rangeX = rangeX_;
  rangeY = rangeY_;
  searchModeWord = static_cast<uint32_t>(searchParams_.searchMode);
  subPelWord = static_cast<uint32_t>(searchParams_.subPel);
  noSearch = searchParams_.noSearch;
  predictorWord = searchParams_.predictorMask;
  pictureType = pictureType_;
  forwardSearch = forwardSearch_;
  backwardSearch = backwardSearch_;
  forwardPlane = forwardReconPlane_;
  backwardPlane = backwardReconPlane_;
  storedVector = temporal_.storedVector;
  intraDecisions = !mpeg4BPicture_;
  fieldMacroblock_ = false;
  // 2. Statistics and ranges.
  CPicture* picture = currentPicture_;
  picture->interCostSum = picture->intraActivitySum = picture->intraMbCount = 0;
  picture->maxForwardX = picture->maxForwardY = picture->maxBackwardX = 0;
  picture->maxBackwardY = 0;
  primaryPlane =
      forwardSearch_ ? forwardSearchPlane_ : (backwardSearch_ ? backwardSearchPlane_ : nullptr);
  maxForwardX = maxForwardY = maxBackwardX = maxBackwardY = 0;
  // 3. The coarse mode runs only on the planes planned at Init.
  const int mode = searchParams_.searchMode & 0xFE;
  searchMode = (mode == decimationMode_ && searchParams_.noSearch == 0) ? mode : 0;
  // 4.-6. Limits and cost constants.
  SetSearchLimits();
  SetCostConstants();
}

void CMPEG2MotionEstimator::FinishPicture() {
  CPicture* picture = currentPicture_;
  picture->maxForwardX = maxForwardX;
  picture->maxForwardY = maxForwardY;
  picture->maxBackwardX = maxBackwardX;
  picture->maxBackwardY = maxBackwardY;
  const CPicture* forward = picture->forwardRef;
  picture->forwardDistance =
      forward != nullptr ? picture->displayNumber - forward->displayNumber : 0;
}

void CMPEG2MotionEstimator::ArrayTemporalSource::Predict(int mbIndex, int* x, int* y) const {
  const MBVectorPair& a = t_.arrayA[mbIndex].mv[0];
  const MBVectorPair& b = t_.arrayB[mbIndex].mv[0];
  const PackedMV va = t_.vectorA == 0 ? a.forward : a.backward;
  const PackedMV vb = t_.vectorB == 0 ? b.forward : b.backward;
  *x = static_cast<int>((int64_t{va.x} * t_.scaleA + int64_t{vb.x} * t_.scaleB + 32767) >> 16);
  *y = static_cast<int>((int64_t{va.y} * t_.scaleA + int64_t{vb.y} * t_.scaleB + 32767) >> 16);
}

bool CMPEG2MotionEstimator::TemporalActive() const {
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  return (searchActive && temporal_.scaleA != 0) || temporal_.scaleB != 0;
}

void CMPEG2MotionEstimator::EstimatePicture(MBInfo* mbInfo) {
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  const bool temporalActive = TemporalActive();
  rowPredictor = searchActive && (predictorWord & 1) != 0;
  const ArrayTemporalSource source(temporal_);
  CPicture* picture = currentPicture_;
  const int count = mbCols * mbRows;

  if (pictureType == PICTURE_I) {
    // The vectors of an I picture only predict later pictures.
    picture->interCostSum = picture->intraActivitySum = picture->intraCostSum;
    picture->intraMbCount = count;
    for (int i = 0; i < count; ++i) {
      int x = 0;
      int y = 0;
      if (searchActive && temporalActive) source.Predict(i, &x, &y);
      mbInfo[i].mv[0].forward = {static_cast<int16_t>(x), static_cast<int16_t>(y)};
    }
    return;
  }

  const int border = settings_->borderY >> 4;
  BeginRows();
  bool firstOfRun = true;
  for (int row = 0; row < mbRows; ++row) {
    MBInfo* first = mbInfo + row * mbCols;
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    if (row < border || row >= mbRows - border) {
      FillBorderRow(first, row);
      picture->interCostSum += 1;
      continue;
    }
    const RowTotals totals =
        EstimateMacroblockRow(first, row, firstOfRun, temporalActive ? &source : nullptr);
    firstOfRun = false;
    const int32_t rowCost = totals.costTotal + totals.intraSum;
    picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
    picture->interCostSum += rowCost;
    picture->intraActivitySum += totals.intraSum;
    picture->intraMbCount += totals.intraCount;
  }
}

void CMPEG2MotionEstimator::EstimateRow(MBInfo* rowFirst, int row) {
  CPicture* picture = currentPicture_;
  if (pictureType == PICTURE_I) {
    picture->interCostSum = picture->intraActivitySum = picture->intraCostSum;
    picture->intraMbCount += mbCols;
    return;
  }
  // Macroblock-packed rows: 256 luma bytes per macroblock, then the row's chroma.
  const ptrdiff_t referenceRow = static_cast<ptrdiff_t>(row) * 384 * mbCols;
  int32_t rowTotal = 1;
  int32_t rowIntra = 0;
  int32_t rowIntraCount = 0;
  for (int c = 0; c < mbCols; ++c) {
    MBInfo& mb = rowFirst[c];
    const uint8_t* current = currentSource_ + 256 * c;
    core->SetBlock(current, 16);
    const uint32_t field = mb.flags & MBINFO_FIELD;
    int cost;
    const uint8_t* forward =
        forwardPlane != nullptr ? forwardPlane + referenceRow + 256 * c : nullptr;
    const uint8_t* backward =
        backwardPlane != nullptr ? backwardPlane + referenceRow + 256 * c : nullptr;
    if (pictureType == PICTURE_P) {
      cost = static_cast<int>(core->Sad16Packed(forward));
      mb.flags = field;
    } else {
      const int f = forwardSearch ? static_cast<int>(core->Sad16Packed(forward)) : COST_NO_FORWARD;
      int b = COST_NO_BACKWARD;
      int bi = COST_NO_INTERPOLATION;
      if (backwardSearch) {
        b = static_cast<int>(core->Sad16Packed(backward));
        if (f >= 641 && f <= 65535 && b >= 641) {
          const int m = std::min(f, b);
          const int d = std::abs(f - b);
          if (4 * d < m) {
            bi = d / 2 + m / 2;
          } else if (5 * d >= 3 * m) {
            bi = (f + b) / 2;
          } else {
            bi = static_cast<int>(core->SadBidirHalfPel16(forward, backward, 0, 0, 0, 0));
          }
        } else {
          bi = COST_INTERPOLATION_SKIPPED;
        }
      }
      if (f + 9 <= b && f <= bi) {
        mb.flags = field | MBINFO_FORWARD;
        cost = f;
      } else if (bi < b) {
        mb.flags = field | MBINFO_BIDIRECTIONAL;
        cost = bi;
      } else {
        mb.flags = field | MBINFO_BACKWARD;
        cost = b;
      }
      mb.mv[0].backward = {};
    }
    mb.mv[0].forward = {};
    mb.interCost = cost;
    const int activity = mb.intraActivity;
    if (intraDecisions && (int64_t{cost} > int64_t{intraThreshold} + activity ||
                           (cost > 7168 && 4 * int64_t{cost} > 3 * int64_t{activity}))) {
      mb.flags = (mb.flags & ~MBINFO_BIDIRECTIONAL) | MBINFO_INTRA;
      rowIntra += activity;
      rowIntraCount += 1;
    } else {
      rowTotal += cost;
    }
  }
  const int32_t rowCost = rowTotal + rowIntra;
  picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
  picture->interCostSum += rowCost;
  picture->intraActivitySum += rowIntra;
  picture->intraMbCount += rowIntraCount;
}

}  // namespace orx::venc
