// QVATengine_Control: watchdog start, trace set-up, event dumps and the video target's
// statistics; and the statistics queries of the side roads.
#include <cstddef>
#include <cstring>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/text/engine_paths.h"
#include "engine/transcode/tengine_record.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;
constexpr uint32_t kWatchdogPollMs = 1000;
constexpr uint32_t kWatchdogIdleMs = 10000;
constexpr uint32_t kDefaultTraceEvents = 3000;
constexpr uint32_t kVideoClass = QVA_TYPE_VIDEO | QVA_TYPE_DECODER;  // 0x200008, the class word of the request

// The caller's block has the form of CompStatistics but no promise of its alignment.
uint32_t ReadWord(const void* block, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(block) + offset, sizeof value);
  return value;
}

ComponentInstance* FindVideoTarget(QVATengine* engine) {
  ComponentInstance* vtarget = nullptr;
  if (engine->targetGraph != nullptr) QVAgraph_FindComp(engine->targetGraph, &vtarget, "vtarget", nullptr);
  return vtarget;
}

QVAStatus SendStatisticsControl(QVATengine* engine, uint32_t stateBits) {
  CompStatistics block{};
  block.size = sizeof block;
  block.stateBits = stateBits;
  block.typeFlags = kVideoClass;
  comp::SetParam(FindVideoTarget(engine), QVA_PARAM_STATISTICS, &block, sizeof block);
  return QVA_SUCCESS;
}

void SetTraceManagers(QVATengine* engine, uint32_t level, uint32_t history) {
  LogSetup setup{};
  setup.level = level != 0 ? level : 1;
  setup.flags = QVA_LOGFLAG_KEEP_MANAGER;
  setup.eventCount = history != 0 ? history : kDefaultTraceEvents;
  if (engine->sourceGraph != nullptr) QVAgraph_SetParam(engine->sourceGraph, QVA_PARAM_LOG, &setup, sizeof setup);
  if (engine->targetGraph != nullptr) QVAgraph_SetParam(engine->targetGraph, QVA_PARAM_LOG, &setup, sizeof setup);
  engine->watchdog.dumping = 1;
}

void KeepEarliest(uint64_t value, uint64_t* kept) {
  if (value != 0 && (*kept == 0 || value < *kept)) *kept = value;
}

}  // namespace

// Writes every trace-event manager of both graphs into the current folder (the system's "\").
void TengineDumpEvents(QVATengine* engine, uint64_t timeOrigin, uint64_t cycleOrigin) {
  const std::string folder = ResolveRootRelativePath("\\");
  if (engine->sourceGraph != nullptr) graph_DumpEvents(engine->sourceGraph, folder.c_str(), timeOrigin, cycleOrigin);
  if (engine->targetGraph != nullptr) graph_DumpEvents(engine->targetGraph, folder.c_str(), timeOrigin, cycleOrigin);
}

