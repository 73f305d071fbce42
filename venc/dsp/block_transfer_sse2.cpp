// SSE2 block load, residual and reconstruction of CMBCoreXMM2. The residual slots decide the
// coded flags by the sum of absolute differences against the threshold; sums with the
// prediction or the offset saturate in 16 bits and then to 0..255.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline __m128i Load8(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }
inline __m128i Widen(__m128i bytes) { return _mm_unpacklo_epi8(bytes, _mm_setzero_si128()); }
inline __m128i WidenHigh(__m128i bytes) { return _mm_unpackhi_epi8(bytes, _mm_setzero_si128()); }
inline void Prefetch(const uint8_t* p) {
  _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
}

// Interleaved chroma: the even (Cb) and odd (Cr) bytes of 16 as two rows of eight 16-bit values.
inline void SplitChroma(__m128i bytes, __m128i& cb, __m128i& cr) {
  const __m128i even = _mm_set1_epi16(0x00FF);
  cb = _mm_and_si128(bytes, even);
  cr = _mm_srli_epi16(bytes, 8);
}
inline int Sum64(__m128i sads) {
  return _mm_cvtsi128_si32(sads) + _mm_cvtsi128_si32(_mm_srli_si128(sads, 8));
}

}  // namespace

void CMBCoreXMM2::LoadBlock(int16_t* block, const uint8_t* source, int stride) {
  assert(IsAligned16(block));
  for (int r = 0; r < 8; ++r, source += stride) {
    Prefetch(source + 128 + 3 * stride);
    Store(block + 8 * r, Widen(Load8(source)));
  }
}

int CMBCoreXMM2::SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                               int currentStride, int predictionStride, int threshold) {
  assert(IsAligned16(block));
  __m128i sad = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r, current += currentStride, prediction += predictionStride) {
    Prefetch(current + 128 + 3 * currentStride);
    __m128i c = Load8(current), p = Load8(prediction);
    sad = _mm_add_epi64(sad, _mm_sad_epu8(c, p));
    Store(block + 8 * r, _mm_sub_epi16(Widen(c), Widen(p)));
  }
  return _mm_cvtsi128_si32(sad) > threshold ? 1 : 0;
}

void CMBCoreXMM2::LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride) {
  assert(IsAligned16(blocks) && IsAligned16(source) && stride % 16 == 0);
  for (int r = 0; r < 8; ++r, source += stride) {
    Prefetch(source + 128 + 3 * stride);
    __m128i cb, cr;
    SplitChroma(Load(source), cb, cr);
    Store(blocks + 8 * r, cb);
    Store(blocks + 64 + 8 * r, cr);
  }
}

int CMBCoreXMM2::SubtractChromaPair(int16_t* blocks, const uint8_t* current,
                                    const uint8_t* prediction, int currentStride,
                                    int predictionStride, int threshold) {
  assert(IsAligned16(blocks) && IsAligned16(current) && IsAligned16(prediction));
  assert(currentStride % 16 == 0 && predictionStride % 16 == 0);
  __m128i sadCb = _mm_setzero_si128(), sadCr = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r, current += currentStride, prediction += predictionStride) {
    Prefetch(current + 128 + 3 * currentStride);
    __m128i cCb, cCr, pCb, pCr;
    SplitChroma(Load(current), cCb, cCr);
    SplitChroma(Load(prediction), pCb, pCr);
    sadCb = _mm_add_epi64(sadCb, _mm_sad_epu8(cCb, pCb));
    sadCr = _mm_add_epi64(sadCr, _mm_sad_epu8(cCr, pCr));
    Store(blocks + 8 * r, _mm_sub_epi16(cCb, pCb));
    Store(blocks + 64 + 8 * r, _mm_sub_epi16(cCr, pCr));
  }
  return (Sum64(sadCb) > threshold ? 2 : 0) | (Sum64(sadCr) > threshold ? 1 : 0);
}

void CMBCoreXMM2::StoreBlockPair(uint8_t* destination, const int16_t* blocks, int stride) {
  assert(IsAligned16(blocks) && IsAligned16(destination) && stride % 16 == 0);
  for (int r = 0; r < 8; ++r, destination += stride) {
    Store(destination, _mm_packus_epi16(Load(blocks + 8 * r), Load(blocks + 64 + 8 * r)));
  }
}

void CMBCoreXMM2::AddBlockPair(uint8_t* destination, const uint8_t* prediction,
                               const int16_t* blocks, int destinationStride, int predictionStride,
                               int codedFlags) {
  assert(IsAligned16(blocks) && IsAligned16(destination) && IsAligned16(prediction));
  assert(destinationStride % 16 == 0 && predictionStride % 16 == 0);
  const __m128i leftMask = _mm_set1_epi16((codedFlags & 2) ? -1 : 0);
  const __m128i rightMask = _mm_set1_epi16((codedFlags & 1) ? -1 : 0);
  for (int r = 0; r < 8; ++r, destination += destinationStride, prediction += predictionStride) {
    __m128i p = Load(prediction);
    __m128i left = _mm_adds_epi16(Widen(p), _mm_and_si128(Load(blocks + 8 * r), leftMask));
    __m128i right =
        _mm_adds_epi16(WidenHigh(p), _mm_and_si128(Load(blocks + 64 + 8 * r), rightMask));
    Store(destination, _mm_packus_epi16(left, right));
  }
}

