#pragma once
// Alignment checks of the SIMD kernels' preconditions (asserted in builds with assertions).
#include <cstdint>

namespace orx::dsp {

inline bool IsAligned16(const void* p) { return reinterpret_cast<uintptr_t>(p) % 16 == 0; }

}  // namespace orx::dsp
