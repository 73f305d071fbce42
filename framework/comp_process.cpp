// The worker's processing loop and output delivery.
#include "framework/comp_internal.h"
#include "framework/qva_component.h"

// Until the processing loop is filled in, the worker idles until it is stopped.
uint32_t ProcessBuf(QVAHandle thread, void* argument) {
  auto* instance = static_cast<ComponentInstance*>(argument);
  CompBase_AttachThread(instance, thread);
  while (CompBase_IsRunning(instance)) QVASleep(50);
  instance->workerActivity = QVA_WORKER_ENDED;
  return QVA_SUCCESS;
}

void CompBase_UpdateProgress(ComponentInstance*) {}
QVAStatus CompBase_GetEmptyOutput(ComponentInstance*, uint32_t, ComponentBuffer** outBuffer) {
  if (outBuffer) *outBuffer = nullptr;
  return QVA_ERR_UNSUPPORTED;
}
QVAStatus CompBase_DeliverOutput(ComponentInstance*, uint32_t, ComponentBuffer*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_SendEndMarker(ComponentInstance*, uint32_t, uint32_t) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_SendFormatChange(ComponentInstance*, uint32_t) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_GetFreeOutputSlot(void*, ComponentBuffer** outBuffer) {
  if (outBuffer) *outBuffer = nullptr;
  return QVA_ERR_UNSUPPORTED;
}
QVAStatus CompBase_QueueOutput(void*, ComponentBuffer*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_PullOutput(ComponentInstance*, uint32_t, ComponentBuffer**, uint32_t) { return QVA_ERR_UNSUPPORTED; }
