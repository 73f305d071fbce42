#pragma once
// Shared by the Layer III tests: configurations and the two decoders run on a written stream.
#include <cstdint>
#include <string>
#include <vector>

#include "aenc/core/audio_encoder_config.h"
#include "tests/aenc/audio_oracle.h"

namespace orx::test {

inline aenc::AudioEncoderConfig Layer3Config(int rate, int channels, int bitrate) {
  aenc::AudioEncoderConfig config;
  config.mode = channels == 1 ? 3 : 0;
  config.sampleRate = static_cast<uint32_t>(rate);
  config.codec = aenc::kCodecMpegAudio;
  config.layer = 3;
  config.psyMode = 1;
  config.bitrate = static_cast<uint32_t>(bitrate);
  config.frameSamples = 8000;
  return config;
}

struct Mp3Verdict {
  bool ffmpegClean = false;  // -xerror decode without any message
  bool mpg123Clean = false;  // mpg123 -q -t: exit 0, nothing on its error output
  bool mp3valClean = false;  // mp3val finds no problem
  std::string log;
  Pcm decoded;  // ffmpeg's
};
// Writes the stream to `path` and checks it with ffmpeg, mpg123 and (when `mp3val`) mp3val.
Mp3Verdict CheckMp3(const std::vector<uint8_t>& stream, const std::string& path, bool mp3val = true);

// mpg123's decoded samples of a written file (16-bit, interleaved); false on failure.
bool DecodeWithMpg123(const std::string& path, Pcm& out, std::string* log = nullptr);

// The sizes of the frames of an MPEG audio stream, read from their headers; empty when a header
// is broken or the stream does not end with a whole frame.
std::vector<size_t> MpegFrameSizes(const std::vector<uint8_t>& stream);

}  // namespace orx::test
