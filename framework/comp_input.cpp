// Input delivery: the default entry points of input pins, taking and returning input, flushing
// and closing pin queues, the input modes, and the input methods of the method table.
#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {

constexpr uint32_t kTraceInput = 4;
constexpr uint32_t kFormatWaitMs = 1000;
constexpr uint32_t kFormatPollMs = 50;
constexpr uint32_t kPushRoundingBytes = 1024;

bool StoppingOrStopped(ComponentInstance* instance) {
  return CompBase_IsState(instance, QVA_STATE_STOPPING | QVA_STATE_STOPPED) != 0;
}

// A NULL context stands for the library's first live instance.
ComponentInstance* ResolveInstance(void* context) {
  return context != nullptr ? static_cast<ComponentInstance*>(context) : CompBase_GetInstance(0);
}

bool AllBits(uint32_t flags, uint32_t bits) { return (flags & bits) == bits; }

// An empty slot of an input pin's queue for an upstream producer, waiting up to the time-out.
QVAStatus GetEmptyInputTimed(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer,
                             uint32_t timeoutMs) {
  if (outBuffer != nullptr) *outBuffer = nullptr;
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  if (!CompBase_IsRunning(instance) || StoppingOrStopped(instance)) return QVA_ERR_STOPPED;
  const orx::framework::InputQueueUse use(instance, pin);
  QVAHandle queue = use.queue();
  ComponentBuffer* slot = nullptr;
  const QVAStatus status = BufferQueue_Acquire(queue, QVA_SLOT_FREE, &slot, timeoutMs);
  if (!CompBase_IsRunning(instance) || StoppingOrStopped(instance)) {
    // The worker went away meanwhile: the slot goes back and must not be used.
    if (slot != nullptr) BufferQueue_Commit(queue, QVA_SLOT_FREE, slot, QVA_INFINITE);
    return QVA_ERR_STOPPED;
  }
  if (outBuffer != nullptr) *outBuffer = slot;
  return status;
}

bool IsDefaultGetEntry(QVAGetEmptyBufferFn entry) {
  return entry == CompBase_GetEmptyInput0 || entry == CompBase_GetEmptyInput1;
}

// Input mode 3: the push goes through the pin's deliver entry, as often as the queue takes part
// of it; without output pins the hook runs idle rounds on the caller's thread in between.
QVAStatus PushThroughDeliverEntry(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer,
                                  uint32_t* outBytesTaken) {
  ComponentPin& p = instance->inputPin[pin];
  if (p.deliver == nullptr) return QVA_ERR_WRITE;
  uint8_t* const data = buffer->data;
  const uint32_t length = buffer->length;
  const uintptr_t bytesRead = buffer->bytesRead;
  uint32_t taken = 0;
  QVAStatus result = QVA_SUCCESS;
  bool stop = false;
  do {
    buffer->bytesRead = 0;
    result = p.deliver(instance, buffer);
    uint32_t bytes = 0;
    if (result == QVA_ERR_TIMEOUT) result = QVA_ERR_FULL;
    if (result == QVA_SUCCESS) bytes = buffer->length;
    else if (result == QVA_ERR_FULL) bytes = static_cast<uint32_t>(buffer->bytesRead);
    taken += bytes;
    buffer->data += bytes;
    buffer->length -= bytes;
    if (instance->outputPins != 0) {
      stop = true;
    } else if (result == QVA_ERR_FULL || bytes > 0) {
      for (;;) {
        const QVAStatus idle = orx::framework::RunProcessHook(instance, nullptr);
        if (idle == QVA_SUCCESS) continue;
        if (idle != QVA_ERR_NOBUFFER) {
          result = idle;
          stop = true;
        }
        break;
      }
    }
  } while (result == QVA_ERR_FULL && !stop);
  buffer->data = data;
  buffer->length = length;
  buffer->bytesRead = bytesRead;
  if (outBytesTaken != nullptr) *outBytesTaken = taken;
  if (result == QVA_ERR_FULL) return result;
  if (p.pinCallback != nullptr) p.pinCallback(instance, buffer, pin, p.pinCallbackUser);
  return result;
}

bool QueueHoldsNothing(QVAHandle queue) {
  uint32_t inUse = 0;
  return queue == nullptr || (BufferQueue_GetStatus(queue, nullptr, nullptr, &inUse, nullptr) == QVA_SUCCESS &&
                              inUse == 0);
}

}  // namespace

QVAStatus CompBase_GetEmptyInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer) {
  return GetEmptyInputTimed(ResolveInstance(instance), pin, outBuffer, QVA_INFINITE);
}

