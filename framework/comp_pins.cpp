// Pins: handing out input entry points, connecting outputs, pin callbacks and pin queues.
#include <algorithm>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace orx::framework {

QVAStatus CreatePinQueue(ComponentInstance* instance, ComponentPin& pin, uint32_t pinNumber, uint32_t direction) {
  QVAHandle queue = nullptr;
  const QVAStatus status = BufferQueue_Create(pin.bufferSize, pin.bufferCount, &queue);
  if (status != QVA_SUCCESS) return status;
  BufferQueue_SetName(queue, LibraryName().c_str(), direction);
  if (pin.pinCallback != nullptr) {
    BufferQueue_SetBufferCallback(queue, pin.pinCallback, instance, pinNumber, pin.pinCallbackUser);
  }
  pin.queue = queue;
  return QVA_SUCCESS;
}

void DestroyPinQueue(ComponentPin& pin) {
  if (pin.queue == nullptr) return;
  BufferQueue_Destroy(pin.queue, 0);
  pin.queue = nullptr;
}

// The user count is raised before the queue word is read and the word is cleared before the
// count is read (both sequentially consistent): a user the destroyer does not wait for finds no
// queue.
InputQueueUse::InputQueueUse(ComponentInstance* instance, uint32_t pin) : users_(instance->inputQueueUsers[pin]) {
  users_.fetch_add(1);
  queue_ = std::atomic_ref<QVAHandle>(instance->inputPin[pin].queue).load();
}

InputQueueUse::~InputQueueUse() { users_.fetch_sub(1); }

void DestroyInputPinQueue(ComponentInstance* instance, uint32_t pin) {
  ComponentPin& p = instance->inputPin[pin];
  QVAHandle queue = p.queue;
  if (queue == nullptr) return;
  BufferQueue_Close(queue, 0);
  std::atomic_ref<QVAHandle>(p.queue).store(nullptr);
  while (instance->inputQueueUsers[pin].load() != 0) QVASleep(1);
  BufferQueue_Destroy(queue, 0);
}

}  // namespace orx::framework

namespace {

// The descriptor's counts, never beyond the pin arrays.
uint32_t InputPinCount(const ComponentInstance* instance) { return std::min(instance->inputPins, kQVAInputPinSlots); }
uint32_t OutputPinCount(const ComponentInstance* instance) {
  return std::min(instance->outputPins, kQVAOutputPinSlots);
}

// The size and count rule of pin set-up: true when the values were stored.
bool StoreSizes(ComponentPin& pin, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0) return false;
  if (pin.queue != nullptr && size <= pin.bufferSize && count <= pin.bufferCount) return false;
  pin.bufferSize = size;
  pin.bufferCount = count;
  return true;
}

}  // namespace

QVAStatus CompBase_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                               QVADeliverBufferFn* outDeliver, uint32_t bufferSize, uint32_t bufferCount) {
  if (pin >= InputPinCount(instance)) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->inputPin[pin];
  if (p.queue == nullptr && bufferSize != 0 && bufferCount != 0) {
    p.bufferSize = bufferSize;
    p.bufferCount = bufferCount;
  }
  if (p.getBuffer == nullptr && p.deliver == nullptr) {
    p.getBuffer = pin == 0 ? CompBase_GetEmptyInput0 : CompBase_GetEmptyInput1;
    p.deliver = pin == 0 ? CompBase_DeliverInput0 : CompBase_DeliverInput1;
  }
  if (outGet != nullptr) *outGet = p.getBuffer;
  if (outDeliver != nullptr) *outDeliver = p.deliver;
  p.setUp = 1;
  p.hasEntryPoints = (p.getBuffer != nullptr || p.deliver != nullptr) ? 1 : 0;
  return QVA_SUCCESS;
}

QVAStatus CompBase_ConnectOutput(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                 QVADeliverBufferFn deliver, void* context) {
  if (pin >= OutputPinCount(instance)) return QVA_ERR_UNSUPPORTED;
  ComponentPin& p = instance->outputPin[pin];
  p.context = context;
  p.getBuffer = get;
  p.deliver = deliver;
  p.setUp = 1;
  p.hasEntryPoints = (get != nullptr || deliver != nullptr) ? 1 : 0;
  return QVA_SUCCESS;
}

uint32_t CompBase_IsPinConnected(ComponentInstance* instance, uint32_t direction, uint32_t pin) {
  if (direction == 0 && pin < kQVAInputPinSlots) return instance->inputPin[pin].hasEntryPoints;
  if (direction == 1 && pin < kQVAOutputPinSlots) return instance->outputPin[pin].hasEntryPoints;
  return 0;
}

QVAHandle CompBase_GetInputQueue(ComponentInstance* instance, uint32_t pin) {
  return pin < kQVAInputPinSlots ? instance->inputPin[pin].queue : nullptr;
}

QVAStatus CompBase_SetPinCallback(ComponentInstance* instance, uint32_t direction, uint32_t pin,
                                  QVAPinCallbackFn callback, void* user) {
  ComponentPin* p = nullptr;
  if (direction == 0) {
    if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
    p = &instance->inputPin[pin];
  } else if (direction == 1) {
    if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
    p = &instance->outputPin[pin];
  } else {
    return QVA_ERR_BADARG;
  }
  p->pinCallback = callback;
  p->pinCallbackUser = user;
  // Without a queue yet the callback is kept and installed when the queue is made.
  if (p->queue == nullptr) return QVA_ERR_BADARG;
  return BufferQueue_SetBufferCallback(p->queue, callback, instance, pin, user);
}

QVAStatus CompBase_SetupInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                 QVADeliverBufferFn deliver, uint32_t bufferSize, uint32_t bufferCount) {
  if (pin >= kQVAInputPinSlots) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->inputPin[pin];
  if (get != nullptr) p.getBuffer = get;
  if (deliver != nullptr) p.deliver = deliver;
  if (p.getBuffer != nullptr) p.hasEntryPoints = 1;
  else if (p.setUp == 0) p.hasEntryPoints = 0;
  if (StoreSizes(p, bufferSize, bufferCount) && p.queue != nullptr) {
    return BufferQueue_Resize(p.queue, p.bufferSize, p.bufferCount);
  }
  if (p.queue != nullptr) return QVA_SUCCESS;
  return orx::framework::CreatePinQueue(instance, p, pin, QVA_QUEUE_INPUT);
}

QVAStatus CompBase_SetupOutputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                  QVADeliverBufferFn deliver, void* context, uint32_t bufferSize,
                                  uint32_t bufferCount) {
  if (pin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  ComponentPin& p = instance->outputPin[pin];
  if (get != nullptr || deliver != nullptr) {
    p.context = context;
    if (get != nullptr) p.getBuffer = get;
    if (deliver != nullptr) p.deliver = deliver;
    p.hasEntryPoints = 1;
  } else if (p.setUp == 0) {
    p.hasEntryPoints = 0;
  }
  const bool changed = StoreSizes(p, bufferSize, bufferCount);
  if (p.deliver == nullptr) {
    p.getBuffer = CompBase_GetFreeOutputSlot;
    p.deliver = CompBase_QueueOutput;
    p.context = instance;
  }
  if (changed && p.queue != nullptr) return BufferQueue_Resize(p.queue, p.bufferSize, p.bufferCount);
  if (p.queue != nullptr) return QVA_SUCCESS;
  return orx::framework::CreatePinQueue(instance, p, pin, QVA_QUEUE_OUTPUT);
}

QVAStatus CompBase_Unsupported(ComponentInstance*, ComponentInstance*, uintptr_t, uint32_t, uintptr_t) {
  return QVA_ERR_UNSUPPORTED;
}
