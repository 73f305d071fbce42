#pragma once
// MSB-first bit reader over one sample. Every read is bounded by the sample's length: a read
// that would run past the end fails and leaves the reader marked as failed, so a truncated
// header can never make a parser look at memory beyond the sample.
#include <cstddef>
#include <cstdint>

namespace orx::mux {

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t length, size_t bitPosition = 0)
      : data_(data), length_(length), position_(bitPosition) {}

  // Reads count bits (1..32), most significant first. Past the end: answers false, value 0.
  bool Read(unsigned count, uint32_t& value);
  // Reads and discards; false past the end.
  bool Skip(size_t count);
  // The value, or 0 once any read has failed (check Ok() after a group of reads).
  uint32_t Get(unsigned count);

  bool Ok() const { return ok_; }
  // Byte offset of the first byte not fully read.
  size_t ByteEnd() const { return (position_ + 7) / 8; }
  size_t BitsLeft() const { return position_ >= length_ * 8 ? 0 : length_ * 8 - position_; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t position_;
  bool ok_ = true;
};

}  // namespace orx::mux
