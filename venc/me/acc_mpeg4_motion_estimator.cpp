// CAccMPEG4MotionEstimator: band estimation on the accelerator's MPEG-4 style workers.
#include "venc/me/acc_mpeg4_motion_estimator.h"

#include <algorithm>
#include <new>

namespace orx::venc {

CAccMPEG4MotionEstimator::CAccMPEG4MotionEstimator(IEncodeAccelerator* accelerator,
                                                   int estimationWorkers, bool perRow)
    : accelerator_(accelerator),
      bandCount_(std::clamp(estimationWorkers, 1, kMaxBands)),
      perRow_(perRow) {}

CAccMPEG4MotionEstimator::CAccMPEG4MotionEstimator(dsp::CMotionEstimationCore* meCore,
                                                   IEncodeAccelerator* accelerator,
                                                   int estimationWorkers, bool perRow)
    : CMPEG4MotionEstimator(meCore),
      accelerator_(accelerator),
      bandCount_(std::clamp(estimationWorkers, 1, kMaxBands)),
      perRow_(perRow) {}

bool CAccMPEG4MotionEstimator::Init(const EncoderSettings* settings, CMBEncoder* encoder) {
  exchange_.reset();
  if (!CMPEG4MotionEstimator::Init(settings, encoder)) return false;
  const size_t count = static_cast<size_t>(settings->mbCols) * settings->mbRows;
  exchange_.reset(new (std::nothrow) MbExchangeEntry[count]());
  return exchange_ != nullptr;
}

void CAccMPEG4MotionEstimator::Close() {
  CMPEG4MotionEstimator::Close();
  exchange_.reset();
}

bool CAccMPEG4MotionEstimator::BuildAccConfig() {
  if (accelerator_ == nullptr) return false;
  AccConfig config = AccConfigOfPicture();
  config.currentDecimatedOffset = static_cast<uint32_t>(offsetField);
  accelerator_->ConfigureME(&config);
  return true;
}

bool CAccMPEG4MotionEstimator::IsBorderRow(int row) const {
  // Interlaced H.264 pictures code macroblock pairs: the border counts half as many rows.
  const bool fieldMacroblocks = settings_->codec == CODEC_H264 && !progressivePicture_;
  const int border = settings_->borderY >> (fieldMacroblocks ? 5 : 4);
  return row < border || row >= mbRows - border;
}

void CAccMPEG4MotionEstimator::EstimateRowsHere(MBInfo* mbInfo, int firstRow, int rows,
                                                const ITemporalSource* temporal) {
  const bool fieldMacroblocks = settings_->codec == CODEC_H264 && !progressivePicture_;
  BeginRows();
  CPicture* picture = currentPicture_;
  for (int row = firstRow; row < firstRow + rows; ++row) {
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    const RowTotals totals =
        search_.EstimateRow(mbInfo + row * mbCols, row, row == firstRow, temporal, fieldMacroblocks);
    const int32_t rowCost = totals.costTotal + totals.intraSum;
    picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
    picture->interCostSum += rowCost;
    picture->intraActivitySum += totals.intraSum;
    picture->intraMbCount += totals.intraCount;
  }
}

void CAccMPEG4MotionEstimator::EstimatePicture(MBInfo* mbInfo) {
  // Without an accelerator no worker would search: the picture is estimated here.
  if (pictureType == PICTURE_I || accelerator_ == nullptr || exchange_ == nullptr) {
    CMPEG4MotionEstimator::EstimatePicture(mbInfo);
    return;
  }
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  rowPredictor = searchActive && (predictorWord & 1) != 0;
  const bool temporalActive = TemporalActive();
  BeginRows();
  const ArrayTemporalSource source(temporal_);
  BuildAccConfig();

  int firstEstimated = mbRows;
  int estimatedRows = 0;
  for (int row = 0; row < mbRows; ++row) {
    if (IsBorderRow(row)) {
      FillBorderRow4(mbInfo + row * mbCols);
      currentPicture_->interCostSum += 1;
    } else {
      firstEstimated = std::min(firstEstimated, row);
      ++estimatedRows;
    }
  }

  AccBandStats statistics[kMaxBands] = {};
  EncAccJob jobs[kMaxBands] = {};
  bool posted[kMaxBands] = {};
  // Exchange records carry temporal predictors only when there are any.
  const ITemporalSource* temporal = rowPredictor && temporalActive ? &source : nullptr;
  int row = firstEstimated;
  for (int band = 0; band < bandCount_; ++band) {
    const int rows = estimatedRows / bandCount_ + (band < estimatedRows % bandCount_ ? 1 : 0);
    if (rows == 0) continue;  // fewer rows than bands: nothing empty is summed
    for (int r = row; r < row + rows; ++r) FillExchangeRow(exchange_.get(), mbInfo, r, temporal);
    jobs[band] = MakeAccJob(ACC_JOB_SEARCH | ACC_JOB_REFINE, row, rows, exchange_.get(), mbInfo,
                            &statistics[band]);
    posted[band] = accelerator_->PostJob(&jobs[band]);
    if (!posted[band]) EstimateRowsHere(mbInfo, row, rows, temporalActive ? &source : nullptr);
    row += rows;
  }
  for (int band = 0; band < bandCount_; ++band) {
    // A failed wait leaves its record unfinished: it is not summed.
    if (posted[band] && accelerator_->WaitJob(&jobs[band]) != 0) AddAccStatistics(statistics[band]);
  }
  accelerator_->Reset(currentPicture_->sourceBufferIndex);
}

}  // namespace orx::venc
