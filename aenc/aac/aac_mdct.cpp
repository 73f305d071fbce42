// The AAC forward MDCT of 2048 windowed samples (sine window) through a 512-point complex FFT
// in double precision.
#include <cmath>

#include "aenc/aac/aac_state.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {
namespace {

constexpr int kQuarter = 512;  // N / 4
constexpr int kHalf = 1024;    // N / 2

}  // namespace

void CMPEGAudioEncoder::AacFft512(double* data, const double* twiddles) {
  // Radix-2 decimation in frequency; the output stays in bit-reversed order.
  for (int half = 256; half >= 1; half /= 2) {
    const int groups = 256 / half;
    for (int group = 0; group < groups; ++group) {
      for (int j = 0; j < half; ++j) {
        double* a = data + 2 * (group * 2 * half + j);
        double* b = a + 2 * half;
        const double sumRe = a[0] + b[0], sumIm = a[1] + b[1];
        const double difRe = a[0] - b[0], difIm = a[1] - b[1];
        a[0] = sumRe;
        a[1] = sumIm;
        if (j == 0) {
          b[0] = difRe;
          b[1] = difIm;
        } else {
          const double* t = twiddles + 2 * (j * groups - 1);
          b[0] = difRe * t[0] - difIm * t[1];
          b[1] = difRe * t[1] + difIm * t[0];
        }
      }
    }
  }
}

void CMPEGAudioEncoder::AacMdctTransform(const float* z, double* out) {
  AacWorkArea& w = *aacWork;
  // Fold the 2048 samples into the 1024 inputs u of a DCT-IV, pair u[2n] with u[1023 - 2n] as
  // one complex value (negated, so that X[2k] = -2 Re and X[1023 - 2k] = 2 Im below), and rotate
  // each by exp(-i theta_n), theta_n = pi (n + 1/8) / 1024.
  auto u = [z](int n) -> double {
    if (n < kQuarter) return -static_cast<double>(z[3 * kQuarter - 1 - n]) - z[3 * kQuarter + n];
    return static_cast<double>(z[n - kQuarter]) - z[3 * kQuarter - 1 - n];
  };
  const double step = 2.0 * M_PI / 2048.0;
  const double stepCos = std::cos(step), stepSin = std::sin(step);
  double rotCos = std::cos(M_PI / 8192.0), rotSin = std::sin(M_PI / 8192.0);
  for (int n = 0; n < kQuarter; ++n) {
    const double re = -u(2 * n), im = -u(kHalf - 1 - 2 * n);
    w.fft[n][0] = re * rotCos + im * rotSin;
    w.fft[n][1] = im * rotCos - re * rotSin;
    const double nextCos = rotCos * stepCos - rotSin * stepSin;
    rotSin = rotSin * stepCos + rotCos * stepSin;
    rotCos = nextCos;
  }
  AacFft512(&w.fft[0][0], &w.twiddles[0][0]);
  rotCos = std::cos(M_PI / 8192.0);
  rotSin = std::sin(M_PI / 8192.0);
  for (int k = 0; k < kQuarter; ++k) {
    const double* y = w.fft[w.bitReverse[k]];
    const double re = y[0] * rotCos + y[1] * rotSin;
    const double im = y[1] * rotCos - y[0] * rotSin;
    out[2 * k] = -2.0 * re;
    out[kHalf - 1 - 2 * k] = 2.0 * im;
    const double nextCos = rotCos * stepCos - rotSin * stepSin;
    rotSin = rotSin * stepCos + rotCos * stepSin;
    rotCos = nextCos;
  }
}

void CMPEGAudioEncoder::AacMdct(float* out, const int16_t* current, const int16_t* previous) {
  const float* window = aacWork->window;
  for (int n = 0; n < kHalf; ++n) {
    out[n] = window[n] * static_cast<float>(previous[n]);
    out[kHalf + n] = window[kHalf + n] * static_cast<float>(current[n]);
  }
  double coefficients[kHalf];
  AacMdctTransform(out, coefficients);
  for (int k = 0; k < kHalf; ++k) out[k] = static_cast<float>(coefficients[k]);
}

}  // namespace orx::aenc
