// MULTIVENC's start, its process hook, the input format, and the begin that loads, configures and
// starts the encoder instances.
#include <algorithm>
#include <cstring>

#include "engine/catalogue/component_calls.h"
#include "engine/catalogue/component_loader.h"
#include "engine/catalogue/loader_lock.h"
#include "engine/multivenc/multivenc.h"
#include "media/media_codes.h"
#include "media/media_params.h"

namespace {

constexpr uint32_t kByReferenceBufferSize = 2048;
constexpr uint32_t kByReferenceBufferCount = 38;
constexpr uint32_t kReorderDepth = 30;
constexpr uint32_t kGpuLevel = 1;
constexpr uint32_t kMaxGroup = 16;

bool ByReference(const VideoEncoderParams& p) { return (p.optionFlags & VEP_OPT_MULTIVENC) != 0; }
bool FrameCopies(const VideoEncoderParams& p) { return (p.optionFlags & VEP_OPT_FRAME_COPIES) && p.frameCopy != 0; }

bool NeedsConversion(uint32_t subtype) { return subtype != QVA_MSUBTYPE_YUV420 && subtype != QVA_MSUBTYPE_NV12; }

void SetBuffers(ComponentInstance* instance, uint32_t flags, uint32_t pinIndex, uint32_t count, uint32_t size) {
  PinBufferConfig config{};
  config.flags = flags;
  config.pinIndex = pinIndex;
  config.bufferCount = count;
  config.bufferSize = size;
  comp::SetParam(instance, QVA_PARAM_BUFFERS, &config, sizeof config);
}

// Step 7 of VEncoderBegin, for one slot: its groups, buffers, event callback and formats.
void ConfigureSlot(MultiVEncState* state, EncoderSlot& slot, uint32_t n, uint32_t m) {
  const VideoEncoderParams& p = state->params;
  slot.running = 1;
  comp::SetErrorCallback(slot.instance, EncoderSlot_OnError, &slot);
  if (!state->grouping) return;
  slot.gpu = (p.engineFlags & VEP_ENGINE_GPU) && ((state->gpuMask >> slot.index) & 1) ? 1 : 0;
  MultiVEnc_SetSlotState(&slot, ESTATE_LOADED);
  slot.groupLength = n;
  slot.anchorDistance = m;
  slot.firstGroupLength = m == 1 ? n : n + 1 - m;
  slot.laterFirstGroupLength = slot.firstGroupLength;
  slot.regularGroupLength = (p.optionFlags & VEP_OPT_EOS_FLUSH) ? n : n + 1 - m;
  slot.groupsPerBatch = kMaxGroup / n > 1 ? kMaxGroup / n : 1;
  SetBuffers(slot.instance, 0x100, 0, slot.regularGroupLength * slot.groupsPerBatch + 2, 0);
  SetBuffers(slot.instance, 0x300, 1, slot.groupsPerBatch * state->instanceOutputCount, state->instanceOutputSize);
  comp::SetEventCallback(slot.instance, EncoderSlot_OnEvent, PROGRESS_STATE | PROGRESS_STREAM, &slot);
  slot.inputFormatSent = comp::SetFormat(slot.instance, 0, 0, &state->encoderInputFormat) == QVA_SUCCESS;
  slot.outputFormatSent = comp::SetFormat(slot.instance, 1, 0, &state->outputFormat) == QVA_SUCCESS;
}

PreProcConfig MakePreProcConfig(MultiVEncState* state, uint32_t n) {
  const VideoEncoderParams& p = state->params;
  const VideoMediaType& out = state->outputFormat;
  PreProcConfig c{};
  if (p.optionFlags & VEP_OPT_DRAW_MARK) c.flags |= kPreProcDrawMark;
  if (p.optionFlags & VEP_OPT_DRAW_INSTANCE_BOX) c.flags |= kPreProcSlotMarker;
  c.useQueue = ByReference(p) || FrameCopies(p);
  c.depth = ByReference(p) ? kReorderDepth : n;
  c.reorder = ByReference(p);
  c.frameCopies = FrameCopies(p);
  c.inputCode = PreProc_InputCode(state->inputFormat.subtype);
  c.outputCode = PreProc_OutputCode(state->encoderInputFormat.subtype);
  c.frameWidth = out.secondWidth;
  c.frameHeight = out.secondHeight;
  c.inputWidth = out.width != 0 ? out.width : out.secondWidth;
  c.inputHeight = out.height != 0 ? out.height : out.secondHeight;
  c.inputFrameRate = state->inputFormat.FrameRate;
  c.outputWidth = c.outputStrideWidth = out.secondWidth;
  c.outputHeight = c.outputStrideHeight = out.secondHeight;
  c.encoderFrameRate = out.FrameRate;
  c.owner = state;
  c.traceManager = &state->traceManager;
  c.alloc = PPAlloc;
  c.done = PPFDone;
  c.drop = PPDrop;
  c.end = PPEnd;
  return c;
}

// A safe copy of a received format record: the whole record only when the buffer holds it.
bool ReadFormatRecord(const ComponentBuffer& buffer, VideoMediaType* format) {
  if (buffer.data == nullptr || buffer.length < kMediaTypeHeaderSize) return false;
  *format = VideoMediaType{};
  std::memcpy(format, buffer.data, std::min<size_t>(buffer.length, sizeof *format));
  if (buffer.length < sizeof *format) format->size = kMediaTypeHeaderSize;
  return true;
}

}  // namespace

