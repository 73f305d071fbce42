// The Layer III bit budget: per granule and channel the bounds from the reservoir, the rate
// loop on the global gain (bisection, preference for the smoothed gain, final upward scan), the
// reservoir and the smoothed gain, and the excess bits stuffed into the frame.
#include <algorithm>
#include <cmath>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer3/layer3_state.h"

namespace orx::aenc {

float CMPEGAudioEncoder::Layer3Step(int q) {
  return q == 0 ? 1.0f : static_cast<float>(std::pow(2.0, -3.0 * q / 16.0));
}

int CMPEGAudioEncoder::Layer3TryGain(int q, int32_t* ix, Layer3GranuleRecord& record, bool* fits) {
  const uint32_t all = QuantizeSpectrum(l3Work.get()->xr34, ix, Layer3Step(q), kLayer3Lines);
  if (all > static_cast<uint32_t>(kLayer3LargestCode)) {
    *fits = false;
    return 0;
  }
  *fits = true;
  return Layer3CountBits(ix, record);
}

void CMPEGAudioEncoder::Layer3RateLoop(Layer3GranuleRecord& record, int32_t* ix, int minBits, int mean,
                                       int maxBits, int preferred) {
  const int lower = (std::max(minBits, mean / 2) + 7) & ~7;
  const int upper = std::min((maxBits + 3 * mean) / 4, 3 * mean / 2);
  // Bisection between A (too many bits) and B (within the mean); qLow is the smallest gain that
  // fits under upper, qHigh the largest that still spends at least lower.
  int a = -160, b = 32, q = -64, qLow = 45, qHigh = -170;
  for (;;) {
    bool fits = false;
    const int bits = Layer3TryGain(q, ix, record, &fits);
    if (!fits || bits > upper) {
      a = q;
    } else {
      qLow = std::min(qLow, q);
      if (bits >= lower && q >= qHigh) qHigh = q;
      if (bits > mean) a = q;
      else b = q;
    }
    const int next = (a + b) / 2;
    if (next == q) break;
    q = next;
  }
  // From the stream's second frame on, the gain nearest the smoothed one within [qLow, qHigh];
  // d counts a step up twice as much as one down.
  q = qLow;
  if (l3State->streamFrames >= 1 && qLow <= qHigh) {
    int bestDistance = 1 << 30;
    for (int c = qLow; c <= qHigh; ++c) {
      const int d = c > preferred ? 2 * (c - preferred) - 1 : c < preferred ? preferred - c - 1 : 0;
      if (d < bestDistance) {
        bestDistance = d;
        q = c;
      }
    }
  }
  // The first gain from there upwards that fits; at 45 (global_gain 255) every line is far
  // below one step and codes 0.
  int bits = 0;
  for (;; ++q) {
    bool fits = false;
    bits = Layer3TryGain(q, ix, record, &fits);
    if ((fits && bits <= upper) || q >= 45) break;
  }
  record.part23Length = static_cast<uint32_t>(bits);
  record.globalGain = static_cast<uint32_t>(std::min(q + 210, 255));
}

void CMPEGAudioEncoder::Layer3Granules(int mean, int bits) {
  Layer3State& st = *l3State;
  Layer3WorkArea& w = *l3Work.get();
  st.stuffingBits = 0;
  st.maxReservoirBits = std::min(bits <= 7680 ? 7680 - bits : 0, 4088);
  const int m = mean / channels;
  for (int g = 0; g < 2; ++g) {
    for (int ch = 0; ch < channels; ++ch) {
      Layer3GranuleRecord& r = st.granules[g][ch];
      const int reservoir = st.reservoirBits;
      int minBits = std::max((reservoir - st.maxReservoirBits + m + 7) & ~7, 0);
      const int rounded = reservoir & ~7;
      int maxBits = st.maxReservoirBits != 0 && rounded >= 1 ? m + rounded : m;
      maxBits = std::min(maxBits, kLayer3MaxPart23);
      minBits = std::min(minBits, maxBits);
      const uint32_t gain = r.globalGain;
      r = Layer3GranuleRecord{};
      r.globalGain = gain;
      PowThreeQuarters(w.xr34, w.xr[g][ch], kLayer3Lines);
      Layer3RateLoop(r, w.ix[g][ch], minBits, m, maxBits, static_cast<int>(std::lround(st.smoothedGain)));
      st.reservoirBits += m - static_cast<int>(r.part23Length);
      const float gainOffset = static_cast<float>(static_cast<int>(r.globalGain) - 210);
      if (st.streamFrames >= 2) st.smoothedGain += 0.1f * (gainOffset - st.smoothedGain);
      else if (g == 0 && ch == 0) st.smoothedGain = gainOffset;
      else st.smoothedGain += 0.5f * (gainOffset - st.smoothedGain);
      stepSum += std::pow(2.0, gainOffset / 4.0);
    }
  }
  if (channels == 2 && (mean & 1)) st.reservoirBits += 1;
  // What the reservoir cannot keep is spent in this frame, and it stays a whole number of bytes.
  int excess = std::max(st.reservoirBits - st.maxReservoirBits, 0);
  st.reservoirBits -= excess;
  excess += st.reservoirBits & 7;
  st.reservoirBits &= ~7;
  if (excess <= 0) return;
  Layer3GranuleRecord& first = st.granules[0][0];
  if (static_cast<int>(first.part23Length) + excess < kLayer3MaxPart23) {
    first.part23Length += static_cast<uint32_t>(excess);
    return;
  }
  for (int g = 0; g < 2 && excess > 0; ++g) {
    for (int ch = 0; ch < channels && excess > 0; ++ch) {
      Layer3GranuleRecord& r = st.granules[g][ch];
      const int take = std::min(excess, kLayer3MaxPart23 - static_cast<int>(r.part23Length));
      r.part23Length += static_cast<uint32_t>(take);
      excess -= take;
    }
  }
  st.stuffingBits = static_cast<uint32_t>(excess);
}

}  // namespace orx::aenc
