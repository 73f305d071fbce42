// Collecting an instance's finished batch into MULTIVENC's output pin, closing open batches, and
// the instances' events (end of a batch, throughput measurements).
#include <algorithm>
#include <cstring>

#include "engine/catalogue/component_calls.h"
#include "engine/multivenc/multivenc.h"
#include "platform/entry_guard.h"

namespace {

constexpr uint32_t kStatePollMs = 5;
constexpr uint32_t kQueuePollMs = 10;
constexpr uint32_t kPullSliceMs = 100;
constexpr uint32_t kFlushPullLimitMs = 2000;
constexpr uint32_t kPushRetryMs = 5;
constexpr uint32_t kEndFlags = QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;

bool IsOpenBatch(uint32_t state) { return state == ESTATE_FILLING || state == ESTATE_FULL; }
bool IsEncoding(uint32_t state) { return IsOpenBatch(state) || state == ESTATE_CLOSED; }

// Waits while the slot's batch is still being encoded (not while ending or torn down).
void WaitWhileEncoding(MultiVEncState* state, EncoderSlot* slot) {
  while (IsEncoding(slot->state.load()) && state->flushPhase != kFlushEnding && !state->aborting &&
         MultiVEnc_InstanceAlive(slot->instance)) {
    QVASleep(kStatePollMs);
  }
}

// One pull from the instance's output pin. A pull without a time limit is made in slices, so
// that a tear-down, the flush limit or a stopped instance ends it.
QVAStatus PullOne(MultiVEncState* state, EncoderSlot* slot, ComponentBuffer** buffer, bool unlimited) {
  if (!unlimited) return comp::PullOutput(slot->instance, 0, buffer, 0);
  for (uint32_t waited = 0;; waited += kPullSliceMs) {
    const QVAStatus status = comp::PullOutput(slot->instance, 0, buffer, kPullSliceMs);
    if (status != QVA_ERR_NOBUFFERS || *buffer != nullptr) return status;
    if (state->aborting || !MultiVEnc_InstanceAlive(slot->instance)) return status;
    if (state->flushPhase >= kFlushing && waited + kPullSliceMs >= kFlushPullLimitMs) return status;
  }
}

uint32_t InputSlotsInUse(ComponentInstance* instance) {
  PinBufferConfig config{};
  config.pinIndex = 0;
  if (comp::GetParam(instance, QVA_PARAM_BUFFERS, &config, sizeof config) != QVA_SUCCESS) return 0;
  return config.slotsInUse;
}

// Copies one encoded piece into MULTIVENC's output, over as many of the downstream's empty
// buffers as it needs: the first carries the time stamp and the flags, later ones the video
// flag, and an end flag goes only on the last.
void DeliverPiece(MultiVEncState* state, const ComponentBuffer& piece) {
  ComponentInstance* self = state->instance;
  uint32_t offset = 0;
  bool first = true;
  do {
    ComponentBuffer* out = nullptr;
    if (CompBase_GetEmptyOutput(self, 0, &out) != QVA_SUCCESS || out == nullptr) return;
    if (out->capacity == 0 && piece.length != 0) return;
    const uint32_t length = std::min(piece.length - offset, out->capacity);
    if (length != 0) std::memcpy(out->data, piece.data + offset, length);
    out->length = length;
    const bool last = offset + length >= piece.length;
    if (first) {
      out->flags = last ? piece.flags : piece.flags & ~kEndFlags;
      out->frameworkMark = piece.frameworkMark;
      out->timestamp = piece.timestamp;
      out->unitTag = piece.unitTag;
      out->bytesRead = piece.bytesRead;
      out->sequence = piece.sequence;
      out->componentWord = piece.componentWord;
    } else {
      out->flags = QVA_BUFFLAG_VIDEO | (last ? piece.flags & kEndFlags : 0);
      out->frameworkMark = 1;
      out->timestamp = 0;
      out->unitTag = 0;
      out->bytesRead = 0;
    }
    CompBase_DeliverOutput(self, 0, out);
    offset += length;
    first = false;
  } while (offset < piece.length);
}

void TakeOutputFormat(MultiVEncState* state, const ComponentBuffer& buffer) {
  if (state->outputFormatSent) return;
  uint32_t size = 0;
  std::memcpy(&size, buffer.data, std::min<uint32_t>(buffer.length, sizeof size));
  const uint32_t bytes = size >= sizeof(VideoMediaType) && buffer.length >= sizeof(VideoMediaType)
                             ? sizeof(VideoMediaType)
                             : std::min<uint32_t>(buffer.length, kMediaTypeHeaderSize);
  std::memcpy(&state->outputFormat, buffer.data, bytes);
  state->outputFormatSent = 1;
  CompBase_SendFormatChange(state->instance, 0);
}

}  // namespace

