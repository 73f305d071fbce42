// The SSE kernels of the encoder: the frame under flush-to-zero with exceptions masked, the
// matrixing in packed single precision, scalefactors by packed maximum, and the quantizer three
// samples at a time.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cmath>

#include "aenc/layer2/layer2_code.h"
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

// The matrixing is a 32-point DCT-III. Two of Lee's splits (as in the plain kernel) leave four
// 8-point DCT-IIIs, done as 8 x 8 products, four outputs per packed step.
struct alignas(16) MatrixTables {
  float dct8[8][8];      // row n: cos(pi n (2k + 1) / 16), k = 0..7
  float split16[8];      // 1 / (2 cos(pi (2k + 1) / 32))
  float split32[16];     // 1 / (2 cos(pi (2k + 1) / 64))
  MatrixTables() {
    for (int n = 0; n < 8; ++n) {
      for (int k = 0; k < 8; ++k) dct8[n][k] = static_cast<float>(std::cos(M_PI * n * (2 * k + 1) / 16.0));
    }
    for (int k = 0; k < 8; ++k) split16[k] = static_cast<float>(0.5 / std::cos(M_PI * (2 * k + 1) / 32.0));
    for (int k = 0; k < 16; ++k) split32[k] = static_cast<float>(0.5 / std::cos(M_PI * (2 * k + 1) / 64.0));
  }
};
const MatrixTables kMatrixTables;

// out[0..7] = 8-point DCT-III of in[0..7].
inline void Dct8(const float* in, __m128& low, __m128& high) {
  low = _mm_setzero_ps();
  high = _mm_setzero_ps();
  for (int n = 0; n < 8; ++n) {
    const __m128 x = _mm_set1_ps(in[n]);
    low = _mm_add_ps(low, _mm_mul_ps(x, _mm_load_ps(kMatrixTables.dct8[n])));
    high = _mm_add_ps(high, _mm_mul_ps(x, _mm_load_ps(kMatrixTables.dct8[n] + 4)));
  }
}

inline __m128 Reverse(__m128 x) { return _mm_shuffle_ps(x, x, _MM_SHUFFLE(0, 1, 2, 3)); }

// Lee's combination: out[k] = even[k] + odd[k] f[k], out[2m - 1 - k] = even[k] - odd[k] f[k],
// for the m outputs of each half given as m / 4 packed values.
inline void Combine(const __m128* even, const __m128* odd, const float* factors, int quads,
                    __m128* out) {
  for (int q = 0; q < quads; ++q) {
    __m128 t = _mm_mul_ps(odd[q], _mm_load_ps(factors + 4 * q));
    out[q] = _mm_add_ps(even[q], t);
    out[2 * quads - 1 - q] = Reverse(_mm_sub_ps(even[q], t));
  }
}

// Splits n inputs into the even ones and the summed odd ones.
inline void Split(const float* in, int n, float* even, float* odd) {
  for (int i = 0; i < n / 2; ++i) {
    even[i] = in[2 * i];
    odd[i] = i == 0 ? in[1] : in[2 * i + 1] + in[2 * i - 1];
  }
}

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
  float even[16], odd[16], quarters[4][8];
  Split(folded, 32, even, odd);
  Split(even, 16, quarters[0], quarters[1]);
  Split(odd, 16, quarters[2], quarters[3]);
  __m128 q[4][2];
  for (int i = 0; i < 4; ++i) Dct8(quarters[i], q[i][0], q[i][1]);
  __m128 evenOut[4], oddOut[4], out32[8];
  Combine(q[0], q[1], kMatrixTables.split16, 2, evenOut);
  Combine(q[2], q[3], kMatrixTables.split16, 2, oddOut);
  Combine(evenOut, oddOut, kMatrixTables.split32, 4, out32);
  const __m128 scale = _mm_set1_ps(1.0f / 17179869184.0f);
  for (int g = 0; g < 8; ++g) _mm_storeu_ps(out + 4 * g, _mm_mul_ps(out32[g], scale));
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
  ForEachQuantizedTriple(*this, scalefactor, subband, allocation, [&](const Layer2AllocEntry& entry,
                                                                      float multiplier, const float* x) {
    __m128 samples = _mm_set_ps(0, x[2 * kMpegSubbands], x[kMpegSubbands], x[0]);
    __m128 dPrime = _mm_set1_ps(static_cast<float>(kLayer2QuantClasses[entry.quantClass].dPrime));
    __m128 msb = _mm_set1_ps(static_cast<float>(entry.msb));
    __m128 v = _mm_add_ps(_mm_mul_ps(samples, _mm_set1_ps(multiplier)), dPrime);
    // Both branches, rounded to nearest even by the conversion, then chosen by sign.
    __m128i positive = _mm_or_si128(_mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(v, msb), half)),
                                    _mm_set1_epi32(entry.msb));
    __m128i negative = _mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(_mm_add_ps(v, one), msb), half));
    __m128i isPositive = _mm_castps_si128(_mm_cmpge_ps(v, zero));
    __m128i code = _mm_or_si128(_mm_and_si128(isPositive, positive), _mm_andnot_si128(isPositive, negative));
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
  });
}

}  // namespace orx::aenc
