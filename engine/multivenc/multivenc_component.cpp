// MULTIVENC as a component: its descriptor and method table, registration with the loader,
// creation and release (with its first qvavenc instance), formats, parameters, commands, and
// the framework hooks of the engine library (MULTIVENC is the library's only component).
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/catalogue/component_calls.h"
#include "engine/catalogue/component_loader.h"
#include "engine/text/engine_trace.h"
#include "engine/multivenc/multivenc.h"
#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "media/media_codes.h"
#include "media/media_params.h"

namespace {

constexpr uint32_t kOutputBufferSize = 8192;
constexpr uint32_t kOutputBufferCount = 64;
constexpr uint32_t kInputBufferSize = 622080;
constexpr uint32_t kInputBufferCount = 2;
constexpr uint32_t kDefaultTraceEvents = 500;
constexpr uint32_t kStatisticsSize = 290;

QVAStatus GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                      QVADeliverBufferFn* outDeliver);
QVAStatus GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);
QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus Start(ComponentInstance* instance);
QVAStatus SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t p1, uintptr_t p2, uintptr_t p3,
                      uintptr_t p4, uint32_t timeoutMs);
QVAStatus End(ComponentInstance* instance);
QVAStatus SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);
QVAStatus SetPinCallback(ComponentInstance* instance, uint32_t direction, uint32_t pin, QVAPinCallbackFn callback,
                         void* user);

constexpr QVACompMethods MultiVEncMethods() {
  QVACompMethods m = kCompLibDefaultMethods;
  m.QVAComp_GetInputPin = QVA_GUARDED(GetInputPin);
  m.QVAComp_GetFormat = QVA_GUARDED(GetFormat);
  m.QVAComp_GetParam = QVA_GUARDED(GetParam);
  m.QVAComp_SetParam = QVA_GUARDED(SetParam);
  m.QVAComp_Start = QVA_GUARDED(Start);
  m.QVAComp_SendCommand = QVA_GUARDED(SendCommand);
  m.QVAComp_End = QVA_GUARDED(End);
  m.QVAComp_SetFormat = QVA_GUARDED(SetFormat);
  m.QVAComp_SetPinCallback = QVA_GUARDED(SetPinCallback);
  return m;
}

const ComponentInfo kMultiVEncInfo = QVAMakeDescriptor(kShippedMULTIVENC, MultiVEncMethods());

bool IsAcceptedInputSubtype(uint32_t subtype) {
  switch (subtype) {
    case QVA_MSUBTYPE_YUV420:
    case QVA_MSUBTYPE_YV12_420:
    case QVA_MSUBTYPE_YUV444I:
    case QVA_MSUBTYPE_NV12:
    case QVA_MSUBTYPE_BGRA:
      return true;
    default:
      return false;
  }
}

uint32_t ReadSizeWord(const void* record) {
  uint32_t size;
  std::memcpy(&size, record, sizeof size);
  return size;
}

// 16 bytes, or the whole record when its size word allows.
void CopyFormat(VideoMediaType& target, const void* record) {
  const uint32_t size = ReadSizeWord(record);
  std::memcpy(&target, record, size >= sizeof(VideoMediaType) ? sizeof(VideoMediaType) : kMediaTypeHeaderSize);
}

void SetDefaults(MultiVEncState* state, ComponentInstance* instance, ComponentInstance* first) {
  state->instance = instance;
  state->params.size = sizeof(VideoEncoderParams);
  state->inputFormat.size = sizeof(VideoMediaType);
  state->inputFormat.MType = QVA_MTYPE_VIDEO;
  state->inputFormat.subtype = QVA_MSUBTYPE_YUV420;
  state->encoderInputFormat = state->inputFormat;
  VideoMediaType& out = state->outputFormat;
  out.size = kMediaTypeHeaderSize;
  out.MType = QVA_MTYPE_VIDEO;
  out.subtype = QVA_MSUBTYPE_MPV2;
  out.width = out.secondWidth = 720;
  out.height = out.secondHeight = 480;
  out.FrameRate = 30000;
  out.BitrateAverage = out.BitrateMax = 4000000;
  out.sizeSubtype = out.secondSizeSubtype = QVA_MSUBTYPE_MPV2;
  state->inputBufferSize = kInputBufferSize;
  state->inputBufferCount = kInputBufferCount;
  state->outputBufferSize = kOutputBufferSize;
  state->outputBufferCount = kOutputBufferCount;
  state->pick = MultiVEnc_PickSlot;
  state->grouping = 1;
  state->gpuMask = 1;
  state->instanceOutputCount = 512;
  state->instanceOutputSize = 4096;
  for (uint32_t i = 0; i < kMultiVEncSlots; ++i) {
    state->slots[i].owner = state;
    state->slots[i].index = i;
  }
  state->slots[0].instance = first;
  state->loadedInstances = 1;
}

