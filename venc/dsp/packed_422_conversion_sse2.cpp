// Packed 4:2:2 conversion kernels of CPreprocCoreXMM2 (the plain class has none): 32 source
// bytes (16 pixels) per step split into 16 luma and 16 chroma bytes, the pixels left over
// after the last whole step one by one, so any even width converts exactly and nothing is
// written past the width in either plane. The chroma bytes of a row (Cb, Cr, Cb, Cr, ...) are
// already an interleaved chroma row; the paired modes average the two rows of each pair with
// rounding-up byte averages, modes 3 and 4 in two steps.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/packed_422_samples.h"
#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::Load;
using preproc_sse2::Store;

// UYVY holds luma in the odd bytes, YUY2 in the even ones.
enum class ByteOrder { kUyvy, kYuy2 };

// What a kernel writes to the chroma plane: nothing (mode 0), each row's own chroma (mode 1),
// or one row per pair: the average (mode 2), weighted towards the first row (mode 3) or
// towards the second (mode 4).
enum class Chroma { kNone, kPerRow, kAverage, kTowardsFirst, kTowardsSecond };

// The plain mode number of a paired chroma combination (packed422::CombineChroma).
template <Chroma kChroma>
constexpr int kPairedMode = kChroma == Chroma::kAverage ? 2 : kChroma == Chroma::kTowardsFirst ? 3 : 4;

template <Chroma kChroma>
inline __m128i CombineChroma(__m128i a, __m128i b) {
  if constexpr (kChroma == Chroma::kAverage) return _mm_avg_epu8(a, b);
  if constexpr (kChroma == Chroma::kTowardsFirst) return _mm_avg_epu8(a, _mm_avg_epu8(a, b));
  return _mm_avg_epu8(_mm_avg_epu8(a, b), b);
}

// 16 pixels of a packed row as their luma and chroma bytes.
template <ByteOrder kOrder>
inline void Split(const uint8_t* packed, __m128i& luma, __m128i& chroma) {
  const __m128i first = Load(packed), second = Load(packed + 16);
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i even =
      _mm_packus_epi16(_mm_and_si128(first, lowBytes), _mm_and_si128(second, lowBytes));
  const __m128i odd = _mm_packus_epi16(_mm_srli_epi16(first, 8), _mm_srli_epi16(second, 8));
  luma = kOrder == ByteOrder::kUyvy ? odd : even;
  chroma = kOrder == ByteOrder::kUyvy ? even : odd;
}

template <ByteOrder kOrder>
constexpr int kLumaByte =
    kOrder == ByteOrder::kUyvy ? packed422::kUyvyLumaByte : packed422::kYuy2LumaByte;

// One source row: its luma, and its own chroma when `chroma` is not null.
template <ByteOrder kOrder>
void ConvertRow(const uint8_t* source, int width, uint8_t* luma, uint8_t* chroma) {
  int i = 0;
  for (; i + 16 <= width; i += 16) {
    __m128i y, c;
    Split<kOrder>(source + 2 * i, y, c);
    Store(luma + i, y);
    if (chroma) Store(chroma + i, c);
  }
  packed422::ConvertRowSamples(source, kLumaByte<kOrder>, i, width, luma, chroma);
}

// A pair of source rows: both luma rows, and one chroma row combined from the two.
template <ByteOrder kOrder, Chroma kChroma>
void ConvertRowPair(const uint8_t* first, const uint8_t* second, int width, uint8_t* firstLuma,
                    uint8_t* secondLuma, uint8_t* chroma) {
  int i = 0;
  for (; i + 16 <= width; i += 16) {
    __m128i y0, c0, y1, c1;
    Split<kOrder>(first + 2 * i, y0, c0);
    Split<kOrder>(second + 2 * i, y1, c1);
    Store(firstLuma + i, y0);
    Store(secondLuma + i, y1);
    Store(chroma + i, CombineChroma<kChroma>(c0, c1));
  }
  packed422::ConvertRowSamples(first, kLumaByte<kOrder>, i, width, firstLuma, nullptr);
  packed422::ConvertRowSamples(second, kLumaByte<kOrder>, i, width, secondLuma, nullptr);
  packed422::CombineRowPairChroma(first, second, kLumaByte<kOrder>, kPairedMode<kChroma>, i, width,
                                  chroma);
}

// Answers the source pointer after the last row read.
template <ByteOrder kOrder, Chroma kChroma>
const uint8_t* Convert(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                       const uint8_t* source, uint8_t* luma, uint8_t* chroma) {
  assert(width >= 2 && width % 2 == 0);
  const ptrdiff_t sourceStride = 2 * width + sourceSkip;
  const ptrdiff_t lumaStride = width + lumaSkip;
  const ptrdiff_t chromaStride = width + chromaSkip;
  if constexpr (kChroma == Chroma::kPerRow) {
    for (int r = 0; r < rows; ++r) {
      ConvertRow<kOrder>(source, width, luma, chroma);
      source += sourceStride;
      luma += lumaStride;
      chroma += chromaStride;
    }
    return source;
  }
  assert(rows % 2 == 0);
  for (int pair = 0; pair < rows / 2; ++pair) {
    if constexpr (kChroma == Chroma::kNone) {
      ConvertRow<kOrder>(source, width, luma, nullptr);
      ConvertRow<kOrder>(source + sourceStride, width, luma + lumaStride, nullptr);
    } else {
      ConvertRowPair<kOrder, kChroma>(source, source + sourceStride, width, luma, luma + lumaStride,
                                      chroma);
      chroma += chromaStride;
    }
    source += 2 * sourceStride;
    luma += 2 * lumaStride;
  }
  return source;
}

}  // namespace

const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                                  const uint8_t* source, uint8_t* luma) {
  return Convert<ByteOrder::kUyvy, Chroma::kNone>(rows, width, sourceSkip, lumaSkip, 0, source,
                                                  luma, nullptr);
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode1(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kUyvy, Chroma::kPerRow>(rows, width, sourceSkip, lumaSkip, chromaSkip,
                                                    source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode2(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kUyvy, Chroma::kAverage>(rows, width, sourceSkip, lumaSkip, chromaSkip,
                                                     source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode3(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kUyvy, Chroma::kTowardsFirst>(rows, width, sourceSkip, lumaSkip,
                                                          chromaSkip, source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode4(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kUyvy, Chroma::kTowardsSecond>(rows, width, sourceSkip, lumaSkip,
                                                           chromaSkip, source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                                  const uint8_t* source, uint8_t* luma) {
  return Convert<ByteOrder::kYuy2, Chroma::kNone>(rows, width, sourceSkip, lumaSkip, 0, source,
                                                  luma, nullptr);
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode1(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kYuy2, Chroma::kPerRow>(rows, width, sourceSkip, lumaSkip, chromaSkip,
                                                    source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode2(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kYuy2, Chroma::kAverage>(rows, width, sourceSkip, lumaSkip, chromaSkip,
                                                     source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode3(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kYuy2, Chroma::kTowardsFirst>(rows, width, sourceSkip, lumaSkip,
                                                          chromaSkip, source, luma, chroma);
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode4(int rows, int width, int sourceSkip, int lumaSkip,
                                                  int chromaSkip, const uint8_t* source,
                                                  uint8_t* luma, uint8_t* chroma) {
  return Convert<ByteOrder::kYuy2, Chroma::kTowardsSecond>(rows, width, sourceSkip, lumaSkip,
                                                           chromaSkip, source, luma, chroma);
}

}  // namespace orx::dsp
