// Parameters, callbacks and statistics.
#include <cstring>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {
constexpr uint16_t kStatisticsMarker = 129;
}  // namespace

QVAStatus CompBase_GetParam(ComponentInstance*, uint32_t, void*, uint32_t) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_SetParam(ComponentInstance*, uint32_t, void*, uint32_t) { return QVA_ERR_UNSUPPORTED; }

QVAStatus CompBase_SetErrorCallback(ComponentInstance* instance, QVAErrorCallbackFn callback, void* user) {
  instance->errorUser = user;
  instance->errorCallback = callback;
  return QVA_SUCCESS;
}

QVAStatus CompBase_SetEventCallback(ComponentInstance* instance, QVAEventCallbackFn callback, uint32_t eventMask,
                                    void* user) {
  instance->eventUser = user;
  instance->eventMask = eventMask;
  instance->eventCallback = callback;
  return QVA_SUCCESS;
}

void CompBase_ReportError(ComponentInstance* instance, QVAStatus status, uint32_t detail) {
  instance->lastStatus = status;
  if (QVAErrorCallbackFn callback = instance->errorCallback.load()) {
    callback(instance, status, detail, instance->errorUser.load());
  }
}

QVAStatus CompBase_ResetStatistics(ComponentInstance* instance) {
  CompStatistics& s = instance->statistics;
  std::memset(&s, 0, sizeof s);
  s.typeFlags = instance->typeFlags;
  s.stateBits = QVA_STATS_RESET;
  s.marker44 = kStatisticsMarker;
  s.marker54 = kStatisticsMarker;
  s.startTime = QVAGetTime();
  return QVA_SUCCESS;
}

QVAStatus CompBase_StartStatistics(ComponentInstance*, uint32_t) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_SnapshotStatistics(ComponentInstance*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_PauseStatistics(ComponentInstance*) { return QVA_ERR_UNSUPPORTED; }
QVAStatus CompBase_StopStatistics(ComponentInstance*) { return QVA_ERR_UNSUPPORTED; }
void CompBase_CountFrame(ComponentInstance*, uint32_t, uint32_t, uint32_t) {}
void CompBase_CountOutput(ComponentInstance*, uint32_t, uint32_t) {}
void CompBase_SetTimestamp(ComponentInstance*, uint32_t, uint32_t, uint32_t) {}
QVAStatus CompBase_GetTimestamp(ComponentInstance*, uint32_t, uint64_t*) { return QVA_ERR_NOTFOUND; }
QVAStatus CompBase_SendProgress(ComponentInstance*, uint32_t) { return QVA_SUCCESS; }
void CompBase_SetProgressPending(ComponentInstance* instance, uint32_t value) { instance->progressPending = value; }
uint32_t CompBase_GetProgressPending(ComponentInstance* instance) { return instance->progressPending.load(); }
std::atomic<uint32_t>* CompBase_GetLogSettings(ComponentInstance* instance) { return &instance->logLevel; }
void CompBase_SendStreamEvent(ComponentInstance*, uint32_t) {}
void CompBase_SendBufferEvent(ComponentInstance*) {}
void CompBase_SendBufferLevel(ComponentInstance*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void CompBase_OnQueueState(QVAHandle, uint32_t, void*) {}
