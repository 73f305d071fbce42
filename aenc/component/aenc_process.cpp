// The AENC component's processing: the encoder built from the pin formats, input buffers cut
// into whole frames with the remainder carried, and the end of a stream coded to its last sample.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "aenc/component/aenc_component.h"
#include "aenc/component/audio_encoder_setup.h"
#include "aenc/simd/audio_factories.h"
#include "platform/debug_output.h"

namespace orx::aenc {
namespace {

constexpr uint32_t kPassThroughFlags = QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_STREAMSTART;  // 0x28000

// Sends an empty output buffer with the given flags, and the input's time stamp when it has one.
void SendMarker(ComponentInstance* instance, uint32_t flags, const ComponentBuffer& input) {
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) != QVA_SUCCESS || !out) return;
  out->flags = flags;
  out->length = 0;
  if (input.flags & QVA_BUFFLAG_TIMESTAMP) {
    out->flags |= QVA_BUFFLAG_TIMESTAMP;
    out->timestamp = input.timestamp;
  }
  CompBase_DeliverOutput(instance, 0, out);
}

// The time of the next frame's first sample when a buffer stamped `time` arrives: the samples
// carried from earlier buffers come before the buffer's own, so the frame begins that much
// earlier (stamped with the buffer's time, a program stream's audio ran up to a frame late).
uint64_t FirstFrameTime(const AudioEncComponentState& s, uint64_t time) {
  const uint64_t rate = s.inputType.SamplRate;
  const uint64_t channels = s.encoder ? static_cast<uint64_t>(s.encoder->channels) : 0;
  if (s.carriedSamples == 0 || rate == 0 || channels == 0) return time;
  const uint64_t carriedMs = (s.carriedSamples / channels * 1000 + rate / 2) / rate;
  return time > carriedMs ? time - carriedMs : 0;
}

// A frame the encoder could not code (no memory for its bookkeeping) ends the stream with
// QVA_ERR_NOMEMORY through the worker's failure path.
QVAStatus EncodeOneFrame(AudioEncComponentState& s, const int16_t* pcm) {
  const bool coded = s.encoder->EncodeFrame(pcm);
  s.framesEncoded += s.bitstream->TakeDelivered();
  return coded ? QVA_SUCCESS : QVA_ERR_NOMEMORY;
}

// Codes every whole frame of the carried samples followed by `count` new ones; the rest is
// carried to the next buffer.
QVAStatus EncodePcm(AudioEncComponentState& s, const uint8_t* data, uint32_t length) {
  const uint32_t frame = s.config.frameSamples;
  uint32_t count = data ? length / 2 : 0;  // an odd last byte is dropped
  const int16_t* samples = reinterpret_cast<const int16_t*>(data);
  bool unaligned = reinterpret_cast<uintptr_t>(data) % alignof(int16_t) != 0;
  if (s.carriedSamples > 0 || unaligned) {
    try {
      s.mergeBuffer.resize(s.carriedSamples + count);
    } catch (const std::bad_alloc&) {
      return QVA_ERR_NOMEMORY;
    }
    std::copy(s.carry, s.carry + s.carriedSamples, s.mergeBuffer.begin());
    if (count) std::memcpy(s.mergeBuffer.data() + s.carriedSamples, data, size_t{count} * 2);
    samples = s.mergeBuffer.data();
    count += s.carriedSamples;
    s.carriedSamples = 0;
  }
  while (count >= frame) {
    if (QVAStatus status = EncodeOneFrame(s, samples)) {
      s.carriedSamples = 0;
      return status;
    }
    samples += frame;
    count -= frame;
  }
  std::copy(samples, samples + count, s.carry);
  s.carriedSamples = count;
  return QVA_SUCCESS;
}

// Codes what is left of a stream: the carried samples padded with silence to a whole frame,
// and one more frame of silence when the padding is shorter than the codec's delay, so that
// a decoder puts out every input sample.
QVAStatus FlushCarriedSamples(AudioEncComponentState& s) {
  const uint32_t frame = s.config.frameSamples;
  const uint32_t channels = s.encoder->channels;
  uint32_t padding = 0;
  if (s.carriedSamples > 0) {
    std::fill(s.carry + s.carriedSamples, s.carry + frame, int16_t{0});
    padding = (frame - s.carriedSamples) / channels;
    s.carriedSamples = 0;
    if (QVAStatus status = EncodeOneFrame(s, s.carry)) return status;
  }
  if (padding < CodecDelaySamples(s.config.codec, s.config.layer)) {
    std::fill(s.carry, s.carry + frame, int16_t{0});
    return EncodeOneFrame(s, s.carry);
  }
  return QVA_SUCCESS;
}

