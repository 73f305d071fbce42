#include "host/sequence_audio.h"

#include <cmath>
#include <map>
#include <memory>
#include <string>

#include "host/audio_resampler.h"
#include <mutex>

namespace orx::host {
namespace {

using namespace host_sdk;

struct AudioRenderer {
  int channels = 2;
  double sampleRate = 48000.0;
  int64_t position = 0;  // sample frames handed out
  // The source clip at the renderer's rate (the clip itself when the rates agree).
  std::shared_ptr<const support::AudioClip> clip;
};

std::mutex g_mutex;
AudioSettings g_settings;
AudioStatistics g_stats;
std::map<uint32_t, AudioRenderer> g_renderers;
uint32_t g_lastId = 0;
std::map<int, std::shared_ptr<const support::AudioClip>> g_resampled;  // by rate

// Sample frame n of channel c at the renderer's rate.
float SourceSample(const AudioRenderer& r, int64_t n, int c) {
  const support::AudioClip* clip = r.clip.get();
  if (clip == nullptr) return support::ToneSample(g_settings.toneHz, r.sampleRate, n);
  // A mono renderer hears the average of the clip's channels; extra channels repeat the last.
  if (r.channels == 1 && clip->channels > 1) {
    float sum = 0.0f;
    for (int i = 0; i < clip->channels; ++i) sum += clip->At(n, i);
    return sum / static_cast<float>(clip->channels);
  }
  return clip->At(n, c);
}

int32_t MakeAudioRenderer(uint32_t /*exporterId*/, int64_t startTime, int32_t channelType,
                          int32_t sampleType, float sampleRate, uint32_t* rendererId) {
  if (rendererId == nullptr || sampleType != kAudioSampleTypeFloat32 || !(sampleRate > 0.0f) ||
      sampleRate > 768000.0f || (channelType != 1 && channelType != 2)) {
    return kSuiteErrorBadArgument;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  AudioRenderer r;
  if (g_settings.clip != nullptr) {
    // The clip is converted to the renderer's rate once (and kept for another renderer at it).
    const support::AudioClip& clip = *g_settings.clip;
    int rate = static_cast<int>(std::lround(sampleRate));
    if (clip.sampleRate == rate) {
      r.clip = std::shared_ptr<const support::AudioClip>(std::shared_ptr<void>(), &clip);
    } else {
      auto& cached = g_resampled[rate];
      if (cached == nullptr) {
        auto converted = std::make_shared<support::AudioClip>();
        std::string error;
        if (!ResampleClip(clip, rate, *converted, error)) return kSuiteErrorBadArgument;
        cached = std::move(converted);
      }
      r.clip = cached;
    }
  }
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
  g_resampled.clear();
}

AudioStatistics CurrentAudioStatistics() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_stats;
}

const SequenceAudioSuite* SequenceAudioSuiteTable() { return &kSuite; }

}  // namespace orx::host
