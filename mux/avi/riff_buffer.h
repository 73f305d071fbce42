#pragma once
// A growing byte buffer that the AVI chunk writers (and the ASF object writers) append
// little-endian fields to. A chunk or list is opened with its size left blank and closed once
// its contents are in; closing fills the size in (the bytes after the size field).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orx::mux {

class RiffBuffer {
 public:
  void U8(uint32_t value) { bytes_.push_back(static_cast<uint8_t>(value)); }
  void U16(uint32_t value) {
    U8(value);
    U8(value >> 8);
  }
  void U32(uint32_t value) {
    U16(value);
    U16(value >> 16);
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  // Four characters in file order.
  void FourCC(const char* code) { Bytes(reinterpret_cast<const uint8_t*>(code), 4); }
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Bytes(const uint8_t* data, size_t count) { bytes_.insert(bytes_.end(), data, data + count); }

  // Opens a chunk (id, blank size); answers where it starts.
  size_t OpenChunk(const char* id);
  // Opens a list: "LIST", blank size, the list type.
  size_t OpenList(const char* type);
  // Fills the size of the chunk or list opened at start, and pads the buffer to even length.
  void CloseChunk(size_t start);
  void PatchU32(size_t at, uint32_t value);

  size_t Size() const { return bytes_.size(); }
  const uint8_t* Data() const { return bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace orx::mux
