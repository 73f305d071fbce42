#pragma once
// Turns a component library's descriptor table and settings into its six exports and the method
// glue of slots 0, 5, 7 and 12, so that a deliverable's glue is a few lines:
//
//   const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kShippedVENC, MyMethods())};
//   const CompLibraryDefinition kLibrary = {kDescriptors, 1, sizeof(MyPrivate), ...};
//   QVA_COMPONENT_LIBRARY(kLibrary)
//
// plus the three hooks (CompCreateHook, CompProcessHook, CompDestroyHook).
//
// The exports and every method slot are guarded entries: an exception thrown inside one (a hook
// included) answers a failure code to the caller in the other library (see
// platform/entry_guard.h); a slot answers QVA_ERR_EXECUTION.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "framework/qva_component.h"
#include "platform/entry_guard.h"
#include "platform/export.h"

struct CompLibraryDefinition {
  const ComponentInfo* descriptors;
  uint32_t descriptorCount;
  uint32_t privateSize;        // bytes of the component's private record
  uint32_t inputBufferSize;    // what slot 0 hands to CompBase_GetInputPin
  uint32_t inputBufferCount;
  uint32_t outputBufferSize;   // output pin 0's queue, set up at creation
  uint32_t outputBufferCount;
  QVAStatus (*globalSetup)();                       // QVACompLibInit, before the descriptors are kept; or NULL
  void (*globalTeardown)();                         // QVACompLibRelease; or NULL
  void (*initPrivate)(ComponentInstance* instance);     // fills the private defaults; or NULL
  void (*releasePrivate)(ComponentInstance* instance);  // frees private resources at release; or NULL
};

// The six exports, as the engine binds them.
extern "C" {
typedef QVAStatus (*QVACompLibInitFn)();
typedef QVAStatus (*QVACompLibReleaseFn)();
typedef uint32_t (*QVACompLibGetCountFn)();
typedef QVAStatus (*QVACompGetInfoFn)(uint32_t index, void* record);
typedef QVAStatus (*QVACompCreateFn)(const uint8_t* componentId, ComponentInstance** outInstance);
typedef QVAStatus (*QVACompReleaseFn)(ComponentInstance* instance);

QVAStatus CompLib_Init(const CompLibraryDefinition* library);
QVAStatus CompLib_Release(const CompLibraryDefinition* library);
uint32_t CompLib_GetCount(const CompLibraryDefinition* library);
QVAStatus CompLib_GetInfo(const CompLibraryDefinition* library, uint32_t index, void* record);
QVAStatus CompLib_Create(const CompLibraryDefinition* library, const uint8_t* componentId,
                         ComponentInstance** outInstance);
QVAStatus CompLib_ReleaseInstance(const CompLibraryDefinition* library, ComponentInstance* instance);

// Method glue. Slot 0: CompBase_GetInputPin with the library's input buffer size and count.
QVAStatus CompLib_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                              QVADeliverBufferFn* outDeliver);
// Slot 5: CompCreateHook (its result ignored), then CompBase_StartThread with ProcessBuf. A hook
// that throws ends the slot there: its guard answers QVA_ERR_EXECUTION and no worker starts.
QVAStatus CompLib_Start(ComponentInstance* instance);
// Slot 7: CompBase_StopThread without limit, then CompDestroyHook unless the state is NONE.
QVAStatus CompLib_End(ComponentInstance* instance);
}

// A method slot's entry: the method run under the entry guard, its name in the debugger line.
template <size_t N>
struct QVAMethodName {
  constexpr QVAMethodName(const char (&name)[N]) { std::copy_n(name, N, text); }
  char text[N];
};
template <QVAMethodName Name, auto Method>
struct QVAGuardedMethod;
template <QVAMethodName Name, typename... Args, QVAStatus (*Method)(Args...)>
struct QVAGuardedMethod<Name, Method> {
  static QVAStatus Call(Args... args) noexcept {
    return orx::platform::GuardEntry(Name.text, QVA_ERR_EXECUTION, [&] { return Method(args...); });
  }
};
// The guarded entry of a method, for a method table: QVA_GUARDED(VEnc_SetFormat).
#define QVA_GUARDED(method) (&QVAGuardedMethod<#method, method>::Call)

// The framework defaults of every slot; a component replaces the slots it has its own of
// (GetFormat, SetFormat, its own GetParam/SetParam forwarding to CompBase_GetParam/SetParam),
// each with QVA_GUARDED.
inline constexpr QVACompMethods kCompLibDefaultMethods = {
    QVA_GUARDED(CompLib_GetInputPin),       QVA_GUARDED(CompBase_ConnectOutput),
    nullptr,                                QVA_GUARDED(CompBase_GetParam),
    QVA_GUARDED(CompBase_SetParam),         QVA_GUARDED(CompLib_Start),
    QVA_GUARDED(CompBase_SendCommand),      QVA_GUARDED(CompLib_End),
    QVA_GUARDED(CompBase_SetErrorCallback), QVA_GUARDED(CompBase_SetEventCallback),
    QVA_GUARDED(CompBase_GetState),         nullptr,
    QVA_GUARDED(CompBase_Unsupported),      QVA_GUARDED(CompBase_PullOutput),
    QVA_GUARDED(CompBase_PushInput),        QVA_GUARDED(CompBase_ReleaseBuffer),
    nullptr,                                QVA_GUARDED(CompBase_SetPinCallback),
    QVA_GUARDED(CompBase_GetInputBuffer),   nullptr};

// Defines the library's six exports over a CompLibraryDefinition. An exception inside one
// answers QVA_ERR_NOMEMORY from QVACompCreate (its answer when an instance cannot be had), no
// component from QVACompLibGetCount and QVA_ERR_EXECUTION from the others.
#define QVA_COMPONENT_LIBRARY(definition)                                                              \
  extern "C" ORX_EXPORT QVAStatus QVACompLibInit() {                                                   \
    return orx::platform::GuardEntry("QVACompLibInit", QVA_ERR_EXECUTION,                              \
                                     [] { return CompLib_Init(&(definition)); });                      \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompLibRelease() {                                                \
    return orx::platform::GuardEntry("QVACompLibRelease", QVA_ERR_EXECUTION,                           \
                                     [] { return CompLib_Release(&(definition)); });                   \
  }                                                                                                    \
  extern "C" ORX_EXPORT uint32_t QVACompLibGetCount() {                                                \
    return orx::platform::GuardEntry("QVACompLibGetCount", uint32_t{0},                                \
                                     [] { return CompLib_GetCount(&(definition)); });                  \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompGetInfo(uint32_t index, void* record) {                        \
    return orx::platform::GuardEntry("QVACompGetInfo", QVA_ERR_EXECUTION,                              \
                                     [&] { return CompLib_GetInfo(&(definition), index, record); });   \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompCreate(const uint8_t* componentId, ComponentInstance** out) {  \
    return orx::platform::GuardEntry("QVACompCreate", QVA_ERR_NOMEMORY,                                \
                                     [&] { return CompLib_Create(&(definition), componentId, out); }); \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompRelease(ComponentInstance* instance) {                         \
    return orx::platform::GuardEntry("QVACompRelease", QVA_ERR_EXECUTION,                              \
                                     [&] { return CompLib_ReleaseInstance(&(definition), instance); }); \
  }