QVAStatus MultiVEnc_PushMarker(MultiVEncState* state, EncoderSlot* slot, uint32_t flags) {
  ComponentBuffer marker{};
  marker.flags = flags;
  marker.frameworkMark = 1;
  for (;;) {
    // A full queue answers at once; it is tried again until a slot frees.
    const QVAStatus status = comp::PushInput(slot->instance, 0, &marker, 0);
    if (status != QVA_ERR_TIMEOUT || state->aborting || !MultiVEnc_InstanceAlive(slot->instance)) return status;
    QVASleep(kPushRetryMs);
  }
}

bool MultiVEnc_InstanceAlive(ComponentInstance* instance) {
  uint32_t state = QVA_STATE_NONE;
  comp::GetState(instance, &state);
  return state != QVA_STATE_NONE && state != QVA_STATE_INIT && state != QVA_STATE_DESTROYING;
}

QVAStatus MultiVEnc_Collect(MultiVEncState* state, EncoderSlot* slot, uint32_t mode) {
  if (slot == nullptr || slot->instance == nullptr) return QVA_ERR_BADHANDLE;
  if (!state->grouping) return QVA_ERR_WRONGSTATE;
  const bool several = state->multi != 0;
  const bool unlimited = several || mode == 1;
  const int index = static_cast<int>(slot->index);
  const bool waited = slot->state.load() != ESTATE_DONE;
  if (waited) MultiVEnc_Trace(state, kTraceSpanStart, "OutWait[%d]>", index);
  if (several) {
    if (mode == 1 && IsOpenBatch(slot->state.load())) {
      MultiVEnc_SetSlotState(slot, ESTATE_CLOSED);
      if (MultiVEnc_PushMarker(state, slot, QVA_MARKER_EOS) == QVA_SUCCESS) slot->endMarkerSent = 1;
    }
    WaitWhileEncoding(state, slot);
  } else if (mode == 1) {
    MultiVEnc_SetSlotState(slot, ESTATE_CLOSED);
    if (MultiVEnc_PushMarker(state, slot, QVA_MARKER_EOI) == QVA_SUCCESS) slot->unterminated = 0;
  }
  std::lock_guard<std::mutex> lock(state->collectLock);
  const uint32_t current = slot->state.load();
  if (current == ESTATE_IDLE || current == ESTATE_NONE || current == ESTATE_FAILED) {
    // Collected meanwhile by another thread.
    if (waited) MultiVEnc_Trace(state, kTraceSpanEnd, "OutWait[%d]<", index);
    return QVA_SUCCESS;
  }
  if (waited) MultiVEnc_Trace(state, kTraceSpanEnd, "OutWait[%d]<", index);
  bool endSeen = false;
  uint32_t retries = 0;
  QVAStatus status = QVA_SUCCESS;
  for (;;) {
    ComponentBuffer* buffer = nullptr;
    status = PullOne(state, slot, &buffer, unlimited && !endSeen);
    if (status == QVA_ERR_NOBUFFERS) {
      if (!endSeen && (mode == 1 || several)) {
        MultiVEnc_Trace(state, kTraceSpanStart, "Out[%d] NOBUF & !bEOS", index);
        while (InputSlotsInUse(slot->instance) != 0 && !state->aborting && MultiVEnc_InstanceAlive(slot->instance)) {
          QVASleep(kQueuePollMs);
        }
        if (state->flushPhase < kFlushing && retries < 2 && !state->aborting) {
          ++retries;
          continue;
        }
      }
      break;
    }
    if (status != QVA_SUCCESS) break;
    if (buffer == nullptr) continue;
    MultiVEnc_SetSlotState(slot, ESTATE_DONE);
    if (buffer->data != nullptr && buffer->length != 0) {
      if (buffer->flags & QVA_BUFFLAG_FORMAT) {
        TakeOutputFormat(state, *buffer);
      } else {
        DeliverPiece(state, *buffer);
        slot->picturesCollected++;
        state->picturesOut.fetch_add(1);
      }
    }
    if (buffer->flags & QVA_BUFFLAG_EOS) endSeen = true;
    comp::ReleaseBuffer(slot->instance, 0, buffer);
  }
  state->lastCollectedFrame = slot->nextFrame;
  MultiVEnc_SetSlotState(slot, ESTATE_IDLE);
  if (several) comp::SendCommand(slot->instance, CMD_PLAY);
  const int32_t groups = static_cast<int32_t>(slot->batchGroups);
  int32_t total = state->totalGroups.load();
  while (!state->totalGroups.compare_exchange_weak(total, std::max(total - groups, 0))) {
  }
  if (!endSeen) MultiVEnc_Trace(state, kTraceLine, "Out[%d] noEOS", index);
  return status;
}

