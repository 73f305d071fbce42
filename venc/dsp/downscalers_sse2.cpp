// 2:1 downscalers of CPreprocCoreXMM2, and the 2x2 chroma downscaler of the MMX class that it
// inherits, written with SSE2: 16 output bytes per step. Horizontal neighbours are split into
// the even and the odd bytes (or 16-bit Cb/Cr pairs) of 32 source bytes and averaged with the
// byte average; the 2x2 forms add four samples in 16-bit lanes.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::Load;
using preproc_sse2::LoadAligned;
using preproc_sse2::Store;
using preproc_sse2::StoreAligned;

void CheckBands(const uint8_t* destination, const uint8_t* source, int width, int destinationSkip) {
  (void)destination, (void)source, (void)width, (void)destinationSkip;
  assert(IsAligned16(destination) && IsAligned16(source) && width > 0 && width % 16 == 0);
  assert((width + destinationSkip) % 16 == 0);
}

// Even and odd bytes of 32 bytes, each as 16 bytes.
inline void SplitBytes(__m128i first, __m128i second, __m128i& even, __m128i& odd) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  even = _mm_packus_epi16(_mm_and_si128(first, lowBytes), _mm_and_si128(second, lowBytes));
  odd = _mm_packus_epi16(_mm_srli_epi16(first, 8), _mm_srli_epi16(second, 8));
}

// Even and odd 16-bit pairs of 32 bytes, each as 16 bytes (8 pairs). Shifting left and back
// arithmetically keeps each pair exact through the signed pack.
inline void SplitPairs(__m128i first, __m128i second, __m128i& even, __m128i& odd) {
  auto low = [](__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); };
  even = _mm_packs_epi32(low(first), low(second));
  odd = _mm_packs_epi32(_mm_srai_epi32(first, 16), _mm_srai_epi32(second, 16));
}

// Horizontal neighbours of 16 bytes summed in 16-bit lanes: byte i + byte i + 1 for even i.
inline __m128i PairSums(__m128i v) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  return _mm_add_epi16(_mm_and_si128(v, lowBytes), _mm_srli_epi16(v, 8));
}

// (a + b + c + d + 2) >> 2 for the 8 horizontal pairs of two 16-byte rows.
inline __m128i QuadAverages(__m128i upper, __m128i lower) {
  const __m128i sums = _mm_add_epi16(PairSums(upper), PairSums(lower));
  return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(2)), 2);
}

// Interleaved chroma: for one 8-byte half (4 Cb/Cr pairs) of two rows, the sums of the two
// neighbouring pairs of each component, as four 16-bit lanes (Cb, Cr, Cb, Cr) in the low half.
inline __m128i ChromaQuadSums(__m128i upper, __m128i lower, bool highHalf) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = highHalf ? _mm_unpackhi_epi8(upper, zero) : _mm_unpacklo_epi8(upper, zero);
  const __m128i b = highHalf ? _mm_unpackhi_epi8(lower, zero) : _mm_unpacklo_epi8(lower, zero);
  const __m128i rows = _mm_add_epi16(a, b);  // pairs 0..3 of the half, component-wise
  const __m128i sums = _mm_add_epi16(rows, _mm_srli_si128(rows, 4));
  return _mm_shuffle_epi32(sums, _MM_SHUFFLE(3, 1, 2, 0));
}

// 8 output bytes (4 Cb/Cr pairs) from 16 bytes of each of two chroma rows.
inline __m128i ChromaQuadAverages(__m128i upper, __m128i lower) {
  const __m128i rounding = _mm_set1_epi16(2);
  const __m128i low =
      _mm_srli_epi16(_mm_add_epi16(ChromaQuadSums(upper, lower, false), rounding), 2);
  const __m128i high =
      _mm_srli_epi16(_mm_add_epi16(ChromaQuadSums(upper, lower, true), rounding), 2);
  return _mm_packus_epi16(_mm_unpacklo_epi64(low, high), _mm_setzero_si128());
}

// Each output row averages the neighbours that `kSplit` separates (bytes or Cb/Cr pairs).
template <void (*kSplit)(__m128i, __m128i, __m128i&, __m128i&)>
void HalveRows(uint8_t* destination, const uint8_t* source, int width, int rows,
               int destinationSkip) {
  CheckBands(destination, source, width, destinationSkip);
  for (int r = 0; r < rows; ++r, source += 2 * width, destination += width + destinationSkip) {
    for (int i = 0; i < width; i += 16) {
      __m128i even, odd;
      kSplit(LoadAligned(source + 2 * i), LoadAligned(source + 2 * i + 16), even, odd);
      StoreAligned(destination + i, _mm_avg_epu8(even, odd));
    }
  }
}

}  // namespace

void CPreprocCoreXMM2::DownscaleHorz(uint8_t* destination, const uint8_t* source, int width,
                                     int rows, int destinationSkip) {
  HalveRows<SplitBytes>(destination, source, width, rows, destinationSkip);
}

void CPreprocCoreXMM2::DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width,
                                           int rows, int destinationSkip) {
  HalveRows<SplitPairs>(destination, source, width, rows, destinationSkip);
}

void CPreprocCoreXMM2::Downscale2x2(uint8_t* destination, const uint8_t* source, int width,
                                    int rows, int destinationSkip) {
  CheckBands(destination, source, width, destinationSkip);
  for (int r = 0; r < rows; ++r, source += 4 * width, destination += width + destinationSkip) {
    const uint8_t* next = source + 2 * width;
    for (int i = 0; i < width; i += 16) {
      const __m128i first = QuadAverages(LoadAligned(source + 2 * i), LoadAligned(next + 2 * i));
      const __m128i second =
          QuadAverages(LoadAligned(source + 2 * i + 16), LoadAligned(next + 2 * i + 16));
      StoreAligned(destination + i, _mm_packus_epi16(first, second));
    }
  }
}

void CPreprocCoreXMM2::DownscaleVert(uint8_t* destination, const uint8_t* source, int width,
                                     int rows, int destinationSkip) {
  CheckBands(destination, source, width, destinationSkip);
  for (int r = 0; r < rows; ++r, source += 2 * width, destination += width + destinationSkip) {
    for (int i = 0; i < width; i += 16) {
      StoreAligned(destination + i,
                   _mm_avg_epu8(LoadAligned(source + i), LoadAligned(source + width + i)));
    }
  }
}

// The MMX body takes any alignment and output widths in steps of 8 bytes.
void CPreprocCoreMMX::Downscale2x2Chroma(uint8_t* destination, const uint8_t* source, int width,
                                         int rows, int destinationSkip) {
  assert(width > 0 && width % 8 == 0);
  for (int r = 0; r < rows; ++r, source += 4 * width, destination += width + destinationSkip) {
    const uint8_t* next = source + 2 * width;
    int i = 0;
    for (; i + 16 <= width; i += 16) {
      const __m128i low = ChromaQuadAverages(Load(source + 2 * i), Load(next + 2 * i));
      const __m128i high = ChromaQuadAverages(Load(source + 2 * i + 16), Load(next + 2 * i + 16));
      Store(destination + i, _mm_unpacklo_epi64(low, high));
    }
    if (i < width) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + i),
                       ChromaQuadAverages(Load(source + 2 * i), Load(next + 2 * i)));
    }
  }
}

}  // namespace orx::dsp
