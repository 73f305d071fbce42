// SSE2 inverse DCT of CMBCoreXMM2: a branch-free separable inverse DCT with 13-bit constants,
// 32-bit products and sums (pmaddwd on interleaved coefficient pairs), each pass rounded,
// shifted and saturated to 16 bits, the output left unclipped.
#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/transpose_sse2.h"

namespace orx::dsp {
namespace {

// Pairs of 13-bit constants for pmaddwd on interleaved (a, b) lanes: a * first + b * second.
inline __m128i Pair(int16_t first, int16_t second) {
  return _mm_set_epi16(second, first, second, first, second, first, second, first);
}

// The four 32-bit lanes of (a[i], b[i]) * (first, second) for the low or high half.
inline __m128i MulAddLow(__m128i a, __m128i b, __m128i pair) {
  return _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pair);
}
inline __m128i MulAddHigh(__m128i a, __m128i b, __m128i pair) {
  return _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pair);
}

// One pass: inputs x[0..7] (16-bit lanes), outputs y[0..7] = (sum + round) >> shift, saturated.
template <int kShift>
inline void IdctPass(__m128i x[8]) {
  const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
  // Even part: t0 = (x0 + x4) * 8192, t1 = (x0 - x4) * 8192, t3 = 10703 x2 + 4433 x6,
  // t2 = 4433 x2 - 10704 x6.
  const __m128i p04plus = Pair(8192, 8192), p04minus = Pair(8192, -8192);
  const __m128i p26t3 = Pair(10703, 4433), p26t2 = Pair(4433, -10704);
  // Odd part with z5 = 9633 (x1 + x3 + x5 + x7) folded into the per-output constants.
  const __m128i o0a = Pair(11363, 9633), o0b = Pair(6437, 2260);  // (x1, x3), (x5, x7)
  const __m128i o1a = Pair(9633, -2259), o1b = Pair(-11362, -6436);
  const __m128i o2a = Pair(6437, -11362), o2b = Pair(2261, 9633);
  const __m128i o3a = Pair(2260, -6436), o3b = Pair(9633, -11363);
  __m128i out[2][8];
  for (int half = 0; half < 2; ++half) {
    auto mul = [half](__m128i a, __m128i b, __m128i pair) {
      return half == 0 ? MulAddLow(a, b, pair) : MulAddHigh(a, b, pair);
    };
    const __m128i t0 = _mm_add_epi32(mul(x[0], x[4], p04plus), round);
    const __m128i t1 = _mm_add_epi32(mul(x[0], x[4], p04minus), round);
    const __m128i t3 = mul(x[2], x[6], p26t3);
    const __m128i t2 = mul(x[2], x[6], p26t2);
    const __m128i e0 = _mm_add_epi32(t0, t3), e3 = _mm_sub_epi32(t0, t3);
    const __m128i e1 = _mm_add_epi32(t1, t2), e2 = _mm_sub_epi32(t1, t2);
    const __m128i o0 = _mm_add_epi32(mul(x[1], x[3], o0a), mul(x[5], x[7], o0b));
    const __m128i o1 = _mm_add_epi32(mul(x[1], x[3], o1a), mul(x[5], x[7], o1b));
    const __m128i o2 = _mm_add_epi32(mul(x[1], x[3], o2a), mul(x[5], x[7], o2b));
    const __m128i o3 = _mm_add_epi32(mul(x[1], x[3], o3a), mul(x[5], x[7], o3b));
    __m128i* y = out[half];
    y[0] = _mm_srai_epi32(_mm_add_epi32(e0, o0), kShift);
    y[7] = _mm_srai_epi32(_mm_sub_epi32(e0, o0), kShift);
    y[1] = _mm_srai_epi32(_mm_add_epi32(e1, o1), kShift);
    y[6] = _mm_srai_epi32(_mm_sub_epi32(e1, o1), kShift);
    y[2] = _mm_srai_epi32(_mm_add_epi32(e2, o2), kShift);
    y[5] = _mm_srai_epi32(_mm_sub_epi32(e2, o2), kShift);
    y[3] = _mm_srai_epi32(_mm_add_epi32(e3, o3), kShift);
    y[4] = _mm_srai_epi32(_mm_sub_epi32(e3, o3), kShift);
  }
  for (int i = 0; i < 8; ++i) x[i] = _mm_packs_epi32(out[0][i], out[1][i]);
}

}  // namespace

void CMBCoreXMM2::InverseDct(int16_t* block) {
  assert(IsAligned16(block));
  __m128i r[8];
  LoadBlockRows(block, r);  // register k: horizontal frequency k, lanes: vertical frequency
  IdctPass<11>(r);          // register j: horizontal position j, lanes: vertical frequency
  Transpose8x8(r);          // register k: vertical frequency k, lanes: horizontal position
  IdctPass<18>(r);          // register i: row i of the samples
  StoreBlockRows(block, r);
}

}  // namespace orx::dsp
