#include "platform/processor_count.h"

#include <sched.h>

#include <atomic>
#include <cstdlib>

namespace orx::platform {
namespace {

std::atomic<ProcessorCountFn> g_hook{nullptr};

// 0 when the variable is unset or not a count from 1 to 32.
int EnvironmentCount() {
  static const int count = [] {
    const char* text = std::getenv("ORX_PROCESSOR_COUNT");
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < 1 || v > 32) return 0;
    return static_cast<int>(v);
  }();
  return count;
}

}  // namespace

int HardwareUsableProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  // A failed query counts as a mask of processor 0 alone.
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  int count = 0;
  for (int i = 0; i < 32; ++i) {
    if (CPU_ISSET(i, &set)) ++count;
  }
  return count;
}

int UsableProcessorCount() {
  if (ProcessorCountFn hook = g_hook.load(std::memory_order_acquire)) return hook();
  if (int count = EnvironmentCount()) return count;
  return HardwareUsableProcessorCount();
}

ProcessorCountFn SetProcessorCountHook(ProcessorCountFn hook) {
  return g_hook.exchange(hook, std::memory_order_acq_rel);
}

}  // namespace orx::platform
