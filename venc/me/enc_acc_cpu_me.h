#pragma once
// CEncAccCPUME: the motion-estimation worker object of the encode accelerator. Each worker
// thread has one, with its own block-matching core and its own copy of the picture's search
// state (taken from the AccContext at Configure), and estimates the macroblock rows of the jobs
// it is given: the band jobs of the threaded MPEG-2 estimator (search and refine, with the
// temporal predictors of the exchange records and the spatial predictors of its own rows) and
// the refine-only jobs of its per-row mode. Results go into the job's MBInfo rows and its
// statistics record; rows of different jobs never overlap.
#include <cstdint>

#include "venc/common/encode_accelerator.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/me/acc_records.h"
#include "venc/me/motion_search.h"

namespace orx::venc {

class CEncAccCPUME {
 public:
  // The core belongs to the accelerator's worker record and outlives this object.
  explicit CEncAccCPUME(dsp::CMotionEstimationCore* core);
  virtual ~CEncAccCPUME() = default;
  CEncAccCPUME(const CEncAccCPUME&) = delete;
  CEncAccCPUME& operator=(const CEncAccCPUME&) = delete;

  // Estimates the job's rows: the coarse search when the kind has ACC_JOB_SEARCH, the
  // refinements when it has ACC_JOB_REFINE. False for a null job or one without a statistics
  // record, and when the picture's row buffers could not be had.
  virtual bool EstimateRows(const EncAccJob* job);
  // Refines the vectors already in the job's MBInfo rows, with all predictors 0.
  virtual bool RefineRows(const EncAccJob* job);
  // Takes the picture's search state from the context (kept until the next Configure).
  virtual void Configure(const AccContext* context);
  // Between pictures: nothing is kept that needs clearing (the kernels leave no MMX state).
  virtual void Reset() {}

 protected:
  // The exchange records' temporal prediction of the direction the row buffers keep.
  class ExchangeTemporalSource : public ITemporalSource {
   public:
    ExchangeTemporalSource(const MbExchangeEntry* entries, bool backward)
        : entries_(entries), backward_(backward) {}
    void Predict(int mbIndex, int* x, int* y) const override;

   private:
    const MbExchangeEntry* entries_;
    bool backward_;
  };

  bool RunRows(const EncAccJob* job, bool search, bool refine, bool predictors);

  const AccContext* context_ = nullptr;
  CMotionSearch search_;
  const uint8_t* currentSource_ = nullptr;
  bool temporalPredictors_ = false;
  bool rowBuffersReady_ = false;
  int rowBufferColumns_ = -1;
};

}  // namespace orx::venc
