#pragma once
// The AAC coder's records: the per-stream state and the 128-byte aligned work area.
#include <cstddef>
#include <cstdint>

namespace orx::aenc {

constexpr int kAacFrameSamples = 1024;
constexpr int kAacMaxBands = 51;
constexpr int kAacMaxChannelBits = 6144;  // the largest raw data block per channel
constexpr int kAacLargestCode = 8191;     // the largest magnitude the escape codebook carries
constexpr int kAacMaxGain = 255;
constexpr size_t kAacWorkBlockBytes = 54400;

struct AacState {
  const uint16_t* swbOffsets = nullptr;  // the band offsets of the sampling-frequency index
  float avgGain = 100.0f;                // running average of the chosen global gains
  int32_t reservoir = 0;                 // bytes in the bit reservoir
  int32_t reservoirMax = 0;
  int32_t globalGain[2] = {};
  uint8_t codebooks[2][52] = {};
  int32_t streamFrames = 0;  // frames since the stream began: the first one sets the average gain
};

struct alignas(128) AacWorkArea {
  // [channel][parity]: the frame of parity framesCoded & 1, so each channel keeps the current
  // and the previous frame.
  int16_t pcm[2][2][kAacFrameSamples];
  float window[2 * kAacFrameSamples];  // sin((n + 0.5) pi / 2048)
  // Per channel: the windowed samples, then the 1024 coefficients followed by |X|^0.75.
  float spectrum[2][2 * kAacFrameSamples];
  int32_t quantized[2][kAacFrameSamples];  // signed after the codebook choice
  double fft[512][2];                      // the FFT buffer (re, im)
  double twiddles[256][2];                 // exp(-2 pi i (k + 1) / 512)
  uint16_t bitReverse[512];                // 9-bit reversal of 0..511
};
static_assert(offsetof(AacWorkArea, window) == 8192);
static_assert(offsetof(AacWorkArea, spectrum) == 16384);
static_assert(offsetof(AacWorkArea, quantized) == 32768);
static_assert(offsetof(AacWorkArea, fft) == 40960);
static_assert(offsetof(AacWorkArea, twiddles) == 49152);
static_assert(offsetof(AacWorkArea, bitReverse) == 53248);
static_assert(sizeof(AacWorkArea) == 54272);
static_assert(sizeof(AacWorkArea) + 128 <= kAacWorkBlockBytes);

}  // namespace orx::aenc
