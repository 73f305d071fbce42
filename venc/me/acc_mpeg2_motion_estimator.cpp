// CAccMPEG2MotionEstimator: band and per-row estimation on the accelerator's workers.
#include "venc/me/acc_mpeg2_motion_estimator.h"

#include <algorithm>
#include <new>
#include <vector>

namespace orx::venc {

CAccMPEG2MotionEstimator::CAccMPEG2MotionEstimator(IEncodeAccelerator* accelerator,
                                                   int estimationWorkers, bool perRow)
    : accelerator_(accelerator),
      bandCount_(std::clamp(estimationWorkers, 1, kMaxBands)),
      perRow_(perRow) {}

CAccMPEG2MotionEstimator::CAccMPEG2MotionEstimator(dsp::CMotionEstimationCore* meCore,
                                                   IEncodeAccelerator* accelerator,
                                                   int estimationWorkers, bool perRow)
    : CMPEG2MotionEstimator(meCore),
      accelerator_(accelerator),
      bandCount_(std::clamp(estimationWorkers, 1, kMaxBands)),
      perRow_(perRow) {}

bool CAccMPEG2MotionEstimator::Init(const EncoderSettings* settings, CMBEncoder* encoder) {
  exchange_.reset();
  if (!CMPEG2MotionEstimator::Init(settings, encoder)) return false;
  const size_t count = static_cast<size_t>(settings->mbCols) * settings->mbRows;
  exchange_.reset(new (std::nothrow) MbExchangeEntry[count]());
  return exchange_ != nullptr;
}

void CAccMPEG2MotionEstimator::Close() {
  CMPEG2MotionEstimator::Close();
  exchange_.reset();
}

bool CAccMPEG2MotionEstimator::BuildAccConfig() {
  if (accelerator_ == nullptr) return false;
  AccConfig config = AccConfigOfPicture();
  accelerator_->ConfigureME(&config);
  return true;
}

bool CAccMPEG2MotionEstimator::BeginPass() {
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  rowPredictor = searchActive && (predictorWord & 1) != 0;
  BeginRows();
  return TemporalActive();
}

bool CAccMPEG2MotionEstimator::IsBorderRow(int row) const {
  const int border = settings_->borderY >> 4;
  return row < border || row >= mbRows - border;
}

void CAccMPEG2MotionEstimator::AddRowTotals(const RowTotals& totals) {
  CPicture* picture = currentPicture_;
  const int32_t rowCost = totals.costTotal + totals.intraSum;
  picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
  picture->interCostSum += rowCost;
  picture->intraActivitySum += totals.intraSum;
  picture->intraMbCount += totals.intraCount;
}

void CAccMPEG2MotionEstimator::EstimateRowsHere(MBInfo* mbInfo, int firstRow, int rows,
                                                const ITemporalSource* temporal) {
  BeginRows();
  for (int row = firstRow; row < firstRow + rows; ++row) {
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    AddRowTotals(EstimateMacroblockRow(mbInfo + row * mbCols, row, row == firstRow, temporal));
  }
}

void CAccMPEG2MotionEstimator::EstimatePicture(MBInfo* mbInfo) {
  // Without an accelerator no worker would search: the picture is estimated here.
  if (pictureType == PICTURE_I || accelerator_ == nullptr || exchange_ == nullptr) {
    CMPEG2MotionEstimator::EstimatePicture(mbInfo);
    return;
  }
  if (perRow_) {
    EstimateRowJobs(mbInfo);
    return;
  }
  const bool temporalActive = BeginPass();
  const ArrayTemporalSource source(temporal_);
  BuildAccConfig();

  // Border rows are settled here; the rows between them are split into the bands.
  int firstEstimated = mbRows;
  int estimatedRows = 0;
  for (int row = 0; row < mbRows; ++row) {
    if (IsBorderRow(row)) {
      FillBorderRow(mbInfo + row * mbCols, row);
      currentPicture_->interCostSum += 1;
    } else {
      firstEstimated = std::min(firstEstimated, row);
      ++estimatedRows;
    }
  }

  AccBandStats statistics[kMaxBands] = {};
  EncAccJob jobs[kMaxBands] = {};
  bool posted[kMaxBands] = {};
  const ITemporalSource* exchangeTemporal = rowPredictor && temporalActive ? &source : nullptr;
  int row = firstEstimated;
  for (int band = 0; band < bandCount_; ++band) {
    const int rows = estimatedRows / bandCount_ + (band < estimatedRows % bandCount_ ? 1 : 0);
    // With fewer rows than bands the empty bands post nothing, so that no empty record is
    // summed into the picture.
    if (rows == 0) continue;
    for (int r = row; r < row + rows; ++r) FillExchangeRow(exchange_.get(), mbInfo, r, exchangeTemporal);
    jobs[band] = MakeAccJob(ACC_JOB_SEARCH | ACC_JOB_REFINE, row, rows, exchange_.get(), mbInfo, &statistics[band]);
    posted[band] = accelerator_->PostJob(&jobs[band]);
    if (!posted[band]) EstimateRowsHere(mbInfo, row, rows, temporalActive ? &source : nullptr);
    row += rows;
  }
  for (int band = 0; band < bandCount_; ++band) {
    // A failed wait leaves its record unfinished: it is not summed.
    if (posted[band] && accelerator_->WaitJob(&jobs[band]) != 0) {
      AddAccStatistics(statistics[band]);
    }
  }
  accelerator_->Reset(currentPicture_->sourceBufferIndex);
}

void CAccMPEG2MotionEstimator::EstimateRowJobs(MBInfo* mbInfo) {
  const bool temporalActive = BeginPass();
  const ArrayTemporalSource source(temporal_);
  BuildAccConfig();
  // The encoder thread's searches stop before the refinements; the worker refines.
  searchModeWord |= 16;

  // A B picture searched backward only keeps its forward candidate's cost in the MBInfo; the
  // search here overwrites it with the chosen cost, so it is put back for the worker's
  // decision.
  const bool keepForwardCost = !forwardSearch && backwardSearch;
  std::vector<int32_t> forwardCost(keepForwardCost ? mbCols : 0);
  std::vector<int32_t> chosenCost(forwardCost.size());

  AccBandStats statistics[2] = {};
  EncAccJob jobs[2] = {};
  int outstanding = -1;  // the row whose job is still running
  bool firstOfRun = true;
  for (int row = 0; row < mbRows; ++row) {
    MBInfo* first = mbInfo + row * mbCols;
    if (IsBorderRow(row)) {
      FillBorderRow(first, row);
      currentPicture_->interCostSum += 1;
      continue;
    }
    for (size_t c = 0; c < forwardCost.size(); ++c) forwardCost[c] = first[c].interCost;
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    const RowTotals own =
        EstimateMacroblockRow(first, row, firstOfRun, temporalActive ? &source : nullptr);
    firstOfRun = false;
    for (size_t c = 0; c < forwardCost.size(); ++c) {
      chosenCost[c] = first[c].interCost;
      first[c].interCost = forwardCost[c];
    }
    const int parity = row & 1;
    statistics[parity] = AccBandStats{};
    jobs[parity] = MakeAccJob(ACC_JOB_REFINE, row, 1, exchange_.get(), mbInfo, &statistics[parity]);
    const bool posted = accelerator_->PostJob(&jobs[parity]);
    if (!posted) {
      // The full-pel search stands unrefined.
      for (size_t c = 0; c < chosenCost.size(); ++c) first[c].interCost = chosenCost[c];
      AddRowTotals(own);
    }
    if (outstanding >= 0 && accelerator_->WaitJob(&jobs[outstanding & 1]) != 0) {
      AddAccStatistics(statistics[outstanding & 1]);
    }
    outstanding = posted ? row : -1;
  }
  if (outstanding >= 0 && accelerator_->WaitJob(&jobs[outstanding & 1]) != 0) {
    AddAccStatistics(statistics[outstanding & 1]);
  }
  accelerator_->Reset(currentPicture_->sourceBufferIndex);
}

}  // namespace orx::venc
