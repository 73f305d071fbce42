#pragma once
// What the component derives from its two pin formats: the encoder configuration, which codings
// this library can build, and the block layout of the Windows Media Audio style codec.
#include <cstdint>

#include "aenc/core/audio_encoder_config.h"
#include "media/media_type.h"

namespace orx::aenc {

// MakeAudioEncoderConfig: mode from the input channels, the input rate (0 keeps the field, a
// field of 0 becomes 48000), the codec from the output subtype, the bit rate from the output's
// word at +32 (128000 when 0), psyMode 1, frameSamples 8000 until an encoder is built.
void MakeAudioEncoderConfig(const AudioMediaType& input, const AudioMediaType& output,
                            AudioEncoderConfig& config);

// Output subtypes the component codes (0x10 and 0x12 as Layer II); every other one is refused.
bool IsCodableOutputSubtype(uint32_t subtype);

// QVA_ERR_SUCCESS when an encoder can be built for the configuration, else QVA_ERR_FORMAT (40):
// a codec without a coder here, or a rate without an MPEG sampling-frequency code.
uint32_t CheckCodableConfig(const AudioEncoderConfig& config);
// The rates Layer III codes: 32000, 44100 and 48000 Hz.
bool IsLayer3Rate(uint32_t rate);

// Samples per block and bytes per block of the Windows Media Audio style stream; both 0 when
// either argument is below 1.
void WmaBlockInfo(uint32_t sampleRate, uint32_t bitrate, uint32_t& samplesPerBlock,
                  uint32_t& blockBytes);

// Writes the 10-byte codec-private record (u32 samples per block, u16 options 1, u32 block bytes)
// at +72 of a full media type, byte by byte, and 10 in the length word.
void WriteWmaCodecPrivate(AudioMediaType& type, uint32_t samplesPerBlock, uint32_t blockBytes);

}  // namespace orx::aenc
