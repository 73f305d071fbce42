// The worker's processing loop, the after-round step, and output delivery.
#include <cstring>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"
#include "platform/entry_guard.h"

namespace {

using orx::framework::kStartFamily;
using orx::framework::kStartAnnounced;
using orx::framework::kEosReached;
using orx::framework::kEosAnnounced;
using orx::framework::kEosMarkerSent;
using orx::framework::kEosFamily;
using orx::framework::kEoiReached;
using orx::framework::kEoiMarkerSent;
using orx::framework::kEoiFamily;

constexpr uint32_t kIdleSleepMs = 50;
constexpr uint32_t kIdlePollMs = 2;
constexpr uint32_t kTraceRoundStart = 0x40000002;
constexpr uint32_t kTraceRoundEnd = 0x80000002;
constexpr uint32_t kTraceOutput = 8;
constexpr uint32_t kAudioFormatSize = 136;
constexpr uint32_t kVideoFormatSize = 156;
constexpr uint32_t kOtherFormatSize = 272;

constexpr uint32_t kEndMarkerArmed = 1;
constexpr uint32_t kEndMarkerHeld = 2;

bool AllBits(uint32_t flags, uint32_t bits) { return (flags & bits) == bits; }

bool IsFormatRecord(uint32_t flags) {
  return AllBits(flags, QVA_BUFFLAG_FORMAT_AUDIO) || AllBits(flags, QVA_BUFFLAG_FORMAT_VIDEO);
}

// One round's input, taken from input pin 0's queue as the input mode says. Answers false when
// the round is over without reaching the hook.
bool TakeRoundInput(ComponentInstance* instance, QVAHandle queue, QVAStatus& status, ComponentBuffer*& buffer,
                    uint32_t& flags) {
  switch (instance->inputMode.load()) {
    case 1:
      instance->workerActivity = QVA_WORKER_WAITING;
      status = BufferQueue_Acquire(queue, QVA_SLOT_FULL, &buffer, QVA_INFINITE);
      if (status != QVA_SUCCESS) {
        instance->workerActivity = QVA_WORKER_IDLE;
        if (CompBase_GetStateWord(instance) == QVA_STATE_STOPPING) {
          CompBase_FlushQueues(instance, 0, orx::framework::kAllPins, 0);
          CompBase_SetState(instance, QVA_STATE_STOPPED);
        }
        QVASleep(kIdleSleepMs);
        return false;
      }
      instance->workerActivity = QVA_WORKER_PROCESSING;
      flags = buffer->flags;
      return true;
    case 2:
      instance->workerActivity = QVA_WORKER_WAITING;
      BufferQueue_Acquire(queue, QVA_SLOT_FULL, &buffer, status == QVA_ERR_NOBUFFER ? QVA_INFINITE : 0);
      instance->workerActivity = QVA_WORKER_PROCESSING;
      if (buffer != nullptr) flags = buffer->flags;
      return true;
    case 3:
      instance->workerActivity = QVA_WORKER_PROCESSING;
      return true;
    default: {
      instance->workerActivity = QVA_WORKER_WAITING;
      ComponentBuffer* peeked = nullptr;
      status = BufferQueue_Peek(queue, &peeked, QVA_INFINITE);
      if (status != QVA_SUCCESS && instance->inputMode.load() == 0) {
        instance->workerActivity = QVA_WORKER_IDLE;
        if (CompBase_GetStateWord(instance) == QVA_STATE_STOPPING) {
          CompBase_FlushQueues(instance, 0, orx::framework::kAllPins, 0);
          CompBase_SetState(instance, QVA_STATE_STOPPED);
          status = QVA_ERR_STOPPED;
        } else {
          status = QVA_ERR_NOBUFFERS;
          QVASleep(kIdleSleepMs);
        }
        return false;
      }
      instance->workerActivity = QVA_WORKER_PROCESSING;
      if (peeked != nullptr) {
        flags = peeked->flags;
        // Only a format record is taken; other data stays queued for the component to read.
        if (IsFormatRecord(flags)) status = BufferQueue_Acquire(queue, QVA_SLOT_FULL, &buffer, QVA_INFINITE);
      }
      return true;
    }
  }
}

// Whether a format record or stream start counts a new stream (which first ends a running one
// downstream). A component whose output goes on through a change of its input format keeps a
// running stream on a plain format record.
bool StartsNewStream(ComponentInstance* instance, uint32_t flags) {
  if (!instance->formatKeepsStream.load() || (flags & QVA_BUFFLAG_STREAMSTART)) return true;
  const bool running = instance->streamStartWord.load() != 0 && instance->eosWord.load() == 0 &&
                       instance->framesSinceStart.load() != 0;
  return !running;
}

// A format record that starts a new stream ends the running one downstream, but the hook that
// handles it may still hand on that stream's last output (an encoder ends its sequence there:
// the pictures waiting for their anchor, the end code). The end marker is therefore held through
// the round and goes out just before the first format record the hook sends on, or after the
// round: downstream sees the old stream whole, then its end, then the new stream.
void CountNewStream(ComponentInstance* instance, ComponentBuffer* buffer, uint32_t flags) {
  const bool hookHandlesRecord = buffer != nullptr && IsFormatRecord(flags);
  if (hookHandlesRecord) instance->endMarkerHold = kEndMarkerArmed;
  CompBase_CountFrame(instance, 0, 0, QVA_COUNT_NEW_STREAM);
  uint32_t armed = kEndMarkerArmed;
  instance->endMarkerHold.compare_exchange_strong(armed, 0);  // no stream was running
}

// Sends the end marker held through a format record's round, once.
void ReleaseHeldEndMarker(ComponentInstance* instance) {
  uint32_t held = kEndMarkerHeld;
  if (instance->endMarkerHold.compare_exchange_strong(held, 0)) CompBase_SendEndMarker(instance, 0, 0);
}

// The end words a buffer flagged end of stream or end of input sets after its round.
void NoteEnds(ComponentInstance* instance, uint32_t flags) {
  if (!(flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI))) return;
  if (instance->eosWord.load() == 0 && (flags & QVA_BUFFLAG_EOS)) CompBase_SetEOS(instance, kEosReached);
  if (instance->eoiWord.load() == 0 && (flags & QVA_BUFFLAG_EOI)) {
    if (instance->eosWord.load() == 0) CompBase_SetEOS(instance, kEosReached);
    CompBase_SetEOI(instance, kEoiReached);
  }
  CompBase_UpdateProgress(instance);
}

