#pragma once
// Turns a component library's descriptor table and settings into its six exports and the method
// glue of slots 0, 5, 7 and 12, so that a deliverable's glue is a few lines:
//
//   const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kShippedVENC, MyMethods())};
//   const CompLibraryDefinition kLibrary = {kDescriptors, 1, sizeof(MyPrivate), ...};
//   QVA_COMPONENT_LIBRARY(kLibrary)
//
// plus the three hooks (CompCreateHook, CompProcessHook, CompDestroyHook).
#include <cstdint>

#include "framework/qva_component.h"
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
// Slot 5: CompCreateHook (its result ignored), then CompBase_StartThread with ProcessBuf.
QVAStatus CompLib_Start(ComponentInstance* instance);
// Slot 7: CompBase_StopThread without limit, then CompDestroyHook unless the state is NONE.
QVAStatus CompLib_End(ComponentInstance* instance);
}

// The framework defaults of every slot; a component replaces the slots it has its own of
// (GetFormat, SetFormat, its own GetParam/SetParam forwarding to CompBase_GetParam/SetParam).
inline constexpr QVACompMethods kCompLibDefaultMethods = {
    CompLib_GetInputPin,       CompBase_ConnectOutput,    nullptr,
    CompBase_GetParam,         CompBase_SetParam,         CompLib_Start,
    CompBase_SendCommand,      CompLib_End,               CompBase_SetErrorCallback,
    CompBase_SetEventCallback, CompBase_GetState,         nullptr,
    CompBase_Unsupported,      CompBase_PullOutput,       CompBase_PushInput,
    CompBase_ReleaseBuffer,    nullptr,                   CompBase_SetPinCallback,
    CompBase_GetInputBuffer,   nullptr};

// Defines the library's six exports over a CompLibraryDefinition.
#define QVA_COMPONENT_LIBRARY(definition)                                                              \
  extern "C" ORX_EXPORT QVAStatus QVACompLibInit() { return CompLib_Init(&(definition)); }             \
  extern "C" ORX_EXPORT QVAStatus QVACompLibRelease() { return CompLib_Release(&(definition)); }       \
  extern "C" ORX_EXPORT uint32_t QVACompLibGetCount() { return CompLib_GetCount(&(definition)); }      \
  extern "C" ORX_EXPORT QVAStatus QVACompGetInfo(uint32_t index, void* record) {                        \
    return CompLib_GetInfo(&(definition), index, record);                                              \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompCreate(const uint8_t* componentId, ComponentInstance** out) {  \
    return CompLib_Create(&(definition), componentId, out);                                            \
  }                                                                                                    \
  extern "C" ORX_EXPORT QVAStatus QVACompRelease(ComponentInstance* instance) {                         \
    return CompLib_ReleaseInstance(&(definition), instance);                                           \
  }
