#pragma once
// Rounding to the nearest integer with ties to even, as the processor's conversions round in
// their default mode, without a library call: adding and taking away 1.5 x 2^23 (2^52) leaves
// the integer the addition rounded to. Exact for |x| < 2^22 (float) and 2^51 (double).
namespace orx::aenc {

inline float RoundHalfEven(float x) {
  constexpr float kShift = 12582912.0f;  // 1.5 x 2^23
  return (x + kShift) - kShift;
}

inline double RoundHalfEven(double x) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 x 2^52
  return (x + kShift) - kShift;
}

}  // namespace orx::aenc
