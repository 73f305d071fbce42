#include "tests/mux/mux_component_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "media/media_codes.h"
#include "media/media_params.h"
#include "media/video_encoder_params.h"

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
  buffer.frameworkMark = 1;
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
      if (at == 0)
        flags = (samples[i].timed ? QVA_BUFFLAG_TIMESTAMP : 0) | (samples[i].key ? QVA_BUFFLAG_SYNCPOINT : 0);
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
    if (QVAStatus status = sink.Connect(instance)) return status;
  }
  if (!run.url.empty()) {
    if (QVAStatus status = methods.QVAComp_OpenURL(instance, 0, run.url.c_str(), 0, nullptr)) return status;
  }
  if (QVAStatus status = methods.QVAComp_Start(instance)) return status;
  return methods.QVAComp_SendCommand(instance, CMD_PLAY, 0, 0, 0, 0, 5000);
}

}  // namespace

MuxSink::MuxSink(uint32_t capacity, size_t refuseLendingFrom, size_t refuseDeliveryFrom) : OutputSink(capacity) {
  if (refuseLendingFrom != kNever) RefuseGets(QVA_ERR_NOBUFFERS, refuseLendingFrom);
  if (refuseDeliveryFrom != kNever) RefuseDeliveries(QVA_ERR_WRITE, refuseDeliveryFrom);
}

bool MuxSink::IsData(const Delivery& delivery) {
  return !(delivery.flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_SEEK)) && !delivery.data.empty();
}

bool MuxSink::WaitForEnd(int timeoutMs) const {
  return WaitFor([](const Delivery& d) { return (d.flags & QVA_BUFFLAG_EOS) != 0; }, 1,
                 std::chrono::milliseconds(timeoutMs));
}

std::vector<uint8_t> MuxSink::Bytes() const {
  std::vector<uint8_t> bytes;
  size_t position = 0;
  for (const Delivery& d : Deliveries()) {
    if (d.flags & QVA_BUFFLAG_EOS) continue;
    if (d.flags & QVA_BUFFLAG_SEEK) {
      position = static_cast<size_t>(d.seekOffset);
    } else if (!d.data.empty()) {
      if (bytes.size() < position + d.data.size()) bytes.resize(position + d.data.size());
      std::memcpy(bytes.data() + position, d.data.data(), d.data.size());
      position += d.data.size();
    }
  }
  return bytes;
}

size_t MuxSink::DataBuffers() const { return Count(IsData); }

uint32_t MuxSink::LargestBuffer() const {
  size_t largest = 0;
  for (const Delivery& d : Deliveries()) {
    if (IsData(d)) largest = std::max(largest, d.data.size());
  }
  return static_cast<uint32_t>(largest);
}

size_t MuxSink::Seeks() const {
  return Count([](const Delivery& d) { return !(d.flags & QVA_BUFFLAG_EOS) && (d.flags & QVA_BUFFLAG_SEEK); });
}

std::vector<uint64_t> MuxSink::Times() const {
  std::vector<uint64_t> times;
  for (const Delivery& d : Deliveries()) {
    if (IsData(d)) times.push_back(d.timestamp);
  }
  return times;
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
