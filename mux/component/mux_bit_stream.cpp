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
  if (desc->kind == kWriteSeekThenWrite) Keep(SeekMuxOutput(instance_, desc->position));
  // The 27 MHz position in milliseconds.
  if (count != 0 && desc->data != nullptr) Keep(WriteMuxOutput(instance_, desc->data, count, desc->position / 27000));
  return GetBuffer(0);
}

void CMuxBitStream::Reset() {
  buffer_.clear();
  buffer_.shrink_to_fit();
}

void CMuxBitStream::Keep(QVAStatus status) {
  if (status == QVA_SUCCESS || status_ != QVA_SUCCESS) return;
  // The worker takes these two for an idle round; a lost write must stop it.
  status_ = status == QVA_ERR_STOPPED || status == QVA_ERR_NOBUFFER ? QVA_ERR_WRITE : status;
}

IMuxBitStream* NewMuxBitStream(ComponentInstance* instance) { return new CMuxBitStream(instance); }

}  // namespace orx::mux
