// CEncAccCPUME: the rows of one job on the worker's copy of the search state.
#include "venc/me/enc_acc_cpu_me.h"

#include <algorithm>

namespace orx::venc {

CEncAccCPUME::CEncAccCPUME(dsp::CMotionEstimationCore* core) { search_.core = core; }

void CEncAccCPUME::ExchangeTemporalSource::Predict(int mbIndex, int* x, int* y) const {
  const MbExchangeEntry& e = entries_[mbIndex];
  *x = backward_ ? e.backwardPredX : e.forwardPredX;
  *y = backward_ ? e.backwardPredY : e.forwardPredY;
}

void CEncAccCPUME::Configure(const AccContext* context) {
  context_ = context;
  if (context == nullptr) return;
  const AccConfig& c = context->config;
  CMotionSearch& s = search_;
  s.width = static_cast<int>(c.codedWidth);
  s.height = static_cast<int>(c.codedHeight);
  s.stride = static_cast<int>(c.stride);
  s.mbCols = static_cast<int>(c.mbCols);
  s.mbRows = static_cast<int>(c.mbRows);
  s.rangeX = static_cast<int>(c.rangeX);
  s.rangeY = static_cast<int>(c.rangeY);
  s.windowHalfWidth = static_cast<int>(c.windowHalfWidth);
  s.windowHalfHeight = static_cast<int>(c.windowHalfHeight);
  // The limits may lie left of or above the picture: the words carry signed values.
  s.minX = static_cast<int32_t>(c.minX);
  s.minY = static_cast<int32_t>(c.minY);
  s.maxX = static_cast<int32_t>(c.maxX);
  s.maxY = static_cast<int32_t>(c.maxY);
  s.searchMode = static_cast<int>(c.searchMode);
  s.intraThreshold = static_cast<int>(c.intraThreshold);
  s.intraDecisions = c.intraThreshold != 0;
  s.vectorPenalty = static_cast<int>(c.vectorPenalty);
  s.searchModeWord = c.searchModeWord;
  s.subPelWord = c.halfPelRefinement;
  s.noSearch = 0;
  s.pictureType = c.pictureType;
  s.forwardSearch = (c.directions & EXCHANGE_FORWARD) != 0;
  s.backwardSearch = (c.directions & EXCHANGE_BACKWARD) != 0;
  s.storedVector = s.backwardSearch ? 1 : 0;
  s.forwardPlane = context->forwardRecon.luma;
  s.backwardPlane = context->backwardRecon.luma;
  s.primaryPlane = s.backwardSearch ? context->backwardSource.luma : context->forwardSource.luma;
  s.decimated = c.decimated;
  s.decimatedStride = static_cast<int>(c.decimatedStride);
  s.decimatedRows = static_cast<int>(c.decimatedRows);
  s.offset2to1 = static_cast<int>(c.plane2to1Offset);
  s.offset4to1 = static_cast<int>(c.plane4to1Offset);
  temporalPredictors_ = c.temporalPredictors != 0;
  currentSource_ = context->currentSource.luma;
  // The row buffers cover every column of the picture with one zero entry on each side.
  if (s.mbCols != rowBufferColumns_) {
    rowBuffersReady_ = s.mbCols > 0 && s.AllocateRowBuffers(s.mbCols);
    rowBufferColumns_ = rowBuffersReady_ ? s.mbCols : -1;
  }
  if (rowBuffersReady_) s.BeginRows();
}

bool CEncAccCPUME::EstimateRows(const EncAccJob* job) {
  if (job == nullptr) return false;
  return RunRows(job, (job->kind & ACC_JOB_SEARCH) != 0, (job->kind & ACC_JOB_REFINE) != 0, true);
}

bool CEncAccCPUME::RefineRows(const EncAccJob* job) { return RunRows(job, false, true, false); }

bool CEncAccCPUME::RunRows(const EncAccJob* job, bool search, bool refine, bool predictors) {
  if (job == nullptr || job->statistics == nullptr || job->mbInfo == nullptr) return false;
  if (context_ == nullptr || !rowBuffersReady_ || currentSource_ == nullptr) return false;
  CMotionSearch& s = search_;
  AccBandStats& stats = *job->statistics;
  const int columns = s.mbCols;
  const int firstRow = job->tag / columns;
  const int endRow = std::min((job->tag + job->count) / columns, s.mbRows);
  s.searchStep = search;
  s.refineStep = refine;
  s.rowPredictor = predictors;
  s.chainPredictors = predictors;
  s.maxForwardX = s.maxForwardY = s.maxBackwardX = s.maxBackwardY = 0;
  s.BeginRows();
  const ExchangeTemporalSource exchange(job->exchange, s.backwardSearch);
  const ITemporalSource* temporal =
      predictors && temporalPredictors_ && job->exchange != nullptr ? &exchange : nullptr;
  for (int row = firstRow; row < endRow; ++row) {
    s.currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * s.stride;
    const CMotionSearch::RowTotals totals =
        s.EstimateMacroblockRow(job->mbInfo + row * columns, row, row == firstRow, temporal);
    const int32_t rowTotal = totals.costTotal + totals.intraSum;
    stats.minRowTotal = row == firstRow ? rowTotal : std::min(stats.minRowTotal, rowTotal);
    stats.costSum += rowTotal;
    stats.intraActivitySum += totals.intraSum;
    stats.intraMbCount += totals.intraCount;
  }
  stats.maxForwardX = s.maxForwardX;
  stats.maxForwardY = s.maxForwardY;
  stats.maxBackwardX = s.maxBackwardX;
  stats.maxBackwardY = s.maxBackwardY;
  return true;
}

}  // namespace orx::venc