uint32_t MultiVEnc_CloseBatches(MultiVEncState* state) {
  if (!state->multi) return 0;
  uint32_t sent = 0;
  {
    std::lock_guard<std::mutex> pickLock(state->pickLock);
    for (EncoderSlot& slot : state->slots) {
      if (slot.instance == nullptr || !IsOpenBatch(slot.state.load())) continue;
      std::lock_guard<std::mutex> slotLock(slot.lock);
      MultiVEnc_SetSlotState(&slot, ESTATE_CLOSED);
      // End of input without end of stream: the instance closes the batch's last group.
      if (MultiVEnc_PushMarker(state, &slot, QVA_BUFFLAG_EOI | QVA_BUFFLAG_EXTERNAL) == QVA_SUCCESS) {
        slot.endMarkerSent = 1;
        slot.unterminated = 0;
        ++sent;
      }
    }
  }
  std::lock_guard<std::mutex> collectLock(state->collectLock);
  for (EncoderSlot& slot : state->slots) {
    if (slot.instance != nullptr) WaitWhileEncoding(state, &slot);
  }
  return sent;
}

namespace {

void OnSlotEvent(uint32_t eventId, void* record, uint32_t size, void* user) {
  auto* slot = static_cast<EncoderSlot*>(user);
  if (slot == nullptr || record == nullptr || size < 8) return;
  MultiVEncState* state = slot->owner;
  uint32_t flags;
  std::memcpy(&flags, static_cast<const uint8_t*>(record) + 4, sizeof flags);
  const size_t valueOffset = eventId == PROGRESS_STREAM ? offsetof(StreamEventRecord, timestamp)
                                                        : offsetof(ProgressStateRecord, timestamp);
  uint64_t time = 0;
  if (size >= valueOffset + sizeof time) {
    std::memcpy(&time, static_cast<const uint8_t*>(record) + valueOffset, sizeof time);
  }
  if (flags & QVA_PROGRESSFLAG_EOS) {
    bool rebalance = false;
    {
      std::lock_guard<std::mutex> lock(slot->lock);
      if (slot->batchFrames != 0 && !(state->params.optionFlags & VEP_OPT_ROUND_ROBIN)) {
        slot->batchEnd = QVAGetTime();
        const uint64_t elapsed = slot->batchEnd - slot->batchStart;
        const uint32_t batches = state->batchesSinceRebalance.fetch_add(1) + 1;
        rebalance = batches >= 2 * std::max<uint32_t>(state->activeInstances.load(), 1);
        if (elapsed != 0) {
          const uint32_t rate = static_cast<uint32_t>(uint64_t{slot->batchFrames} * 10000 / elapsed);
          const uint64_t mean = slot->batchesMeasured != 0 ? slot->totalDuration / slot->batchesMeasured : 0;
          const uint64_t ratio = mean != 0 ? elapsed * 100 / mean : 100;
          slot->bestRate = std::max(slot->bestRate, rate);
          if (slot->shortestDuration == 0 || elapsed < slot->shortestDuration) slot->shortestDuration = elapsed;
          if (ratio < 87 || ratio > 113) {
            slot->batchesMeasured = slot->framesForAverage = 0;
            slot->previousDuration = slot->lastDuration = slot->totalDuration = 0;
            slot->batchStart = slot->batchEnd = QVAGetTime();
          } else {
            slot->previousDuration = slot->lastDuration;
            slot->lastDuration = elapsed;
            slot->previousAverage = slot->averageRate;
            slot->batchesMeasured++;
            slot->totalDuration += elapsed;
            slot->framesForAverage += slot->batchFrames;
            slot->averageRate = static_cast<uint32_t>(uint64_t{slot->framesForAverage} * 10000 / slot->totalDuration);
          }
        }
        slot->lastBatchFrames = slot->batchFrames;
        slot->batchFrames = 0;
      }
      MultiVEnc_Trace(state, kTraceLine, "EOS[%d] %d(%d)", static_cast<int>(slot->index),
                      static_cast<int>(time >> 32), static_cast<int>(slot->nextFrame.load()));
      // Only a closed batch is finished; a late event must not end a batch dealt since.
      uint32_t expected = ESTATE_CLOSED;
      if (slot->state.compare_exchange_strong(expected, ESTATE_DONE)) {
        MultiVEnc_Trace(state, kTraceLine, "EState[%d]=%02X->%02X", static_cast<int>(slot->index), ESTATE_CLOSED,
                        ESTATE_DONE);
      }
    }
    if (rebalance) MultiVEnc_Rebalance(state);
  }
  if (flags & QVA_PROGRESSFLAG_START) {
    MultiVEnc_Trace(state, kTraceLine, "SOS[%d] %d(%d)", static_cast<int>(slot->index),
                    static_cast<int>(time & 0xFFFFFFFF), static_cast<int>(slot->nextFrame.load()));
  }
}

}  // namespace

