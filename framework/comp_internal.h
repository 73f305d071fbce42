#pragma once
// Private to the framework's instance code: helpers several of its files share.
#include <string>

#include "framework/qva_component.h"

namespace orx::framework {

inline constexpr uint32_t kAllPins = 0xFFFFFFFFu;

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

}  // namespace orx::framework