// Ends the open encoder's stream: its tail, EndOfStream, and the encoder made ready for another.
QVAStatus FinishStream(ComponentInstance* instance, const ComponentBuffer* endBuffer) {
  AudioEncComponentState& s = AencState(instance);
  const QVAStatus status = FlushCarriedSamples(s);
  // Frames the end completes (Layer III's, waiting for main data) count as delivered too.
  s.encoder->EndOfStream();
  s.framesEncoded += s.bitstream->TakeDelivered();
  if (status) return status;
  if (endBuffer && (endBuffer->flags & QVA_BUFFLAG_EOI))
    SendMarker(instance, QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS, *endBuffer);
  return QVA_SUCCESS;
}

// A component whose stream has ended pauses, as the video encoders and the multiplexer do: the
// engine's wait for the end of a graph waits for its leaves to leave PLAYING, and the audio
// encoder is the leaf of an audio-only graph. PAUSING becomes PAUSED at the end of this round;
// CMD_PLAY (or a format change) starts the next stream. A component being stopped stays so.
void PauseAtStreamEnd(ComponentInstance* instance) {
  if (CompBase_IsRunning(instance))
    CompBase_ChangeState(instance, QVA_STATE_STARTING | QVA_STATE_PLAYING, QVA_STATE_PAUSING);
}

void CloseEncoder(AudioEncComponentState& s) {
  if (s.encoder) s.encoder->Release();
  s.encoder = nullptr;
  s.encoderOpen = 0;
  s.framesEncoded = 0;
}

// No queue yet, or one with no slot queued or held (the format change being processed may sit
// in one).
bool InputQueueIdle(ComponentInstance* instance) {
  QVAHandle queue = CompBase_GetInputQueue(instance, 0);
  if (!queue) return true;
  uint32_t count = 0, size = 0, inUse = 0, bytes = 0;
  return BufferQueue_GetStatus(queue, &count, &size, &inUse, &bytes) == QVA_SUCCESS && inUse == 0;
}

bool SameCoding(const AudioEncoderConfig& a, const AudioEncoderConfig& b) {
  return a.mode == b.mode && a.sampleRate == b.sampleRate && a.codec == b.codec &&
         a.layer == b.layer && a.bitrate == b.bitrate && a.psyMode == b.psyMode && a.adts == b.adts;
}

}  // namespace

