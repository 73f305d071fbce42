// Plane copy and chroma interleave of CPreprocCoreXMM2 (the plain class has no body for them).
// Every row moves all `width` bytes (samples): 16-byte units, then the last 16 bytes again
// from the row's end when the width is not a multiple of 16, or bytes one by one for rows
// shorter than one unit. Input widths need not be multiples of 16 (854 or 1366 pixels).
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::Load;
using preproc_sse2::Store;

void CopyRow(const uint8_t* source, uint8_t* destination, int width) {
  if (width < 16) {
    for (int i = 0; i < width; ++i) destination[i] = source[i];
    return;
  }
  int i = 0;
  for (; i + 32 <= width; i += 32) {
    const __m128i a = Load(source + i), b = Load(source + i + 16);
    Store(destination + i, a);
    Store(destination + i + 16, b);
  }
  for (; i + 16 <= width; i += 16) Store(destination + i, Load(source + i));
  if (i < width) Store(destination + width - 16, Load(source + width - 16));
}

inline void InterleaveUnit(const uint8_t* first, const uint8_t* second, uint8_t* destination) {
  const __m128i u = Load(first), v = Load(second);
  Store(destination, _mm_unpacklo_epi8(u, v));
  Store(destination + 16, _mm_unpackhi_epi8(u, v));
}

void InterleaveRow(const uint8_t* first, const uint8_t* second, uint8_t* destination, int width) {
  if (width < 16) {
    for (int i = 0; i < width; ++i) {
      destination[2 * i] = first[i];
      destination[2 * i + 1] = second[i];
    }
    return;
  }
  int i = 0;
  for (; i + 16 <= width; i += 16) InterleaveUnit(first + i, second + i, destination + 2 * i);
  if (i < width) {
    const int last = width - 16;
    InterleaveUnit(first + last, second + last, destination + 2 * last);
  }
}

}  // namespace

const uint8_t* CPreprocCoreXMM2::CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                                           const uint8_t* source, uint8_t* destination) {
  for (int r = 0; r < rows; ++r) {
    CopyRow(source, destination, width);
    source += width + sourceSkip;
    destination += width + destinationSkip;
  }
  return source;
}

void CPreprocCoreXMM2::InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip,
                                    const uint8_t* first, const uint8_t* second,
                                    uint8_t* destination) {
  for (int r = 0; r < rows; ++r) {
    InterleaveRow(first, second, destination, width);
    first += width + sourceSkip;
    second += width + sourceSkip;
    destination += 2 * width + destinationSkip;
  }
}

}  // namespace orx::dsp
