#include "tests/mux/mux_component_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "media/media_codes.h"
#include "media/media_params.h"
#include "media/video_encoder_params.h"
#include "platform/library_loader.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

constexpr uint32_t kPushTimeoutMs = 60000;

void OnError(ComponentInstance*, QVAStatus status, uint32_t, void* user) {
  static_cast<ComponentResult*>(user)->errorStatus = status;
}

QVAStatus Push(ComponentInstance* instance, uint32_t pin, uint32_t flags, const uint8_t* data, uint32_t length,
               uint64_t timestamp) {
  ComponentBuffer buffer{};
  buffer.flags = flags;
  buffer.word4 = 1;
  buffer.timestamp = timestamp;
  buffer.data = const_cast<uint8_t*>(data);
  buffer.capacity = buffer.length = length;
  uint32_t taken = 0;
  return instance->methods.QVAComp_PushInput(instance, pin, &buffer, kPushTimeoutMs, &taken);
}

// What an upstream encoder sends on one pin: its format, its samples (cut into pieces when
// asked; only the first piece carries the time, as when a queue splits a buffer), its end.
void PushPin(ComponentInstance* instance, uint32_t pin, const PinInput& input) {
  const uint32_t formatFlags = pin == 0 ? QVA_FORMATRECORD_VIDEO : QVA_FORMATRECORD_AUDIO;
  const auto pushFormat = [&] {
    return Push(instance, pin, formatFlags, input.format.data(), static_cast<uint32_t>(input.format.size()), 0);
  };
  if (pushFormat() != QVA_SUCCESS) return;
  const std::vector<EsSample>& samples = *input.samples;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (i == input.repeatFormatBefore && pushFormat() != QVA_SUCCESS) return;
    bytes = samples[i].bytes;
    if (input.littleEndian16) {
      for (size_t at = 0; at + 1 < bytes.size(); at += 2) std::swap(bytes[at], bytes[at + 1]);
    }
    const size_t piece = input.pieceBytes != 0 ? input.pieceBytes : bytes.size();
    for (size_t at = 0; at < bytes.size(); at += piece) {
      uint32_t flags = 0;
      if (at == 0) flags = QVA_BUFFLAG_TIMESTAMP | (samples[i].key ? QVA_BUFFLAG_SYNCPOINT : 0);
      const uint32_t length = static_cast<uint32_t>(std::min(piece, bytes.size() - at));
      if (Push(instance, pin, flags, bytes.data() + at, length, static_cast<uint64_t>(samples[i].timeMs)) !=
          QVA_SUCCESS)
        return;
    }
  }
  if (input.end) Push(instance, pin, QVA_MARKER_EOS, nullptr, 0, 0);
}

// The whole set-up the engine does before the worker starts; the first refusal, or 0.
QVAStatus SetUp(ComponentInstance* instance, const ComponentRun& run, MuxSink& sink, ComponentResult& result) {
  QVACompMethods& methods = instance->methods;
  if (QVAStatus status = methods.QVAComp_SetErrorCallback(instance, OnError, &result)) return status;
  StreamMediaType output{};
  output.size = sizeof output;
  output.MType = run.outputType;
  if (QVAStatus status = methods.QVAComp_SetFormat(instance, 1, 0, &output)) return status;
  if (!run.video.format.empty()) {
    std::vector<uint8_t> video = run.video.format;
    if (QVAStatus status = methods.QVAComp_SetFormat(instance, 0, 0, video.data())) return status;
    VideoEncoderParams params{};
    params.size = sizeof params;
    params.averageBitRate = 5000000;
    params.peakBitRate = 8000000;
    if (QVAStatus status = methods.QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &params, sizeof params))
      return status;
  }
  for (uint32_t pin : {0u, 1u}) {
    const PinInput& input = pin == 0 ? run.video : run.audio;
    if (input.format.empty()) continue;
    QVAGetEmptyBufferFn get = nullptr;
    QVADeliverBufferFn deliver = nullptr;
    if (QVAStatus status = methods.QVAComp_GetInputPin(instance, pin, &get, &deliver)) return status;
  }
  if (run.connectSink) {
    if (QVAStatus status = methods.QVAComp_ConnectOutput(instance, 0, MuxSink::Get, MuxSink::Deliver, &sink))
      return status;
  }
  if (!run.url.empty()) {
    if (QVAStatus status = methods.QVAComp_OpenURL(instance, 0, run.url.c_str(), 0, nullptr)) return status;
  }
  if (QVAStatus status = methods.QVAComp_Start(instance)) return status;
  return methods.QVAComp_SendCommand(instance, CMD_PLAY, 0, 0, 0, 0, 5000);
}

}  // namespace

MuxLibrary::MuxLibrary() {
  const std::string path = orx::test::LibraryDir() + "/qvacmux.so";
  module = platform::LoadLibrary(path.c_str());
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": " << platform::LastLibraryError();
    return;
  }
  auto bind = [this](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(platform::GetLibrarySymbol(module, name));
    if (slot == nullptr) ADD_FAILURE() << "qvacmux.so does not export " << name;
  };
  bind(libGetCount, "QVACompLibGetCount");
  bind(getInfo, "QVACompGetInfo");
  bind(create, "QVACompCreate");
  bind(release, "QVACompRelease");
}

