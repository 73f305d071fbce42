// The state word, the end and flush words, and the commands.
#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {

using orx::framework::kEosReached;
using orx::framework::kEosSecondForm;
using orx::framework::kEosFamily;
using orx::framework::kEoiReached;
using orx::framework::kEoiSecondForm;
using orx::framework::kEoiFamily;
using orx::framework::kInputEnded;
using orx::framework::kInputEndFamily;

constexpr uint32_t kStatePollMs = 30;
constexpr uint32_t kTraceState = 1;

void Trace(ComponentInstance* instance, const char* format, uint32_t from, uint32_t to) {
  if (EventManager* manager = instance->eventManager.load()) EventManager_Add(manager, kTraceState, format, from, to);
}

// The queue side of a state change: leaving the active group for the end group closes the input
// queues, coming back reopens them.
void ApplyGroupChange(ComponentInstance* instance, uint32_t from, uint32_t to) {
  if (QVAMaskTest(from, QVA_STATES_ACTIVE) && QVAMaskTest(to, QVA_STATES_END)) {
    CompBase_CloseInputs(instance, 0, orx::framework::kAllPins, 1, 0);
  } else if (QVAMaskTest(from, QVA_STATES_END) && QVAMaskTest(to, QVA_STATES_ACTIVE)) {
    CompBase_CloseInputs(instance, 0, orx::framework::kAllPins, 0, 0);
  }
}

void SendStateEvent(ComponentInstance* instance, uint32_t from, uint32_t to) {
  if (from == to || (instance->eventMask.load() & PROGRESS_STATE) == 0) return;
  ProgressStateRecord record{};
  record.size = sizeof record;
  record.instance = instance;
  record.newState = to;
  record.oldState = from;
  orx::framework::SendEvent(instance, PROGRESS_STATE, &record, sizeof record);
}

bool Waits(uint32_t timeoutMs) { return timeoutMs != 0; }

// Waits (when a time-out is given) until the state is left.
void WaitToLeave(ComponentInstance* instance, uint32_t state, uint32_t timeoutMs) {
  if (Waits(timeoutMs)) CompBase_WaitForState(instance, ~state, timeoutMs);
}

void ClearEndWords(ComponentInstance* instance) {
  CompBase_SetEOS(instance, 0);
  CompBase_SetStreamStart(instance, 0);
}

QVAStatus Play(ComponentInstance* instance) {
  CompBase_SetFlushRequest(instance, 0);
  if (!CompBase_IsRunning(instance)) return QVA_ERR_WRONGSTATE;
  if (CompBase_ChangeState(instance, QVA_STATE_STOPPED, QVA_STATE_STARTING)) {
    ClearEndWords(instance);
    return QVA_SUCCESS;
  }
  if (CompBase_ChangeState(instance, QVA_STATE_STOPPING, QVA_STATE_STARTING)) return QVA_SUCCESS;
  if (CompBase_ChangeState(instance, QVA_STATE_STEPPING | QVA_STATE_PAUSING, QVA_STATE_STARTING)) return QVA_SUCCESS;
  if (CompBase_ChangeState(instance, QVA_STATE_PAUSED, QVA_STATE_PLAYING)) return QVA_SUCCESS;
  return CompBase_IsState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING) ? QVA_SUCCESS : QVA_ERR_WRONGSTATE;
}

QVAStatus Pause(ComponentInstance* instance, uint32_t timeoutMs) {
  if (!CompBase_IsRunning(instance)) return QVA_ERR_WRONGSTATE;
  if (CompBase_ChangeState(instance, QVA_STATE_IDLE, QVA_STATE_PAUSING)) {
    CompBase_ChangeState(instance, QVA_STATE_PAUSING, QVA_STATE_PAUSED);
    return QVA_SUCCESS;
  }
  bool pausing = CompBase_ChangeState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING | QVA_STATE_STOPPING,
                                      QVA_STATE_PAUSING) ||
                 CompBase_GetStateWord(instance) == QVA_STATE_PAUSING;
  if (!pausing && CompBase_ChangeState(instance, QVA_STATE_STOPPED, QVA_STATE_PAUSING)) {
    ClearEndWords(instance);
    pausing = true;
  }
  if (pausing) {
    WaitToLeave(instance, QVA_STATE_PAUSING, timeoutMs);
    return QVA_SUCCESS;
  }
  return CompBase_GetStateWord(instance) == QVA_STATE_PAUSED ? QVA_SUCCESS : QVA_ERR_WRONGSTATE;
}

