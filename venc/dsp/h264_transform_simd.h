#pragma once
// SSE2 pieces of the H.264 residual kernels, shared by the SSE2 class's bodies and the two
// bodies the integer-SSE class supplies to it (slots 67 and 68). Two 4x4 blocks are held side
// by side: lanes 0-3 the left (or Cb) block, lanes 4-7 the right (or Cr) block.
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/quant_tables.h"

namespace orx::dsp::h264simd {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }
inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  __builtin_memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Widen(__m128i bytes) { return _mm_unpacklo_epi8(bytes, _mm_setzero_si128()); }

// Two column-major coefficient blocks (each as words 0-7 and 8-15).
struct BlockPair {
  __m128i left01, left23, right01, right23;
};

// Forward core transform of four residual rows of 8 lanes (two 4x4 blocks side by side).
inline BlockPair ForwardTransformPair(__m128i r0, __m128i r1, __m128i r2, __m128i r3) {
  // Vertical pass: t_k holds vertical frequency k of every column.
  __m128i s03 = _mm_add_epi16(r0, r3), d03 = _mm_sub_epi16(r0, r3);
  __m128i s12 = _mm_add_epi16(r1, r2), d12 = _mm_sub_epi16(r1, r2);
  __m128i t0 = _mm_add_epi16(s03, s12);
  __m128i t2 = _mm_sub_epi16(s03, s12);
  __m128i t1 = _mm_add_epi16(_mm_add_epi16(d03, d03), d12);
  __m128i t3 = _mm_sub_epi16(d03, _mm_add_epi16(d12, d12));
  // Transpose each 4x4 half: columns c hold (t0..t3) of that column.
  __m128i a = _mm_unpacklo_epi16(t0, t1), b = _mm_unpacklo_epi16(t2, t3);
  __m128i c = _mm_unpackhi_epi16(t0, t1), d = _mm_unpackhi_epi16(t2, t3);
  __m128i left01 = _mm_unpacklo_epi32(a, b), left23 = _mm_unpackhi_epi32(a, b);
  __m128i right01 = _mm_unpacklo_epi32(c, d), right23 = _mm_unpackhi_epi32(c, d);
  __m128i y0 = _mm_unpacklo_epi64(left01, right01), y1 = _mm_unpackhi_epi64(left01, right01);
  __m128i y2 = _mm_unpacklo_epi64(left23, right23), y3 = _mm_unpackhi_epi64(left23, right23);
  // Horizontal pass: z_u (lanes: vertical frequency) becomes words 4u..4u+3 of each block.
  s03 = _mm_add_epi16(y0, y3);
  d03 = _mm_sub_epi16(y0, y3);
  s12 = _mm_add_epi16(y1, y2);
  d12 = _mm_sub_epi16(y1, y2);
  __m128i z0 = _mm_add_epi16(s03, s12);
  __m128i z2 = _mm_sub_epi16(s03, s12);
  __m128i z1 = _mm_add_epi16(_mm_add_epi16(d03, d03), d12);
  __m128i z3 = _mm_sub_epi16(d03, _mm_add_epi16(d12, d12));
  return {_mm_unpacklo_epi64(z0, z1), _mm_unpacklo_epi64(z2, z3), _mm_unpackhi_epi64(z0, z1),
          _mm_unpackhi_epi64(z2, z3)};
}

// Dead-zone quantiser of 8 coefficients: (c x M + 2^16) >> 17 where |c| > T, else 0.
inline __m128i Quantize(__m128i c, __m128i multiplier, __m128i threshold) {
  __m128i low = _mm_mullo_epi16(c, multiplier), high = _mm_mulhi_epi16(c, multiplier);
  __m128i round = _mm_set1_epi32(1 << 16);
  __m128i p0 = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(low, high), round), 17);
  __m128i p1 = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(low, high), round), 17);
  __m128i magnitude = _mm_max_epi16(c, _mm_sub_epi16(_mm_setzero_si128(), c));
  return _mm_and_si128(_mm_packs_epi32(p0, p1), _mm_cmpgt_epi16(magnitude, threshold));
}

// Number of non-zero words in a and b.
inline int CountNonZero(__m128i a, __m128i b) {
  __m128i zero = _mm_setzero_si128();
  int zeros = _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero)));
  return 16 - __builtin_popcount(static_cast<unsigned>(zeros));
}

// Quantises both blocks of a pair with the record; `keepDc` leaves word 0 of each unquantised.
inline void QuantizePair(BlockPair& pair, const H264QuantRecord& record, bool keepDc) {
  __m128i m01 = Load(record.multiplier), m23 = Load(record.multiplier + 8);
  __m128i t01 = Load(record.threshold), t23 = Load(record.threshold + 8);
  __m128i dcMask = keepDc ? _mm_setr_epi16(-1, 0, 0, 0, 0, 0, 0, 0) : _mm_setzero_si128();
  __m128i l01 = Quantize(pair.left01, m01, t01), r01 = Quantize(pair.right01, m01, t01);
  pair.left01 = _mm_or_si128(_mm_andnot_si128(dcMask, l01), _mm_and_si128(dcMask, pair.left01));
  pair.right01 = _mm_or_si128(_mm_andnot_si128(dcMask, r01), _mm_and_si128(dcMask, pair.right01));
  pair.left23 = Quantize(pair.left23, m23, t23);
  pair.right23 = Quantize(pair.right23, m23, t23);
}

