// Row fill of the MMX class (which the running classes inherit), written with SSE2: each row
// takes the fill value's four bytes in memory order, repeated from the row's first byte. Rows
// that follow each other without a gap are filled as one run (which keeps every row's pattern
// in step when the width is a multiple of 4, as the callers' widths are).
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

void FillRun(uint8_t* destination, size_t length, uint32_t value) {
  const __m128i pattern = _mm_set1_epi32(static_cast<int>(value));
  size_t i = 0;
  for (; i + 16 <= length; i += 16) preproc_sse2::Store(destination + i, pattern);
  uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  for (; i < length; ++i) destination[i] = bytes[i & 3];
}

}  // namespace

void CPreprocCoreMMX::FillRows(uint8_t* destination, int width, int rows, int pitch,
                               uint32_t value) {
  if (width <= 0 || rows <= 0) return;
  if (pitch == width && width % 4 == 0) {
    FillRun(destination, static_cast<size_t>(width) * static_cast<size_t>(rows), value);
    return;
  }
  for (int r = 0; r < rows; ++r, destination += pitch) {
    FillRun(destination, static_cast<size_t>(width), value);
  }
}

}  // namespace orx::dsp
