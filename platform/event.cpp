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

  void Set() {
    pthread_mutex_lock(&mutex_);
    signalled_.store(true, std::memory_order_release);
    if (manualReset_) pthread_cond_broadcast(&cond_);
    else pthread_cond_signal(&cond_);
    pthread_mutex_unlock(&mutex_);
  }

  void Reset() {
    pthread_mutex_lock(&mutex_);
    signalled_.store(false, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
  }

  WaitResult Wait(uint32_t timeoutMs) {
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
    if (timeoutMs != 0) SpinBriefly();
    pthread_mutex_lock(&mutex_);
    while (!signalled_.load(std::memory_order_relaxed)) {
      if (timeoutMs == kWaitForever) {
        pthread_cond_wait(&cond_, &mutex_);
      } else if (timeoutMs == 0 || pthread_cond_timedwait(&cond_, &mutex_, &deadline) == ETIMEDOUT) {
        if (signalled_.load(std::memory_order_relaxed)) break;
        pthread_mutex_unlock(&mutex_);
        return WaitResult::kTimedOut;
      }
    }
    // An auto-reset event is consumed by the one waiter that sees it.
    if (!manualReset_) signalled_.store(false, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
    return WaitResult::kSignalled;
  }

  std::string name;
  int references = 1;

 private:
  // A signal that comes within a few microseconds is taken without sleeping: a thread woken from
  // a sleep costs its signaller a system call and itself a scheduling delay, per buffer when a
  // consumer keeps up with its producer.
  void SpinBriefly() const {
    constexpr int64_t kSpinNs = 20000;
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      for (int i = 0; i < 16; ++i) {
        if (signalled_.load(std::memory_order_acquire)) return;
        _mm_pause();
      }
      clock_gettime(CLOCK_MONOTONIC, &now);
      if ((now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec) > kSpinNs) return;
    }
  }

  const bool manualReset_;
  std::atomic<bool> signalled_;
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
