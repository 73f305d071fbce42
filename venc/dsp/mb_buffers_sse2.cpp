// SSE2 macroblock buffer operations of CMBCoreXMM2. The last-coefficient search has no loop
// over positions: it packs the coefficients to bytes, masks the scan table with the non-zero
// positions and takes the unsigned maximum.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }

}  // namespace

void CMBCoreXMM2::Copy16x16(uint8_t* destination, const uint8_t* source, int destinationStride,
                            int sourceStride) {
  assert(IsAligned16(destination) && IsAligned16(source));
  assert(destinationStride % 16 == 0 && sourceStride % 16 == 0);
  for (int r = 0; r < 8; ++r, destination += destinationStride, source += sourceStride) {
    Store(destination, Load(source));
  }
}

void CMBCoreXMM2::CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma) {
  assert(IsAligned16(destination) && IsAligned16(luma) && IsAligned16(chroma));
  _mm_prefetch(reinterpret_cast<const char*>(chroma), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(chroma + 64), _MM_HINT_T0);
  for (int i = 0; i < 256; i += 16) Store(destination + i, Load(luma + i));
  for (int i = 0; i < 128; i += 16) Store(destination + 256 + i, Load(chroma + i));
}

void CMBCoreXMM2::AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma,
                                   const uint8_t* firstChroma, const uint8_t* secondLuma,
                                   const uint8_t* secondChroma) {
  assert(IsAligned16(destination) && IsAligned16(firstLuma) && IsAligned16(firstChroma));
  assert(IsAligned16(secondLuma) && IsAligned16(secondChroma));
  _mm_prefetch(reinterpret_cast<const char*>(firstChroma), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(secondChroma), _MM_HINT_T0);
  for (int i = 0; i < 256; i += 16) {
    Store(destination + i, _mm_avg_epu8(Load(firstLuma + i), Load(secondLuma + i)));
  }
  for (int i = 0; i < 128; i += 16) {
    Store(destination + 256 + i, _mm_avg_epu8(Load(firstChroma + i), Load(secondChroma + i)));
  }
}

int CMBCoreXMM2::FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan) {
  assert(IsAligned16(block) && IsAligned16(positionToScan));
  __m128i best = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 16) {
    __m128i bytes = _mm_packs_epi16(Load(block + i), Load(block + i + 8));
    __m128i zero = _mm_cmpeq_epi8(bytes, _mm_setzero_si128());
    best = _mm_max_epu8(best, _mm_andnot_si128(zero, Load(positionToScan + i)));
  }
  best = _mm_max_epu8(best, _mm_srli_si128(best, 8));
  best = _mm_max_epu8(best, _mm_srli_si128(best, 4));
  best = _mm_max_epu8(best, _mm_srli_si128(best, 2));
  best = _mm_max_epu8(best, _mm_srli_si128(best, 1));
  return _mm_cvtsi128_si32(best) & 0xFF;
}

}  // namespace orx::dsp
