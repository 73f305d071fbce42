#include "aenc/simd/scalar_conversions.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>

namespace orx::aenc {
namespace {

// The converting instruction answers 0x80000000 for anything out of range, positive values and
// NaN included: the range is settled before converting.
template <typename Int>
Int RoundSaturated(float value, float low, float high) {
  if (std::isnan(value)) return 0;
  if (value <= low) return INT32_MIN >> (32 - 8 * sizeof(Int));
  if (value >= high) return INT32_MAX >> (32 - 8 * sizeof(Int));
  return static_cast<Int>(_mm_cvtss_si32(_mm_set_ss(value)));
}

}  // namespace

int16_t FloatToInt16(float value) { return RoundSaturated<int16_t>(value, -32768.0f, 32767.0f); }

// 2^31 is the first float above the int32 range (the last one below it is 2^31 - 128).
int32_t FloatToInt32(float value) {
  return RoundSaturated<int32_t>(value, -2147483648.0f, 2147483648.0f);
}

uint32_t IntegerLog2(uint32_t value) {
  if (value < 2) return 0;
  return 31u - static_cast<uint32_t>(__builtin_clz(value));
}

}  // namespace orx::aenc
