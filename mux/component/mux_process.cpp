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

constexpr uint32_t kTraceGetBuffer = 0x1000;
constexpr uint32_t kProgressVideo = 1;
constexpr uint32_t kProgressAudio = 256;
constexpr uint32_t kEndOfStreamReached = 16;
constexpr uint32_t kH264AltSubtype = 8;

uint32_t StreamOfPin(uint32_t pin) { return pin == kAudioPin ? kStreamAudio : kStreamVideo; }
uint32_t ProgressKindOfPin(uint32_t pin) { return pin == kVideoPin ? kProgressVideo : kProgressAudio; }

// Which stream to read next: a pin's first buffer (its format) before anything else, then the
// pin still running when the other has ended, then the multiplexer's choice.
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

// Writes a sample and answers the bit stream's first failure, else the multiplexer's, if any.
QVAStatus WriteSample(MuxComponentState& state, uint32_t stream, const MuxSampleDesc& sample, uint32_t* taken) {
  const uint32_t count = state.multiplexer->Write(stream, &sample);
  if (taken) *taken = count;
  const QVAStatus status = state.bitStream->Status();
  return status != QVA_SUCCESS ? status : state.multiplexer->Failure();
}

// An H.264 video format's codec-private bytes, kept as an Annex B header for the next picture.
void PrepareCodecHeader(MuxComponentState& state) {
  const VideoMediaType& video = state.videoType;
  state.codecHeaderLength = 0;
  if ((video.subtype != QVA_MSUBTYPE_H264 && video.subtype != kH264AltSubtype) || video.codecPrivateLength == 0)
    return;
  const size_t privateLength = std::min<size_t>(video.codecPrivateLength, sizeof(video.codecPrivate));
  state.codecHeaderLength = static_cast<uint32_t>(
      AvcCToAnnexB(video.codecPrivate, privateLength, state.codecHeader, sizeof(state.codecHeader)));
}

QVAStatus ApplyFormatChange(ComponentInstance* instance, uint32_t pin, const ComponentBuffer& buffer) {
  MuxComponentState& state = MuxState(instance);
  state.pinStarted[pin] = 1;
  state.pinConnected[pin] = 1;
  state.pinEnded[pin] = 0;
  CompBase_SetEOS(instance, 0);
  if (buffer.data == nullptr || buffer.length < kMediaTypeHeaderSize) return QVA_SUCCESS;
  if (buffer.flags & QVA_BUFFLAG_VIDEO) {
    CompBase_SetState(instance, QVA_STATE_PLAYING);
    const QVAStatus status = ConfigureMultiplexer(instance, kVideoPin, buffer.data, buffer.length);
    if (status == QVA_SUCCESS) PrepareCodecHeader(state);
    return status;
  }
  if (buffer.flags & QVA_BUFFLAG_AUDIO) {
    CompBase_SetState(instance, QVA_STATE_PLAYING);
    return ConfigureMultiplexer(instance, kAudioPin, buffer.data, buffer.length);
  }
  return QVA_SUCCESS;
}

QVAStatus EndPin(ComponentInstance* instance, uint32_t pin, uint32_t stream) {
  MuxComponentState& state = MuxState(instance);
  state.pinEnded[pin] = 1;
  MuxSampleDesc end;
  end.flags = kSampleEndOfStream;
  const QVAStatus status = WriteSample(state, stream, end, nullptr);
  if (!state.pinEnded[kVideoPin] || !state.pinEnded[kAudioPin]) return status;
  // Only the end of both pins ends the component's stream: counting the end of one would send
  // the end marker downstream while the other pin's samples are still to be written.
  if (state.muxCreated) {
    CompBase_SetState(instance, QVA_STATE_PAUSED);
    if (CompBase_GetEOS(instance) == 0) {
      CompBase_SetEOS(instance, kEndOfStreamReached);
      CompBase_UpdateProgress(instance);
    }
  }
  CompBase_CountFrame(instance, pin, ProgressKindOfPin(pin), QVA_COUNT_STREAM_ENDS);
  return status;
}

