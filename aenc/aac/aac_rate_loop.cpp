// The AAC rate loop of one channel: a bisection for the global gain inside a bit window, the
// gain pulled toward its running average, and the codebook choice that counts the bits.
#include <algorithm>
#include <cstring>

#include "aenc/aac/aac_codebook_choice.h"
#include "aenc/aac/aac_state.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {
namespace {

constexpr int kSectionBits = 9;
constexpr int kSectionEscapeBits = 5;  // a section of 31 bands continues with another length
constexpr int kLongestRun = 31;

// The cost of a gain against the running average: a step above it costs twice a step below.
int GainCost(int gain, int average) {
  if (gain == average) return 0;
  return gain > average ? 2 * (gain - average) - 1 : average - gain - 1;
}

}  // namespace

int CMPEGAudioEncoder::AacSectionBits(uint8_t* codebooks, int32_t* quantized, const float* coefficients) {
  const uint16_t* offsets = aacState->swbOffsets;
  int previous = -1, run = 0, bits = 0;
  for (int band = 0; band < sblimit; ++band) {
    const int start = offsets[band], end = offsets[band + 1];
    const int largest = AacBandMaxAbs(quantized + start, coefficients + start, end - start);
    int book = 0;
    if (largest > 0) {
      const int32_t* first = quantized + start;
      const int32_t* last = quantized + end;
      int bandBits;
      if (largest == 1) bandBits = ChooseCodebook1To3(previous, first, last, &book);
      else if (largest == 2) bandBits = ChooseCodebook3To5(previous, first, last, &book);
      else if (largest <= 4) bandBits = ChooseCodebook5To7(previous, first, last, &book);
      else if (largest <= 7) bandBits = ChooseCodebook7To9(previous, first, last, &book);
      else if (largest <= 12) bandBits = ChooseCodebook9To10(previous, first, last, &book);
      else {
        book = 11;
        bandBits = CountEscBookBits(first, last);
      }
      bits += bandBits + 1;  // and the scalefactor difference 0
    }
    codebooks[band] = static_cast<uint8_t>(book);
    if (run == kLongestRun) {
      run = 0;
      bits += kSectionEscapeBits;
    }
    if (book != previous) {
      previous = book;
      run = 0;
      bits += kSectionBits;
    }
    ++run;
  }
  if (run == kLongestRun) bits += kSectionEscapeBits;
  return bits;
}

int CMPEGAudioEncoder::AacQuantizeChannel(uint8_t* codebooks, int* gainOut, float* x, int32_t* q,
                                          int target, int minBits, int maxBits, int average) {
  float* xr34 = x + kAacFrameSamples;
  PowThreeQuarters(xr34, x, kAacFrameSamples);
  minBits = (std::max(minBits, target / 2) + 7) & ~7;
  const int limit = std::min((3 * target + maxBits) / 4, 3 * target / 2);

  // Quantizes at a gain; answers false when a code is beyond the escape codebook, else the bits.
  auto tryGain = [&](int gain, int* bits) {
    const uint32_t codes = QuantizeSpectrum(xr34, q, AacStepFromGain(gain), kAacFrameSamples);
    if (codes > static_cast<uint32_t>(kAacLargestCode)) return false;
    *bits = AacSectionBits(codebooks, q, x);
    return true;
  };

  int lo = 60, hi = 200, gain = 130, best = kAacMaxGain, high = 20;
  for (;;) {
    int bits = 0;
    if (!tryGain(gain, &bits) || bits > limit) {
      lo = gain;
    } else {
      best = std::min(best, gain);
      if (bits >= minBits && gain >= high) high = gain;
      if (bits > target) lo = gain;
      else hi = gain;
    }
    const int next = (lo + hi) / 2;
    if (next == gain) break;
    gain = next;
  }

  int chosen = best;
  if (aacState->streamFrames > 0 && best <= high) {
    for (int g = best; g <= high; ++g) {
      if (GainCost(g, average) < GainCost(chosen, average)) chosen = g;
    }
  }

  // The final search raises the gain until the channel fits its limit, up to the largest gain
  // the stream can carry; a channel that does not fit even there is coded as silence.
  int bits = 0;
  for (gain = chosen; gain <= kAacMaxGain; ++gain) {
    if (tryGain(gain, &bits) && bits <= limit) {
      *gainOut = gain;
      return bits;
    }
  }
  std::memset(q, 0, sizeof(int32_t) * kAacFrameSamples);
  *gainOut = kAacMaxGain;
  return AacSectionBits(codebooks, q, x);
}

}  // namespace orx::aenc
