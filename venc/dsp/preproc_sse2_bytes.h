#pragma once
// Byte-lane building blocks of the preprocessing core's SSE2 kernels: 16-byte loads and stores
// and the unsigned byte arithmetic that the filters share.
#include <emmintrin.h>

#include <cstdint>

namespace orx::dsp::preproc_sse2 {

inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i LoadAligned(const uint8_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void StoreAligned(uint8_t* p, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
}

// |a - b| per unsigned byte.
inline __m128i AbsDiff(__m128i a, __m128i b) {
  return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

// Per byte: when mask is all ones a, else b.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

}  // namespace orx::dsp::preproc_sse2
