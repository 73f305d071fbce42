// The packed spectrum kernels: |x|^(3/4) and the quantizer four lines at a time in single
// precision (the SSE variants), and the AAC band maximum with 16-bit maxima (the SSE2 variant).
#include <emmintrin.h>
#include <xmmintrin.h>

#include "aenc/simd/mpeg_audio_encoder_variants.h"

namespace orx::aenc {

void CMPEGAudioEncoder_SSE::PowThreeQuarters(float* out, const float* in, int count) {
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  for (int i = 0; i < count; i += 4) {
    const __m128 a = _mm_and_ps(_mm_loadu_ps(in + i), magnitude);
    _mm_storeu_ps(out + i, _mm_sqrt_ps(_mm_sqrt_ps(_mm_mul_ps(_mm_mul_ps(a, a), a))));
  }
}

uint32_t CMPEGAudioEncoder_SSE::QuantizeSpectrum(const float* xr34, int32_t* codes, float step, int count) {
  // trunc(x step + 0.4054 - 0.0025 (i div 4)): rounding to nearest with an offset that grows
  // every four lines. The offset is formed in single precision as QuantizeOffsetSse says.
  const __m128 scale = _mm_set1_ps(step);
  __m128i all = _mm_setzero_si128();
  for (int i = 0; i < count; i += 4) {
    const __m128 offset = _mm_set1_ps(QuantizeOffsetSse(i));
    const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(xr34 + i), scale), offset);
    const __m128i code = _mm_cvttps_epi32(v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + i), code);
    all = _mm_or_si128(all, code);
  }
  all = _mm_or_si128(all, _mm_srli_si128(all, 8));
  all = _mm_or_si128(all, _mm_srli_si128(all, 4));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(all));
}

int CMPEGAudioEncoder_SSE2::AacBandMaxAbs(int32_t* codes, const float* coefficients, int count) {
  // Codes are below 2^15 (the quantizer rejects 8192 and more before the codebook choice), so
  // their maximum fits 16-bit lanes; the sign is applied as (q xor s) - s with s = 0 or -1.
  __m128i largest = _mm_setzero_si128();
  for (int i = 0; i < count; i += 4) {
    __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i));
    largest = _mm_max_epi16(largest, _mm_packs_epi32(q, q));
    const __m128i sign = _mm_srai_epi32(_mm_castps_si128(_mm_loadu_ps(coefficients + i)), 31);
    q = _mm_sub_epi32(_mm_xor_si128(q, sign), sign);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + i), q);
  }
  largest = _mm_max_epi16(largest, _mm_srli_si128(largest, 4));
  largest = _mm_max_epi16(largest, _mm_srli_si128(largest, 2));
  return _mm_extract_epi16(largest, 0);
}

}  // namespace orx::aenc
