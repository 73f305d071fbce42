// SSE2 DC-only intra block pairs of CMBCoreXMM2: the forward transforms' DC equals the sum of
// the 64 inputs, so the DC is quantised straight from the pixel sums, without a transform.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

// Sums of the left and right 8x8 halves of a 16x8 area (rows 16-byte aligned).
void PairSums(const uint8_t* source, int stride, int sums[2]) {
  assert(IsAligned16(source) && stride % 16 == 0);
  __m128i total = _mm_setzero_si128();
  for (int row = 0; row < 8; ++row) {
    _mm_prefetch(reinterpret_cast<const char*>(source + (row + 8) * stride), _MM_HINT_T0);
    __m128i pixels = _mm_load_si128(reinterpret_cast<const __m128i*>(source + row * stride));
    total = _mm_add_epi64(total, _mm_sad_epu8(pixels, _mm_setzero_si128()));
  }
  sums[0] = _mm_cvtsi128_si32(total);
  sums[1] = _mm_cvtsi128_si32(_mm_srli_si128(total, 8));
}

void StoreDcPair(int16_t* destination, int dc0, int dc1) {
  assert(IsAligned16(destination));
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 128; i += 8)
    _mm_store_si128(reinterpret_cast<__m128i*>(destination + i), zero);
  destination[0] = static_cast<int16_t>(dc0);
  destination[64] = static_cast<int16_t>(dc1);
}

}  // namespace

void CMBCoreXMM2::CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) {
  int sums[2];
  PairSums(source, stride, sums);
  const int q = currentDcQuant->luma;
  StoreDcPair(destination, (sums[0] * q + 32768) >> 16, (sums[1] * q + 32768) >> 16);
}

void CMBCoreXMM2::CodeIntraDcOnlyPairVc1(int16_t* destination, const uint8_t* source, int stride,
                                         int offset) {
  int sums[2];
  PairSums(source, stride, sums);
  const int q = currentDcQuant->luma;
  const int shift = 64 * static_cast<int16_t>(offset);
  StoreDcPair(destination, ((sums[0] - shift) * q + 32768) >> 16,
              ((sums[1] - shift) * q + 32768) >> 16);
}

}  // namespace orx::dsp
