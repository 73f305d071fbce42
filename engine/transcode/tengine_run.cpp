// Running the transcode engine: start, delivery into the first components, waiting, stopping,
// flushing, and the tear-down that ends and unloads every component.
#include <new>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/graph/graph_walk.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_params.h"
#include "platform/entry_guard.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;
constexpr uintptr_t kAsFastAsPossible = 0x40000000;
// Flags of a buffer that (re)opens an input: format change, batch start, resume.
constexpr uint32_t kReopenFlags = QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_RESUME;
constexpr uint32_t kEndFlags = QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;

struct Found {
  ComponentInstance* component = nullptr;
  uint32_t pin = 0;
};

Found Find(QVAHandle graph, const char* alias) {
  Found found;
  if (graph != nullptr) QVAgraph_FindComp(graph, &found.component, alias, &found.pin);
  return found;
}

// Step 3 of QVATengine_Run: a file source feeds the target's partners; a partner that is
// missing takes its counterpart out.
void ConnectFileSource(QVATengine* engine) {
  const struct {
    const char* source;
    const char* target;
  } pairs[] = {{"asource", "atarget"}, {"vsource", "vtarget"}};
  for (const auto& pair : pairs) {
    Found source = Find(engine->sourceGraph, pair.source);
    Found target = Find(engine->targetGraph, pair.target);
    if (source.component != nullptr && target.component != nullptr) {
      QVAgraph_ConnectPins(engine->targetGraph, source.component, source.pin, target.component, target.pin, nullptr);
    } else if (source.component != nullptr) {
      QVAgraph_RemoveComp(engine->sourceGraph, source.component);
    } else if (target.component != nullptr) {
      QVAgraph_RemoveComp(engine->targetGraph, target.component);
    }
  }
  Found video = Find(engine->sourceGraph, "vsource");
  comp::SetParam(video.component, QVA_PARAM_SOURCE_SETTINGS, &engine->config.sourceSettings,
                 sizeof engine->config.sourceSettings);
}

// Sends a graph command when the graph exists; *last takes the status of a command sent.
void SendIfAny(QVAHandle graph, uint32_t command, uintptr_t param1, QVAStatus* last) {
  if (graph == nullptr) return;
  const QVAStatus status = QVAgraph_SendCommand(graph, command, param1, 0);
  if (last != nullptr) *last = status;
}

// An input component that failed (reported an error, stopped its worker and went back to INIT)
// takes no more input: its queue never frees again, and a caller that waits for room would wait
// for ever. A component that reported an error but runs on still takes input.
bool InputHasFailed(const QVATengine* engine, ComponentInstance* input) {
  if (engine->componentFailure.load() == QVA_SUCCESS) return false;
  uint32_t state = QVA_STATE_NONE;
  comp::GetState(input, &state);
  return state == QVA_STATE_NONE || state == QVA_STATE_INIT || state == QVA_STATE_STOPPING ||
         state == QVA_STATE_STOPPED;
}

// A failing component stops and ends its stream like one that finished; its error callback is
// what tells the two apart.
void SetErrorCallbacks(QVATengine* engine, QVAHandle graphHandle) {
  const Graph* graph = GraphFromHandle(graphHandle);
  if (graph == nullptr) return;
  for (GraphNode* node = graph->first; node != nullptr; node = node->next) {
    comp::SetErrorCallback(node->component, tengine_OnComponentError, engine->handle);
  }
}

}  // namespace

namespace {

void KeepComponentFailure(QVAStatus status, uint32_t detail, void* user) {
  QVATengine* engine = TengineFromHandle(user);
  if (engine == nullptr || status == QVA_SUCCESS) return;
  TENGINE_TRACE(engine, kTrace, "tengine_OnComponentError(0x%X,0x%X)\n", status, detail);
  uint32_t none = QVA_SUCCESS;
  engine->componentFailure.compare_exchange_strong(none, status);
}

}  // namespace

extern "C" void tengine_OnComponentError(ComponentInstance*, QVAStatus status, uint32_t detail, void* user) {
  orx::platform::GuardEntryWithoutAnswer("tengine_OnComponentError",
                                         [&] { KeepComponentFailure(status, detail, user); });
}

