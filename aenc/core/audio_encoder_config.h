#pragma once
// The configuration the component hands to the encoder constructor, and the codec word.
#include <cstdint>

namespace orx::aenc {

enum AudioCodec : uint32_t {
  kCodecMpegAudio = 1,  // MPEG audio, layer in `layer`
  kCodecAc3 = 2,        // set for output subtype 0x200; no coder of its own
  kCodecAacLc = 3,
  kCodecWmaStyle = 4,   // every value of 4 or more
};

struct AudioEncoderConfig {
  uint32_t mode = 0;        // MPEG header mode: 0 stereo, 1 joint, 2 dual, 3 mono
  uint32_t sampleRate = 0;  // Hz
  uint32_t codec = 0;       // AudioCodec
  uint32_t layer = 0;       // MPEG audio layer 1, 2 or 3; 0 otherwise
  uint32_t psyMode = 0;     // 0 fixed SMR table, 1 psychoacoustic model, 2+ table adjusted by scalefactors
  uint32_t bitrate = 0;     // bit/s
  uint8_t copyright = 0;
  uint8_t original = 0;
  uint8_t crc = 0;
  uint32_t frameSamples = 0;   // out: interleaved 16-bit values one EncodeFrame consumes
  uint32_t maxFrameBytes = 0;  // out: bound on one coded frame, a multiple of 4
  uint32_t bandwidthBase = 0;  // twice the wanted bandwidth in Hz; 0 = half the sample rate
  uint32_t adts = 0;           // AAC: ADTS header before each raw data block
};

}  // namespace orx::aenc
