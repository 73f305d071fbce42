// The SSE kernels of the encoder: the frame under flush-to-zero with exceptions masked, the
// matrixing in packed single precision, scalefactors by packed maximum, and the quantizer three
// samples at a time.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cmath>

#include "aenc/layer2/layer2_tables.h"
#include "aenc/simd/mpeg_audio_encoder_variants.h"

namespace orx::aenc {
namespace {

// Sets MXCSR bits for the lifetime of the object and restores the saved word on every return.
class MxcsrScope {
 public:
  explicit MxcsrScope(unsigned bits) : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | bits); }
  ~MxcsrScope() { _mm_setcsr(saved_); }
  MxcsrScope(const MxcsrScope&) = delete;
  MxcsrScope& operator=(const MxcsrScope&) = delete;

 private:
  unsigned saved_;
};

constexpr unsigned kFlushToZeroAllMasked = 0x9F80;

// cos(pi n (2k + 1) / 64): row n holds the weights of folded input n for the 32 outputs.
struct alignas(16) MatrixTable {
  float weights[32][32];
  MatrixTable() {
    for (int n = 0; n < 32; ++n) {
      for (int k = 0; k < 32; ++k)
        weights[n][k] = static_cast<float>(std::cos(M_PI * n * (2 * k + 1) / 64.0));
    }
  }
};
const MatrixTable kMatrixTable;

}  // namespace

bool CMPEGAudioEncoder_SSE::EncodeFrame(const int16_t* pcm) {
  MxcsrScope scope(kFlushToZeroAllMasked);
  return CMPEGAudioEncoder::EncodeFrame(pcm);
}

void CMPEGAudioEncoder_SSE::PolyphaseMatrix(const int32_t* sums, float* out) {
  // The same fold as the plain kernel into the scratch after the PCM, then the 32 x 32 product
  // four outputs at a time.
  float* folded = mpegWork.get()->matrixScratch;
  folded[0] = static_cast<float>(sums[16]);
  for (int n = 1; n <= 16; ++n) folded[n] = static_cast<float>(sums[16 + n]) + static_cast<float>(sums[16 - n]);
  for (int n = 17; n < 32; ++n) folded[n] = static_cast<float>(sums[16 + n]) - static_cast<float>(sums[80 - n]);
  const __m128 scale = _mm_set1_ps(1.0f / 17179869184.0f);
  for (int k = 0; k < 32; k += 4) {
    __m128 acc = _mm_setzero_ps();
    for (int n = 0; n < 32; ++n)
      acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(folded[n]), _mm_load_ps(&kMatrixTable.weights[n][k])));
    _mm_storeu_ps(out + k, _mm_mul_ps(acc, scale));
  }
}

void CMPEGAudioEncoder_SSE::Layer2ScaleFactors(const float* subband, uint32_t* scalefactor) {
  const __m128 signMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  for (int ch = 0; ch < channels; ++ch) {
    for (int part = 0; part < 3; ++part) {
      for (int sb0 = 0; sb0 < sblimit; sb0 += 4) {
        __m128 peak = _mm_setzero_ps();
        for (int t = 12 * part; t < 12 * part + 12; ++t) {
          __m128 x = _mm_loadu_ps(subband + (ch * kLayer2Slots + t) * kMpegSubbands + sb0);
          peak = _mm_max_ps(peak, _mm_and_ps(x, signMask));
        }
        alignas(16) float peaks[4];
        _mm_store_ps(peaks, peak);
        for (int lane = 0; lane < 4 && sb0 + lane < sblimit; ++lane) {
          uint32_t index = 0;
          for (uint32_t step = 32; step >= 1; step /= 2) {
            if (peaks[lane] <= kScalefactorB1[index + step]) index += step;
          }
          scalefactor[((sb0 + lane) * 2 + ch) * 3 + part] = index;
        }
      }
    }
  }
}

void CMPEGAudioEncoder_SSE::Layer2Quantize(const uint32_t* scalefactor, const float* subband,
                                           const uint32_t* allocation, uint32_t* codes) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 zero = _mm_setzero_ps();
  for (int part = 0; part < 3; ++part) {
    for (int group = 0; group < 4; ++group) {
      int slot = 12 * part + 3 * group;
      for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
          uint32_t a = allocation[sb * 2 + ch];
          if (a == 0) continue;
          const Layer2AllocEntry& entry = allocTable->rows[sb].entries[a];
          const float* x = subband + (ch * kLayer2Slots + slot) * kMpegSubbands + sb;
          __m128 samples = _mm_set_ps(0, x[2 * kMpegSubbands], x[kMpegSubbands], x[0]);
          __m128 mult = _mm_set1_ps(quantTable[entry.quantClass][scalefactor[(sb * 2 + ch) * 3 + part]]);
          __m128 dPrime = _mm_set1_ps(static_cast<float>(kLayer2QuantClasses[entry.quantClass].dPrime));
          __m128 msb = _mm_set1_ps(static_cast<float>(entry.msb));
          __m128 v = _mm_add_ps(_mm_mul_ps(samples, mult), dPrime);
          // Both branches, rounded to nearest even by the conversion, then chosen by sign.
          __m128i positive = _mm_or_si128(_mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(v, msb), half)),
                                          _mm_set1_epi32(entry.msb));
          __m128i negative = _mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(_mm_add_ps(v, one), msb), half));
          __m128i isPositive = _mm_castps_si128(_mm_cmpge_ps(v, zero));
          __m128i code = _mm_or_si128(_mm_and_si128(isPositive, positive),
                                      _mm_andnot_si128(isPositive, negative));
          // Within 0 .. steps - 1, as the plain quantizer keeps them.
          __m128i top = _mm_set1_epi32(entry.steps - 1);
          __m128i over = _mm_cmpgt_epi32(code, top);
          code = _mm_or_si128(_mm_and_si128(over, top), _mm_andnot_si128(over, code));
          code = _mm_andnot_si128(_mm_cmplt_epi32(code, _mm_setzero_si128()), code);
          alignas(16) uint32_t lanes[4];
          _mm_store_si128(reinterpret_cast<__m128i*>(lanes), code);
          *codes++ = lanes[0];
          *codes++ = lanes[1];
          *codes++ = lanes[2];
        }
      }
    }
  }
}

}  // namespace orx::aenc