QVAStatus QVATengine_Run(QVAHandle handle, uint32_t traceWord) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Run(0x%X) enter\n", traceWord);
  if (engine->running) return QVA_SUCCESS;
  TengineStampActivity(engine);
  Found mux = Find(engine->targetGraph, "mux");
  Found vpreproc = Find(engine->targetGraph, "vpreproc");
  if (vpreproc.component == nullptr) vpreproc = Find(engine->sourceGraph, "vpreproc");
  Found vencoder = Find(engine->targetGraph, "vencoder");

  if (engine->sourceGraph != nullptr && graph_CountComps(engine->sourceGraph) == 0) {
    QVAgraph_Release(engine->sourceGraph, 1);
    engine->sourceGraph = nullptr;
  }
  Found vtarget = Find(engine->targetGraph, "vtarget");
  Found atarget = Find(engine->targetGraph, "atarget");
  if (engine->sourceGraph != nullptr) {
    ConnectFileSource(engine);
    vtarget = Find(engine->targetGraph, "vtarget");
    atarget = Find(engine->targetGraph, "atarget");
  } else {
    if (vtarget.component != nullptr && engine->videoRelease != nullptr) {
      comp::SetPinCallback(vtarget.component, 0, vtarget.pin, tengine_OnInputReleased, &engine->videoTag);
      engine->videoCallbackComponent = vtarget.component;
    }
    if (atarget.component != nullptr && engine->audioRelease != nullptr) {
      comp::SetPinCallback(atarget.component, 0, atarget.pin, tengine_OnInputReleased, &engine->audioTag);
      engine->audioCallbackComponent = atarget.component;
    }
  }

  const bool scalerIsTarget = vtarget.component != nullptr && vtarget.component == vpreproc.component;
  if (vtarget.component != nullptr && !scalerIsTarget) {
    tengine_ApplyVideoConfig(handle, vpreproc.component, vtarget.pin, vtarget.component);
  } else if (scalerIsTarget && vencoder.component != nullptr) {
    tengine_ApplyVideoConfig(handle, vtarget.component, vtarget.pin, vencoder.component);
  }
  if (atarget.component != nullptr) {
    const QVAStatus audio = tengine_ApplyAudioConfig(handle, atarget.pin, atarget.component);
    // The multiplexer taking PCM itself answers for its own output, not for an audio format.
    if (audio != QVA_SUCCESS && atarget.component != mux.component) {
      TENGINE_TRACE(engine, kTrace, "QVATengine_Run() done: 0x%08X (audio format)\n", audio);
      return audio;
    }
  }
  if (mux.component != nullptr) tengine_ApplyMuxConfig(handle, mux.component);

  if (engine->config.statsLevel > 0) {
    LogSetup setup{};
    setup.level = engine->config.statsLevel;
    if (engine->sourceGraph != nullptr) QVAgraph_SetParam(engine->sourceGraph, QVA_PARAM_LOG, &setup, sizeof setup);
    if (engine->targetGraph != nullptr) QVAgraph_SetParam(engine->targetGraph, QVA_PARAM_LOG, &setup, sizeof setup);
  }
  if (engine->sourceGraph != nullptr) QVAgraph_Print(engine->sourceGraph, "SourceGraph: ");
  if (engine->targetGraph != nullptr) QVAgraph_Print(engine->targetGraph, "TargetGraph: ");

  engine->componentFailure = QVA_SUCCESS;
  SetErrorCallbacks(engine, engine->targetGraph);
  SetErrorCallbacks(engine, engine->sourceGraph);
  QVAStatus status = QVA_SUCCESS;
  SendIfAny(engine->targetGraph, QVA_GRAPH_CMD_START, kAsFastAsPossible, &status);
  SendIfAny(engine->sourceGraph, QVA_GRAPH_CMD_START, kAsFastAsPossible, &status);
  SendIfAny(engine->targetGraph, CMD_PLAY, kAsFastAsPossible, &status);
  SendIfAny(engine->sourceGraph, CMD_PLAY, kAsFastAsPossible, &status);

  engine->started = 1;
  engine->audioInputPin = atarget.pin;
  engine->audioInput = atarget.component;
  engine->videoInputPin = vtarget.pin;
  engine->videoInput = vtarget.component;
  engine->running = 1;
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_Run() done: 0x%08X\n", status);
  return status;
}

QVAStatus QVATengine_DeliverVideo(QVAHandle handle, ComponentBuffer* buffer, uint32_t, void* referenceHandle,
                                  uint32_t timeoutMs) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  ComponentInstance* input = engine->videoInput.load();
  if (input == nullptr) return QVA_ERR_UNSUPPORTED;
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  if (InputHasFailed(engine, input)) return engine->componentFailure.load();
  const uint32_t flags = buffer->flags;
  if (flags & kReopenFlags) engine->videoEnded = 0;
  // Lent by reference: the release callback gets the handle back.
  if (referenceHandle != nullptr && !(flags & QVA_BUFFLAG_REFHANDLE)) buffer->SetReferenceHandle(referenceHandle);
  const QVAStatus status = comp::PushInput(input, engine->videoInputPin.load(), buffer, timeoutMs);
  if (flags & kEndFlags) engine->videoEnded = 1;
  TengineStampActivity(engine);
  return status;
}

