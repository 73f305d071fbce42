// The qvacmux library: its descriptor, method table and exports, and the component methods.
#include <cstring>
#include <new>

#include "framework/component_library.h"
#include "framework/qva_os.h"
#include "framework/shipped_descriptors.h"
#include "media/media_codes.h"
#include "media/media_params.h"
#include "mux/component/mux_bit_stream.h"
#include "mux/component/mux_component.h"
#include "mux/component/mux_format_mapping.h"

namespace orx::mux {
namespace {

constexpr uint32_t kOpenModeUnsupported = 256;

QVAStatus Mux_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                          QVADeliverBufferFn* outDeliver) {
  if (pin > kAudioPin) return QVA_ERR_UNSUPPORTED;
  MuxComponentState& state = MuxState(instance);
  const uint32_t connected = outDeliver != nullptr ? 1 : 0;
  state.pinConnected[pin] = connected;
  if (pin == kVideoPin) {
    state.config.videoPresent = connected;
  } else {
    state.config.audioPresent = connected;
  }
  const uint32_t size = pin == kVideoPin ? state.videoBufferSize : state.audioBufferSize;
  const uint32_t count = pin == kVideoPin ? state.videoBufferCount : state.audioBufferCount;
  if (connected) {
    const QVAStatus status = CompBase_SetupInputPin(instance, pin, nullptr, nullptr, size, count);
    if (status != 0) return status;
  }
  return CompBase_GetInputPin(instance, pin, outGet, outDeliver, size, count);
}

QVAStatus Mux_ConnectOutput(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                            QVADeliverBufferFn deliver, void* context) {
  return CompBase_ConnectOutput(instance, pin, get, deliver, context);
}

QVAStatus Mux_GetFormat(ComponentInstance* instance, uint32_t /*direction*/, uint32_t pin, void* record) {
  if (pin != 0) return QVA_ERR_UNSUPPORTED;
  if (record == nullptr) return QVA_ERR_BADARG;
  StreamMediaType type;
  std::memset(&type, 0, sizeof(type));
  type.size = kMediaTypeHeaderSize;
  type.LenInBytes = MuxState(instance).bytesWritten;
  std::memcpy(record, &type, sizeof(type));
  return 0;
}

QVAStatus Mux_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  return CompBase_GetParam(instance, id, data, size);
}

QVAStatus Mux_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (data == nullptr) return QVA_ERR_BADARG;
  if (id != QVA_PARAM_VIDEOENCODER) return CompBase_SetParam(instance, id, data, size);
  if (size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
  MuxComponentState& state = MuxState(instance);
  std::memcpy(&state.encoderParams, data, sizeof(VideoEncoderParams));
  state.encoderParamsSet = 1;
  UpdateVideoQueueSize(instance);
  return 0;
}

QVAStatus Mux_Start(ComponentInstance* instance) {
  CreateMultiplexer(instance);
  return CompBase_StartThread(instance, ProcessBuf, 0);
}

QVAStatus Mux_SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t p1, uintptr_t p2, uintptr_t p3,
                          uintptr_t p4, uint32_t timeoutMs) {
  return CompBase_SendCommand(instance, command, p1, p2, p3, p4, timeoutMs);
}

QVAStatus Mux_End(ComponentInstance* instance) {
  const QVAStatus status = CompBase_StopThread(instance, 0xFFFFFFFFu);
  if (CompBase_IsState(instance, QVA_STATE_NONE)) return status;
  return DestroyMultiplexer(instance);
}

QVAStatus Mux_OpenURL(ComponentInstance* instance, uintptr_t /*reserved*/, const char* url, uint32_t mode,
                      StreamMediaType* /*type*/) {
  MuxComponentState& state = MuxState(instance);
  if (url == nullptr) {
    if (state.outputFile == nullptr) return QVA_ERR_BADARG;
    CloseMuxOutputFile(instance);
    return 0;
  }
  if (mode == kOpenModeUnsupported) return QVA_ERR_UNSUPPORTED;
  if (mode > 1) return QVA_ERR_BADARG;
  // A path that does not fit is refused rather than cut.
  const QVAStatus taken = TakeFileUrl(url, state.fileName, sizeof(state.fileName));
  if (taken != 0) return taken;
  if (state.deferredOpen) {
    state.deferredPending = 1;
    QVASetEvent(state.openEvent);
    return 0;
  }
  CloseMuxOutputFile(instance);
  state.deferredPending = 0;
  return OpenMuxOutputFile(instance);
}

