// SSE2 form of the BGRA converter: eight pixels (two 4-pixel groups) per step, each channel
// gathered into its own eight 16-bit lanes, so every term is one multiply-high over eight pixels.
#include <emmintrin.h>

#include "vscaler/convert/bgra_pixel.h"
#include "vscaler/convert/bgra_to_i420.h"

namespace orx::convert {
namespace {

struct Sse2Coefficients {
  __m128i r, g, b, offset, low, high;
};

Sse2Coefficients Broadcast(const detail::BgraCoefficients& k) {
  return {_mm_set1_epi16(k.r), _mm_set1_epi16(k.g), _mm_set1_epi16(k.b),
          _mm_set1_epi16(k.offset), _mm_set1_epi16(k.low), _mm_set1_epi16(k.high)};
}

// Clamped 1/64 units of eight pixels, then the final shift: eight samples in 16-bit lanes.
inline __m128i Samples(__m128i b, __m128i g, __m128i r, const Sse2Coefficients& k) {
  __m128i s = _mm_add_epi16(_mm_mulhi_epi16(b, k.b), _mm_mulhi_epi16(g, k.g));
  s = _mm_add_epi16(s, _mm_mulhi_epi16(r, k.r));
  s = _mm_add_epi16(s, k.offset);
  s = _mm_min_epi16(s, k.high);
  s = _mm_max_epi16(s, k.low);
  return _mm_srai_epi16(s, 6);
}

// Truncating average of each pixel pair: four results in the 32-bit lanes.
inline __m128i PairAverage(__m128i samples) {
  __m128i even = _mm_and_si128(samples, _mm_set1_epi32(0xFFFF));
  __m128i odd = _mm_srli_epi32(samples, 16);
  return _mm_srli_epi32(_mm_add_epi32(even, odd), 1);
}

}  // namespace

void BgraToI420Sse2(const uint8_t* firstRow, intptr_t rowStep, int width, int height,
                    const I420Planes& destination) {
  const Sse2Coefficients luma = Broadcast(detail::kLuma);
  const Sse2Coefficients cbK = Broadcast(detail::kCb);
  const Sse2Coefficients crK = Broadcast(detail::kCr);
  const __m128i byteMask = _mm_set1_epi32(0xFF);
  const int vectorWidth = width & ~7;

  for (int i = 0; i < height; ++i) {
    const uint8_t* row = firstRow + i * rowStep;
    const detail::RowTargets t = detail::RowTargetsOf(destination, i, height);
    uint8_t* y = t.y;
    uint8_t* cb = t.cb;
    uint8_t* cr = t.cr;
    const bool chroma = cb != nullptr;

    for (int x = 0; x < vectorWidth; x += 8) {
      __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x));
      __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x + 16));
      // Channel values times 128 in eight 16-bit lanes (values 0..255 pack without saturation).
      __m128i b = _mm_packs_epi32(_mm_and_si128(p0, byteMask), _mm_and_si128(p1, byteMask));
      __m128i g = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 8), byteMask),
                                  _mm_and_si128(_mm_srli_epi32(p1, 8), byteMask));
      __m128i r = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 16), byteMask),
                                  _mm_and_si128(_mm_srli_epi32(p1, 16), byteMask));
      b = _mm_slli_epi16(b, 7);
      g = _mm_slli_epi16(g, 7);
      r = _mm_slli_epi16(r, 7);

      __m128i yv = Samples(b, g, r, luma);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(y + x), _mm_packus_epi16(yv, yv));
      if (chroma) {
        __m128i cbPairs = PairAverage(Samples(b, g, r, cbK));
        __m128i crPairs = PairAverage(Samples(b, g, r, crK));
        __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(cbPairs, crPairs), _mm_setzero_si128());
        uint64_t both = static_cast<uint64_t>(_mm_cvtsi128_si64(bytes));
        uint32_t cbBytes = static_cast<uint32_t>(both);
        uint32_t crBytes = static_cast<uint32_t>(both >> 32);
        __builtin_memcpy(cb + x / 2, &cbBytes, 4);
        __builtin_memcpy(cr + x / 2, &crBytes, 4);
      }
    }
    detail::BgraRowTail(row, vectorWidth, width, y, cb, cr);
  }
}

}  // namespace orx::convert
