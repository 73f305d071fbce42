// libFuzzer target: the WAV reader on any bytes, then the host's conversion of what it read to
// 48 kHz.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/audio_resampler.h"
#include "support/audio_clip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/orx-fuzz-wav-" + std::to_string(::getpid()) + ".wav";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  orx::support::AudioClip clip;
  std::string error;
  if (orx::support::ReadWavFile(path, clip, error) && clip.frames() <= 96000) {
    orx::support::AudioClip resampled;
    orx::host::ResampleClip(clip, 48000, resampled, error);
  }
  return 0;
}
