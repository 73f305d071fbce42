// The throwing test component "THROW": one input and one output pin; its hooks follow the hook
// contract and its process hook takes every buffer without output.
#include "tests/framework/throwing_component.h"

#include <atomic>
#include <stdexcept>
#include <string>

#include "framework/component_library.h"

namespace {

std::atomic<uint32_t> g_armed{0};
std::atomic<uint32_t> g_liveResources{0};

void ThrowIfArmed(uint32_t place, const char* what) {
  if (g_armed.fetch_and(~place) & place) throw std::runtime_error(what);
}

// The private record holds a resource of its own, so a creation that fails half way shows
// whether it is freed again.
struct ThrowingPrivate {
  std::string* label;
};

QVAStatus GlobalSetup() {
  ThrowIfArmed(kThrowInLibrarySetup, "thrown by the library set-up");
  return QVA_SUCCESS;
}

void InitPrivate(ComponentInstance* instance) {
  auto* p = new (instance->privateArea) ThrowingPrivate{};
  p->label = new std::string("private defaults of a throwing component");
  g_liveResources++;
  ThrowIfArmed(kThrowInPrivateDefaults, "thrown by the private defaults");
}

void ReleasePrivate(ComponentInstance* instance) {
  auto* p = CompPrivate<ThrowingPrivate>(instance);
  if (p->label != nullptr) g_liveResources--;
  delete p->label;
  p->label = nullptr;
}

QVAStatus ThrowingGetFormat(ComponentInstance*, uint32_t, uint32_t, void*) {
  ThrowIfArmed(kThrowInGetFormat, "thrown by a method slot");
  return QVA_ERR_UNSUPPORTED;
}

constexpr QVACompMethods Methods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetFormat = QVA_GUARDED(ThrowingGetFormat);
  return methods;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 1, 1,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x7E, 0x54}, "THROW", "Throwing Component", 1, 1, 0, {}, {}},
    Methods())};

const CompLibraryDefinition kLibrary = {kDescriptors, 1,           sizeof(ThrowingPrivate), 4096, 2, 4096, 8,
                                        GlobalSetup,  nullptr,     InitPrivate,             ReleasePrivate};

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  ThrowIfArmed(kThrowInCreateHook, "thrown by the create hook");
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  if (buffer->flags & QVA_BUFFLAG_FORMAT) {
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
    return QVA_SUCCESS;
  }
  ThrowIfArmed(kThrowInProcessHook, "thrown by the process hook");
  return QVA_SUCCESS;
}

QVAStatus CompDestroyHook(ComponentInstance* instance) {
  ThrowIfArmed(kThrowInDestroyHook, "thrown by the destroy hook");
  const bool wasNone = CompBase_IsState(instance, QVA_STATE_NONE);
  CompBase_Deinit(instance);
  return wasNone ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}

QVA_COMPONENT_LIBRARY(kLibrary)

extern "C" ORX_EXPORT void ThrowingComponentArm(uint32_t where) { g_armed |= where; }

extern "C" ORX_EXPORT uint32_t ThrowingComponentLiveInstances() {
  uint32_t live = 0;
  CompBase_LibIsInit(&live);
  return live;
}

extern "C" ORX_EXPORT uint32_t ThrowingComponentLiveResources() { return g_liveResources; }
