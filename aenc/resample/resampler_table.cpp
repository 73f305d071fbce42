#include "aenc/resample/resampler_table.h"

#include <algorithm>
#include <cmath>

namespace orx::aenc {

ResamplerFilter ResamplerFilterFor(uint32_t inRate, uint32_t outRate) {
  if (inRate <= outRate) return {5.7, 1.0};
  return {8.5, static_cast<double>(outRate) / static_cast<double>(inRate)};
}

double BesselI0(double x) {
  const double half = x / 2;
  double sum = 1.0;
  double root = 1.0;  // (x / 2)^k / k!
  for (int k = 1;; ++k) {
    root *= half / k;
    const double term = root * root;
    sum += term;
    if (term <= 1e-7 * sum) return sum;
  }
}

void BuildResamplerTable(int16_t* table, ResamplerFilter filter) {
  constexpr int kPhases = 4096, kTaps = 8;
  const double window0 = BesselI0(filter.beta);
  for (int p = 0; p < kPhases; ++p) {
    for (int j = 0; j < kTaps; ++j) {
      const double t = (3 - j) + static_cast<double>(p) / kPhases;
      double h = filter.cutoff;
      const double u = filter.cutoff * t;
      if (t != 0) h = filter.cutoff * std::sin(M_PI * u) / (M_PI * u);
      const double edge = std::max(0.0, 1.0 - (t / 4) * (t / 4));
      h *= BesselI0(filter.beta * std::sqrt(edge)) / window0;
      table[kTaps * p + j] = static_cast<int16_t>(std::lrint(h * 16384));
    }
  }
}

}  // namespace orx::aenc