QVAStatus QVATengine_DeliverAudio(QVAHandle handle, ComponentBuffer* buffer, uint32_t, void*, uint32_t timeoutMs) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  ComponentInstance* input = engine->audioInput.load();
  if (input == nullptr) return QVA_ERR_UNSUPPORTED;
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  if (InputHasFailed(engine, input)) return engine->componentFailure.load();
  const uint32_t flags = buffer->flags;
  if (flags & kReopenFlags) engine->audioEnded = 0;
  if (engine->audioEnded) return QVA_ERR_ENDOFSTREAM;
  const QVAStatus status = comp::PushInput(input, engine->audioInputPin.load(), buffer, timeoutMs);
  if (flags & kEndFlags) engine->audioEnded = 1;
  TengineStampActivity(engine);
  return status;
}

QVAStatus QVATengine_Wait(QVAHandle handle, uint32_t traceWord, uint32_t timeoutMs) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Wait(0x%X) enter\n", traceWord);
  QVAStatus status = QVA_SUCCESS;
  if (engine->running) {
    TengineStampActivity(engine);
    QVAHandle graph = engine->targetGraph;
    if (graph == nullptr || graph_CountComps(graph) == 0) graph = engine->sourceGraph;
    if (graph != nullptr) status = QVAgraph_WaitForState(graph, kTengineWaitMask, timeoutMs);
    if (const uint32_t failure = engine->componentFailure.load(); failure != QVA_SUCCESS) status = failure;
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_Wait() done: 0x%08X\n", status);
  return status;
}

QVAStatus QVATengine_Stop(QVAHandle handle, uint32_t traceWord) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Stop(0x%X) enter\n", traceWord);
  QVAStatus status = QVA_SUCCESS;
  if (engine->running) {
    SendIfAny(engine->sourceGraph, CMD_STOP, 0, &status);
    SendIfAny(engine->targetGraph, CMD_STOP, 0, &status);
    engine->started = 0;
    TengineStampActivity(engine);
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_Stop() done: 0x%08X\n", status);
  return status;
}

QVAStatus QVATengine_Flush(QVAHandle handle, uint32_t flushParameter) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Flush(0x%X) enter\n", flushParameter);
  QVAStatus status = QVA_SUCCESS;
  if (engine->running) {
    SendIfAny(engine->sourceGraph, CMD_FLUSH, flushParameter, &status);
    SendIfAny(engine->targetGraph, CMD_FLUSH, flushParameter, &status);
    TengineStampActivity(engine);
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_Flush() done: 0x%08X\n", status);
  return status;
}

QVAStatus QVATengine_Disconnect(QVAHandle handle, uint32_t traceWord) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Disconnect(0x%X) enter\n", traceWord);
  TengineStampActivity(engine);
  QVAStatus status = QVA_SUCCESS;
  SendIfAny(engine->targetGraph, QVA_GRAPH_CMD_END, kAsFastAsPossible, &status);
  SendIfAny(engine->sourceGraph, QVA_GRAPH_CMD_END, kAsFastAsPossible, &status);
  engine->started = 0;
  engine->videoInput = nullptr;
  engine->audioInput = nullptr;
  if (engine->lentData != nullptr) {
    QVAFree(engine->lentData);
    engine->lentData = nullptr;
    engine->lentCapacity = 0;
  }
  if (engine->sourceGraph != nullptr) QVAgraph_Release(engine->sourceGraph, 1);
  if (engine->targetGraph != nullptr) QVAgraph_Release(engine->targetGraph, 1);
  engine->sourceGraph = nullptr;
  engine->targetGraph = nullptr;
  engine->videoCallbackComponent = nullptr;
  engine->audioCallbackComponent = nullptr;
  engine->outputComponent = nullptr;
  engine->running = 0;
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_Disconnect() exit: result=%x\n", status);
  return status;
}

QVAStatus QVATengine_Release(QVAHandle handle) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Release() enter\n");
  QVATengine_StopWatchdog(handle, 0);
  TENGINE_TRACE(engine, kTrace, "QVATengine_Release() QVATengine_Disconnect\n");
  QVATengine_Disconnect(handle, 0);
  TENGINE_TRACE(engine, kTrace, "QVATengine_Release() QVAReleaseHandle\n");
  engine->initialised = 0;
  // A newer engine may have replaced the global; only this engine's own entry is cleared.
  if (TengineGlobalHandle() == handle) TengineSetGlobalHandle(nullptr);
  const EngineTraceSource trace = engine->trace;
  engine->~QVATengine();
  QVAReleaseHandle(handle);
  QVAengine_Trace(&trace, kTrace, "QVATengine_Release() done\n");
  return QVA_SUCCESS;
}
