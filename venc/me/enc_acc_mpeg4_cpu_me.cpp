// CEncAccMPEG4CPUME: the MPEG-4 style rows of one band job.
#include "venc/me/enc_acc_mpeg4_cpu_me.h"

#include <algorithm>

namespace orx::venc {

void CEncAccMPEG4CPUME::Configure(const AccContext* context) {
  CEncAccCPUME::Configure(context);
  if (context == nullptr) return;
  fieldMacroblocks_ = context->config.h264Flag != 0;
  search_.offsetField = static_cast<int>(context->config.currentDecimatedOffset);
}

bool CEncAccMPEG4CPUME::EstimateRows(const EncAccJob* job) {
  if (job == nullptr || job->statistics == nullptr || job->mbInfo == nullptr) return false;
  if (context_ == nullptr || !rowBuffersReady_ || currentSource_ == nullptr) return false;
  CMotionSearch& s = search_;
  AccBandStats& stats = *job->statistics;
  const int columns = s.mbCols;
  const int firstRow = job->tag / columns;
  const int endRow = std::min((job->tag + job->count) / columns, s.mbRows);
  s.rowPredictor = true;
  s.maxForwardX = s.maxForwardY = s.maxBackwardX = s.maxBackwardY = 0;
  s.BeginRows();
  const ExchangeTemporalSource exchange(job->exchange, s.backwardSearch);
  const ITemporalSource* temporal =
      temporalPredictors_ && job->exchange != nullptr ? &exchange : nullptr;
  for (int row = firstRow; row < endRow; ++row) {
    s.currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * s.stride;
    const CMotionSearch::RowTotals totals = mpeg4_.EstimateRow(
        job->mbInfo + row * columns, row, row == firstRow, temporal, fieldMacroblocks_);
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
