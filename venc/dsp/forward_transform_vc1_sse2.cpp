// SSE2 VC-1 forward transform of CMBCoreXMM2: the integer 1-D pass in 16-bit lanes (every sum
// and shift on values taken modulo 2^16), columns first, then rows after a transposition, so
// that output v of vertical-frequency row u lands at index 8v + u.
#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/transpose_sse2.h"

namespace orx::dsp {
namespace {

inline __m128i Add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m128i Half(__m128i a) { return _mm_srai_epi16(a, 1); }
inline __m128i Twice(__m128i a) { return _mm_add_epi16(a, a); }
// (a + 1) >> 2
inline __m128i QuarterUp(__m128i a) {
  return _mm_srai_epi16(_mm_add_epi16(a, _mm_set1_epi16(1)), 2);
}

inline void Vc1ForwardPass(__m128i x[8]) {
  const __m128i a0 = Add(x[0], x[7]), a7 = Sub(x[0], x[7]);
  const __m128i a1 = Add(x[1], x[6]), a6 = Sub(x[1], x[6]);
  const __m128i a2 = Add(x[2], x[5]), a5 = Sub(x[2], x[5]);
  const __m128i a3 = Add(x[3], x[4]), a4 = Sub(x[3], x[4]);
  const __m128i s03 = Add(a0, a3), s12 = Add(a1, a2);
  const __m128i b1 = Sub(a0, a3), b2 = Sub(a1, a2);
  x[0] = Add(s03, s12);
  x[4] = Sub(s03, s12);
  x[2] = Sub(Add(Twice(b1), b2), QuarterUp(b2));
  x[6] = Sub(Sub(b1, Twice(b2)), QuarterUp(b1));
  const __m128i p = Sub(a5, a6), q = Add(a5, a6);
  const __m128i c1 = Add(Add(a4, Half(a4)), p);
  const __m128i c2 = Sub(Add(p, Half(p)), Twice(a4));
  const __m128i c3 = Sub(Add(a7, Half(a7)), q);
  const __m128i c4 = Add(Add(q, Half(q)), Twice(a7));
  x[1] = Sub(c4, QuarterUp(c2));
  x[7] = Add(c2, QuarterUp(c4));
  x[3] = Add(Sub(c3, c1), QuarterUp(Add(c3, c1)));
  x[5] = Sub(Add(c3, c1), QuarterUp(Sub(c3, c1)));
}

}  // namespace

void CMBCoreXMM2::ForwardTransformVc1(int16_t* block) {
  assert(IsAligned16(block));
  __m128i r[8];
  LoadBlockRows(block, r);
  Vc1ForwardPass(r);  // register u: vertical frequency u of every pixel column
  Transpose8x8(r);
  Vc1ForwardPass(r);  // register v: horizontal frequency v, lanes u
  StoreBlockRows(block, r);
}

}  // namespace orx::dsp