void SendStateNotice(ComponentInstance* instance, uint32_t flags) {
  const uint32_t state = instance->state.load();
  ProgressStateRecord record{};
  record.size = sizeof record;
  record.flags = flags;
  if (instance->typeFlags & QVA_TYPE_VIDEO) record.flags |= QVA_PROGRESSFLAG_VIDEO;
  if (instance->typeFlags & QVA_TYPE_AUDIO) record.flags |= QVA_PROGRESSFLAG_AUDIO;
  record.instance = instance;
  record.newState = record.oldState = state;
  record.timestamp = instance->timestamp.load();
  orx::framework::SendEvent(instance, PROGRESS_STATE, &record, sizeof record);
}

void SendProgressBegins(ComponentInstance* instance, uint32_t eventId, uint32_t flags, uint32_t kind) {
  ProgressRecord record{};
  record.size = sizeof record;
  record.flags = flags;
  record.instance = instance;
  record.progressKind = kind;
  record.timestampLow = static_cast<uint32_t>(instance->timestamp.load());
  orx::framework::SendEvent(instance, eventId, &record, sizeof record);
}

QVAHandle OutputQueue(void* context) { return static_cast<ComponentInstance*>(context)->outputPin[0].queue; }

uint32_t OutputTimeout(void* context) {
  return CompBase_IsRunning(static_cast<ComponentInstance*>(context)) ? QVA_INFINITE : 0;
}

// The format record sent downstream: a media type record of the component's class.
QVAStatus DeliverFormat(ComponentInstance* instance, uint32_t pin, uint32_t flags, uint32_t recordSize) {
  alignas(16) uint8_t record[kOtherFormatSize] = {};
  std::memcpy(record, &recordSize, sizeof recordSize);
  QVAStatus status = instance->methods.QVAComp_GetFormat(instance, 1, pin, record);
  if (status != QVA_SUCCESS) return status;
  uint32_t length = recordSize;
  if (recordSize == kOtherFormatSize) {
    // The component sets the size of a record of no class; it must fit the record.
    std::memcpy(&length, record, sizeof length);
    if (length > kOtherFormatSize) return QVA_ERR_TOOSMALL;
  }
  ComponentBuffer buffer{};
  buffer.flags = flags;
  buffer.frameworkMark = 1;
  buffer.data = record;
  buffer.capacity = recordSize;
  buffer.length = length;
  return CompBase_DeliverOutput(instance, pin, &buffer);
}

}  // namespace

