#pragma once
// An IAudioBitstream that keeps every committed frame in memory, for driving the encoder core
// without the component.
#include <cstdint>
#include <vector>

#include "aenc/core/audio_encoder.h"
#include "aenc/core/audio_encoder_config.h"
#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/simd/audio_factories.h"
#include "tests/aenc/audio_oracle.h"

namespace orx::test {

class MemoryBitstream : public aenc::IAudioBitstream {
 public:
  uint8_t* GetBuffer() override {
    if (refuse_) return nullptr;
    buffer_.assign(8192, 0xA5);  // garbage the writer must clear
    return buffer_.data();
  }
  void Commit(uint32_t bytes) override {
    frames.emplace_back(buffer_.begin(), buffer_.begin() + bytes);
  }
  void Refuse(bool refuse) { refuse_ = refuse; }

  std::vector<uint8_t> Joined() const {
    std::vector<uint8_t> all;
    for (const auto& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
  }

  std::vector<std::vector<uint8_t>> frames;

 private:
  std::vector<uint8_t> buffer_;
  bool refuse_ = false;
};

// A Layer II configuration as the component makes it.
inline aenc::AudioEncoderConfig Layer2Config(int rate, int channels, int bitrate, int psyMode = 1) {
  aenc::AudioEncoderConfig config;
  config.mode = channels == 1 ? 3 : 0;
  config.sampleRate = static_cast<uint32_t>(rate);
  config.codec = aenc::kCodecMpegAudio;
  config.layer = 2;
  config.psyMode = static_cast<uint32_t>(psyMode);
  config.bitrate = static_cast<uint32_t>(bitrate);
  config.frameSamples = 8000;
  return config;
}

struct EncoderDeleter {
  void operator()(aenc::CMPEGAudioEncoder* encoder) const {
    if (encoder) encoder->Release();
  }
};
using EncoderPtr = std::unique_ptr<aenc::CMPEGAudioEncoder, EncoderDeleter>;

inline EncoderPtr MakeEncoder(aenc::AudioEncoderConfig& config, uint32_t mask = 0x31) {
  aenc::CMPEGAudioEncoder* encoder = nullptr;
  aenc::NewMPEGAudioEncoderForMask(&encoder, &config, mask);
  return EncoderPtr(encoder);
}

// Encodes every whole frame of pcm, then one more frame of silence per `tailFrames`.
inline std::vector<uint8_t> EncodePcm(aenc::CMPEGAudioEncoder& encoder, const Pcm& pcm,
                                      int tailFrames = 2) {
  MemoryBitstream out;
  encoder.Init(&out);
  size_t perFrame = static_cast<size_t>(encoder.frameSamples * encoder.channels);
  std::vector<int16_t> padded = pcm.samples;
  padded.resize((padded.size() / perFrame + tailFrames) * perFrame, 0);
  for (size_t at = 0; at + perFrame <= padded.size(); at += perFrame) encoder.EncodeFrame(&padded[at]);
  encoder.EndOfStream();
  return out.Joined();
}

}  // namespace orx::test
