// SSE2 window searches of CMotionEstimationCoreXMM2 (slots 15, 16, 19, 38) and slot 17 of the
// integer-SSE class CMotionEstimationCoreXMM, which the SSE2 and SSE3 classes inherit. Each tries the
// caller's predicted position and accepts it at once when it is good enough; otherwise the
// predictor keeps a head start against the window. The block (or its reduction) is formed once
// and held in a register; every SAD is exact. Slots 16 and 19 are 64-bit-register kernels in
// the original design; here they are SSE2 with the same results, so no MMX state is left behind.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/me_window_scans.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {


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

// Rows 0, 2, 4, 6 of a packed 8x8 block, held in two registers, against the candidate rows at
// p, p + step, p + 2 step and p + 3 step.
class EvenRows8x4 {
 public:
  explicit EvenRows8x4(const uint8_t* block)
      : upper_(Rows8(block, block + 16)), lower_(Rows8(block + 32, block + 48)) {}
  uint32_t Sad(const uint8_t* p, std::ptrdiff_t step) const {
    return LaneTotal(_mm_add_epi32(_mm_sad_epu8(Rows8(p, p + step), upper_),
                                   _mm_sad_epu8(Rows8(p + 2 * step, p + 3 * step), lower_)));
  }

 private:
  __m128i upper_, lower_;
};

}  // namespace

// Block rows 0, 2, 4, 6 against reference rows two strides apart; the predictor is accepted
// at a SAD of 16 or less, with the result 0, and otherwise keeps a head start of 4.
int CMotionEstimationCoreXMM2::SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block,
                                                      int stride, int nx, int ny, int* x, int* y) {
  assert(nx >= 1 && ny >= 1);
  const EvenRows8x4 rows(block);
  auto cost = [&](int cx, int cy) { return rows.Sad(window + cy * stride + cx, 2 * stride); };
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
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold,
                             me::ScanOrder::kPairsLowerWinsTies, cost);
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
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold, me::ScanOrder::kRowMajor, cost);
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
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold, me::ScanOrder::kPairsStrict,
                             cost);
}

// The integer-SSE body that the running classes inherit: block rows 0, 2, 4, 6 against reference
// rows four strides apart (a field of the 2:1 plane), the predictor accepted at a SAD of 16 or
// less (with that SAD as the result) and otherwise kept with a head start of 4, and a sparse
// scan that skips the next column after every candidate that does not improve.
int CMotionEstimationCoreXMM::SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block,
                                                     int stride, int nx, int ny, int* x, int* y) {
  assert(nx >= 1 && ny >= 1);
  const EvenRows8x4 rows(block);
  auto cost = [&](int cx, int cy) { return rows.Sad(window + cy * stride + cx, 4 * stride); };
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= 16) return static_cast<int>(predictor);
  return me::SparseScan(nx, ny, x, y, predictor - 4, cost);
}

}  // namespace orx::dsp
