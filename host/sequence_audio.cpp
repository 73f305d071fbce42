#include "host/sequence_audio.h"

#include <cmath>
#include <map>
#include <mutex>

namespace orx::host {
namespace {

using namespace host_sdk;

struct AudioRenderer {
  int channels = 2;
  double sampleRate = 48000.0;
  int64_t position = 0;  // sample frames handed out
};

std::mutex g_mutex;
AudioSettings g_settings;
AudioStatistics g_stats;
std::map<uint32_t, AudioRenderer> g_renderers;
uint32_t g_lastId = 0;

// Sample frame n of channel c at the renderer's rate.
float SourceSample(const AudioRenderer& r, int64_t n, int c) {
  const support::AudioClip* clip = g_settings.clip;
  if (clip == nullptr) return support::ToneSample(g_settings.toneHz, r.sampleRate, n);
  auto mixed = [&](int64_t frame) {
    // A mono renderer hears the average of the clip's channels; extra channels repeat the last.
    if (r.channels == 1 && clip->channels > 1) {
      float sum = 0.0f;
      for (int i = 0; i < clip->channels; ++i) sum += clip->At(frame, i);
      return sum / static_cast<float>(clip->channels);
    }
    return clip->At(frame, c);
  };
  if (static_cast<double>(clip->sampleRate) == r.sampleRate) return mixed(n);
  double at = static_cast<double>(n) * clip->sampleRate / r.sampleRate;
  int64_t i = static_cast<int64_t>(std::floor(at));
  float w = static_cast<float>(at - static_cast<double>(i));
  return mixed(i) * (1.0f - w) + mixed(i + 1) * w;
}

int32_t MakeAudioRenderer(uint32_t /*exporterId*/, int64_t startTime, int32_t channelType,
                          int32_t sampleType, float sampleRate, uint32_t* rendererId) {
  if (rendererId == nullptr || sampleType != kAudioSampleTypeFloat32 || !(sampleRate > 0.0f) ||
      sampleRate > 768000.0f || (channelType != 1 && channelType != 2)) {
    return kSuiteErrorBadArgument;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  AudioRenderer r;
  r.channels = channelType;
  r.sampleRate = sampleRate;
  r.position = static_cast<int64_t>(static_cast<double>(startTime) * sampleRate /
                                    static_cast<double>(g_settings.ticksPerSecond));
  *rendererId = ++g_lastId;
  g_renderers[*rendererId] = r;
  ++g_stats.renderersMade;
  return 0;
}

int32_t ReleaseAudioRenderer(uint32_t /*exporterId*/, uint32_t rendererId) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_renderers.erase(rendererId) == 0) return kSuiteErrorNotFound;
  ++g_stats.renderersReleased;
  return 0;
}

int32_t MaxBlock(const AudioRenderer& r) { return static_cast<int32_t>(r.sampleRate / 4.0); }

int32_t GetMaxBlockSize(uint32_t rendererId, int64_t ticks, int32_t* sampleFrames) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_renderers.find(rendererId);
  if (it == g_renderers.end() || sampleFrames == nullptr) return kSuiteErrorBadArgument;
  double frames = static_cast<double>(ticks) * it->second.sampleRate /
                  static_cast<double>(g_settings.ticksPerSecond);
  // Never more than a quarter second, whatever is asked for.
  *sampleFrames = static_cast<int32_t>(std::fmin(std::fmax(frames, 0.0), MaxBlock(it->second)));
  return 0;
}

int32_t GetAudio(uint32_t rendererId, uint32_t sampleFrames, float** channels,
                 int32_t /*reserved*/) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_renderers.find(rendererId);
  if (it == g_renderers.end() || channels == nullptr) return kSuiteErrorBadArgument;
  AudioRenderer& r = it->second;
  if (sampleFrames > static_cast<uint32_t>(MaxBlock(r))) {
    ++g_stats.refusedBlocks;
    return kSuiteErrorBadArgument;
  }
  for (int c = 0; c < r.channels; ++c) {
    if (channels[c] == nullptr) return kSuiteErrorBadArgument;
  }
  for (uint32_t i = 0; i < sampleFrames; ++i) {
    for (int c = 0; c < r.channels; ++c) channels[c][i] = SourceSample(r, r.position + i, c);
  }
  r.position += sampleFrames;
  g_stats.framesRendered += sampleFrames;
  return 0;
}

const SequenceAudioSuite kSuite{&MakeAudioRenderer, &ReleaseAudioRenderer, &GetMaxBlockSize,
                                &GetAudio};

}  // namespace

void SetAudioSettings(const AudioSettings& settings) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_settings = settings;
  g_stats = AudioStatistics{};
}

AudioStatistics CurrentAudioStatistics() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_stats;
}

const SequenceAudioSuite* SequenceAudioSuiteTable() { return &kSuite; }

}  // namespace orx::host
