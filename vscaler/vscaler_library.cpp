// The qvavscaler library: the "VSCALER" descriptor with its method table, the six exports and
// the framework's three hooks.
#include "framework/comp_base.h"
#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "vscaler/vscaler_component.h"

namespace {

using namespace orx::vscaler;

constexpr QVACompMethods VScalerMethods() {
  QVACompMethods m = kCompLibDefaultMethods;
  m.QVAComp_GetFormat = QVA_GUARDED(VScaler_GetFormat);
  m.QVAComp_SetParam = QVA_GUARDED(VScaler_SetParam);
  m.QVAComp_SetFormat = QVA_GUARDED(VScaler_SetFormat);
  return m;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kShippedVSCALER, VScalerMethods())};

const CompLibraryDefinition kLibrary = {
    kDescriptors,        1,       sizeof(VScalerComponentState), kVScalerBufferSize, kVScalerBufferCount,
    kVScalerBufferSize,  kVScalerBufferCount, nullptr,           nullptr,            VScaler_InitPrivate,
    VScaler_ReleasePrivate};

}  // namespace

QVA_COMPONENT_LIBRARY(kLibrary)

QVAStatus CompCreateHook(ComponentInstance* instance) { return CreateVideoScaler(instance); }
QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  return VideoScalerProcessBuf(instance, buffer);
}
QVAStatus CompDestroyHook(ComponentInstance* instance) { return DestroyVideoScaler(instance); }
