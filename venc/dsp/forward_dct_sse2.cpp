// SSE2 forward DCT of CMBCoreXMM2: the Arai-Agui-Nakajima fast DCT entirely in 16-bit lanes
// (every sum wraps modulo 2^16, every product is the high half of a 16x16-bit product), the
// vertical pass first, then the horizontal pass after a transposition, so that output v of
// vertical-frequency row u lands at index 8v + u; finally index 63 is doubled.
#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/transpose_sse2.h"

namespace orx::dsp {
namespace {

inline __m128i Add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
// H(a, c): floor(a * c / 65536).
inline __m128i High(__m128i a, int16_t c) { return _mm_mulhi_epi16(a, _mm_set1_epi16(c)); }
inline __m128i Times2(__m128i a) { return _mm_slli_epi16(a, 1); }
inline __m128i Times4(__m128i a) { return _mm_slli_epi16(a, 2); }

// The fixed-point products of the first (vertical) pass.
struct VerticalProducts {
  static __m128i K1(__m128i a) { return High(Times4(a), 11585); }
  static __m128i K2(__m128i a) { return High(Times4(a), 6270); }
  static __m128i K3(__m128i a) { return High(Times4(a), 8867); }
  static __m128i K4(__m128i a) { return High(Times4(a), 21407); }
  static __m128i K5(__m128i a) { return High(Times4(a), 11585); }
};

// The products of the second (horizontal) pass.
struct HorizontalProducts {
  static __m128i K1(__m128i a) { return Times4(High(a, 11585)); }
  static __m128i K2(__m128i a) { return High(a, 25080); }
  static __m128i K3(__m128i a) { return High(Times2(a), 17734); }
  static __m128i K4(__m128i a) { return Times2(High(Times2(a), 21407)); }
  static __m128i K5(__m128i a) { return High(Times2(a), 23170); }
};

template <typename K>
inline void AanPass(__m128i x[8]) {
  const __m128i t0 = Add(x[0], x[7]), t7 = Sub(x[0], x[7]);
  const __m128i t1 = Add(x[1], x[6]), t6 = Sub(x[1], x[6]);
  const __m128i t2 = Add(x[2], x[5]), t5 = Sub(x[2], x[5]);
  const __m128i t3 = Add(x[3], x[4]), t4 = Sub(x[3], x[4]);
  const __m128i t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t1, t2), t12 = Sub(t1, t2);
  const __m128i z1 = K::K1(Add(t12, t13));
  x[0] = Add(t10, t11);
  x[4] = Sub(t10, t11);
  x[2] = Add(t13, z1);
  x[6] = Sub(t13, z1);
  const __m128i u10 = Add(t4, t5), u11 = Add(t5, t6), u12 = Add(t6, t7);
  const __m128i z5 = K::K2(Sub(u10, u12));
  const __m128i z2 = Add(K::K3(u10), z5);
  const __m128i z4 = Add(K::K4(u12), z5);
  const __m128i z3 = K::K5(u11);
  const __m128i z11 = Add(t7, z3), z13 = Sub(t7, z3);
  x[5] = Add(z13, z2);
  x[3] = Sub(z13, z2);
  x[1] = Add(z11, z4);
  x[7] = Sub(z11, z4);
}

}  // namespace

void CMBCoreXMM2::ForwardDct(int16_t* block) {
  assert(IsAligned16(block));
  __m128i r[8];
  LoadBlockRows(block, r);
  AanPass<VerticalProducts>(r);    // register u: vertical frequency u of every pixel column
  Transpose8x8(r);                 // register x: pixel column x, lanes u
  AanPass<HorizontalProducts>(r);  // register v: horizontal frequency v, lanes u
  r[7] = _mm_add_epi16(r[7], _mm_and_si128(r[7], _mm_set_epi16(-1, 0, 0, 0, 0, 0, 0, 0)));
  StoreBlockRows(block, r);
}

}  // namespace orx::dsp
