// CMPEG4MotionEstimator: sequence set-up with the neighbour tables, the whole-picture pass with
// the median forward predictor, field macroblocks and the band restriction.
#include "venc/me/mpeg4_motion_estimator.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "venc/common/debug_printf.h"

namespace orx::venc {

CMPEG4MotionEstimator::CMPEG4MotionEstimator() = default;

CMPEG4MotionEstimator::CMPEG4MotionEstimator(dsp::CMotionEstimationCore* meCore)
    : CMPEG2MotionEstimator(meCore) {}

CMPEG4MotionEstimator::~CMPEG4MotionEstimator() { delete[] neighbourTables_; }

CMPEG4MotionEstimator::NeighbourTableSet CMPEG4MotionEstimator::AllocateNeighbourTables() {
  return new (std::nothrow) int16_t[4][16];
}

bool CMPEG4MotionEstimator::Init(const EncoderSettings* settings, CMBEncoder* encoder) {
  delete[] neighbourTables_;
  neighbourTables_ = nullptr;
  if (!CMPEG2MotionEstimator::Init(settings, encoder)) return false;
  if (settings->codec == CODEC_H264) {
    neighbourTables_ = AllocateNeighbourTables();
    if (neighbourTables_ == nullptr) {
      DebugPrintf("VIDEOENC: no memory for the H.264 neighbour tables\n");
      return false;
    }
    BuildNeighbourTables(settings->mbCols, neighbourTables_);
  }
  return true;
}

void CMPEG4MotionEstimator::Close() {
  CMPEG2MotionEstimator::Close();
  delete[] neighbourTables_;
  neighbourTables_ = nullptr;
}

bool CMPEG4MotionEstimator::InBand(int row) const {
  if ((modeFlags_ & ME_MODE_BAND) == 0) return true;
  const uint32_t first = modeFlags_ & 255;
  const uint32_t count = modeFlags_ >> 24;
  return static_cast<uint32_t>(row) - first < count;
}

void CMPEG4MotionEstimator::FillBorderRow4(MBInfo* first) {
  const int row = static_cast<int>(first - currentPicture_->mbInfo) / mbCols;
  FillBorderRow(first, row);
  const uint32_t flags =
      MBINFO_PART_16X16 | (pictureType == PICTURE_P || forwardSearch ? MBINFO_FORWARD
                                                                     : MBINFO_BACKWARD);
  for (int c = 0; c < mbCols; ++c) first[c].flags = flags;
}

void CMPEG4MotionEstimator::EstimatePicture(MBInfo* mbInfo) {
  if (pictureType == PICTURE_I) {
    EstimateIntraPicture(mbInfo);
  } else if (settings_->codec == CODEC_H264 && progressivePicture_) {
    EstimatePartitions(mbInfo);
  } else {
    EstimateFramePicture(mbInfo);
  }
}

void CMPEG4MotionEstimator::EstimateIntraPicture(MBInfo* mbInfo) {
  // The vectors of an I picture only predict later pictures.
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  const bool temporalActive = TemporalActive();
  const ArrayTemporalSource source(temporal_);
  CPicture* picture = currentPicture_;
  picture->interCostSum = picture->intraActivitySum = picture->intraCostSum;
  picture->intraMbCount = 0;
  for (int row = 0; row < mbRows; ++row) {
    if (!InBand(row)) continue;
    picture->intraMbCount += mbCols;
    for (int c = 0; c < mbCols; ++c) {
      const int i = row * mbCols + c;
      int x = 0;
      int y = 0;
      if (searchActive && temporalActive) source.Predict(i, &x, &y);
      mbInfo[i].mv[0].forward = {static_cast<int16_t>(x), static_cast<int16_t>(y)};
    }
  }
}

void CMPEG4MotionEstimator::EstimateFramePicture(MBInfo* mbInfo) {
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  const bool temporalActive = TemporalActive();
  rowPredictor = searchActive && (predictorWord & 1) != 0;
  const ArrayTemporalSource source(temporal_);
  const ITemporalSource* temporal = temporalActive ? &source : nullptr;
  CPicture* picture = currentPicture_;
  // Field macroblocks of interlaced H.264 pictures; their pairs make the border half as deep.
  const bool fieldMacroblocks = settings_->codec == CODEC_H264 && !progressivePicture_;
  const int border = settings_->borderY >> (fieldMacroblocks ? 5 : 4);
  BeginRows();
  bool firstOfRun = true;
  for (int row = 0; row < mbRows; ++row) {
    if (!InBand(row)) continue;
    MBInfo* first = mbInfo + row * mbCols;
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    if (row < border || row >= mbRows - border) {
      FillBorderRow4(first);
      picture->interCostSum += 1;
      continue;
    }
    const RowTotals totals = search_.EstimateRow(first, row, firstOfRun, temporal, fieldMacroblocks);
    firstOfRun = false;
    const int32_t rowCost = totals.costTotal + totals.intraSum;
    picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
    picture->interCostSum += rowCost;
    picture->intraActivitySum += totals.intraSum;
    picture->intraMbCount += totals.intraCount;
  }
}

}  // namespace orx::venc
