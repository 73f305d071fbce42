#pragma once
// The process heap as the framework's allocator sees it. Allocation goes through a replaceable
// function so that tests can make the heap refuse (as the CPUID hook replaces the processor).
#include <cstddef>

namespace orx::platform {

// Memory from the hook when one is set, else from malloc; nullptr when refused.
void* HeapAllocate(size_t size);
void HeapRelease(void* block);

using HeapAllocateFn = void* (*)(size_t size);
// Installs a replacement (nullptr restores malloc); answers the previous hook. Blocks it hands
// out are given back with free, so a hook that allocates must use malloc.
HeapAllocateFn SetHeapAllocateHook(HeapAllocateFn hook);

}  // namespace orx::platform