namespace orx::framework {

QVAStatus RunProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  return orx::platform::GuardEntry("CompProcessHook", QVA_ERR_EXECUTION,
                                   [&] { return CompProcessHook(instance, buffer); });
}

}  // namespace orx::framework

uint32_t ProcessBuf(QVAHandle thread, void* argument) {
  auto* instance = static_cast<ComponentInstance*>(argument);
  QVAHandle queue = instance->inputPin[0].queue;
  CompBase_AttachThread(instance, thread);
  QVAStatus status = QVA_SUCCESS;
  if (CompBase_IsRunning(instance)) CompBase_UpdateProgress(instance);
  bool failed = false;
  while (!failed && CompBase_IsRunning(instance)) {
    uint32_t flags = 0;
    ComponentBuffer* buffer = nullptr;
    if (CompBase_IsState(instance, QVA_STATES_IDLING)) {
      instance->workerActivity = QVA_WORKER_IDLE;
      // An idle round lasts 50 ms, but a command that moves the state on (a CMD_PLAY after a
      // pause) is taken up at once: a restarted component does not wait out the sleep.
      for (uint32_t slept = 0; slept < kIdleSleepMs && CompBase_IsState(instance, QVA_STATES_IDLING);
           slept += kIdlePollMs) {
        QVASleep(kIdlePollMs);
      }
      continue;
    }
    if (!TakeRoundInput(instance, queue, status, buffer, flags)) continue;
    if (CompBase_IsRunning(instance)) {
      if (flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_STREAMSTART)) {
        if (buffer != nullptr && (buffer->flags & QVA_BUFFLAG_TIMESTAMP)) {
          CompBase_SetTimestamp(instance, 0, static_cast<uint32_t>(buffer->timestamp),
                                static_cast<uint32_t>(buffer->timestamp >> 32));
        }
        if (StartsNewStream(instance, flags)) CountNewStream(instance, buffer, flags);
      }
      if (EventManager* manager = instance->eventManager.load()) {
        if (buffer == nullptr) {
          EventManager_Add(manager, kTraceRoundStart, "ProcessBuf start");
        } else {
          EventManager_Add(manager, kTraceRoundStart, "ProcessBuf(size=%d,pts=%d)", buffer->length,
                           static_cast<uint32_t>(buffer->timestamp));
        }
      }
      status = orx::framework::RunProcessHook(instance, buffer);
      ReleaseHeldEndMarker(instance);
      if (EventManager* manager = instance->eventManager.load()) {
        EventManager_Add(manager, kTraceRoundEnd, "ProcessBuf: 0x%X", status);
      }
      if (status == QVA_ERR_STOPPED) {
        QVASleep(kIdleSleepMs);
      } else if (status != QVA_SUCCESS && status != QVA_ERR_NOBUFFER) {
        failed = true;
      }
    }
    if (failed) {
      // The error path: the buffer goes back, the failure is reported, the stream ends downstream
      // with exactly one end-of-stream marker (sent by the after-round step).
      if (buffer != nullptr) BufferQueue_Commit(queue, QVA_SLOT_FREE, buffer, QVA_INFINITE);
      CompBase_ReportError(instance, status, 0);
      CompBase_ChangeState(instance, QVA_STATES_ACTIVE, QVA_STATE_STOPPING);
      if (instance->eosWord.load() == 0) {
        CompBase_SetEOS(instance, kEosReached);
        CompBase_UpdateProgress(instance);
      }
      break;
    }
    CompBase_UpdateProgress(instance);
    NoteEnds(instance, flags);
    if (buffer != nullptr) {
      orx::framework::CountProcessedBuffer(instance, buffer->length);
      if (buffer->flags & QVA_BUFFLAG_KEEP) {
        status = QVA_SUCCESS;  // the hook keeps it and gives it back itself
      } else {
        BufferQueue_Commit(queue, QVA_SLOT_FREE, buffer, QVA_INFINITE);
      }
    }
  }
  instance->workerActivity = QVA_WORKER_ENDED;
  if (!CompBase_IsState(instance, QVA_STATES_SETTLED) && !CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_SetState(instance, QVA_STATE_INIT);
  }
  return status;
}