QVAStatus GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                      QVADeliverBufferFn* outDeliver) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  // The graph hands the entry points upstream; the framework asks with none when it sets up.
  if (pin == 0 && (outGet != nullptr || outDeliver != nullptr)) state->upstreamConnected = 1;
  return CompBase_GetInputPin(instance, pin, outGet, outDeliver, state->inputBufferSize, state->inputBufferCount);
}

QVAStatus SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  if (pin != 0 || direction > 1) return QVA_ERR_UNSUPPORTED;
  if (record == nullptr) return QVA_ERR_BADARG;
  if (ReadSizeWord(record) < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  if (direction == 1) {
    CopyFormat(state->outputFormat, record);
    QVAStatus status = QVA_ERR_UNSUPPORTED;
    for (EncoderSlot& slot : state->slots) {
      if (slot.instance != nullptr) status = comp::SetFormat(slot.instance, 1, 0, record);
    }
    return status;
  }
  MediaTypeHeader head;
  std::memcpy(&head, record, sizeof head);
  if (head.MType != QVA_MTYPE_VIDEO || !IsAcceptedInputSubtype(head.subtype)) return QVA_ERR_FORMAT;
  VideoMediaType& in = state->inputFormat;
  const uint32_t width = in.width;
  const uint32_t height = in.height;
  CopyFormat(in, record);
  if (in.width == 0) in.width = width;
  if (in.height == 0) in.height = height;
  if (in.secondHeight == 0) in.secondHeight = in.height;
  if (in.secondWidth == 0) in.secondWidth = in.width;
  state->formatComplete = in.width != 0 && in.secondHeight != 0 && in.secondWidth != 0;
  return QVA_SUCCESS;
}

// The first instance learns the parameters and formats once, so that its sequence header can be
// read into the output format. Once the instances have begun they hold their own configuration,
// which is not sent again in the middle of the stream.
void PrimeFirstInstance(MultiVEncState* state) {
  ComponentInstance* first = state->slots[0].instance;
  if (state->firstInstancePrimed || first == nullptr) return;
  state->firstInstancePrimed = 1;
  if (!state->begun) {
    comp::SetParam(first, QVA_PARAM_VIDEOENCODER, &state->params, sizeof state->params);
    comp::SetFormat(first, 0, 0, &state->encoderInputFormat);
    comp::SetFormat(first, 1, 0, &state->outputFormat);
  }
  VideoMediaType format{};
  format.size = sizeof format;
  if (comp::GetFormat(first, 1, 0, &format) == QVA_SUCCESS) {
    const uint32_t length = std::min<uint32_t>(format.codecPrivateLength, sizeof format.codecPrivate);
    state->outputFormat.codecPrivateLength = length;
    std::memcpy(state->outputFormat.codecPrivate, format.codecPrivate, length);
  }
}

QVAStatus GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  if (record == nullptr) return QVA_ERR_BADARG;
  const uint32_t size = ReadSizeWord(record);
  if (size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  if (pin != 0 || direction > 1) return QVA_ERR_UNSUPPORTED;
  if (direction == 1) PrimeFirstInstance(state);
  VideoMediaType format = direction == 0 ? state->inputFormat : state->outputFormat;
  if (size >= sizeof format) {
    format.size = sizeof format;
    std::memcpy(record, &format, sizeof format);
  } else {
    format.size = kMediaTypeHeaderSize;
    std::memcpy(record, &format, kMediaTypeHeaderSize);
  }
  return QVA_SUCCESS;
}

QVAStatus SetLog(MultiVEncState* state, const LogSetup* setup) {
  VEncoderSetParam(state, QVA_PARAM_LOG, setup, sizeof *setup);
  state->savedLog = *setup;
  state->logLevel = setup->level;
  if (setup->level != 0 && (setup->flags & QVA_LOGFLAG_KEEP_MANAGER)) {
    if (setup->managerCount != 0 && setup->managers[0] != nullptr) {
      if (state->ownsTraceManager) EventManager_Destroy(state->traceManager.load());
      state->ownsTraceManager = 0;
      state->traceManager = setup->managers[0];
    } else if (state->traceManager.load() == nullptr) {
      EventManager* manager =
          EventManager_Create(setup->eventCount != 0 ? setup->eventCount : kDefaultTraceEvents, "teng_be");
      state->traceManager = manager;
      state->ownsTraceManager = manager != nullptr;
    }
  }
  return QVA_SUCCESS;
}

QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  switch (id) {
    case QVA_PARAM_LOG:
      if (data == nullptr || size < sizeof(LogSetup)) return QVA_ERR_BADARG;
      return SetLog(state, static_cast<const LogSetup*>(data));
    case QVA_PARAM_STATISTICS:
      if (data == nullptr) return QVA_ERR_UNSUPPORTED;
      if (size < kStatisticsSize) return QVA_ERR_BADARG;
      return VEncoderSendParamStats(state, data);
    case QVA_PARAM_VIDEOENCODER:
      if (data == nullptr) return QVA_ERR_BADARG;
      if (size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
      {
        std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
        std::memcpy(&state->params, data, sizeof state->params);
        state->paramsSet = 1;
      }
      return QVA_SUCCESS;
    default:
      return CompBase_SetParam(instance, id, data, size);
  }
}

void AppendManager(LogSetup* setup, EventManager* manager) {
  if (manager == nullptr || setup->managerCount >= std::size(setup->managers)) return;
  for (uint32_t i = 0; i < setup->managerCount; ++i) {
    if (setup->managers[i] == manager) return;
  }
  setup->managers[setup->managerCount++] = manager;
}

QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  switch (id) {
    case QVA_PARAM_LOG: {
      const QVAStatus status = CompBase_GetParam(instance, id, data, size);
      if (status != QVA_SUCCESS) return status;
      auto* setup = static_cast<LogSetup*>(data);
      // Graph dumps reach every manager: this component's and each instance's.
      AppendManager(setup, state->traceManager.load());
      for (EncoderSlot& slot : state->slots) {
        if (slot.instance == nullptr) continue;
        LogSetup query{};
        query.flags = QVA_LOGFLAG_KEEP_MANAGER;
        if (comp::GetParam(slot.instance, QVA_PARAM_LOG, &query, sizeof query) != QVA_SUCCESS) continue;
        for (uint32_t i = 0; i < query.managerCount && i < std::size(query.managers); ++i) {
          AppendManager(setup, query.managers[i]);
        }
      }
      return QVA_SUCCESS;
    }
    case QVA_PARAM_STATISTICS:
      if (data == nullptr) return QVA_ERR_UNSUPPORTED;
      return VEncoderGetParamStats(size / kStatisticsSize, state, static_cast<uint8_t*>(data));
    case QVA_PARAM_VIDEOENCODER:
      if (data == nullptr) return QVA_ERR_BADARG;
      if (size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
      std::memcpy(data, &state->params, sizeof state->params);
      return QVA_SUCCESS;
    default:
      return CompBase_GetParam(instance, id, data, size);
  }
}

// A frame lent by reference: the sender waits for it to be reported consumed.
bool IsLentFrame(const ComponentBuffer& record) {
  return (record.flags & QVA_BUFFLAG_INPLACE) && record.length != 0 && !(record.flags & QVA_BUFFLAG_FORMAT);
}

// The input queue's own callback: it sees every record the queue lets go of. The process hook
// reports each frame it is handed (after its conversion or when it drops it) and then clears the
// record's by-reference flag, so only frames the hook never saw are reported here: those still
// queued when the worker stops, and one a stopping worker took without handling it.
void ReturnUnhandledFrame(ComponentInstance*, ComponentBuffer* record, uint32_t, void* user) {
  if (record == nullptr || !IsLentFrame(*record)) return;
  auto* state = static_cast<MultiVEncState*>(user);
  state->framesDropped.fetch_add(1);
  MultiVEnc_ReportConsumed(state, state->instance, record);
}

QVAStatus SetPinCallback(ComponentInstance* instance, uint32_t direction, uint32_t, QVAPinCallbackFn callback,
                         void* user) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  if (direction == 1) return QVA_ERR_UNSUPPORTED;
  if (direction != 0) return QVA_ERR_BADARG;
  state->pinCallbackUser = user;
  state->pinCallback = callback;
  // The input queue itself reports every lent frame it lets go of that the process hook never
  // handed on (still queued when the worker stops, or taken by a worker that was stopping).
  CompBase_SetPinCallback(instance, 0, 0, ReturnUnhandledFrame, state);
  return QVA_SUCCESS;
}

QVAStatus Start(ComponentInstance* instance) {
  VEncoderStart(instance);
  return CompBase_StartThread(instance, ProcessBuf, 0);
}

QVAStatus SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t p1, uintptr_t p2, uintptr_t p3,
                      uintptr_t p4, uint32_t timeoutMs) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  if (command == CMD_EMPTY && state->begun) VEncoderEnd(state);
  if (command == CMD_FLUSH && state->begun) {
    if (p1 == 0) {
      VEncoderFlushWait(state);
    } else {
      std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
      VEncoderFlush(state, static_cast<uint32_t>(p1));
    }
  }
  return CompBase_SendCommand(instance, command, p1, p2, p3, p4, timeoutMs);
}

