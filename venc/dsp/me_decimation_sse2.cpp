// SSE2 decimation of CMotionEstimationCoreXMM2 (slots 21, 22, 31, 33-37) and slot 32 of the
// integer-SSE class CMotionEstimationCoreXMM, which the SSE2 and SSE3 classes inherit.
// One-direction means and the 4:1 x 2:1 plane equal the plain class; the two-by-two means of
// slots 21, 22, 31 and 33 take the vertical means first, avg(avg(a, c), avg(b, d)), which can
// exceed the plain (a + b + c + d + 2) >> 2 by 1. The plane forms take any width from 1 and
// write exactly width samples per output row.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/me_interpolation.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

using me::Avg;


// Rounded means of neighbouring bytes (0 and 1, 2 and 3, ...) as eight 16-bit values.
inline __m128i PairMeans16(__m128i v) {
  return _mm_avg_epu16(_mm_and_si128(v, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(v, 8));
}

// The two-step mean of sixteen source bytes of two rows: eight outputs in 16-bit lanes.
inline __m128i TwoByTwo16(__m128i upper, __m128i lower) {
  return PairMeans16(_mm_avg_epu8(upper, lower));
}

inline int TwoByTwo(const uint8_t* upper, const uint8_t* lower, int x) {
  return Avg(Avg(upper[2 * x], lower[2 * x]), Avg(upper[2 * x + 1], lower[2 * x + 1]));
}

// One output row of the two-step plane decimation: a head of width mod 8 samples, then eight
// samples when bit 3 of the width is set, then runs of sixteen; nothing beyond width samples is
// read (2 x width source bytes per row) or written.
void TwoByTwoRow(uint8_t* destination, const uint8_t* upper, const uint8_t* lower, int width) {
  int x = 0;
  for (; x < width % 8; ++x) destination[x] = static_cast<uint8_t>(TwoByTwo(upper, lower, x));
  if (width & 8) {
    __m128i means = TwoByTwo16(LoadU(upper + 2 * x), LoadU(lower + 2 * x));
    Store8(destination + x, _mm_packus_epi16(means, means));
    x += 8;
  }
  for (; x < width; x += 16) {
    __m128i low = TwoByTwo16(LoadU(upper + 2 * x), LoadU(lower + 2 * x));
    __m128i high = TwoByTwo16(LoadU(upper + 2 * x + 16), LoadU(lower + 2 * x + 16));
    StoreU(destination + x, _mm_packus_epi16(low, high));
  }
}

// Two output rows of eight (from four source rows of sixteen) in one register.
inline __m128i BlockRowPair(const uint8_t* source, std::ptrdiff_t stride) {
  __m128i upper = TwoByTwo16(LoadA(source), LoadA(source + stride));
  __m128i lower = TwoByTwo16(LoadA(source + 2 * stride), LoadA(source + 3 * stride));
  return _mm_packus_epi16(upper, lower);
}

// From two registers of two 8-sample rows (a b, c d): the left halves (a c) pairs of 4 bytes
// as one 4x4 block and the right halves as another, rows in order.
inline void SplitHalves(__m128i rows01, __m128i rows23, __m128i* left, __m128i* right) {
  __m128i s01 = _mm_shuffle_epi32(rows01, _MM_SHUFFLE(3, 1, 2, 0));
  __m128i s23 = _mm_shuffle_epi32(rows23, _MM_SHUFFLE(3, 1, 2, 0));
  *left = _mm_unpacklo_epi64(s01, s23);
  *right = _mm_unpackhi_epi64(s01, s23);
}

}  // namespace

void CMotionEstimationCoreXMM2::DecimateBlock(uint8_t* destination, const uint8_t* source,
                                              int stride) {
  assert(IsAligned16(destination) && IsAligned16(source) && stride % 16 == 0);
  const int q = static_cast<int>((reinterpret_cast<uintptr_t>(source) >> 4) & 3);
  for (int k = 0; k < 4; ++k) {
    const uint8_t* rows = source + 4 * k * std::ptrdiff_t{stride};
    _mm_prefetch(reinterpret_cast<const char*>(rows + q * stride + 64), _MM_HINT_T0);
    StoreA(destination + 16 * k, BlockRowPair(rows, stride));
  }
}

// The 8x8 values of DecimateBlock as four packed 4x4 quadrants: top-left, top-right,
// bottom-left, bottom-right. It answers 4, the count of the plain class.
int CMotionEstimationCoreXMM2::DecimateQuadrants(uint8_t* destination, const uint8_t* source,
                                                 int stride) {
  assert(IsAligned16(destination) && IsAligned16(source) && stride % 16 == 0);
  for (int half = 0; half < 2; ++half) {
    const uint8_t* rows = source + 8 * half * std::ptrdiff_t{stride};
    __m128i left, right;
    SplitHalves(BlockRowPair(rows, stride), BlockRowPair(rows + 4 * stride, stride), &left, &right);
    StoreA(destination + 32 * half, left);
    StoreA(destination + 32 * half + 16, right);
  }
  return 4;
}

void CMotionEstimationCoreXMM2::DecimatePlane(uint8_t* destination, const uint8_t* source,
                                              int width, int height, int sourceStride,
                                              int sourceSkip) {
  if (width < 1) return;
  for (int y = 0; y < height; ++y) {
    TwoByTwoRow(destination, source, source + sourceStride, width);
    destination += width;
    source += 2 * std::ptrdiff_t{width} + sourceSkip;
  }
}

