#pragma once
// How a test waits for something another thread does. Where the test's own code sees it happen
// (a hook entered, a callback run, a flag the test sets for a worker), that code raises a
// CountingEvent and the test waits on it: it goes on the moment the thing happened, and a time
// limit that runs out is a failure rather than a guess. Where only the product shows it and
// gives no notice (a state word, a file growing, a thread leaving /proc), PollUntil looks again
// until it holds or the time is up.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace orx::test {

// Long enough for a loaded machine under the sanitizers; a wait that needs it has failed.
inline constexpr std::chrono::milliseconds kPatience{20000};

// A count raised by one thread and awaited by others. Raise wakes the waiters under the lock,
// so the event may go as soon as a waiter returns.
class CountingEvent {
 public:
  CountingEvent() = default;
  CountingEvent(const CountingEvent&) = delete;
  CountingEvent& operator=(const CountingEvent&) = delete;

  void Raise();
  // Back to zero, for an event that lives across tests (a hook's global).
  void Reset();
  uint32_t Count() const;
  bool Raised() const { return Count() != 0; }
  // Waits until the count reaches `count`; false when the time ran out first.
  bool WaitFor(uint32_t count = 1, std::chrono::milliseconds timeout = kPatience) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable raised_;
  uint32_t count_ = 0;
};

// Looks at `condition` every `step` until it holds; false when the time ran out first.
bool PollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kPatience,
               std::chrono::milliseconds step = std::chrono::milliseconds(2));

}  // namespace orx::test
