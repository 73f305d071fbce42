// The XMM deinterleaver: 8 samples per channel per step.
#include <emmintrin.h>

#include <cassert>

#include "aenc/simd/mpeg_audio_encoder_variants.h"

namespace orx::aenc {

void CMPEGAudioEncoder_XMM::DeinterleavePcm(const int16_t* in, int16_t* left, int16_t* right,
                                            int count, int channelCount) {
  assert(count % 8 == 0);
  if (channelCount == 2) {
    for (int i = 0; i < count; i += 8) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i + 8));
      // Each 32-bit lane holds one (left, right) pair: sign-extend each half, then pack.
      __m128i leftA = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
      __m128i leftB = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
      __m128i rightA = _mm_srai_epi32(a, 16);
      __m128i rightB = _mm_srai_epi32(b, 16);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(left + i), _mm_packs_epi32(leftA, leftB));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(right + i), _mm_packs_epi32(rightA, rightB));
    }
  } else {
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < count; i += 8) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(left + i), a);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(right + i), zero);
    }
  }
}

}  // namespace orx::aenc
