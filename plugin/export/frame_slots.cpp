#include "plugin/export/frame_slots.h"

#include <chrono>

namespace orx::plugin {

void FrameSlots::Reset(int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  count_ = maximum_ = maximum;
  refused_ = 0;
  freed_.notify_all();
}

void FrameSlots::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  freed_.wait(lock, [this] { return count_ > 0; });
  --count_;
}

bool FrameSlots::TryAcquireFor(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!freed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return count_ > 0; })) {
    return false;
  }
  --count_;
  return true;
}

bool FrameSlots::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ >= maximum_) {
    ++refused_;
    return false;
  }
  ++count_;
  freed_.notify_one();
  return true;
}

int FrameSlots::available() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

int FrameSlots::refusedReleases() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

}  // namespace orx::plugin
