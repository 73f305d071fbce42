#include "venc/core/put_bits_at.h"

namespace orx::venc {

void PutBitsAt(int bitPosition, uint8_t* buffer, uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i, ++bitPosition) {
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (bitPosition & 7));
    if ((value >> i) & 1u) {
      buffer[bitPosition >> 3] |= mask;
    } else {
      buffer[bitPosition >> 3] &= static_cast<uint8_t>(~mask);
    }
  }
}

}  // namespace orx::venc