uint32_t MultiVEnc_RoundGop(uint32_t n, uint32_t m) {
  if (m < 2) return std::clamp<uint32_t>(n, 1, kMaxGroup);
  if (m == 2) {
    const uint32_t limited = std::clamp<uint32_t>(n, 6, kMaxGroup);
    return (limited + 1) & ~1u;
  }
  if (n >= 18) return 18;
  if (n >= 15) return 15;
  if (n >= 12) return 12;
  if (n >= 9) return 9;
  return 6;
}

MultiVEncPlan MultiVEnc_PlanInstances(VideoEncoderParams* params, uint32_t outputSubtype, uint32_t gpuMask) {
  MultiVEncPlan plan{1, gpuMask, 0};
  if (params->engineFlags & VEP_ENGINE_MULTI_INSTANCE) {
    plan.count = std::max<uint32_t>(params->encoderCount, 1);
    if (params->engineFlags & VEP_ENGINE_ACCELERATOR) {
      // The encode accelerator's worker threads are not used behind MULTIVENC: one instance.
      params->engineFlags &= ~VEP_ENGINE_ACCELERATOR;
      params->encoderCount = 0;
      plan.count = 1;
    }
    params->optionFlags |= VEP_OPT_EOS_FLUSH | VEP_OPT_CLOSED_GOPS;
  }
  if (plan.count > kMultiVEncSlots) plan.count = kMultiVEncSlots;
  if (plan.count > 1 && (outputSubtype & QVA_MSUBTYPE_WM_FAMILY)) params->engineFlags &= ~VEP_ENGINE_GPU;
  plan.multi = plan.count > 1;
  if ((params->engineFlags & VEP_ENGINE_GPU) && params->gpuMask != 0) plan.gpuMask = params->gpuMask;
  return plan;
}

void MultiVEnc_ResetSlots(MultiVEncState* state) {
  const uint64_t now = QVAGetTime();
  uint32_t active = 0;
  for (EncoderSlot& slot : state->slots) {
    std::lock_guard<std::mutex> lock(slot.lock);
    if (slot.instance != nullptr && slot.running) ++active;
    slot.groupsCompleted = 0;
    slot.framesDealt = 0;
    slot.framesInGroup = 0;
    slot.batchesMeasured = slot.batchFrames = slot.lastBatchFrames = slot.framesForAverage = 0;
    slot.previousDuration = slot.lastDuration = slot.totalDuration = slot.shortestDuration = 0;
    slot.averageRate = slot.bestRate = slot.previousAverage = 0;
    slot.picturesCollected = 0;
    slot.batchStart = slot.batchEnd = now;
    if (slot.instance == nullptr) slot.level = kLevelExcluded;
    else if (slot.gpu && !(state->params.optionFlags & VEP_OPT_ROUND_ROBIN)) slot.level = kGpuLevel;
    else slot.level = kLevelBest;
  }
  state->activeInstances = active;
  state->startTime = now;
}

