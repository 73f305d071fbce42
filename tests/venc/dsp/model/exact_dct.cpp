#include "tests/venc/dsp/model/exact_dct.h"

#include <cmath>

namespace orx::dsp::model {
namespace {

double Basis(int k, int n) {
  const double pi = 4.0 * std::atan(1.0);
  return (k == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * n + 1) * k * pi / 16.0);
}

}  // namespace

void ExactForwardDct(const double in[64], double out[64]) {
  double rows[64];
  for (int y = 0; y < 8; ++y)
    for (int v = 0; v < 8; ++v) {
      double s = 0;
      for (int x = 0; x < 8; ++x) s += in[8 * y + x] * Basis(v, x);
      rows[8 * y + v] = s;
    }
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      double s = 0;
      for (int y = 0; y < 8; ++y) s += rows[8 * y + v] * Basis(u, y);
      out[8 * u + v] = s;
    }
}

void ExactInverseDct(const double in[64], double out[64]) {
  double columns[64];
  for (int u = 0; u < 8; ++u)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int v = 0; v < 8; ++v) s += in[8 * u + v] * Basis(v, x);
      columns[8 * u + x] = s;
    }
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int u = 0; u < 8; ++u) s += columns[8 * u + x] * Basis(u, y);
      out[8 * y + x] = s;
    }
}

}  // namespace orx::dsp::model