void CompBase_UpdateProgress(ComponentInstance* instance) {
  if (CompBase_IsRunning(instance) && instance->progressPending.load() == 1 &&
      !CompBase_IsState(instance, QVA_STATES_NO_PROGRESS)) {
    const bool callback = instance->eventCallback.load() != nullptr;
    const uint32_t mask = instance->eventMask.load();
    const uint32_t kind = instance->progressKind.load();
    if (callback && (mask & PROGRESS_AUDIO) && (kind & QVA_PROGRESS_KIND_AUDIO)) {
      SendProgressBegins(instance, PROGRESS_AUDIO, QVA_PROGRESS_BEGIN_AUDIO, QVA_PROGRESS_KIND_AUDIO);
    }
    if (callback && (mask & PROGRESS_VIDEO) && (kind & QVA_PROGRESS_KIND_VIDEO)) {
      SendProgressBegins(instance, PROGRESS_VIDEO, QVA_PROGRESS_BEGIN_VIDEO, QVA_PROGRESS_KIND_VIDEO);
    }
    instance->progressPending = 2;
    if (!CompBase_IsState(instance, QVA_STATES_HOLD_PLAYING)) CompBase_SetState(instance, QVA_STATE_PLAYING);
  }
  if (instance->progressPending.load() != 0) {
    // Tested and changed under the state lock: a play that arrives in between keeps its state.
    CompBase_ChangeState(instance, QVA_STATE_PAUSING | QVA_STATE_STEPPING, QVA_STATE_PAUSED);
  }
  const uint32_t eos = instance->eosWord.load();
  if ((eos & kEosFamily) && !(eos & kEosMarkerSent)) {
    CompBase_SetEOS(instance, kEosMarkerSent);
    uint32_t armed = kEndMarkerArmed;
    if (!instance->endMarkerHold.compare_exchange_strong(armed, kEndMarkerHeld)) CompBase_SendEndMarker(instance, 0, 0);
  }
  const uint32_t eoi = instance->eoiWord.load();
  if ((eoi & kEoiFamily) && !(eoi & kEoiMarkerSent)) {
    CompBase_SetEOI(instance, kEoiMarkerSent);
    CompBase_SendEndMarker(instance, 0, QVA_BUFFLAG_EOI);
  }
  if (instance->eventCallback.load() == nullptr || !(instance->eventMask.load() & PROGRESS_STATE)) return;
  const uint32_t start = instance->streamStartWord.load();
  if ((start & kStartFamily) && !(start & kStartAnnounced)) {
    SendStateNotice(instance, QVA_PROGRESSFLAG_START);
    CompBase_SetStreamStart(instance, kStartAnnounced);
  }
  const uint32_t ended = instance->eosWord.load();
  if ((ended & kEosFamily) && !(ended & kEosAnnounced)) {
    SendStateNotice(instance, QVA_PROGRESSFLAG_EOS);
    CompBase_SetEOS(instance, kEosAnnounced);
  }
}

QVAStatus CompBase_GetEmptyOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer) {
  if (outBuffer != nullptr) *outBuffer = nullptr;
  if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->outputPin[pin];
  if (p.getBuffer != nullptr) return p.getBuffer(p.context, outBuffer);
  CompBase_ReportError(instance, QVA_ERR_COMPONENTS, 0);
  return QVA_ERR_COMPONENTS;
}

QVAStatus CompBase_DeliverOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer) {
  if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  // A format record the hook sends on opens the next stream: the held end of the old one goes first.
  if (pin == 0 && (buffer->flags & QVA_BUFFLAG_FORMAT)) ReleaseHeldEndMarker(instance);
  if (EventManager* manager = instance->eventManager.load()) {
    EventManager_Add(manager, kTraceOutput, "Output%d(data=%u,pts=%d)", pin, buffer->length,
                     static_cast<uint32_t>(buffer->timestamp));
  }
  ComponentPin& p = instance->outputPin[pin];
  if (p.deliver != nullptr) return p.deliver(p.context, buffer);
  instance->lastStatus = QVA_ERR_COMPONENTS;
  return QVA_ERR_COMPONENTS;
}

QVAStatus CompBase_SendEndMarker(ComponentInstance* instance, uint32_t pin, uint32_t extraFlags) {
  ComponentBuffer marker{};
  marker.flags = extraFlags | QVA_MARKER_EOS;
  marker.frameworkMark = 1;
  if (instance->timestampState.load() != 0) {
    marker.flags |= QVA_BUFFLAG_ENDTIME;
    marker.timestamp = static_cast<uint32_t>(instance->timestamp.load());
  }
  return CompBase_DeliverOutput(instance, pin, &marker);
}