QVAStatus Stop(ComponentInstance* instance, uint32_t timeoutMs) {
  if (CompBase_ChangeState(instance, QVA_STATES_ACTIVE, QVA_STATE_STOPPING) ||
      CompBase_GetStateWord(instance) == QVA_STATE_STOPPING) {
    WaitToLeave(instance, QVA_STATE_STOPPING, timeoutMs);
    return QVA_SUCCESS;
  }
  return CompBase_GetStateWord(instance) == QVA_STATE_STOPPED ? QVA_SUCCESS : QVA_ERR_WRONGSTATE;
}

QVAStatus Step(ComponentInstance* instance, uint32_t timeoutMs) {
  if (!CompBase_IsRunning(instance)) return QVA_ERR_WRONGSTATE;
  if (CompBase_GetStateWord(instance) == QVA_STATE_PAUSING) WaitToLeave(instance, QVA_STATE_PAUSING, timeoutMs);
  constexpr uint32_t kSteppable = QVA_STATE_IDLE | QVA_STATE_STARTING | QVA_STATE_PLAYING | QVA_STATE_PAUSING |
                                  QVA_STATE_PAUSED | QVA_STATE_STOPPING;
  bool stepping = CompBase_ChangeState(instance, kSteppable, QVA_STATE_STEPPING) ||
                  CompBase_GetStateWord(instance) == QVA_STATE_STEPPING;
  if (!stepping && CompBase_ChangeState(instance, QVA_STATE_STOPPED, QVA_STATE_STEPPING)) {
    ClearEndWords(instance);
    stepping = true;
  }
  if (!stepping) return QVA_ERR_WRONGSTATE;
  WaitToLeave(instance, QVA_STATE_STEPPING, timeoutMs);
  return QVA_SUCCESS;
}

QVAStatus Empty(ComponentInstance* instance, uint32_t timeoutMs) {
  const uint32_t before = CompBase_GetStateWord(instance);
  bool changed = false;
  if (CompBase_IsRunning(instance) &&
      CompBase_ChangeState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING, QVA_STATE_PAUSING)) {
    CompBase_FlushQueues(instance, 1, orx::framework::kAllPins, 0);
    if (instance->workerActivity.load() & QVA_WORKER_PROCESSING) {
      WaitToLeave(instance, QVA_STATE_PAUSING, timeoutMs);
    }
    changed = true;
  }
  CompBase_SetFlushRequest(instance, 0);
  CompBase_FlushQueues(instance, 0, orx::framework::kAllPins, 0);
  CompBase_FlushQueues(instance, 1, orx::framework::kAllPins, 0);
  if (changed) CompBase_SetState(instance, before);
  return QVA_SUCCESS;
}

bool StartingOrPlaying(ComponentInstance* instance) {
  return CompBase_IsState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING) != 0;
}

QVAStatus Flush(ComponentInstance* instance, uintptr_t param1, uint32_t timeoutMs) {
  constexpr uint32_t kFlushRequested = 1;
  constexpr uint32_t kComponentFlushing = 2;
  constexpr uint32_t kClearedByCommand = 4;
  CompBase_UpdateFlushRequest(instance, kClearedByCommand, 0);
  uint32_t elapsed = 0;
  if (param1 == 0) {
    if (timeoutMs != 0) {
      while (CompBase_IsRunning(instance) && StartingOrPlaying(instance) &&
             CompBase_IsFlushRequest(instance, kComponentFlushing)) {
        QVASleep(kStatePollMs);
        elapsed += kStatePollMs;
        if (timeoutMs != QVA_INFINITE && elapsed > timeoutMs) return QVA_ERR_TIMEOUT;
      }
    }
    CompBase_SetFlushRequest(instance, 0);
    return QVA_SUCCESS;
  }
  if (!CompBase_IsRunning(instance)) {
    if (!(instance->flushWord.load() & kComponentFlushing)) CompBase_SetFlushRequest(instance, kFlushRequested);
    return QVA_SUCCESS;
  }
  CompBase_UpdateFlushRequest(instance, 0, kFlushRequested);
  for (;;) {
    if (!CompBase_IsRunning(instance) || !StartingOrPlaying(instance)) {
      CompBase_SetFlushRequest(instance, 0);
      return QVA_ERR_WRONGSTATE;
    }
    ComponentBuffer* waiting = nullptr;
    const bool queued = BufferQueue_Peek(instance->inputPin[0].queue, &waiting, 0) == QVA_SUCCESS;
    if (!queued && !(instance->flushWord.load() & kComponentFlushing)) return QVA_SUCCESS;
    if (timeoutMs == 0) return QVA_ERR_TIMEOUT;
    QVASleep(kStatePollMs);
    elapsed += kStatePollMs;
    if (timeoutMs != QVA_INFINITE && elapsed > timeoutMs) return QVA_ERR_TIMEOUT;
  }
}

}  // namespace

