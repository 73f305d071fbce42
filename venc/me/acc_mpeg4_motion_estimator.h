#pragma once
// CAccMPEG4MotionEstimator: the MPEG-4 style estimator that spreads the search of a P or B
// picture over the motion-estimation workers of the encode accelerator (CEncAccMPEG4CPUME):
// the estimated rows are split into up to 8 bands, the encoder thread writes each band's
// exchange records (temporal predictors, directions, intra activity) and posts one job, then
// waits for the bands in order and sums their statistics into the picture. The workers search
// every macroblock as 16x16 (no partition search). I pictures, and every picture when there is
// no accelerator, are estimated on the encoder thread as the base estimator does.
#include <memory>

#include "venc/common/encode_accelerator.h"
#include "venc/me/acc_records.h"
#include "venc/me/mpeg4_motion_estimator.h"

namespace orx::venc {

class CAccMPEG4MotionEstimator : public CMPEG4MotionEstimator {
 public:
  static constexpr int kMaxBands = 8;

  // estimationWorkers is the band count (0 is taken as 1, more than 8 as 8). The per-row kind
  // is the MPEG-2 style estimator's only: here it is kept and not read. The accelerator
  // belongs to the encoder and outlives the estimator.
  CAccMPEG4MotionEstimator(IEncodeAccelerator* accelerator, int estimationWorkers, bool perRow);
  // The same with a given core (taken over).
  CAccMPEG4MotionEstimator(dsp::CMotionEstimationCore* core, IEncodeAccelerator* accelerator,
                           int estimationWorkers, bool perRow);

  bool Init(const EncoderSettings* settings, CMBEncoder* encoder) override;
  void Close() override;
  void EstimatePicture(MBInfo* mbInfo) override;

 private:
  bool BuildAccConfig();
  bool IsBorderRow(int row) const;
  // Rows estimated on the encoder thread when a job could not be posted.
  void EstimateRowsHere(MBInfo* mbInfo, int firstRow, int rows, const ITemporalSource* temporal);

  IEncodeAccelerator* accelerator_;
  int bandCount_;
  bool perRow_;
  std::unique_ptr<MbExchangeEntry[]> exchange_;
};

}  // namespace orx::venc
