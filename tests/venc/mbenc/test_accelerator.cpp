#include "tests/venc/mbenc/test_accelerator.h"

#include <algorithm>

#include "venc/common/picture.h"
#include "venc/dsp/core_factories.h"

namespace orx::venc::test {

TestAccelerator::TestAccelerator(PlaneLookup planes) : planes_(std::move(planes)) {
  dsp::CreateMBCore(&core_);
  core_->InitMcTables();
  worker_ = std::thread([this] { Run(); });
}

TestAccelerator::~TestAccelerator() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
  delete core_;
}

void TestAccelerator::ConfigureMCP(const AccConfig* config) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_ = *config;
  ++configurations_;
}

void TestAccelerator::Reset(int) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Jobs still running finish first; then every slot is free.
  changed_.wait(lock, [this] { return std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.done; }); });
  slots_.clear();
  ++resets_;
}

bool TestAccelerator::PostJob(const EncAccJob* job) {
  if (refuse && refuse(job->tag / static_cast<int>(config_.mbCols))) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Slot& s : slots_) {
      if (s.job.kind == job->kind && s.job.tag == job->tag) ++protocolErrors_;
    }
    slots_.push_back({*job, false});
    ++posted_;
    const int outstanding = static_cast<int>(slots_.size());
    maxOutstanding_ = std::max(maxOutstanding_, outstanding);
  }
  changed_.notify_all();
  return true;
}

int TestAccelerator::WaitJob(EncAccJob* job) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto match = [&](const Slot& s) { return s.job.kind == job->kind && s.job.tag == job->tag; };
  if (std::none_of(slots_.begin(), slots_.end(), match)) {
    ++protocolErrors_;
    return -1;
  }
  changed_.wait(lock, [&] {
    const auto it = std::find_if(slots_.begin(), slots_.end(), match);
    return it->done;
  });
  const auto it = std::find_if(slots_.begin(), slots_.end(), match);
  job->state = ACC_JOB_DONE;
  slots_.erase(it);
  return 0;
}

void TestAccelerator::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.done; });
    });
    if (stopping_) return;
    auto it = std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.done; });
    const EncAccJob job = it->job;
    lock.unlock();
    PredictRow(job);
    lock.lock();
    // The slot may have moved while unlocked; find it again.
    it = std::find_if(slots_.begin(), slots_.end(),
                      [&](const Slot& s) { return s.job.kind == job.kind && s.job.tag == job.tag; });
    if (it != slots_.end()) it->done = true;
    changed_.notify_all();
  }
}

void TestAccelerator::PredictRow(const EncAccJob& job) {
  AccConfig config;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    config = config_;
  }
  const int columns = static_cast<int>(config.mbCols);
  const int row = job.tag / columns;
  // Odd rows use the pair after the even one: odd luma follows the even chroma.
  uint8_t* luma = config.evenRowPredLuma;
  uint8_t* chroma = config.evenRowPredChroma;
  if (row & 1) {
    luma = config.evenRowPredChroma + 128 * columns;
    chroma = luma + 256 * columns;
  }
  const auto reference = [&](uint16_t index, uint8_t** planes) {
    const auto p = planes_(index);
    planes[0] = p.first;
    planes[1] = p.second;
  };
  uint8_t* forward[2] = {};
  uint8_t* backward[2] = {};
  if (config.forwardRecon != ACC_NO_BUFFER) reference(config.forwardRecon, forward);
  if (config.backwardRecon != ACC_NO_BUFFER) reference(config.backwardRecon, backward);
  const int stride = static_cast<int>(config.stride);
  for (int col = 0; col < job.count; ++col, luma += 256, chroma += 128) {
    const MBInfo& mb = job.mbInfo[job.tag + col];
    if (mb.flags & MBINFO_INTRA) continue;
    uint8_t* prediction[2] = {luma, chroma};
    const int x = 16 * col;
    const int y = 16 * row;
    const PackedMV f = mb.mv[0].forward;
    const PackedMV b = mb.mv[0].backward;
    if ((mb.flags & MBINFO_BIDIRECTIONAL) == MBINFO_BIDIRECTIONAL) {
      core_->MotionCompensateMBBidir(forward, backward, prediction, stride, x, y, f.x, f.y, b.x, b.y);
    } else if (mb.flags & MBINFO_BACKWARD) {
      core_->MotionCompensateMB(backward, prediction, stride, x, y, b.x, b.y);
    } else if (mb.flags & MBINFO_FORWARD) {
      core_->MotionCompensateMB(forward, prediction, stride, x, y, f.x, f.y);
    } else {
      // A P macroblock without the forward flag uses the zero vector.
      core_->MotionCompensateMB(forward, prediction, stride, x, y, 0, 0);
    }
  }
}

}  // namespace orx::venc::test
