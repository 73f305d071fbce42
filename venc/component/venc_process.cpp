// The "VENC" component's hooks: creation and destruction of the encoder object, the per-buffer
// process hook that configures, opens and feeds the encoder, and the reconfiguration for a new
// input format. They run on the instance's worker thread (creation also on the starter's).
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/qva_clock.h"
#include "media/media_codes.h"
#include "platform/thread.h"
#include "venc/component/bit_stream.h"
#include "venc/common/debug_printf.h"
#include "venc/core/gpu_setup.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/preprocessor.h"
#include "venc/core/sequence_header.h"
#include "venc/component/venc_component.h"
#include "venc/dsp/cpu_features.h"
#include "venc/common/dataflow_hooks.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/convert/yuv444_to_i420.h"

namespace orx::venc {
namespace {

// Flags of buffers the component passes through as data-less markers.
constexpr uint32_t kMarkerFlags = QVA_BUFFLAG_RESUME | QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_STREAMSTART;
static_assert(kMarkerFlags == 0x2A000);
constexpr uint32_t kStreamStartEvent = QVA_PROGRESSFLAG_VIDEO | QVA_PROGRESSFLAG_START;  // 0x20001
constexpr uint32_t kStreamStartWord = 12;

VEncPrivate* Private(ComponentInstance* instance) { return CompPrivate<VEncPrivate>(instance); }

bool Has(uint32_t flags, uint32_t bits) { return (flags & bits) != 0; }

// The worker thread on processor 1 << (index & 31) at the highest priority it may take.
void BindWorkerThread(ComponentInstance* instance) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(static_cast<int>(CompBase_GetIndex(instance) & 31), &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
  platform::SetThreadPriorityLevel(platform::CurrentThreadId(), 15);
}

// The frame-rate index: the first table rate whose value x 1000, rounded, is at least the
// format's rate (frames x 1000); 11 when none is.
int FrameRateIndexOf(uint32_t framesPer1000s) {
  for (int i = 0; i < 12; ++i) {
    if (std::llround(kFrameRateTable[i].rate * 1000.0) >= static_cast<long long>(framesPer1000s)) return i;
  }
  return 11;
}

// Settings width, height, frame-rate index and the SD interlace rule from the stored formats
// (ReconfigureVideoEncoder steps 4 and 5). False when the size is not known yet.
bool ApplyFormatGeometry(const VEncStoredRecords& r, EncoderSettings& s) {
  const bool outputSize = r.outputFormatSet != 0 && r.output.secondWidth != 0 && r.output.secondHeight != 0;
  s.width = static_cast<int32_t>(outputSize ? r.output.secondWidth : r.input.secondWidth);
  s.height = static_cast<int32_t>(outputSize ? r.output.secondHeight : r.input.secondHeight);
  if (s.width == 0 || s.height == 0) return false;
  const uint32_t rate = r.output.FrameRate != 0 ? r.output.FrameRate : r.input.FrameRate;
  s.frameRateIndex = FrameRateIndexOf(rate);
  if (r.params.progressive == 0 && (s.streamType == STREAM_TYPE_MPEG2_SD || s.streamType == 4 ||
                                    s.streamType == STREAM_TYPE_HD) &&
      r.output.subtype == QVA_MSUBTYPE_MPV2 && (s.frameRateIndex == 6 || s.frameRateIndex == 7)) {
    s.progressiveSequence = 0;
  }
  return true;
}

// The hook's answer for lost output: a status the framework reports through the error callback.
QVAStatus OutputFailure(QVAStatus status) {
  if (status == QVA_SUCCESS) return QVA_SUCCESS;
  if (status == QVA_ERR_STOPPED || status == QVA_ERR_NOBUFFER) return QVA_ERR_COMPONENTS;
  return status;
}

// The B pictures still waiting for an anchor are coded (a batch, a sequence or a parameter set
// ends here); with finish the sequence ends too (the encoder's Finish drains first) and the area
// holding its end code is handed on.
void EndSequence(VEncPrivate* p, bool finish) {
  if (!finish) {
    p->encoder->Drain();
    return;
  }
  p->encoder->Finish();
  p->bitStream->Finish();
}

// The end of the stream of the graph's own encoder leaves the component paused, as MULTIVENC and
// the multiplexer do: the engine's wait for the end of a graph waits for its leaves to leave
// PLAYING. PAUSING becomes PAUSED at the end of this round; CMD_PLAY starts the next stream. An
// instance MULTIVENC drives (its parameters carry a multi-instance flag) keeps running: a lone
// one gets the same end-of-input marker from a flush in mid-stream and is never played again,
// and the graph's wait watches MULTIVENC, not its instances. A component being stopped stays so.
void PauseAtStreamEnd(ComponentInstance* instance, const VideoEncoderParams& params) {
  const bool multiVEncInstance =
      Has(params.optionFlags, VEP_OPT_MULTIVENC) || Has(params.engineFlags, VEP_ENGINE_MULTI_INSTANCE);
  if (!multiVEncInstance && CompBase_IsRunning(instance)) {
    CompBase_ChangeState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING, QVA_STATE_PAUSING);
  }
}

void CloseEncoder(VEncPrivate* p) {
  p->encoder->Close();
  std::lock_guard<std::mutex> hold(*p->recordsLock);
  p->glueState = VENC_CONFIGURED;
}

// The conversion buffer for a frame of 32-bit input, made on first need.
uint8_t* ConversionBuffer(VEncPrivate* p, size_t bytes) {
  if (p->conversion != nullptr && p->conversionSize >= bytes) return p->conversion;
  std::free(p->conversion);
  p->conversion = static_cast<uint8_t*>(std::malloc(bytes));
  p->conversionSize = p->conversion != nullptr ? bytes : 0;
  return p->conversion;
}

// ReconfigureVideoEncoder: a new input format (or the stored one). Answers the status of the
// input pin's set-up.
QVAStatus ReconfigureVideoEncoder(ComponentInstance* instance, const VideoMediaType* format) {
  VEncPrivate* p = Private(instance);
  // ReconfigureVideoEncoder, the component's take-up of a new input format:
  // 1. An open encoder that coded pictures ends its sequence first. One that coded nothing yet
  // closes too, so that the next picture opens it with the new format.
  if (p->glueState >= VENC_OPEN) {
    if (p->framesEncoded != 0) EndSequence(p, true);
    CloseEncoder(p);
    p->framesEncoded = 0;
    std::free(p->conversion);
    p->conversion = nullptr;
    p->conversionSize = 0;
  }
  bool known = false;
  uint32_t bufferSize = 0, bufferCount = 0;
  bool bind = false;
  {
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    VEncStoredRecords& r = p->stored;
    // 2. The format is stored; the settings are derived again unless an encoder is running.
    if (format != &r.input) std::memcpy(&r.input, format, sizeof(VideoMediaType));
    const bool settled = p->glueState == VENC_CREATED || p->glueState == VENC_CONFIGURED;
    if (settled || r.paramsChanged != 0) {
      DeriveEncoderSettings(r.params, r.input, r.output, p->settings, p->requestOptions);
      if (settled) r.paramsChanged = 0;
    }
    // 3. The input's FOURCC.
    p->fourcc = InputFourccOf(r.input.subtype);
    bind = (r.params.optionFlags & VEP_OPT_BIND_THREAD) != 0;
    // 4 and 5. The picture's size and frame rate, when the format gives them.
    known = ApplyFormatGeometry(r, p->settings);
    if (known) {
      r.ready = 1;
      // A configured encoder takes the new format at the next picture's Configure (its own copy
      // of the settings would otherwise keep the old size and rate).
      if (p->glueState == VENC_CONFIGURED) p->formatChanged = 1;
      // 6. One frame of the input kind per input slot.
      const uint32_t w16 = (static_cast<uint32_t>(p->settings.width) + 15) & ~15u;
      const uint32_t h16 = (static_cast<uint32_t>(p->settings.height) + 15) & ~15u;
      const bool wide = r.input.subtype == QVA_MSUBTYPE_BGRA || r.input.subtype == QVA_MSUBTYPE_YUV444I;
      p->inputBufferSize = wide ? w16 * h16 * 4 : w16 * h16 + 2 * (w16 * h16 / 4);
      bufferSize = p->inputBufferSize;
      bufferCount = p->inputBufferCount;
      // 7. The output format carries the sequence header.
      r.output.codecPrivateLength =
          static_cast<uint32_t>(GetSequenceHeader(p->settings, r.output.codecPrivate, dsp::GetCpuFeatures()));
    }
  }
  if (!known) {
    if (bind) BindWorkerThread(instance);
    return QVA_SUCCESS;
  }
  // The queue grows keeping every record queued behind the format record.
  const QVAStatus status = CompBase_SetupInputPin(instance, 0, nullptr, nullptr, bufferSize, bufferCount);
  // 8. The new output format goes downstream.
  CompBase_SetProgressPending(instance, 1);
  CompBase_SendFormatChange(instance, 0);
  // 9. The worker is bound to its processor when the parameters ask.
  if (bind) BindWorkerThread(instance);
  return status;
}

// One debugger line per configuration that passed (also for a re-configuration, so that each
// one can be seen).
void TraceConfiguration(ComponentInstance* instance, const EncoderSettings& s) {
  DebugPrintf("SetVideoEncoder[%d] %dx%d Bitrate=%d I=%d P=%d\n", static_cast<int>(CompBase_GetIndex(instance)),
              s.width, s.height, s.maxBitRate, s.gopLength, s.anchorDistance);
}

// Step 5 of VideoEncoderProcessBuf for a picture: configure on the first picture, re-configure
// after a parameter or format change. Answers 3 when the first configuration fails.
QVAStatus ApplyConfiguration(ComponentInstance* instance, VEncPrivate* p) {
  bool ready = false;
  bool changed = false;
  {
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    ready = p->stored.ready != 0;
    changed = p->stored.paramsChanged != 0;
  }
  if (p->glueState == VENC_CREATED && ready) {
    CompBase_SetEOS(instance, 0);
    ReconfigureVideoEncoder(instance, &p->stored.input);
    p->formatChanged = 0;
    if (!p->encoder->Configure(&p->settings)) return QVA_ERR_BADARG;
    p->configured = p->settings;
    TraceConfiguration(instance, p->settings);
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    p->glueState = VENC_CONFIGURED;
    p->stored.paramsChanged = 0;
    return QVA_SUCCESS;
  }
  if (p->glueState >= VENC_CONFIGURED && (changed || p->formatChanged != 0)) {
    if (p->glueState == VENC_OPEN) {
      // The pictures of the old parameters are coded and their sequence ended before the
      // encoder closes: a decoder re-initialised by the new sequence header would otherwise
      // drop the anchor it still holds back.
      EndSequence(p, true);
      CloseEncoder(p);
    }
    {
      std::lock_guard<std::mutex> hold(*p->recordsLock);
      VEncStoredRecords& r = p->stored;
      if (changed) DeriveEncoderSettings(r.params, r.input, r.output, p->settings, p->requestOptions);
      // The derivation leaves the frame-rate index at 8: the formats give the real one.
      ApplyFormatGeometry(r, p->settings);
      r.paramsChanged = 0;
    }
    p->formatChanged = 0;
    if (p->encoder->Configure(&p->settings)) {
      p->configured = p->settings;
      TraceConfiguration(instance, p->settings);
    } else {
      // Only the new N is taken; the encoder keeps the settings it last passed with, instead of
      // opening with ones its checks refused.
      const int gopLength = p->settings.gopLength;
      p->settings = p->configured;
      p->encoder->Configure(&p->settings);
      if (gopLength > 0) {
        p->encoder->SetGopLength(gopLength);
        p->settings.gopLength = gopLength;
      }
    }
  }
  return QVA_SUCCESS;
}

// Encodes one picture (glue state 8). Answers an output failure.
QVAStatus EncodePicture(ComponentInstance* instance, VEncPrivate* p, const ComponentBuffer& buffer) {
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_START);
  uint32_t subtype, width, height;
  {
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    subtype = p->stored.input.subtype;
    width = p->stored.input.secondWidth;
    height = p->stored.input.secondHeight;
  }
  EncodeFrameRequest request{};
  request.data = buffer.data;
  request.fourcc = p->fourcc;
  request.timeStamp = static_cast<int64_t>(p->lastTimestamp);
  request.width = static_cast<int32_t>(width);
  request.height = static_cast<int32_t>(height);
  if (p->flushRequest != 0) {
    request.flags |= ENCODE_RESTART;
    p->flushRequest = 0;
  }
  if (p->settings.progressiveSequence != 0) request.flags |= ENCODE_PROGRESSIVE_FRAME;
  if (p->requestOptions.options != 0) request.flags |= ENCODE_TOP_FIELD_FIRST;
  const bool wide = subtype == QVA_MSUBTYPE_YUV444I || subtype == QVA_MSUBTYPE_BGRA;
  const size_t planarBytes = static_cast<size_t>(width) * height + 2 * (static_cast<size_t>(width / 2) * (height / 2));
  const size_t needed = wide ? static_cast<size_t>(width) * height * 4 : planarBytes;
  bool converted = buffer.data != nullptr && buffer.length >= needed;
  if (converted && wide) {
    uint8_t* conversion = ConversionBuffer(p, planarBytes);
    if (conversion == nullptr) {
      converted = false;
    } else if (subtype == QVA_MSUBTYPE_YUV444I) {
      convert::ConvertYuv444PackedToI420(buffer.data, static_cast<int>(height), conversion, static_cast<int>(width), 1);
    } else {
      convert::ConvertBgraToI420(conversion, buffer.data, static_cast<int>(width), static_cast<int>(height), 1);
    }
    request.data = conversion;
  }
  if (converted && p->encoder->EncodeFrame(&request) >= 1) p->framesEncoded += 1;
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  CompBase_SendProgress(instance, 0);
  if (!converted) {
    // A frame shorter than its format (or one the conversion buffer cannot take) is not read
    // past its end: it is left out and reported, and the stream goes on.
    DebugPrintf("VENC[%d]: frame of %u bytes left out (%zu expected)\n", static_cast<int>(CompBase_GetIndex(instance)),
                buffer.length, needed);
    CompBase_ReportError(instance, QVA_ERR_BADARG, 0);
  }
  return QVA_SUCCESS;
}

