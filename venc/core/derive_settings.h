#pragma once
// Derivation of the encoder's sequence settings from the parameter block and the input and
// output formats.
#include <cstdint>

#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "venc/common/encoder_settings.h"

namespace orx::venc {

// The component's request-option word (any non-zero value asks for top field first) and the two
// words after it, which the derivation zeroes and nothing reads.
struct RequestOptions {
  uint32_t options;
  uint32_t reserved[2];
};

// Fills the 67 settings fields. The output format's unset aspect, frame rate and second size
// are defaulted from the input first. Fields the derivation does not name (the bit stream, a
// codec that no output subtype selects, the GPU device word without CPU workers aside) keep
// their values; the derived sequence fields are left to the encoder.
void DeriveEncoderSettings(const VideoEncoderParams& params, const VideoMediaType& input,
                           VideoMediaType& output, EncoderSettings& settings,
                           RequestOptions& requestOptions);

}  // namespace orx::venc
