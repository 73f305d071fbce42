#pragma once
// The test pool: a small encode accelerator, IEncodeAccelerator over std::thread workers that
// run the worker objects of the threaded estimators (CEncAccCPUME for motion-estimation jobs,
// CEncAccCPUMC for prediction jobs), each worker with its own core. Frame-buffer indices are
// resolved through the encoder's picture store. Every job posted is recorded.
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "venc/common/encode_accelerator.h"
#include "venc/common/frame_store.h"
#include "venc/dsp/mb_core.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/me/enc_acc_cpu_mc.h"
#include "venc/me/enc_acc_cpu_me.h"
#include "venc/me/enc_acc_mpeg4_cpu_me.h"

namespace orx::venc::test {

class TestPool : public IEncodeAccelerator {
 public:
  // mpeg4Style: the estimation workers are the MPEG-4 style ones (CEncAccMPEG4CPUME).
  TestPool(int estimationWorkers, int predictionWorkers, bool mpeg4Style = false);
  ~TestPool();
  TestPool(const TestPool&) = delete;
  TestPool& operator=(const TestPool&) = delete;

  void SetFrameStore(const CFrameStore* store) { store_ = store; }
  // The next `count` posts are refused (PostJob answers false and nothing runs).
  void RefusePosts(int count) { refusals_ = count; }

  void ConfigureME(const AccConfig* config) override;
  void ConfigureMCP(const AccConfig* config) override;
  void SetPreprocessConfig(const AccConfig* config) override;
  void Reset(int pictureIndex) override;
  bool PostJob(const EncAccJob* job) override;
  int WaitJob(EncAccJob* job) override;

  // Read on the posting thread only.
  std::vector<EncAccJob> posted;
  int resets = 0;

 private:
  struct Worker {
    std::unique_ptr<dsp::CMotionEstimationCore> meCore;
    std::unique_ptr<dsp::CMBCore> mbCore;
    std::unique_ptr<CEncAccCPUME> estimation;
    std::unique_ptr<CEncAccCPUMC> prediction;
    std::thread thread;
  };
  void Resolve(const AccConfig& config, AccContext* context) const;
  void Run(Worker* worker);
  EncAccJob* NextJob(bool estimation);

  const CFrameStore* store_ = nullptr;
  int refusals_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::list<EncAccJob> slots_;
  bool stop_ = false;
  AccContext estimationContext_{};
  AccContext preprocessContext_{};
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace orx::venc::test
