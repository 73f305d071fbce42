#pragma once
// The loads of unaligned source rows that the SIMD kernel templates are written for: the SSE2
// unaligned load, and in translation units built with -msse3 the SSE3 LDDQU, which does not
// pay for loads that cross a cache line. Both live in an unnamed namespace, so translation
// units built with different flags never share a compiled body.
#include <emmintrin.h>
#ifdef __SSE3__
#include <pmmintrin.h>
#endif

#include <cstdint>

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

}  // namespace
}  // namespace orx::dsp
