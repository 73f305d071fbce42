#include "mux/avi/riff_buffer.h"

namespace orx::mux {

size_t RiffBuffer::OpenChunk(const char* id) {
  const size_t start = bytes_.size();
  FourCC(id);
  U32(0);
  return start;
}

size_t RiffBuffer::OpenList(const char* type) {
  const size_t start = OpenChunk("LIST");
  FourCC(type);
  return start;
}

void RiffBuffer::CloseChunk(size_t start) {
  PatchU32(start + 4, static_cast<uint32_t>(bytes_.size() - start - 8));
  if (bytes_.size() & 1) U8(0);
}

void RiffBuffer::PatchU32(size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace orx::mux
