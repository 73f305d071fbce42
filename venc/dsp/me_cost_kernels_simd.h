#pragma once
// The block costs and refinements that CMotionEstimationCoreXMM2 and CMotionEstimationCoreXMM3
// share, written once for the load of the unaligned reference rows: the SSE2 bodies use the
// unaligned load, the SSE3 bodies LDDQU, and the results are the same. The current block is
// read with aligned loads (16-byte aligned, stride a multiple of 16). Half-sample values are
// rounded averages; a diagonal one takes the horizontal means first. Everything here has
// internal linkage, so the SSE2 and SSE3 translation units never share a compiled body.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/me_choices.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

inline void CheckCurrentBlock(const uint8_t* block, int stride, int rows, int rowStep) {
  assert(IsAligned16(block) && stride % 16 == 0);
  assert(rows > 0 && rows % rowStep == 0);
  (void)block, (void)stride, (void)rows, (void)rowStep;
}

// The sums of four rows: reference rows at `reference` and current rows at `block`.
template <typename Load>
inline __m128i FourRowSads(const uint8_t* block, int stride, const uint8_t* reference) {
  __m128i s0 = _mm_sad_epu8(Load::Row(reference), LoadA(block));
  __m128i s1 = _mm_sad_epu8(Load::Row(reference + stride), LoadA(block + stride));
  __m128i s2 = _mm_sad_epu8(Load::Row(reference + 2 * stride), LoadA(block + 2 * stride));
  __m128i s3 = _mm_sad_epu8(Load::Row(reference + 3 * stride), LoadA(block + 3 * stride));
  return _mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3));
}

template <typename Load>
uint32_t Sad16Rows(const uint8_t* block, int stride, int rows, const uint8_t* reference) {
  CheckCurrentBlock(block, stride, rows, 4);
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < rows; r += 4) {
    sum = _mm_add_epi32(sum, FourRowSads<Load>(block, stride, reference));
    reference += 4 * stride;
    block += 4 * stride;
  }
  return LaneTotal(sum);
}

// Level-2 prefetches 128 bytes right of the reference rows ahead of the rows being compared:
// row q before the loop, row 4k + 1 + q for the group of rows 4k..4k+3, row rows - 1 + q after,
// where q is bits 4 and 5 of the current block's address.
template <typename Load>
uint32_t Sad16PrefetchRows(const uint8_t* block, int stride, int rows, const uint8_t* reference) {
  CheckCurrentBlock(block, stride, rows, 4);
  const int q = static_cast<int>((reinterpret_cast<uintptr_t>(block) >> 4) & 3);
  auto prefetch = [&](int row) {
    _mm_prefetch(reinterpret_cast<const char*>(reference + row * stride + 128), _MM_HINT_T1);
  };
  prefetch(0);
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < rows; r += 4) {
    prefetch(r + 1 + q);
    sum = _mm_add_epi32(sum, FourRowSads<Load>(block + r * stride, stride, reference + r * stride));
  }
  prefetch(rows - 1 + q);
  return LaneTotal(sum);
}

// Reference row r brought to the horizontal half position when halfX is set.
template <typename Load, bool kHalfX>
inline __m128i HorizontalRow(const uint8_t* p) {
  if constexpr (kHalfX) return _mm_avg_epu8(Load::Row(p), Load::Row(p + 1));
  return Load::Row(p);
}

// The vertical half positions between consecutive (horizontally interpolated) rows.
template <typename Load, bool kHalfX>
uint32_t SadVerticalHalf(const uint8_t* block, int stride, int rows, const uint8_t* reference) {
  __m128i sum = _mm_setzero_si128();
  __m128i above = HorizontalRow<Load, kHalfX>(reference);
  for (int r = 0; r < rows; r += 2) {
    __m128i a = HorizontalRow<Load, kHalfX>(reference + (r + 1) * stride);
    __m128i b = HorizontalRow<Load, kHalfX>(reference + (r + 2) * stride);
    sum = _mm_add_epi32(sum, _mm_sad_epu8(_mm_avg_epu8(above, a), LoadA(block + r * stride)));
    sum = _mm_add_epi32(sum, _mm_sad_epu8(_mm_avg_epu8(a, b), LoadA(block + (r + 1) * stride)));
    above = b;
  }
  return LaneTotal(sum);
}

