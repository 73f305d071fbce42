// SSE2 H.264 inter prediction of CMBCoreXMM2 (slots 73 and 77; CMBCoreXMM3 inherits them). The
// luma kernel computes the whole 8x8 block for its fraction: the six-tap sums in 16-bit lanes
// from 8-byte loads (never beyond the filter's support), the centre sample from the unrounded
// horizontal sums (kept in the first 208 bytes of the scratch area) in 32-bit lanes, and the
// quarter samples as byte averages of two of those planes. The chroma kernel weights both
// components of a row with one multiply sequence.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Widen8(const uint8_t* p) { return _mm_unpacklo_epi8(Load8(p), _mm_setzero_si128()); }

// Eight rows of 8 bytes (the low half of each register).
struct Plane {
  __m128i row[8];
};

// e + j - 5 (f + i) + 20 (g + h) in 16-bit lanes.
inline __m128i SixTap(__m128i e, __m128i f, __m128i g, __m128i h, __m128i i, __m128i j) {
  __m128i outer = _mm_add_epi16(e, j);
  __m128i inner = _mm_add_epi16(f, i);
  __m128i centre = _mm_add_epi16(g, h);
  __m128i sum = _mm_sub_epi16(outer, _mm_add_epi16(inner, _mm_slli_epi16(inner, 2)));
  return _mm_add_epi16(sum, _mm_add_epi16(_mm_slli_epi16(centre, 4), _mm_slli_epi16(centre, 2)));
}

// Unrounded horizontal six-tap sums of one row's 8 outputs.
inline __m128i HorizontalSums(const uint8_t* p) {
  return SixTap(Widen8(p - 2), Widen8(p - 1), Widen8(p), Widen8(p + 1), Widen8(p + 2), Widen8(p + 3));
}

inline __m128i RoundHalf(__m128i sums) {
  __m128i v = _mm_srai_epi16(_mm_add_epi16(sums, _mm_set1_epi16(16)), 5);
  return _mm_packus_epi16(v, v);
}

Plane FullSamples(const uint8_t* source, int stride) {
  Plane out;
  for (int y = 0; y < 8; ++y) out.row[y] = Load8(source + y * stride);
  return out;
}

Plane HorizontalHalf(const uint8_t* source, int stride) {
  Plane out;
  for (int y = 0; y < 8; ++y) out.row[y] = RoundHalf(HorizontalSums(source + y * stride));
  return out;
}

Plane VerticalHalf(const uint8_t* source, int stride) {
  __m128i rows[13];
  for (int y = 0; y < 13; ++y) rows[y] = Widen8(source + (y - 2) * stride);
  Plane out;
  for (int y = 0; y < 8; ++y) {
    out.row[y] = RoundHalf(SixTap(rows[y], rows[y + 1], rows[y + 2], rows[y + 3], rows[y + 4], rows[y + 5]));
  }
  return out;
}

// The centre samples: the vertical six-tap of the unrounded horizontal sums, (x + 512) >> 10.
Plane Centre(const uint8_t* source, int stride, __m128i* sums) {
  for (int y = 0; y < 13; ++y) _mm_store_si128(sums + y, HorizontalSums(source + (y - 2) * stride));
  Plane out;
  __m128i outerInner = _mm_setr_epi16(1, -5, 1, -5, 1, -5, 1, -5);
  __m128i centreTaps = _mm_setr_epi16(20, 0, 20, 0, 20, 0, 20, 0);
  __m128i round = _mm_set1_epi32(512);
  __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    __m128i r0 = _mm_load_si128(sums + y), r1 = _mm_load_si128(sums + y + 1);
    __m128i r2 = _mm_load_si128(sums + y + 2), r3 = _mm_load_si128(sums + y + 3);
    __m128i r4 = _mm_load_si128(sums + y + 4), r5 = _mm_load_si128(sums + y + 5);
    // Each pair sum of the symmetric taps fits in 16 bits; the weighted total needs 32.
    __m128i outer = _mm_add_epi16(r0, r5), inner = _mm_add_epi16(r1, r4), centre = _mm_add_epi16(r2, r3);
    __m128i low = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(outer, inner), outerInner),
                                _mm_madd_epi16(_mm_unpacklo_epi16(centre, zero), centreTaps));
    __m128i high = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(outer, inner), outerInner),
                                 _mm_madd_epi16(_mm_unpackhi_epi16(centre, zero), centreTaps));
    low = _mm_srai_epi32(_mm_add_epi32(low, round), 10);
    high = _mm_srai_epi32(_mm_add_epi32(high, round), 10);
    __m128i words = _mm_packs_epi32(low, high);
    out.row[y] = _mm_packus_epi16(words, words);
  }
  return out;
}

