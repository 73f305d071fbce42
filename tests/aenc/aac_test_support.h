#pragma once
// Shared by the AAC tests: configurations, a reader of our raw data blocks' first fields, and
// the decoders (ffmpeg and faad) run on a written ADTS file.
#include <cstdint>
#include <string>
#include <vector>

#include "aenc/core/audio_encoder_config.h"
#include "tests/aenc/audio_oracle.h"

namespace orx::test {

inline aenc::AudioEncoderConfig AacConfig(int rate, int channels, int bitrate, bool adts = true) {
  aenc::AudioEncoderConfig config;
  config.mode = channels == 1 ? 3 : 0;
  config.sampleRate = static_cast<uint32_t>(rate);
  config.codec = aenc::kCodecAacLc;
  config.psyMode = 1;
  config.bitrate = static_cast<uint32_t>(bitrate);
  config.frameSamples = 8000;
  config.adts = adts ? 1 : 0;
  return config;
}

// MSB-first reader of a coded frame.
class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t Read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      const size_t byte = position_ / 8;
      const int bit = byte < bytes_.size() ? (bytes_[byte] >> (7 - position_ % 8)) & 1 : 0;
      value = (value << 1) | static_cast<uint32_t>(bit);
      ++position_;
    }
    return value;
  }
  size_t Position() const { return position_; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
};

// The ADTS frames of a stream: their lengths, or an empty list when a header is broken.
std::vector<size_t> AdtsFrameSizes(const std::vector<uint8_t>& stream);

struct DecoderVerdict {
  bool ffmpegClean = false;  // -xerror decode succeeded without a message
  bool faadClean = false;    // faad succeeded without an error message
  std::string log;
  Pcm decoded;  // ffmpeg's
};
// Writes the stream to `path` and decodes it with both decoders.
DecoderVerdict DecodeWithBoth(const std::vector<uint8_t>& stream, const std::string& path);

}  // namespace orx::test
