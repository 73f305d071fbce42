#include "platform/recursive_lock.h"

#include <emmintrin.h>
#include <time.h>

#include <cstdint>

namespace orx::platform {

RecursiveLock::RecursiveLock() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex_, &attr);
  pthread_mutexattr_destroy(&attr);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(&mutex_); }

// The locks guard short steps (a queue's slot bookkeeping), so a taken lock is usually free
// again within a microsecond: a brief spin takes it then, where sleeping would cost the holder a
// wake-up call and this thread a scheduling delay, per buffer between two busy threads.
void RecursiveLock::Enter() {
  constexpr int64_t kSpinNs = 20000;
  if (pthread_mutex_trylock(&mutex_) == 0) return;
  timespec start{}, now{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    for (int i = 0; i < 16; ++i) {
      _mm_pause();
      if (pthread_mutex_trylock(&mutex_) == 0) return;
    }
    clock_gettime(CLOCK_MONOTONIC, &now);
    if ((now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec) > kSpinNs) break;
  }
  pthread_mutex_lock(&mutex_);
}

void RecursiveLock::Leave() { pthread_mutex_unlock(&mutex_); }

}  // namespace orx::platform
