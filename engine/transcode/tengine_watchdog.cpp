// The transcode engine's watchdog: a thread that stops and flushes both graphs when nothing has
// happened for longer than the idle limit, once per stall.
#include "engine/transcode/tengine_record.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;

bool StopRequested(QVATengine* engine, QVAHandle thread) {
  return engine->watchdog.stop.load() != 0 || QVAThreadGetStage(thread) == QVA_THREAD_STOPPING;
}

uint32_t WatchdogThread(QVAHandle thread, void* argument) {
  QVAHandle handle = argument;
  QVATengine* engine = TengineFromHandle(handle);
  TENGINE_TRACE(engine, kTrace, "QVATengine:WatchdogThread() enter\n");
  QVADebugPrintf("Watchdog: Started\n");
  bool recentStop = true;
  bool firstPass = true;
  while (engine->initialised && !StopRequested(engine, thread)) {
    if (engine->started && !firstPass) {
      const uint32_t idle = static_cast<uint32_t>(QVAGetTime() - engine->lastActivity.load());
      if (idle > engine->watchdog.idleLimitMs) {
        QVADebugPrintf("Watchdog: NoActivity %d\n", static_cast<int>(idle));
        if (!recentStop && engine->watchdog.dumping) {
          QVADebugPrintf("Watchdog: Dump %d\n", static_cast<int>(idle));
          TengineDumpEvents(engine, 1, 1);
        }
        QVADebugPrintf("Watchdog: Stop\n");
        QVATengine_Stop(handle, 0);
        QVADebugPrintf("Watchdog: Flush\n");
        QVATengine_Flush(handle, 0);
        recentStop = true;
      } else {
        recentStop = false;
      }
    }
    firstPass = false;
    QVAWaitEvent(engine->watchdog.stopEvent, engine->watchdog.pollMs);
  }
  QVADebugPrintf("Watchdog: Exit\n");
  TENGINE_TRACE(engine, kTrace, "QVATengine:WatchdogThread() exit\n");
  return 0;
}

}  // namespace

QVAStatus QVATengine_StartWatchdog(QVAHandle handle, uint32_t pollMs, uint32_t idleLimitMs, uint32_t traceWord) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_StartWatchdog(0x%X) enter\n", traceWord);
  QVAStatus status = QVA_SUCCESS;
  TengineWatchdog& watchdog = engine->watchdog;
  if (watchdog.thread == nullptr) {
    watchdog.stop = 0;
    watchdog.pollMs = pollMs;
    watchdog.idleLimitMs = idleLimitMs;
    watchdog.stopEvent = QVACreateEvent(0, 0, nullptr);
    watchdog.thread = watchdog.stopEvent != nullptr ? QVACreateThread(WatchdogThread, handle, 0) : nullptr;
    if (watchdog.thread == nullptr || QVAStartThread(watchdog.thread) != QVA_SUCCESS) {
      QVADestroyThread(watchdog.thread, 0);
      if (watchdog.stopEvent != nullptr) QVADestroyEvent(watchdog.stopEvent);
      watchdog.thread = nullptr;
      watchdog.stopEvent = nullptr;
      status = QVA_ERR_EXECUTION;
    }
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_StartWatchdog() exit: result=%x\n", status);
  return status;
}

QVAStatus QVATengine_StopWatchdog(QVAHandle handle, uint32_t traceWord) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_StopWatchdog(0x%X) enter\n", traceWord);
  TengineWatchdog& watchdog = engine->watchdog;
  if (watchdog.thread != nullptr) {
    watchdog.stop = 1;
    QVASetEvent(watchdog.stopEvent);
    QVADestroyThread(watchdog.thread, 1);
    QVADestroyEvent(watchdog.stopEvent);
    watchdog.thread = nullptr;
    watchdog.stopEvent = nullptr;
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_StopWatchdog() exit: result=%x\n", QVA_SUCCESS);
  return QVA_SUCCESS;
}
