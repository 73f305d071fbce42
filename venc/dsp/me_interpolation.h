#pragma once
// Sub-pel values of the plain motion-estimation core, shared by its block costs and its
// sub-pel cost sets: rounded averages, the horizontal fraction H_f and the two vertical offset
// sets A and B. Every value is one or more rounded averages of two samples.
#include <cstdint>

namespace orx::dsp::me {

inline int Avg(int a, int b) { return (a + b + 1) >> 1; }

// H_f at column x of a row, fraction f in 0..3: the sample, a quarter, a half or three quarters
// of the way to the next sample.
inline int HorizontalFraction(const uint8_t* row, int x, int f) {
  return Avg(Avg(row[x], row[x + (f & 1)]), row[x + (f >> 1)]);
}

// Offset set A (forward quarter-sample fractions k from T towards D, the row below).
inline int OffsetSetA(int t, int d, int k) {
  switch (k) {
    case 0: return t;
    case 1: return Avg(Avg(t, d), t);
    case 2: return Avg(t, d);
    default: return Avg(Avg(t, d), d);
  }
}

// Offset set B (around the full-sample row T, with U above and D below): up a half, up a
// quarter, down a quarter, down a half for k = 0..3.
inline int OffsetSetB(int u, int t, int d, int k) {
  switch (k) {
    case 0: return Avg(u, t);
    case 1: return Avg(t, Avg(u, t));
    case 2: return Avg(t, Avg(t, d));
    default: return Avg(t, d);
  }
}

}  // namespace orx::dsp::me
