// The per-library record, descriptor queries, and the creation and release of instances.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {

constexpr uint32_t kRememberedInstances = 32;
constexpr uint32_t kDefaultProgressInterval = 250;
constexpr uint32_t kDefaultInputBufferSize = 8192;
constexpr uint32_t kDefaultInputBufferCount = 2;
constexpr uint32_t kDefaultOutputBufferSize = 8192;
constexpr uint32_t kDefaultOutputBufferCount = 64;
constexpr int32_t kDefaultWorkerPriority = 14;

// Hidden, so every library that links the framework has its own.
struct LibraryRecord {
  std::mutex mutex;
  uint32_t state = 0;
  uint32_t liveCount = 0;
  ComponentInstance* instances[kRememberedInstances] = {};
  const ComponentInfo* infoTable = nullptr;
  uint32_t infoCount = 0;
  uint32_t initialised = 0;
  char compName[16] = {};
  std::vector<ComponentInstance*> live;  // every live instance, to recognise them at release
};

LibraryRecord g_library;

size_t InstanceBaseSize() { return (sizeof(ComponentInstance) + 15) & ~size_t{15}; }

struct PriorityRow {
  uint32_t bits;
  bool allBits;  // all of bits must be set, else any
  int32_t priority;
  uint32_t progressKind;
};

// First matching row wins.
constexpr PriorityRow kPriorityRows[] = {
    {QVA_TYPE_READER | QVA_TYPE_DEMUX, false, kDefaultWorkerPriority, 0},
    {QVA_TYPE_AUDIO | QVA_TYPE_MULTIPLEXER, true, kDefaultWorkerPriority, QVA_PROGRESS_KIND_AUDIO},
    {QVA_TYPE_VIDEO | QVA_TYPE_MULTIPLEXER, true, kDefaultWorkerPriority, QVA_PROGRESS_KIND_VIDEO},
    {QVA_TYPE_AUDIO, false, kDefaultWorkerPriority, QVA_PROGRESS_KIND_AUDIO},
    {QVA_TYPE_VIDEO, false, kDefaultWorkerPriority, QVA_PROGRESS_KIND_VIDEO},
};

void ApplyDefaultPriority(ComponentInstance* instance, uint32_t typeFlags) {
  for (const PriorityRow& row : kPriorityRows) {
    const bool match = row.allBits ? (typeFlags & row.bits) == row.bits : (typeFlags & row.bits) != 0;
    if (match) {
      instance->workerPriority = row.priority;
      instance->progressKind = row.progressKind;
      return;
    }
  }
  instance->workerPriority = 0;
  instance->progressKind = 0;
}

void FreeInstanceBlock(ComponentInstance* instance) {
  instance->~ComponentInstance();
  QVAFree(instance);
}

}  // namespace

namespace orx::framework {

bool IsLiveInstance(ComponentInstance* instance) {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  return std::find(g_library.live.begin(), g_library.live.end(), instance) != g_library.live.end();
}

std::string LibraryName() {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  return std::string(g_library.compName, strnlen(g_library.compName, sizeof g_library.compName));
}

}  // namespace orx::framework

QVAStatus CompBase_LibInit(const ComponentInfo* table, uint32_t count) {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  if (g_library.initialised) return QVA_SUCCESS;
  g_library.liveCount = 0;
  std::fill(std::begin(g_library.instances), std::end(g_library.instances), nullptr);
  g_library.live.clear();
  g_library.state = 1;
  g_library.infoTable = table;
  g_library.infoCount = count;
  g_library.initialised = 1;
  return QVA_SUCCESS;
}

uint32_t CompBase_LibIsInit(uint32_t* outLiveCount) {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  if (outLiveCount) *outLiveCount = g_library.initialised ? g_library.liveCount : 0;
  return g_library.initialised ? 1 : 0;
}

QVAStatus CompBase_LibRelease() {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  g_library.state = 0;
  g_library.initialised = 0;
  return QVA_SUCCESS;
}

uint32_t CompBase_LibGetCount() {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  return g_library.infoCount;
}

QVAStatus CompBase_GetInfo(uint32_t index, void* outRecord) {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  if (outRecord == nullptr || index >= g_library.infoCount) return QVA_ERR_BADARG;
  std::memcpy(outRecord, &g_library.infoTable[index], kQVAInfoRecordSize);
  return QVA_SUCCESS;
}

