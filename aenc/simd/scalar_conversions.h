#pragma once
// Small scalar conversions of the processor-variant layer, which nothing in the system calls.
#include <cstdint>

namespace orx::aenc {

// Rounds to the nearest integer, ties to even (the processor's default conversion), and
// saturates at the type's limits; NaN gives 0.
int16_t FloatToInt16(float value);
int32_t FloatToInt32(float value);

// floor(log2 value) for value >= 2, else 0.
uint32_t IntegerLog2(uint32_t value);

}  // namespace orx::aenc
