// CBitStream: hands each coded frame to output pin 0 in its own buffer.
#include <string>

#include "aenc/component/aenc_component.h"
#include "platform/debug_output.h"

namespace orx::aenc {

uint8_t* CBitStream::GetBuffer() {
  if (!current_) {
    ComponentBuffer* buffer = nullptr;
    QVAStatus status = CompBase_GetEmptyOutput(instance_, 0, &buffer);
    if (status != QVA_SUCCESS || !buffer) {
      // The frame is coded but cannot be sent: say so instead of counting it.
      platform::DebugOutput("AENC: no output buffer, coded frame lost (status " +
                            std::to_string(status) + ")\n");
      CompBase_ReportError(instance_, status != QVA_SUCCESS ? status : QVA_ERR_NOBUFFERS, 0);
      return nullptr;
    }
    buffer->flags = QVA_BUFFLAG_AUDIO;
    buffer->length = 0;
    if (buffer->capacity < frameCapacity_) {
      // A frame would overrun this buffer: it goes on empty and the frame is lost.
      platform::DebugOutput("AENC: output buffer of " + std::to_string(buffer->capacity) +
                            " bytes is smaller than a frame, coded frame lost\n");
      CompBase_DeliverOutput(instance_, 0, buffer);
      CompBase_ReportError(instance_, QVA_ERR_TOOSMALL, buffer->capacity);
      return nullptr;
    }
    current_ = buffer;
  }
  return current_->data;
}

void CBitStream::Commit(uint32_t bytes) {
  if (!current_) return;
  if (timestampPending_) {
    current_->flags |= QVA_BUFFLAG_TIMESTAMP;
    current_->timestamp = pendingTime_;
    timestampPending_ = false;
  }
  current_->length = bytes;
  CompBase_DeliverOutput(instance_, 0, current_);
  current_ = nullptr;
  ++delivered_;
}

}  // namespace orx::aenc