QVAStatus VEncoderStart(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  MultiVEncState* state = MultiVEncStateOf(instance);
  MultiVEnc_ResetSlots(state);
  state->frameCounter = 0;
  state->picturesOut = 0;
  state->dealIndex = 0;
  state->lastTime = 0;
  state->streamEnded = 0;
  state->flushPhase = kFlushNone;
  state->failureReported = QVA_SUCCESS;
  if (ByReference(state->params)) {
    state->inputBufferSize = kByReferenceBufferSize;
    state->inputBufferCount = kByReferenceBufferCount;
    ComponentPin& pin = instance->inputPin[0];
    if (pin.queue == nullptr) {
      pin.bufferSize = kByReferenceBufferSize;
      pin.bufferCount = kByReferenceBufferCount;
    }
  }
  state->pick = (state->params.optionFlags & VEP_OPT_ROUND_ROBIN) ? MultiVEnc_PickRoundRobin : MultiVEnc_PickSlot;
  return CompBase_Init(instance);
}

QVAStatus VEncoderApplyFormat(ComponentInstance* instance, const VideoMediaType* format) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  state->formatChanges++;
  state->inputFormat = *format;
  state->inputFormat.size = sizeof(VideoMediaType);
  state->encoderInputFormat = state->inputFormat;
  state->conversionNeeded = NeedsConversion(format->subtype);
  if (state->conversionNeeded) state->encoderInputFormat.subtype = QVA_MSUBTYPE_YUV420;

  VideoMediaType& out = state->outputFormat;
  out.secondWidth = format->secondWidth;
  out.secondHeight = format->secondHeight;
  out.width = format->width != 0 ? format->width : format->secondWidth;
  out.height = format->height != 0 ? format->height : format->secondHeight;
  out.PARh = format->PARh;
  out.PARv = format->PARv;
  out.secondPARh = format->secondPARh;
  out.secondPARv = format->secondPARv;
  out.FrameRate = format->FrameRate;

  if (format->width != 0 && format->height != 0) {
    state->formatComplete = 1;
    const bool secondLarger =
        uint64_t{format->secondWidth} * format->secondHeight > uint64_t{format->width} * format->height;
    const uint32_t width = secondLarger ? format->secondWidth : format->width;
    const uint32_t height = secondLarger ? format->secondHeight : format->height;
    const uint32_t code = PreProc_InputCode(format->subtype);
    const uint32_t frameBytes = PreProc_FrameBytes(width, code, height);
    if (!state->begun) {
      if (!ByReference(state->params) || state->upstreamConnected) {
        state->inputBufferSize = frameBytes;
        CompBase_SetupInputPin(instance, 0, nullptr, nullptr, frameBytes, state->inputBufferCount);
      }
      // Configured: the end of the stream can complete a pause, so the graph wait sees it.
      CompBase_SetProgressPending(instance, 1);
    }
    state->preprocConfig.inputCode = code;
    state->preprocConfig.inputFrameRate = format->FrameRate;
    state->preprocConfig.encoderFrameRate = format->FrameRate;
    if (state->preproc != nullptr) PreProc_Reconfigure(state->preproc, &state->preprocConfig);
  }
  if (state->begun || format->secondWidth == 0 || format->secondHeight == 0) return QVA_SUCCESS;
  const QVAStatus status = VEncoderBegin(&state->params, state);
  if (status == QVA_SUCCESS) {
    for (EncoderSlot& slot : state->slots) {
      if (slot.instance == nullptr) continue;
      comp::PushRecord(slot.instance, 0, QVA_BUFFLAG_FORMAT_VIDEO, state->encoderInputFormat, QVA_INFINITE);
    }
  }
  return status;
}