void StoreAverage(uint8_t* destination, const Plane& a, const Plane& b) {
  for (int y = 0; y < 8; ++y) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + 8 * y), _mm_avg_epu8(a.row[y], b.row[y]));
  }
}

void StorePlane(uint8_t* destination, const Plane& a) {
  for (int y = 0; y < 8; ++y) _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + 8 * y), a.row[y]);
}

}  // namespace

void CMBCoreXMM2::McChromaEighthPel(uint8_t* destination, const uint8_t* source, int sourceStride,
                                    uint32_t fractions) {
  assert(IsAligned16(destination));
  int dx = static_cast<int>(fractions & 0xFFFF), dy = static_cast<int>(fractions >> 16);
  __m128i a = _mm_set1_epi16(static_cast<int16_t>((8 - dx) * (8 - dy)));
  __m128i b = _mm_set1_epi16(static_cast<int16_t>(dx * (8 - dy)));
  __m128i c = _mm_set1_epi16(static_cast<int16_t>((8 - dx) * dy));
  __m128i d = _mm_set1_epi16(static_cast<int16_t>(dx * dy));
  __m128i round = _mm_set1_epi16(32);
  __m128i above = Widen8(source), aboveRight = Widen8(source + 2);
  __m128i rows[4];
  for (int y = 0; y < 4; ++y) {
    const uint8_t* below = source + (y + 1) * sourceStride;
    __m128i under = Widen8(below), underRight = Widen8(below + 2);
    __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, above), _mm_mullo_epi16(b, aboveRight)),
                                _mm_add_epi16(_mm_mullo_epi16(c, under), _mm_mullo_epi16(d, underRight)));
    rows[y] = _mm_srli_epi16(_mm_add_epi16(sum, round), 6);
    above = under;
    aboveRight = underRight;
  }
  // Two output rows per aligned store.
  _mm_store_si128(reinterpret_cast<__m128i*>(destination), _mm_packus_epi16(rows[0], rows[1]));
  _mm_store_si128(reinterpret_cast<__m128i*>(destination + 16), _mm_packus_epi16(rows[2], rows[3]));
}

void CMBCoreXMM2::InterpolateLumaQpel8x8(uint8_t* destination, const uint8_t* source,
                                         int sourceStride, int mode) {
  assert(IsAligned16(scratch));
  _mm_prefetch(reinterpret_cast<const char*>(source + 8 * sourceStride), _MM_HINT_T0);
  const int s = sourceStride;
  __m128i* sums = reinterpret_cast<__m128i*>(scratch);
  switch (mode & 15) {
    case 0: StorePlane(destination, FullSamples(source, s)); break;
    case 1: StoreAverage(destination, FullSamples(source, s), HorizontalHalf(source, s)); break;
    case 2: StorePlane(destination, HorizontalHalf(source, s)); break;
    case 3: StoreAverage(destination, FullSamples(source + 1, s), HorizontalHalf(source, s)); break;
    case 4: StoreAverage(destination, FullSamples(source, s), VerticalHalf(source, s)); break;
    case 5: StoreAverage(destination, HorizontalHalf(source, s), VerticalHalf(source, s)); break;
    case 6: StoreAverage(destination, HorizontalHalf(source, s), Centre(source, s, sums)); break;
    case 7: StoreAverage(destination, HorizontalHalf(source, s), VerticalHalf(source + 1, s)); break;
    case 8: StorePlane(destination, VerticalHalf(source, s)); break;
    case 9: StoreAverage(destination, VerticalHalf(source, s), Centre(source, s, sums)); break;
    case 10: StorePlane(destination, Centre(source, s, sums)); break;
    case 11: StoreAverage(destination, Centre(source, s, sums), VerticalHalf(source + 1, s)); break;
    case 12: StoreAverage(destination, FullSamples(source + s, s), VerticalHalf(source, s)); break;
    case 13: StoreAverage(destination, HorizontalHalf(source + s, s), VerticalHalf(source, s)); break;
    case 14: StoreAverage(destination, Centre(source, s, sums), HorizontalHalf(source + s, s)); break;
    default: StoreAverage(destination, HorizontalHalf(source + s, s), VerticalHalf(source + 1, s)); break;
  }
}

}  // namespace orx::dsp