template <typename Load>
uint32_t SadHorizontalHalf(const uint8_t* block, int stride, int rows, const uint8_t* reference) {
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < rows; r += 2) {
    __m128i upper = _mm_sad_epu8(HorizontalRow<Load, true>(reference + r * stride),
                                 LoadA(block + r * stride));
    __m128i lower = _mm_sad_epu8(HorizontalRow<Load, true>(reference + (r + 1) * stride),
                                 LoadA(block + (r + 1) * stride));
    sum = _mm_add_epi32(sum, _mm_add_epi32(upper, lower));
  }
  return LaneTotal(sum);
}

template <typename Load>
uint32_t SadHalfPel16Rows(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                          int halfX, int halfY) {
  if (!halfX && !halfY) return Sad16Rows<Load>(block, stride, rows, reference);
  CheckCurrentBlock(block, stride, rows, 2);
  if (!halfY) return SadHorizontalHalf<Load>(block, stride, rows, reference);
  if (!halfX) return SadVerticalHalf<Load, false>(block, stride, rows, reference);
  return SadVerticalHalf<Load, true>(block, stride, rows, reference);
}

// Left and right half positions in one pass: avg(p[i - 1], p[i]) and avg(p[i], p[i + 1]).
template <typename Load>
int RefineHalfPelHorzRows(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                          int* direction, int predictedDirection, int bias) {
  CheckCurrentBlock(block, stride, rows, 2);
  __m128i left = _mm_setzero_si128(), right = _mm_setzero_si128();
  for (int r = 0; r < rows; ++r) {
    const uint8_t* p = reference + r * stride;
    __m128i middle = Load::Row(p);
    __m128i current = LoadA(block + r * stride);
    left = _mm_add_epi32(left, _mm_sad_epu8(_mm_avg_epu8(Load::Row(p - 1), middle), current));
    right = _mm_add_epi32(right, _mm_sad_epu8(_mm_avg_epu8(middle, Load::Row(p + 1)), current));
  }
  return me::ChooseRefinementSide(static_cast<int>(LaneTotal(left)),
                                  static_cast<int>(LaneTotal(right)), direction,
                                  predictedDirection, bias);
}

// Up and down half positions in one pass over the rows -1 .. rows (each brought to the
// horizontal half position first when halfX is set).
template <typename Load, bool kHalfX>
int RefineHalfPelVertRows(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                          int* direction, int predictedDirection, int bias) {
  __m128i up = _mm_setzero_si128(), down = _mm_setzero_si128();
  __m128i above = HorizontalRow<Load, kHalfX>(reference - stride);
  __m128i middle = HorizontalRow<Load, kHalfX>(reference);
  for (int r = 0; r < rows; ++r) {
    __m128i below = HorizontalRow<Load, kHalfX>(reference + (r + 1) * stride);
    __m128i current = LoadA(block + r * stride);
    up = _mm_add_epi32(up, _mm_sad_epu8(_mm_avg_epu8(above, middle), current));
    down = _mm_add_epi32(down, _mm_sad_epu8(_mm_avg_epu8(middle, below), current));
    above = middle;
    middle = below;
  }
  return me::ChooseRefinementSide(static_cast<int>(LaneTotal(up)),
                                  static_cast<int>(LaneTotal(down)), direction,
                                  predictedDirection, bias);
}

template <typename Load>
int RefineHalfPelVertRows(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                          int halfX, int* direction, int predictedDirection, int bias) {
  CheckCurrentBlock(block, stride, rows, 2);
  if (halfX) {
    return RefineHalfPelVertRows<Load, true>(block, stride, rows, reference, direction,
                                             predictedDirection, bias);
  }
  return RefineHalfPelVertRows<Load, false>(block, stride, rows, reference, direction,
                                            predictedDirection, bias);
}

// Full-sample positions one row up and one row down in one pass: reference row j is compared
// with current row j + 1 (up) and with current row j - 1 (down).
template <typename Load>
int RefineFullPelVertRows(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                          int* direction) {
  CheckCurrentBlock(block, stride, rows, 4);
  _mm_prefetch(reinterpret_cast<const char*>(reference + 16 * stride + 16), _MM_HINT_T0);
  __m128i up = _mm_setzero_si128(), down = _mm_setzero_si128();
  for (int r = 0; r < rows; ++r) {
    __m128i current = LoadA(block + r * stride);
    up = _mm_add_epi32(up, _mm_sad_epu8(Load::Row(reference + (r - 1) * stride), current));
    down = _mm_add_epi32(down, _mm_sad_epu8(Load::Row(reference + (r + 1) * stride), current));
  }
  return me::ChooseRefinementSide(static_cast<int>(LaneTotal(up)),
                                  static_cast<int>(LaneTotal(down)), direction, 0, 0);
}

}  // namespace
}  // namespace orx::dsp
