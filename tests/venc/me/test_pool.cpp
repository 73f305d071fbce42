#include "tests/venc/me/test_pool.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "venc/dsp/core_factories.h"

namespace orx::venc::test {

TestPool::TestPool(int estimationWorkers, int predictionWorkers, bool mpeg4Style) {
  for (int i = 0; i < estimationWorkers + predictionWorkers; ++i) {
    auto worker = std::make_unique<Worker>();
    if (i < estimationWorkers) {
      dsp::CMotionEstimationCore* core = nullptr;
      EXPECT_TRUE(dsp::CreateMotionEstimationCore(&core));
      worker->meCore.reset(core);
      if (mpeg4Style) {
        worker->estimation = std::make_unique<CEncAccMPEG4CPUME>(core);
      } else {
        worker->estimation = std::make_unique<CEncAccCPUME>(core);
      }
    } else {
      dsp::CMBCore* core = nullptr;
      EXPECT_TRUE(dsp::CreateMBCore(&core));
      worker->mbCore.reset(core);
      worker->prediction = std::make_unique<CEncAccCPUMC>(core);
    }
    workers_.push_back(std::move(worker));
  }
  for (auto& worker : workers_) worker->thread = std::thread(&TestPool::Run, this, worker.get());
}

TestPool::~TestPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (auto& worker : workers_) worker->thread.join();
}

void TestPool::Resolve(const AccConfig& config, AccContext* context) const {
  const auto planes = [this](uint16_t index) -> FrameBufferPair {
    return store_ != nullptr ? store_->GetFrameBuffer(index) : FrameBufferPair{nullptr, nullptr};
  };
  context->config = config;
  context->forwardSource = planes(config.forwardSource);
  context->backwardSource = planes(config.backwardSource);
  context->forwardRecon = planes(config.forwardRecon);
  context->backwardRecon = planes(config.backwardRecon);
  context->currentSource = planes(config.currentSource);
  context->currentRecon = planes(config.currentRecon);
}

void TestPool::ConfigureME(const AccConfig* config) {
  std::lock_guard lock(mutex_);
  if (config != nullptr) Resolve(*config, &estimationContext_);
  for (auto& worker : workers_) {
    if (worker->estimation != nullptr) worker->estimation->Configure(&estimationContext_);
  }
}

void TestPool::ConfigureMCP(const AccConfig* config) {
  std::lock_guard lock(mutex_);
  if (config != nullptr) Resolve(*config, &estimationContext_);
  int index = 0;
  for (auto& worker : workers_) {
    if (worker->prediction != nullptr) worker->prediction->Configure(&estimationContext_, index++);
  }
}

void TestPool::SetPreprocessConfig(const AccConfig* config) {
  std::lock_guard lock(mutex_);
  if (config != nullptr) Resolve(*config, &preprocessContext_);
}

void TestPool::Reset(int /*pictureIndex*/) {
  std::unique_lock lock(mutex_);
  // A running job keeps its slot until it is done.
  changed_.wait(lock, [this] {
    return std::none_of(slots_.begin(), slots_.end(),
                        [](const EncAccJob& j) { return j.state == ACC_JOB_RUNNING; });
  });
  slots_.clear();
  for (auto& worker : workers_) {
    if (worker->estimation != nullptr) worker->estimation->Reset();
  }
  ++resets;
}

bool TestPool::PostJob(const EncAccJob* job) {
  if (job == nullptr) return true;
  if (refusals_ > 0) {
    --refusals_;
    return false;
  }
  posted.push_back(*job);
  {
    std::lock_guard lock(mutex_);
    slots_.push_back(*job);
    slots_.back().state = ACC_JOB_POSTED;
  }
  changed_.notify_all();
  return true;
}

int TestPool::WaitJob(EncAccJob* job) {
  std::unique_lock lock(mutex_);
  const auto slot = std::find_if(slots_.begin(), slots_.end(), [job](const EncAccJob& j) {
    return j.kind == job->kind && j.tag == job->tag;
  });
  if (slot == slots_.end()) return 1;
  changed_.wait(lock, [&slot] { return slot->state == ACC_JOB_DONE; });
  job->results[0] = slot->results[0];
  job->results[1] = slot->results[1];
  slots_.erase(slot);
  return 1;
}

EncAccJob* TestPool::NextJob(bool estimation) {
  for (EncAccJob& job : slots_) {
    const bool estimationJob = (job.kind & (ACC_JOB_SEARCH | ACC_JOB_REFINE)) != 0;
    if (job.state == ACC_JOB_POSTED && estimationJob == estimation) return &job;
  }
  return nullptr;
}

void TestPool::Run(Worker* worker) {
  const bool estimation = worker->estimation != nullptr;
  std::unique_lock lock(mutex_);
  for (;;) {
    EncAccJob* job = nullptr;
    changed_.wait(lock, [&] { return stop_ || (job = NextJob(estimation)) != nullptr; });
    if (stop_) return;
    job->state = ACC_JOB_RUNNING;
    lock.unlock();
    // As the pool does: search jobs run EstimateRows, refine-only jobs RefineRows.
    if (!estimation) {
      EXPECT_TRUE(worker->prediction->CompensateRow(job));
    } else if ((job->kind & ACC_JOB_SEARCH) != 0) {
      EXPECT_TRUE(worker->estimation->EstimateRows(job));
    } else {
      EXPECT_TRUE(worker->estimation->RefineRows(job));
    }
    lock.lock();
    job->state = ACC_JOB_DONE;
    changed_.notify_all();
  }
}

}  // namespace orx::venc::test
