#pragma once
// The stream formats the component keeps and hands to the multiplexer (and the parsers read).
#include <cstdint>

namespace orx::mux {

struct MuxVideoFormat {
  uint32_t width = 720;
  uint32_t height = 480;
  uint32_t aspectX = 4;  // display aspect ratio
  uint32_t aspectY = 3;
  uint32_t bitrate = 4000000;  // bits per second
  uint32_t frameRateNum = 30000;
  uint32_t frameRateDen = 1000;
  uint32_t privateSize = 0;
  uint8_t privateData[64] = {};
};

// Laid out like a WAVEFORMATEX widened to 32-bit words.
struct MuxAudioFormat {
  uint32_t formatTag = 0;  // 353 for WMA, else 0
  uint32_t channels = 2;
  uint32_t sampleRate = 48000;
  uint32_t bitsPerSample = 16;
  uint32_t bitrate = 128000;  // bits per second
  uint32_t blockAlign = 4;
  uint32_t extraSize = 0;
  uint8_t extra[32] = {};
};

inline constexpr uint32_t kWmaFormatTag = 353;

}  // namespace orx::mux
