// Input delivery: the default entry points of input pins, taking and returning input, flushing
// and closing pin queues, the input modes, and the input methods of the method table.
#include "framework/comp_internal.h"
#include "framework/qva_component.h"

// Filled in with input delivery; until then the entry points refuse.
QVAStatus CompBase_GetEmptyInput(ComponentInstance*, uint32_t, ComponentBuffer** outBuffer) {
  if (outBuffer) *outBuffer = nullptr;
  return QVA_ERR_UNSUPPORTED;
}
QVAStatus CompBase_GetEmptyInput0(void* context, ComponentBuffer** outBuffer) {
  return CompBase_GetEmptyInput(static_cast<ComponentInstance*>(context), 0, outBuffer);
}
QVAStatus CompBase_GetEmptyInput1(void* context, ComponentBuffer** outBuffer) {
  return CompBase_GetEmptyInput(static_cast<ComponentInstance*>(context), 1, outBuffer);
}
QVAStatus CompBase_DeliverInput(ComponentInstance*, uint32_t, ComponentBuffer*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_DeliverInput0(void* context, ComponentBuffer* buffer) {
  return CompBase_DeliverInput(static_cast<ComponentInstance*>(context), 0, buffer);
}
QVAStatus CompBase_DeliverInput1(void* context, ComponentBuffer* buffer) {
  return CompBase_DeliverInput(static_cast<ComponentInstance*>(context), 1, buffer);
}
QVAStatus CompBase_TakeInput(ComponentInstance*, uint32_t, ComponentBuffer** outBuffer, uint32_t) {
  if (outBuffer) *outBuffer = nullptr;
  return QVA_ERR_UNSUPPORTED;
}
QVAStatus CompBase_ReturnInput(ComponentInstance*, uint32_t, ComponentBuffer*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_GetInputBuffer(ComponentInstance*, uint32_t, ComponentBuffer** outBuffer, uint32_t) {
  if (outBuffer) *outBuffer = nullptr;
  return QVA_ERR_UNSUPPORTED;
}
QVAStatus CompBase_ReleaseBuffer(ComponentInstance*, uint32_t, ComponentBuffer*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_PushInput(ComponentInstance*, uint32_t, ComponentBuffer*, uint32_t, uint32_t* outBytesTaken) {
  if (outBytesTaken) *outBytesTaken = 0;
  return QVA_ERR_UNSUPPORTED;
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
