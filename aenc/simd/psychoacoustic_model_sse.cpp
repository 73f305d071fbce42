// The SSE psychoacoustic model: with two channels both run through one interleaved FFT pass.
#include <emmintrin.h>
#include <xmmintrin.h>

#include "aenc/core/mpeg_audio_tables.h"
#include "aenc/psy/masking_threshold.h"
#include "aenc/simd/psychoacoustic_model_variants.h"

namespace orx::aenc {
namespace {

// d x w for complex values held as (re, im) float pairs, w given as its real and imaginary part
// broadcast per pair.
inline __m128 ComplexMultiply(__m128 d, __m128 wRe, __m128 wIm) {
  const __m128 signs = _mm_set_ps(1.0f, -1.0f, 1.0f, -1.0f);
  __m128 swapped = _mm_shuffle_ps(d, d, _MM_SHUFFLE(2, 3, 0, 1));  // (im, re) pairs
  return _mm_add_ps(_mm_mul_ps(d, wRe), _mm_mul_ps(_mm_mul_ps(swapped, wIm), signs));
}

}  // namespace

void CPsychoacousticModel_SSE::Fft() {
  float* data = reinterpret_cast<float*>(fftBuffer.get());
  for (int span = 256, stage = 1; span >= 2; span /= 2, ++stage) {
    const double stepRe = twiddles[stage][0], stepIm = twiddles[stage][1];
    double wr = 1, wi = 0;
    for (int j = 0; j < span; j += 2) {
      // Two neighbouring butterflies of a group share one packed step.
      float w0r = static_cast<float>(wr), w0i = static_cast<float>(wi);
      double nr = wr * stepRe - wi * stepIm;
      double ni = wr * stepIm + wi * stepRe;
      float w1r = static_cast<float>(nr), w1i = static_cast<float>(ni);
      wr = nr * stepRe - ni * stepIm;
      wi = nr * stepIm + ni * stepRe;
      __m128 wRe = _mm_set_ps(w1r, w1r, w0r, w0r);
      __m128 wIm = _mm_set_ps(w1i, w1i, w0i, w0i);
      for (int g = j; g < 1024; g += 2 * span) {
        __m128 u = _mm_load_ps(data + 2 * g);
        __m128 v = _mm_load_ps(data + 2 * (g + span));
        _mm_store_ps(data + 2 * g, _mm_add_ps(u, v));
        _mm_store_ps(data + 2 * (g + span), ComplexMultiply(_mm_sub_ps(u, v), wRe, wIm));
      }
    }
  }
}

void CPsychoacousticModel_SSE::MaskingThreshold(float* smrOut, const float* lsb, int32_t tonalHead,
                                                int32_t noiseHead, int bitrateKbps, int sblimitIn) {
  MaskingThresholdIn<float>(*this, smrOut, lsb, tonalHead, noiseHead, bitrateKbps, sblimitIn);
}

void CPsychoacousticModel_SSE::StereoWindowAndFirstStage(float* out) {
  // The ring holds the channels interleaved: sample pair n at ring[0][2n], ring[0][2n + 1].
  const int32_t* pairs = &ring[0][0];
  const int start = ringPos - 192 + 1408;
  const double stepRe = twiddles[0][0], stepIm = twiddles[0][1];
  double wr = 1, wi = 0;
  for (int n = 0; n < 512; ++n) {
    int p = (start + n) % 1408, q = (start + n + 512) % 1408;
    __m128 window0 = _mm_set1_ps(window[n]), window1 = _mm_set1_ps(window[n + 512]);
    // Lanes (ch0, 0, ch1, 0): real input, both channels.
    __m128 a = _mm_mul_ps(_mm_set_ps(0, static_cast<float>(pairs[2 * p + 1]), 0,
                                     static_cast<float>(pairs[2 * p])), window0);
    __m128 b = _mm_mul_ps(_mm_set_ps(0, static_cast<float>(pairs[2 * q + 1]), 0,
                                     static_cast<float>(pairs[2 * q])), window1);
    __m128 d = _mm_sub_ps(a, b);
    __m128 d0 = _mm_shuffle_ps(d, d, _MM_SHUFFLE(2, 2, 0, 0));  // (d, d) per channel
    __m128 w = _mm_set_ps(static_cast<float>(wi), static_cast<float>(wr), static_cast<float>(wi),
                          static_cast<float>(wr));
    _mm_store_ps(out + 4 * n, _mm_add_ps(a, b));
    _mm_store_ps(out + 4 * (n + 512), _mm_mul_ps(d0, w));
    double next = wr * stepRe - wi * stepIm;
    wi = wr * stepIm + wi * stepRe;
    wr = next;
  }
}

void CPsychoacousticModel_SSE::StereoFft(float* data) {
  for (int span = 256, stage = 1; span >= 2; span /= 2, ++stage) {
    const double stepRe = twiddles[stage][0], stepIm = twiddles[stage][1];
    double wr = 1, wi = 0;
    for (int j = 0; j < span; ++j) {
      __m128 wRe = _mm_set1_ps(static_cast<float>(wr));
      __m128 wIm = _mm_set1_ps(static_cast<float>(wi));
      for (int g = j; g < 1024; g += 2 * span) {
        __m128 u = _mm_load_ps(data + 4 * g);
        __m128 v = _mm_load_ps(data + 4 * (g + span));
        _mm_store_ps(data + 4 * g, _mm_add_ps(u, v));
        _mm_store_ps(data + 4 * (g + span), ComplexMultiply(_mm_sub_ps(u, v), wRe, wIm));
      }
      double next = wr * stepRe - wi * stepIm;
      wi = wr * stepIm + wi * stepRe;
      wr = next;
    }
  }
  // Last stage merged with the power: bins below 512 sit at even positions.
  for (int p = 0; p < 1024; p += 2) {
    __m128 x = _mm_add_ps(_mm_load_ps(data + 4 * p), _mm_load_ps(data + 4 * (p + 1)));
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, x);
    data[4 * p] = ModelPower(lanes[0], lanes[1]);
    data[4 * p + 1] = ModelPower(lanes[2], lanes[3]);
  }
}