// Step 3 of VideoEncoderProcessBuf: a pass-through marker goes downstream as a data-less buffer.
void PassMarker(ComponentInstance* instance, VEncPrivate* p, const ComponentBuffer& buffer) {
  if (Has(buffer.flags, QVA_BUFFLAG_BATCHSTART)) {
    // A new batch restarts the encoder when it starts a stream, or after the flush that ended
    // the batch before (several instances, each batch its own groups of pictures). A batch
    // that follows the last one into the same open stream (one instance, fed batch after batch
    // with no flush between) continues it: the groups of pictures were dealt for a stream that
    // goes on, and a restart there cut each batch into a short group and a group of one or two
    // pictures with an I picture of its own.
    const bool streamGoesOn = p->glueState == VENC_OPEN && p->framesEncoded != 0;
    if (!streamGoesOn) p->flushRequest = 1;
  }
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) == QVA_SUCCESS && out != nullptr) {
    out->flags = QVA_BUFFLAG_VIDEO | (buffer.flags & kMarkerFlags);
    if (Has(buffer.flags, QVA_BUFFLAG_TIMESTAMP)) {
      out->flags |= QVA_BUFFLAG_TIMESTAMP;
      out->timestamp = buffer.timestamp;
    }
    out->length = 0;
    CompBase_DeliverOutput(instance, 0, out);
  }
  CompBase_SetEOS(instance, 0);
  CompBase_SendStreamEvent(instance, kStreamStartEvent);
  CompBase_SetStreamStart(instance, kStreamStartWord);
}

}  // namespace

