// A test component library, built twice (ISOLATION_VARIANT 1 and 2) as two libraries that each
// carry their own copy of the framework.
#include <atomic>
#include <cstring>

#include "framework/component_library.h"
#include "tests/framework/isolation_component.h"

#if ISOLATION_VARIANT == 1
#define ISOLATION_NAME "ISOA"
#define ISOLATION_ID 0x41
#else
#define ISOLATION_NAME "ISOB"
#define ISOLATION_ID 0x42
#endif

namespace {

std::atomic<uint32_t> g_createCalls{0};
std::atomic<uint32_t> g_processCalls{0};
std::atomic<uint32_t> g_destroyCalls{0};
std::atomic<uint32_t> g_foreignCalls{0};
EventManager* g_manager = nullptr;

QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id != kIsolationReportParam) return CompBase_GetParam(instance, id, data, size);
  if (data == nullptr || size < sizeof(IsolationReport)) return QVA_ERR_BADARG;
  IsolationReport report{};
  CompBase_LibIsInit(&report.liveCount);
  std::strncpy(report.compName, CompBase_GetLibraryName(), sizeof report.compName - 1);
  report.memory = QVAGetMemCounters();
  report.currentManager = EventManager_GetCurrent();
  report.createCalls = g_createCalls;
  report.processCalls = g_processCalls;
  report.destroyCalls = g_destroyCalls;
  report.foreignProcessCalls = g_foreignCalls;
  std::memcpy(data, &report, sizeof report);
  return QVA_SUCCESS;
}

QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id != kIsolationTraceParam) return CompBase_SetParam(instance, id, data, size);
  if (data != nullptr && g_manager == nullptr) g_manager = EventManager_Create(16, ISOLATION_NAME);
  if (data == nullptr && g_manager != nullptr) {
    EventManager_Destroy(g_manager);
    g_manager = nullptr;
  }
  return QVA_SUCCESS;
}

constexpr QVACompMethods Methods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetParam = GetParam;
  methods.QVAComp_SetParam = SetParam;
  return methods;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_SCALER, 3, 7,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x7E, ISOLATION_ID}, ISOLATION_NAME, "Isolation " ISOLATION_NAME, 1, 1, 0,
     {}, {}},
    Methods())};

const CompLibraryDefinition kLibrary = {kDescriptors, 1, 64, 4096, 4, 4096, 8, nullptr, nullptr, nullptr, nullptr};

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  g_createCalls++;
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer*) {
  g_processCalls++;
  if (std::strcmp(instance->shortName, ISOLATION_NAME) != 0) g_foreignCalls++;
  return QVA_SUCCESS;
}

QVAStatus CompDestroyHook(ComponentInstance* instance) {
  g_destroyCalls++;
  const bool wasNone = CompBase_IsState(instance, QVA_STATE_NONE);
  CompBase_Deinit(instance);
  return wasNone ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}

QVA_COMPONENT_LIBRARY(kLibrary)
