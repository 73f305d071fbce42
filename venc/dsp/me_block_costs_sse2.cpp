// SSE2 block costs of CMotionEstimationCoreXMM2 (slots 5-9 and 11). Full-sample and
// one-direction half-sample costs equal the plain class; a diagonal half sample is
// avg(avg(a, b), avg(c, d)), which can exceed the plain four-sample mean by 1.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>
#include <utility>

#include "venc/dsp/me_cost_kernels_simd.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

using Load = UnalignedRowLoad;

// Half-sample kinds of SadBidirHalfPel16: 2 * horizontal flag + vertical flag.
enum Kind { kFull = 0, kVertical = 1, kHorizontal = 2, kDiagonal = 3 };

template <int kKind>
inline __m128i PredictRow(const uint8_t* p, int stride) {
  if constexpr (kKind == kFull) return Load::Row(p);
  if constexpr (kKind == kVertical) return _mm_avg_epu8(Load::Row(p), Load::Row(p + stride));
  if constexpr (kKind == kHorizontal) return _mm_avg_epu8(Load::Row(p), Load::Row(p + 1));
  return _mm_avg_epu8(_mm_avg_epu8(Load::Row(p), Load::Row(p + 1)),
                      _mm_avg_epu8(Load::Row(p + stride), Load::Row(p + stride + 1)));
}

// One of the ten pair kernels (kA <= kB); the average is symmetric, so the other order runs
// with the references exchanged.
template <int kA, int kB>
uint32_t BidirSad(const uint8_t* block, int stride, int rows, const uint8_t* a, const uint8_t* b) {
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < rows; ++r) {
    __m128i prediction = _mm_avg_epu8(PredictRow<kA>(a, stride), PredictRow<kB>(b, stride));
    sum = _mm_add_epi32(sum, _mm_sad_epu8(prediction, LoadA(block)));
    a += stride;
    b += stride;
    block += stride;
  }
  return LaneTotal(sum);
}

using BidirPair = uint32_t (*)(const uint8_t*, int, int, const uint8_t*, const uint8_t*);

constexpr BidirPair kBidirPairs[4][4] = {
    {BidirSad<0, 0>, BidirSad<0, 1>, BidirSad<0, 2>, BidirSad<0, 3>},
    {nullptr, BidirSad<1, 1>, BidirSad<1, 2>, BidirSad<1, 3>},
    {nullptr, nullptr, BidirSad<2, 2>, BidirSad<2, 3>},
    {nullptr, nullptr, nullptr, BidirSad<3, 3>},
};

}  // namespace

uint32_t CMotionEstimationCoreXMM2::Sad16Packed(const uint8_t* packed) {
  assert(IsAligned16(packed) && IsAligned16(block));
  _mm_prefetch(reinterpret_cast<const char*>(packed + 256), _MM_HINT_T0);
  __m128i sum = _mm_setzero_si128();
  for (int i = 0; i < 256; i += 16) {
    sum = _mm_add_epi32(sum, _mm_sad_epu8(LoadA(packed + i), LoadA(block + i)));
  }
  return LaneTotal(sum);
}

uint32_t CMotionEstimationCoreXMM2::Sad16(const uint8_t* reference) {
  return Sad16Rows<Load>(block, stride, rows, reference);
}

uint32_t CMotionEstimationCoreXMM2::Sad16Prefetch(const uint8_t* reference) {
  return Sad16PrefetchRows<Load>(block, stride, rows, reference);
}

uint32_t CMotionEstimationCoreXMM2::SadHalfPel16(const uint8_t* reference, int halfX, int halfY) {
  return SadHalfPel16Rows<Load>(block, stride, rows, reference, halfX, halfY);
}

// Two 8-sample rows per SAD, any alignment.
uint32_t CMotionEstimationCoreXMM2::Sad8(const uint8_t* reference) {
  assert(rows > 0 && rows % 8 == 0);
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < rows; r += 2) {
    __m128i ref = _mm_unpacklo_epi64(Load8(reference + r * stride),
                                     Load8(reference + (r + 1) * stride));
    __m128i current = _mm_unpacklo_epi64(Load8(block + r * stride),
                                         Load8(block + (r + 1) * stride));
    sum = _mm_add_epi32(sum, _mm_sad_epu8(ref, current));
  }
  return LaneTotal(sum);
}

uint32_t CMotionEstimationCoreXMM2::SadBidirHalfPel16(const uint8_t* referenceA,
                                                      const uint8_t* referenceB, int halfXA,
                                                      int halfYA, int halfXB, int halfYB) {
  CheckCurrentBlock(block, stride, rows, 2);
  int kindA = 2 * (halfXA != 0) + (halfYA != 0);
  int kindB = 2 * (halfXB != 0) + (halfYB != 0);
  if (kindA > kindB) {
    std::swap(kindA, kindB);
    std::swap(referenceA, referenceB);
  }
  return kBidirPairs[kindA][kindB](block, stride, rows, referenceA, referenceB);
}

}  // namespace orx::dsp
