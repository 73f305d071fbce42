// Impulse filters of CPreprocCoreXMM2: 16 samples at a time in byte lanes, rows from the top
// down in place. Working a unit at a time defines the neighbours: every sample is filtered,
// the last taking itself as its right neighbour; inside a unit the left neighbour is the
// unfiltered previous sample, at the start of every further unit it is the previous sample
// already filtered (after the spatial step only, in the bounded forms). The interleaved
// chroma forms work the same way on neighbours two bytes apart. The strength is used modulo
// 256, or limited to 0..127 in the bounded forms, whose threshold and limit are bytes and
// whose gain is 16 bits; their blend towards the reference is formed in 32 bits.
#include <emmintrin.h>

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::LoadAligned;
using preproc_sse2::StoreAligned;

// c limited to the range of the three neighbour averages; a correction d above the strength s
// becomes max(2s - d, 0), which s - (d - s) with unsigned saturation gives for every s.
inline __m128i Spatial(__m128i c, __m128i left, __m128i right, __m128i above, __m128i below,
                       __m128i aboveFar, __m128i belowFar, __m128i strength) {
  const __m128i vertical = _mm_avg_epu8(aboveFar, belowFar);
  const __m128i adjacent = _mm_avg_epu8(above, below);
  const __m128i horizontal = _mm_avg_epu8(left, right);
  const __m128i lo = _mm_min_epu8(vertical, _mm_min_epu8(adjacent, horizontal));
  const __m128i hi = _mm_max_epu8(vertical, _mm_max_epu8(adjacent, horizontal));
  const __m128i up = _mm_subs_epu8(lo, c), down = _mm_subs_epu8(c, hi);
  const __m128i correction = _mm_or_si128(up, down);
  const __m128i allowed = _mm_subs_epu8(strength, _mm_subs_epu8(correction, strength));
  return _mm_subs_epu8(_mm_adds_epu8(c, _mm_min_epu8(up, allowed)), _mm_min_epu8(down, allowed));
}

// Bounded-form parameters spread over the lanes.
struct Blend {
  __m128i threshold;  // bytes
  __m128i limit;      // bytes
  __m128i gain;       // 16-bit lanes
};

// For 8 samples in 16-bit lanes: with g the weight and a = |r - y|, k = (g x gain) >> 8,
// |m| = k x a and |delta| = (|m| + (|m| >> 8)) >> 8, in 32 bits so that no product wraps
// (saturated to 16 bits on return; anything above 255 clamps the same way).
inline __m128i DeltaMagnitude(__m128i weight, __m128i difference, __m128i gain) {
  const __m128i k = _mm_or_si128(_mm_srli_epi16(_mm_mullo_epi16(weight, gain), 8),
                                 _mm_slli_epi16(_mm_mulhi_epu16(weight, gain), 8));
  const __m128i low = _mm_mullo_epi16(k, difference), high = _mm_mulhi_epu16(k, difference);
  __m128i m0 = _mm_unpacklo_epi16(low, high), m1 = _mm_unpackhi_epi16(low, high);
  m0 = _mm_srli_epi32(_mm_add_epi32(m0, _mm_srli_epi32(m0, 8)), 8);
  m1 = _mm_srli_epi32(_mm_add_epi32(m1, _mm_srli_epi32(m1, 8)), 8);
  return _mm_packs_epi32(m0, m1);
}

// y moved towards the reference r by the weight g = max(limit - max(|y - r| - threshold, 0),
// 0), saturated to 0..255.
inline __m128i BlendTowards(__m128i y, __m128i r, const Blend& blend) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i difference = preproc_sse2::AbsDiff(y, r);
  const __m128i weight = _mm_subs_epu8(blend.limit, _mm_subs_epu8(difference, blend.threshold));
  const __m128i delta =
      _mm_packus_epi16(DeltaMagnitude(_mm_unpacklo_epi8(weight, zero),
                                      _mm_unpacklo_epi8(difference, zero), blend.gain),
                       DeltaMagnitude(_mm_unpackhi_epi8(weight, zero),
                                      _mm_unpackhi_epi8(difference, zero), blend.gain));
  const __m128i upwards = _mm_cmpeq_epi8(_mm_subs_epu8(y, r), zero);
  return preproc_sse2::Select(upwards, _mm_adds_epu8(y, delta), _mm_subs_epu8(y, delta));
}

