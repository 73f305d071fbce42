#include "vscaler/vscaler_component.h"

#include <cstdio>
#include <cstring>

#include "framework/comp_base.h"
#include "framework/component_buffer.h"
#include "media/media_codes.h"
#include "platform/debug_output.h"

namespace orx::vscaler {
namespace {

constexpr uint32_t kDirectionInput = 0;
constexpr uint32_t kDirectionOutput = 1;
// The end-of-input and end-of-stream bits an end marker passes downstream.
constexpr uint32_t kEndFlags = QVA_BUFFLAG_RESUME | QVA_BUFFLAG_EOI | QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_EOS |
                               QVA_BUFFLAG_STREAMSTART;
static_assert(kEndFlags == 0x3E000);

VScalerComponentState* State(ComponentInstance* instance) { return CompPrivate<VScalerComponentState>(instance); }

size_t PictureArea(const VideoMediaType& t) { return static_cast<size_t>(t.secondWidth) * t.secondHeight; }

void SendEndMarker(ComponentInstance* instance, const ComponentBuffer& input) {
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) != QVA_SUCCESS || out == nullptr) return;
  out->flags = QVA_BUFFLAG_VIDEO | (input.flags & kEndFlags);
  if (input.flags & QVA_BUFFLAG_TIMESTAMP) {
    out->flags |= QVA_BUFFLAG_TIMESTAMP;
    out->timestamp = input.timestamp;
  }
  out->length = 0;
  CompBase_DeliverOutput(instance, 0, out);
}

// A frame that leaves empty for a fault is still sent (downstream counts one output per
// input), but the fault is reported.
void ReportEmptyFrame(ComponentInstance* instance, ScaleOutcome outcome, const ComponentBuffer& input,
                      const ComponentBuffer& output) {
  char text[160];
  std::snprintf(text, sizeof(text), "VSCALER: frame left empty (%s: input %u bytes, output capacity %u bytes)\n",
                outcome == ScaleOutcome::kShortInput ? "input shorter than its format" : "output buffer too small",
                input.length, output.capacity);
  platform::DebugOutput(text);
  CompBase_ReportError(instance, kScalerBufferTooSmall, 0);
}

void ScaleOneFrame(ComponentInstance* instance, VScalerComponentState* state, const ComponentBuffer& input) {
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) == QVA_SUCCESS && out != nullptr) {
    out->flags = QVA_BUFFLAG_VIDEO;
    uint32_t length = 0;
    ScaleOutcome outcome =
        Scaler_ScaleFrame(state->scaler, input.data, input.length, out->data, out->capacity, &length);
    out->length = length;
    if (outcome == ScaleOutcome::kShortInput || outcome == ScaleOutcome::kShortOutput)
      ReportEmptyFrame(instance, outcome, input, *out);
    // Every output frame carries lastPts: the input's own time or the last one seen.
    out->flags |= QVA_BUFFLAG_TIMESTAMP;
    out->timestamp = state->lastPts;
    CompBase_DeliverOutput(instance, 0, out);
  }
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  CompBase_SendProgress(instance, 0);
}

}  // namespace

void VScaler_InitPrivate(ComponentInstance* instance) {
  VScalerComponentState* state = State(instance);
  state->scaler = nullptr;
  state->scaleMode = kScaleModeResize;
  state->inputBufferSize = kVScalerBufferSize;
  state->inputBufferCount = kVScalerBufferCount;
  state->outputBufferSize = kVScalerBufferSize;
  state->outputBufferCount = kVScalerBufferCount;
  // A new input format (the host switching its pixel layout mid-export) is scaled to the same
  // output: the output stream goes on, and is not ended downstream.
  CompBase_SetFormatKeepsStream(instance, 1);
}

void VScaler_ReleasePrivate(ComponentInstance* instance) {
  VScalerComponentState* state = State(instance);
  Scaler_Destroy(state->scaler);
  state->scaler = nullptr;
}

QVAStatus VScaler_GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if ((direction != kDirectionInput && direction != kDirectionOutput) || pin != 0) return QVA_ERR_UNSUPPORTED;
  if (record == nullptr) return QVA_ERR_BADARG;
  uint32_t size;
  std::memcpy(&size, record, sizeof size);
  if (size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  VScalerComponentState* state = State(instance);
  const VideoMediaType& stored = direction == kDirectionInput ? state->inputType : state->outputType;
  if (size >= sizeof(VideoMediaType)) {
    std::memcpy(record, &stored, sizeof(VideoMediaType));
  } else {
    std::memcpy(record, &stored, kMediaTypeHeaderSize);
    const uint32_t head = kMediaTypeHeaderSize;
    std::memcpy(record, &head, sizeof head);
  }
  return QVA_SUCCESS;
}

