#pragma once
#include <cstdint>

namespace orx::aenc {

// Feeds the `count` low bits of value, most significant first, into a CRC-16 (polynomial 0x8005).
void Crc16Update(uint32_t value, int count, uint32_t& crc);

}  // namespace orx::aenc