QVAStatus CompBase_GetEmptyInput0(void* context, ComponentBuffer** outBuffer) {
  return CompBase_GetEmptyInput(static_cast<ComponentInstance*>(context), 0, outBuffer);
}

QVAStatus CompBase_GetEmptyInput1(void* context, ComponentBuffer** outBuffer) {
  return CompBase_GetEmptyInput(static_cast<ComponentInstance*>(context), 1, outBuffer);
}

QVAStatus CompBase_DeliverInput(ComponentInstance* context, uint32_t pin, ComponentBuffer* buffer) {
  ComponentInstance* instance = ResolveInstance(context);
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  if (EventManager* manager = instance->eventManager.load()) {
    EventManager_Add(manager, kTraceInput, "Input%d(data=%u,pts=%d)", pin, buffer->length,
                     static_cast<uint32_t>(buffer->timestamp));
  }
  const bool running = CompBase_IsRunning(instance) != 0;
  // Once committed, an own slot belongs to the consumer: nothing of it is read afterwards.
  const uint32_t flags = buffer->flags;
  const uint32_t length = buffer->length;
  QVAStatus status;
  uint32_t taken = 0;
  {
    const orx::framework::InputQueueUse use(instance, pin);
    QVAHandle queue = use.queue();
    uint32_t own = 0;
    status = BufferQueue_CommitOwn(queue, buffer, &own);
    if (own) {
      if (status == QVA_SUCCESS) taken = length;
    } else {
      status = BufferQueue_Write(queue, buffer, running ? QVA_INFINITE : 0, &taken);
      // The word holds the sender's reference handle or a seek offset when these flags say so.
      if (!(flags & (QVA_BUFFLAG_REFHANDLE | QVA_BUFFLAG_SEEKHIGH))) buffer->bytesRead = taken;
    }
  }
  orx::framework::CountInputBuffer(instance, taken);
  if ((flags & QVA_BUFFLAG_FORMAT) && running) {
    // Give the worker the chance to take the new format before more data comes.
    for (uint32_t waited = 0; waited < kFormatWaitMs && CompBase_IsRunning(instance) &&
                              CompBase_IsState(instance, QVA_STATE_STARTING | QVA_STATE_PAUSING);
         waited += kFormatPollMs) {
      QVASleep(kFormatPollMs);
    }
  }
  return status;
}

QVAStatus CompBase_DeliverInput0(void* context, ComponentBuffer* buffer) {
  return CompBase_DeliverInput(static_cast<ComponentInstance*>(context), 0, buffer);
}

QVAStatus CompBase_DeliverInput1(void* context, ComponentBuffer* buffer) {
  return CompBase_DeliverInput(static_cast<ComponentInstance*>(context), 1, buffer);
}

QVAStatus CompBase_TakeInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer,
                             uint32_t timeoutMs) {
  if (outBuffer != nullptr) *outBuffer = nullptr;
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  QVAHandle queue = instance->inputPin[pin].queue;
  if (queue == nullptr) {
    instance->lastStatus = QVA_ERR_COMPONENTS;
    return QVA_ERR_COMPONENTS;
  }
  ComponentBuffer* buffer = nullptr;
  const QVAStatus status = BufferQueue_Acquire(queue, QVA_SLOT_FULL, &buffer, timeoutMs);
  if (status == QVA_SUCCESS) {
    orx::framework::CountProcessedBuffer(instance, buffer->length);
    if (outBuffer != nullptr) *outBuffer = buffer;
    return QVA_SUCCESS;
  }
  if (status == QVA_ERR_WRONGSTATE && StoppingOrStopped(instance)) return QVA_ERR_STOPPED;
  return status;
}

QVAStatus CompBase_ReturnInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer) {
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  QVAHandle queue = instance->inputPin[pin].queue;
  if (queue == nullptr) {
    instance->lastStatus = QVA_ERR_COMPONENTS;
    return QVA_ERR_COMPONENTS;
  }
  return BufferQueue_Commit(queue, QVA_SLOT_FREE, buffer, QVA_INFINITE);
}

QVAStatus CompBase_GetInputBuffer(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer,
                                  uint32_t timeoutMs) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (outBuffer == nullptr) return QVA_ERR_BADARG;
  *outBuffer = nullptr;
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->inputPin[pin];
  if (CompBase_IsRunning(instance) && p.getBuffer != nullptr) {
    // The framework's own entry takes the caller's time-out; a glue's entry is called as it is.
    const QVAStatus status = IsDefaultGetEntry(p.getBuffer) ? GetEmptyInputTimed(instance, pin, outBuffer, timeoutMs)
                                                             : p.getBuffer(instance, outBuffer);
    if (status == QVA_SUCCESS) return QVA_SUCCESS;
  }
  return BufferQueue_Acquire(p.queue, QVA_SLOT_FREE, outBuffer, timeoutMs);
}

