#pragma once
// Loads and stores of the SSE2 and SSE3 motion kernels. The row loads that the kernel templates
// are written for: the SSE2 unaligned load, and in translation units built with -msse3 the SSE3
// LDDQU, which does not pay for loads that cross a cache line. Everything lives in an unnamed
// namespace, so translation units built with different flags never share a compiled body.
#include <emmintrin.h>
#ifdef __SSE3__
#include <pmmintrin.h>
#endif

#include <cstdint>
#include <cstring>

namespace orx::dsp {
namespace {

struct UnalignedRowLoad {
  static __m128i Row(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
};

#ifdef __SSE3__
struct Sse3RowLoad {
  static __m128i Row(const uint8_t* p) {
    return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(p));
  }
};
#endif

inline __m128i LoadU(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i LoadA(const uint8_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
// Two 8-sample rows in one register.
inline __m128i Rows8(const uint8_t* first, const uint8_t* second) {
  return _mm_unpacklo_epi64(Load8(first), Load8(second));
}
inline void StoreU(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void StoreA(uint8_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// The two 64-bit lane sums of _mm_sad_epu8 accumulations, added.
inline uint32_t LaneTotal(__m128i sums) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums) +
                               _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

}  // namespace
}  // namespace orx::dsp
