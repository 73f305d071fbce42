// The bidirectional motion-compensation kernels of the integer-SSE class CMBCoreXMM that
// CMBCoreXMM2's table shares: the nine entries in which neither prediction is two-dimensional.
// Like the rest of that class they work on 8-byte halves of a row; they are written with SSE2
// intrinsics on the low half of the register, so they leave no MMX state behind.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

// Copy, vertical or horizontal rounding-up prediction of eight samples.
template <int kX, int kY>
inline __m128i PredictHalf(const uint8_t* p, int stride, int step) {
  static_assert(!(kX && kY), "the two-dimensional entries are SSE2 kernels");
  if constexpr (kX) return _mm_avg_epu8(Load8(p), Load8(p + step));
  if constexpr (kY) return _mm_avg_epu8(Load8(p), Load8(p + stride));
  return Load8(p);
}

}  // namespace

template <int kIndex>
void McBidirKernelXmm(const uint8_t* first, const uint8_t* second, uint8_t* destination,
                      int sourceStride, int destinationStride, int rows, int step) {
  constexpr int x1 = (kIndex >> 3) & 1, y1 = (kIndex >> 2) & 1;
  constexpr int x2 = (kIndex >> 1) & 1, y2 = kIndex & 1;
  constexpr int kRowsPerStep = (kIndex == 0 || kIndex == 1 || kIndex == 4) ? 2 : 1;
  assert(rows > 0 && rows % kRowsPerStep == 0);
  for (int r = 0; r < rows; r += kRowsPerStep) {
    for (int k = 0; k < kRowsPerStep; ++k) {
      for (int half = 0; half < 16; half += 8) {
        __m128i a = PredictHalf<x1, y1>(first + half, sourceStride, step);
        __m128i b = PredictHalf<x2, y2>(second + half, sourceStride, step);
        Store8(destination + half, _mm_avg_epu8(a, b));
      }
      first += sourceStride;
      second += sourceStride;
      destination += destinationStride;
    }
  }
}

template void McBidirKernelXmm<0>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<1>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<2>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<4>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<5>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<6>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<8>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<9>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);
template void McBidirKernelXmm<10>(const uint8_t*, const uint8_t*, uint8_t*, int, int, int, int);

}  // namespace orx::dsp
