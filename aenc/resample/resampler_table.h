#pragma once
// The resampler's filter table: 4096 phases of 8 taps in Q14 sampling a Kaiser-windowed sinc.
#include <cstdint>

namespace orx::aenc {

struct ResamplerFilter {
  double beta;    // the Kaiser window's shape
  double cutoff;  // fc, as a fraction of the input's Nyquist frequency
};

// beta 5.7, fc 1.0 when not downsampling; beta 8.5, fc = out / in when downsampling.
ResamplerFilter ResamplerFilterFor(uint32_t inRate, uint32_t outRate);

// The zero-order modified Bessel function, summed as 1 + sum ((x / 2)^k / k!)^2 until a term
// falls to 1e-7 of the sum.
double BesselI0(double x);

// Entry 8p + j (phase p, tap j) = rint(16384 h(t)), t = (3 - j) + p / 4096, with
// h(t) = fc sinc(fc t) I0(beta sqrt(1 - (t / 4)^2)) / I0(beta) and h(0) = fc.
void BuildResamplerTable(int16_t* table, ResamplerFilter filter);

}  // namespace orx::aenc