QVAStatus VEncoderBegin(VideoEncoderParams* params, MultiVEncState* state) {
  if (state->begun) return QVA_ERR_ALREADYOPEN;
  // The loader's lock first, as a release (which holds it) takes the instance lock after it.
  std::lock_guard<std::recursive_mutex> loader(LoaderMutex());
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  MultiVEnc_Trace(state, kTraceSpanStart, "VEncoderBegin");
  VideoMediaType& out = state->outputFormat;
  out.width = out.secondWidth;
  out.height = out.secondHeight;
  state->conversionNeeded = NeedsConversion(state->inputFormat.subtype);

  const uint32_t m = std::clamp<uint32_t>(params->anchorDistance, 1, 3);
  const uint32_t n = MultiVEnc_RoundGop(params->gopLength, m);
  params->anchorDistance = m;
  params->gopLength = n;
  params->groupLength = n;

  const uint32_t wanted = (params->engineFlags & VEP_ENGINE_MULTI_INSTANCE) ? params->encoderCount : 1;
  const MultiVEncPlan plan = MultiVEnc_PlanInstances(params, out.subtype, state->gpuMask);
  if (wanted > kMultiVEncSlots) {
    QVADebugPrintf("VEncoderBegin: %u encoders asked, %u slots used\n", wanted, plan.count);
    MultiVEnc_Trace(state, kTraceLine, "Encoders %u>%u", wanted, plan.count);
  }
  state->multi = plan.multi;
  state->gpuMask = plan.gpuMask;
  if (state->conversionNeeded) state->encoderInputFormat.subtype = QVA_MSUBTYPE_YUV420;

  state->instanceOutputCount = 512;
  state->instanceOutputSize = 4096;
  const uint32_t rate = std::max(out.BitrateAverage, out.BitrateMax);
  if ((rate >> 21) * 128 > state->instanceOutputCount) state->instanceOutputCount = (rate >> 21) * 128;

  for (uint32_t i = 0; i < plan.count; ++i) {
    EncoderSlot& slot = state->slots[i];
    if (slot.instance == nullptr) {
      slot.instance = CompCreateByName("qvavenc", reinterpret_cast<uintptr_t>(state), 0);
      if (slot.instance == nullptr) continue;
      state->loadedInstances++;
    }
    ConfigureSlot(state, slot, n, m);
  }
  if (state->loadedInstances == 0) {
    state->beginFailed = 1;
    MultiVEnc_Trace(state, kTraceSpanEnd, "VEncoderBegin");
    return QVA_ERR_NOCOMPONENT;
  }

  state->preprocConfig = MakePreProcConfig(state, n);
  QVAStatus status = PreProc_Create(&state->preprocConfig, &state->preproc, state);
  if (status != QVA_SUCCESS) status = QVA_ERR_GENERIC;

  for (EncoderSlot& slot : state->slots) {
    if (slot.instance == nullptr) continue;
    VideoEncoderParams copy = *params;
    if (!((state->gpuMask >> slot.index) & 1)) copy.engineFlags &= ~VEP_ENGINE_GPU;
    copy.gopLength = slot.groupLength;
    copy.anchorDistance = slot.anchorDistance;
    copy.groupLength = slot.regularGroupLength;
    comp::SetParam(slot.instance, QVA_PARAM_VIDEOENCODER, &copy, sizeof copy);
    comp::PushRecord(slot.instance, 0, QVA_FORMATRECORD_VIDEO, state->encoderInputFormat, QVA_INFINITE);
  }

  MultiVEnc_ResetSlots(state);
  if (state->grouping && status == QVA_SUCCESS) {
    for (EncoderSlot& slot : state->slots) {
      if (slot.instance == nullptr) continue;
      const bool started = comp::Start(slot.instance) == QVA_SUCCESS;
      if (started) comp::SendCommand(slot.instance, CMD_PLAY);
      slot.running = started ? 1 : 0;
      if (!started) slot.level = kLevelExcluded;
      MultiVEnc_SetSlotState(&slot, started ? ESTATE_IDLE : ESTATE_FAILED);
    }
    uint32_t active = 0;
    for (EncoderSlot& slot : state->slots) active += slot.instance != nullptr && slot.running ? 1 : 0;
    state->activeInstances = active;
  }

  if (state->statisticsKept) VEncoderSendParamStats(state, state->statistics);
  if (state->savedLog.level != 0) {
    LogSetup setup = state->savedLog;
    setup.managerCount = 0;
    std::fill(std::begin(setup.managers), std::end(setup.managers), nullptr);
    VEncoderSetParam(state, QVA_PARAM_LOG, &setup, sizeof setup);
  }
  state->begun = 1;
  MultiVEnc_Trace(state, kTraceSpanEnd, "VEncoderBegin");
  return status;
}

