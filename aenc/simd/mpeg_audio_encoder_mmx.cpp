// The MMX window kernel: packed 16 x 16 -> 32-bit multiply-add, 8 partial sums per step.
#include <emmintrin.h>

#include <cassert>

#include "aenc/simd/mpeg_audio_encoder_variants.h"

namespace orx::aenc {
namespace {

// Four rows of 8 taps: the sums of each row's four pairwise products, in lanes 0..3.
__m128i FourRowSums(const int16_t* history, const int16_t* window) {
  const __m128i* h = reinterpret_cast<const __m128i*>(history);
  const __m128i* w = reinterpret_cast<const __m128i*>(window);
  __m128i m0 = _mm_madd_epi16(_mm_load_si128(h + 0), _mm_load_si128(w + 0));
  __m128i m1 = _mm_madd_epi16(_mm_load_si128(h + 1), _mm_load_si128(w + 1));
  __m128i m2 = _mm_madd_epi16(_mm_load_si128(h + 2), _mm_load_si128(w + 2));
  __m128i m3 = _mm_madd_epi16(_mm_load_si128(h + 3), _mm_load_si128(w + 3));
  __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(m0, m1), _mm_unpackhi_epi32(m0, m1));
  __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(m2, m3), _mm_unpackhi_epi32(m2, m3));
  return _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
}

}  // namespace

void CMPEGAudioEncoder_MMX::PolyphaseWindow(const int16_t* history, const int16_t* window,
                                            int32_t* sums, int count) {
  assert(count % 8 == 0);
  for (int row = 0; row < count; row += 8) {
    __m128i low = FourRowSums(history + 8 * row, window + 8 * row);
    __m128i high = FourRowSums(history + 8 * row + 32, window + 8 * row + 32);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + row), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + row + 4), high);
  }
}

}  // namespace orx::aenc
