// The component's hooks: making and destroying the multiplexer, configuring it from the pins'
// media types, and the pump that feeds it one input buffer at a time.
#include <algorithm>
#include <cstring>

#include "framework/qva_os.h"
#include "media/media_codes.h"
#include "mux/component/mux_bit_stream.h"
#include "mux/component/mux_component.h"
#include "mux/component/mux_format_mapping.h"

namespace orx::mux {
namespace {

constexpr uint32_t kWrongState = 24;
constexpr uint32_t kNotOpen = 11;
constexpr uint32_t kFormatNotSupported = 40;
constexpr uint32_t kTraceGetBuffer = 0x1000;
constexpr uint32_t kProgressVideo = 1;
constexpr uint32_t kProgressAudio = 256;

uint32_t StreamOfPin(uint32_t pin) { return pin == kAudioPin ? kStreamAudio : kStreamVideo; }

// Step 2 of the pump: which pin to read next.
uint32_t ChooseStream(MuxComponentState& state) {
  const bool videoKnown = state.pinConnected[kVideoPin] || state.formatKnown[kVideoPin];
  const bool audioKnown = state.pinConnected[kAudioPin] || state.formatKnown[kAudioPin];
  if (!state.pinStarted[kVideoPin] && videoKnown) return kStreamVideo;
  if ((!state.pinStarted[kAudioPin] && audioKnown) || (state.pinStarted[kAudioPin] && !state.formatKnown[kAudioPin]))
    return kStreamAudio;
  if (state.pinEnded[kVideoPin] && !state.pinEnded[kAudioPin]) return kStreamAudio;
  if (!state.pinEnded[kVideoPin] && state.pinEnded[kAudioPin]) return kStreamVideo;
  const uint32_t pick = state.multiplexer->NextStream();
  if (pick != kStreamNone) return pick;
  if (state.pinConnected[kVideoPin] && !state.pinEnded[kVideoPin]) return kStreamVideo;
  if (state.pinConnected[kAudioPin] && !state.pinEnded[kAudioPin]) return kStreamAudio;
  return kStreamNone;
}

// Writes a sample and answers the bit stream's first failure, if any.
QVAStatus WriteSample(MuxComponentState& state, uint32_t stream, const MuxSampleDesc& sample, uint32_t* taken) {
  const uint32_t count = state.multiplexer->Write(stream, &sample);
  if (taken) *taken = count;
  return state.bitStream->Status();
}

}  // namespace

QVAStatus CreateMultiplexer(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return kWrongState;
  MuxComponentState& state = MuxState(instance);
  state.lastError = 0;
  for (uint32_t pin : {kVideoPin, kAudioPin}) {
    state.pinStarted[pin] = 0;
    state.pinEnded[pin] = 1;
  }
  if (state.openEvent == nullptr) state.openEvent = QVACreateEvent(0, 0, nullptr);
  if (state.multiplexer == nullptr) {
    state.multiplexer = NewMultiplexer();
    state.muxCreated = 1;
    state.muxOpened = 0;
  }
  state.bitStream->ClearStatus();
  CompBase_Init(instance);
  return 0;
}

QVAStatus DestroyMultiplexer(ComponentInstance* instance) {
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_Deinit(instance);
    return kWrongState;
  }
  MuxComponentState& state = MuxState(instance);
  for (uint32_t pin : {kVideoPin, kAudioPin}) {
    if (state.heldBuffer[pin] != nullptr) CompBase_ReturnInput(instance, pin, state.heldBuffer[pin]);
    state.heldBuffer[pin] = nullptr;
  }
  if (state.multiplexer != nullptr) {
    // The streams still running are ended before the file closes, so their last packs reach it.
    MuxSampleDesc end;
    end.flags = kSampleEndOfStream;
    for (uint32_t pin : {kAudioPin, kVideoPin}) {
      if (state.pinConnected[pin] && !state.pinEnded[pin]) state.multiplexer->Write(StreamOfPin(pin), &end);
    }
    state.multiplexer->Close();
    state.muxOpened = 0;
    state.bitStream->Reset();
    state.multiplexer->Release();
    state.multiplexer = nullptr;
    state.muxCreated = 0;
  }
  CloseMuxOutputFile(instance);
  for (uint32_t pin : {kVideoPin, kAudioPin}) {
    state.pinStarted[pin] = 0;
    state.pinEnded[pin] = 1;
  }
  if (state.openEvent != nullptr) QVADestroyEvent(state.openEvent);
  state.openEvent = nullptr;
  CompBase_Deinit(instance);
  return 0;
}

