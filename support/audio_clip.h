#pragma once
// Source audio for the host: a WAV file read whole, or a sine tone. Samples are floats in
// -1..1, interleaved by channel.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::support {

struct AudioClip {
  int sampleRate = 0;
  int channels = 0;
  std::vector<float> samples;  // frames x channels, interleaved

  int64_t frames() const {
    return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0;
  }
  // Sample of channel c at frame n; 0 past the end, the last channel for c >= channels.
  float At(int64_t frame, int channel) const;
};

// Reads a RIFF WAVE file with PCM (8, 16, 24 or 32 bits) or 32-bit float samples. On failure
// error says why.
bool ReadWavFile(const std::string& path, AudioClip& clip, std::string& error);

// The tone the host renders for --tone: a sine of the given frequency at amplitude 0.5 on
// every channel.
float ToneSample(double hz, double sampleRate, int64_t frame);

}  // namespace orx::support