QVAStatus CompBase_Create(const uint8_t* componentId, uint32_t privateSize, ComponentInstance** outInstance) {
  const ComponentInfo* descriptor = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_library.mutex);
    if (g_library.infoTable == nullptr) return QVA_ERR_NOTFOUND;
    if (componentId == nullptr) {
      descriptor = g_library.infoCount > 0 ? &g_library.infoTable[0] : nullptr;
    } else {
      for (uint32_t i = 0; i < g_library.infoCount && descriptor == nullptr; ++i) {
        if (std::memcmp(g_library.infoTable[i].compId, componentId, 8) == 0) descriptor = &g_library.infoTable[i];
      }
    }
  }
  if (descriptor == nullptr) return QVA_ERR_NOTFOUND;
  return CompBase_CreateInstance(descriptor, privateSize, outInstance);
}

QVAStatus CompBase_CreateInstance(const ComponentInfo* descriptor, uint32_t privateSize,
                                  ComponentInstance** outInstance) {
  if (descriptor == nullptr || outInstance == nullptr) return QVA_ERR_BADARG;
  std::lock_guard<std::mutex> lock(g_library.mutex);
  std::memcpy(g_library.compName, descriptor->shortName, sizeof g_library.compName);
  g_library.compName[sizeof g_library.compName - 1] = '\0';
  if (descriptor->maxInstances != 0 && g_library.liveCount >= descriptor->maxInstances) return QVA_ERR_BUSY;

  const size_t base = InstanceBaseSize();
  void* block = QVAMalloc(base + privateSize);
  if (block == nullptr) return QVA_ERR_NOMEMORY;
  std::memset(block, 0, base + privateSize);
  auto* instance = new (block) ComponentInstance();
  instance->privateArea = static_cast<char*>(block) + base;
  static_cast<ComponentInfo&>(*instance) = *descriptor;

  instance->index = g_library.liveCount;
  instance->state = QVA_STATE_NONE;
  instance->progressInterval = kDefaultProgressInterval;
  for (ComponentPin& pin : instance->inputPin) {
    pin.bufferSize = kDefaultInputBufferSize;
    pin.bufferCount = kDefaultInputBufferCount;
  }
  for (ComponentPin& pin : instance->outputPin) {
    pin.bufferSize = kDefaultOutputBufferSize;
    pin.bufferCount = kDefaultOutputBufferCount;
  }
  instance->inputMode = 1;
  ApplyDefaultPriority(instance, descriptor->typeFlags);

  // An instance without its locks cannot work: creation fails as a whole.
  if (QVACreateLock(&instance->stateLock) != QVA_SUCCESS || QVACreateLock(&instance->processLock) != QVA_SUCCESS) {
    if (instance->stateLock) QVADestroyLock(instance->stateLock);
    FreeInstanceBlock(instance);
    return QVA_ERR_NOMEMORY;
  }
  CompBase_ResetStatistics(instance);
  if (g_library.liveCount < kRememberedInstances) g_library.instances[g_library.liveCount] = instance;
  g_library.live.push_back(instance);
  g_library.liveCount++;
  *outInstance = instance;
  return QVA_SUCCESS;
}

QVAStatus CompBase_Release(ComponentInstance* instance) {
  if (!orx::framework::IsLiveInstance(instance)) return QVA_ERR_BADHANDLE;
  // A caller that skipped QVAComp_End must not leave a worker running on freed memory.
  if (orx::framework::WorkerThread(instance) != nullptr) CompBase_StopThread(instance, QVA_INFINITE);
  for (uint32_t pin = 0; pin < kQVAInputPinSlots; ++pin) orx::framework::DestroyInputPinQueue(instance, pin);
  for (ComponentPin& pin : instance->outputPin) orx::framework::DestroyPinQueue(pin);

  if (instance->ownedEventManager != nullptr) {
    EventManager_Destroy(instance->ownedEventManager);
    instance->ownedEventManager = nullptr;
    instance->eventManager = nullptr;
  }
  QVADestroyLock(instance->processLock);
  QVADestroyLock(instance->stateLock);
  instance->processLock = instance->stateLock = nullptr;

  std::lock_guard<std::mutex> lock(g_library.mutex);
  g_library.live.erase(std::find(g_library.live.begin(), g_library.live.end(), instance));
  for (ComponentInstance*& remembered : g_library.instances) {
    if (remembered == instance) remembered = nullptr;
  }
  FreeInstanceBlock(instance);
  g_library.liveCount--;
  return QVA_SUCCESS;
}

ComponentInstance* CompBase_GetInstance(uint32_t index) {
  std::lock_guard<std::mutex> lock(g_library.mutex);
  if (index >= g_library.liveCount || index >= kRememberedInstances) return nullptr;
  return g_library.instances[index];
}

uint32_t CompBase_GetIndex(ComponentInstance* instance) { return instance->index; }

const char* CompBase_GetLibraryName() { return g_library.compName; }
