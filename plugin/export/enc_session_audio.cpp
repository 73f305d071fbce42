// The audio flow of an export pass: the host's audio is pulled in blocks of at most a quarter
// second, converted to interleaved 16-bit samples and copied into the engine.
#include <algorithm>
#include <cmath>

#include "plugin/export/enc_session.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/export/tengine_calls.h"

namespace orx::plugin {
namespace {

constexpr uint32_t kAudioBlockFlags = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_EXTERNAL;  // 0x1200004
constexpr uint32_t kAudioBlockOffFlags = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EXTERNAL;  // 0x200004
constexpr uint32_t kPumpEndFlags = kAudioBlockFlags | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;  // 0x1214004

int16_t ToSample(float value) {
  double scaled = std::trunc(static_cast<double>(value) * 32767.0);
  // Samples beyond full scale are held at it instead of wrapping around.
  if (!(scaled >= -32768.0)) return scaled != scaled ? 0 : -32768;
  if (scaled > 32767.0) return 32767;
  return static_cast<int16_t>(scaled);
}

}  // namespace

void InterleaveSamples(const float* const* channels, int channelCount, uint32_t frames,
                       int16_t* out) {
  for (uint32_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channelCount; ++c) *out++ = ToSample(channels[c][i]);
  }
}

int32_t EncSession_PumpAudio(host_sdk::StandardParameters* /*standard*/,
                             const host_sdk::SequenceRenderSuite* /*render*/,
                             const host_sdk::SequenceAudioSuite* audio, int64_t limitMs,
                             host_sdk::ExportRecord* record) {
  EncSessionState& s = Session();
  ExporterInstance* instance = s.instance;
  if (instance == nullptr || audio == nullptr) return 0;
  const QVATengineConfig& config = GlobalExportState().config;
  double rate = instance->audioSampleRate;
  int64_t ticksPerSecond = s.ticksPerSecond;
  if (instance->timeSuite != nullptr) instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);
  double startMs =
      ticksPerSecond > 0 ? static_cast<double>(record->startTime * 1000 / ticksPerSecond) : 0.0;
  double limitFrames = (static_cast<double>(limitMs) - startMs) * rate / 1000.0;
  uint64_t limit =
      limitFrames > 0.0 && limitFrames < 9.0e15 ? static_cast<uint64_t>(limitFrames) : 0;
  int channels = instance->audioChannelType == 1 ? 1 : 2;
  uint32_t wholeRate = static_cast<uint32_t>(rate);
  auto stamp = [&s, wholeRate] { return wholeRate != 0 ? s.audioPosition * 1000 / wholeRate : 0; };

  int32_t answer = 0;
  while (s.audioState == kAudioRunning && s.audioPosition < limit) {
    uint64_t n = limit - s.audioPosition;
    int32_t maximum = 0;
    audio->GetMaxBlockSize(instance->audioRendererId, ticksPerSecond / 4, &maximum);
    if (n == 0 || maximum <= 0) {
      s.audioState = kAudioEnded;
      break;
    }
    // The channel buffers hold 48000 samples whatever the host offers.
    n = std::min<uint64_t>({n, static_cast<uint64_t>(maximum), kAudioBufferFrames});
    answer =
        audio->GetAudio(instance->audioRendererId, static_cast<uint32_t>(n), s.channelBuffers, 0);
    if (answer != 0) {
      s.audioState = kAudioEnded;
      break;
    }
    InterleaveSamples(s.channelBuffers, channels, static_cast<uint32_t>(n), s.interleaveBuffer);
    ComponentBuffer block{};
    block.flags = config.audioEnabled ? kAudioBlockFlags : kAudioBlockOffFlags;
    block.timestamp = stamp();
    block.data = reinterpret_cast<uint8_t*>(s.interleaveBuffer);
    block.capacity = block.length = static_cast<uint32_t>(n) * static_cast<uint32_t>(channels) * 2;
    if (config.audioEnabled) {
      if (Tengine().DeliverAudio(s.engine, &block, 0, nullptr, 0xFFFFFFFFu) ==
          QVA_ERR_UNSUPPORTED) {
        s.audioState = kAudioStopped;
      }
    }
    s.audioPosition += n;
  }
  if (s.audioState == kAudioEnded) {
    ComponentBuffer marker{};
    marker.flags = kPumpEndFlags;
    marker.timestamp = stamp();
    Tengine().DeliverAudio(s.engine, &marker, 0, nullptr, 0xFFFFFFFFu);
  }
  return answer;
}

}  // namespace orx::plugin
