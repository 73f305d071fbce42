#pragma once
#include <cstdint>

namespace orx::venc {

// Writes the n low bits of value, most significant first, at a bit position of a byte buffer
// (bit 0 is the top bit of byte 0), setting and clearing single bits.
void PutBitsAt(int bitPosition, uint8_t* buffer, uint32_t value, int n);

}  // namespace orx::venc
