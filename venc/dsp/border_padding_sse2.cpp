// SSE2 border padding of CMBCoreXMM2: the replicated pixel (or Cb/Cr pair) spread over a
// register and stored twice on each side; rows copied 16 bytes at a time.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>
#include <cstring>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }

}  // namespace

void CMBCoreXMM2::PadBordersHorizontal(uint8_t* row, int width, int stride, int rows) {
  assert(IsAligned16(row) && stride % 16 == 0 && width % 16 == 0 && width > 0 && rows >= 1);
  for (int r = 0; r < rows; ++r, row += stride) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(row[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(row[width - 1]));
    Store(row - 32, first);
    Store(row - 16, first);
    Store(row + width, last);
    Store(row + width + 16, last);
  }
}

void CMBCoreXMM2::PadChromaBordersHorizontal(uint8_t* row, int width, int stride, int rows) {
  assert(IsAligned16(row) && stride % 16 == 0 && width % 16 == 0 && width > 0 && rows >= 1);
  for (int r = 0; r < rows; ++r, row += stride) {
    uint16_t firstPair, lastPair;
    std::memcpy(&firstPair, row, 2);
    std::memcpy(&lastPair, row + width - 2, 2);
    const __m128i first = _mm_set1_epi16(static_cast<int16_t>(firstPair));
    const __m128i last = _mm_set1_epi16(static_cast<int16_t>(lastPair));
    Store(row - 32, first);
    Store(row - 16, first);
    Store(row + width, last);
    Store(row + width + 16, last);
  }
}

void CMBCoreXMM2::PadBordersVertical(uint8_t* destination, const uint8_t* source, int length,
                                     int count, int extraStep) {
  assert(IsAligned16(destination) && IsAligned16(source) && extraStep % 16 == 0);
  assert(length > 0 && length % 16 == 0 && count >= 1);
  for (int i = 0; i < count; ++i, destination += length + extraStep) {
    for (int b = 0; b < length; b += 16) {
      Store(destination + b, _mm_load_si128(reinterpret_cast<const __m128i*>(source + b)));
    }
  }
}

}  // namespace orx::dsp
