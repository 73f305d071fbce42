#pragma once
// Writers of the MPEG system layer: pack header (MPEG-1 and MPEG-2), system header, PES packet
// header, padding packet, program end code, transport packet header, PAT and PMT sections and
// the MPEG-2 CRC-32. Stateless; every writer answers the bytes it wrote. All multi-byte fields
// are big-endian.
#include <cstddef>
#include <cstdint>

#include "mux/syntax/pack_records.h"

namespace orx::mux {

class CPackSyntax {
 public:
  static size_t WritePackHeader(uint8_t* buffer, bool mpeg2, uint64_t scr27MHz, uint32_t rate,
                                uint32_t stuffing);
  static size_t PackHeaderLength(bool mpeg2) { return mpeg2 ? 14 : 12; }
  static size_t WriteSystemHeader(uint8_t* buffer, const SystemHeaderInfo& info);
  static size_t SystemHeaderLength(const SystemHeaderInfo& info);
  static size_t WritePesHeader(uint8_t* buffer, const PesHeaderSpec& spec);
  static size_t PesHeaderLength(const PesHeaderSpec& spec);
  // A padding packet of `total` bytes (at least 6) filled with 0xFF.
  static size_t WritePaddingPacket(uint8_t* buffer, size_t total);
  static size_t WriteEndCode(uint8_t* buffer);
  static size_t WriteTsPacketHeader(uint8_t* buffer, uint32_t pid, bool unitStart,
                                    uint32_t continuityCounter);
  // Pointer field and section; 1 + 16 bytes.
  static size_t WritePat(uint8_t* buffer, uint32_t version);
  // Pointer field and section.
  static size_t WritePmt(uint8_t* buffer, const PmtSpec& spec);
  // The frame_rate_code for a whole number of frames per second (23 for 23.976, 59 for 59.94).
  static uint32_t FrameRateCode(uint32_t framesPerSecond);
  static uint32_t Crc32(const uint8_t* data, size_t length);
  // The 5-byte PTS/DTS (and MPEG-1 SCR) field with a 4-bit prefix.
  static void WriteTimestamp(uint8_t* buffer, uint32_t prefix, uint64_t value);
};

}  // namespace orx::mux
