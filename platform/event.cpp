#include "platform/event.h"

#include <emmintrin.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>

namespace orx::platform {

class Event {
 public:
  Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&cond_, &attr);
    pthread_condattr_destroy(&attr);
    pthread_mutex_init(&mutex_, nullptr);
  }
  ~Event() {
    pthread_cond_destroy(&cond_);
    pthread_mutex_destroy(&mutex_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // The mutex and condition variable are touched only when a waiter sleeps: between two busy
  // threads a set is one store, where taking the mutex would pull its cache line away from a
  // waiter spinning on the flag. The flag is stored before the sleeper count is read and a
  // sleeper is counted before it reads the flag (both sequentially consistent), so either the
  // setter sees the sleeper and wakes it under the mutex, or the sleeper sees the flag.
  void Set() {
    signalled_.store(true, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) == 0) return;
    pthread_mutex_lock(&mutex_);
    if (manualReset_) pthread_cond_broadcast(&cond_);
    else pthread_cond_signal(&cond_);
    pthread_mutex_unlock(&mutex_);
  }

  void Reset() { signalled_.store(false, std::memory_order_seq_cst); }

  WaitResult Wait(uint32_t timeoutMs) {
    if (Take()) return WaitResult::kSignalled;
    if (timeoutMs == 0) return WaitResult::kTimedOut;
    timespec deadline{};
    if (timeoutMs != kWaitForever) {
      clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += timeoutMs / 1000;
      deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
    }
    if (SpinBriefly() && Take()) return WaitResult::kSignalled;
    pthread_mutex_lock(&mutex_);
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    WaitResult result = WaitResult::kSignalled;
    while (!Take()) {
      if (timeoutMs == kWaitForever) {
        pthread_cond_wait(&cond_, &mutex_);
      } else if (pthread_cond_timedwait(&cond_, &mutex_, &deadline) == ETIMEDOUT) {
        if (!Take()) result = WaitResult::kTimedOut;
        break;
      }
    }
    sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    pthread_mutex_unlock(&mutex_);
    return result;
  }

  std::string name;
  int references = 1;

 private:
  // An auto-reset event is consumed by the one waiter whose exchange finds it set; the flag is
  // read first so that a waiter finding it clear does not take its cache line from the setter.
  bool Take() {
    if (!signalled_.load(std::memory_order_seq_cst)) return false;
    return manualReset_ || signalled_.exchange(false, std::memory_order_seq_cst);
  }

  // A signal that comes within a few microseconds is taken without sleeping: a thread woken from
  // a sleep costs its signaller a system call and itself a scheduling delay, per buffer when a
  // consumer keeps up with its producer. Answers whether the flag was seen set.
  bool SpinBriefly() const {
    constexpr int64_t kSpinNs = 20000;
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      for (int i = 0; i < 16; ++i) {
        if (signalled_.load(std::memory_order_acquire)) return true;
        _mm_pause();
      }
      clock_gettime(CLOCK_MONOTONIC, &now);
      if ((now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec) > kSpinNs) return false;
    }
  }

  const bool manualReset_;
  // The flag has a cache line of its own: waiters spin on it while others set it.
  alignas(64) std::atomic<bool> signalled_;
  alignas(64) std::atomic<uint32_t> sleepers_{0};
  pthread_mutex_t mutex_;
  pthread_cond_t cond_;
};

namespace {

std::atomic<EventCreateFn> g_createHook{nullptr};

struct NameTable {
  std::mutex mutex;
  std::map<std::string, Event*> events;
};

NameTable& Names() {
  static NameTable table;
  return table;
}

}  // namespace

Event* CreateEvent(bool manualReset, bool initiallySignalled, const char* name) {
  if (EventCreateFn hook = g_createHook.load(std::memory_order_acquire)) {
    return hook(manualReset, initiallySignalled, name);
  }
  if (name == nullptr || *name == '\0') return new Event(manualReset, initiallySignalled);
  NameTable& table = Names();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.events.find(name);
  if (found != table.events.end()) {
    found->second->references++;
    return found->second;
  }
  Event* event = new Event(manualReset, initiallySignalled);
  event->name = name;
  table.events.emplace(name, event);
  return event;
}

void DestroyEvent(Event* event) {
  if (event == nullptr) return;
  if (!event->name.empty()) {
    NameTable& table = Names();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (--event->references > 0) return;
    table.events.erase(event->name);
  }
  delete event;
}

void SetEvent(Event* event) { event->Set(); }
void ResetEvent(Event* event) { event->Reset(); }
WaitResult WaitEvent(Event* event, uint32_t timeoutMs) { return event->Wait(timeoutMs); }

EventCreateFn SetEventCreateHook(EventCreateFn hook) {
  return g_createHook.exchange(hook, std::memory_order_acq_rel);
}

}  // namespace orx::platform
