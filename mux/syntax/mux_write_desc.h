#pragma once
// The descriptor of one pack (or transport packet) handed to the output bit stream.
#include <cstdint>

namespace orx::mux {

enum MuxWriteKind : uint32_t {
  kWriteAudioPack = 0,
  kWriteVideoPack = 1,
  kWriteNavPack = 2,
  kWriteSeekThenWrite = 3,  // position is the file offset to seek to before writing
};

struct MuxWriteDesc {
  uint8_t* data = nullptr;     // the pack buffer; IMuxBitStream::Write answers the next one
  uint32_t muxRate = 0;        // mux rate of the headers, bytes per second
  uint64_t position = 0;       // the pack's SCR on the 27 MHz clock, or the file offset (kind 3)
  uint32_t kind = kWriteVideoPack;
  uint32_t continuityCounter = 0;  // transport continuity counter
};

}  // namespace orx::mux
