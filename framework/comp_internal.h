#pragma once
// Private to the framework's instance code: helpers several of its files share.
#include <atomic>
#include <string>

#include "framework/qva_component.h"

namespace orx::framework {

inline constexpr uint32_t kAllPins = 0xFFFFFFFFu;

// Bits of the instance's end words. A family is every bit of its nibble: a first form (reached,
// or its second form) arriving while any bit of the family is set leaves the word alone.
inline constexpr uint32_t kStreamStarted = 0x1;      // streamStartWord: a stream has started
inline constexpr uint32_t kStartFamily = 0xF;        // with a component's own start marks 0x4, 0x8
inline constexpr uint32_t kStartAnnounced = 0x40;    // the start went out in a PROGRESS_STATE event
inline constexpr uint32_t kEosReached = 0x10;        // eosWord
inline constexpr uint32_t kEosSecondForm = 0x20;     // handled like kEosReached; no shipped code sets it
inline constexpr uint32_t kEosAnnounced = 0x40;      // end of stream went out in a PROGRESS_STATE event
inline constexpr uint32_t kEosMarkerSent = 0x80;     // the end-of-stream marker went downstream
inline constexpr uint32_t kEosFamily = 0xF0;
inline constexpr uint32_t kEoiReached = 0x1000;      // eoiWord
inline constexpr uint32_t kEoiSecondForm = 0x2000;   // handled like kEoiReached; no shipped code sets it
inline constexpr uint32_t kEoiMarkerSent = 0x8000;   // the end-of-input marker went downstream
inline constexpr uint32_t kEoiFamily = 0xF000;
inline constexpr uint32_t kInputEnded = 0x100;       // inputEndWord; a first form against 0xD00
inline constexpr uint32_t kInputEndFamily = 0xD00;

// Holds one of an instance's locks for a scope. The state lock guards the state, the flush
// word and the statistics block; the process lock serialises worker start and stop,
// initialisation, teardown and synchronous processing. The process lock is taken first.
class ScopedLock {
 public:
  explicit ScopedLock(QVAHandle lock) : lock_(lock) { QVALock(lock_); }
  ~ScopedLock() { QVAUnlock(lock_); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  QVAHandle lock_;
};

// True for an instance this library created and has not released.
bool IsLiveInstance(ComponentInstance* instance);

// The library's compName, copied under the library record's lock.
std::string LibraryName();

// The worker thread object, read under the state lock (it is cleared there before it is freed).
QVAHandle WorkerThread(ComponentInstance* instance);
void SetWorkerThread(ComponentInstance* instance, QVAHandle thread);

// Runs the library's process hook. A hook that throws answers QVA_ERR_EXECUTION (with a
// debugger line), so the round ends as any failed round does: the buffer goes back to its queue
// and, on the worker, the failure takes the error path.
QVAStatus RunProcessHook(ComponentInstance* instance, ComponentBuffer* buffer);

// Calls the event callback when one is set (the mask is the caller's business).
void SendEvent(ComponentInstance* instance, uint32_t eventId, void* record, uint32_t size);

// Statistics counters, counted only while the block counts.
void CountInputBuffer(ComponentInstance* instance, uint32_t bytes);
void CountProcessedBuffer(ComponentInstance* instance, uint32_t bytes);

// Creates a pin's queue with its sizes, names it and installs the stored pin callback.
QVAStatus CreatePinQueue(ComponentInstance* instance, ComponentPin& pin, uint32_t pinNumber, uint32_t direction);
void DestroyPinQueue(ComponentPin& pin);

// An input pin's queue as an upstream thread uses it: counted as a user for the object's
// lifetime, so that DestroyInputPinQueue waits for it. queue() is null once the queue is gone.
class InputQueueUse {
 public:
  InputQueueUse(ComponentInstance* instance, uint32_t pin);
  ~InputQueueUse();
  InputQueueUse(const InputQueueUse&) = delete;
  InputQueueUse& operator=(const InputQueueUse&) = delete;
  QVAHandle queue() const { return queue_; }

 private:
  std::atomic<uint32_t>& users_;
  QVAHandle queue_;
};

// Closes an input pin's queue, so that writers waiting in it return, waits until no upstream
// thread is inside it and destroys it.
void DestroyInputPinQueue(ComponentInstance* instance, uint32_t pin);

}  // namespace orx::framework