namespace orx::framework {

QVAHandle WorkerThread(ComponentInstance* instance) {
  orx::framework::ScopedLock lock(instance->stateLock);
  return instance->workerThread;
}

void SetWorkerThread(ComponentInstance* instance, QVAHandle thread) {
  orx::framework::ScopedLock lock(instance->stateLock);
  instance->workerThread = thread;
  if (thread == nullptr) instance->workerLive.store(0);
}

void SendEvent(ComponentInstance* instance, uint32_t eventId, void* record, uint32_t size) {
  if (QVAEventCallbackFn callback = instance->eventCallback.load()) {
    callback(instance, eventId, record, size, instance->eventUser.load());
  }
}

}  // namespace orx::framework

uint32_t CompBase_IsState(ComponentInstance* instance, uint32_t mask) {
  return QVAMaskTest(instance->state.load(), mask) ? 1 : 0;
}

QVAStatus CompBase_GetState(ComponentInstance* instance, uint32_t* outState) {
  if (outState != nullptr) *outState = instance->state.load();
  return QVA_SUCCESS;
}

uint32_t CompBase_GetStateWord(ComponentInstance* instance) { return instance->state.load(); }

uint32_t CompBase_WaitForState(ComponentInstance* instance, uint32_t mask, uint32_t timeoutMs) {
  uint32_t elapsed = 0;
  for (;;) {
    if (CompBase_IsState(instance, mask)) return 1;
    QVASleep(kStatePollMs);
    elapsed += kStatePollMs;
    if (timeoutMs != QVA_INFINITE && elapsed >= timeoutMs) return 0;
  }
}

uint32_t CompBase_IsRunning(ComponentInstance* instance) {
  // A worker started here and not yet returned runs; anything else is looked at under the lock.
  if (instance->workerLive.load() != 0) return instance->state.load() != QVA_STATE_DESTROYING ? 1 : 0;
  orx::framework::ScopedLock lock(instance->stateLock);
  return instance->workerThread != nullptr && QVAThreadGetStage(instance->workerThread) != QVA_THREAD_ENDED &&
                 instance->state.load() != QVA_STATE_DESTROYING
             ? 1
             : 0;
}

void CompBase_AttachThread(ComponentInstance* instance, QVAHandle thread) {
  instance->workerActivity = QVA_WORKER_IDLE;
  orx::framework::ScopedLock lock(instance->stateLock);
  if (instance->workerThread == nullptr) instance->workerThread = thread;
}

void CompBase_SetState(ComponentInstance* instance, uint32_t state) {
  if (instance->state.load() == state) return;
  uint32_t from;
  uint32_t to = state;
  {
    orx::framework::ScopedLock lock(instance->stateLock);
    from = instance->state.load();
    if (from == QVA_STATE_DESTROYING && to != QVA_STATE_NONE && to != QVA_STATE_INIT) to = from;
    ApplyGroupChange(instance, from, to);
    Trace(instance, "State 0x%X->0x%X", from, to);
    instance->state = to;
  }
  SendStateEvent(instance, from, to);
}