// kStep 1: luma; 2: interleaved chroma (each component's neighbours two bytes away).
template <int kStep, bool kBlend>
void FilterRows(uint8_t* firstRow, const uint8_t* referenceRow, int width, int rows, int distance,
                int stride, __m128i strength, const Blend* blend) {
  assert(IsAligned16(firstRow) && stride % 16 == 0 && distance % 16 == 0);
  assert(width >= 32 && width % 16 == 0);
  assert(!kBlend || IsAligned16(referenceRow));
  for (int r = 0; r < rows; ++r) {
    uint8_t* row = firstRow + static_cast<ptrdiff_t>(r) * stride;
    __m128i current = LoadAligned(row);
    // At the row's start a sample is its own left neighbour.
    __m128i previous = _mm_slli_si128(current, 16 - kStep);
    for (int x = 0; x < width; x += 16) {
      uint8_t* p = row + x;
      // At the row's end a sample is its own right neighbour.
      const __m128i next =
          x + 16 < width ? LoadAligned(p + 16) : _mm_srli_si128(current, 16 - kStep);
      const __m128i left =
          _mm_or_si128(_mm_slli_si128(current, kStep), _mm_srli_si128(previous, 16 - kStep));
      const __m128i right =
          _mm_or_si128(_mm_srli_si128(current, kStep), _mm_slli_si128(next, 16 - kStep));
      const __m128i spatial =
          Spatial(current, left, right, LoadAligned(p - stride), LoadAligned(p + stride),
                  LoadAligned(p - distance), LoadAligned(p + distance), strength);
      if constexpr (kBlend) {
        const uint8_t* reference = referenceRow + static_cast<ptrdiff_t>(r) * stride + x;
        StoreAligned(p, BlendTowards(spatial, LoadAligned(reference), *blend));
      } else {
        StoreAligned(p, spatial);
      }
      previous = spatial;
      current = next;
    }
  }
}

inline __m128i StrengthModulo256(int strength) {
  return _mm_set1_epi8(static_cast<char>(strength));
}

inline Blend BlendParameters(int threshold, int limit, int gain) {
  return {_mm_set1_epi8(static_cast<char>(threshold)), _mm_set1_epi8(static_cast<char>(limit)),
          _mm_set1_epi16(static_cast<int16_t>(gain))};
}

inline __m128i StrengthUpTo127(int strength) {
  return _mm_set1_epi8(static_cast<char>(std::clamp(strength, 0, 127)));
}

}  // namespace

void CPreprocCoreXMM2::MedianFilter(uint8_t* firstRow, int width, int rows, int distance,
                                    int stride, int strength) {
  FilterRows<1, false>(firstRow, nullptr, width, rows, distance, stride,
                       StrengthModulo256(strength), nullptr);
}

void CPreprocCoreXMM2::MedianFilterStep2(uint8_t* firstRow, int width, int rows, int distance,
                                         int stride, int strength) {
  FilterRows<2, false>(firstRow, nullptr, width, rows, distance, stride,
                       StrengthModulo256(strength), nullptr);
}

void CPreprocCoreXMM2::MedianFilterBounded(uint8_t* firstRow, const uint8_t* referenceRow,
                                           int width, int rows, int distance, int stride,
                                           int strength, int threshold, int limit, int gain) {
  const Blend blend = BlendParameters(threshold, limit, gain);
  FilterRows<1, true>(firstRow, referenceRow, width, rows, distance, stride,
                      StrengthUpTo127(strength), &blend);
}

void CPreprocCoreXMM2::MedianFilterStep2Alt(uint8_t* firstRow, const uint8_t* referenceRow,
                                            int width, int rows, int distance, int stride,
                                            int strength, int threshold, int limit, int gain) {
  const Blend blend = BlendParameters(threshold, limit, gain);
  FilterRows<2, true>(firstRow, referenceRow, width, rows, distance, stride,
                      StrengthUpTo127(strength), &blend);
}

}  // namespace orx::dsp
