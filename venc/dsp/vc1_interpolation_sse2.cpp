// The SSE2 VC-1 sub-sample interpolation of CMBCoreXMM2 (slots 59-62), which the running
// classes use. One 16-sample output row per step in 16-bit lanes; unaligned source loads,
// aligned destination stores. The vertical and two-dimensional kernels write at a pitch of 16
// whatever destination stride they are given (the driver always passes 16); the horizontal and
// bilinear kernels honour it (a multiple of 16). Results equal the reference class's.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/simd_loads.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

constexpr int kPitch = 16;
constexpr int kPrefetchRows = 2;

struct Wide {
  __m128i lo, hi;  // samples 0-7 and 8-15 as 16-bit lanes
};

Wide Widen(__m128i bytes) {
  const __m128i zero = _mm_setzero_si128();
  return {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
}

// The four taps of a fraction, each broadcast to 16-bit lanes.
struct Taps {
  __m128i c0, c1, c2, c3;
};

Taps TapsOf(int fraction) {
  const int8_t* t = Vc1BicubicTaps[fraction & 3];
  return {_mm_set1_epi16(t[0]), _mm_set1_epi16(t[1]), _mm_set1_epi16(t[2]), _mm_set1_epi16(t[3])};
}

// c0 a + c1 b + c2 c + c3 d; a one-dimensional sum of bytes stays within +-71 x 255.
__m128i Filter(const Taps& t, __m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(t.c0, a), _mm_mullo_epi16(t.c1, b)),
                       _mm_add_epi16(_mm_mullo_epi16(t.c2, c), _mm_mullo_epi16(t.c3, d)));
}

// The one-dimensional kernels filter fraction 1 with its own taps and every other fraction
// with the fraction-3 taps.
int OneDimensionalFraction(int fraction) { return fraction == 1 ? 1 : 3; }

void Prefetch(const uint8_t* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }

}  // namespace

void CMBCoreXMM2::InterpolateBilinearVc1(uint32_t weights, const uint8_t* source,
                                         uint8_t* destination, int sourceStride,
                                         int destinationStride, int rows, int rounding) {
  assert(IsAligned16(destination) && destinationStride % 16 == 0);
  const __m128i w0 = _mm_set1_epi16(weights & 0xFF), w1 = _mm_set1_epi16((weights >> 8) & 0xFF),
                w2 = _mm_set1_epi16((weights >> 16) & 0xFF), w3 = _mm_set1_epi16(weights >> 24);
  const __m128i round = _mm_set1_epi16(rounding ? 7 : 8);
  Wide top = Widen(LoadU(source)), topRight = Widen(LoadU(source + 2));
  for (int r = 0; r < rows; ++r) {
    const uint8_t* below = source + static_cast<std::ptrdiff_t>(r + 1) * sourceStride;
    Prefetch(below + kPrefetchRows * sourceStride);
    const Wide bottom = Widen(LoadU(below)), bottomRight = Widen(LoadU(below + 2));
    auto blend = [&](__m128i a, __m128i b, __m128i c, __m128i d) {
      __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(w0, a), _mm_mullo_epi16(w1, b)),
                                  _mm_add_epi16(_mm_mullo_epi16(w2, c), _mm_mullo_epi16(w3, d)));
      return _mm_srli_epi16(_mm_add_epi16(sum, round), 4);
    };
    const __m128i lo = blend(top.lo, topRight.lo, bottom.lo, bottomRight.lo);
    const __m128i hi = blend(top.hi, topRight.hi, bottom.hi, bottomRight.hi);
    StoreA(destination + static_cast<std::ptrdiff_t>(r) * destinationStride,
           _mm_packus_epi16(lo, hi));
    top = bottom;
    topRight = bottomRight;
  }
}

void CMBCoreXMM2::InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination,
                                            int sourceStride, int /*destinationStride*/, int rows,
                                            int fraction, int rounding) {
  assert(IsAligned16(destination));
  const Taps taps = TapsOf(OneDimensionalFraction(fraction));
  const __m128i round = _mm_set1_epi16(31 + rounding);
  Wide a = Widen(LoadU(source - sourceStride)), b = Widen(LoadU(source)),
       c = Widen(LoadU(source + sourceStride));
  for (int r = 0; r < rows; ++r) {
    const uint8_t* next = source + static_cast<std::ptrdiff_t>(r + 2) * sourceStride;
    Prefetch(next + kPrefetchRows * sourceStride);
    const Wide d = Widen(LoadU(next));
    const __m128i lo =
        _mm_srai_epi16(_mm_add_epi16(Filter(taps, a.lo, b.lo, c.lo, d.lo), round), 6);
    const __m128i hi =
        _mm_srai_epi16(_mm_add_epi16(Filter(taps, a.hi, b.hi, c.hi, d.hi), round), 6);
    StoreA(destination + kPitch * r, _mm_packus_epi16(lo, hi));
    a = b;
    b = c;
    c = d;
  }
}

