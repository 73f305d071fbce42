#include "host/audio_resampler.h"

#include <soxr.h>

#include <cmath>

namespace orx::host {

bool ResampleClip(const support::AudioClip& clip, int rate, support::AudioClip& out,
                  std::string& error) {
  out = support::AudioClip{};
  out.sampleRate = rate;
  out.channels = clip.channels;
  if (clip.channels <= 0 || clip.sampleRate <= 0 || rate <= 0) {
    error = "cannot resample audio of " + std::to_string(clip.channels) + " channels from " +
            std::to_string(clip.sampleRate) + " to " + std::to_string(rate) + " Hz";
    return false;
  }
  const size_t inFrames = static_cast<size_t>(clip.frames());
  const size_t outFrames = static_cast<size_t>(
      std::ceil(static_cast<double>(inFrames) * rate / static_cast<double>(clip.sampleRate)));
  out.samples.assign(outFrames * static_cast<size_t>(clip.channels), 0.0f);
  if (inFrames == 0) return true;
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  size_t done = 0;
  soxr_error_t failure = soxr_oneshot(static_cast<double>(clip.sampleRate),
                                      static_cast<double>(rate), static_cast<unsigned>(clip.channels),
                                      clip.samples.data(), inFrames, nullptr, out.samples.data(),
                                      outFrames, &done, &io, &quality, nullptr);
  if (failure != nullptr) {
    error = std::string("the audio resampler failed: ") + failure;
    return false;
  }
  out.samples.resize(done * static_cast<size_t>(clip.channels));
  return true;
}

}  // namespace orx::host