// Offers the buffer's data (again, when it was taken in part) to the multiplexer; finished is
// set once the multiplexer has taken all of it.
QVAStatus WriteData(ComponentInstance* instance, uint32_t pin, uint32_t stream, const ComponentBuffer& buffer,
                    bool& finished) {
  MuxComponentState& state = MuxState(instance);
  if (state.pinEnded[pin] && !state.pinStarted[pin]) {
    state.pinStarted[pin] = 1;
    state.pinEnded[pin] = 0;
  } else if (state.pinStarted[pin] && state.pinEnded[pin]) {
    finished = true;  // data after the pin's end is not read
    return QVA_SUCCESS;
  }
  if (buffer.data == nullptr || buffer.length == 0) return QVA_SUCCESS;
  MuxSampleDesc sample;
  sample.data = buffer.data;
  sample.length = buffer.length;
  if (pin == kVideoPin && state.headedSample == nullptr && state.codecHeaderLength > 0 && state.consumed[pin] == 0) {
    // The codec header goes in front of the first picture after its format, in the same sample:
    // it then leads the video with that picture's time stamps.
    state.headedSampleLength = state.codecHeaderLength + buffer.length;
    state.headedSample = new uint8_t[state.headedSampleLength];
    std::memcpy(state.headedSample, state.codecHeader, state.codecHeaderLength);
    std::memcpy(state.headedSample + state.codecHeaderLength, buffer.data, buffer.length);
    state.codecHeaderLength = 0;
  }
  if (pin == kVideoPin && state.headedSample != nullptr) {
    sample.data = state.headedSample;
    sample.length = state.headedSampleLength;
  }
  if (buffer.flags & QVA_BUFFLAG_TIMESTAMP) {
    sample.flags = kSampleTimeValid;
    sample.time = static_cast<double>(buffer.timestamp) / 1000.0;
  }
  // The video encoder sets this flag on the first buffer of every picture.
  if (buffer.flags & QVA_BUFFLAG_SYNCPOINT) sample.flags |= kSamplePictureStart;
  const QVAStatus status = WriteSample(state, stream, sample, &state.consumed[pin]);
  if (state.consumed[pin] >= sample.length) {
    finished = true;
    if (pin == kVideoPin) FreeHeadedSample(state);
  }
  CompBase_CountFrame(instance, pin, ProgressKindOfPin(pin), QVA_COUNT_DONE);
  CompBase_SendProgress(instance, 0);
  return status;
}

}  // namespace

void FreeHeadedSample(MuxComponentState& state) {
  delete[] state.headedSample;
  state.headedSample = nullptr;
  state.headedSampleLength = 0;
}

QVAStatus CreateMultiplexer(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
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
  return QVA_SUCCESS;
}

QVAStatus DestroyMultiplexer(ComponentInstance* instance) {
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_Deinit(instance);
    return QVA_ERR_WRONGSTATE;
  }
  MuxComponentState& state = MuxState(instance);
  for (uint32_t pin : {kVideoPin, kAudioPin}) {
    if (state.heldBuffer[pin] != nullptr) CompBase_ReturnInput(instance, pin, state.heldBuffer[pin]);
    state.heldBuffer[pin] = nullptr;
  }
  FreeHeadedSample(state);
  state.codecHeaderLength = 0;
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
  return QVA_SUCCESS;
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
    if (record)
      std::memcpy(static_cast<void*>(&state.videoType), record, std::min<size_t>(length, sizeof(state.videoType)));
    state.config.videoPresent = 1;
    state.formatKnown[kVideoPin] = 1;
  } else {
    if (record)
      std::memcpy(static_cast<void*>(&state.audioType), record, std::min<size_t>(length, sizeof(state.audioType)));
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
    return QVA_ERR_FORMAT;
  }

  const bool bothStarted = state.pinConnected[kVideoPin] && state.pinConnected[kAudioPin] &&
                           state.pinStarted[kVideoPin] && state.pinStarted[kAudioPin];
  const bool oneAbsent = (!state.pinConnected[kVideoPin] && !state.formatKnown[kVideoPin]) ||
                         (!state.pinConnected[kAudioPin] && !state.formatKnown[kAudioPin]);
  if (!bothStarted && !oneAbsent) return QVA_SUCCESS;
  if (state.muxOpened) {
    // A format change on a running multiplexer keeps the stream as it is.
    MuxDebugLine(instance, "format change on pin %u ignored: the multiplexer is already open\n", index);
    return QVA_SUCCESS;
  }
  if (!state.multiplexer->Open(&state.config)) {
    MuxDebugLine(instance, "the multiplexer refuses the configuration (type %u, audio class %u)\n",
                 state.config.muxType, state.config.audioClass);
    return QVA_ERR_FORMAT;
  }
  state.muxOpened = 1;
  return QVA_SUCCESS;
}

