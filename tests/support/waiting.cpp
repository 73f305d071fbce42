#include "tests/support/waiting.h"

#include <thread>

namespace orx::test {

void CountingEvent::Raise() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
  raised_.notify_all();
}

void CountingEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  count_ = 0;
}

uint32_t CountingEvent::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

bool CountingEvent::WaitFor(uint32_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return raised_.wait_for(lock, timeout, [&] { return count_ >= count; });
}

bool PollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace orx::test
