// The AAC part of the encoder's set-up: the sampling-frequency index, the state and work area,
// the window and FFT tables, the per-stream reset, and two small helpers.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "aenc/aac/aac_state.h"
#include "aenc/aac/aac_tables.h"
#include "aenc/core/aligned_block.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

int CMPEGAudioEncoder::AacSamplingIndex(int rate) {
  // The nearest table frequency; on equal distance the lower index (the higher frequency).
  int best = 0;
  for (int i = 1; i < kAacRateCount; ++i) {
    if (std::abs(rate - static_cast<int>(kAacSampleRates[i])) <
        std::abs(rate - static_cast<int>(kAacSampleRates[best])))
      best = i;
  }
  return best;
}

bool CMPEGAudioEncoder::SetupAac() {
  if (!aacWorkBlock) {
    aacWorkBlock.reset(static_cast<uint8_t*>(AllocateAlignedZeroed(kAacWorkBlockBytes)));
    if (!aacWorkBlock) return false;
    uintptr_t at = (reinterpret_cast<uintptr_t>(aacWorkBlock.get()) + 127) & ~uintptr_t{127};
    aacWork = new (reinterpret_cast<void*>(at)) AacWorkArea;
    std::memset(static_cast<void*>(aacWork), 0, sizeof(AacWorkArea));
  }
  aacState.reset(new (std::nothrow) AacState);
  if (!aacState) return false;
  sblimit = kAacBandCounts[samplingIndex];
  aacState->swbOffsets = kAacSwbOffsets[samplingIndex];
  int reservoirMax = 768 * channels - (frameRemainder != 0 ? 1 : 0) - frameBytes;
  aacState->reservoirMax = reservoirMax > 0 ? reservoirMax : 0;
  aacState->avgGain = 100.0f;
  InitAacTables();
  return true;
}

void CMPEGAudioEncoder::InitAacTables() {
  AacWorkArea& w = *aacWork;
  for (int n = 0; n < 2 * kAacFrameSamples; ++n)
    w.window[n] = static_cast<float>(std::sin((n + 0.5) * M_PI / 2048.0));
  for (int i = 0; i < 512; ++i) {
    int reversed = 0;
    for (int bit = 0; bit < 9; ++bit) reversed |= ((i >> bit) & 1) << (8 - bit);
    w.bitReverse[i] = static_cast<uint16_t>(reversed);
  }
  for (int k = 0; k < 256; ++k) {
    w.twiddles[k][0] = std::cos(-2.0 * M_PI * (k + 1) / 512.0);
    w.twiddles[k][1] = std::sin(-2.0 * M_PI * (k + 1) / 512.0);
  }
}

void CMPEGAudioEncoder::FreeAac() {
  aacState.reset();
  aacWork = nullptr;
  aacWorkBlock.reset();
}

void CMPEGAudioEncoder::ResetAacStream() {
  // Every stream starts as the first did: silent history, an empty reservoir, the initial
  // average gain and the padding pattern from its start.
  if (!aacState || !aacWork) return;
  std::memset(aacWork->pcm, 0, sizeof(aacWork->pcm));
  aacState->reservoir = 0;
  aacState->avgGain = 100.0f;
  aacState->streamFrames = 0;
  paddingAccumulator = -frameRemainder;
}

float CMPEGAudioEncoder::AacStepFromGain(int gain) {
  return static_cast<float>(std::pow(2.0, (100 - gain) * 0.1875));
}

int CMPEGAudioEncoder::AacBitsWritten() const {
  return static_cast<int>(writePtr - frameStart) * 8 + 8 - bitsLeft;
}

}  // namespace orx::aenc
