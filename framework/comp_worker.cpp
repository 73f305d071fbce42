// Initialisation and teardown of an instance, and the start and stop of its worker thread.
#include <algorithm>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {

constexpr uint32_t kStartWaitMs = 4000;
constexpr uint32_t kFinePollMs = 1;
constexpr uint32_t kStopPollMs = 50;

void DestroyInputQueues(ComponentInstance* instance) {
  for (uint32_t pin = 0; pin < kQVAInputPinSlots; ++pin) orx::framework::DestroyInputPinQueue(instance, pin);
}

// Joins and frees the stored worker thread object.
void ReclaimWorker(ComponentInstance* instance, QVAHandle thread) {
  orx::framework::SetWorkerThread(instance, nullptr);
  QVADestroyThread(thread, 1);
  instance->workerActivity = QVA_WORKER_NONE;
}

bool Ended(QVAHandle thread) { return QVAThreadGetStage(thread) == QVA_THREAD_ENDED; }

// The thread function of every worker CompBase_StartThread starts: the worker is no longer live
// once it returns (before its thread's stage says it ended).
uint32_t RunWorker(QVAHandle thread, void* argument) {
  auto* instance = static_cast<ComponentInstance*>(argument);
  const uint32_t result = instance->workerEntry(thread, instance);
  instance->workerLive.store(0);
  return result;
}

}  // namespace

QVAStatus CompBase_Init(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  instance->lastStatus = QVA_SUCCESS;
  instance->framesSinceStart = 0;
  CompBase_SetFlushRequest(instance, 0);
  CompBase_SetStreamStart(instance, 0);
  CompBase_SetEOS(instance, 0);
  const uint32_t pins = std::min(instance->inputPins, kQVAInputPinSlots);
  for (uint32_t pin = 0; pin < pins; ++pin) {
    ComponentPin& p = instance->inputPin[pin];
    if (p.setUp == 0 && instance->methods.QVAComp_GetInputPin != nullptr) {
      instance->methods.QVAComp_GetInputPin(instance, pin, nullptr, nullptr);
    }
    if (p.queue != nullptr || p.bufferSize == 0 || p.bufferCount == 0) continue;
    // The first failure decides: the instance stays in NONE.
    const QVAStatus status = orx::framework::CreatePinQueue(instance, p, pin, QVA_QUEUE_INPUT);
    if (status != QVA_SUCCESS) return status;
    BufferQueue_SetStateCallback(p.queue, CompBase_OnQueueState, instance);
  }
  CompBase_SetState(instance, QVA_STATE_INIT);
  return QVA_SUCCESS;
}

QVAStatus CompBase_Deinit(ComponentInstance* instance) {
  if (CompBase_IsRunning(instance)) return QVA_ERR_WRONGSTATE;
  // A worker that ended by itself is joined here at the latest.
  if (QVAHandle thread = orx::framework::WorkerThread(instance)) ReclaimWorker(instance, thread);
  orx::framework::ScopedLock lock(instance->processLock);
  CompBase_SetState(instance, QVA_STATE_NONE);
  DestroyInputQueues(instance);
  for (ComponentPin& pin : instance->outputPin) {
    orx::framework::DestroyPinQueue(pin);
    if (pin.getBuffer == CompBase_GetFreeOutputSlot) pin.getBuffer = nullptr;
    if (pin.deliver == CompBase_QueueOutput) pin.deliver = nullptr;
  }
  return QVA_SUCCESS;
}