QVAStatus VScaler_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if ((direction != kDirectionInput && direction != kDirectionOutput) || pin != 0) return QVA_ERR_UNSUPPORTED;
  if (record == nullptr) return QVA_ERR_BADARG;
  uint32_t size;
  std::memcpy(&size, record, sizeof size);
  if (size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  VScalerComponentState* state = State(instance);
  if (direction == kDirectionInput) {
    // Host formats (BGRA, packed 4:4:4) reach the input only in band, as a format-change buffer.
    MediaTypeHeader head;
    std::memcpy(&head, record, sizeof head);
    if (head.MType != QVA_MTYPE_VIDEO || (head.subtype != QVA_MSUBTYPE_YUV420 && head.subtype != QVA_MSUBTYPE_NV12))
      return QVA_ERR_FORMAT;
    const VideoMediaType previous = state->inputType;
    ApplyReceivedMediaType(state->inputType, record);
    if (size >= sizeof(VideoMediaType)) {
      if (state->inputType.width == 0) state->inputType.width = previous.width;
      if (state->inputType.height == 0) state->inputType.height = previous.height;
    }
    Scaler_DefaultPictureSize(state->inputType);
    return QVA_SUCCESS;
  }
  const VideoMediaType previous = state->outputType;
  ApplyReceivedMediaType(state->outputType, record);
  VideoMediaType& out = state->outputType;
  if (out.BitrateAverage == 0 && out.BitrateMax == 0) {
    out.BitrateAverage = previous.BitrateAverage;
    out.BitrateMax = previous.BitrateMax;
  }
  if (out.codecPrivateLength == 0 && previous.codecPrivateLength != 0) {
    out.codecPrivateLength = previous.codecPrivateLength;
    std::memcpy(out.codecPrivate, previous.codecPrivate, sizeof out.codecPrivate);
  }
  state->outputTypeSet = 1;
  return QVA_SUCCESS;
}

QVAStatus VScaler_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id == QVA_PARAM_BUFFERS && data != nullptr && size >= sizeof(PinBufferConfig)) {
    PinBufferConfig config;
    std::memcpy(&config, data, sizeof config);
    VScalerComponentState* state = State(instance);
    bool outputChanged = false;
    if (config.pinIndex == 0) {
      if (config.bufferSize != 0) state->inputBufferSize = config.bufferSize;
      if (config.bufferCount != 0) state->inputBufferCount = config.bufferCount;
    } else if (config.pinIndex == 1) {
      if (config.bufferSize != 0 && config.bufferSize != state->outputBufferSize) {
        state->outputBufferSize = config.bufferSize;
        outputChanged = true;
      }
      if (config.bufferCount != 0 && config.bufferCount != state->outputBufferCount) {
        state->outputBufferCount = config.bufferCount;
        outputChanged = true;
      }
    }
    if (outputChanged)
      CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, state->outputBufferSize,
                              state->outputBufferCount);
  }
  return CompBase_SetParam(instance, id, data, size);
}

QVAStatus OnVScalerFormatChange(ComponentInstance* instance, const VideoMediaType* input) {
  VScalerComponentState* state = State(instance);
  std::memcpy(&state->inputType, input, sizeof(VideoMediaType));
  Scaler_DefaultPictureSize(state->inputType);
  // A zero output picture means the whole output frame.
  VideoMediaType output = state->outputType;
  Scaler_DefaultPictureSize(output);
  // The record comes from upstream unchecked: refuse what the scaler cannot read or write.
  if (Scaler_CheckFormats(state->inputType, state->outputTypeSet ? &output : nullptr) != kScalerOk)
    return QVA_ERR_FORMAT;

  if (state->outputTypeSet) {
    const size_t area = PictureArea(output);
    state->outputBufferSize = static_cast<uint32_t>(PinBufferBytes(output.subtype, area));
    CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, static_cast<uint32_t>(PlanarBytes(area)),
                            kVScalerBufferCount);
  }
  state->inputBufferSize = static_cast<uint32_t>(PinBufferBytes(state->inputType.subtype, PictureArea(state->inputType)));
  CompBase_SetupInputPin(instance, 0, nullptr, nullptr, state->inputBufferSize, state->inputBufferCount);

  CompBase_SetProgressPending(instance, 1);
  CompBase_SendFormatChange(instance, 0);
  if (state->scaler != nullptr && state->outputTypeSet)
    return Scaler_Setup(state->scaler, state->scaleMode, &state->inputType, &output);
  return QVA_SUCCESS;
}

QVAStatus CreateVideoScaler(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  VScalerComponentState* state = State(instance);
  if (state->scaler == nullptr) {
    state->scaler = Scaler_Create();
    state->lastPts = 0;
  }
  CompBase_Init(instance);
  return QVA_SUCCESS;
}

QVAStatus DestroyVideoScaler(ComponentInstance* instance) {
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_Deinit(instance);
    return QVA_ERR_WRONGSTATE;
  }
  VScalerComponentState* state = State(instance);
  Scaler_Destroy(state->scaler);
  state->scaler = nullptr;
  CompBase_Deinit(instance);
  return QVA_SUCCESS;
}

QVAStatus VideoScalerProcessBuf(ComponentInstance* instance, ComponentBuffer* input) {
  VScalerComponentState* state = State(instance);
  if (state->scaler == nullptr) return QVA_ERR_OPEN;
  if (input == nullptr) return QVA_SUCCESS;
  // End markers leave before anything else this buffer carries.
  if (input->flags & kEndFlags) SendEndMarker(instance, *input);
  const bool format = (input->flags & QVA_BUFFLAG_FORMAT) != 0;
  if (format && input->data != nullptr) {
    // A record known to be shorter than a video media type is refused, never read past (a
    // length of 0 leaves the record's size to the sender, as format-change buffers may).
    if (input->length != 0 && input->length < sizeof(VideoMediaType)) return QVA_ERR_FORMAT;
    VideoMediaType type;
    std::memcpy(&type, input->data, sizeof type);
    QVAStatus status = OnVScalerFormatChange(instance, &type);
    if (status != QVA_SUCCESS) return status;
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
  }
  if (input->flags & QVA_BUFFLAG_TIMESTAMP) {
    state->lastPts = input->timestamp;
    CompBase_SetTimestamp(instance, 0, static_cast<uint32_t>(input->timestamp),
                          static_cast<uint32_t>(input->timestamp >> 32));
  }
  if (format || input->length == 0) return QVA_SUCCESS;
  ScaleOneFrame(instance, state, *input);
  return QVA_SUCCESS;
}

}  // namespace orx::vscaler
