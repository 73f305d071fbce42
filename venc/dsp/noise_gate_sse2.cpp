// Noise gates of the MMX class (which the running classes inherit), written with SSE2: a byte
// keeps its old value when the new one differs from it by less than 8 ((|new - old| & 0xF8)
// is 0), else takes the new value.
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::Load;
using preproc_sse2::Store;

inline __m128i Gate(__m128i fresh, __m128i old) {
  const __m128i belowEight = _mm_cmpeq_epi8(
      _mm_subs_epu8(preproc_sse2::AbsDiff(fresh, old), _mm_set1_epi8(7)), _mm_setzero_si128());
  return preproc_sse2::Select(belowEight, old, fresh);
}

}  // namespace

// 8 x (length >> 3) bytes: 16 at a time, then one 8-byte step.
void CPreprocCoreMMX::NoiseGateRow(const uint8_t* source, uint8_t* gated, int length) {
  const int bytes = length & ~7;
  int i = 0;
  for (; i + 16 <= bytes; i += 16) Store(gated + i, Gate(Load(source + i), Load(gated + i)));
  if (i < bytes) {
    const __m128i fresh = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(source + i));
    const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(gated + i));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(gated + i), Gate(fresh, old));
  }
}

// The source pair holds the 16 old bytes, then the 16 new ones.
void CPreprocCoreMMX::NoiseGate16(uint8_t* destination, const uint8_t* sourcePair) {
  Store(destination, Gate(Load(sourcePair + 16), Load(sourcePair)));
}

}  // namespace orx::dsp
