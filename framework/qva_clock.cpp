#include "framework/qva_clock.h"

#include <x86intrin.h>

#include <atomic>

#include "platform/clock.h"

namespace {

std::atomic<int64_t> g_counterFrequency{0};
std::atomic<uint32_t> g_frequencyRead{0};
std::atomic<QVATimeSourceFn> g_timeSource{nullptr};

int64_t CounterFrequency() {
  if (g_frequencyRead.load(std::memory_order_acquire) == 0) {
    g_counterFrequency.store(orx::platform::kPerformanceFrequency, std::memory_order_relaxed);
    g_frequencyRead.store(1, std::memory_order_release);
  }
  return g_counterFrequency.load(std::memory_order_relaxed);
}

}  // namespace

void QVASleep(uint32_t milliseconds) { orx::platform::SleepMilliseconds(milliseconds); }

uint64_t QVAGetTime() {
  if (QVATimeSourceFn source = g_timeSource.load(std::memory_order_acquire)) return source();
  const int64_t frequency = CounterFrequency();
  if (frequency == 0) return 0;
  return static_cast<uint64_t>(orx::platform::PerformanceCounter() * 1000 / frequency);
}

uint64_t QVAGetCycles() { return __rdtsc(); }

QVATimeSourceFn QVASetTimeSource(QVATimeSourceFn source) {
  return g_timeSource.exchange(source, std::memory_order_acq_rel);
}
