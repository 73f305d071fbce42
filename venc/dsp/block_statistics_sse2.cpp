// Block statistics of CPreprocCoreXMM2: whole 16-byte rows, sums of bytes and of absolute
// deviations with the SAD instruction (its two 64-bit lanes hold the left and the right 8x8
// block), means broadcast into byte lanes with the reference's rounding.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/preproc_core_variants.h"
#include "venc/dsp/preproc_sse2_bytes.h"

namespace orx::dsp {
namespace {

using preproc_sse2::AbsDiff;
using preproc_sse2::LoadAligned;

// The two 64-bit lanes of a SAD result as a pair of ints.
struct LanePair {
  int left, right;
};
LanePair Lanes(__m128i sums) {
  return {_mm_cvtsi128_si32(sums), _mm_cvtsi128_si32(_mm_srli_si128(sums, 8))};
}

// Means of the left and right 8x8 blocks of 8 rows, (sum + 32) >> 6, each spread over its
// 8 byte lanes.
__m128i BlockMeans(const uint8_t* rows, int stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (int r = 0; r < 8; ++r)
    sums = _mm_add_epi64(sums, _mm_sad_epu8(LoadAligned(rows + r * stride), zero));
  const __m128i means = _mm_srli_epi64(_mm_add_epi64(sums, _mm_set1_epi64x(32)), 6);
  // Each 64-bit lane holds its mean in the low byte: spread it over the lane's bytes.
  __m128i spread = _mm_or_si128(means, _mm_slli_epi64(means, 8));
  spread = _mm_or_si128(spread, _mm_slli_epi64(spread, 16));
  return _mm_or_si128(spread, _mm_slli_epi64(spread, 32));
}

// Deviations of the left and right 8x8 blocks of 8 rows around their means.
__m128i BlockDeviations(const uint8_t* rows, int stride, __m128i means) {
  __m128i sums = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r)
    sums = _mm_add_epi64(sums, _mm_sad_epu8(LoadAligned(rows + r * stride), means));
  return sums;
}

// The hint is only handed to the prefetcher: it is never read, so any address is safe.
void PrefetchNext(const void* hint) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(hint);
  for (uintptr_t line = 0; line < 4; ++line) {
    _mm_prefetch(reinterpret_cast<const char*>(address + 128 * line), _MM_HINT_NTA);
  }
}

// Means of the four 4x4 blocks of 4 rows, ((sum >> 3) + 1) >> 1, each spread over its 4 byte
// lanes.
__m128i SubBlockMeans(const uint8_t* rows, int stride) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i firstHalves = _mm_set1_epi64x(0x00000000FFFFFFFFll);
  __m128i even = zero, odd = zero;  // 4x4 blocks 0 and 2 in the lanes of `even`, 1 and 3 of `odd`
  for (int r = 0; r < 4; ++r) {
    const __m128i row = LoadAligned(rows + r * stride);
    even = _mm_add_epi64(even, _mm_sad_epu8(_mm_and_si128(row, firstHalves), zero));
    odd = _mm_add_epi64(odd, _mm_sad_epu8(_mm_andnot_si128(firstHalves, row), zero));
  }
  const __m128i one = _mm_set1_epi64x(1);
  even = _mm_srli_epi64(_mm_add_epi64(_mm_srli_epi64(even, 3), one), 1);
  odd = _mm_srli_epi64(_mm_add_epi64(_mm_srli_epi64(odd, 3), one), 1);
  // 32-bit lanes: means of blocks 0, 1, 2, 3.
  __m128i means = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
  means = _mm_or_si128(means, _mm_slli_epi32(means, 8));
  return _mm_or_si128(means, _mm_slli_epi32(means, 16));
}

}  // namespace

int CPreprocCoreXMM2::BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride,
                                     int* smallest, const void* prefetchHint) {
  assert(IsAligned16(upper) && IsAligned16(lower) && stride % 16 == 0);
  PrefetchNext(prefetchHint);
  const LanePair top = Lanes(BlockDeviations(upper, stride, BlockMeans(upper, stride)));
  const LanePair bottom = Lanes(BlockDeviations(lower, stride, BlockMeans(lower, stride)));
  *smallest = std::min({top.left, top.right, bottom.left, bottom.right});
  return top.left + top.right + bottom.left + bottom.right;
}

int CPreprocCoreXMM2::SubBlockMeans4x4(const uint8_t* macroblock, int stride, int* smallest,
                                       const void* prefetchHint) {
  assert(IsAligned16(macroblock) && stride % 16 == 0);
  PrefetchNext(prefetchHint);
  int quadrants[4];
  for (int half = 0; half < 2; ++half) {
    __m128i sums = _mm_setzero_si128();
    for (int band = 0; band < 2; ++band) {
      const uint8_t* rows = macroblock + (8 * half + 4 * band) * stride;
      const __m128i means = SubBlockMeans(rows, stride);
      for (int r = 0; r < 4; ++r)
        sums = _mm_add_epi64(sums, _mm_sad_epu8(LoadAligned(rows + r * stride), means));
    }
    const LanePair pair = Lanes(sums);
    quadrants[2 * half] = pair.left;
    quadrants[2 * half + 1] = pair.right;
  }
  *smallest = *std::min_element(quadrants, quadrants + 4);
  return quadrants[0] + quadrants[1] + quadrants[2] + quadrants[3];
}

int CPreprocCoreXMM2::FieldFrameDifference(const uint8_t* macroblock, int stride) {
  assert(IsAligned16(macroblock) && stride % 16 == 0);
  __m128i rows[16];
  for (int r = 0; r < 16; ++r) rows[r] = LoadAligned(macroblock + r * stride);
  __m128i frame = _mm_setzero_si128(), field = _mm_setzero_si128();
  for (int r = 0; r < 15; ++r) {
    if (r != 7) frame = _mm_add_epi64(frame, _mm_sad_epu8(rows[r], rows[r + 1]));
    if (r < 14) field = _mm_add_epi64(field, _mm_sad_epu8(rows[r], rows[r + 2]));
  }
  const LanePair f = Lanes(frame), g = Lanes(field);
  return f.left + f.right - g.left - g.right;
}

int CPreprocCoreXMM2::NeighbourhoodStats(const uint8_t* band, int macroblocks, int stride) {
  assert(IsAligned16(band) && stride % 16 == 0);
  // The preprocessor's margins can leave no macroblock at all; the answer is then "no
  // measurement", as in the reference.
  if (macroblocks <= 0) return 255;
  const __m128i one = _mm_set1_epi8(1);
  int lowest = 32767, second = 32767;
  auto keep = [&](int value) {
    if (value < lowest) {
      second = lowest;
      lowest = value;
    } else if (value < second) {
      second = value;
    }
  };
  for (int m = 0; m < macroblocks; ++m, band += 16) {
    const __m128i means = BlockMeans(band, stride);
    __m128i sums = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r) {
      const __m128i deviation = AbsDiff(LoadAligned(band + r * stride), means);
      sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_subs_epu8(deviation, one), _mm_setzero_si128()));
    }
    const LanePair values = Lanes(sums);
    keep(values.left);
    keep(values.right);
  }
  return std::min(second, 255);
}

}  // namespace orx::dsp
