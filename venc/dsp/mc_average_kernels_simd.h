#pragma once
// The copy and the rounding-up vertical and horizontal averages of the motion-compensation
// tables, four rows per step, written once for the load of the table that uses them: the SSE2
// table loads source rows with the unaligned load, the SSE3 table with LDDQU. Everything here
// has internal linkage, so the SSE2 and SSE3 translation units (built with different -m flags)
// never share a compiled body.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

inline void CheckDestination(const uint8_t* destination, int destinationStride, int rows,
                             int rowStep) {
  assert(IsAligned16(destination) && destinationStride % 16 == 0);
  assert(rows > 0 && rows % rowStep == 0);
  (void)destination, (void)destinationStride, (void)rows, (void)rowStep;
}

template <typename Load>
void CopyRows(const uint8_t* source, uint8_t* destination, int sourceStride,
              int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 4);
  // Pointer-sized strides: the compiler then addresses every row from one pointer per plane
  // whichever load instruction the table uses (LDDQU is opaque to its address folding).
  const ptrdiff_t in = sourceStride;
  const ptrdiff_t out = destinationStride;
  for (int r = 0; r < rows; r += 4) {
    __m128i a = Load::Row(source);
    __m128i b = Load::Row(source + in);
    __m128i c = Load::Row(source + 2 * in);
    __m128i d = Load::Row(source + 3 * in);
    StoreA(destination, a);
    StoreA(destination + out, b);
    StoreA(destination + 2 * out, c);
    StoreA(destination + 3 * out, d);
    source += 4 * in;
    destination += 4 * out;
  }
}

// Each source row is loaded once and averaged with the row above and the row below.
template <typename Load>
void AverageVertical(const uint8_t* source, uint8_t* destination, int sourceStride,
                     int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 4);
  __m128i above = Load::Row(source);
  for (int r = 0; r < rows; r += 4) {
    __m128i a = Load::Row(source + sourceStride);
    __m128i b = Load::Row(source + 2 * sourceStride);
    __m128i c = Load::Row(source + 3 * sourceStride);
    __m128i d = Load::Row(source + 4 * sourceStride);
    StoreA(destination, _mm_avg_epu8(above, a));
    StoreA(destination + destinationStride, _mm_avg_epu8(a, b));
    StoreA(destination + 2 * destinationStride, _mm_avg_epu8(b, c));
    StoreA(destination + 3 * destinationStride, _mm_avg_epu8(c, d));
    above = d;
    source += 4 * sourceStride;
    destination += 4 * destinationStride;
  }
}

// kStep: 1 for luma, 2 for interleaved chroma (the next sample of the same component).
template <typename Load, int kStep>
void AverageHorizontal(const uint8_t* source, uint8_t* destination, int sourceStride,
                       int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 4);
  for (int r = 0; r < rows; ++r) {
    StoreA(destination, _mm_avg_epu8(Load::Row(source), Load::Row(source + kStep)));
    source += sourceStride;
    destination += destinationStride;
  }
}

}  // namespace
}  // namespace orx::dsp