QVAStatus QVATengine_Control(QVAHandle handle, uint32_t command, void* block) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Control(0x%X) enter\n", command);
  TengineStampActivity(engine);
  const uint32_t level = block != nullptr ? ReadWord(block, offsetof(CompStatistics, statisticsLevel)) : 0;
  const uint32_t history = block != nullptr ? ReadWord(block, offsetof(CompStatistics, historyLength)) : 0;
  if ((command & QVA_TCONTROL_WATCHDOG) && block != nullptr && level >= 2) {
    QVATengine_StartWatchdog(handle, kWatchdogPollMs, kWatchdogIdleMs, 0);
  }
  if ((command & QVA_TCONTROL_TRACE) && (command & QVA_TCONTROL_WATCHDOG)) SetTraceManagers(engine, level, history);
  if ((command & QVA_TCONTROL_TRACE) && (command & QVA_TCONTROL_DUMP)) {
    uint64_t time = 0;
    uint64_t cycles = 0;
    for (QVAHandle graph : {engine->sourceGraph, engine->targetGraph}) {
      uint64_t graphTime = 0;
      uint64_t graphCycles = 0;
      if (graph != nullptr && QVAgraph_GetStats(graph, &graphTime, &graphCycles) == QVA_SUCCESS) {
        KeepEarliest(graphTime, &time);
        KeepEarliest(graphCycles, &cycles);
      }
    }
    TengineDumpEvents(engine, time, cycles);
  }
  QVAStatus status = QVA_SUCCESS;
  if (engine->targetGraph != nullptr) {
    ComponentInstance* vtarget = FindVideoTarget(engine);
    const uint32_t blockSize = block != nullptr ? ReadWord(block, offsetof(CompStatistics, size)) : 0;
    switch (command & 0xFF) {
      case QVA_TCONTROL_STATS_SET:
        comp::SetParam(vtarget, QVA_PARAM_STATISTICS, block, blockSize);
        status = comp::GetParam(vtarget, QVA_PARAM_STATISTICS, block, blockSize);
        break;
      case QVA_TCONTROL_STATS_GET:
        status = comp::GetParam(vtarget, QVA_PARAM_STATISTICS, block, blockSize);
        break;
      case QVA_TCONTROL_STATS_START:
        status = tengine_StartStatistics(handle);
        break;
      case QVA_TCONTROL_STATS_STOP:
        status = tengine_StopStatistics(handle);
        break;
      default:
        status = QVA_ERR_UNSUPPORTED;
        break;
    }
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_Control() done: 0x%08X\n", status);
  return status;
}

QVAStatus tengine_StartStatistics(QVAHandle handle) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  return SendStatisticsControl(engine, QVA_STATS_CONTROL_RESET | QVA_STATS_CONTROL_START);
}

QVAStatus tengine_StopStatistics(QVAHandle handle) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  return SendStatisticsControl(engine, QVA_STATS_CONTROL_STOP);
}

QVAStatus QVATengine_GetStatistics(QVAHandle handle, TengineStatistics* out) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (out == nullptr) return QVA_ERR_BADARG;
  TengineStatistics& kept = engine->statistics;
  ComponentInstance* video = FindVideoTarget(engine);
  if (video == nullptr && engine->sourceGraph != nullptr) {
    QVAgraph_FindComp(engine->sourceGraph, &video, "vsource", nullptr);
  }
  ProgressInfo progress{};
  progress.size = sizeof progress;
  progress.classBits = QVA_PROGRESSINFO_VIDEO;
  if (comp::GetParam(video, QVA_PARAM_PROGRESS, &progress, sizeof progress) == QVA_SUCCESS) kept.progress = progress;
  uint32_t states = 0;
  if (engine->sourceGraph != nullptr) graph_GetRenderersState(engine->sourceGraph, &states);
  kept.size = sizeof kept;
  kept.leafStates = states;
  kept.time = QVAGetTime();
  *out = kept;
  return QVA_SUCCESS;
}

QVAStatus QVATengine_GetTargetVideoFormat(QVAHandle handle, VideoMediaType* out, uint32_t size) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (out == nullptr || size < kMediaTypeHeaderSize) return QVA_ERR_BADARG;
  ComponentInstance* vtarget = FindVideoTarget(engine);
  if (vtarget == nullptr) return QVA_ERR_UNKNOWNFORMAT;
  ComponentInstance* vpreproc = nullptr;
  uint32_t pin = 0;
  QVAgraph_FindComp(engine->targetGraph, &vtarget, "vtarget", &pin);
  QVAgraph_FindComp(engine->targetGraph, &vpreproc, "vpreproc", nullptr);
  ComponentInstance* vencoder = nullptr;
  QVAgraph_FindComp(engine->targetGraph, &vencoder, "vencoder", nullptr);
  if (vpreproc != nullptr && vpreproc == vtarget && vencoder != nullptr) {
    tengine_ApplyVideoConfig(handle, vpreproc, pin, vencoder);
  } else {
    tengine_ApplyVideoConfig(handle, vpreproc, pin, vtarget);
  }
  VideoMediaType format{};
  format.size = sizeof format;
  const QVAStatus status = comp::GetFormat(vtarget, 1, 0, &format);
  if (status != QVA_SUCCESS) return status;
  std::memcpy(out, &format, size < sizeof format ? size : sizeof format);
  return QVA_SUCCESS;
}
