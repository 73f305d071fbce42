#include <new>

#include "framework/qva_memory.h"
#include "framework/qva_os.h"
#include "platform/shared_memory.h"

namespace {

struct SharedMemoryData {
  uint32_t id = 0;
  uint32_t size = 0;  // 0 for a mapping that was opened
  orx::platform::SharedMapping mapping;
};

SharedMemoryData* Data(QVAHandle memory) {
  return static_cast<SharedMemoryData*>(QVAHandleData(memory, nullptr));
}

std::string MappingName(uint32_t id) {
  char text[9];
  QVAFormatHex(id, text);
  return text;
}

QVAHandle Wrap(uint32_t id, uint32_t size, orx::platform::SharedMapping& mapping) {
  QVAHandle memory = QVAAllocHandle(QVA_HANDLE_SHAREDMEM, nullptr, sizeof(SharedMemoryData));
  if (memory == nullptr) {
    orx::platform::CloseSharedMemory(&mapping);
    return nullptr;
  }
  SharedMemoryData* data = new (Data(memory)) SharedMemoryData;
  data->id = id;
  data->size = size;
  data->mapping = mapping;
  return memory;
}

}  // namespace

QVAHandle QVACreateSharedMemory(uint32_t id, uint32_t size) {
  orx::platform::SharedMapping mapping;
  if (!orx::platform::CreateSharedMemory(MappingName(id), size, &mapping)) return nullptr;
  return Wrap(id, size, mapping);
}

QVAHandle QVAOpenSharedMemory(uint32_t id) {
  orx::platform::SharedMapping mapping;
  if (!orx::platform::OpenSharedMemory(MappingName(id), &mapping)) return nullptr;
  return Wrap(id, 0, mapping);
}

void* QVASharedMemPointer(QVAHandle memory, uint32_t offset) {
  if (memory == nullptr || Data(memory)->mapping.view == nullptr) return nullptr;
  return static_cast<char*>(Data(memory)->mapping.view) + offset;
}

uint32_t QVASharedMemSize(QVAHandle memory) { return memory != nullptr ? Data(memory)->size : 0; }

uint32_t QVASharedMemId(QVAHandle memory) { return memory != nullptr ? Data(memory)->id : 0; }

QVAStatus QVACloseSharedMemory(QVAHandle memory) {
  if (memory == nullptr) return QVA_SUCCESS;
  SharedMemoryData* data = Data(memory);
  orx::platform::CloseSharedMemory(&data->mapping);
  data->~SharedMemoryData();
  return QVAFreeHandleBlock(memory);
}
