#pragma once
// A growing byte buffer that the box writers append big-endian fields to. A box is opened with
// its size left blank and closed once its contents are in, which fills the size in.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orx::mux {

class Mp4Buffer {
 public:
  void U8(uint32_t value) { bytes_.push_back(static_cast<uint8_t>(value)); }
  void U16(uint32_t value) {
    U8(value >> 8);
    U8(value);
  }
  void U24(uint32_t value) {
    U8(value >> 16);
    U16(value);
  }
  void U32(uint32_t value) {
    U16(value >> 16);
    U16(value);
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value >> 32));
    U32(static_cast<uint32_t>(value));
  }
  // Four characters; a shorter text is padded with spaces.
  void FourCC(const char* code);
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Bytes(const uint8_t* data, size_t count) { bytes_.insert(bytes_.end(), data, data + count); }
  void Bytes(const std::vector<uint8_t>& data) { Bytes(data.data(), data.size()); }

  // Opens a box (size blank, then the type); answers where it starts.
  size_t OpenBox(const char* type);
  // Opens a full box: a box with its version and 24-bit flags.
  size_t OpenFullBox(const char* type, uint32_t version, uint32_t flags);
  // Fills the box's size in: the bytes from its start to the current end.
  void CloseBox(size_t start);
  void PatchU32(size_t at, uint32_t value);

  size_t Size() const { return bytes_.size(); }
  const uint8_t* Data() const { return bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace orx::mux