extern "C" void EncoderSlot_OnEvent(ComponentInstance*, uint32_t eventId, void* record, uint32_t size, void* user) {
  orx::platform::GuardEntryWithoutAnswer("EncoderSlot_OnEvent", [&] { OnSlotEvent(eventId, record, size, user); });
}

namespace {

void OnSlotError(QVAStatus status, uint32_t detail, void* user) {
  auto* slot = static_cast<EncoderSlot*>(user);
  if (slot == nullptr || status == QVA_SUCCESS) return;
  MultiVEncState* state = slot->owner;
  MultiVEnc_Trace(state, kTraceLine, "Error[%d] 0x%X/0x%X", static_cast<int>(slot->index), status, detail);
  QVADebugPrintf("MULTIVENC: instance %u failed: 0x%X\n", slot->index, status);
  MultiVEnc_ReportFailure(state, status, detail);
}

}  // namespace

extern "C" void EncoderSlot_OnError(ComponentInstance*, QVAStatus status, uint32_t detail, void* user) {
  orx::platform::GuardEntryWithoutAnswer("EncoderSlot_OnError", [&] { OnSlotError(status, detail, user); });
}

void MultiVEnc_ReportFailure(MultiVEncState* state, QVAStatus status, uint32_t detail) {
  uint32_t none = QVA_SUCCESS;
  if (status == QVA_SUCCESS || !state->failureReported.compare_exchange_strong(none, status)) return;
  CompBase_ReportError(state->instance, status, detail);
}
