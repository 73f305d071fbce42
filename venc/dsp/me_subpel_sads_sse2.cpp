// SSE2 sub-pel neighbour cost sets of CMotionEstimationCoreXMM2 (slots 23, 24, 27-30). All four
// positions of a row come from one set of loads; every value is one or two rounded byte
// averages, so the sums equal the plain class exactly. The SAD of a 16-sample row leaves the
// left part's sum in the low lane and the right part's in the high lane; the 8-wide sets pair
// two rows of one part in a register. The sums array is written with aligned 16-byte stores.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/me_choices.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

// The four predictions -2, -1, +1, +2 of one register of samples.
struct Positions {
  __m128i v[4];
};

// Horizontal: between m and its left (a) and right (b) neighbours.
inline Positions Horizontal(__m128i a, __m128i m, __m128i b) {
  __m128i halfLeft = _mm_avg_epu8(a, m), halfRight = _mm_avg_epu8(m, b);
  return {{halfLeft, _mm_avg_epu8(halfLeft, m), _mm_avg_epu8(halfRight, m), halfRight}};
}

// Vertical: between the row t and the rows above (u) and below (d).
inline Positions Vertical(__m128i u, __m128i t, __m128i d) {
  __m128i halfUp = _mm_avg_epu8(u, t), halfDown = _mm_avg_epu8(t, d);
  return {{halfUp, _mm_avg_epu8(halfUp, t), _mm_avg_epu8(t, halfDown), halfDown}};
}

// A row at the horizontal quarter fraction kFraction: avg(avg(p[i + a], p[i]), p[i + b]) with
// a = kFraction & 1, b = kFraction >> 1; m and n are the row at p and at p + 1.
template <int kFraction>
inline __m128i AtFraction(__m128i m, __m128i n) {
  if constexpr (kFraction == 0) return m;
  if constexpr (kFraction == 1) return _mm_avg_epu8(_mm_avg_epu8(n, m), m);
  if constexpr (kFraction == 2) return _mm_avg_epu8(m, n);
  return _mm_avg_epu8(_mm_avg_epu8(n, m), n);
}

template <int kFraction>
inline __m128i Row16AtFraction(const uint8_t* p) {
  if constexpr (kFraction == 0) return LoadU(p);
  return AtFraction<kFraction>(LoadU(p), LoadU(p + 1));
}

template <int kFraction>
inline __m128i Rows8AtFraction(const uint8_t* p, int stride) {
  if constexpr (kFraction == 0) return Rows8(p, p + stride);
  return AtFraction<kFraction>(Rows8(p, p + stride), Rows8(p + 1, p + stride + 1));
}

// Running SADs of the four positions; each 64-bit lane holds one part's (or one row's) sum.
struct Accumulator {
  __m128i sum[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                    _mm_setzero_si128()};
  void Add(const Positions& p, __m128i current) {
    for (int k = 0; k < 4; ++k) sum[k] = _mm_add_epi32(sum[k], _mm_sad_epu8(p.v[k], current));
  }
  // The four sums of each lane packed as 16-bit values: lane 0 in the low half, lane 1 in the
  // high half, in position order.
  __m128i PackedLanes() const {
    __m128i low = _mm_or_si128(sum[0], _mm_slli_epi64(sum[1], 16));
    __m128i high = _mm_or_si128(sum[2], _mm_slli_epi64(sum[3], 16));
    return _mm_or_si128(low, _mm_slli_epi64(high, 32));
  }
  // Both lanes added: the four sums of one part in the low half.
  __m128i PackedTotal() const {
    Accumulator total;
    for (int k = 0; k < 4; ++k) total.sum[k] = _mm_add_epi32(sum[k], _mm_srli_si128(sum[k], 8));
    return total.PackedLanes();
  }
};

inline void StoreSums(uint16_t* sums, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i*>(sums), v);
}

inline void CheckSixteenWide(const CMotionEstimationCore& core, const uint16_t* sums) {
  assert(IsAligned16(sums) && IsAligned16(core.block) && core.stride % 16 == 0);
  (void)core, (void)sums;
}

// Bands of eight rows of a 16-wide block; each band fills the entries of its left and right
// parts (eight sums, one aligned store).
void SumsX16(const CMotionEstimationCore& core, const uint8_t* reference, int bands,
             uint16_t* sums) {
  CheckSixteenWide(core, sums);
  for (int band = 0; band < bands; ++band) {
    Accumulator acc;
    for (int r = 8 * band; r < 8 * band + 8; ++r) {
      const uint8_t* p = reference + r * core.stride;
      acc.Add(Horizontal(LoadU(p - 1), LoadU(p), LoadU(p + 1)), LoadA(core.block + r * core.stride));
    }
    StoreSums(sums + 8 * band, acc.PackedLanes());
  }
}