void CMBCoreXMM2::StoreChromaPair(uint8_t* destination, const int16_t* blocks, int stride) {
  assert(IsAligned16(blocks) && IsAligned16(destination) && stride % 16 == 0);
  for (int r = 0; r < 8; ++r, destination += stride) {
    // Clip each component to 0..255 (as 16-bit lanes), then interleave Cb and Cr bytes.
    __m128i cb = _mm_packus_epi16(Load(blocks + 8 * r), _mm_setzero_si128());
    __m128i cr = _mm_packus_epi16(Load(blocks + 64 + 8 * r), _mm_setzero_si128());
    Store(destination, _mm_unpacklo_epi8(cb, cr));
  }
}

void CMBCoreXMM2::AddChromaPair(uint8_t* destination, const uint8_t* prediction,
                                const int16_t* blocks, int destinationStride, int predictionStride,
                                int codedFlags) {
  assert(IsAligned16(blocks) && IsAligned16(destination) && IsAligned16(prediction));
  assert(destinationStride % 16 == 0 && predictionStride % 16 == 0);
  const __m128i cbMask = _mm_set1_epi16((codedFlags & 2) ? -1 : 0);
  const __m128i crMask = _mm_set1_epi16((codedFlags & 1) ? -1 : 0);
  for (int r = 0; r < 8; ++r, destination += destinationStride, prediction += predictionStride) {
    __m128i pCb, pCr;
    SplitChroma(Load(prediction), pCb, pCr);
    __m128i cb = _mm_adds_epi16(pCb, _mm_and_si128(Load(blocks + 8 * r), cbMask));
    __m128i cr = _mm_adds_epi16(pCr, _mm_and_si128(Load(blocks + 64 + 8 * r), crMask));
    cb = _mm_packus_epi16(cb, _mm_setzero_si128());
    cr = _mm_packus_epi16(cr, _mm_setzero_si128());
    Store(destination, _mm_unpacklo_epi8(cb, cr));
  }
}

void CMBCoreXMM2::LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset) {
  assert(IsAligned16(block));
  const __m128i level = _mm_set1_epi16(static_cast<int16_t>(offset));
  for (int r = 0; r < 8; ++r, source += stride) {
    Prefetch(source + 128 + 3 * stride);
    Store(block + 8 * r, _mm_sub_epi16(Widen(Load8(source)), level));
  }
}

void CMBCoreXMM2::StoreBlockPairOffset(uint8_t* destination, const int16_t* left,
                                       const int16_t* right, int stride, int offset, int rows) {
  assert(IsAligned16(left) && IsAligned16(right) && IsAligned16(destination) && stride % 16 == 0);
  assert(rows >= 2 && rows % 2 == 0);
  const __m128i level = _mm_set1_epi16(static_cast<int16_t>(offset));
  for (int r = 0; r < rows; ++r, destination += stride) {
    __m128i l = _mm_adds_epi16(Load(left + 8 * r), level);
    __m128i rr = _mm_adds_epi16(Load(right + 8 * r), level);
    Store(destination, _mm_packus_epi16(l, rr));
  }
}

void CMBCoreXMM2::LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride,
                                       int offset) {
  assert(IsAligned16(blocks) && IsAligned16(source) && stride % 16 == 0);
  const __m128i level = _mm_set1_epi16(static_cast<int16_t>(offset));
  for (int r = 0; r < 8; ++r, source += stride) {
    Prefetch(source + 128 + 3 * stride);
    __m128i cb, cr;
    SplitChroma(Load(source), cb, cr);
    Store(blocks + 8 * r, _mm_sub_epi16(cb, level));
    Store(blocks + 64 + 8 * r, _mm_sub_epi16(cr, level));
  }
}

void CMBCoreXMM2::StoreChromaPairOffset(uint8_t* destination, const int16_t* cb, const int16_t* cr,
                                        int stride, int offset, int rows) {
  assert(IsAligned16(cb) && IsAligned16(cr) && IsAligned16(destination) && stride % 16 == 0);
  assert(rows >= 2 && rows % 2 == 0);
  const __m128i level = _mm_set1_epi16(static_cast<int16_t>(offset));
  for (int r = 0; r < rows; ++r, destination += stride) {
    __m128i b = _mm_packus_epi16(_mm_adds_epi16(Load(cb + 8 * r), level), _mm_setzero_si128());
    __m128i c = _mm_packus_epi16(_mm_adds_epi16(Load(cr + 8 * r), level), _mm_setzero_si128());
    Store(destination, _mm_unpacklo_epi8(b, c));
  }
}

}  // namespace orx::dsp