// Counts without word 0 when it holds the unquantised DC.
inline int CountLevels(__m128i b01, __m128i b23, bool keepDc) {
  if (keepDc) b01 = _mm_and_si128(b01, _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1));
  return CountNonZero(b01, b23);
}

// 16-bit sums and differences that saturate (kSaturate) or wrap.
template <bool kSaturate>
inline __m128i Add(__m128i a, __m128i b) {
  return kSaturate ? _mm_adds_epi16(a, b) : _mm_add_epi16(a, b);
}
template <bool kSaturate>
inline __m128i Sub(__m128i a, __m128i b) {
  return kSaturate ? _mm_subs_epi16(a, b) : _mm_sub_epi16(a, b);
}

// Inverse core transform of two dequantised column-major blocks; answers the four output rows
// of 8 lanes before rounding. The horizontal pass wraps at 16 bits; the vertical pass
// saturates (kSaturate) or wraps.
template <bool kSaturate>
inline void InverseTransformPair(const BlockPair& w, __m128i rows[4]) {
  // x_u: horizontal frequency u, lanes the vertical frequency v of both blocks.
  __m128i x0 = _mm_unpacklo_epi64(w.left01, w.right01), x1 = _mm_unpackhi_epi64(w.left01, w.right01);
  __m128i x2 = _mm_unpacklo_epi64(w.left23, w.right23), x3 = _mm_unpackhi_epi64(w.left23, w.right23);
  __m128i e = _mm_add_epi16(x0, x2), f = _mm_sub_epi16(x0, x2);
  __m128i g = _mm_sub_epi16(_mm_srai_epi16(x1, 1), x3), h = _mm_add_epi16(x1, _mm_srai_epi16(x3, 1));
  __m128i c0 = _mm_add_epi16(e, h), c1 = _mm_add_epi16(f, g);
  __m128i c2 = _mm_sub_epi16(f, g), c3 = _mm_sub_epi16(e, h);
  // Transpose each half: v_k holds vertical frequency k of every column.
  __m128i a = _mm_unpacklo_epi16(c0, c1), b = _mm_unpacklo_epi16(c2, c3);
  __m128i c = _mm_unpackhi_epi16(c0, c1), d = _mm_unpackhi_epi16(c2, c3);
  __m128i l01 = _mm_unpacklo_epi32(a, b), l23 = _mm_unpackhi_epi32(a, b);
  __m128i r01 = _mm_unpacklo_epi32(c, d), r23 = _mm_unpackhi_epi32(c, d);
  __m128i v0 = _mm_unpacklo_epi64(l01, r01), v1 = _mm_unpackhi_epi64(l01, r01);
  __m128i v2 = _mm_unpacklo_epi64(l23, r23), v3 = _mm_unpackhi_epi64(l23, r23);
  e = Add<kSaturate>(v0, v2);
  f = Sub<kSaturate>(v0, v2);
  g = Sub<kSaturate>(_mm_srai_epi16(v1, 1), v3);
  h = Add<kSaturate>(v1, _mm_srai_epi16(v3, 1));
  rows[0] = Add<kSaturate>(e, h);
  rows[1] = Add<kSaturate>(f, g);
  rows[2] = Sub<kSaturate>(f, g);
  rows[3] = Sub<kSaturate>(e, h);
}

// (x + 32) >> 6 added to 8 prediction bytes, limited to 0..255 (8 bytes in the low half).
template <bool kSaturate>
inline __m128i RoundAdd(__m128i residual, __m128i predictionBytes) {
  __m128i rounded = Add<kSaturate>(residual, _mm_set1_epi16(32));
  __m128i sum = _mm_adds_epi16(_mm_srai_epi16(rounded, 6), Widen(predictionBytes));
  return _mm_packus_epi16(sum, sum);
}

// Dequantises both blocks: w = level x levelScale, kept to 16 bits.
inline BlockPair Dequantize(const BlockPair& levels, const H264QuantRecord& record) {
  __m128i s01 = Load(record.levelScale), s23 = Load(record.levelScale + 8);
  return {_mm_mullo_epi16(levels.left01, s01), _mm_mullo_epi16(levels.left23, s23),
          _mm_mullo_epi16(levels.right01, s01), _mm_mullo_epi16(levels.right23, s23)};
}

// (dc + 32) >> 6 of the left block in lanes 0-3 and of the right block in lanes 4-7.
inline __m128i DcOffsets(int leftDc, int rightDc) {
  int16_t l = static_cast<int16_t>((leftDc + 32) >> 6), r = static_cast<int16_t>((rightDc + 32) >> 6);
  return _mm_setr_epi16(l, l, l, l, r, r, r, r);
}

}  // namespace orx::dsp::h264simd
