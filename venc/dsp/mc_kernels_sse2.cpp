// SSE2 motion-compensation kernels, the table of CMBCoreXMM2 and its slot 35. Byte averages
// (which round up) are used where they are exact; rounding down subtracts the carry bit, and
// four-sample means and the VC-1 filters are formed in 16-bit lanes, so every entry equals the
// reference kernel sample for sample.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/mc_average_kernels_simd.h"
#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

// (a + b) >> 1: the byte average rounds up, so take back the carry of odd sums.
inline __m128i AverageDown(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

void AverageVerticalDown(const uint8_t* source, uint8_t* destination, int sourceStride,
                         int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 2);
  __m128i above = LoadU(source);
  for (int r = 0; r < rows; ++r) {
    __m128i below = LoadU(source + sourceStride);
    StoreA(destination, AverageDown(above, below));
    above = below;
    source += sourceStride;
    destination += destinationStride;
  }
}

template <int kStep>
void AverageHorizontalDown(const uint8_t* source, uint8_t* destination, int sourceStride,
                           int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 2);
  for (int r = 0; r < rows; ++r) {
    StoreA(destination, AverageDown(LoadU(source), LoadU(source + kStep)));
    source += sourceStride;
    destination += destinationStride;
  }
}

// 16-bit sums of a row and its horizontal neighbour, low and high eight samples.
struct PairSums {
  __m128i low, high;
};

inline PairSums HorizontalPairSums(const uint8_t* p, int step) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = LoadU(p), b = LoadU(p + step);
  return {_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
          _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero))};
}

inline __m128i FourSampleMean(const PairSums& upper, const PairSums& lower, __m128i bias) {
  __m128i low = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(upper.low, lower.low), bias), 2);
  __m128i high = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(upper.high, lower.high), bias), 2);
  return _mm_packus_epi16(low, high);
}

// kBias 2 rounds up, 1 rounds down. Each row's horizontal sums serve two output rows.
template <int kStep, int kBias>
void FourSampleMeanRows(const uint8_t* source, uint8_t* destination, int sourceStride,
                        int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 2);
  const __m128i bias = _mm_set1_epi16(kBias);
  PairSums upper = HorizontalPairSums(source, kStep);
  for (int r = 0; r < rows; r += 2) {
    PairSums middle = HorizontalPairSums(source + sourceStride, kStep);
    PairSums lower = HorizontalPairSums(source + 2 * sourceStride, kStep);
    StoreA(destination, FourSampleMean(upper, middle, bias));
    StoreA(destination + destinationStride, FourSampleMean(middle, lower, bias));
    upper = lower;
    source += 2 * sourceStride;
    destination += 2 * destinationStride;
  }
}

// The VC-1 filters in 16-bit lanes: 9 * (b + c) - a - d of four loaded rows or columns.
struct Lanes {
  __m128i low, high;
};

inline Lanes Widen(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  return {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
}

inline __m128i FourTap16(__m128i a, __m128i b, __m128i c, __m128i d) {
  __m128i middle = _mm_add_epi16(b, c);
  middle = _mm_add_epi16(_mm_slli_epi16(middle, 3), middle);
  return _mm_sub_epi16(middle, _mm_add_epi16(a, d));
}

inline Lanes FourTap(const uint8_t* p, std::ptrdiff_t step) {
  Lanes a = Widen(LoadU(p - step)), b = Widen(LoadU(p)), c = Widen(LoadU(p + step)),
        d = Widen(LoadU(p + 2 * step));
  return {FourTap16(a.low, b.low, c.low, d.low), FourTap16(a.high, b.high, c.high, d.high)};
}

// (sum + bias) >> 4, clipped to 0..255 by the saturating pack.
inline __m128i ShiftAndPack(const Lanes& sum, __m128i bias, int shift) {
  __m128i count = _mm_cvtsi32_si128(shift);
  return _mm_packus_epi16(_mm_sra_epi16(_mm_add_epi16(sum.low, bias), count),
                          _mm_sra_epi16(_mm_add_epi16(sum.high, bias), count));
}

template <int kRounding>
void Vc1Vertical(const uint8_t* source, uint8_t* destination, int sourceStride,
                 int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 1);
  const __m128i bias = _mm_set1_epi16(7 + kRounding);
  for (int r = 0; r < rows; ++r) {
    _mm_prefetch(reinterpret_cast<const char*>(source + 3 * sourceStride), _MM_HINT_T0);
    StoreA(destination, ShiftAndPack(FourTap(source, sourceStride), bias, 4));
    source += sourceStride;
    destination += destinationStride;
  }
}

template <int kRounding>
void Vc1Horizontal(const uint8_t* source, uint8_t* destination, int sourceStride,
                   int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 1);
  const __m128i bias = _mm_set1_epi16(8 - kRounding);
  for (int r = 0; r < rows; ++r) {
    _mm_prefetch(reinterpret_cast<const char*>(source + sourceStride), _MM_HINT_T0);
    StoreA(destination, ShiftAndPack(FourTap(source, 1), bias, 4));
    source += sourceStride;
    destination += destinationStride;
  }
}

// floor((a + b) / 2) without leaving 16 bits.
inline __m128i FloorMean16(__m128i a, __m128i b) {
  return _mm_add_epi16(_mm_and_si128(a, b), _mm_srai_epi16(_mm_xor_si128(a, b), 1));
}

inline __m128i Times9(__m128i v) { return _mm_add_epi16(_mm_slli_epi16(v, 3), v); }