QVAStatus VEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer) {
  MultiVEncState* state = MultiVEncStateOf(instance);
  if (buffer == nullptr) return QVA_SUCCESS;
  // No instance could be had: the worker stops, reports the error and ends the stream.
  if (state->beginFailed) {
    MultiVEnc_ReportConsumed(state, instance, buffer);
    return QVA_ERR_NOCOMPONENT;
  }
  const uint32_t flags = buffer->flags;
  const bool begun = state->begun != 0;
  if (begun && (flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_BATCHSTART))) {
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
    state->streamEnded = 0;
  }
  const bool hasData = buffer->data != nullptr && buffer->length != 0;
  const bool isEnd = ((flags & QVA_BUFFLAG_EOS) && !hasData) || (begun && (flags & QVA_BUFFLAG_EOI));
  bool isFrame = hasData && !isEnd;
  if ((flags & QVA_BUFFLAG_FORMAT) && hasData) {
    isFrame = false;
    VideoMediaType format;
    if (ReadFormatRecord(*buffer, &format)) {
      const QVAStatus status = VEncoderApplyFormat(instance, &format);
      if (status == QVA_ERR_NOCOMPONENT) return status;
    }
  }
  if (!state->begun && state->formatComplete && !state->streamEnded) {
    // A frame before any format-change buffer: begin from the stored input format.
    const VideoMediaType stored = state->inputFormat;
    if (VEncoderApplyFormat(instance, &stored) == QVA_ERR_NOCOMPONENT) {
      if (isFrame) MultiVEnc_ReportConsumed(state, instance, buffer);
      return QVA_ERR_NOCOMPONENT;
    }
  }
  if (flags & QVA_BUFFLAG_TIMESTAMP) {
    state->lastTime = buffer->timestamp;
    CompBase_SetTimestamp(instance, 0, static_cast<uint32_t>(buffer->timestamp),
                          static_cast<uint32_t>(buffer->timestamp >> 32));
  }
  QVAStatus result = QVA_SUCCESS;
  if (isFrame) {
    state->frameCounter.fetch_add(1);
    PreProcObject* preproc = state->preproc;
    if (!state->begun || state->loadedInstances == 0 || preproc == nullptr) {
      MultiVEnc_ReportConsumed(state, instance, buffer);
      MultiVEnc_FrameLost(state, QVA_ERR_NOTOPEN);
    } else if (preproc->config.useQueue) {
      if (PreProc_Submit(preproc, buffer->timestamp, buffer->data, buffer->length, state, buffer) != QVA_SUCCESS) {
        MultiVEnc_ReportConsumed(state, instance, buffer);
        result = QVA_ERR_GENERIC;
      } else if (preproc->config.frameCopies) {
        MultiVEnc_ReportConsumed(state, instance, buffer);  // the job holds a copy
      }
    } else {
      const QVAStatus status =
          PreProc_ConvertNow(preproc, buffer->timestamp, buffer->data, buffer->length, state, buffer);
      if (status != QVA_SUCCESS) {
        PPDrop(preproc, buffer->timestamp, status, state, buffer);
        if (status != QVA_ERR_OPEN && status != QVA_ERR_TOOSMALL) result = QVA_ERR_GENERIC;
      }
    }
    CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
    CompBase_SendProgress(instance, 0);
  }
  if (state->begun && (flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI))) {
    state->streamEnded = 1;
    VEncoderEnd(state);
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PAUSING);
  }
  return result;
}