// The aligned form: sixteen outputs per step from aligned loads, written with stores that
// bypass the cache, when source rows, destination and width keep 16-byte alignment on every
// row; otherwise the same values through DecimatePlane's general path.
void CMotionEstimationCoreXMM2::DecimatePlaneAlt(uint8_t* destination, const uint8_t* source,
                                                 int width, int height, int sourceStride,
                                                 int sourceSkip) {
  const bool aligned = IsAligned16(source) && IsAligned16(source + sourceStride) &&
                       IsAligned16(destination) && width % 16 == 0 &&
                       (2 * width + sourceSkip) % 16 == 0;
  if (!aligned) {
    CMotionEstimationCoreXMM2::DecimatePlane(destination, source, width, height, sourceStride,
                                             sourceSkip);
    return;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* lower = source + sourceStride;
    for (int x = 0; x < width; x += 16) {
      __m128i low = TwoByTwo16(LoadA(source + 2 * x), LoadA(lower + 2 * x));
      __m128i high = TwoByTwo16(LoadA(source + 2 * x + 16), LoadA(lower + 2 * x + 16));
      _mm_stream_si128(reinterpret_cast<__m128i*>(destination + x), _mm_packus_epi16(low, high));
    }
    destination += width;
    source += 2 * std::ptrdiff_t{width} + sourceSkip;
  }
  _mm_sfence();
}

// Source rows of 2 x width bytes follow each other; the fifth argument plays no part.
void CMotionEstimationCoreXMM2::DecimateHorz(uint8_t* destination, const uint8_t* source,
                                             int width, int height, int) {
  if (width < 1) return;
  for (int y = 0; y < height; ++y) {
    int x = 0;
    for (; x < width % 8; ++x) {
      destination[x] = static_cast<uint8_t>(Avg(source[2 * x], source[2 * x + 1]));
    }
    if (width & 8) {
      __m128i means = PairMeans16(LoadU(source + 2 * x));
      Store8(destination + x, _mm_packus_epi16(means, means));
      x += 8;
    }
    for (; x < width; x += 16) {
      StoreU(destination + x, _mm_packus_epi16(PairMeans16(LoadU(source + 2 * x)),
                                               PairMeans16(LoadU(source + 2 * x + 16))));
    }
    destination += width;
    source += 2 * std::ptrdiff_t{width};
  }
}

void CMotionEstimationCoreXMM2::DecimateVert(uint8_t* destination, const uint8_t* source,
                                             int width, int height, int sourceStride,
                                             int sourceSkip) {
  if (width < 1) return;
  for (int y = 0; y < height; ++y) {
    const uint8_t* lower = source + sourceStride;
    int x = 0;
    for (; x < width % 8; ++x) destination[x] = static_cast<uint8_t>(Avg(source[x], lower[x]));
    if (width & 8) {
      Store8(destination + x, _mm_avg_epu8(Load8(source + x), Load8(lower + x)));
      x += 8;
    }
    for (; x < width; x += 16) {
      StoreU(destination + x, _mm_avg_epu8(LoadU(source + x), LoadU(lower + x)));
    }
    destination += width;
    source += std::ptrdiff_t{width} + sourceSkip;
  }
}

// Packed 8x8 (aligned) to 8 rows of 4.
void CMotionEstimationCoreXMM2::DecimateBlockHorz(uint8_t* destination, const uint8_t* source) {
  assert(IsAligned16(source));
  for (int i = 0; i < 2; ++i) {
    __m128i upper = PairMeans16(LoadA(source + 32 * i));
    __m128i lower = PairMeans16(LoadA(source + 32 * i + 16));
    StoreU(destination + 16 * i, _mm_packus_epi16(upper, lower));
  }
}

// Packed 8x8 (aligned) to the means of its row pairs, split into a left and a right 4x4 block.
void CMotionEstimationCoreXMM2::DecimateBlockVert(uint8_t* destination, const uint8_t* source) {
  assert(IsAligned16(source));
  __m128i means[4];
  for (int j = 0; j < 4; ++j) {
    __m128i pair = LoadA(source + 16 * j);
    means[j] = _mm_avg_epu8(pair, _mm_srli_si128(pair, 8));
  }
  __m128i left, right;
  SplitHalves(_mm_unpacklo_epi64(means[0], means[1]), _mm_unpacklo_epi64(means[2], means[3]),
              &left, &right);
  StoreU(destination, left);
  StoreU(destination + 16, right);
}

// The integer-SSE body that the running classes inherit: (eight samples of four rows + 4) >> 3
// exactly, eight outputs per step, the rest of a row one at a time.
void CMotionEstimationCoreXMM::DecimatePlane4x2(uint8_t* destination, const uint8_t* source,
                                                int width, int height, int sourceStride) {
  if (width < 1) return;
  const std::ptrdiff_t s = sourceStride;
  const __m128i evenBytes = _mm_set1_epi16(0x00FF), four = _mm_set1_epi16(4);
  for (int y = 0; y < height; ++y, source += 4 * s, destination += width) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      __m128i sum = four;
      for (int r = 0; r < 4; ++r) {
        __m128i v = LoadU(source + r * s + 2 * x);
        sum = _mm_add_epi16(sum, _mm_add_epi16(_mm_and_si128(v, evenBytes), _mm_srli_epi16(v, 8)));
      }
      __m128i means = _mm_srli_epi16(sum, 3);
      Store8(destination + x, _mm_packus_epi16(means, means));
    }
    for (; x < width; ++x) {
      int sum = 4;
      for (int r = 0; r < 4; ++r) sum += source[r * s + 2 * x] + source[r * s + 2 * x + 1];
      destination[x] = static_cast<uint8_t>(sum >> 3);
    }
  }
}

}  // namespace orx::dsp