QVAStatus Mux_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  MuxComponentState& state = MuxState(instance);
  if (direction == 1) {
    if (pin != 0) return QVA_ERR_UNSUPPORTED;
    if (record == nullptr) return QVA_ERR_BADARG;
    uint32_t size;
    std::memcpy(&size, record, sizeof(size));
    if (size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
    const uint32_t previousPeak = state.outputType.BitrateMax;
    std::memcpy(static_cast<void*>(&state.outputType), record,
                size < sizeof(StreamMediaType) ? kMediaTypeHeaderSize : sizeof(StreamMediaType));
    if (state.outputType.BitrateMax == 0) state.outputType.BitrateMax = previousPeak;
    state.outputFormatKnown = 1;
    return 0;
  }
  if (record == nullptr) return QVA_ERR_BADARG;
  MediaTypeHeader head;
  std::memcpy(&head, record, sizeof(head));
  if (pin == kAudioPin) {
    if (head.MType != QVA_MTYPE_AUDIO) return QVA_ERR_UNSUPPORTED;
    // Codec-private bytes beyond what the multiplexer's audio format holds are refused, not cut.
    if (head.size >= sizeof(AudioMediaType) &&
        static_cast<const AudioMediaType*>(record)->codecPrivateLength > sizeof(MuxAudioFormat::extra))
      return QVA_ERR_FORMAT;
    state.pinConnected[kAudioPin] = 1;
    state.config.audioPresent = 1;
    std::memcpy(static_cast<void*>(&state.audioType), record,
                head.size < sizeof(AudioMediaType) ? kMediaTypeHeaderSize : sizeof(AudioMediaType));
    state.formatKnown[kAudioPin] = 1;
    if (state.audioType.subtype == QVA_MSUBTYPE_PCM) state.audioBufferCount = kPcmAudioQueueCount;
    return 0;
  }
  if (pin == kVideoPin) {
    if (head.MType != QVA_MTYPE_VIDEO) return QVA_ERR_UNSUPPORTED;
    state.pinConnected[kVideoPin] = 1;
    state.config.videoPresent = 1;
    std::memcpy(static_cast<void*>(&state.videoType), record,
                head.size < sizeof(VideoMediaType) ? kMediaTypeHeaderSize : sizeof(VideoMediaType));
    state.formatKnown[kVideoPin] = 1;
    UpdateVideoQueueSize(instance);
    return 0;
  }
  return QVA_ERR_UNSUPPORTED;
}

constexpr QVACompMethods MuxMethods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetInputPin = QVA_GUARDED(Mux_GetInputPin);
  methods.QVAComp_ConnectOutput = QVA_GUARDED(Mux_ConnectOutput);
  methods.QVAComp_GetFormat = QVA_GUARDED(Mux_GetFormat);
  methods.QVAComp_GetParam = QVA_GUARDED(Mux_GetParam);
  methods.QVAComp_SetParam = QVA_GUARDED(Mux_SetParam);
  methods.QVAComp_Start = QVA_GUARDED(Mux_Start);
  methods.QVAComp_SendCommand = QVA_GUARDED(Mux_SendCommand);
  methods.QVAComp_End = QVA_GUARDED(Mux_End);
  methods.QVAComp_OpenURL = QVA_GUARDED(Mux_OpenURL);
  methods.QVAComp_SetFormat = QVA_GUARDED(Mux_SetFormat);
  return methods;
}

const ComponentInfo kMuxDescriptors[] = {QVAMakeDescriptor(kShippedCMUX, MuxMethods())};

}  // namespace

void InitMuxState(ComponentInstance* instance) {
  CompBase_SetInputMode(instance, 3);
  MuxComponentState& state = MuxState(instance);
  new (&state.videoFormat) MuxVideoFormat();
  new (&state.audioFormat) MuxAudioFormat();
  state.pinEnded[kVideoPin] = 1;
  state.pinEnded[kAudioPin] = 1;
  state.audioBufferSize = kAudioQueueBufferSize;
  state.audioBufferCount = kAudioQueueCount;
  state.videoBufferSize = kVideoQueueBufferSize;
  state.videoBufferCount = kVideoQueueCount;
  // Each instance writes through its own bit stream.
  state.bitStream = new CMuxBitStream(instance);
  state.config = MuxConfig{};
  state.config.muxType = kMuxDvd;
  state.config.bitStream = state.bitStream;
  state.config.audioFormat = &state.audioFormat;
  state.config.videoFormat = &state.videoFormat;
}

void ReleaseMuxState(ComponentInstance* instance) {
  MuxComponentState& state = MuxState(instance);
  if (state.multiplexer != nullptr) {
    state.multiplexer->Release();
    state.multiplexer = nullptr;
  }
  CloseMuxOutputFile(instance);
  FreeHeadedSample(state);
  if (state.openEvent != nullptr) QVADestroyEvent(state.openEvent);
  state.openEvent = nullptr;
  delete state.bitStream;
  state.bitStream = nullptr;
  state.config.bitStream = nullptr;
}

namespace {

const CompLibraryDefinition kMuxLibrary = {
    kMuxDescriptors, 1, sizeof(MuxComponentState), kVideoQueueBufferSize, kVideoQueueCount, 16384, 4,
    nullptr, nullptr, InitMuxState, ReleaseMuxState};

}  // namespace
}  // namespace orx::mux

QVA_COMPONENT_LIBRARY(orx::mux::kMuxLibrary)
