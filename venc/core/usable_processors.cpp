#include "venc/core/usable_processors.h"

#include <sched.h>

#include <atomic>
#include <bit>

namespace orx::venc {
namespace {

std::atomic<AffinityQueryFn> g_affinityHook{nullptr};

// The affinity mask of the process (the kernel leaves offline processors out of it).
uint64_t SystemAffinity() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  uint64_t mask = 0;
  for (int cpu = 0; cpu < 64; ++cpu) {
    if (CPU_ISSET(cpu, &set)) mask |= uint64_t{1} << cpu;
  }
  return mask;
}

}  // namespace

AffinityQueryFn SetAffinityQueryHook(AffinityQueryFn hook) {
  return g_affinityHook.exchange(hook, std::memory_order_acq_rel);
}

int GetUsableCpuMask(uint32_t* mask) {
  AffinityQueryFn hook = g_affinityHook.load(std::memory_order_acquire);
  const uint32_t usable = static_cast<uint32_t>(hook != nullptr ? hook() : SystemAffinity());
  if (mask != nullptr) *mask = usable;
  const int count = std::popcount(usable);
  return count > 0 ? count : 1;
}

}  // namespace orx::venc
