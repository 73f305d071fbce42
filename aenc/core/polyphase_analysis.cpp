// The polyphase analysis filter bank of the MPEG audio layers (ISO/IEC 11172-3 Annex C.1.3):
// windowing in 16-bit integers with 32-bit sums, matrixing as a 32-point DCT in float.
#include <cmath>

#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {
namespace {

// 1 / (2 cos(pi (2k + 1) / (2n))) for the butterflies of an n-point DCT-III, n = 2 .. 32.
struct DctFactors {
  float values[64];  // factors of size n start at index n
  DctFactors() {
    for (int n = 2; n <= 32; n *= 2) {
      for (int k = 0; k < n / 2; ++k)
        values[n + k] = static_cast<float>(0.5 / std::cos(M_PI * (2 * k + 1) / (2.0 * n)));
    }
  }
};
const DctFactors kDctFactors;

// out[k] = sum over n of in[n] cos(pi n (2k + 1) / (2N)): Lee's recursive split into the even
// and the (summed) odd inputs, each a DCT-III of half the size.
template <int N>
void Dct3(const float* in, float* out) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    float even[N / 2], odd[N / 2], evenOut[N / 2], oddOut[N / 2];
    for (int n = 0; n < N / 2; ++n) {
      even[n] = in[2 * n];
      odd[n] = n == 0 ? in[1] : in[2 * n + 1] + in[2 * n - 1];
    }
    Dct3<N / 2>(even, evenOut);
    Dct3<N / 2>(odd, oddOut);
    for (int k = 0; k < N / 2; ++k) {
      float t = oddOut[k] * kDctFactors.values[N + k];
      out[k] = evenOut[k] + t;
      out[N - 1 - k] = evenOut[k] - t;
    }
  }
}

}  // namespace

void CMPEGAudioEncoder::AnalysisStep(const int16_t* samples, float* out, int channel) {
  int16_t* history = fifo.get() + channel * 512;
  int pos = fifoPos[channel];
  // Newest sample first: the history rows hold X[i + 64j] of the standard's input vector.
  for (int i = 0; i < 32; ++i) history[pos + 8 * (31 - i)] = samples[i];
  const int16_t* windows = windowTable.get();
  if (pos < 256) {
    // The new block is in rows 0..31; rows 32..63 were written one step earlier, one tap on.
    PolyphaseWindow(history, windows + 512 * (pos % 8), partialSums, 32);
    PolyphaseWindow(history + 256, windows + 512 * ((pos + 1) % 8) + 256, partialSums + 32, 32);
  } else {
    // The new block is in rows 32..63 and holds X[0..31]; rows 0..31 hold X[32..63].
    const int16_t* window = windows + 512 * (pos % 8);
    PolyphaseWindow(history + 256, window, partialSums, 32);
    PolyphaseWindow(history, window + 256, partialSums + 32, 32);
  }
  fifoPos[channel] = pos + 256 < 512 ? pos + 256 : (pos + 255) % 8;
  PolyphaseMatrix(partialSums, out);
}

void CMPEGAudioEncoder::PolyphaseWindow(const int16_t* history, const int16_t* window,
                                        int32_t* sums, int count) {
  for (int row = 0; row < count; ++row) {
    uint32_t sum = 0;  // wraps like the packed multiply-add
    for (int tap = 0; tap < 8; ++tap) {
      int32_t product = int32_t{history[8 * row + tap]} * int32_t{window[8 * row + tap]};
      sum += static_cast<uint32_t>(product);
    }
    sums[row] = static_cast<int32_t>(sum);
  }
}

void CMPEGAudioEncoder::PolyphaseMatrix(const int32_t* sums, float* out) {
  // cos((2k + 1)(i - 16) pi / 64) is even around i = 16 and odd around i = 48, which folds the
  // 64 sums into the 32 inputs of a DCT-III.
  float folded[32];
  folded[0] = static_cast<float>(sums[16]);
  for (int n = 1; n <= 16; ++n) folded[n] = static_cast<float>(sums[16 + n]) + static_cast<float>(sums[16 - n]);
  for (int n = 17; n < 32; ++n) folded[n] = static_cast<float>(sums[16 + n]) - static_cast<float>(sums[80 - n]);
  float transformed[32];
  Dct3<32>(folded, transformed);
  constexpr float kScale = 1.0f / 17179869184.0f;  // 2^-34: 16-bit full scale becomes 1.0
  for (int k = 0; k < 32; ++k) out[k] = transformed[k] * kScale;
}

}  // namespace orx::aenc
