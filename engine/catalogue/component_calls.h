#pragma once
// Calls into another component through its method slots, as the engine and MULTIVENC make them:
// an empty slot (or no component) answers 2 "Unsupported" in the caller.
#include <cstdint>

#include "framework/qva_component.h"

namespace comp {

inline QVAStatus SetFormat(ComponentInstance* c, uint32_t direction, uint32_t pin, const void* format) {
  if (c == nullptr || c->methods.QVAComp_SetFormat == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SetFormat(c, direction, pin, const_cast<void*>(format));
}

inline QVAStatus GetFormat(ComponentInstance* c, uint32_t direction, uint32_t pin, void* format) {
  if (c == nullptr || c->methods.QVAComp_GetFormat == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_GetFormat(c, direction, pin, format);
}

inline QVAStatus SetParam(ComponentInstance* c, uint32_t id, const void* data, uint32_t size) {
  if (c == nullptr || c->methods.QVAComp_SetParam == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SetParam(c, id, const_cast<void*>(data), size);
}

inline QVAStatus GetParam(ComponentInstance* c, uint32_t id, void* data, uint32_t size) {
  if (c == nullptr || c->methods.QVAComp_GetParam == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_GetParam(c, id, data, size);
}

inline QVAStatus Start(ComponentInstance* c) {
  if (c == nullptr || c->methods.QVAComp_Start == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_Start(c);
}

inline QVAStatus End(ComponentInstance* c) {
  if (c == nullptr || c->methods.QVAComp_End == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_End(c);
}

inline QVAStatus SendCommand(ComponentInstance* c, uint32_t command, uintptr_t param1 = 0, uintptr_t param2 = 0,
                             uint32_t timeoutMs = 0) {
  if (c == nullptr || c->methods.QVAComp_SendCommand == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SendCommand(c, command, param1, param2, 0, 0, timeoutMs);
}

inline QVAStatus PushInput(ComponentInstance* c, uint32_t pin, ComponentBuffer* buffer, uint32_t timeoutMs) {
  if (c == nullptr || c->methods.QVAComp_PushInput == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_PushInput(c, pin, buffer, timeoutMs, nullptr);
}

// Pushes a buffer carrying a copy of the record (a format record, say) with the given flags;
// the receiving queue copies it again, so the copy lives only for the call.
template <class Record>
QVAStatus PushRecord(ComponentInstance* c, uint32_t pin, uint32_t flags, const Record& record,
                     uint32_t timeoutMs) {
  Record copy = record;
  ComponentBuffer buffer{};
  buffer.flags = flags;
  buffer.frameworkMark = 1;
  buffer.data = reinterpret_cast<uint8_t*>(&copy);
  buffer.capacity = sizeof copy;
  buffer.length = sizeof copy;
  return PushInput(c, pin, &buffer, timeoutMs);
}

inline QVAStatus GetInputBuffer(ComponentInstance* c, uint32_t pin, ComponentBuffer** buffer, uint32_t timeoutMs) {
  if (buffer != nullptr) *buffer = nullptr;
  if (c == nullptr || c->methods.QVAComp_GetInputBuffer == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_GetInputBuffer(c, pin, buffer, timeoutMs);
}

inline QVAStatus PullOutput(ComponentInstance* c, uint32_t pin, ComponentBuffer** buffer, uint32_t timeoutMs) {
  if (c == nullptr || c->methods.QVAComp_PullOutput == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_PullOutput(c, pin, buffer, timeoutMs);
}

inline QVAStatus ReleaseBuffer(ComponentInstance* c, uint32_t pin, ComponentBuffer* buffer) {
  if (c == nullptr || c->methods.QVAComp_ReleaseBuffer == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_ReleaseBuffer(c, pin, buffer);
}

inline QVAStatus ConnectOutput(ComponentInstance* c, uint32_t pin, QVAGetEmptyBufferFn get, QVADeliverBufferFn deliver,
                               void* context) {
  if (c == nullptr || c->methods.QVAComp_ConnectOutput == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_ConnectOutput(c, pin, get, deliver, context);
}

inline QVAStatus SetPinCallback(ComponentInstance* c, uint32_t direction, uint32_t pin, QVAPinCallbackFn callback,
                                void* user) {
  if (c == nullptr || c->methods.QVAComp_SetPinCallback == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SetPinCallback(c, direction, pin, callback, user);
}

inline QVAStatus SetErrorCallback(ComponentInstance* c, QVAErrorCallbackFn callback, void* user) {
  if (c == nullptr || c->methods.QVAComp_SetErrorCallback == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SetErrorCallback(c, callback, user);
}

inline QVAStatus SetEventCallback(ComponentInstance* c, QVAEventCallbackFn callback, uint32_t mask, void* user) {
  if (c == nullptr || c->methods.QVAComp_SetEventCallback == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_SetEventCallback(c, callback, mask, user);
}

inline QVAStatus OpenURL(ComponentInstance* c, const char* url, uint32_t mode, StreamMediaType* format) {
  if (c == nullptr || c->methods.QVAComp_OpenURL == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_OpenURL(c, 0, url, mode, format);
}

inline QVAStatus GetState(ComponentInstance* c, uint32_t* state) {
  if (c == nullptr || c->methods.QVAComp_GetState == nullptr) return QVA_ERR_UNSUPPORTED;
  return c->methods.QVAComp_GetState(c, state);
}

}  // namespace comp