QVAStatus End(ComponentInstance* instance) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  MultiVEnc_Trace(state, kTraceSpanStart, "QVACompEnd");
  // Ended before its stream ended: nothing may wait for frames that will not come.
  if (state->begun && state->loadedInstances != 0) state->aborting = 1;
  QVAStatus status = CompBase_StopThread(instance, QVA_INFINITE);
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) {
    MultiVEnc_Abort(state);
    CompBase_Deinit(instance);
    status = QVA_SUCCESS;
  }
  MultiVEnc_Trace(state, kTraceSpanEnd, "QVACompEnd 0x%X", status);
  return status;
}

}  // namespace

MultiVEncState* MultiVEncStateOf(ComponentInstance* instance) { return CompPrivate<MultiVEncState>(instance); }

void MultiVEnc_Trace(MultiVEncState* state, uint32_t category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AddTraceEventText(state->traceManager.load(), category, format, args);
  va_end(args);
}

QVAStatus MultiVEnc_LibInit() { return CompBase_LibInit(&kMultiVEncInfo, 1); }
QVAStatus MultiVEnc_LibRelease() { return CompBase_LibRelease(); }

QVAStatus MultiVEnc_Register() {
  StaticCompRecord record{};
  std::snprintf(record.name, sizeof record.name, "%s", "MULTIVENC");
  record.libInit = MultiVEnc_LibInit;
  record.libRelease = MultiVEnc_LibRelease;
  record.create = MultiVEnc_Create;
  record.release = MultiVEnc_Release;
  CompRegisterStatic(&record, 0);
  return QVA_SUCCESS;
}

QVAStatus MultiVEnc_Create(const uint8_t* componentId, ComponentInstance** outInstance) {
  if (outInstance == nullptr) return QVA_ERR_BADARG;
  *outInstance = nullptr;
  MultiVEnc_LibInit();
  ComponentInstance* first = CompCreateByName("qvavenc", 0, 0);
  if (first == nullptr) return QVA_ERR_OPEN;
  ComponentInstance* instance = nullptr;
  const QVAStatus status = CompBase_Create(componentId, sizeof(MultiVEncState), &instance);
  if (status != QVA_SUCCESS) {
    CompUnload(first);
    return status;
  }
  auto* state = new (instance->privateArea) MultiVEncState();
  SetDefaults(state, instance, first);
  CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, nullptr, kOutputBufferSize, kOutputBufferCount);
  // A new source format in the middle of the stream (the host switching its pixel layout) only
  // changes the conversion: the instances keep their sequence, so the output stream goes on and
  // is not ended downstream (a program stream's multiplexer would end its output there).
  CompBase_SetFormatKeepsStream(instance, 1);
  *outInstance = instance;
  return QVA_SUCCESS;
}

QVAStatus MultiVEnc_Release(ComponentInstance* instance) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  MultiVEncState* state = MultiVEncStateOf(instance);
  MultiVEnc_Trace(state, kTraceSpanStart, "QVACompRelease");
  state->aborting = 1;
  {
    std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
    MultiVEnc_Abort(state);
    for (EncoderSlot& slot : state->slots) {
      if (slot.instance == nullptr) continue;
      // Ended before it is unloaded: no worker of the library may outlive it.
      comp::End(slot.instance);
      CompUnload(slot.instance);
      slot.instance = nullptr;
      MultiVEnc_SetSlotState(&slot, ESTATE_NONE);
    }
    state->loadedInstances = 0;
  }
  MultiVEnc_Trace(state, kTraceSpanEnd, "QVACompRelease(Base)");
  EventManager* owned = state->ownsTraceManager ? state->traceManager.load() : nullptr;
  state->~MultiVEncState();
  const QVAStatus status = CompBase_Release(instance);
  if (owned != nullptr) EventManager_Destroy(owned);
  return status;
}

QVAStatus MultiVEnc_Destroy(ComponentInstance* instance) {
  const bool none = CompBase_IsState(instance, QVA_STATE_NONE) != 0;
  CompBase_Deinit(instance);
  return none ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}

// The framework's hooks of this library.
QVAStatus CompCreateHook(ComponentInstance* instance) { return VEncoderStart(instance); }
QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  const bool lentFrame = buffer != nullptr && IsLentFrame(*buffer);
  const QVAStatus status = VEncoderProcessBuf(instance, buffer);
  if (lentFrame) buffer->flags &= ~QVA_BUFFLAG_INPLACE;  // handed on: the queue does not report it again
  return status;
}
QVAStatus CompDestroyHook(ComponentInstance* instance) { return MultiVEnc_Destroy(instance); }
