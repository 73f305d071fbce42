#pragma once
// CAccMPEG2MotionEstimator: the MPEG-2 estimator that spreads the search of a P or B picture
// over the motion-estimation workers of the encode accelerator. The picture's estimated rows
// are split into up to 8 bands; for each band the encoder thread writes the exchange records
// (temporal predictors, directions, intra activity), then posts one job; after all posts it
// waits for the bands in order and sums their statistics into the picture. In the per-row
// mode (one worker) the encoder thread searches row r at full-pel precision while the worker
// refines row r - 1. I pictures, and every picture when there is no accelerator, are
// estimated on the encoder thread as the base estimator does.
#include <cstdint>
#include <memory>

#include "venc/common/encode_accelerator.h"
#include "venc/me/acc_records.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc {

class CAccMPEG2MotionEstimator : public CMPEG2MotionEstimator {
 public:
  static constexpr int kMaxBands = 8;

  // estimationWorkers is the band count (0 is taken as 1, more than 8 as 8); perRow selects
  // the row pipeline. The accelerator belongs to the encoder and outlives the estimator.
  CAccMPEG2MotionEstimator(IEncodeAccelerator* accelerator, int estimationWorkers, bool perRow);
  // The same with a given core (taken over).
  CAccMPEG2MotionEstimator(dsp::CMotionEstimationCore* core, IEncodeAccelerator* accelerator,
                           int estimationWorkers, bool perRow);

  bool Init(const EncoderSettings* settings, CMBEncoder* encoder) override;
  void Close() override;
  void EstimatePicture(MBInfo* mbInfo) override;

 protected:
  // Fills the picture's AccConfig and hands it to the accelerator; false without one.
  bool BuildAccConfig();
  // The per-row mode: search here, refine on the worker, one row apart.
  void EstimateRowJobs(MBInfo* mbInfo);

 private:
  // Clears the predictors and sets the row-predictor switch as the whole-picture pass does;
  // answers whether temporal prediction is active.
  bool BeginPass();
  // Rows estimated on the encoder thread when a job could not be posted.
  void EstimateRowsHere(MBInfo* mbInfo, int firstRow, int rows, const ITemporalSource* temporal);
  void AddRowTotals(const RowTotals& totals);
  bool IsBorderRow(int row) const;

  IEncodeAccelerator* accelerator_;
  int bandCount_;
  bool perRow_;
  std::unique_ptr<MbExchangeEntry[]> exchange_;
};

}  // namespace orx::venc
