#include <cstring>

#include "framework/qva_memory.h"
#include "framework/qva_os.h"

QVAHandle QVAAllocHandle(uint32_t type, const void* templateData, uint32_t size) {
  auto* block = static_cast<char*>(QVAMalloc(size_t{kQVAHandleDataOffset} + size));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, kQVAHandleDataOffset);
  std::memcpy(block, &type, sizeof type);
  if (templateData != nullptr) std::memcpy(block + kQVAHandleDataOffset, templateData, size);
  else std::memset(block + kQVAHandleDataOffset, 0, size);
  return block;
}

QVAHandle QVACreateHandle(uint32_t type, const void* templateData, uint32_t size) {
  return QVAAllocHandle(type, templateData, size);
}

void* QVAHandleData(QVAHandle handle, uint32_t* outType) {
  if (handle == nullptr) return nullptr;
  if (outType != nullptr) std::memcpy(outType, handle, sizeof *outType);
  return static_cast<char*>(handle) + kQVAHandleDataOffset;
}

void* QVAGetHandleData(QVAHandle handle, uint32_t* outType) { return QVAHandleData(handle, outType); }

void* QVAGetTypedHandle(QVAHandle handle, uint32_t type) {
  uint32_t actual = 0;
  void* data = QVAHandleData(handle, &actual);
  return data != nullptr && actual == type ? data : nullptr;
}

QVAStatus QVAFreeHandleBlock(QVAHandle handle) {
  if (handle != nullptr) QVAFree(handle);
  return QVA_SUCCESS;
}

QVAStatus QVAReleaseHandle(QVAHandle handle) { return QVAFreeHandleBlock(handle); }

uintptr_t QVAHandleValue(QVAHandle handle, uintptr_t value) { return handle != nullptr ? value : 0; }

QVAStatus QVAReturnZero() { return QVA_SUCCESS; }
