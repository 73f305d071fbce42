// Comb filters of CPreprocCoreXMM2 (the plain class has none): a sample outside the range of
// its upper and lower neighbours is mirrored back into it, never past the middle of the
// range. 16-byte units with aligned loads and stores; every width that is a multiple of 16
// runs here, the narrow ones included.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::LoadAligned;
using preproc_sse2::StoreAligned;

// With lo = min(above, below), hi = max and mid = (lo + hi + 1) >> 1: below lo the sample
// becomes min(2 lo - x, mid) = lo + min(lo - x, mid - lo), above hi it becomes
// max(2 hi - x, mid) = hi - min(x - hi, hi - mid), in range it stays. All terms are
// non-negative bytes, so nothing saturates.
inline __m128i Fold(__m128i x, __m128i above, __m128i below) {
  const __m128i lo = _mm_min_epu8(above, below), hi = _mm_max_epu8(above, below);
  const __m128i mid = _mm_avg_epu8(lo, hi);
  const __m128i under = _mm_min_epu8(_mm_subs_epu8(lo, x), _mm_sub_epi8(mid, lo));
  const __m128i over = _mm_min_epu8(_mm_subs_epu8(x, hi), _mm_sub_epi8(hi, mid));
  const __m128i clamped = _mm_min_epu8(_mm_max_epu8(x, lo), hi);
  return _mm_sub_epi8(_mm_add_epi8(clamped, under), over);
}

void CheckPlane(const uint8_t* row, int width, int stride) {
  (void)row, (void)width, (void)stride;
  assert(IsAligned16(row) && stride % 16 == 0 && width > 0 && width % 16 == 0);
}

// Rows 2k of a contiguous column of `width`-byte rows folded between the row above (the carry
// row for k = 0) and the row below; the carry row then takes the last odd row.
void FoldEvenRows(uint8_t* carryRow, uint8_t* rows, int width, int rowPairs) {
  const ptrdiff_t pitch = width;
  for (int x = 0; x < width; x += 16) {
    __m128i above = LoadAligned(carryRow + x);
    uint8_t* p = rows + x;
    for (int k = 0; k < rowPairs; ++k, p += 2 * pitch) {
      const __m128i below = LoadAligned(p + pitch);
      StoreAligned(p, Fold(LoadAligned(p), above, below));
      above = below;
    }
    StoreAligned(carryRow + x, above);
  }
}

}  // namespace

void CPreprocCoreXMM2::FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) {
  CheckPlane(firstRow, width, stride);
  for (int k = 0; k < rows / 2; ++k) {
    uint8_t* middle = firstRow + (2 * k + 1) * static_cast<ptrdiff_t>(stride);
    for (int x = 0; x < width; x += 16) {
      const __m128i above = LoadAligned(middle - stride + x);
      const __m128i below = LoadAligned(middle + stride + x);
      StoreAligned(middle + x, Fold(LoadAligned(middle + x), above, below));
    }
  }
}

void CPreprocCoreXMM2::FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) {
  CheckPlane(macroblock, 16, 16);
  assert(IsAligned16(carryRow));
  FoldEvenRows(carryRow, macroblock, 16, rowPairs);
}

void CPreprocCoreXMM2::FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width,
                                               int rowPairs) {
  CheckPlane(band, width, width);
  assert(IsAligned16(carryRow));
  FoldEvenRows(carryRow, band, width, rowPairs);
}

void CPreprocCoreXMM2::FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                                             uint8_t* carryRow) {
  CheckPlane(firstRow, width, stride);
  assert(IsAligned16(carryRow));
  if (rows <= 0) return;
  for (int x = 0; x < width; x += 16) {
    __m128i above = LoadAligned(carryRow + x);
    uint8_t* p = firstRow + stride + x;
    __m128i current = LoadAligned(p);
    for (int k = 0; k < rows; ++k, p += stride) {
      const __m128i below = LoadAligned(p + stride);
      StoreAligned(p, _mm_avg_epu8(Fold(current, above, below), current));
      above = current;
      current = below;
    }
    StoreAligned(carryRow + x, above);
  }
}

}  // namespace orx::dsp
