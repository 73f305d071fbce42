// The Layer III MDCT in packed single precision: the same 18 x 36 products with the process-wide
// table, four inputs at a time per line and the four partial sums added at the end.
#include <xmmintrin.h>

#include "aenc/layer3/layer3_mdct_table.h"
#include "aenc/simd/mpeg_audio_encoder_variants.h"

namespace orx::aenc {

void CMPEGAudioEncoder_SSE::Layer3Mdct(const float* z, float* out) {
  const float (*t)[kLayer3MdctInputs] = Layer3MdctTable();
  __m128 input[kLayer3MdctInputs / 4];
  for (int j = 0; j < kLayer3MdctInputs / 4; ++j) input[j] = _mm_loadu_ps(z + 4 * j);
  for (int k = 0; k < kLayer3MdctLines; k += 2) {
    __m128 first = _mm_mul_ps(_mm_load_ps(t[k]), input[0]);
    __m128 second = _mm_mul_ps(_mm_load_ps(t[k + 1]), input[0]);
    for (int j = 1; j < kLayer3MdctInputs / 4; ++j) {
      first = _mm_add_ps(first, _mm_mul_ps(_mm_load_ps(t[k] + 4 * j), input[j]));
      second = _mm_add_ps(second, _mm_mul_ps(_mm_load_ps(t[k + 1] + 4 * j), input[j]));
    }
    // Horizontal sums of both lines: (f0 + f2, s0 + s2, f1 + f3, s1 + s3), then pairs.
    const __m128 low = _mm_unpacklo_ps(first, second);
    const __m128 high = _mm_unpackhi_ps(first, second);
    const __m128 sum = _mm_add_ps(low, high);
    const __m128 total = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
    _mm_storel_pi(reinterpret_cast<__m64*>(out + k), total);
  }
}

}  // namespace orx::aenc
