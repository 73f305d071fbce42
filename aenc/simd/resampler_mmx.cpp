// Packed multiply-add forms of the resampler's filter kernels: eight 16-bit samples times the
// eight Q14 taps of the phase in one multiply-add, four partial sums per output and channel.
#include "aenc/simd/resampler_mmx.h"

#include <emmintrin.h>

namespace orx::aenc {
namespace {

struct Cursor {
  const int16_t* table;
  uint32_t position;
  uint32_t step;

  int32_t Frame() const { return static_cast<int32_t>(position >> 16) - 3; }
  __m128i Taps() const {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table + 8 * ((position >> 4) & 0xFFF)));
  }
  void Next() { position += step; }
};

// Eight mono samples as 16-bit lanes.
__m128i Load16(const int16_t* in) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)); }
__m128i Load8(const uint8_t* in) {
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
  return _mm_sub_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), _mm_set1_epi16(128));
}

// The sums of four outputs' four partial sums, in lanes 0..3.
__m128i SumFour(__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
  const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(m0, m1), _mm_unpackhi_epi32(m0, m1));
  const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(m2, m3), _mm_unpackhi_epi32(m2, m3));
  return _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
}

template <int kShift, typename Load, typename Sample>
void FilterMono(int16_t* out, const Sample* in, Cursor cursor, uint32_t count, Load load) {
  uint32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    __m128i m[4];
    for (int i = 0; i < 4; ++i, cursor.Next())
      m[i] = _mm_madd_epi16(load(in + cursor.Frame()), cursor.Taps());
    const __m128i sums = _mm_srai_epi32(SumFour(m[0], m[1], m[2], m[3]), kShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi32(sums, sums));
  }
  for (; k < count; ++k, cursor.Next()) {
    const __m128i m = _mm_madd_epi16(load(in + cursor.Frame()), cursor.Taps());
    const __m128i sums = _mm_srai_epi32(SumFour(m, m, m, m), kShift);
    out[k] = static_cast<int16_t>(_mm_cvtsi128_si32(_mm_packs_epi32(sums, sums)));
  }
}

// Eight interleaved frames in two registers (four frames each) -> the left and right sums in
// lanes 0 and 1. Each register is reordered to L L R R pairs so that one multiply-add pairs two
// taps of one channel.
__m128i StereoSums(__m128i first, __m128i second, __m128i taps) {
  constexpr int kPairs = _MM_SHUFFLE(3, 1, 2, 0);
  first = _mm_shufflehi_epi16(_mm_shufflelo_epi16(first, kPairs), kPairs);
  second = _mm_shufflehi_epi16(_mm_shufflelo_epi16(second, kPairs), kPairs);
  const __m128i low = _mm_unpacklo_epi32(taps, taps);    // h0 h1 h0 h1 h2 h3 h2 h3
  const __m128i high = _mm_unpackhi_epi32(taps, taps);   // h4 h5 h4 h5 h6 h7 h6 h7
  const __m128i s = _mm_add_epi32(_mm_madd_epi16(first, low), _mm_madd_epi16(second, high));
  return _mm_add_epi32(s, _mm_srli_si128(s, 8));
}

template <int kShift, typename Load, typename Sample>
void FilterStereo(int16_t* out, const Sample* in, Cursor cursor, uint32_t count, Load load) {
  uint32_t k = 0;
  for (; k + 2 <= count; k += 2) {
    __m128i first, second;
    load(in + 2 * cursor.Frame(), first, second);
    const __m128i s0 = StereoSums(first, second, cursor.Taps());
    cursor.Next();
    load(in + 2 * cursor.Frame(), first, second);
    const __m128i s1 = StereoSums(first, second, cursor.Taps());
    cursor.Next();
    const __m128i sums = _mm_srai_epi32(_mm_unpacklo_epi64(s0, s1), kShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * k), _mm_packs_epi32(sums, sums));
  }
  if (k < count) {
    __m128i first, second;
    load(in + 2 * cursor.Frame(), first, second);
    const __m128i sums = _mm_srai_epi32(StereoSums(first, second, cursor.Taps()), kShift);
    const int32_t pair = _mm_cvtsi128_si32(_mm_packs_epi32(sums, sums));
    out[2 * k] = static_cast<int16_t>(pair & 0xFFFF);
    out[2 * k + 1] = static_cast<int16_t>(static_cast<uint32_t>(pair) >> 16);
  }
}

void LoadStereo16(const int16_t* in, __m128i& first, __m128i& second) {
  first = Load16(in);
  second = Load16(in + 8);
}

void LoadStereo8(const uint8_t* in, __m128i& first, __m128i& second) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i zero = _mm_setzero_si128(), centre = _mm_set1_epi16(128);
  first = _mm_sub_epi16(_mm_unpacklo_epi8(bytes, zero), centre);
  second = _mm_sub_epi16(_mm_unpackhi_epi8(bytes, zero), centre);
}

}  // namespace

void CResampler_MMX::FilterMono8(int16_t* out, const uint8_t* in, uint32_t count) {
  FilterMono<6>(out, in, Cursor{table(), position(), step()}, count, Load8);
}

void CResampler_MMX::FilterStereo8(int16_t* out, const uint8_t* in, uint32_t count) {
  FilterStereo<6>(out, in, Cursor{table(), position(), step()}, count, LoadStereo8);
}

void CResampler_MMX::FilterMono16(int16_t* out, const int16_t* in, uint32_t count) {
  FilterMono<14>(out, in, Cursor{table(), position(), step()}, count, Load16);
}

void CResampler_MMX::FilterStereo16(int16_t* out, const int16_t* in, uint32_t count) {
  FilterStereo<14>(out, in, Cursor{table(), position(), step()}, count, LoadStereo16);
}

}  // namespace orx::aenc