// The process hook. The worker passes no buffer (input mode 3): the hook takes its own from the
// pin of the chosen stream and keeps a buffer the multiplexer took only in part, to offer it
// again. A refused configuration or a failed write ends the hook with its status, so the
// framework's failure path runs.
QVAStatus MultiplexerProcessBuf(ComponentInstance* instance, ComponentBuffer* given) {
  MuxComponentState& state = MuxState(instance);
  if (state.multiplexer == nullptr) return QVA_ERR_NOTOPEN;
  const uint32_t timeout = CompBase_IsRunning(instance) ? QVA_INFINITE : 0;

  const uint32_t stream = ChooseStream(state);
  const uint32_t pin = stream == kStreamAudio ? kAudioPin : kVideoPin;
  ComponentBuffer* buffer = given;
  bool fresh = false;
  if (buffer == nullptr) {
    buffer = state.heldBuffer[pin];
    if (buffer == nullptr) {
      if (EventManager* events = instance->eventManager.load())
        EventManager_Add(events, kTraceGetBuffer, "GetBuf[%d]", pin);
      const QVAStatus status = CompBase_TakeInput(instance, pin, &buffer, timeout);
      // A stop closes the queue under a waiting take: that is the end of the worker, no failure.
      if (status != QVA_SUCCESS) return CompBase_IsRunning(instance) ? status : QVA_ERR_STOPPED;
      if (buffer == nullptr) return QVA_ERR_STOPPED;
      state.heldBuffer[pin] = buffer;
      state.consumed[pin] = 0;
      fresh = true;
    }
  }

  const uint32_t flags = buffer->flags;
  const bool marker = (flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) != 0;
  // The multiplexer writes LPCM big-endian; the pins carry it little-endian.
  if (fresh && pin == kAudioPin && state.config.audioClass == kAudioClassLpcm && !marker && buffer->data != nullptr)
    SwapSampleBytes(buffer->data, buffer->length);

  QVAStatus result = QVA_SUCCESS;
  bool finished = true;
  if (flags & QVA_BUFFLAG_FORMAT) {
    result = ApplyFormatChange(instance, pin, *buffer);
  } else if (flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) {
    result = EndPin(instance, pin, stream);
  } else {
    finished = false;
    result = WriteData(instance, pin, stream, *buffer, finished);
  }

  if (given != nullptr) {
    state.heldBuffer[pin] = nullptr;
    return result;
  }
  if (finished || buffer->data == nullptr || buffer->length == 0 || result != QVA_SUCCESS) {
    CompBase_UpdateProgress(instance);
    const QVAStatus returned = CompBase_ReturnInput(instance, pin, buffer);
    state.heldBuffer[pin] = nullptr;
    return result != QVA_SUCCESS ? result : returned;
  }
  return QVA_SUCCESS;
}

}  // namespace orx::mux

QVAStatus CompCreateHook(ComponentInstance* instance) { return orx::mux::CreateMultiplexer(instance); }

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  return orx::mux::MultiplexerProcessBuf(instance, buffer);
}

QVAStatus CompDestroyHook(ComponentInstance* instance) { return orx::mux::DestroyMultiplexer(instance); }
