// Whole-file output of the container writers that are not packs: bytes appended in pieces of at
// most the pack size, and patches of fields already written (seek, then write), after which the
// next append seeks back to the end of the file.
#include <algorithm>
#include <cstring>

#include "mux/core/multiplexer.h"

namespace orx::mux {

void CMultiplexer::AppendFileBytes(const uint8_t* data, size_t count, uint32_t kind, uint64_t position) {
  const size_t piece = std::max<size_t>(packConfig_.packSize, 1);
  for (size_t at = 0; at < count; at += piece) {
    const size_t n = std::min(piece, count - at);
    if (outputMoved_) {
      desc_.kind = kWriteSeekThenWrite;
      desc_.position = bytesWritten_;
      outputMoved_ = false;
    } else {
      desc_.kind = kind;
      desc_.position = position;
    }
    std::memcpy(desc_.data, data + at, n);
    desc_.data = config_.bitStream->Write(&desc_, static_cast<uint32_t>(n));
    bytesWritten_ += n;
    outputBytes_ += n;
  }
  desc_.kind = kind;
}

void CMultiplexer::PatchFileBytes(uint64_t offset, const uint8_t* data, size_t count) {
  const size_t piece = std::max<size_t>(packConfig_.packSize, 1);
  for (size_t at = 0; at < count; at += piece) {
    const size_t n = std::min(piece, count - at);
    desc_.kind = kWriteSeekThenWrite;
    desc_.position = offset + at;
    std::memcpy(desc_.data, data + at, n);
    desc_.data = config_.bitStream->Write(&desc_, static_cast<uint32_t>(n));
  }
  desc_.kind = kWriteVideoPack;
  outputMoved_ = offset + count != bytesWritten_;
}

void CMultiplexer::PatchFileU32(uint64_t offset, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  PatchFileBytes(offset, bytes, 4);
}

}  // namespace orx::mux
