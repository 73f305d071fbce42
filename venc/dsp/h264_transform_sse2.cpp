// SSE2 H.264 residual kernels of CMBCoreXMM2 (slots 63-66, 69-71; CMBCoreXMM3 inherits them).
// A block pair, or the Cb and Cr blocks of a chroma pair, is held in registers through residual,
// transform, quantisation and counting; the results equal the plain class for every input the
// encoder produces (8-bit residuals and the levels quantised from them).
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/h264_transform_simd.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

using namespace h264simd;

// Residual row of 8 lanes: current minus prediction.
inline __m128i ResidualRow(const uint8_t* current, const uint8_t* prediction) {
  return _mm_sub_epi16(Widen(Load8(current)), Widen(Load8(prediction)));
}

// Lanes c0b c0r c1b c1r ... become c0b..c3b c0r..c3r (Cb in the low half, Cr in the high half).
inline __m128i SplitComponents(__m128i v) {
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
  v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 2, 0));
}

// The inverse: Cb in the low half and Cr in the high half become interleaved lanes.
inline __m128i JoinComponents(__m128i v) { return _mm_unpacklo_epi16(v, _mm_unpackhi_epi64(v, v)); }

}  // namespace

void CMBCoreXMM2::Subtract4x4(int16_t* residual, const uint8_t* prediction,
                              const uint8_t* current, int stride) {
  assert(IsAligned16(residual) && IsAligned16(prediction));
  if ((reinterpret_cast<uintptr_t>(current) & 0x3C) == 0) {
    _mm_prefetch(reinterpret_cast<const char*>(current + 64), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(current + stride + 64), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(current + 2 * stride + 96), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(current + 3 * stride + 96), _MM_HINT_T0);
  }
  __m128i rows01 = _mm_unpacklo_epi32(Load4(current), Load4(current + stride));
  __m128i rows23 = _mm_unpacklo_epi32(Load4(current + 2 * stride), Load4(current + 3 * stride));
  __m128i predicted = Load(prediction);
  __m128i zero = _mm_setzero_si128();
  Store(residual, _mm_sub_epi16(Widen(rows01), _mm_unpacklo_epi8(predicted, zero)));
  Store(residual + 8, _mm_sub_epi16(Widen(rows23), _mm_unpackhi_epi8(predicted, zero)));
}

int CMBCoreXMM2::TransformQuant4x4(int16_t* block, int start) {
  assert(IsAligned16(block));
  __m128i rows01 = Load(block), rows23 = Load(block + 8);
  // The block goes through the pair transform as its left half (the right half repeats it).
  __m128i r0 = _mm_unpacklo_epi64(rows01, rows01), r1 = _mm_unpackhi_epi64(rows01, rows01);
  __m128i r2 = _mm_unpacklo_epi64(rows23, rows23), r3 = _mm_unpackhi_epi64(rows23, rows23);
  BlockPair pair = ForwardTransformPair(r0, r1, r2, r3);
  bool keepDc = start != 0;
  QuantizePair(pair, *currentQuantRecord, keepDc);
  Store(block, pair.left01);
  Store(block + 8, pair.left23);
  return CountLevels(pair.left01, pair.left23, keepDc);
}

void CMBCoreXMM2::TransformQuant4x4Pair(int16_t* levels, const uint8_t* prediction,
                                        const uint8_t* current, int stride, uint32_t* counts) {
  assert(IsAligned16(levels) && IsAligned16(prediction));
  BlockPair pair = ForwardTransformPair(ResidualRow(current, prediction),
                                        ResidualRow(current + stride, prediction + 8),
                                        ResidualRow(current + 2 * stride, prediction + 16),
                                        ResidualRow(current + 3 * stride, prediction + 24));
  QuantizePair(pair, *currentQuantRecord, false);
  Store(levels, pair.left01);
  Store(levels + 8, pair.left23);
  Store(levels + 16, pair.right01);
  Store(levels + 24, pair.right23);
  counts[0] = static_cast<uint32_t>(CountNonZero(pair.left01, pair.left23));
  counts[1] = static_cast<uint32_t>(CountNonZero(pair.right01, pair.right23));
}

void CMBCoreXMM2::TransformQuantChromaAc(int16_t* levels, const uint8_t* prediction,
                                         const uint8_t* current, int stride, uint32_t* counts) {
  assert(IsAligned16(levels) && IsAligned16(prediction));
  // Cb becomes the left block of a pair and Cr the right one.
  BlockPair pair = ForwardTransformPair(
      SplitComponents(ResidualRow(current, prediction)),
      SplitComponents(ResidualRow(current + stride, prediction + 8)),
      SplitComponents(ResidualRow(current + 2 * stride, prediction + 16)),
      SplitComponents(ResidualRow(current + 3 * stride, prediction + 24)));
  QuantizePair(pair, *currentQuantRecord, true);
  counts[0] = static_cast<uint32_t>(CountLevels(pair.left01, pair.left23, true));
  counts[1] = static_cast<uint32_t>(CountLevels(pair.right01, pair.right23, true));
  Store(levels, _mm_unpacklo_epi16(pair.left01, pair.right01));
  Store(levels + 8, _mm_unpackhi_epi16(pair.left01, pair.right01));
  Store(levels + 16, _mm_unpacklo_epi16(pair.left23, pair.right23));
  Store(levels + 24, _mm_unpackhi_epi16(pair.left23, pair.right23));
}

