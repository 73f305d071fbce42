#pragma once
// Drives libqvaaenc.so as the engine does: loaded by name, one instance created, formats set,
// output connected to a sink that lends buffers, PCM pushed into input pin 0.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/media_type.h"
#include "tests/aenc/audio_oracle.h"
#include "tests/support/component_library.h"
#include "tests/support/output_sink.h"
#include "tests/support/waiting.h"

namespace orx::test {

// libqvaaenc.so from the deliverables' folder, with its one export beyond the six.
class AencLibrary : public ComponentLibrary {
 public:
  AencLibrary()  // fails the running test when the library cannot be loaded
      : ComponentLibrary("libqvaaenc.so"),
        queryProcessorExtensions(Bind<uint32_t (*)()>("QueryProcessorExtensions")) {}

  uint32_t (*const queryProcessorExtensions)();
};

// The downstream input pin: lends buffers of a fixed capacity and keeps what is delivered.
class AudioSink : public OutputSink {
 public:
  explicit AudioSink(uint32_t capacity = 4096) : OutputSink(capacity) {}

  // The coded frames (audio buffers without format or end flags), joined.
  std::vector<uint8_t> Stream() const;
  size_t FrameCount() const;
  // Waits until a buffer carrying every bit of `flags` has arrived (`count` of them).
  using OutputSink::WaitFor;
  bool WaitFor(uint32_t flags, size_t count = 1, int timeoutMs = 20000) const;
};

AudioMediaType PcmType(uint32_t rate, uint16_t channels);
AudioMediaType CodedType(uint32_t subtype, uint32_t bitrate);

class AencInstance {
 public:
  AencInstance(AencLibrary& library, AudioSink& sink);
  ~AencInstance();  // ends and releases
  AencInstance(const AencInstance&) = delete;
  AencInstance& operator=(const AencInstance&) = delete;

  QVACompMethods& Methods() { return instance->methods; }
  QVAStatus SetFormats(const AudioMediaType& input, const AudioMediaType& output);
  QVAStatus Start();  // connects the sink, starts the worker, PLAY
  // SetFormats, Start and the format-change buffer, as the engine opens a stream.
  QVAStatus Open(const AudioMediaType& input, const AudioMediaType& output);
  QVAStatus PushFormat(const AudioMediaType& input);
  QVAStatus Push(const void* data, uint32_t bytes, uint32_t flags = 0, uint64_t timestamp = 0);
  QVAStatus PushEnd(uint32_t flags = QVA_BUFFLAG_EOI, const void* data = nullptr, uint32_t bytes = 0,
                    uint64_t timestamp = 0);
  QVAStatus End();
  QVAStatus Play();  // CMD_PLAY: the next stream after an end
  uint32_t State();
  // Polls the state until it equals `state` (the worker changes it at the end of its round);
  // answers the last state seen.
  uint32_t WaitForState(uint32_t state, int timeoutMs = 20000);
  // The status the worker stopped with (0 while none); the error callback's last status.
  QVAStatus ErrorStatus() const { return errorStatus_; }
  // Waits until the error callback has run; false when the time ran out first.
  bool WaitForError(std::chrono::milliseconds timeout = kPatience) const { return errorReported_.WaitFor(1, timeout); }

  ComponentInstance* instance = nullptr;

 private:
  static void OnError(ComponentInstance*, QVAStatus status, uint32_t, void* user);
  AencLibrary& library_;
  AudioSink& sink_;
  bool ended_ = false;
  std::atomic<QVAStatus> errorStatus_{0};
  CountingEvent errorReported_;
};

struct StreamRequest {
  int rate = 48000;
  int channels = 2;
  uint32_t subtype = 0x12;
  uint32_t bitrate = 128000;
  uint32_t chunkBytes = 48000;  // PCM pushed per buffer (250 ms of 48 kHz stereo)
  bool endCarriesLastChunk = false;  // the last chunk travels in the end buffer itself
  uint32_t endFlags = 0x4000;
  uint32_t adts = 0;  // QVA_PARAM_AUDIOENCODER_ADTS before the start
};

// Codes pcm through one instance (format change, chunks, end) and answers the coded stream.
std::vector<uint8_t> EncodeThroughComponent(AencLibrary& library, const Pcm& pcm,
                                            const StreamRequest& request);

// Runs `encode` once alone, then twice at once on two threads: all three must give the same bytes.
void ExpectSameBytesOnTwoThreads(const std::function<std::vector<uint8_t>()>& encode);

// Frames the end-of-stream rule gives for `samples` per channel: every whole or partial frame,
// and one more when the silence padding the last one is shorter than the codec delay.
size_t ExpectedFrames(size_t samples, size_t frameSamples = 1152, size_t delay = 481);

}  // namespace orx::test
