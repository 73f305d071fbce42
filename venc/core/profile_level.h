#pragma once
// Profile and level choice per codec; each fills the derived fields its codec's headers use.
#include <cstdint>

#include "venc/common/encoder_settings.h"

namespace orx::venc {

// VC-1 profile values of profileLevel (profile x 16 + level).
inline constexpr int32_t VC1_PROFILE_SIMPLE = 0;
inline constexpr int32_t VC1_PROFILE_MAIN = 16;
inline constexpr int32_t VC1_PROFILE_ADVANCED = 48;

void SelectMPEG2ProfileLevel(EncoderSettings& settings, bool quiet);
void SelectMPEG4ProfileLevel(EncoderSettings& settings, bool quiet);
// Profile x 16 + level from the settings alone.
int32_t SelectVC1ProfileLevel(const EncoderSettings& settings);
// Reads the VC-1 header that GetSequenceHeader writes back into the settings.
void SelectVC1ProfileFromHeader(EncoderSettings& settings, bool quiet, uint32_t cpuFeatures);
void SelectH264Level(EncoderSettings& settings, bool quiet, uint32_t cpuFeatures);

// The message every codec prints when it raises a VBV size to its level's lower limit.
void WarnVbvTooLow(int32_t vbvBufferSize, bool quiet);

}  // namespace orx::venc