QVAStatus CreateVideoEncoder(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  VEncPrivate* p = Private(instance);
  if (p->encoder == nullptr) {
    bool useGpu;
    {
      std::lock_guard<std::mutex> hold(*p->recordsLock);
      useGpu = (p->stored.params.engineFlags & VEP_ENGINE_GPU) != 0;
    }
    DebugPrintf("CreateVideoEncoder[%d] bUseGPU=%d\n", static_cast<int>(CompBase_GetIndex(instance)), useGpu ? 1 : 0);
    IMPEGVideoEncoder* encoder = nullptr;
    const bool made = NewMPEGVideoEncoder(&encoder, 0);
    {
      std::lock_guard<std::mutex> hold(*p->recordsLock);
      p->encoder = made ? encoder : nullptr;
      p->glueState = made ? VENC_CREATED : VENC_NO_ENCODER;
    }
    if (made && useGpu) {
      encoder->EnableGpu(GPU_MODE_DATAFLOW);
      dataflow::g_dataflow_wait_hook.store(&GpuWaitYield);
    }
  }
  p->framesEncoded = 0;
  p->lastTimestamp = 0;
  p->bitStream->Attach();
  CompBase_Init(instance);
  return QVA_SUCCESS;
}

QVAStatus DestroyVideoEncoder(ComponentInstance* instance) {
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_Deinit(instance);
    return QVA_ERR_WRONGSTATE;
  }
  VEncPrivate* p = Private(instance);
  if (p->encoder != nullptr) {
    if (p->glueState == VENC_OPEN) {
      // The stream's peer may be gone by now: what Finish writes is not handed on.
      p->bitStream->Detach();
      p->encoder->Finish();
      CloseEncoder(p);
    }
    p->encoder->Release();
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    p->encoder = nullptr;
    p->glueState = VENC_NO_ENCODER;
  }
  std::free(p->conversion);
  p->conversion = nullptr;
  p->conversionSize = 0;
  CompBase_Deinit(instance);
  return QVA_SUCCESS;
}

