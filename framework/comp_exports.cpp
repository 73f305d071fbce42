// The six exports of a component library and the method glue of slots 0, 5 and 7.
#include "framework/component_library.h"

#include <utility>

#include "framework/comp_internal.h"

namespace {

// The definition of the library this copy of the framework serves, kept by CompLib_Init.
std::atomic<const CompLibraryDefinition*> g_definition{nullptr};

// A new instance that is released again unless it is kept.
class PendingInstance {
 public:
  PendingInstance(const CompLibraryDefinition* library, ComponentInstance* instance)
      : library_(library), instance_(instance) {}
  ~PendingInstance() {
    if (instance_ != nullptr) CompLib_ReleaseInstance(library_, instance_);
  }
  PendingInstance(const PendingInstance&) = delete;
  PendingInstance& operator=(const PendingInstance&) = delete;
  ComponentInstance* Keep() { return std::exchange(instance_, nullptr); }

 private:
  const CompLibraryDefinition* library_;
  ComponentInstance* instance_;
};

}  // namespace

QVAStatus CompLib_Init(const CompLibraryDefinition* library) {
  if (CompBase_LibIsInit(nullptr)) return QVA_SUCCESS;
  g_definition.store(library, std::memory_order_release);
  if (library->globalSetup != nullptr) library->globalSetup();
  return CompBase_LibInit(library->descriptors, library->descriptorCount);
}

QVAStatus CompLib_Release(const CompLibraryDefinition* library) {
  if (library->globalTeardown != nullptr) library->globalTeardown();
  return CompBase_LibRelease();
}

uint32_t CompLib_GetCount(const CompLibraryDefinition* library) {
  CompLib_Init(library);
  return CompBase_LibGetCount();
}

QVAStatus CompLib_GetInfo(const CompLibraryDefinition* library, uint32_t index, void* record) {
  CompLib_Init(library);
  return CompBase_GetInfo(index, record);
}

QVAStatus CompLib_Create(const CompLibraryDefinition* library, const uint8_t* componentId,
                         ComponentInstance** outInstance) {
  if (outInstance == nullptr) return QVA_ERR_BADARG;
  CompLib_Init(library);
  ComponentInstance* instance = nullptr;
  QVAStatus status = CompBase_Create(componentId, library->privateSize, &instance);
  if (status != QVA_SUCCESS) return status;
  // Until the set-up below has finished, a failure or an exception releases the instance again
  // (private resources first): the caller gets none and the live count is as before.
  PendingInstance pending{library, instance};
  if (library->initPrivate != nullptr) library->initPrivate(instance);
  status = CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, library->outputBufferSize,
                                   library->outputBufferCount);
  if (status != QVA_SUCCESS) return status;
  *outInstance = pending.Keep();
  return QVA_SUCCESS;
}

QVAStatus CompLib_ReleaseInstance(const CompLibraryDefinition* library, ComponentInstance* instance) {
  // Only a live instance of this library is touched: a released or foreign one answers 28.
  if (instance == nullptr || !orx::framework::IsLiveInstance(instance)) return QVA_ERR_BADHANDLE;
  if (library->releasePrivate != nullptr) library->releasePrivate(instance);
  return CompBase_Release(instance);
}

QVAStatus CompLib_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                              QVADeliverBufferFn* outDeliver) {
  const CompLibraryDefinition* library = g_definition.load(std::memory_order_acquire);
  return CompBase_GetInputPin(instance, pin, outGet, outDeliver, library ? library->inputBufferSize : 0,
                              library ? library->inputBufferCount : 0);
}

QVAStatus CompLib_Start(ComponentInstance* instance) {
  CompCreateHook(instance);
  return CompBase_StartThread(instance, ProcessBuf, 0);
}

QVAStatus CompLib_End(ComponentInstance* instance) {
  CompBase_StopThread(instance, QVA_INFINITE);
  if (CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_SUCCESS;
  return CompDestroyHook(instance);
}