QVAStatus CompBase_SendFormatChange(ComponentInstance* instance, uint32_t pin) {
  if (instance->methods.QVAComp_GetFormat == nullptr) return QVA_ERR_UNSUPPORTED;
  const bool audio = instance->typeFlags & QVA_TYPE_AUDIO;
  const bool video = instance->typeFlags & QVA_TYPE_VIDEO;
  if (!audio && !video) return DeliverFormat(instance, pin, QVA_FORMATRECORD_OTHER, kOtherFormatSize);
  QVAStatus status = QVA_SUCCESS;
  if (audio) status = DeliverFormat(instance, pin, QVA_FORMATRECORD_AUDIO, kAudioFormatSize);
  if (video) status = DeliverFormat(instance, pin, QVA_FORMATRECORD_VIDEO, kVideoFormatSize);
  return status;
}

QVAStatus CompBase_GetFreeOutputSlot(void* context, ComponentBuffer** outBuffer) {
  return BufferQueue_Acquire(OutputQueue(context), QVA_SLOT_FREE, outBuffer, OutputTimeout(context));
}

QVAStatus CompBase_QueueOutput(void* context, ComponentBuffer* buffer) {
  return BufferQueue_Write(OutputQueue(context), buffer, OutputTimeout(context), nullptr);
}

QVAStatus CompBase_PullOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** buffer, uint32_t timeoutMs) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  ComponentBuffer* caller = *buffer;
  ComponentPin& p = instance->outputPin[pin];
  if (p.deliver == nullptr) {
    QVAStatus status = CompBase_ConnectOutput(instance, pin, CompBase_GetFreeOutputSlot, CompBase_QueueOutput, instance);
    if (status != QVA_SUCCESS) return status;
    if (p.queue == nullptr) {
      status = orx::framework::CreatePinQueue(instance, p, pin, QVA_QUEUE_OUTPUT);
      if (status != QVA_SUCCESS) return status;
    }
  }
  ComponentBuffer* found = nullptr;
  QVAStatus peeked = BufferQueue_Peek(p.queue, &found, timeoutMs);
  bool noOutputRound = false;
  while (peeked != QVA_SUCCESS) {
    if (noOutputRound) return QVA_ERR_NOBUFFER;
    if (peeked != QVA_ERR_NOBUFFERS) return QVA_ERR_NOBUFFERS;
    if (CompBase_IsRunning(instance)) return QVA_ERR_NOBUFFERS;
    // A synchronous round on the caller's thread.
    QVAHandle input = instance->inputPin[0].queue;
    ComponentBuffer* taken = nullptr;
    QVAStatus hook;
    if (instance->inputMode.load() == 1) {
      if (BufferQueue_Acquire(input, QVA_SLOT_FULL, &taken, 0) != QVA_SUCCESS) return QVA_ERR_NOBUFFERS;
      hook = orx::framework::RunProcessHook(instance, taken);
    } else {
      ComponentBuffer* waiting = nullptr;
      if (instance->inputPin[0].bufferCount > 1 && BufferQueue_Peek(input, &waiting, 0) != QVA_SUCCESS) {
        return QVA_ERR_NOBUFFERS;
      }
      hook = orx::framework::RunProcessHook(instance, nullptr);
    }
    if (taken != nullptr) {
      const uint32_t flags = taken->flags;
      BufferQueue_Commit(input, QVA_SLOT_FREE, taken, QVA_INFINITE);
      if (flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) CompBase_SendEndMarker(instance, pin, flags & QVA_BUFFLAG_EOI);
    }
    if (hook == QVA_ERR_NOBUFFER) noOutputRound = true;
    else if (hook != QVA_SUCCESS && hook != QVA_ERR_FULL) return hook;
    peeked = BufferQueue_Peek(p.queue, &found, timeoutMs);
  }
  if (caller == nullptr) {
    ComponentBuffer* record = nullptr;
    const QVAStatus status = BufferQueue_Acquire(p.queue, QVA_SLOT_FULL, &record, 0);
    if (status != QVA_SUCCESS) return status;
    *buffer = record;
    return QVA_SUCCESS;
  }
  if (found->length == 0) {
    ComponentBuffer* record = nullptr;
    const QVAStatus status = BufferQueue_Acquire(p.queue, QVA_SLOT_FULL, &record, 0);
    if (status != QVA_SUCCESS) return status;
    caller->flags = record->flags;
    caller->timestamp = record->timestamp;
    caller->length = record->length;
    caller->unitTag = record->unitTag;
    caller->bytesRead = record->bytesRead;
    return BufferQueue_Commit(p.queue, QVA_SLOT_FREE, record, QVA_INFINITE);
  }
  return BufferQueue_Read(p.queue, caller, timeoutMs);
}
