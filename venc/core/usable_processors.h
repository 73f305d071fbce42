#pragma once
// The processors the encoder's worker pools may use.
#include <cstdint>

namespace orx::venc {

// The processors the process may run on, one bit per processor number (processors 64 and up
// are left out: the encoder counts only the first 32).
using AffinityQueryFn = uint64_t (*)();
// Replaces the system's affinity query (nullptr restores it); answers the previous hook.
AffinityQueryFn SetAffinityQueryHook(AffinityQueryFn hook);

// The number of processors below 32 that the process may run on, 1 when there are none; the
// 32-bit mask of them is written to mask when it is given.
int GetUsableCpuMask(uint32_t* mask);

}  // namespace orx::venc