QVAStatus CompBase_StartThread(ComponentInstance* instance, QVAThreadFn worker, uintptr_t) {
  if (QVAHandle stored = orx::framework::WorkerThread(instance)) {
    // A worker that ended by itself is reclaimed, so the instance can start again.
    if (!Ended(stored)) return QVA_ERR_WRONGSTATE;
    ReclaimWorker(instance, stored);
  }
  orx::framework::ScopedLock lock(instance->processLock);
  if (CompBase_IsRunning(instance) || CompBase_GetStateWord(instance) == QVA_STATE_DESTROYING) {
    return QVA_ERR_WRONGSTATE;
  }
  CompBase_Init(instance);
  if (worker == nullptr) return QVA_SUCCESS;
  instance->workerActivity = QVA_WORKER_STARTING;
  instance->workerEntry = worker;
  QVAHandle thread = QVACreateThread(RunWorker, instance, 0);
  if (thread == nullptr) {
    instance->workerActivity = QVA_WORKER_NONE;
    return QVA_ERR_EXECUTION;
  }
  orx::framework::SetWorkerThread(instance, thread);
  // Set before QVAStartThread runs the worker, so a worker that returns at once clears it after.
  instance->workerLive.store(1);
  if (instance->workerPriority != 0) QVASetThreadPriority(thread, instance->workerPriority);
  const bool paused = CompBase_IsState(instance, QVA_STATE_INIT | QVA_STATE_PAUSING | QVA_STATE_PAUSED);
  CompBase_SetState(instance, paused ? QVA_STATE_PAUSING : QVA_STATE_STARTING);
  const QVAStatus status = QVAStartThread(thread);
  if (status != QVA_SUCCESS) {
    // A thread that did not start is not kept: the next start makes a new one.
    instance->workerActivity = QVA_WORKER_NONE;
    CompBase_SetState(instance, QVA_STATE_IDLE);
    orx::framework::SetWorkerThread(instance, nullptr);
    QVADestroyThread(thread, 0);
    return status;
  }
  // Wait until it runs (or has already ended); a new thread runs within a millisecond or two.
  for (uint32_t waited = 0; QVAThreadGetStage(thread) == QVA_THREAD_CREATED && waited < kStartWaitMs;
       waited += kFinePollMs) {
    QVASleep(kFinePollMs);
  }
  return QVA_SUCCESS;
}

QVAStatus CompBase_StopThread(ComponentInstance* instance, uint32_t timeoutMs) {
  QVAHandle thread = orx::framework::WorkerThread(instance);
  if (thread == nullptr) return QVA_ERR_WRONGSTATE;
  // A worker still runs until its thread has ended: in INIT one that is ending by itself (its
  // error path leaves INIT just before it returns), in DESTROYING one whose stop ran out of time.
  // Either is stopped and waited for here, so the instance is never released under it.
  if (!Ended(thread)) {
    {
      orx::framework::ScopedLock lock(instance->processLock);
      CompBase_SetState(instance, QVA_STATE_DESTROYING);
    }
    uint32_t elapsed = 0;
    while (!Ended(thread)) {
      CompBase_ChangeState(instance, QVA_STATES_STOPPABLE, QVA_STATE_DESTROYING);
      CompBase_CloseInputs(instance, 0, orx::framework::kAllPins, 1, 0);
      if (timeoutMs != QVA_INFINITE && elapsed >= timeoutMs) return QVA_ERR_TIMEOUT;
      // Every 50 ms the stop is asserted again; in between the end is noticed at once.
      for (uint32_t slept = 0; slept < kStopPollMs && !Ended(thread); slept += kFinePollMs) QVASleep(kFinePollMs);
      elapsed += kStopPollMs;
    }
  }
  CompBase_CloseInputs(instance, 0, orx::framework::kAllPins, 1, 0);
  ReclaimWorker(instance, thread);
  DestroyInputQueues(instance);
  orx::framework::ScopedLock lock(instance->processLock);
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) CompBase_SetState(instance, QVA_STATE_INIT);
  return QVA_SUCCESS;
}

QVAStatus CompBase_SetPriority(ComponentInstance* instance, int32_t priority) {
  instance->workerPriority = priority;
  QVAHandle thread = orx::framework::WorkerThread(instance);
  if (priority != 0 && thread != nullptr) return QVASetThreadPriority(thread, priority);
  return QVA_SUCCESS;
}
