#include "aenc/psy/fast_power.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "aenc/core/round_half_even.h"

namespace orx::aenc {
namespace {

struct PowerTableValues {
  double values[257];
  PowerTableValues() {
    for (int i = 0; i <= 256; ++i) values[i] = std::exp2((i - 128) / 128.0) - 1.0;
  }
};

constexpr double kLog2TenOverTen = 0.33219280948873625;

// 2^n, exact, built from the exponent field (n within the normal range of double).
double PowerOfTwo(int n) {
  if (n < -1022 || n > 1023) return std::ldexp(1.0, n);
  uint64_t bits = static_cast<uint64_t>(n + 1023) << 52;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

const double* PowerTable() {
  // A function-local static is built exactly once, even when two encoders start together.
  static const PowerTableValues table;
  return table.values;
}

double FastPow10(double x) {
  static const double* table = PowerTable();
  double y = x * kLog2TenOverTen;
  double n = RoundHalfEven(y);
  int index = 128 + static_cast<int>(RoundHalfEven((y - n) * 128.0));
  return (1.0 + table[index]) * PowerOfTwo(static_cast<int>(n));
}

float FastPow10f(float x) {
  static const double* table = PowerTable();
  float y = x * static_cast<float>(kLog2TenOverTen);
  float n = RoundHalfEven(y);
  int index = 128 + static_cast<int>(RoundHalfEven((y - n) * 128.0f));
  return (1.0f + static_cast<float>(table[index])) * static_cast<float>(PowerOfTwo(static_cast<int>(n)));
}

}  // namespace orx::aenc
