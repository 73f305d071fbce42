#pragma once
// How the component turns the pins' media types into the multiplexer's configuration: the
// audio class, the codec hint and the container from the subtypes and the output type, and
// the video and audio formats from the records.
#include <cstddef>
#include <cstdint>

#include "media/media_type.h"
#include "mux/parse/mux_formats.h"

namespace orx::mux {

struct MuxFormatChoice {
  uint32_t audioClass = 0;  // MuxAudioClass
  uint32_t codecHint = 0;   // MuxCodecHint
  uint32_t muxType = 6;     // MuxType
};

// outputMajorType is used only when outputKnown.
MuxFormatChoice ChooseMuxFormat(uint32_t videoSubtype, uint32_t audioSubtype, bool outputKnown,
                                uint32_t outputMajorType);

// Frame rate, peak bit rate, size, display aspect and codec-private bytes of a video record.
void TakeVideoFormat(const VideoMediaType& type, MuxVideoFormat& format);

// Tag, bit rate (from the second bit-rate word), channels, sample size, block alignment, rate
// and codec-private bytes of an audio record. False when the codec-private bytes do not fit.
bool TakeAudioFormat(const AudioMediaType& type, uint32_t audioClass, MuxAudioFormat& format);

// The input queue size for the video pin: multiples of 128 buffers by the bit rate
// (4 Mbit/s gives 256, 8 Mbit/s 512).
uint32_t VideoQueueCountForBitRate(uint32_t bitsPerSecond);

// Copies the path of a "file:" or "file:/" URL (the prefix cut) into fileName. Answers 0, or 3
// for a null URL or a path that does not fit.
uint32_t TakeFileUrl(const char* url, char* fileName, size_t capacity);

// An H.264 codec-private record (avcC, or already Annex B with 3- or 4-byte start codes) as an
// Annex B header. Answers the bytes written, 0 for a record it cannot read.
size_t AvcCToAnnexB(const uint8_t* record, size_t length, uint8_t* out, size_t capacity);

uint32_t ByteSwap32(uint32_t value);
// Swaps the two bytes of every 16-bit sample (little-endian PCM to the big-endian LPCM).
void SwapSampleBytes(uint8_t* data, size_t length);

}  // namespace orx::mux
