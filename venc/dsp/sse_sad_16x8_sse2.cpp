// Squared and absolute differences of a 16x8 area with SSE2 (the integer-SSE body that the
// running classes inherit): absolute-difference sums and multiply-adds of the byte differences.
#include <emmintrin.h>

#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {

void CMBCoreXMM::SumSseSad16x8(const uint8_t* areaA, const uint8_t* areaB, int strideA, int strideB,
                               uint32_t* sadSum, uint32_t* sseSum) {
  __m128i sad = _mm_setzero_si128(), sse = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r, areaA += strideA, areaB += strideB) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(areaA));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(areaB));
    sad = _mm_add_epi64(sad, _mm_sad_epu8(a, b));
    __m128i low = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    __m128i high = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    sse = _mm_add_epi32(sse, _mm_add_epi32(_mm_madd_epi16(low, low), _mm_madd_epi16(high, high)));
  }
  sse = _mm_add_epi32(sse, _mm_srli_si128(sse, 8));
  sse = _mm_add_epi32(sse, _mm_srli_si128(sse, 4));
  *sadSum +=
      static_cast<uint32_t>(_mm_cvtsi128_si32(sad) + _mm_cvtsi128_si32(_mm_srli_si128(sad, 8)));
  *sseSum += static_cast<uint32_t>(_mm_cvtsi128_si32(sse));
}

}  // namespace orx::dsp
