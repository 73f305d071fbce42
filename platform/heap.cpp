#include "platform/heap.h"

#include <atomic>
#include <cstdlib>

namespace orx::platform {
namespace {
std::atomic<HeapAllocateFn> g_allocateHook{nullptr};
}  // namespace

void* HeapAllocate(size_t size) {
  if (HeapAllocateFn hook = g_allocateHook.load(std::memory_order_acquire)) return hook(size);
  return std::malloc(size);
}

void HeapRelease(void* block) { std::free(block); }

HeapAllocateFn SetHeapAllocateHook(HeapAllocateFn hook) {
  return g_allocateHook.exchange(hook, std::memory_order_acq_rel);
}

}  // namespace orx::platform
