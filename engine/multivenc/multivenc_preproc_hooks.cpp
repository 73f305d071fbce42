// MULTIVENC's side of the preprocessing: the destination buffer of each frame (choice of the
// instance and the dealing), the hand-over of the converted frame, frames that are dropped, and
// the end of the preprocessing worker.
#include "engine/catalogue/component_calls.h"
#include "engine/multivenc/multivenc.h"

namespace {

constexpr uint32_t kBufferPollMs = 5;
constexpr uint32_t kBufferWaitLimitMs = 2000;
constexpr uint64_t kMarkEndMs = 10000;
constexpr uint64_t kMarkFadeStartMs = 6000;
constexpr uint32_t kMarkMargin = 8;
constexpr uint32_t kSlotMarkerRowStep = 64;

EncoderSlot* SlotOf(const ComponentBuffer* buffer) {
  return reinterpret_cast<EncoderSlot*>(buffer->bytesRead);
}

void DrawOverlays(MultiVEncState* state, EncoderSlot* slot, ComponentBuffer* buffer, uint64_t time) {
  const PreProcConfig& c = state->preprocConfig;
  if (buffer->length == 0 || (c.outputCode != kPPCodeI420 && c.outputCode != kPPCodeYv12)) return;
  const uint32_t pitch = c.outputStrideWidth;
  if (c.flags & kPreProcSlotMarker) {
    const int64_t column = static_cast<int64_t>(time / (pitch <= 500 ? 250 : 500));
    const int64_t row = int64_t{kSlotMarkerRowStep} * slot->index;
    DrawSlotMarker(buffer->data, pitch, c.outputWidth, c.outputHeight, column, row);
  }
  if ((c.flags & kPreProcDrawMark) && time < kMarkEndMs) {
    const int64_t x = (int64_t{c.outputWidth} - kMarkWidth - kMarkMargin + 7) & ~int64_t{7};
    const int64_t y = int64_t{c.outputHeight} - kMarkHeight - kMarkMargin;
    const uint32_t fade = time <= kMarkFadeStartMs ? 0 : static_cast<uint32_t>((time - kMarkFadeStartMs) * 255 / 4000);
    DrawMark(buffer->data, pitch, c.outputWidth, c.outputHeight, static_cast<int32_t>(x), static_cast<int32_t>(y),
             fade);
  }
}

// An empty input buffer of the slot's instance. A busy instance is waited for (its queue holds a
// batch, so it frees slots as it encodes); one that gave none for the wait limit counts as
// stalled and is not waited for again until it takes frames. (A free slot cannot be waited for
// with a time limit, so the queue is polled.)
ComponentBuffer* WaitForInputBuffer(MultiVEncState* state, EncoderSlot* slot) {
  ComponentBuffer* buffer = nullptr;
  comp::GetInputBuffer(slot->instance, 0, &buffer, 0);
  for (uint32_t waited = 0; buffer == nullptr && !slot->stalled && waited < kBufferWaitLimitMs && !state->aborting &&
                            MultiVEnc_InstanceAlive(slot->instance);
       waited += kBufferPollMs) {
    QVASleep(kBufferPollMs);
    comp::GetInputBuffer(slot->instance, 0, &buffer, 0);
  }
  slot->stalled = buffer == nullptr;
  return buffer;
}

}  // namespace

void MultiVEnc_ReportConsumed(MultiVEncState* state, ComponentInstance* reporter, const ComponentBuffer* source) {
  if (source == nullptr || state->pinCallback == nullptr) return;
  ComponentBuffer copy = *source;  // the callback takes a record it may read, not the caller's
  state->pinCallback(reporter, &copy, 0, state->pinCallbackUser);
}

QVAStatus PPAlloc(PreProcObject*, uint32_t frameNumber, uint64_t time, ComponentBuffer** outBuffer, void* owner,
                  const ComponentBuffer*) {
  auto* state = static_cast<MultiVEncState*>(owner);
  *outBuffer = nullptr;
  EncoderSlot* slot = state->pick(state);
  if (slot == nullptr) return QVA_SUCCESS;
  MultiVEnc_Trace(state, kTraceLine, "PPAlloc[%d] %d>", static_cast<int>(slot->index), static_cast<int>(time));
  if (state->grouping) MultiVEnc_StartBatch(state, slot, frameNumber);
  ComponentBuffer* buffer = WaitForInputBuffer(state, slot);
  if (buffer != nullptr) {
    buffer->flags &= QVA_BUFFLAG_SEQUENCE;  // the queue's own bit; the rest is this frame's
    buffer->unitTag = 0;
    buffer->bytesRead = reinterpret_cast<uintptr_t>(slot);
    if (slot->batchStartPending) {
      buffer->flags |= QVA_BUFFLAG_BATCHSTART;
      slot->batchStartPending = 0;
    }
    if (state->grouping) MultiVEnc_DealFrame(state, slot, frameNumber);
  }
  MultiVEnc_Trace(state, kTraceLine, "PPAlloc[%d] %d<", static_cast<int>(slot->index), static_cast<int>(time));
  *outBuffer = buffer;
  return QVA_SUCCESS;
}

