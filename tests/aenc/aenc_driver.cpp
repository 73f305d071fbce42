#include "tests/aenc/aenc_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "media/media_codes.h"
#include "platform/library_loader.h"
#include "tests/support/test_paths.h"

namespace orx::test {

AencLibrary::AencLibrary() {
  std::string path = LibraryDir() + "/libqvaaenc.so";
  module = platform::LoadLibrary(path.c_str());
  if (!module) {
    ADD_FAILURE() << "cannot load " << path << ": " << platform::LastLibraryError();
    return;
  }
  auto bind = [this](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(platform::GetLibrarySymbol(module, name));
    if (!slot) ADD_FAILURE() << "libqvaaenc.so does not export " << name;
  };
  bind(libInit, "QVACompLibInit");
  bind(libRelease, "QVACompLibRelease");
  bind(libGetCount, "QVACompLibGetCount");
  bind(getInfo, "QVACompGetInfo");
  bind(create, "QVACompCreate");
  bind(release, "QVACompRelease");
  bind(queryProcessorExtensions, "QueryProcessorExtensions");
}

AencLibrary::~AencLibrary() {
  if (module) platform::FreeLibrary(module);
}

QVAStatus AudioSink::Get(void* self, ComponentBuffer** out) {
  auto* sink = static_cast<AudioSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  if (sink->refuse_) {
    *out = nullptr;
    return QVA_ERR_NOBUFFERS;
  }
  auto lent = std::make_unique<Lent>();
  lent->storage.assign(sink->capacity_, 0xA5);
  lent->record.word4 = 1;
  lent->record.data = lent->storage.data();
  lent->record.capacity = sink->capacity_;
  *out = &lent->record;
  sink->lent_.push_back(std::move(lent));
  return QVA_SUCCESS;
}

QVAStatus AudioSink::Deliver(void* self, ComponentBuffer* buffer) {
  auto* sink = static_cast<AudioSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  Delivered d{buffer->flags, buffer->timestamp, {}};
  if (buffer->data && buffer->length) d.data.assign(buffer->data, buffer->data + buffer->length);
  sink->buffers_.push_back(std::move(d));
  // Buffers the sink lent are given back; foreign ones (a format change) stay the sender's.
  for (auto it = sink->lent_.begin(); it != sink->lent_.end(); ++it) {
    if (&(*it)->record == buffer) {
      sink->lent_.erase(it);
      break;
    }
  }
  sink->delivered_.notify_all();
  return QVA_SUCCESS;
}

std::vector<AudioSink::Delivered> AudioSink::Buffers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return buffers_;
}

std::vector<uint8_t> AudioSink::Stream() const {
  std::vector<uint8_t> out;
  for (const Delivered& d : Buffers()) {
    if (d.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) continue;
    out.insert(out.end(), d.data.begin(), d.data.end());
  }
  return out;
}

size_t AudioSink::FrameCount() const {
  size_t count = 0;
  for (const Delivered& d : Buffers()) {
    if (!(d.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) && !d.data.empty()) ++count;
  }
  return count;
}

bool AudioSink::WaitFor(uint32_t flags, size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return delivered_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    size_t seen = 0;
    for (const Delivered& d : buffers_) seen += (d.flags & flags) == flags;
    return seen >= count;
  });
}

void AudioSink::Refuse(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuse_ = refuse;
}

void AudioSink::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  buffers_.clear();
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
  static_cast<AencInstance*>(user)->errorStatus_ = status;
}

QVAStatus AencInstance::SetFormats(const AudioMediaType& input, const AudioMediaType& output) {
  AudioMediaType in = input, out = output;
  if (QVAStatus status = Methods().QVAComp_SetFormat(instance, 0, 0, &in)) return status;
  return Methods().QVAComp_SetFormat(instance, 1, 0, &out);
}

QVAStatus AencInstance::Start() {
  if (QVAStatus status = Methods().QVAComp_ConnectOutput(instance, 0, AudioSink::Get, AudioSink::Deliver, &sink_))
    return status;
  if (QVAStatus status = Methods().QVAComp_Start(instance)) return status;
  return Methods().QVAComp_SendCommand(instance, CMD_PLAY, 0, 0, 0, 0, 5000);
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
  buffer.word4 = 1;
  buffer.data = reinterpret_cast<uint8_t*>(&record);
  buffer.capacity = buffer.length = sizeof record;
  uint32_t taken = 0;
  return Methods().QVAComp_PushInput(instance, 0, &buffer, 10000, &taken);
}

QVAStatus AencInstance::Push(const void* data, uint32_t bytes, uint32_t flags, uint64_t timestamp) {
  ComponentBuffer buffer{};
  buffer.flags = flags | QVA_BUFFLAG_AUDIO;
  buffer.word4 = 1;
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

std::vector<uint8_t> EncodeThroughComponent(AencLibrary& library, const Pcm& pcm,
                                            const StreamRequest& request) {
  AudioSink sink;
  AencInstance aenc(library, sink);
  if (!aenc.instance) return {};
  AudioMediaType input = PcmType(static_cast<uint32_t>(request.rate), static_cast<uint16_t>(request.channels));
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

size_t ExpectedFrames(size_t samples) {
  size_t frames = (samples + 1151) / 1152;
  if (frames * 1152 - samples < 481) ++frames;
  return frames;
}

}  // namespace orx::test
