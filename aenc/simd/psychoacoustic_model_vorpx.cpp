// The VORPX FFT: each stage's twiddles are first written out as floats (above the data in the
// FFT block), then the butterflies run on pairs of floats. Portable C++ on x86-64.
#include "aenc/simd/psychoacoustic_model_variants.h"

namespace orx::aenc {

void CPsychoacousticModel_VORPX::Fft() {
  FloatComplex* data = fftBuffer.get();
  FloatComplex* stageTwiddles = data + 1024;
  for (int span = 256, stage = 1; span >= 2; span /= 2, ++stage) {
    const double stepRe = twiddles[stage][0], stepIm = twiddles[stage][1];
    double wr = 1, wi = 0;
    for (int j = 0; j < span; ++j) {
      stageTwiddles[j] = {static_cast<float>(wr), static_cast<float>(wi)};
      double next = wr * stepRe - wi * stepIm;
      wi = wr * stepIm + wi * stepRe;
      wr = next;
    }
    for (int j = 0; j < span; ++j) {
      const FloatComplex w = stageTwiddles[j];
      for (int g = j; g < 1024; g += 2 * span) {
        FloatComplex& u = data[g];
        FloatComplex& v = data[g + span];
        float dr = u.re - v.re, di = u.im - v.im;
        u.re += v.re;
        u.im += v.im;
        v.re = dr * w.re - di * w.im;
        v.im = dr * w.im + di * w.re;
      }
    }
  }
}

}  // namespace orx::aenc