void CPsychoacousticModel_SSE::Analyze(const int16_t (*pcm)[kMpegFrameSamples],
                                       const float (*levels)[kMpegSubbands],
                                       float (*smr)[kMpegSubbands], const MpegHeaderWords& header) {
  if (header.channels != 2) {
    CPsychoacousticModel::Analyze(pcm, levels, smr, header);
    return;
  }
  int32_t* pairs = &ring[0][0];
  for (int i = 0; i < kMpegFrameSamples; ++i) {
    int p = (ringPos + i) % 1408;
    pairs[2 * p] = pcm[0][i];
    pairs[2 * p + 1] = pcm[1][i];
  }
  float* data = reinterpret_cast<float*>(fftBuffer.get());
  StereoWindowAndFirstStage(data);
  StereoFft(data);
  float power[2][512];
  for (int k = 0; k < 512; ++k) {
    const float* point = data + 4 * bitReverse[k];
    power[0][k] = point[0];
    power[1][k] = point[1];
  }
  int kbps = MpegBitrateKbps(header.id, header.layer, header.bitrateIndex) / 2;
  for (int ch = 0; ch < 2; ++ch) {
    float lsb[kMpegSubbands];
    FillSpectrum(power[ch], levels[ch], lsb, header.sblimit);
    int32_t tonal = FindTonalMaskers();
    int32_t noise = FindNoiseMaskers();
    DecimateMaskers(tonal, noise);
    MaskingThreshold(smr[ch], lsb, tonal, noise, kbps, header.sblimit);
  }
  ringPos = (ringPos + kMpegFrameSamples) % 1408;
}

}  // namespace orx::aenc
