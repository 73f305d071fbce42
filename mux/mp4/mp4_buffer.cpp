#include "mux/mp4/mp4_buffer.h"

namespace orx::mux {

void Mp4Buffer::FourCC(const char* code) {
  bool ended = false;
  for (int i = 0; i < 4; ++i) {
    if (code[i] == '\0') ended = true;
    U8(ended ? ' ' : static_cast<uint8_t>(code[i]));
  }
}

size_t Mp4Buffer::OpenBox(const char* type) {
  const size_t start = bytes_.size();
  U32(0);
  FourCC(type);
  return start;
}

size_t Mp4Buffer::OpenFullBox(const char* type, uint32_t version, uint32_t flags) {
  const size_t start = OpenBox(type);
  U8(version);
  U24(flags);
  return start;
}

void Mp4Buffer::CloseBox(size_t start) { PatchU32(start, static_cast<uint32_t>(bytes_.size() - start)); }

void Mp4Buffer::PatchU32(size_t at, uint32_t value) {
  bytes_[at] = static_cast<uint8_t>(value >> 24);
  bytes_[at + 1] = static_cast<uint8_t>(value >> 16);
  bytes_[at + 2] = static_cast<uint8_t>(value >> 8);
  bytes_[at + 3] = static_cast<uint8_t>(value);
}

}  // namespace orx::mux
