// SSE2 quantisers of CMBCoreXMM2, eight coefficients at a time. The 32-bit product of a signed
// coefficient and an unsigned 16-bit reciprocal is taken as its high and low halves; levels
// that can reach a 2047 limit are held there.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }

// c x r as a 32-bit value: high half (signed) and low half (unsigned).
struct Product {
  __m128i high, low;
};
inline Product Multiply(__m128i c, __m128i r) {
  // pmulhw reads r as signed; where r >= 32768 the unsigned product is c x 65536 larger.
  __m128i high = _mm_add_epi16(_mm_mulhi_epi16(c, r), _mm_and_si128(c, _mm_srai_epi16(r, 15)));
  return {high, _mm_mullo_epi16(c, r)};
}

// (x + 32768) >> 16
inline __m128i Rounded(const Product& x) {
  return _mm_add_epi16(x.high, _mm_srli_epi16(x.low, 15));
}
// floor(x / 65536) plus 1 when negative.
inline __m128i TowardZero(const Product& x) {
  return _mm_sub_epi16(x.high, _mm_srai_epi16(x.high, 15));
}
// (x + (c < 0 ? 65535 : 0)) >> 16
inline __m128i Truncated(const Product& x, __m128i c) {
  __m128i lowNonZero =
      _mm_andnot_si128(_mm_cmpeq_epi16(x.low, _mm_setzero_si128()), _mm_set1_epi16(1));
  return _mm_add_epi16(x.high, _mm_and_si128(lowNonZero, _mm_srai_epi16(c, 15)));
}
inline __m128i Limit(__m128i v, int16_t limit) {
  return _mm_max_epi16(_mm_min_epi16(v, _mm_set1_epi16(limit)),
                       _mm_set1_epi16(static_cast<int16_t>(-limit)));
}
inline __m128i Abs(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
inline int HorizontalMax(__m128i v) {
  v = _mm_max_epi16(v, _mm_srli_si128(v, 8));
  v = _mm_max_epi16(v, _mm_srli_si128(v, 4));
  v = _mm_max_epi16(v, _mm_srli_si128(v, 2));
  return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}
inline bool AnyNonZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) != 0xFFFF;
}

int RoundedDc(int c0, const DcQuantPair* dc, int blockIndex) {
  int level = (c0 * ((blockIndex & 4) ? dc->chroma : dc->luma) + 32768) >> 16;
  return level < -2047 ? -2047 : level > 2047 ? 2047 : level;
}

}  // namespace

void CMBCoreXMM2::ApplyDeadZone(int16_t* block) {
  if (currentDeadZone == nullptr) return;
  assert(IsAligned16(block) && IsAligned16(currentDeadZone));
  for (int i = 0; i < 64; i += 8) {
    __m128i c = Load(block + i);
    __m128i magnitude = _mm_max_epi16(c, _mm_subs_epi16(_mm_setzero_si128(), c));
    __m128i keep = _mm_cmpgt_epi16(magnitude, Load(currentDeadZone + i));
    Store(block + i, _mm_and_si128(c, keep));
  }
}

int CMBCoreXMM2::QuantizeClip255(const int16_t* source, int16_t* destination) {
  assert(IsAligned16(source) && IsAligned16(destination) && IsAligned16(currentReciprocals));
  __m128i largest = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i level = Rounded(Multiply(Load(source + i), Load(currentReciprocals + i)));
    largest = _mm_max_epi16(largest, Abs(level));
    Store(destination + i, Limit(level, 255));
  }
  int most = HorizontalMax(largest);
  return most > 255 ? most : 0;
}

void CMBCoreXMM2::QuantizeClip2047(int16_t* block) {
  assert(IsAligned16(block) && IsAligned16(currentReciprocals));
  for (int i = 0; i < 64; i += 8) {
    __m128i level = Rounded(Multiply(Load(block + i), Load(currentReciprocals + i)));
    Store(block + i, Limit(level, 2047));
  }
}

int CMBCoreXMM2::QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) {
  assert(IsAligned16(source) && IsAligned16(destination) && IsAligned16(currentReciprocals));
  __m128i largest = _mm_setzero_si128(), any = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i level = TowardZero(Multiply(Load(source + i), Load(currentReciprocals + i)));
    largest = _mm_max_epi16(largest, Abs(level));
    any = _mm_or_si128(any, level);
    Store(destination + i, Limit(level, 255));
  }
  int most = HorizontalMax(largest);
  *overflow = most > 255 ? most : 0;
  return AnyNonZero(any);
}

int CMBCoreXMM2::QuantizeInterClip2047(int16_t* block) {
  assert(IsAligned16(block) && IsAligned16(currentReciprocals));
  __m128i any = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i level =
        Limit(TowardZero(Multiply(Load(block + i), Load(currentReciprocals + i))), 2047);
    any = _mm_or_si128(any, level);
    Store(block + i, level);
  }
  return AnyNonZero(any);
}

int CMBCoreXMM2::QuantizeIntra(int16_t* block, int blockIndex) {
  assert(IsAligned16(block) && IsAligned16(currentReciprocals));
  const int dc = RoundedDc(block[0], currentDcQuant, blockIndex);
  __m128i any = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i level = Limit(Rounded(Multiply(Load(block + i), Load(currentReciprocals + i))), 2047);
    if (i == 0) level = _mm_insert_epi16(level, 0, 0);
    any = _mm_or_si128(any, level);
    Store(block + i, level);
  }
  block[0] = static_cast<int16_t>(dc);
  return AnyNonZero(any);
}

int CMBCoreXMM2::QuantizeIntraTrunc(int16_t* block, int blockIndex) {
  assert(IsAligned16(block) && IsAligned16(currentReciprocals));
  const int dc = RoundedDc(block[0], currentDcQuant, blockIndex);
  __m128i any = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i c = Load(block + i);
    __m128i level = Limit(Truncated(Multiply(c, Load(currentReciprocals + i)), c), 2047);
    if (i == 0) level = _mm_insert_epi16(level, 0, 0);
    any = _mm_or_si128(any, level);
    Store(block + i, level);
  }
  block[0] = static_cast<int16_t>(dc);
  return AnyNonZero(any);
}

}  // namespace orx::dsp
