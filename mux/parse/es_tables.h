#pragma once
// Code tables of the elementary-stream headers, equal to the published ones
// (ISO/IEC 13818-2, 11172-2, 11172-3, 13818-3, 14496-3 and ATSC A/52).
#include <cstdint>

namespace orx::mux {

struct FrameRate {
  int32_t num;
  uint32_t den;
};

// frame_rate_code 1..8 of MPEG-2 video; codes 0 and 9..15 read as code 4 (30000/1001).
FrameRate Mpeg2FrameRate(uint32_t code);
inline constexpr FrameRate kMpegFrameRates[8] = {{24000, 1001}, {24000, 1000}, {25000, 1000},
                                                {30000, 1001}, {30000, 1000}, {50000, 1000},
                                                {60000, 1001}, {60000, 1000}};

// MPEG-1 pel aspect ratio for aspect codes 1..14; 0 for other codes.
double Mpeg1PelAspect(uint32_t code);

// MPEG audio bit rate in kbit/s by the header's ID bit (1 MPEG-1, 0 MPEG-2 low rates),
// layer bits (3 Layer I, 2 Layer II, 1 Layer III) and bit-rate index; 0 for free or invalid.
uint32_t MpegAudioBitRateKbps(uint32_t id, uint32_t layerBits, uint32_t index);
// Sample rate in Hz by ID bit and sampling index 0..2; 0 for index 3.
uint32_t MpegAudioSampleRate(uint32_t id, uint32_t index);

// AC-3 (ATSC A/52): bit rate in kbit/s for frmsizecod 0..37, frame size in 16-bit words by
// fscod (0 48 kHz, 1 44.1 kHz, 2 32 kHz) and frmsizecod.
inline constexpr uint32_t kAc3FrameSizeCodes = 38;
uint32_t Ac3BitRateKbps(uint32_t frameSizeCode);
uint32_t Ac3FrameWords(uint32_t sampleRateCode, uint32_t frameSizeCode);

// AAC sampling frequencies by index 0..11.
inline constexpr uint32_t kAacSampleRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                                 24000, 22050, 16000, 12000, 11025, 8000};

}  // namespace orx::mux
