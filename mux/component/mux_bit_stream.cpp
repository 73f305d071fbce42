#include "mux/component/mux_bit_stream.h"

#include <algorithm>

#include "mux/component/mux_component.h"

namespace orx::mux {

uint8_t* CMuxBitStream::GetBuffer(uint32_t size) {
  const size_t wanted = std::max<size_t>(size, kMinBitStreamBuffer);
  if (buffer_.size() < wanted) buffer_.resize(wanted);
  return buffer_.data();
}

uint8_t* CMuxBitStream::Write(MuxWriteDesc* desc, uint32_t count) {
  if (desc->kind == kWriteSeekThenWrite) {
    const QVAStatus status = SeekMuxOutput(instance_, desc->position);
    if (status != 0 && status_ == 0) status_ = status;
  }
  if (count != 0 && desc->data != nullptr) {
    // The 27 MHz position in milliseconds.
    const QVAStatus status = WriteMuxOutput(instance_, desc->data, count, desc->position / 27000);
    if (status != 0 && status_ == 0) status_ = status;
  }
  return GetBuffer(0);
}

void CMuxBitStream::Reset() {
  buffer_.clear();
  buffer_.shrink_to_fit();
}

IMuxBitStream* NewMuxBitStream(ComponentInstance* instance) { return new CMuxBitStream(instance); }

}  // namespace orx::mux