void CMBCoreXMM2::TransformQuantChromaDc(int16_t* dcRecord, const int16_t* coefficients,
                                         uint32_t* counts) {
  assert(IsAligned16(dcRecord) && IsAligned16(coefficients));
  const H264QuantRecord& record = *currentQuantRecord;
  // Lanes 2k + p: the DC of pair k, component p; each (Cb, Cr) pair is one 32-bit unit.
  auto dcOf = [&](int k) { return Load4(reinterpret_cast<const uint8_t*>(coefficients + 32 * k)); };
  __m128i dcs = _mm_unpacklo_epi64(_mm_unpacklo_epi32(dcOf(0), dcOf(1)),
                                   _mm_unpacklo_epi32(dcOf(2), dcOf(3)));
  // 2x2 transform over the units: (d0 + d1, d0 - d1, d2 + d3, d2 - d3), then
  // (a0 + a2, a1 + a3, a0 - a2, a1 - a3).
  auto transform = [](__m128i v) {
    __m128i a = _mm_add_epi16(_mm_mullo_epi16(v, _mm_setr_epi16(1, 1, -1, -1, 1, 1, -1, -1)),
                              _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_add_epi16(_mm_mullo_epi16(a, _mm_setr_epi16(1, 1, 1, 1, -1, -1, -1, -1)),
                         _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2)));
  };
  __m128i f = transform(dcs);
  __m128i multiplier = _mm_set1_epi16(record.multiplier[0]);
  __m128i low = _mm_mullo_epi16(f, multiplier), high = _mm_mulhi_epi16(f, multiplier);
  __m128i round = _mm_set1_epi32(1 << 17);
  __m128i l0 = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(low, high), round), 18);
  __m128i l1 = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(low, high), round), 18);
  __m128i levels = _mm_packs_epi32(l0, l1);
  Store(dcRecord, levels);
  Store(dcRecord + 8,
        _mm_mullo_epi16(transform(levels), _mm_set1_epi16(static_cast<int16_t>(record.levelScale[0] >> 1))));
  // Two mask bits per lane; even lanes Cb, odd lanes Cr.
  unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(levels, _mm_setzero_si128())));
  counts[0] = 4 - __builtin_popcount(zeros & 0x3333u) / 2;
  counts[1] = 4 - __builtin_popcount(zeros & 0xCCCCu) / 2;
}

void CMBCoreXMM2::Reconstruct4x4Pair(uint8_t* destination, const uint8_t* prediction,
                                     const int16_t* levels, int stride, int coded) {
  assert(IsAligned16(levels) && IsAligned16(prediction));
  if (coded == 0) {
    __m128i offsets = DcOffsets(levels[0], levels[16]);
    for (int y = 0; y < 4; ++y) {
      __m128i sum = _mm_adds_epi16(offsets, Widen(Load8(prediction + 8 * y)));
      Store8(destination + y * stride, _mm_packus_epi16(sum, sum));
    }
    return;
  }
  BlockPair w = Dequantize({Load(levels), Load(levels + 8), Load(levels + 16), Load(levels + 24)},
                           *currentQuantRecord);
  __m128i rows[4];
  InverseTransformPair<true>(w, rows);
  for (int y = 0; y < 4; ++y) {
    Store8(destination + y * stride, RoundAdd<true>(rows[y], Load8(prediction + 8 * y)));
  }
}

void CMBCoreXMM2::ReconstructChroma(uint8_t* destination, const uint8_t* prediction,
                                    const int16_t* levels, const int16_t* dcPair, int stride,
                                    int coded) {
  assert(IsAligned16(levels) && IsAligned16(prediction));
  // Residual rows with Cb in lanes 0-3 and Cr in lanes 4-7.
  __m128i rows[4];
  if (coded == 0) {
    rows[0] = rows[1] = rows[2] = rows[3] = DcOffsets(dcPair[0], dcPair[1]);
  } else {
    __m128i w0 = SplitComponents(Load(levels)), w1 = SplitComponents(Load(levels + 8));
    __m128i w2 = SplitComponents(Load(levels + 16)), w3 = SplitComponents(Load(levels + 24));
    BlockPair pair = {_mm_unpacklo_epi64(w0, w1), _mm_unpacklo_epi64(w2, w3),
                      _mm_unpackhi_epi64(w0, w1), _mm_unpackhi_epi64(w2, w3)};
    pair = Dequantize(pair, *currentQuantRecord);
    pair.left01 = _mm_insert_epi16(pair.left01, dcPair[0], 0);
    pair.right01 = _mm_insert_epi16(pair.right01, dcPair[1], 0);
    InverseTransformPair<false>(pair, rows);
    for (__m128i& row : rows) row = _mm_srai_epi16(_mm_add_epi16(row, _mm_set1_epi16(32)), 6);
  }
  for (int y = 0; y < 4; ++y) {
    __m128i sum = _mm_adds_epi16(JoinComponents(rows[y]), Widen(Load8(prediction + 8 * y)));
    Store8(destination + y * stride, _mm_packus_epi16(sum, sum));
  }
}

}  // namespace orx::dsp