template <int kFraction>
void SumsY16(const CMotionEstimationCore& core, const uint8_t* reference, int bands,
             uint16_t* sums) {
  CheckSixteenWide(core, sums);
  const int s = core.stride;
  __m128i above = Row16AtFraction<kFraction>(reference - s);
  __m128i middle = Row16AtFraction<kFraction>(reference);
  for (int band = 0; band < bands; ++band) {
    Accumulator acc;
    for (int r = 8 * band; r < 8 * band + 8; ++r) {
      __m128i below = Row16AtFraction<kFraction>(reference + (r + 1) * s);
      acc.Add(Vertical(above, middle, below), LoadA(core.block + r * s));
      above = middle;
      middle = below;
    }
    StoreSums(sums + 8 * band, acc.PackedLanes());
  }
}

// The 8x16 halves: rows in pairs, top part (rows 0-7) then bottom part (rows 8-15).
void SumsXHalves(const CMotionEstimationCore& core, const uint8_t* reference, uint16_t* sums) {
  assert(IsAligned16(sums));
  const int s = core.stride;
  __m128i parts[2];
  for (int part = 0; part < 2; ++part) {
    Accumulator acc;
    for (int r = 8 * part; r < 8 * part + 8; r += 2) {
      const uint8_t* p = reference + r * s;
      acc.Add(Horizontal(Rows8(p - 1, p + s - 1), Rows8(p, p + s), Rows8(p + 1, p + s + 1)),
              Rows8(core.block + r * s, core.block + (r + 1) * s));
    }
    parts[part] = acc.PackedTotal();
  }
  StoreSums(sums, _mm_unpacklo_epi64(parts[0], parts[1]));
}

template <int kFraction>
void SumsYHalves(const CMotionEstimationCore& core, const uint8_t* reference, uint16_t* sums) {
  assert(IsAligned16(sums));
  const int s = core.stride;
  __m128i parts[2];
  for (int part = 0; part < 2; ++part) {
    Accumulator acc;
    for (int r = 8 * part; r < 8 * part + 8; r += 2) {
      // Rows r - 1 .. r + 2 at the fraction, as the pairs (r - 1, r), (r, r + 1), (r + 1, r + 2).
      const uint8_t* p = reference + r * s;
      acc.Add(Vertical(Rows8AtFraction<kFraction>(p - s, s), Rows8AtFraction<kFraction>(p, s),
                       Rows8AtFraction<kFraction>(p + s, s)),
              Rows8(core.block + r * s, core.block + (r + 1) * s));
    }
    parts[part] = acc.PackedTotal();
  }
  StoreSums(sums, _mm_unpacklo_epi64(parts[0], parts[1]));
}

template <template <int> class Run, typename... Args>
void ByFraction(int fraction, Args&&... args) {
  switch (fraction & 3) {
    case 0: Run<0>::Go(args...); break;
    case 1: Run<1>::Go(args...); break;
    case 2: Run<2>::Go(args...); break;
    default: Run<3>::Go(args...); break;
  }
}

template <int kFraction>
struct RunY16 {
  static void Go(const CMotionEstimationCore& core, const uint8_t* reference, int bands,
                 uint16_t* sums) {
    SumsY16<kFraction>(core, reference, bands, sums);
  }
};

template <int kFraction>
struct RunYHalves {
  static void Go(const CMotionEstimationCore& core, const uint8_t* reference, uint16_t* sums) {
    SumsYHalves<kFraction>(core, reference, sums);
  }
};

}  // namespace

int CMotionEstimationCoreXMM2::SubPelSadsX16x16(const uint8_t* reference, uint16_t* sums,
                                                int* component, int predicted, int bias) {
  SumsX16(*this, reference, 2, sums);
  return me::ChooseWithBias(sums, 4, component, predicted, bias);
}

int CMotionEstimationCoreXMM2::SubPelSadsY16x16(const uint8_t* reference, int fraction,
                                                uint16_t* sums, int* component, int predicted,
                                                int bias) {
  ByFraction<RunY16>(fraction, *this, reference, 2, sums);
  return me::ChooseWithBias(sums, 4, component, predicted, bias);
}

int CMotionEstimationCoreXMM2::SubPelSadsX16x8(const uint8_t* reference, uint16_t* sums,
                                               int* component, int predicted, int bias) {
  SumsX16(*this, reference, 1, sums);
  return me::ChooseWithBias(sums, 2, component, predicted, bias);
}

int CMotionEstimationCoreXMM2::SubPelSadsY16x8(const uint8_t* reference, int fraction,
                                               uint16_t* sums, int* component, int predicted,
                                               int bias) {
  ByFraction<RunY16>(fraction, *this, reference, 1, sums);
  return me::ChooseWithBias(sums, 2, component, predicted, bias);
}

int CMotionEstimationCoreXMM2::SubPelSadsXHalves(const uint8_t* reference, uint16_t* sums,
                                                 int* component, int predicted, int bias) {
  SumsXHalves(*this, reference, sums);
  return me::ChooseWithBias(sums, 2, component, predicted, bias);
}

int CMotionEstimationCoreXMM2::SubPelSadsYHalves(const uint8_t* reference, int fraction,
                                                 uint16_t* sums, int* component, int predicted,
                                                 int bias) {
  ByFraction<RunYHalves>(fraction, *this, reference, sums);
  return me::ChooseWithBias(sums, 2, component, predicted, bias);
}

}  // namespace orx::dsp