QVAStatus VideoEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer) {
  VEncPrivate* p = Private(instance);
  // VideoEncoderProcessBuf, the component's process hook, one buffer a round:
  // 1. Without an encoder object nothing can be done.
  if (p->encoder == nullptr) return QVA_ERR_OPEN;
  if (buffer == nullptr) return QVA_SUCCESS;
  const uint32_t flags = buffer->flags;
  bool picture = buffer->length != 0;
  // 2. A flush request empties the output queues.
  if (Has(flags, QVA_BUFFLAG_FLUSH)) CompBase_FlushQueues(instance, 1, 0xFFFFFFFFu, 0);
  // 3. Stream-start and batch markers pass through.
  if (Has(flags, kMarkerFlags)) PassMarker(instance, p, *buffer);
  // 4. A format record is the new input format, not a picture.
  if (Has(flags, QVA_BUFFLAG_FORMAT)) {
    picture = false;
    if (buffer->data != nullptr && buffer->length >= sizeof(VideoMediaType)) {
      VideoMediaType format;
      std::memcpy(&format, buffer->data, sizeof format);
      ReconfigureVideoEncoder(instance, &format);
      if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
    }
  }
  QVAStatus result = QVA_SUCCESS;
  // 5. A picture: its frame information, a forced key frame and the configuration.
  if (picture) {
    if (Has(flags, QVA_BUFFLAG_TIMESTAMP)) {
      const bool wordGiven = Has(flags, QVA_BUFFLAG_COMPONENTWORD);
      const uintptr_t componentWord = wordGiven ? buffer->componentWord : static_cast<uint32_t>(QVAGetTime());
      p->frameInfo.Push(buffer->timestamp, flags | QVA_BUFFLAG_COMPONENTWORD, buffer->bytesRead, componentWord);
    }
    if (p->glueState == VENC_OPEN && Has(flags, QVA_BUFFLAG_FORCEKEYFRAME)) p->encoder->ForceKeyFrame();
    result = ApplyConfiguration(instance, p);
    if (result != QVA_SUCCESS) return result;
  }
  // 6. Open on the first picture; a failed open is reported, not used.
  if (p->glueState == VENC_CONFIGURED && picture) {
    if (!p->encoder->Open()) {
      DebugPrintf("VENC[%d]: the encoder did not open\n", static_cast<int>(CompBase_GetIndex(instance)));
      return QVA_ERR_OPEN;
    }
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    p->glueState = VENC_OPEN;
  }
  // 7. The time stamp.
  if (Has(flags, QVA_BUFFLAG_TIMESTAMP)) {
    p->lastTimestamp = buffer->timestamp;
    CompBase_SetTimestamp(instance, 0, static_cast<uint32_t>(buffer->timestamp),
                          static_cast<uint32_t>(buffer->timestamp >> 32));
  }
  // 8. The picture is encoded; an end of stream or of input ends or flushes the sequence.
  if (p->glueState == VENC_OPEN && picture) result = EncodePicture(instance, p, *buffer);
  if (Has(flags, QVA_BUFFLAG_EOI | QVA_BUFFLAG_EOS)) {
    VideoEncoderParams params;
    {
      std::lock_guard<std::mutex> hold(*p->recordsLock);
      params = p->stored.params;
    }
    const bool endOfInput = Has(flags, QVA_BUFFLAG_EOI);
    if (Has(params.optionFlags, VEP_OPT_EOS_KEEP_OPEN) && !endOfInput) {
      // The stream goes on.
    } else if (Has(params.optionFlags, VEP_OPT_EOS_FLUSH) && !endOfInput) {
      // A batch ends: its pictures go out now; the next picture restarts the encoder.
      if (p->glueState == VENC_OPEN) {
        EndSequence(p, false);
        p->flushRequest = 1;
      }
    } else {
      // The stream ends.
      if (p->glueState == VENC_OPEN) {
        EndSequence(p, true);
        CloseEncoder(p);
      }
      PauseAtStreamEnd(instance, params);
    }
  }
  // Output the encoder could not hand on is reported, not dropped silently.
  const QVAStatus lost = OutputFailure(p->bitStream->TakeFailure());
  return result != QVA_SUCCESS ? result : lost;
}

}  // namespace orx::venc