void UpdateVideoQueueSize(ComponentInstance* instance) {
  MuxComponentState& state = MuxState(instance);
  uint32_t bitRate = 0;
  const VideoMediaType& video = state.videoType;
  const VideoEncoderParams& params = state.encoderParams;
  if (state.formatKnown[kVideoPin] && (video.BitrateAverage != 0 || video.BitrateMax != 0)) {
    bitRate = std::max(video.BitrateAverage, video.BitrateMax);
  } else if (state.encoderParamsSet && (params.averageBitRate != 0 || params.peakBitRate != 0)) {
    bitRate = std::max(params.averageBitRate, params.peakBitRate);
  } else {
    bitRate = state.encoderParamsSet ? params.averageBitRate : 0;
  }
  state.videoBufferCount = std::max(state.videoBufferCount, VideoQueueCountForBitRate(bitRate));
}

QVAStatus ConfigureMultiplexer(ComponentInstance* instance, uint32_t index, const void* record, uint32_t length) {
  MuxComponentState& state = MuxState(instance);
  if (index == kVideoPin) {
    if (record) std::memcpy(static_cast<void*>(&state.videoType), record, std::min<size_t>(length, sizeof(VideoMediaType)));
    state.config.videoPresent = 1;
    state.formatKnown[kVideoPin] = 1;
  } else {
    if (record) std::memcpy(static_cast<void*>(&state.audioType), record, std::min<size_t>(length, sizeof(AudioMediaType)));
    state.config.audioPresent = 1;
    state.formatKnown[kAudioPin] = 1;
  }
  const MuxFormatChoice choice = ChooseMuxFormat(state.videoType.subtype, state.audioType.subtype,
                                                 state.outputFormatKnown != 0, state.outputType.MType);
  state.config.audioClass = choice.audioClass;
  state.config.videoCodecHint = choice.codecHint;
  state.config.muxType = choice.muxType;
  TakeVideoFormat(state.videoType, state.videoFormat);
  if (!TakeAudioFormat(state.audioType, choice.audioClass, state.audioFormat)) {
    MuxDebugLine(instance, "audio codec-private data of %u bytes does not fit\n", state.audioType.codecPrivateLength);
    return kFormatNotSupported;
  }

  const bool bothStarted = state.pinConnected[kVideoPin] && state.pinConnected[kAudioPin] &&
                           state.pinStarted[kVideoPin] && state.pinStarted[kAudioPin];
  const bool oneAbsent = (!state.pinConnected[kVideoPin] && !state.formatKnown[kVideoPin]) ||
                         (!state.pinConnected[kAudioPin] && !state.formatKnown[kAudioPin]);
  if (!bothStarted && !oneAbsent) return 0;
  if (state.muxOpened) {
    // A format change on a running multiplexer keeps the stream as it is.
    MuxDebugLine(instance, "format change on pin %u ignored: the multiplexer is already open\n", index);
    return 0;
  }
  if (!state.multiplexer->Open(&state.config)) {
    MuxDebugLine(instance, "the multiplexer refuses the configuration (type %u, audio class %u)\n",
                 state.config.muxType, state.config.audioClass);
    return kFormatNotSupported;
  }
  state.muxOpened = 1;
  return 0;
}

}  // namespace orx::mux

using namespace orx::mux;

QVAStatus CompCreateHook(ComponentInstance* instance) { return CreateMultiplexer(instance); }

