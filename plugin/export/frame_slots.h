#pragma once
// The export pass's frame slots: a counting semaphore that starts full and never holds more
// than its maximum. A release beyond the maximum is refused and counted (it would let the
// host have more frames out than the pass allows).
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orx::plugin {

class FrameSlots {
 public:
  // Makes the semaphore full again with the given count and maximum.
  void Reset(int maximum);
  // Takes one count, waiting without a time limit.
  void Acquire();
  // Takes one count when one is free within timeoutMs.
  bool TryAcquireFor(uint32_t timeoutMs);
  // Gives one count back; false (and counted) when the semaphore is already full.
  bool Release();

  int available() const;
  int refusedReleases() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  int count_ = 0;
  int maximum_ = 0;
  int refused_ = 0;
};

}  // namespace orx::plugin
