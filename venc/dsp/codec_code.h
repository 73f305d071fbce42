#pragma once
// The codec code of a sequence, shared by the cores, the macroblock encoders and the settings.
#include <cstdint>

namespace orx::dsp {

enum class CodecCode : int32_t {
  kMpeg1 = 0,
  kMpeg2 = 1,
  kKalder = 2,
  kMpeg4 = 3,
  kVc1 = 4,
  kH264 = 5,
};

}  // namespace orx::dsp