// The vertical pass t = (filter + rc) >> 1 at column offsets -1, 0, 1 and 2; the horizontal
// pass sums h1 = 9 t(0) - t(-1) and h2 = 9 t(1) - t(2) + 64 - rc as floor((h1 + h2) / 2) >> 6,
// which equals (h1 + h2) >> 7 while every step stays within 16 bits.
template <int kRounding>
void Vc1TwoDimensional(const uint8_t* source, uint8_t* destination, int sourceStride,
                       int destinationStride, int rows) {
  CheckDestination(destination, destinationStride, rows, 1);
  const __m128i rounding = _mm_set1_epi16(kRounding);
  const __m128i bias = _mm_set1_epi16(64 - kRounding);
  for (int r = 0; r < rows; ++r) {
    _mm_prefetch(reinterpret_cast<const char*>(source + 3 * sourceStride), _MM_HINT_T0);
    Lanes t[4];
    for (int k = 0; k < 4; ++k) {
      Lanes v = FourTap(source + k - 1, sourceStride);
      t[k] = {_mm_srai_epi16(_mm_add_epi16(v.low, rounding), 1),
              _mm_srai_epi16(_mm_add_epi16(v.high, rounding), 1)};
    }
    __m128i h1Low = _mm_sub_epi16(Times9(t[1].low), t[0].low);
    __m128i h1High = _mm_sub_epi16(Times9(t[1].high), t[0].high);
    __m128i h2Low = _mm_add_epi16(_mm_sub_epi16(Times9(t[2].low), t[3].low), bias);
    __m128i h2High = _mm_add_epi16(_mm_sub_epi16(Times9(t[2].high), t[3].high), bias);
    __m128i low = _mm_srai_epi16(FloorMean16(h1Low, h2Low), 6);
    __m128i high = _mm_srai_epi16(FloorMean16(h1High, h2High), 6);
    StoreA(destination, _mm_packus_epi16(low, high));
    source += sourceStride;
    destination += destinationStride;
  }
}

// One rounding-up prediction of a bidirectional kernel, row by row; a vertical or
// two-dimensional prediction keeps the previous row (or its horizontal sums) for the next.
template <int kX, int kY>
class BidirSide {
 public:
  BidirSide(const uint8_t* p, int stride, int step) : p_(p), stride_(stride), step_(step) {
    if constexpr (kX && kY) upperSums_ = HorizontalPairSums(p, step);
    if constexpr (kY && !kX) upperRow_ = LoadU(p);
  }

  __m128i Next() {
    __m128i row;
    if constexpr (kX && kY) {
      PairSums lower = HorizontalPairSums(p_ + stride_, step_);
      row = FourSampleMean(upperSums_, lower, _mm_set1_epi16(2));
      upperSums_ = lower;
    } else if constexpr (kY) {
      __m128i lower = LoadU(p_ + stride_);
      row = _mm_avg_epu8(upperRow_, lower);
      upperRow_ = lower;
    } else if constexpr (kX) {
      row = _mm_avg_epu8(LoadU(p_), LoadU(p_ + step_));
    } else {
      row = LoadU(p_);
    }
    p_ += stride_;
    return row;
  }

 private:
  const uint8_t* p_;
  int stride_, step_;
  PairSums upperSums_{};
  __m128i upperRow_{};
};

// The bidirectional entries in which one prediction is two-dimensional (3, 7, 11-15).
template <int kIndex>
void Bidir(const uint8_t* first, const uint8_t* second, uint8_t* destination, int sourceStride,
           int destinationStride, int rows, int step) {
  constexpr int x1 = (kIndex >> 3) & 1, y1 = (kIndex >> 2) & 1;
  constexpr int x2 = (kIndex >> 1) & 1, y2 = kIndex & 1;
  CheckDestination(destination, destinationStride, rows, kIndex == 15 ? 1 : 2);
  BidirSide<x1, y1> a(first, sourceStride, step);
  BidirSide<x2, y2> b(second, sourceStride, step);
  for (int r = 0; r < rows; ++r, destination += destinationStride) {
    StoreA(destination, _mm_avg_epu8(a.Next(), b.Next()));
  }
}

using Load = UnalignedRowLoad;

}  // namespace

const McKernelTable kSse2McKernels = {
    {CopyRows<Load>, AverageVertical<Load>, AverageHorizontal<Load, 1>,
     FourSampleMeanRows<1, 2>, CopyRows<Load>, AverageVerticalDown, AverageHorizontalDown<1>,
     FourSampleMeanRows<1, 1>},
    {CopyRows<Load>, AverageVertical<Load>, AverageHorizontal<Load, 2>,
     FourSampleMeanRows<2, 2>, CopyRows<Load>, AverageVerticalDown, AverageHorizontalDown<2>,
     FourSampleMeanRows<2, 1>},
    {CopyRows<Load>, Vc1Vertical<0>, Vc1Horizontal<0>, Vc1TwoDimensional<0>,  //
     CopyRows<Load>, Vc1Vertical<1>, Vc1Horizontal<1>, Vc1TwoDimensional<1>},
    {McBidirKernelXmm<0>, McBidirKernelXmm<1>, McBidirKernelXmm<2>, Bidir<3>,
     McBidirKernelXmm<4>, McBidirKernelXmm<5>, McBidirKernelXmm<6>, Bidir<7>,
     McBidirKernelXmm<8>, McBidirKernelXmm<9>, McBidirKernelXmm<10>, Bidir<11>,  //
     Bidir<12>, Bidir<13>, Bidir<14>, Bidir<15>},
};

void CMBCoreXMM2::InitMcTables() {
  lumaKernels = kSse2McKernels.luma;
  chromaKernels = kSse2McKernels.chroma;
  vc1FourTapKernels = kSse2McKernels.vc1FourTap;
  bidirKernels = kSse2McKernels.bidir;
}

}  // namespace orx::dsp
