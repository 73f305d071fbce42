// The plain spectrum kernels shared by the Layer III and AAC quantizers: |x|^(3/4) and the
// quantizer with its rounding offset that grows with the line index.
#include <cmath>

#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

void CMPEGAudioEncoder::PowThreeQuarters(float* out, const float* in, int count) {
  for (int i = 0; i < count; ++i) {
    const double a = std::fabs(static_cast<double>(in[i]));
    out[i] = static_cast<float>(std::sqrt(std::sqrt(a * a * a)));
  }
}

uint32_t CMPEGAudioEncoder::QuantizeSpectrum(const float* xr34, int32_t* codes, float step, int count) {
  // Round to nearest (ties to even) of x step - 0.0946 - 0.00125 (i div 2). A magnitude never
  // codes below 0: high lines, whose offset passes one half, would otherwise turn silence into -1.
  uint32_t all = 0;
  for (int i = 0; i < count; ++i) {
    const double v = static_cast<double>(xr34[i]) * step - 0.0946 - 0.00125 * (i / 2);
    const int32_t code = v > 0 ? static_cast<int32_t>(std::nearbyint(v)) : 0;
    codes[i] = code;
    all |= static_cast<uint32_t>(code);
  }
  return all;
}

}  // namespace orx::aenc
