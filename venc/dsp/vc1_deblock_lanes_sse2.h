#pragma once
// The VC-1 deblocking filter on eight lines at once, one line per 16-bit lane, shared by the
// SSE2 horizontal-edge kernels and the vertical-edge kernels that the running classes inherit.
// Lanes 0-3 and 4-7 are two segments: the third line of each (lane 2, lane 6) decides whether
// its segment is filtered. Everything lives in an unnamed namespace (see simd_loads.h).
#include <emmintrin.h>

namespace orx::dsp {
namespace {

// P1..P8 of eight lines, 16-bit lanes holding bytes.
struct DeblockLines {
  __m128i p[8];
};

inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// (2 (a - d) - 5 (b - c) + 4) >> 3 for the lines a, b, c, d.
inline __m128i EdgeActivity(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i twice = _mm_slli_epi16(_mm_sub_epi16(a, d), 1);
  const __m128i bc = _mm_sub_epi16(b, c);
  const __m128i fives = _mm_add_epi16(_mm_slli_epi16(bc, 2), bc);
  return _mm_srai_epi16(_mm_add_epi16(_mm_sub_epi16(twice, fives), _mm_set1_epi16(4)), 3);
}

// The new P4 and P5 of every line (`enabled` lanes only; the others keep theirs). A line
// qualifies when |a0| < pquant and min(|a1|, |a2|) < |a0|; it opens its segment when it also has
// |P4 - P5| >= 2. A qualifying line of an open segment moves P4 and P5 towards each other by
// min(5 (|a0| - a3) / 8, |P4 - P5| / 2) when a0 points against the step P4 - P5.
inline void DeblockLanes(const DeblockLines& l, __m128i pquant, __m128i enabled, __m128i* p4,
                         __m128i* p5) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a0 = EdgeActivity(l.p[2], l.p[3], l.p[4], l.p[5]);
  const __m128i a1 = EdgeActivity(l.p[0], l.p[1], l.p[2], l.p[3]);
  const __m128i a2 = EdgeActivity(l.p[4], l.p[5], l.p[6], l.p[7]);
  const __m128i absA0 = Abs16(a0);
  const __m128i a3 = _mm_min_epi16(Abs16(a1), Abs16(a2));
  const __m128i step = _mm_sub_epi16(l.p[3], l.p[4]);
  const __m128i clip = _mm_srli_epi16(Abs16(step), 1);
  const __m128i qualifies =
      _mm_and_si128(_mm_cmplt_epi16(absA0, pquant), _mm_cmplt_epi16(a3, absA0));
  const __m128i opens = _mm_andnot_si128(_mm_cmpeq_epi16(clip, zero), qualifies);
  // The third line of each segment decides for its four lines.
  const __m128i segmentOpen = _mm_shufflehi_epi16(_mm_shufflelo_epi16(opens, 0xAA), 0xAA);
  // a0 and the step have opposite signs (a qualifying a0 is never 0; a zero step has clip 0).
  const __m128i stepUp = _mm_cmpgt_epi16(step, zero);
  const __m128i against = _mm_xor_si128(stepUp, _mm_cmpgt_epi16(a0, zero));
  const __m128i apply =
      _mm_and_si128(_mm_and_si128(_mm_and_si128(opens, against), segmentOpen), enabled);
  const __m128i gap = _mm_sub_epi16(absA0, a3);
  const __m128i magnitude =
      _mm_min_epi16(_mm_srai_epi16(_mm_add_epi16(_mm_slli_epi16(gap, 2), gap), 3), clip);
  const __m128i d = _mm_and_si128(magnitude, apply);
  // P4 > P5: P4 - d, P5 + d; P4 < P5: P4 + d, P5 - d.
  const __m128i down = _mm_and_si128(d, stepUp), up = _mm_andnot_si128(stepUp, d);
  *p4 = _mm_add_epi16(_mm_sub_epi16(l.p[3], down), up);
  *p5 = _mm_sub_epi16(_mm_add_epi16(l.p[4], down), up);
}

}  // namespace
}  // namespace orx::dsp
