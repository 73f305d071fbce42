#pragma once
// 10^(x / 10) by a 257-entry table of 2^(i / 128 - 1) - 1, as the masking threshold sums it.
namespace orx::aenc {

// T[i] = 2^((i - 128) / 128) - 1, i = 0..256; built once per process, thread-safely.
const double* PowerTable();

// (1 + T[128 + round((y - n) 128)]) 2^n with y = x log2(10) / 10 and n = round(y).
double FastPow10(double x);
float FastPow10f(float x);

}  // namespace orx::aenc