QVAStatus PPFDone(PreProcObject*, uint32_t, uint64_t time, ComponentBuffer* buffer, void* owner,
                  const ComponentBuffer* source) {
  auto* state = static_cast<MultiVEncState*>(owner);
  EncoderSlot* slot = SlotOf(buffer);
  if (slot == nullptr) return QVA_SUCCESS;
  buffer->bytesRead = 0;
  MultiVEnc_Trace(state, kTraceLine, "PPFDone[%d] %d>", static_cast<int>(slot->index), static_cast<int>(time));
  // The source frame is consumed: its owner may have it back.
  MultiVEnc_ReportConsumed(state, slot->instance, source);
  DrawOverlays(state, slot, buffer, time);
  EncoderSlot_PushFrame(slot, buffer);
  if (state->grouping && slot->state.load() == ESTATE_FULL) {
    MultiVEnc_SetSlotState(slot, ESTATE_CLOSED);
    if (state->multi) {
      // A marker without end of input: the instance finishes its groups and stays open.
      if (MultiVEnc_PushMarker(state, slot, QVA_MARKER_EOS) == QVA_SUCCESS) slot->endMarkerSent = 1;
    } else {
      MultiVEnc_Collect(state, slot, 0);
    }
  }
  return QVA_SUCCESS;
}

void PPDrop(PreProcObject*, uint64_t time, QVAStatus status, void* owner, const ComponentBuffer* source) {
  auto* state = static_cast<MultiVEncState*>(owner);
  if (status == QVA_ERR_FULL) {
    // The reorder window is full and nothing came: a notice without a frame, so the source may
    // send more; it carries no data and no reference handle.
    ComponentBuffer notice{};
    notice.flags = QVA_BUFFLAG_EXTERNAL;
    notice.frameworkMark = 1;
    notice.timestamp = time;
    if (state->pinCallback != nullptr) state->pinCallback(state->instance, &notice, 0, state->pinCallbackUser);
    return;
  }
  MultiVEnc_Trace(state, kTraceLine, "PPDrop %d(0x%X)", static_cast<int>(time), status);
  MultiVEnc_ReportConsumed(state, state->instance, source);
  if (status == QVA_ERR_STOPPED) {
    state->framesDropped.fetch_add(1);  // still queued when the worker was stopped: no stream to lose it from
  } else {
    MultiVEnc_FrameLost(state, status);
  }
}

void MultiVEnc_FrameLost(MultiVEncState* state, QVAStatus status) {
  state->framesDropped.fetch_add(1);
  MultiVEnc_ReportFailure(state, status, 0);
}

void PPEnd(PreProcObject*, uint32_t, uint64_t, void* owner) {
  auto* state = static_cast<MultiVEncState*>(owner);
  if (state->aborting || !state->grouping) return;
  EncoderSlot* slot = state->pick(state);
  if (slot == nullptr || slot->state.load() == ESTATE_IDLE) return;
  MultiVEnc_SetSlotState(slot, ESTATE_CLOSED);
  if (MultiVEnc_PushMarker(state, slot, QVA_MARKER_EOI) == QVA_SUCCESS) slot->unterminated = 0;
}

QVAStatus EncoderSlot_PushFrame(EncoderSlot* slot, ComponentBuffer* buffer) {
  MultiVEncState* state = slot->owner;
  {
    std::lock_guard<std::mutex> lock(slot->lock);
    if (slot->batchFrames == 0) {
      const uint64_t now = QVAGetTime();
      if (slot->batchesMeasured > 10) {
        slot->batchesMeasured = slot->framesForAverage = 0;
        slot->previousDuration = slot->lastDuration = slot->totalDuration = 0;
      }
      slot->batchStart = now;
    }
  }
  // The buffer is one of the instance's own slots: committed, never copied.
  const QVAStatus status = comp::PushInput(slot->instance, 0, buffer, state->grouping ? QVA_INFINITE : 0);
  if (status != QVA_SUCCESS) {
    comp::ReleaseBuffer(slot->instance, 0, buffer);
    return status;
  }
  slot->unterminated = 1;
  std::lock_guard<std::mutex> lock(slot->lock);
  slot->batchFrames++;
  slot->framesDealt++;
  return QVA_SUCCESS;
}
