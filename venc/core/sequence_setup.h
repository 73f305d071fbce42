#pragma once
// The sequence settings an encoder derives before it opens (Configure) and at its opening
// (the coded geometry), as functions of a settings record, so that a codec-private header can
// be computed on a copy without touching a live encoder.
#include <cstdint>

#include "venc/common/encoder_settings.h"

namespace orx::venc {

// The VBV buffer size in units of 16384 bits from the peak rate, when none is given.
int DeriveVbvBufferSize(const EncoderSettings& settings);

// Configure's derivations on the sequence fields: option ranges, the VBV size, the sequence
// checks with profile and level. False when the checks refuse the sequence.
bool ConfigureSequence(EncoderSettings& settings, uint32_t cpuFeatures);

// The coded geometry of the opening: macroblock counts (interlaced sequences other than
// MPEG-4 Part 2 have whole macroblock pairs), coded size, stride and padding, the frame rate
// and the pel-rate ratio.
void SetCodedGeometry(EncoderSettings& settings);

}  // namespace orx::venc
