#pragma once
// Host frames lent to a component by reference (QVA_BUFFLAG_INPLACE): each is a private copy,
// freed by the release callback of the component's input pin. Counts what the tests check of
// that callback: every frame released exactly once, and, when asked, never before its output left.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "framework/qva_component.h"

namespace orx::test {

class LentFrames {
 public:
  LentFrames() = default;
  LentFrames(const LentFrames&) = delete;
  LentFrames& operator=(const LentFrames&) = delete;
  ~LentFrames();

  // The pin's release callback; `self` is the LentFrames.
  static void Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self);

  // A copy of the frame to lend, remembered with its time stamp until it is released.
  uint8_t* Lend(const uint8_t* bytes, size_t size, uint64_t timestamp = 0);

  // At each release, asks whether the output of the frame with this time stamp has left; a
  // release before that counts as early.
  void CheckReleasesAgainst(std::function<bool(uint64_t timestamp)> outputLeft);

  int Released();
  // Waits until `count` frames were released; false when the time ran out first.
  bool WaitForReleased(int count, std::chrono::milliseconds timeout);
  int Outstanding();
  int ReleasedTwice();  // releases of a buffer that is not (or no longer) lent
  int ReleasedEarly();

 private:
  std::mutex mutex_;
  std::condition_variable releasedChanged_;
  std::map<uint8_t*, uint64_t> outstanding_;
  std::function<bool(uint64_t)> outputLeft_;
  int released_ = 0;
  int releasedTwice_ = 0;
  int releasedEarly_ = 0;
};

}  // namespace orx::test
