// The qvavenc library: the "VENC" descriptor with its method table, the six exports and the
// framework's three hooks.
#include "framework/comp_base.h"
#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "venc/core/encoder_lock.h"
#include "venc/component/venc_component.h"

namespace {

using namespace orx::venc;

constexpr QVACompMethods VEncMethods() {
  QVACompMethods m = kCompLibDefaultMethods;
  m.QVAComp_GetInputPin = QVA_GUARDED(VEnc_GetInputPin);
  m.QVAComp_GetFormat = QVA_GUARDED(VEnc_GetFormat);
  m.QVAComp_GetParam = QVA_GUARDED(VEnc_GetParam);
  m.QVAComp_SetParam = QVA_GUARDED(VEnc_SetParam);
  m.QVAComp_SetFormat = QVA_GUARDED(VEnc_SetFormat);
  return m;
}

QVAStatus CreateSetupLock() { return SetupEncoderLock(true) ? QVA_SUCCESS : QVA_ERR_NOMEMORY; }
void DeleteSetupLock() { SetupEncoderLock(false); }

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kShippedVENC, VEncMethods())};

const CompLibraryDefinition kLibrary = {kDescriptors,           1,
                                        sizeof(VEncPrivate),    kVEncInputBufferSize,
                                        kVEncInputBufferCount,  kVEncOutputBufferSize,
                                        kVEncOutputBufferCount, CreateSetupLock,
                                        DeleteSetupLock,        VEnc_InitPrivate,
                                        VEnc_ReleasePrivate};

}  // namespace

QVA_COMPONENT_LIBRARY(kLibrary)

QVAStatus CompCreateHook(ComponentInstance* instance) { return CreateVideoEncoder(instance); }
QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  return VideoEncoderProcessBuf(instance, buffer);
}
QVAStatus CompDestroyHook(ComponentInstance* instance) { return DestroyVideoEncoder(instance); }
