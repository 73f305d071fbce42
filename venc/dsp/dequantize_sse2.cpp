// SSE2 inverse quantisers of CMBCoreXMM2, eight coefficients at a time with 32-bit products;
// the DC-only reconstructions broadcast one computed value.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }

// Eight 32-bit multipliers (below 32768) as 16-bit lanes.
inline __m128i Multipliers(const int32_t* m) { return _mm_packs_epi32(Load(m), Load(m + 4)); }

// The 32-bit products a x m of eight lanes, low and high four.
struct Wide {
  __m128i low, high;
};
inline Wide MultiplyWide(__m128i a, __m128i m) {
  __m128i lo = _mm_mullo_epi16(a, m), hi = _mm_mulhi_epi16(a, m);
  return {_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi)};
}
// Division by 2^shift truncating toward zero, packed back to 16 bits with saturation.
template <int kShift>
inline __m128i DivideTowardZero(const Wide& v) {
  const __m128i bias = _mm_set1_epi32((1 << kShift) - 1);
  __m128i lo =
      _mm_srai_epi32(_mm_add_epi32(v.low, _mm_and_si128(_mm_srai_epi32(v.low, 31), bias)), kShift);
  __m128i hi = _mm_srai_epi32(
      _mm_add_epi32(v.high, _mm_and_si128(_mm_srai_epi32(v.high, 31), bias)), kShift);
  return _mm_packs_epi32(lo, hi);
}
template <int kShift>
inline __m128i ShiftPositive(const Wide& v) {
  return _mm_packs_epi32(_mm_srai_epi32(v.low, kShift), _mm_srai_epi32(v.high, kShift));
}

inline __m128i Abs(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
inline __m128i Sign(__m128i v) {
  return _mm_sub_epi16(_mm_cmpgt_epi16(_mm_setzero_si128(), v),
                       _mm_cmpgt_epi16(v, _mm_setzero_si128()));
}
inline __m128i Limit2048(__m128i v) {
  return _mm_max_epi16(_mm_min_epi16(v, _mm_set1_epi16(2047)), _mm_set1_epi16(-2048));
}
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// A non-negative magnitude with the limits of each sign applied: +min(m, 2047) for c > 0,
// -min(m, 2048) otherwise.
inline __m128i SignedLimited(__m128i c, __m128i magnitude) {
  __m128i positive = _mm_min_epi16(magnitude, _mm_set1_epi16(2047));
  __m128i negative =
      _mm_sub_epi16(_mm_setzero_si128(), _mm_min_epi16(magnitude, _mm_set1_epi16(2048)));
  return Select(_mm_cmpgt_epi16(c, _mm_setzero_si128()), positive, negative);
}
// MPEG-1 oddification: a positive even magnitude moves one step toward zero.
inline __m128i MakeOdd(__m128i y) {
  __m128i odd = _mm_or_si128(_mm_sub_epi16(y, _mm_set1_epi16(1)), _mm_set1_epi16(1));
  return _mm_and_si128(odd, _mm_cmpgt_epi16(y, _mm_setzero_si128()));
}
inline __m128i NonZero(__m128i c) {
  return _mm_xor_si128(_mm_cmpeq_epi16(c, _mm_setzero_si128()), _mm_set1_epi16(-1));
}

// Toggles bit 0 of entry 63 when the sum of the 64 values is even (only the parity counts,
// so 16-bit sums do).
void MismatchControl(int16_t* block, __m128i sum) {
  sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
  sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 4));
  sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 2));
  if ((_mm_cvtsi128_si32(sum) & 1) == 0) block[63] = static_cast<int16_t>(block[63] ^ 1);
}

int DcMultiplier(const DcMultiplierPair* pair, int blockIndex) {
  return (blockIndex & 4) ? pair->chroma : pair->luma;
}
int TruncatedDc(int c0, int multiplier) { return static_cast<int>(int64_t{c0} * multiplier / 16); }
int Limited2048(int v) { return v < -2048 ? -2048 : v > 2047 ? 2047 : v; }

// H.263-style magnitude (2|c| + 1) x qp - (qp even), limited by sign; 0 for c = 0.
inline __m128i H263Levels(__m128i c, int qp) {
  __m128i twiceAbsPlusOne = _mm_add_epi16(_mm_add_epi16(Abs(c), Abs(c)), _mm_set1_epi16(1));
  Wide product = MultiplyWide(twiceAbsPlusOne, _mm_set1_epi16(static_cast<int16_t>(qp)));
  __m128i even = _mm_set1_epi32(qp % 2 == 0 ? 1 : 0);
  __m128i magnitude =
      _mm_packs_epi32(_mm_sub_epi32(product.low, even), _mm_sub_epi32(product.high, even));
  return _mm_and_si128(SignedLimited(c, magnitude), NonZero(c));
}

inline __m128i Vc1Levels(__m128i c, int step) {
  __m128i level =
      _mm_add_epi16(_mm_mullo_epi16(c, _mm_set1_epi16(static_cast<int16_t>(step))),
                    _mm_mullo_epi16(Sign(c), _mm_set1_epi16(static_cast<int16_t>(step / 2))));
  return level;
}

void Fill(int16_t* block, int value) {
  __m128i v = _mm_set1_epi16(static_cast<int16_t>(value));
  for (int i = 0; i < 64; i += 8) Store(block + i, v);
}

}  // namespace