MuxLibrary::~MuxLibrary() {
  if (module != nullptr) platform::FreeLibrary(module);
}

QVAStatus MuxSink::Get(void* self, ComponentBuffer** out) {
  auto* sink = static_cast<MuxSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  *out = nullptr;
  if (sink->requests_++ >= sink->refuseLendingFrom_) return QVA_ERR_NOBUFFERS;
  auto lent = std::make_unique<Lent>();
  lent->storage.assign(sink->capacity_, 0xA5);
  lent->record.word4 = 1;
  lent->record.data = lent->storage.data();
  lent->record.capacity = sink->capacity_;
  *out = &lent->record;
  sink->lent_.push_back(std::move(lent));
  return QVA_SUCCESS;
}

QVAStatus MuxSink::Deliver(void* self, ComponentBuffer* buffer) {
  auto* sink = static_cast<MuxSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  const auto own = std::find_if(sink->lent_.begin(), sink->lent_.end(),
                                [buffer](const std::unique_ptr<Lent>& lent) { return &lent->record == buffer; });
  if (buffer->flags & QVA_BUFFLAG_EOS) {
    sink->ended_ = true;
  } else if (sink->deliveries_++ >= sink->refuseDeliveryFrom_) {
    return QVA_ERR_WRITE;
  } else if (buffer->flags & QVA_BUFFLAG_SEEK) {
    ++sink->seeks_;
    sink->position_ = static_cast<size_t>(buffer->SeekOffset());
  } else if (buffer->length > 0) {
    if (sink->bytes_.size() < sink->position_ + buffer->length) sink->bytes_.resize(sink->position_ + buffer->length);
    std::memcpy(sink->bytes_.data() + sink->position_, buffer->data, buffer->length);
    sink->position_ += buffer->length;
    ++sink->dataBuffers_;
    sink->largest_ = std::max(sink->largest_, buffer->length);
    sink->times_.push_back(buffer->timestamp);
  }
  // A lent buffer comes back with its delivery.
  if (own != sink->lent_.end()) sink->lent_.erase(own);
  sink->changed_.notify_all();
  return QVA_SUCCESS;
}

bool MuxSink::WaitForEnd(int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; });
}

std::vector<uint8_t> MuxSink::Bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

size_t MuxSink::DataBuffers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dataBuffers_;
}

uint32_t MuxSink::LargestBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return largest_;
}

size_t MuxSink::Seeks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seeks_;
}

std::vector<uint64_t> MuxSink::Times() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}

VideoMediaType MakeVideoType(uint32_t subtype, uint32_t width, uint32_t height, uint32_t framesPer1000s,
                             uint32_t bitRate) {
  VideoMediaType type{};
  type.size = sizeof type;
  type.MType = QVA_MTYPE_VIDEO;
  type.subtype = subtype;
  type.FrameRate = framesPer1000s;
  type.width = width;
  type.height = height;
  type.BitrateAverage = bitRate;
  type.BitrateMax = bitRate;
  return type;
}

AudioMediaType MakeAudioType(uint32_t subtype, uint32_t sampleRate, uint16_t channels, uint32_t bitRate) {
  AudioMediaType type{};
  type.size = sizeof type;
  type.MType = QVA_MTYPE_AUDIO;
  type.subtype = subtype;
  type.SamplRate = sampleRate;
  type.Channels = channels;
  type.BitsPerSample = 16;
  type.Bitrate = bitRate;
  type.secondBitrate = bitRate;
  return type;
}

void RunComponent(MuxLibrary& library, const ComponentRun& run, MuxSink& sink, ComponentResult& result) {
  ASSERT_TRUE(library.Loaded());
  ComponentInstance* instance = nullptr;
  ASSERT_EQ(library.create(nullptr, &instance), QVA_SUCCESS);
  result.setupStatus = SetUp(instance, run, sink, result);
  if (result.setupStatus == QVA_SUCCESS) {
    std::vector<std::thread> pushers;
    if (!run.video.format.empty()) pushers.emplace_back(PushPin, instance, 0u, std::cref(run.video));
    if (!run.audio.format.empty()) pushers.emplace_back(PushPin, instance, 1u, std::cref(run.audio));
    for (std::thread& pusher : pushers) pusher.join();
    if (run.beforeEnd) {
      run.beforeEnd();
    } else {
      result.ended = sink.WaitForEnd();
    }
    StreamMediaType format{};
    EXPECT_EQ(instance->methods.QVAComp_GetFormat(instance, 1, 0, &format), QVA_SUCCESS);
    result.lengthInBytes = format.LenInBytes;
  }
  const QVAStatus ended = instance->methods.QVAComp_End(instance);
  // Without a start there is nothing to end: QVA_ERR_WRONGSTATE.
  EXPECT_EQ(ended, result.setupStatus == QVA_SUCCESS ? QVA_SUCCESS : QVA_ERR_WRONGSTATE);
  EXPECT_EQ(library.release(instance), QVA_SUCCESS);
}

}  // namespace orx::mux::test
