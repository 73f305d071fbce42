// SSE2 VC-1 inverse transform of CMBCoreXMM2: the SMPTE 421M inverse transform in 16-bit lanes
// (every sum, including e1 + e7 and e3 + e5 of the halved column stage, taken modulo 2^16
// before its shift); the horizontal stage works on the stored rows directly, the vertical stage
// after a transposition. The output is not clipped.
#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/transpose_sse2.h"

namespace orx::dsp {
namespace {

inline __m128i Add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m128i Mul(__m128i a, int16_t k) { return _mm_mullo_epi16(a, _mm_set1_epi16(k)); }

}  // namespace

void CMBCoreXMM2::InverseTransformVc1(int16_t* block) {
  assert(IsAligned16(block));
  __m128i c[8];
  LoadBlockRows(block, c);  // register k: horizontal frequency k, lanes: vertical frequency
  // Horizontal stage: register x holds e(x) of every vertical frequency.
  {
    const __m128i four = _mm_set1_epi16(4);
    const __m128i even04 = Add(Mul(Add(c[0], c[4]), 12), four);
    const __m128i odd04 = Add(Mul(Sub(c[0], c[4]), 12), four);
    const __m128i a26 = Add(Mul(c[2], 16), Mul(c[6], 6));
    const __m128i b26 = Sub(Mul(c[2], 6), Mul(c[6], 16));
    const __m128i e[4] = {Add(even04, a26), Add(odd04, b26), Sub(odd04, b26), Sub(even04, a26)};
    const __m128i d[4] = {Add(Add(Mul(c[1], 16), Mul(c[3], 15)), Add(Mul(c[5], 9), Mul(c[7], 4))),
                          Sub(Sub(Mul(c[1], 15), Mul(c[3], 4)), Add(Mul(c[5], 16), Mul(c[7], 9))),
                          Add(Sub(Mul(c[1], 9), Mul(c[3], 16)), Add(Mul(c[5], 4), Mul(c[7], 15))),
                          Sub(Add(Sub(Mul(c[1], 4), Mul(c[3], 9)), Mul(c[5], 15)), Mul(c[7], 16))};
    for (int k = 0; k < 4; ++k) {
      const __m128i sum = _mm_srai_epi16(Add(e[k], d[k]), 3);
      const __m128i difference = _mm_srai_epi16(Sub(e[k], d[k]), 3);
      c[k] = sum;
      c[7 - k] = difference;
    }
  }
  Transpose8x8(c);  // register k: vertical frequency k, lanes: column
  // Vertical stage in the halved form.
  {
    const __m128i h17 = _mm_srai_epi16(Add(c[1], c[7]), 1);
    const __m128i h35 = _mm_srai_epi16(Add(c[3], c[5]), 1);
    const __m128i bias = _mm_set1_epi16(32);
    const __m128i even04 = Add(Mul(Add(c[0], c[4]), 6), bias);
    const __m128i odd04 = Add(Mul(Sub(c[0], c[4]), 6), bias);
    const __m128i a26 = Add(Mul(c[2], 8), Mul(c[6], 3));
    const __m128i b26 = Sub(Mul(c[2], 3), Mul(c[6], 8));
    const __m128i g[4] = {Add(even04, a26), Add(odd04, b26), Sub(odd04, b26), Sub(even04, a26)};
    const __m128i d[4] = {
        Add(Add(Add(Mul(c[1], 8), Mul(c[3], 7)), Add(Mul(c[5], 4), Mul(c[7], 2))), h35),
        Add(Sub(Sub(Mul(c[1], 7), Mul(c[3], 2)), Add(Mul(c[5], 8), Mul(c[7], 5))), h17),
        Add(Add(Sub(Mul(c[1], 4), Mul(c[3], 8)), Add(Mul(c[5], 2), Mul(c[7], 7))), h17),
        Add(Sub(Add(Sub(Mul(c[1], 2), Mul(c[3], 5)), Mul(c[5], 7)), Mul(c[7], 8)), h35)};
    for (int k = 0; k < 4; ++k) {
      const __m128i sum = _mm_srai_epi16(Add(g[k], d[k]), 6);
      const __m128i difference = _mm_srai_epi16(Sub(g[k], d[k]), 6);
      c[k] = sum;
      c[7 - k] = difference;
    }
  }
  StoreBlockRows(block, c);
}

}  // namespace orx::dsp
