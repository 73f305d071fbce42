// Intra AC prediction with SSE2: the integer-SSE bodies that the running classes inherit.
// Their outputs equal the plain class; they also write store[0] (the row forms the block's DC
// times the quantiser, the column forms 0) and measure the gain with coefficients held to
// -128..127, answering -32768 when any difference reaches 127 in magnitude.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "venc/dsp/ac_prediction_tables.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void StoreU(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// Lanes 0..7: block[0], block[8], ..., block[56].
inline __m128i LoadColumn(const int16_t* block) {
  return _mm_setr_epi16(block[0], block[8], block[16], block[24], block[32], block[40], block[48],
                        block[56]);
}

inline int HorizontalSum(__m128i v) {
  v = _mm_add_epi16(v, _mm_srli_si128(v, 8));
  v = _mm_add_epi16(v, _mm_srli_si128(v, 4));
  v = _mm_add_epi16(v, _mm_srli_si128(v, 2));
  return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}

int Predict(const int16_t* block, int16_t* output, int16_t* store, int available, int quantizer,
            bool column, bool vc1) {
  const AcPredScale scale = vc1 ? kVc1AcPredScale[quantizer] : kAcPredReciprocal[quantizer];
  const __m128i edgeLanes = _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1);
  const __m128i c = column ? LoadColumn(block) : LoadU(block);
  const __m128i p = available ? _mm_and_si128(LoadU(store), edgeLanes) : _mm_setzero_si128();
  // t = (p x multiplier + 2^(shift-1) - (MPEG-4 and p < 0)) >> shift, in 32 bits.
  const __m128i m = _mm_set1_epi16(static_cast<int16_t>(scale.multiplier));
  const __m128i lo = _mm_mullo_epi16(p, m), hi = _mm_mulhi_epi16(p, m);
  __m128i round = _mm_set1_epi32(1 << (scale.shift - 1));
  __m128i productLow = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), round);
  __m128i productHigh = _mm_add_epi32(_mm_unpackhi_epi16(lo, hi), round);
  if (!vc1) {
    const __m128i negative = _mm_cmpgt_epi16(_mm_setzero_si128(), p);  // -1 where p < 0
    productLow = _mm_add_epi32(productLow, _mm_unpacklo_epi16(negative, negative));
    productHigh = _mm_add_epi32(productHigh, _mm_unpackhi_epi16(negative, negative));
  }
  const __m128i shift = _mm_cvtsi32_si128(scale.shift);
  const __m128i t =
      _mm_packs_epi32(_mm_sra_epi32(productLow, shift), _mm_sra_epi32(productHigh, shift));
  const __m128i difference = _mm_and_si128(_mm_sub_epi16(c, t), edgeLanes);

  // Output: the block with its edge replaced.
  alignas(16) int16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), difference);
  if (output != block) std::memcpy(output, block, 64 * sizeof(int16_t));
  for (int k = 1; k < 8; ++k) output[column ? 8 * k : k] = lanes[k];

  // Store: this block's edge times its quantiser; lane 0 per the row or column rule.
  __m128i scaled = _mm_mullo_epi16(c, _mm_set1_epi16(static_cast<int16_t>(quantizer)));
  if (column) scaled = _mm_and_si128(scaled, edgeLanes);
  StoreU(store, scaled);

  // Gain with the veto.
  const __m128i absDifference =
      _mm_max_epi16(difference, _mm_sub_epi16(_mm_setzero_si128(), difference));
  if (_mm_movemask_epi8(_mm_cmpgt_epi16(absDifference, _mm_set1_epi16(126))) != 0) return -32768;
  const __m128i held = _mm_max_epi16(_mm_min_epi16(c, _mm_set1_epi16(127)), _mm_set1_epi16(-128));
  const __m128i absHeld =
      _mm_and_si128(_mm_max_epi16(held, _mm_sub_epi16(_mm_setzero_si128(), held)), edgeLanes);
  return HorizontalSum(_mm_sub_epi16(absHeld, absDifference));
}

}  // namespace

void CMBCoreXMM::StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer) {
  StoreU(store, _mm_mullo_epi16(LoadU(block), _mm_set1_epi16(static_cast<int16_t>(quantizer))));
}

void CMBCoreXMM::StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer) {
  __m128i scaled =
      _mm_mullo_epi16(LoadColumn(block), _mm_set1_epi16(static_cast<int16_t>(quantizer)));
  StoreU(store, _mm_and_si128(scaled, _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1)));
}

int CMBCoreXMM::PredictAcRow(const int16_t* block, int16_t* output, int16_t* store, int available,
                             int quantizer) {
  return Predict(block, output, store, available, quantizer, false, false);
}

int CMBCoreXMM::PredictAcColumn(const int16_t* block, int16_t* output, int16_t* store,
                                int available, int quantizer) {
  return Predict(block, output, store, available, quantizer, true, false);
}

int CMBCoreXMM::PredictAcRowVc1(const int16_t* block, int16_t* output, int16_t* store,
                                int available, int quantizer) {
  return Predict(block, output, store, available, quantizer, false, true);
}

int CMBCoreXMM::PredictAcColumnVc1(const int16_t* block, int16_t* output, int16_t* store,
                                   int available, int quantizer) {
  return Predict(block, output, store, available, quantizer, true, true);
}

}  // namespace orx::dsp
