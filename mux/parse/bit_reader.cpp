#include "mux/parse/bit_reader.h"

namespace orx::mux {

bool BitReader::Read(unsigned count, uint32_t& value) {
  value = 0;
  if (count == 0 || count > 32 || BitsLeft() < count) {
    ok_ = false;
    return false;
  }
  uint64_t result = 0;
  for (unsigned i = 0; i < count; ++i) {
    const size_t bit = position_ + i;
    result = (result << 1) | ((data_[bit >> 3] >> (7 - (bit & 7))) & 1u);
  }
  position_ += count;
  value = static_cast<uint32_t>(result);
  return true;
}

bool BitReader::Skip(size_t count) {
  if (BitsLeft() < count) {
    ok_ = false;
    return false;
  }
  position_ += count;
  return true;
}

uint32_t BitReader::Get(unsigned count) {
  uint32_t value = 0;
  Read(count, value);
  return value;
}

}  // namespace orx::mux
