// The two H.264 residual bodies that CMBCoreXMM supplies and that CMBCoreXMM2 and CMBCoreXMM3
// inherit, so every SSE2 and SSE3 encode runs them: slot 67 (luma DC transform, quantisation and
// dequantisation) and slot 68 (reconstruction of one 4x4 block). Written with SSE2 on XMM
// registers (no MMX state is left behind); the results are those of the integer-SSE arithmetic:
// the luma DC level as the high half of the 16x16-bit product then (x + 2) >> 2, the
// reconstruction's vertical pass saturating at 16 bits and its DC-only path
// ((w0 >> 5) + 1) >> 1. The other CMBCoreXMM H.264 bodies run only without SSE2 and are built
// with the processor variants.
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/h264_transform_simd.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

using namespace h264simd;

// 4x4 transpose of the low four lanes of four registers.
inline void Transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  __m128i ab = _mm_unpacklo_epi16(a, b), cd = _mm_unpacklo_epi16(c, d);
  __m128i lo = _mm_unpacklo_epi32(ab, cd), hi = _mm_unpackhi_epi32(ab, cd);
  a = lo;
  b = _mm_unpackhi_epi64(lo, lo);
  c = hi;
  d = _mm_unpackhi_epi64(hi, hi);
}

// Hadamard rows (a0+a1+a2+a3, a0+a1-a2-a3, a0-a1-a2+a3, a0-a1+a2-a3) over four registers.
inline void Hadamard4(__m128i& a0, __m128i& a1, __m128i& a2, __m128i& a3) {
  __m128i s01 = _mm_add_epi16(a0, a1), d01 = _mm_sub_epi16(a0, a1);
  __m128i s23 = _mm_add_epi16(a2, a3), d23 = _mm_sub_epi16(a2, a3);
  a0 = _mm_add_epi16(s01, s23);
  a1 = _mm_sub_epi16(s01, s23);
  a2 = _mm_sub_epi16(d01, d23);
  a3 = _mm_add_epi16(d01, d23);
}

}  // namespace

int CMBCoreXMM::TransformQuantLumaDc(int16_t* dcRecord, int16_t* coefficients) {
  const H264QuantRecord& record = *currentQuantRecord;
  // c_x: column x of the macroblock's DC grid, lanes the block row y.
  auto column = [&](int x) {
    return _mm_setr_epi16(coefficients[16 * x], coefficients[16 * (4 + x)],
                          coefficients[16 * (8 + x)], coefficients[16 * (12 + x)], 0, 0, 0, 0);
  };
  __m128i c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
  Hadamard4(c0, c1, c2, c3);  // horizontal frequencies, lanes y
  Transpose4(c0, c1, c2, c3);  // rows y, lanes the horizontal frequency u
  // Vertical pass with each pair sum halved before the pairs are combined.
  __m128i s = _mm_srai_epi16(_mm_add_epi16(c0, c3), 1), t = _mm_srai_epi16(_mm_add_epi16(c1, c2), 1);
  __m128i p = _mm_srai_epi16(_mm_sub_epi16(c0, c3), 1), q = _mm_srai_epi16(_mm_sub_epi16(c1, c2), 1);
  __m128i rows01 = _mm_unpacklo_epi64(_mm_add_epi16(s, t), _mm_add_epi16(p, q));
  __m128i rows23 = _mm_unpacklo_epi64(_mm_sub_epi16(s, t), _mm_sub_epi16(p, q));
  __m128i multiplier = _mm_set1_epi16(record.multiplier[0]);
  __m128i two = _mm_set1_epi16(2);
  __m128i levels01 = _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(rows01, multiplier), two), 2);
  __m128i levels23 = _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(rows23, multiplier), two), 2);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dcRecord), levels01);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dcRecord + 8), levels23);
  int count = CountNonZero(levels01, levels23);

  // Inverse: rows v (lanes u) through the Hadamard over u, then over v.
  __m128i l0 = levels01, l1 = _mm_unpackhi_epi64(levels01, levels01);
  __m128i l2 = levels23, l3 = _mm_unpackhi_epi64(levels23, levels23);
  Transpose4(l0, l1, l2, l3);  // lanes v, registers u
  Hadamard4(l0, l1, l2, l3);   // registers x, lanes v
  Transpose4(l0, l1, l2, l3);  // registers v, lanes x
  Hadamard4(l0, l1, l2, l3);   // registers y, lanes x
  __m128i scale = _mm_set1_epi16(record.levelScale[0]);
  __m128i out[4] = {l0, l1, l2, l3};
  for (int y = 0; y < 4; ++y) {
    __m128i product = _mm_unpacklo_epi16(_mm_mullo_epi16(out[y], scale), _mm_mulhi_epi16(out[y], scale));
    // (value x scale) >> 2, kept to 16 bits.
    __m128i shifted = _mm_srai_epi32(_mm_slli_epi32(_mm_srai_epi32(product, 2), 16), 16);
    __m128i dcs = _mm_packs_epi32(shifted, shifted);
    for (int x = 0; x < 4; ++x) {
      coefficients[16 * (4 * y + x)] = static_cast<int16_t>(_mm_extract_epi16(dcs, 0));
      dcs = _mm_srli_si128(dcs, 2);
    }
  }
  return count;
}

void CMBCoreXMM::Reconstruct4x4(uint8_t* destination, const uint8_t* prediction,
                                const int16_t* block, int stride, int start, int coded) {
  __m128i rows[4];
  if (coded == 0) {
    int offset = ((block[0] >> 5) + 1) >> 1;
    rows[0] = rows[1] = rows[2] = rows[3] = _mm_set1_epi16(static_cast<int16_t>(offset));
  } else {
    __m128i w01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    __m128i w23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8));
    BlockPair w = Dequantize({w01, w23, w01, w23}, *currentQuantRecord);
    if (start != 0) w.left01 = _mm_insert_epi16(w.left01, block[0], 0);
    InverseTransformPair<true>(w, rows);
    for (__m128i& row : rows) row = _mm_srai_epi16(_mm_adds_epi16(row, _mm_set1_epi16(32)), 6);
  }
  for (int y = 0; y < 4; ++y) {
    __m128i sum = _mm_adds_epi16(rows[y], Widen(Load4(prediction + 4 * y)));
    int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
    __builtin_memcpy(destination + y * stride, &bytes, 4);
  }
}

}  // namespace orx::dsp
