#pragma once
// Header parsers over whole elementary-stream samples. They read only what the multiplexer
// needs (kind, size, rate, aspect, buffer size, picture type and timing, audio bit rate), never
// past the sample's end, and fail cleanly on a truncated sample.
#include <cstddef>
#include <cstdint>

#include "mux/parse/es_info.h"
#include "mux/parse/mux_formats.h"

namespace orx::mux {

// Codec code 3 or 4: WMV9/VC-1 reader; 5: H.264 reader; anything else (-1 detect, 0 MPEG-1,
// 1 MPEG-2, 2 MPEG-4 Part 2): the MPEG start-code scanner.
bool ParseVideoHeader(const uint8_t* data, size_t length, VideoEsInfo& out, int codec,
                      const MuxVideoFormat* format);

bool ParseH264PictureType(const uint8_t* data, size_t length, VideoEsInfo& out,
                          const MuxVideoFormat* format);
bool ParseVc1SequenceHeader(const uint8_t* data, size_t length, VideoEsInfo& out);
bool ParseVc1PictureType(const uint8_t* data, size_t length, VideoEsInfo& out,
                         const MuxVideoFormat* format);

bool ParseMpegAudioHeader(const uint8_t* data, size_t length, AudioHeaderInfo& out);
bool ParseAc3Header(const uint8_t* data, size_t length, AudioHeaderInfo& out);
bool ParseAdtsHeader(const uint8_t* data, size_t length, AudioHeaderInfo& out);

// The AAC coder's sampling index: the nearest table frequency, the higher one on a tie.
uint32_t AacSamplingIndex(uint32_t sampleRate);
// 16-bit AudioSpecificConfig for AAC LC.
uint16_t BuildAacSpecificConfig(uint32_t channels, uint32_t sampleRate);

// Divides both by their greatest common divisor; nothing when x is 0.
void ReduceFraction(int32_t& x, int32_t& y);

// The table frame rate (or its half) whose duration is nearest to the given duration in
// 100 ns units; the earlier candidate on a tie, full rate before half rate.
bool ChooseFrameRatePair(uint64_t frameDuration100ns, uint32_t& numerator, uint32_t& denominator);

}  // namespace orx::mux
