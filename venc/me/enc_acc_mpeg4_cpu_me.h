#pragma once
// CEncAccMPEG4CPUME: the worker object of the threaded MPEG-4 style estimator. On its own copy
// of the picture's search state it estimates the rows of a band job as the MPEG-4 style
// estimator does (quarter-pel vectors, the median forward predictor from the second row of
// the job on, field macroblocks of interlaced H.264 pictures on one field).
#include "venc/me/enc_acc_cpu_me.h"
#include "venc/me/mpeg4_search.h"

namespace orx::venc {

class CEncAccMPEG4CPUME : public CEncAccCPUME {
 public:
  explicit CEncAccMPEG4CPUME(dsp::CMotionEstimationCore* core) : CEncAccCPUME(core) {}

  // False for a null job or one without a statistics record or MBInfo rows.
  bool EstimateRows(const EncAccJob* job) override;
  // The base state plus the H.264 field flag and the field-decimated plane.
  void Configure(const AccContext* context) override;

 private:
  CMPEG4Search mpeg4_{search_};
  bool fieldMacroblocks_ = false;
};

}  // namespace orx::venc