void CMBCoreXMM2::DequantizeIntraMpeg1(int16_t* block) {
  assert(IsAligned16(block) && IsAligned16(currentDequant));
  const int16_t dc = static_cast<int16_t>(block[0] * 8);
  for (int i = 0; i < 64; i += 8) {
    __m128i c = Load(block + i);
    __m128i y = ShiftPositive<4>(MultiplyWide(Abs(c), Multipliers(currentDequant + i)));
    Store(block + i, SignedLimited(c, MakeOdd(y)));
  }
  block[0] = dc;
}

void CMBCoreXMM2::DequantizeInterMpeg1(int16_t* block) {
  assert(IsAligned16(block) && IsAligned16(currentDequant));
  for (int i = 0; i < 64; i += 8) {
    __m128i c = Load(block + i);
    __m128i twiceAbsPlusOne = _mm_add_epi16(_mm_add_epi16(Abs(c), Abs(c)), _mm_set1_epi16(1));
    __m128i y = ShiftPositive<5>(MultiplyWide(twiceAbsPlusOne, Multipliers(currentDequant + i)));
    Store(block + i, _mm_and_si128(SignedLimited(c, MakeOdd(y)), NonZero(c)));
  }
}

void CMBCoreXMM2::DequantizeIntraMpeg2(int16_t* block, int blockIndex) {
  assert(IsAligned16(block) && IsAligned16(currentDequant));
  const int dc = Limited2048(TruncatedDc(block[0], DcMultiplier(currentDcMultiplier, blockIndex)));
  __m128i sum = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i v = Limit2048(
        DivideTowardZero<4>(MultiplyWide(Load(block + i), Multipliers(currentDequant + i))));
    if (i == 0) v = _mm_insert_epi16(v, dc, 0);
    sum = _mm_add_epi16(sum, v);
    Store(block + i, v);
  }
  MismatchControl(block, sum);
}

void CMBCoreXMM2::DequantizeInterMpeg2(int16_t* block) {
  assert(IsAligned16(block) && IsAligned16(currentDequant));
  __m128i sum = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    __m128i c = Load(block + i);
    __m128i twicePlusSign = _mm_add_epi16(_mm_add_epi16(c, c), Sign(c));
    __m128i v = Limit2048(
        DivideTowardZero<5>(MultiplyWide(twicePlusSign, Multipliers(currentDequant + i))));
    sum = _mm_add_epi16(sum, v);
    Store(block + i, v);
  }
  MismatchControl(block, sum);
}

void CMBCoreXMM2::DequantizeIntraH263(int16_t* block, int blockIndex, int qp) {
  assert(IsAligned16(block));
  const int dc = Limited2048(TruncatedDc(block[0], DcMultiplier(currentDcMultiplier, blockIndex)));
  for (int i = 0; i < 64; i += 8) Store(block + i, H263Levels(Load(block + i), qp));
  block[0] = static_cast<int16_t>(dc);
}

void CMBCoreXMM2::DequantizeInterH263(int16_t* block, int qp) {
  assert(IsAligned16(block));
  for (int i = 0; i < 64; i += 8) Store(block + i, H263Levels(Load(block + i), qp));
}

void CMBCoreXMM2::ReconstructIntraDcOnly(int16_t* block, int blockIndex) {
  assert(IsAligned16(block));
  // No [0, 2047] limit before the rounding, unlike the plain class.
  const int x = TruncatedDc(block[0], DcMultiplier(currentDcMultiplier, blockIndex));
  Fill(block, (x + 4) >> 3);
}

void CMBCoreXMM2::ReconstructInterDcOnly(int16_t* block) {
  assert(IsAligned16(block));
  const int c0 = block[0];
  assert(c0 != 0 && "an inter block reconstructed from its DC alone has a non-zero DC");
  const int sign = c0 > 0 ? 1 : -1;
  const int x = Limited2048(static_cast<int>((2 * int64_t{c0} + sign) * currentDequant[0] / 32));
  const int16_t even = static_cast<int16_t>((x + 4) >> 3);
  const int16_t odd = static_cast<int16_t>((x + 2 * (x & 1) + 2) >> 3);
  const __m128i evenRow = _mm_setr_epi16(even, odd, even, odd, even, odd, even, odd);
  const __m128i oddRow = _mm_setr_epi16(odd, even, odd, even, odd, even, odd, even);
  for (int row = 0; row < 8; ++row) Store(block + 8 * row, row % 2 == 0 ? evenRow : oddRow);
}

void CMBCoreXMM2::DequantizeIntraVc1(int16_t* block, int dcStep, int acStep) {
  assert(IsAligned16(block));
  const int16_t dc = static_cast<int16_t>(block[0] * dcStep);
  for (int i = 0; i < 64; i += 8) Store(block + i, Vc1Levels(Load(block + i), acStep));
  block[0] = dc;
}

void CMBCoreXMM2::DequantizeInterVc1(int16_t* block, int acStep) {
  assert(IsAligned16(block));
  for (int i = 0; i < 64; i += 8) Store(block + i, Vc1Levels(Load(block + i), acStep));
}

void CMBCoreXMM2::ReconstructDcOnlyVc1(int16_t* block, int dcStep) {
  assert(IsAligned16(block));
  const int x = block[0] * dcStep;
  Fill(block, (3 * ((3 * x + 1) >> 1) + 16) >> 5);
}

}  // namespace orx::dsp
