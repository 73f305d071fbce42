#pragma once
// The codec-private sequence header the component puts into its output format.
#include <cstddef>
#include <cstdint>

#include "venc/common/encoder_settings.h"

namespace orx::venc {

// Bytes a codec-private header may take (the format record's codec-private area).
inline constexpr int kSequenceHeaderCapacity = 64;

// Writes the header into out (kSequenceHeaderCapacity bytes) and answers its length: the VC-1
// sequence header (simple and main: 4 bytes; advanced: sequence and entry-point headers); the
// H.264 parameter sets as the stream carries them, computed on a copy of the settings (an
// access unit delimiter for stream types 5 and 7, then the sequence and picture parameter
// sets, each after a three-byte start code); 0 for MPEG-1, MPEG-2, the Kalder stream and
// MPEG-4 Part 2. cpuFeatures is the CPU feature word (the VC-1 loop-filter rule reads its SSE
// and SSE2 bits, the H.264 loop filter its SSE2 bit).
int GetSequenceHeader(const EncoderSettings& settings, uint8_t* out, uint32_t cpuFeatures);

// The byte after the VC-1 entry-point start code 00 00 01 0E, or null.
const uint8_t* FindVc1EntryPoint(const uint8_t* header, size_t size);

}  // namespace orx::venc
