// The plain band maximum of the AAC codebook choice: the largest code of a band, each code
// given the sign of its coefficient on the way.
#include <algorithm>
#include <cstring>

#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

int CMPEGAudioEncoder::AacBandMaxAbs(int32_t* codes, const float* coefficients, int count) {
  int32_t largest = 0;
  for (int i = 0; i < count; ++i) {
    largest = std::max(largest, codes[i]);
    uint32_t bits;
    std::memcpy(&bits, &coefficients[i], sizeof bits);
    if (bits & 0x80000000u) codes[i] = -codes[i];
  }
  return largest;
}

}  // namespace orx::aenc