void CMBCoreXMM2::InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination,
                                            int sourceStride, int destinationStride, int rows,
                                            int fraction, int rounding) {
  assert(IsAligned16(destination) && destinationStride % 16 == 0);
  const Taps taps = TapsOf(OneDimensionalFraction(fraction));
  const __m128i round = _mm_set1_epi16(32 - rounding);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    Prefetch(row + kPrefetchRows * sourceStride);
    const Wide a = Widen(LoadU(row - 1)), b = Widen(LoadU(row)), c = Widen(LoadU(row + 1)),
               d = Widen(LoadU(row + 2));
    const __m128i lo =
        _mm_srai_epi16(_mm_add_epi16(Filter(taps, a.lo, b.lo, c.lo, d.lo), round), 6);
    const __m128i hi =
        _mm_srai_epi16(_mm_add_epi16(Filter(taps, a.hi, b.hi, c.hi, d.hi), round), 6);
    StoreA(destination + static_cast<std::ptrdiff_t>(r) * destinationStride,
           _mm_packus_epi16(lo, hi));
  }
}

namespace {

// Source row of the two-dimensional kernel as 16-bit lanes: columns -1..6, 7..14 and 15..18
// (the last in lanes 0-3), read without going past column 18.
struct Columns {
  __m128i left, middle, right;
};

Columns LoadColumns(const uint8_t* p) {
  const Wide w = Widen(LoadU(p - 1));
  const __m128i tail = _mm_unpacklo_epi8(Load8(p + 11), _mm_setzero_si128());
  return {w.lo, w.hi, _mm_srli_si128(tail, 8)};
}

// Lanes k+1 .. k+8 of the 16-lane run (a, b): the columns that start k + 1 after a's first.
template <int kBytes>
__m128i Shifted(__m128i a, __m128i b) {
  if constexpr (kBytes == 0) {
    return a;
  } else {
    return _mm_or_si128(_mm_srli_si128(a, kBytes), _mm_slli_si128(b, 16 - kBytes));
  }
}

// The horizontal pass over eight outputs from the first-pass values t(-1) .. t(10) held in the
// lanes of (a, b): (h + 64 - rounding) >> 7 taken as the floor of the mean of two partial sums,
// each of which fits 16 bits, shifted by 6.
__m128i SecondPass(const Taps& taps, __m128i a, __m128i b, __m128i round) {
  const __m128i first =
      _mm_add_epi16(_mm_mullo_epi16(taps.c0, a), _mm_mullo_epi16(taps.c1, Shifted<2>(a, b)));
  const __m128i second = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(taps.c2, Shifted<4>(a, b)),
                                                     _mm_mullo_epi16(taps.c3, Shifted<6>(a, b))),
                                       round);
  const __m128i carry = _mm_and_si128(_mm_and_si128(first, second), _mm_set1_epi16(1));
  const __m128i mean =
      _mm_add_epi16(_mm_add_epi16(_mm_srai_epi16(first, 1), _mm_srai_epi16(second, 1)), carry);
  return _mm_srai_epi16(mean, 6);
}

}  // namespace

void CMBCoreXMM2::InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination,
                                          int sourceStride, int /*destinationStride*/, int rows,
                                          int fractionX, int fractionY, int rounding) {
  assert(IsAligned16(destination));
  const Taps tapsX = TapsOf(fractionX), tapsY = TapsOf(fractionY);
  const int shift = (fractionX != 2 ? 6 : 4) + (fractionY != 2 ? 6 : 4) - 7;
  const __m128i firstRound =
      _mm_set1_epi16(static_cast<int16_t>((1 << (shift - 1)) + rounding - 1));
  const __m128i firstShift = _mm_cvtsi32_si128(shift);
  const __m128i secondRound = _mm_set1_epi16(static_cast<int16_t>(64 - rounding));
  Columns a = LoadColumns(source - sourceStride), b = LoadColumns(source),
          c = LoadColumns(source + sourceStride);
  auto vertical = [&](__m128i r0, __m128i r1, __m128i r2, __m128i r3) {
    return _mm_sra_epi16(_mm_add_epi16(Filter(tapsY, r0, r1, r2, r3), firstRound), firstShift);
  };
  for (int r = 0; r < rows; ++r) {
    const uint8_t* next = source + static_cast<std::ptrdiff_t>(r + 2) * sourceStride;
    Prefetch(next + kPrefetchRows * sourceStride);
    const Columns d = LoadColumns(next);
    const __m128i left = vertical(a.left, b.left, c.left, d.left);
    const __m128i middle = vertical(a.middle, b.middle, c.middle, d.middle);
    const __m128i right = vertical(a.right, b.right, c.right, d.right);
    const __m128i lo = SecondPass(tapsX, left, middle, secondRound);
    const __m128i hi = SecondPass(tapsX, middle, right, secondRound);
    StoreA(destination + kPitch * r, _mm_packus_epi16(lo, hi));
    a = b;
    b = c;
    c = d;
  }
}

}  // namespace orx::dsp
