#include "tests/aenc/aenc_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "media/media_codes.h"
#include "media/media_params.h"

namespace orx::test {

namespace {
constexpr uint32_t kNotFrames = QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;
}  // namespace

std::vector<uint8_t> AudioSink::Stream() const { return Joined(kNotFrames); }

size_t AudioSink::FrameCount() const {
  return Count([](const Delivery& d) { return !(d.flags & kNotFrames) && !d.data.empty(); });
}

bool AudioSink::WaitFor(uint32_t flags, size_t count, int timeoutMs) const {
  return OutputSink::WaitFor([flags](const Delivery& d) { return (d.flags & flags) == flags; }, count,
                             std::chrono::milliseconds(timeoutMs));
}

AudioMediaType PcmType(uint32_t rate, uint16_t channels) {
  AudioMediaType t{};
  t.size = sizeof t;
  t.MType = QVA_MTYPE_AUDIO;
  t.subtype = QVA_MSUBTYPE_PCM;
  t.SamplRate = rate;
  t.Channels = channels;
  t.BitsPerSample = 16;
  return t;
}

AudioMediaType CodedType(uint32_t subtype, uint32_t bitrate) {
  AudioMediaType t{};
  t.size = sizeof t;
  t.MType = QVA_MTYPE_AUDIO;
  t.subtype = subtype;
  t.Bitrate = bitrate;
  return t;
}

AencInstance::AencInstance(AencLibrary& library, AudioSink& sink) : library_(library), sink_(sink) {
  if (!library.Loaded()) return;
  QVAStatus status = library.create(nullptr, &instance);
  if (status != QVA_SUCCESS) ADD_FAILURE() << "QVACompCreate: " << status;
  if (instance) instance->methods.QVAComp_SetErrorCallback(instance, OnError, this);
}

AencInstance::~AencInstance() {
  if (!instance) return;
  End();
  library_.release(instance);
}

void AencInstance::OnError(ComponentInstance*, QVAStatus status, uint32_t, void* user) {
  auto* self = static_cast<AencInstance*>(user);
  self->errorStatus_ = status;
  self->errorReported_.Raise();
}

QVAStatus AencInstance::SetFormats(const AudioMediaType& input, const AudioMediaType& output) {
  AudioMediaType in = input, out = output;
  if (QVAStatus status = Methods().QVAComp_SetFormat(instance, 0, 0, &in)) return status;
  return Methods().QVAComp_SetFormat(instance, 1, 0, &out);
}

QVAStatus AencInstance::Start() {
  if (QVAStatus status = sink_.Connect(instance)) return status;
  if (QVAStatus status = Methods().QVAComp_Start(instance)) return status;
  return Play();
}

QVAStatus AencInstance::Open(const AudioMediaType& input, const AudioMediaType& output) {
  if (QVAStatus status = SetFormats(input, output)) return status;
  if (QVAStatus status = Start()) return status;
  return PushFormat(input);
}

QVAStatus AencInstance::PushFormat(const AudioMediaType& input) {
  AudioMediaType record = input;
  ComponentBuffer buffer{};
  buffer.flags = QVA_FORMATRECORD_AUDIO;
  buffer.frameworkMark = 1;
  buffer.data = reinterpret_cast<uint8_t*>(&record);
  buffer.capacity = buffer.length = sizeof record;
  uint32_t taken = 0;
  return Methods().QVAComp_PushInput(instance, 0, &buffer, 10000, &taken);
}

QVAStatus AencInstance::Push(const void* data, uint32_t bytes, uint32_t flags, uint64_t timestamp) {
  ComponentBuffer buffer{};
  buffer.flags = flags | QVA_BUFFLAG_AUDIO;
  buffer.frameworkMark = 1;
  buffer.data = const_cast<uint8_t*>(static_cast<const uint8_t*>(data));
  buffer.capacity = buffer.length = bytes;
  buffer.timestamp = timestamp;
  uint32_t taken = 0;
  return Methods().QVAComp_PushInput(instance, 0, &buffer, 10000, &taken);
}

QVAStatus AencInstance::PushEnd(uint32_t flags, const void* data, uint32_t bytes, uint64_t timestamp) {
  return Push(data, bytes, flags, timestamp);
}

QVAStatus AencInstance::End() {
  if (ended_ || !instance) return QVA_SUCCESS;
  ended_ = true;
  return Methods().QVAComp_End(instance);
}

uint32_t AencInstance::State() {
  uint32_t state = 0;
  Methods().QVAComp_GetState(instance, &state);
  return state;
}

QVAStatus AencInstance::Play() { return Methods().QVAComp_SendCommand(instance, CMD_PLAY, 0, 0, 0, 0, 5000); }

uint32_t AencInstance::WaitForState(uint32_t state, int timeoutMs) {
  PollUntil([&] { return State() == state; }, std::chrono::milliseconds(timeoutMs), std::chrono::milliseconds(5));
  return State();
}

std::vector<uint8_t> EncodeThroughComponent(AencLibrary& library, const Pcm& pcm,
                                            const StreamRequest& request) {
  AudioSink sink;
  AencInstance aenc(library, sink);
  if (!aenc.instance) return {};
  AudioMediaType input = PcmType(static_cast<uint32_t>(request.rate), static_cast<uint16_t>(request.channels));
  if (request.adts) {
    uint32_t adts = request.adts;
    EXPECT_EQ(aenc.Methods().QVAComp_SetParam(aenc.instance, QVA_PARAM_AUDIOENCODER_ADTS, &adts, sizeof adts),
              QVA_SUCCESS);
  }
  EXPECT_EQ(aenc.SetFormats(input, CodedType(request.subtype, request.bitrate)), QVA_SUCCESS);
  EXPECT_EQ(aenc.Start(), QVA_SUCCESS);
  EXPECT_EQ(aenc.PushFormat(input), QVA_SUCCESS);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
  size_t total = pcm.samples.size() * 2, at = 0;
  while (at < total) {
    uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(request.chunkBytes, total - at));
    bool last = at + chunk == total;
    if (last && request.endCarriesLastChunk) break;
    EXPECT_EQ(aenc.Push(bytes + at, chunk), QVA_SUCCESS);
    at += chunk;
  }
  EXPECT_EQ(aenc.PushEnd(request.endFlags, bytes + at, static_cast<uint32_t>(total - at)), QVA_SUCCESS);
  if (request.endFlags & QVA_BUFFLAG_EOI) {
    EXPECT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS)) << "no end marker";
  }
  aenc.End();
  return sink.Stream();
}

void ExpectSameBytesOnTwoThreads(const std::function<std::vector<uint8_t>()>& encode) {
  std::vector<uint8_t> alone = encode(), first, second;
  std::thread a([&] { first = encode(); });
  std::thread b([&] { second = encode(); });
  a.join();
  b.join();
  ASSERT_FALSE(alone.empty());
  EXPECT_EQ(first, alone);
  EXPECT_EQ(second, alone);
}

size_t ExpectedFrames(size_t samples, size_t frameSamples, size_t delay) {
  size_t frames = (samples + frameSamples - 1) / frameSamples;
  if (frames * frameSamples - samples < delay) ++frames;
  return frames;
}

}  // namespace orx::test
