#pragma once
// The checks an encoder's settings pass before it may open: repairs (N, M, VBV size, search
// ranges, progressive_sequence), refusals (frame size, odd sizes, frame rate, bit rate) and
// the choice of profile and level. Warnings go to the debugger output; `quiet` silences all
// but those of CheckBasicParams.
#include <cstdint>

#include "venc/common/encoder_settings.h"

namespace orx::venc {

// cpuFeatures is the CPU feature word (its SSE2 bit decides the H.264 loop filter).
bool CheckSequenceParams(EncoderSettings& settings, bool quiet, uint32_t cpuFeatures);
bool CheckBasicParams(EncoderSettings& settings);
void CheckMPEG1Constraints(EncoderSettings& settings);

}  // namespace orx::venc