QVAStatus OpenAudioEncoder(ComponentInstance* instance, const void* record, uint32_t length) {
  AudioEncComponentState& s = AencState(instance);
  uint32_t size = 0;
  if (length >= sizeof size) std::memcpy(&size, record, sizeof size);
  if (length < kMediaTypeHeaderSize || size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  AudioMediaType input = s.inputType;
  const bool whole = size >= sizeof(AudioMediaType) && length >= sizeof(AudioMediaType);
  std::memcpy(static_cast<void*>(&input), record, whole ? sizeof(AudioMediaType) : kMediaTypeHeaderSize);

  AudioMediaType output = s.outputType;
  if (output.Channels == 0) output.Channels = input.Channels;
  if (output.SamplRate == 0) output.SamplRate = input.SamplRate;
  if (output.BitsPerSample == 0) output.BitsPerSample = input.BitsPerSample;
  AudioEncoderConfig wanted = s.config;
  MakeAudioEncoderConfig(input, output, wanted);
  wanted.adts = s.adts;

  // An open encoder is used on only while it has coded nothing and codes the same way; otherwise
  // its stream is finished and a new one is built from the new format. A stream that has not
  // begun (none yet, or the last one ended) has no tail: finishing it would code silence.
  if (s.encoderOpen && (s.framesEncoded > 0 || !SameCoding(wanted, s.config))) {
    if (s.framesEncoded > 0 || s.carriedSamples > 0) FinishStream(instance, nullptr);
    CloseEncoder(s);
  }
  s.inputType = input;
  s.outputType = output;
  if (!s.encoderOpen) {
    s.config = wanted;
    s.reconfigure = 0;
  }
  s.formatSet = 1;
  if (!s.encoderOpen) {
    if (s.encoder) CloseEncoder(s);
    QVAStatus refused = CheckCodableConfig(s.config);
    if (!refused && s.config.codec == kCodecAacLc && input.Channels > 2) refused = QVA_ERR_FORMAT;
    if (refused) {
      // The export fails on this: say what was asked for.
      const bool aac = s.config.codec == kCodecAacLc;
      platform::DebugOutput("AENC: cannot code " + std::to_string(s.config.sampleRate) + " Hz, " +
                            std::to_string(input.Channels) + " channels (codec " +
                            std::to_string(s.config.codec) + ", layer " + std::to_string(s.config.layer) +
                            (aac ? "); AAC takes 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, "
                                   "48000, 64000, 88200 or 96000 Hz with one or two channels\n"
                             : s.config.layer == 3 ? "); MPEG audio layer III takes 32000, 44100 or 48000 Hz\n"
                                                   : "); MPEG audio layer II takes 16000, 22050, 24000, 32000, 44100 "
                                                     "or 48000 Hz\n"));
      return refused;
    }
    if (!s.bitstream) return QVA_ERR_NOMEMORY;
    if (!NewMPEGAudioEncoder(&s.encoder, &s.config)) {
      s.encoder = nullptr;
      return QVA_ERR_NOMEMORY;
    }
    s.encoder->Init(s.bitstream);
    s.bitstream->SetFrameCapacity(s.config.maxFrameBytes);
    s.encoderOpen = 1;
  }
  // Room for two frames of 16-bit samples per input slot. A queue that holds slots is not
  // resized (that would free them); the carrying takes buffers of any size anyway.
  s.inputBufferSize = s.config.frameSamples * 4;
  if (InputQueueIdle(instance))
    CompBase_SetupInputPin(instance, 0, nullptr, nullptr, s.inputBufferSize, s.inputBufferCount);
  CompBase_SetProgressPending(instance, 1);
  CompBase_SendFormatChange(instance, 0);
  return QVA_SUCCESS;
}

QVAStatus CreateAudioEncoder(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  AudioEncComponentState& s = AencState(instance);
  if (!s.encoder) {
    s.framesEncoded = 0;
    s.lastPts = 0;
    s.carriedSamples = 0;
  }
  CompBase_Init(instance);
  return QVA_SUCCESS;
}

QVAStatus DestroyAudioEncoder(ComponentInstance* instance) {
  if (CompBase_IsState(instance, QVA_STATE_NONE)) {
    CompBase_Deinit(instance);
    return QVA_ERR_WRONGSTATE;
  }
  AudioEncComponentState& s = AencState(instance);
  if (s.encoder) {
    if (s.encoderOpen) s.encoder->EndOfStream();
    CloseEncoder(s);
  }
  CompBase_Deinit(instance);
  return QVA_SUCCESS;
}

QVAStatus AudioEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (!buffer) return QVA_SUCCESS;
  AudioEncComponentState& s = AencState(instance);
  const uint32_t flags = buffer->flags;
  const bool isFormat = flags & QVA_BUFFLAG_FORMAT;
  const bool isEnd = flags & (QVA_BUFFLAG_EOI | QVA_BUFFLAG_EOS);

  if (flags & kPassThroughFlags) SendMarker(instance, QVA_BUFFLAG_AUDIO | (flags & kPassThroughFlags), *buffer);
  if (isFormat && buffer->data) {
    // A format the encoder cannot take, or an encoder that cannot be built, stops the worker now.
    if (QVAStatus status = OpenAudioEncoder(instance, buffer->data, buffer->length)) return status;
    CompBase_SetState(instance, QVA_STATE_PLAYING);
  }
  if (!s.encoderOpen && s.formatSet) {
    AudioMediaType input = s.inputType;
    if (QVAStatus status = OpenAudioEncoder(instance, &input, sizeof input)) return status;
  }
  if (s.reconfigure && s.encoderOpen) {
    // The parameter is kept; the open encoder's frame layout stays what it was built with.
    uint32_t frameSamples = s.config.frameSamples, maxFrameBytes = s.config.maxFrameBytes;
    MakeAudioEncoderConfig(s.inputType, s.outputType, s.config);
    s.config.adts = s.encoder ? static_cast<uint32_t>(s.encoder->adts) : 0;
    s.config.frameSamples = frameSamples;
    s.config.maxFrameBytes = maxFrameBytes;
    s.reconfigure = 0;
  }
  if (flags & QVA_BUFFLAG_TIMESTAMP) {
    s.lastPts = buffer->timestamp;
    if (s.bitstream) s.bitstream->SetPendingTime(FirstFrameTime(s, buffer->timestamp));
    CompBase_SetTimestamp(instance, 0, static_cast<uint32_t>(buffer->timestamp),
                          static_cast<uint32_t>(buffer->timestamp >> 32));
  }
  if (!s.encoder) return QVA_ERR_OPEN;  // "Unable to open or initialize": stops the worker
  if (!s.encoderOpen) return QVA_SUCCESS;
  if (!isFormat) {
    if (QVAStatus status = EncodePcm(s, buffer->data, buffer->length)) {
      // The stream cannot go on: its queued frames still go out before the worker stops.
      s.encoder->EndOfStream();
      s.framesEncoded += s.bitstream ? s.bitstream->TakeDelivered() : 0;
      return status;
    }
  }
  if (isEnd) {
    // The end buffer's own PCM is coded above; then the tail, the end marker, and a fresh start.
    if (QVAStatus status = FinishStream(instance, buffer)) return status;
    s.encoder->Init(s.bitstream);
    s.framesEncoded = 0;  // of the next stream
    PauseAtStreamEnd(instance);
  }
  if (!isFormat) {
    CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_AUDIO, QVA_COUNT_DONE);
    CompBase_SendProgress(instance, 0);
  }
  return QVA_SUCCESS;
}

}  // namespace orx::aenc

// The hooks the framework calls by name.
QVAStatus CompCreateHook(ComponentInstance* instance) { return orx::aenc::CreateAudioEncoder(instance); }
QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  return orx::aenc::AudioEncoderProcessBuf(instance, buffer);
}
QVAStatus CompDestroyHook(ComponentInstance* instance) { return orx::aenc::DestroyAudioEncoder(instance); }