QVAStatus CompDestroyHook(ComponentInstance* instance) { return DestroyMultiplexer(instance); }

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* given) {
  MuxComponentState& state = MuxState(instance);
  if (state.multiplexer == nullptr) return kNotOpen;
  const uint32_t timeout = CompBase_IsRunning(instance) ? 0xFFFFFFFFu : 0;

  const uint32_t stream = ChooseStream(state);
  const uint32_t pin = stream == kStreamAudio ? kAudioPin : kVideoPin;
  ComponentBuffer* buffer = given;
  bool fresh = false;
  if (buffer == nullptr) {
    buffer = state.heldBuffer[pin];
    if (buffer == nullptr) {
      if (EventManager* events = instance->eventManager.load()) EventManager_Add(events, kTraceGetBuffer, "GetBuf[%d]", pin);
      const QVAStatus status = CompBase_TakeInput(instance, pin, &buffer, timeout);
      if (status != 0) return status;
      if (buffer == nullptr) return 19;
      state.heldBuffer[pin] = buffer;
      state.consumed[pin] = 0;
      fresh = true;
    }
  }

  QVAStatus result = 0;
  bool finished = false;
  const uint32_t flags = buffer->flags;
  if (fresh && pin == kAudioPin && state.config.audioClass == kAudioClassLpcm &&
      !(flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) && buffer->data != nullptr)
    SwapSampleBytes(buffer->data, buffer->length);

  if (flags & QVA_BUFFLAG_FORMAT) {
    state.pinStarted[pin] = 1;
    state.pinConnected[pin] = 1;
    state.pinEnded[pin] = 0;
    CompBase_SetEOS(instance, 0);
    if (buffer->data != nullptr && buffer->length >= kMediaTypeHeaderSize) {
      if (flags & QVA_BUFFLAG_VIDEO) {
        CompBase_SetState(instance, QVA_STATE_PLAYING);
        result = ConfigureMultiplexer(instance, kVideoPin, buffer->data, buffer->length);
        const VideoMediaType& video = state.videoType;
        if (result == 0 && (video.subtype == QVA_MSUBTYPE_H264 || video.subtype == 8) && video.codecPrivateLength > 0) {
          uint8_t header[256];
          const size_t length = AvcCToAnnexB(video.codecPrivate, std::min<uint32_t>(video.codecPrivateLength, 64),
                                             header, sizeof(header));
          if (length > 0) {
            MuxSampleDesc sample;
            sample.data = header;
            sample.flags = kSampleKey | kSampleTimeValid;
            sample.length = static_cast<uint32_t>(length);
            result = WriteSample(state, stream, sample, nullptr);
          }
        }
      } else if (flags & QVA_BUFFLAG_AUDIO) {
        CompBase_SetState(instance, QVA_STATE_PLAYING);
        result = ConfigureMultiplexer(instance, kAudioPin, buffer->data, buffer->length);
      }
    }
    finished = true;
  } else if (flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) {
    state.pinEnded[pin] = 1;
    MuxSampleDesc end;
    end.flags = kSampleEndOfStream;
    result = WriteSample(state, stream, end, nullptr);
    if (state.muxCreated && state.pinEnded[kVideoPin] && state.pinEnded[kAudioPin]) {
      CompBase_SetState(instance, QVA_STATE_PAUSED);
      if (CompBase_GetEOS(instance) == 0) {
        CompBase_SetEOS(instance, 16);
        CompBase_UpdateProgress(instance);
      }
    }
    CompBase_CountFrame(instance, pin, pin == kVideoPin ? kProgressVideo : kProgressAudio, 0x2000);
    finished = true;
  } else {
    if (state.pinEnded[pin] && !state.pinStarted[pin]) {
      state.pinStarted[pin] = 1;
      state.pinEnded[pin] = 0;
    } else if (state.pinStarted[pin] && state.pinEnded[pin]) {
      finished = true;
    }
    if (!finished && buffer->data != nullptr && buffer->length > 0) {
      MuxSampleDesc sample;
      sample.data = buffer->data;
      sample.length = buffer->length;
      if (flags & QVA_BUFFLAG_TIMESTAMP) {
        sample.flags = kSampleTimeValid;
        sample.time = static_cast<double>(buffer->timestamp) / 1000.0;
      }
      if (flags & QVA_BUFFLAG_SYNCPOINT) sample.flags |= kSampleKey;
      result = WriteSample(state, stream, sample, &state.consumed[pin]);
      if (state.consumed[pin] >= buffer->length) finished = true;
      CompBase_CountFrame(instance, pin, pin == kVideoPin ? kProgressVideo : kProgressAudio, 12);
      CompBase_SendProgress(instance, 0);
    }
  }

  // A refused configuration or a failed write ends the hook with its status, so the framework's
  // failure path runs.
  if (given != nullptr) {
    state.heldBuffer[pin] = nullptr;
    return result;
  }
  if (finished || buffer->data == nullptr || buffer->length == 0 || result != 0) {
    CompBase_UpdateProgress(instance);
    const QVAStatus returned = CompBase_ReturnInput(instance, pin, buffer);
    state.heldBuffer[pin] = nullptr;
    return result != 0 ? result : returned;
  }
  return 0;
}
