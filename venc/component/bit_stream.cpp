#include "venc/component/bit_stream.h"

namespace orx::venc {
namespace {

// Input-buffer flags an output area carries on: the sender's handle and its word.
constexpr uint32_t kCarriedFlags = QVA_BUFFLAG_REFHANDLE | QVA_BUFFLAG_COMPONENTWORD;

}  // namespace

void CBitStream::DeliverCurrent() {
  ComponentBuffer* buffer = current_;
  current_ = nullptr;
  const QVAStatus status = CompBase_DeliverOutput(instance_, 0, buffer);
  if (status != QVA_SUCCESS) {
    Fail(status);
    return;
  }
  ++delivered_;
}

uint8_t* CBitStream::GetWritePointer() {
  if (detached_) return nullptr;
  if (current_ != nullptr && current_->length != 0) DeliverCurrent();
  if (current_ == nullptr) {
    ComponentBuffer* buffer = nullptr;
    const QVAStatus status = CompBase_GetEmptyOutput(instance_, 0, &buffer);
    if (status != QVA_SUCCESS || buffer == nullptr) {
      Fail(status != QVA_SUCCESS ? status : QVA_ERR_NOBUFFERS);
      return nullptr;
    }
    buffer->flags = QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_SEQUENCE;
    buffer->length = 0;
    buffer->sequence = delivered_;
    if (const FrameInfo* info = ring_->Find(outputTimeStamp_)) {
      const uint32_t carried = info->flags & kCarriedFlags;
      buffer->flags |= carried;
      if (carried != 0) {
        buffer->bytesRead = info->referenceHandle;
        buffer->componentWord = static_cast<uint32_t>(info->componentWord);
      }
    }
    if (timeStampPending_) {
      buffer->flags |= QVA_BUFFLAG_TIMESTAMP;
      buffer->timestamp = outputTimeStamp_;
      timeStampPending_ = false;
    }
    if (pictureStart_) {
      buffer->flags |= QVA_BUFFLAG_SYNCPOINT;
      pictureStart_ = false;
    }
    current_ = buffer;
  }
  return current_->data + current_->length;
}

void CBitStream::SetTimeStamps(int64_t stampA, int64_t stampB, int pictureType, int) {
  outputTimeStamp_ = static_cast<uint64_t>(pictureType == 3 && stampA > 0 ? stampA : stampB);
  timeStampPending_ = true;
  pictureStart_ = true;
}

void CBitStream::Advance(uint8_t*, int bytes) {
  if (current_ == nullptr || bytes <= 0) return;
  current_->length += static_cast<uint32_t>(bytes);
  totalBytes_ += static_cast<uint64_t>(bytes);
}

void CBitStream::Deliver() {
  if (current_ != nullptr) DeliverCurrent();
}

void CBitStream::Finish() {
  if (current_ != nullptr && current_->length != 0 && !detached_) DeliverCurrent();
}

QVAStatus CBitStream::TakeFailure() {
  const QVAStatus status = failure_;
  failure_ = QVA_SUCCESS;
  return status;
}

}  // namespace orx::venc