uint32_t CompBase_ChangeState(ComponentInstance* instance, uint32_t fromMask, uint32_t state) {
  if (instance->state.load() == state) return 0;
  uint32_t from;
  {
    orx::framework::ScopedLock lock(instance->stateLock);
    from = instance->state.load();
    if (!QVAMaskTest(from, fromMask)) return 0;
    if (from == QVA_STATE_DESTROYING && state != QVA_STATE_NONE && state != QVA_STATE_INIT) return 0;
    ApplyGroupChange(instance, from, state);
    instance->state = state;
  }
  SendStateEvent(instance, from, state);
  return 1;
}

void CompBase_SetStreamStart(ComponentInstance* instance, uint32_t value) {
  const uint32_t word = instance->streamStartWord.load();
  if (word == value) return;
  if (value == 1) {
    if (!(word & (0x1 | 0x4 | 0x8))) instance->streamStartWord = 1;
  } else {
    instance->streamStartWord = value != 0 ? word | value : 0;
  }
}

uint32_t CompBase_GetStreamStart(ComponentInstance* instance) { return instance->streamStartWord.load(); }

namespace {

// The rule of the end-of-stream and end-of-input setters: the first forms (f1, f2) are taken only
// while no bit of the family is set; other values are ORed in, 0 clears.
void SetEndWord(ComponentInstance* instance, std::atomic<uint32_t>& endWord, uint32_t value, uint32_t firstForms,
                uint32_t family, const char* trace) {
  const uint32_t old = endWord.load();
  if (old == value) return;
  if (value & firstForms) {
    if (old & family) return;
    Trace(instance, trace, old, value);
    endWord = value;
    return;
  }
  Trace(instance, trace, old, value);
  endWord = value != 0 ? old | value : 0;
}

}  // namespace

void CompBase_SetEOS(ComponentInstance* instance, uint32_t value) {
  SetEndWord(instance, instance->eosWord, value, kEosReached | kEosSecondForm, kEosFamily, "EOS 0x%X->0x%X");
}

uint32_t CompBase_GetEOS(ComponentInstance* instance) { return instance->eosWord.load(); }

void CompBase_SetEOI(ComponentInstance* instance, uint32_t value) {
  SetEndWord(instance, instance->eoiWord, value, kEoiReached | kEoiSecondForm, kEoiFamily, "EOI 0x%X->0x%X");
}

uint32_t CompBase_GetEOI(ComponentInstance* instance) { return instance->eoiWord.load(); }

void CompBase_SetInputEnd(ComponentInstance* instance, uint32_t value) {
  const uint32_t word = instance->inputEndWord.load();
  if (word == value) return;
  if (value == kInputEnded) {
    if (!(word & kInputEndFamily)) instance->inputEndWord = kInputEnded;
  } else {
    instance->inputEndWord = value != 0 ? word | value : 0;
  }
}

uint32_t CompBase_GetInputEnd(ComponentInstance* instance) { return instance->inputEndWord.load(); }

void CompBase_SetFlushRequest(ComponentInstance* instance, uint32_t value) {
  orx::framework::ScopedLock lock(instance->stateLock);
  instance->flushWord = value;
}

uint32_t CompBase_IsFlushRequest(ComponentInstance* instance, uint32_t mask) {
  return QVAMaskTest(instance->flushWord.load(), mask) ? 1 : 0;
}

QVAStatus CompBase_UpdateFlushRequest(ComponentInstance* instance, uint32_t mask, uint32_t value) {
  orx::framework::ScopedLock lock(instance->stateLock);
  const uint32_t word = instance->flushWord.load();
  if (word != value && QVAMaskTest(word, mask)) instance->flushWord = value;
  return QVA_SUCCESS;
}

void CompBase_LockProcessing(ComponentInstance* instance) { QVALock(instance->processLock); }
void CompBase_UnlockProcessing(ComponentInstance* instance) { QVAUnlock(instance->processLock); }

QVAStatus CompBase_SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t param1, uintptr_t,
                               uintptr_t, uintptr_t, uint32_t timeoutMs) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  switch (command) {
    case CMD_PLAY: return Play(instance);
    case CMD_PAUSE: return Pause(instance, timeoutMs);
    case CMD_STOP: return Stop(instance, timeoutMs);
    case CMD_STEP: return Step(instance, timeoutMs);
    case CMD_EMPTY: return Empty(instance, timeoutMs);
    case CMD_FLUSH: return Flush(instance, param1, timeoutMs);
    default: return QVA_ERR_UNSUPPORTED;
  }
}
