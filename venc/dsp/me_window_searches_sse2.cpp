// SSE2 window searches of CMotionEstimationCoreXMM2 (slots 15, 16, 19, 38) and slot 17 of the
// integer-SSE class CMotionEstimationCoreXMM, which the SSE2 and SSE3 classes inherit. Each tries the
// caller's predicted position and accepts it at once when it is good enough; otherwise the
// predictor keeps a head start against the window. The block (or its reduction) is formed once
// and held in a register; every SAD is exact. Slots 16 and 19 are 64-bit-register kernels in
// the original design; here they are SSE2 with the same results, so no MMX state is left behind.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>
#include <cstring>

#include "venc/dsp/me_window_scans.h"
#include "venc/dsp/motion_estimation_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

inline uint32_t LaneTotal(__m128i sums) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums) +
                               _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

// Two 8-sample rows in one register.
inline __m128i Rows8(const uint8_t* first, const uint8_t* second) {
  return _mm_unpacklo_epi64(Load8(first), Load8(second));
}

// Four 4-sample rows `step` bytes apart in one register.
inline __m128i Rows4(const uint8_t* p, int step) {
  __m128i upper = _mm_unpacklo_epi32(Load4(p), Load4(p + step));
  __m128i lower = _mm_unpacklo_epi32(Load4(p + 2 * step), Load4(p + 3 * step));
  return _mm_unpacklo_epi64(upper, lower);
}

// The 4x4 block of a packed 8x8 source: vertical means of row pairs first, then the means of
// horizontal pairs.
__m128i ReducedBlock4x4(const uint8_t* block) {
  const __m128i evenBytes = _mm_set1_epi16(0x00FF);
  __m128i rows[2];
  for (int half = 0; half < 2; ++half) {
    // Rows 4h..4h+3: two vertical pair means of eight samples each.
    __m128i pairs01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 32 * half));
    __m128i pairs23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 32 * half + 16));
    __m128i v = _mm_unpacklo_epi64(_mm_avg_epu8(pairs01, _mm_srli_si128(pairs01, 8)),
                                   _mm_avg_epu8(pairs23, _mm_srli_si128(pairs23, 8)));
    rows[half] = _mm_avg_epu16(_mm_and_si128(v, evenBytes), _mm_srli_epi16(v, 8));
  }
  return _mm_packus_epi16(rows[0], rows[1]);
}

}  // namespace

// Block rows 0, 2, 4, 6 against reference rows two strides apart; the predictor is accepted
// at a SAD of 16 or less, with the result 0, and otherwise keeps a head start of 4.
int CMotionEstimationCoreXMM2::SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block,
                                                      int stride, int nx, int ny, int* x, int* y) {
  assert(nx >= 1 && ny >= 1);
  const __m128i upper = Rows8(block, block + 16), lower = Rows8(block + 32, block + 48);
  auto cost = [&](int cx, int cy) {
    const uint8_t* p = window + cy * stride + cx;
    __m128i sums = _mm_add_epi32(_mm_sad_epu8(Rows8(p, p + 2 * stride), upper),
                                 _mm_sad_epu8(Rows8(p + 4 * stride, p + 6 * stride), lower));
    return LaneTotal(sums);
  };
  const int predictor = static_cast<int>(cost(*x, *y));
  if (predictor <= 16) return 0;
  return me::PredictorScan(nx, ny, x, y, static_cast<uint32_t>(predictor - 4), cost);
}

// The 4x4 reduction against 4x4 candidates, rows scanned in pairs; ties within a pair go to
// the lower row.
int CMotionEstimationCoreXMM2::SearchWindow4x4Threshold(const uint8_t* window,
                                                        const uint8_t* block, int stride, int nx,
                                                        int ny, int* x, int* y, int threshold) {
  assert(nx >= 1 && ny >= 1);
  const __m128i reduced = ReducedBlock4x4(block);
  auto cost = [&](int cx, int cy) {
    return LaneTotal(_mm_sad_epu8(Rows4(window + cy * stride + cx, stride), reduced));
  };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return me::PairScan(nx, ny, stride, x, y, predictor - (limit >> 1), true, cost);
}

// The 8x4 block of rounded means of the packed 8x8 source's row pairs, row-major scan.
int CMotionEstimationCoreXMM2::SearchWindowRowPairs(const uint8_t* window, const uint8_t* block,
                                                    int stride, int nx, int ny, int* x, int* y,
                                                    int threshold) {
  assert(nx >= 1 && ny >= 1);
  __m128i means[4];
  for (int j = 0; j < 4; ++j) {
    __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * j));
    means[j] = _mm_avg_epu8(pair, _mm_srli_si128(pair, 8));
  }
  const __m128i upper = _mm_unpacklo_epi64(means[0], means[1]);
  const __m128i lower = _mm_unpacklo_epi64(means[2], means[3]);
  auto cost = [&](int cx, int cy) {
    const uint8_t* p = window + cy * stride + cx;
    __m128i sums = _mm_add_epi32(_mm_sad_epu8(Rows8(p, p + stride), upper),
                                 _mm_sad_epu8(Rows8(p + 2 * stride, p + 3 * stride), lower));
    return LaneTotal(sums);
  };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return me::PredictorScan(nx, ny, x, y, predictor - (limit >> 1), cost);
}

// A packed 4x4 block against 4x4 candidates, rows scanned in pairs, strict improvement.
int CMotionEstimationCoreXMM2::SearchWindowThreshold2(const uint8_t* window, const uint8_t* block,
                                                      int stride, int nx, int ny, int* x, int* y,
                                                      int threshold) {
  assert(nx >= 1 && ny >= 1);
  const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
  auto cost = [&](int cx, int cy) {
    return LaneTotal(_mm_sad_epu8(Rows4(window + cy * stride + cx, stride), packed));
  };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return me::PairScan(nx, ny, stride, x, y, predictor - (limit >> 1), false, cost);
}

// The integer-SSE body that the running classes inherit: block rows 0, 2, 4, 6 against reference
// rows four strides apart (a field of the 2:1 plane), the predictor accepted at a SAD of 16 or
// less (with that SAD as the result) and otherwise kept with a head start of 4, and a sparse
// scan that skips the next column after every candidate that does not improve.
int CMotionEstimationCoreXMM::SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block,
                                                     int stride, int nx, int ny, int* x, int* y) {
  assert(nx >= 1 && ny >= 1);
  const __m128i upper = Rows8(block, block + 16), lower = Rows8(block + 32, block + 48);
  auto cost = [&](int cx, int cy) {
    const uint8_t* p = window + cy * stride + cx;
    __m128i sums = _mm_add_epi32(_mm_sad_epu8(Rows8(p, p + 4 * stride), upper),
                                 _mm_sad_epu8(Rows8(p + 8 * stride, p + 12 * stride), lower));
    return LaneTotal(sums);
  };
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= 16) return static_cast<int>(predictor);
  return me::SparseScan(nx, ny, x, y, predictor - 4, cost);
}

}  // namespace orx::dsp
