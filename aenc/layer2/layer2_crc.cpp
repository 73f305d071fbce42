// CRC-16 of a Layer II frame (generator 0x8005, initial 0xFFFF, most significant bit first) over
// the header from bitrate_index on, the bit allocation and the scfsi.
#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer2/layer2_crc.h"
#include "aenc/layer2/layer2_tables.h"

namespace orx::aenc {

void Crc16Update(uint32_t value, int count, uint32_t& crc) {
  for (int bit = count - 1; bit >= 0; --bit) {
    uint32_t b = (value >> bit) & 1;
    uint32_t carry = (crc >> 15) & 1;
    crc = (crc << 1) & 0xFFFF;
    if (b != carry) crc ^= 0x8005;
  }
}

uint16_t CMPEGAudioEncoder::Layer2Crc16(const uint32_t* allocation, const uint32_t* scfsi) const {
  uint32_t value = 0xFFFF;
  Crc16Update(static_cast<uint32_t>(bitrateIndex), 4, value);
  Crc16Update(static_cast<uint32_t>(samplingIndex), 2, value);
  Crc16Update(static_cast<uint32_t>(padding), 1, value);
  Crc16Update(static_cast<uint32_t>(privateBit), 1, value);
  Crc16Update(static_cast<uint32_t>(mode), 2, value);
  Crc16Update(static_cast<uint32_t>(modeExtension), 2, value);
  Crc16Update(static_cast<uint32_t>(copyright), 1, value);
  Crc16Update(static_cast<uint32_t>(original), 1, value);
  Crc16Update(static_cast<uint32_t>(emphasis), 2, value);
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch)
      Crc16Update(allocation[sb * 2 + ch], allocTable->rows[sb].nbal, value);
  }
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (allocation[sb * 2 + ch] != 0) Crc16Update(scfsi[sb * 2 + ch], 2, value);
    }
  }
  return static_cast<uint16_t>(value);
}

}  // namespace orx::aenc
