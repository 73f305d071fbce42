// The MSB-first bit writers of the encoder and the 32-bit MPEG audio frame header.
#include <algorithm>
#include <cstring>

#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {
namespace {

// Appends the `count` low bits of value at (*byte, *free); bytes are cleared as they are
// entered. Counts above 32 write zeros (the frame fill).
void AppendBits(uint8_t*& byte, int& freeBits, uint32_t value, int count) {
  if (count <= 0) return;
  if (count <= 24) {
    // The used bits of the current byte and the new ones in one big-endian word.
    int total = 8 - freeBits + count;
    uint32_t word = (uint32_t{*byte} << 24) | ((value & ((1u << count) - 1)) << (32 - total));
    int full = total / 8;
    for (int i = 0; i < full; ++i) byte[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
    byte += full;
    freeBits = 8 - total % 8;
    *byte = total % 8 ? static_cast<uint8_t>(word >> (24 - 8 * full)) : 0;
    return;
  }
  while (count > 0) {
    int take = std::min(count, freeBits);
    int shift = count - take;
    uint32_t chunk = shift >= 32 ? 0 : (value >> shift) & ((1u << take) - 1);
    *byte = static_cast<uint8_t>(*byte | (chunk << (freeBits - take)));
    freeBits -= take;
    count -= take;
    if (freeBits == 0) {
      *++byte = 0;
      freeBits = 8;
    }
  }
}

}  // namespace

void CMPEGAudioEncoder::PutBits(uint32_t value, int count) {
  AppendBits(writePtr, bitsLeft, value, count);
}

void CMPEGAudioEncoder::PutMainDataBits(uint32_t value, int count) {
  uint8_t* byte = stage + stageIndex;
  AppendBits(byte, stageBitsLeft, value, count);
  stageIndex = static_cast<int>(byte - stage);
}

void CMPEGAudioEncoder::FlushMainData(int bytes) {
  if (writePtr) {
    std::memcpy(writePtr, stage, static_cast<size_t>(bytes));
    writePtr += bytes;
    *writePtr = 0;
  }
  int remaining = stageIndex + 1 - bytes;  // the partly filled byte moves too
  std::memmove(stage, stage + bytes, static_cast<size_t>(remaining));
  stageIndex -= bytes;
  stage[stageIndex + 1] = 0;
}

void CMPEGAudioEncoder::WriteMpegAudioHeader() {
  uint32_t first = ((0x1FFEu | static_cast<uint32_t>(id)) << 3) |
                   (static_cast<uint32_t>(4 - layer) << 1) | static_cast<uint32_t>(crc ^ 1);
  PutBits(first, 16);
  PutBits(static_cast<uint32_t>(bitrateIndex), 4);
  PutBits(static_cast<uint32_t>(samplingIndex), 2);
  PutBits(static_cast<uint32_t>(padding), 1);
  PutBits(static_cast<uint32_t>(privateBit), 1);
  PutBits(static_cast<uint32_t>(mode), 2);
  PutBits(static_cast<uint32_t>(modeExtension), 2);
  PutBits(static_cast<uint32_t>(copyright), 1);
  PutBits(static_cast<uint32_t>(original), 1);
  PutBits(static_cast<uint32_t>(emphasis), 2);
}

}  // namespace orx::aenc
