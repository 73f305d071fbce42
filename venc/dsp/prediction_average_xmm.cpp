// Prediction averaging as CMBCoreXMM supplies it (slots 80 and 82): CMBCoreXMM2 and CMBCoreXMM3
// inherit these bodies, so every SSE2 and SSE3 encode runs them. Byte averages round up at
// halves, as the plain class does; written with SSE2 on XMM registers (no MMX state is left
// behind) and unaligned accesses, since no alignment is required.
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline void AverageInPlace16(uint8_t* destination, const uint8_t* source) {
  __m128i* d = reinterpret_cast<__m128i*>(destination);
  _mm_storeu_si128(d, _mm_avg_epu8(_mm_loadu_si128(d), _mm_loadu_si128(reinterpret_cast<const __m128i*>(source))));
}

}  // namespace

void CMBCoreXMM::AverageInPlace32(uint8_t* destination, const uint8_t* source) {
  for (int i = 0; i < 32; i += 16) AverageInPlace16(destination + i, source + i);
}

void CMBCoreXMM::AverageInPlace64(uint8_t* destination, const uint8_t* source) {
  for (int i = 0; i < 64; i += 16) AverageInPlace16(destination + i, source + i);
}

}  // namespace orx::dsp
