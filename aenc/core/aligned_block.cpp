#include "aenc/core/aligned_block.h"

#include <atomic>

namespace orx::aenc {
namespace {
std::atomic<int> g_allocationsBeforeFailure{-1};
}  // namespace

void FailAlignedAllocationsAfter(int count) { g_allocationsBeforeFailure.store(count); }

void* AllocateAlignedZeroed(size_t bytes) {
  int left = g_allocationsBeforeFailure.load();
  while (left >= 0) {
    if (left == 0) return nullptr;
    if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) break;
  }
  size_t rounded = (bytes + 63) / 64 * 64;
  void* block = std::aligned_alloc(64, rounded == 0 ? 64 : rounded);
  if (block) std::memset(block, 0, rounded == 0 ? 64 : rounded);
  return block;
}

}  // namespace orx::aenc