QVAStatus CompBase_ReleaseBuffer(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  if (BufferQueue_Commit(instance->outputPin[pin].queue, QVA_SLOT_FREE, buffer, QVA_INFINITE) == QVA_SUCCESS) {
    return QVA_SUCCESS;
  }
  return BufferQueue_Commit(instance->inputPin[0].queue, QVA_SLOT_FREE, buffer, QVA_INFINITE);
}

QVAStatus CompBase_PushInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer, uint32_t timeoutMs,
                             uint32_t* outBytesTaken) {
  if (outBytesTaken != nullptr) *outBytesTaken = 0;
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (pin > 1) return QVA_ERR_BADARG;
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  if (pin >= instance->inputPins) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->inputPin[pin];
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    // Fed without a start: the pin grows to the first buffer, then the component is created.
    if (buffer->length > kPushRoundingBytes && buffer->length > p.bufferSize) {
      p.bufferSize = (buffer->length + kPushRoundingBytes - 1) / kPushRoundingBytes * kPushRoundingBytes;
    }
    const QVAStatus created = CompCreateHook(instance);
    if (created != QVA_SUCCESS) return created;
  }
  if (instance->inputMode.load() == 3) return PushThroughDeliverEntry(instance, pin, buffer, outBytesTaken);
  if (instance->outputPins == 0) {
    const QVAStatus status = orx::framework::RunProcessHook(instance, buffer);
    if (outBytesTaken != nullptr) *outBytesTaken = status == QVA_SUCCESS ? buffer->length : 0;
    return status;
  }
  const bool audioFormat = AllBits(buffer->flags, QVA_BUFFLAG_FORMAT_AUDIO);
  const bool videoFormat = AllBits(buffer->flags, QVA_BUFFLAG_FORMAT_VIDEO);
  if ((audioFormat || (videoFormat && !CompBase_IsRunning(instance))) && QueueHoldsNothing(p.queue)) {
    // A format record reaching an empty queue is applied at once on the caller's thread.
    QVAStatus status;
    {
      orx::framework::ScopedLock lock(instance->processLock);
      status = orx::framework::RunProcessHook(instance, buffer);
    }
    if (outBytesTaken != nullptr) *outBytesTaken = buffer->length;
    return status;
  }
  uint32_t queued = 0;
  const QVAStatus status = BufferQueue_Write(p.queue, buffer, timeoutMs, &queued);
  if (outBytesTaken != nullptr) *outBytesTaken = queued;
  return status;
}

QVAStatus CompBase_FlushQueues(ComponentInstance* instance, uint32_t direction, uint32_t pin, uint32_t) {
  ComponentPin* pins = nullptr;
  uint32_t count = 0;
  if (direction == 0) {
    pins = instance->inputPin;
    count = kQVAInputPinSlots;
  } else if (direction == 1) {
    pins = instance->outputPin;
    count = kQVAOutputPinSlots;
  } else {
    return QVA_SUCCESS;
  }
  if (pin != orx::framework::kAllPins && pin >= count) return QVA_ERR_BADARG;
  for (uint32_t i = 0; i < count; ++i) {
    if ((pin == orx::framework::kAllPins || pin == i) && pins[i].queue != nullptr) BufferQueue_Flush(pins[i].queue);
  }
  return QVA_SUCCESS;
}

QVAStatus CompBase_CloseInputs(ComponentInstance* instance, uint32_t direction, uint32_t pin, uint32_t close,
                               uint32_t wait) {
  if (direction != 0) return QVA_ERR_BADARG;
  if (pin != orx::framework::kAllPins && pin >= kQVAInputPinSlots) return QVA_ERR_BADARG;
  for (uint32_t i = 0; i < kQVAInputPinSlots; ++i) {
    QVAHandle queue = instance->inputPin[i].queue;
    if ((pin != orx::framework::kAllPins && pin != i) || queue == nullptr) continue;
    if (close != 0) BufferQueue_Close(queue, wait);
    else BufferQueue_Open(queue);
  }
  return QVA_SUCCESS;
}

ComponentInstance* CompBase_SetInputMode(ComponentInstance* instance, uint32_t mode) {
  instance->inputMode = mode;
  return instance;
}
