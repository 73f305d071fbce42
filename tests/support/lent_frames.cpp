#include "tests/support/lent_frames.h"

#include <cstring>
#include <utility>

namespace orx::test {

LentFrames::~LentFrames() {
  for (auto& entry : outstanding_) delete[] entry.first;
}

void LentFrames::Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self) {
  if ((buffer->flags & QVA_BUFFLAG_INPLACE) == 0) return;
  auto* frames = static_cast<LentFrames*>(self);
  std::lock_guard<std::mutex> hold(frames->mutex_);
  auto it = frames->outstanding_.find(buffer->data);
  if (it == frames->outstanding_.end()) {
    frames->releasedTwice_ += 1;
    return;
  }
  if (frames->outputLeft_ && !frames->outputLeft_(it->second)) frames->releasedEarly_ += 1;
  delete[] it->first;
  frames->outstanding_.erase(it);
  frames->released_ += 1;
  frames->releasedChanged_.notify_all();
}

uint8_t* LentFrames::Lend(const uint8_t* bytes, size_t size, uint64_t timestamp) {
  uint8_t* copy = new uint8_t[size];
  std::memcpy(copy, bytes, size);
  std::lock_guard<std::mutex> hold(mutex_);
  outstanding_[copy] = timestamp;
  return copy;
}

void LentFrames::CheckReleasesAgainst(std::function<bool(uint64_t)> outputLeft) {
  std::lock_guard<std::mutex> hold(mutex_);
  outputLeft_ = std::move(outputLeft);
}

int LentFrames::Released() {
  std::lock_guard<std::mutex> hold(mutex_);
  return released_;
}

bool LentFrames::WaitForReleased(int count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(mutex_);
  return releasedChanged_.wait_for(hold, timeout, [&] { return released_ >= count; });
}

int LentFrames::Outstanding() {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<int>(outstanding_.size());
}

int LentFrames::ReleasedTwice() {
  std::lock_guard<std::mutex> hold(mutex_);
  return releasedTwice_;
}

int LentFrames::ReleasedEarly() {
  std::lock_guard<std::mutex> hold(mutex_);
  return releasedEarly_;
}

}  // namespace orx::test
