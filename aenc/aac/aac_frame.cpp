// One AAC frame: the MDCT of each channel, the bit window from the reservoir, the rate loop per
// channel, and the raw data block written into the output.
#include <algorithm>
#include <cmath>

#include "aenc/aac/aac_state.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

void CMPEGAudioEncoder::EncodeAacFrame(const int16_t* pcm, int bits) {
  AacWorkArea& w = *aacWork;
  AacState& st = *aacState;
  const int parity = framesCoded & 1;
  DeinterleavePcm(pcm, w.pcm[0][parity], w.pcm[1][parity], kAacFrameSamples, channels);
  const int cutoff = (bandwidth * kAacFrameSamples) / (sampleRate / 2);
  for (int c = 0; c < channels; ++c) {
    float* x = w.spectrum[c];
    AacMdct(x, w.pcm[c][parity], w.pcm[c][1 - parity]);
    for (int k = cutoff + 1; k < kAacFrameSamples; ++k) x[k] = 0;
  }

  int maxBits = bits + 8 * st.reservoir;
  const int minBits = std::max(maxBits - 8 * st.reservoirMax, 0);
  maxBits = std::min(maxBits, kAacMaxChannelBits * channels);
  const int overhead = (adts ? 68 : 10) + (channels == 2 ? 1 : 0) + 22 * channels;
  int used = 0;
  for (int c = 0; c < channels; ++c) {
    int target, low, high;
    if (channels == 2) {
      target = (bits - overhead) >> 1;
      if (c == 0) {
        low = (minBits - overhead) >> 1;
        high = (maxBits - overhead) >> 1;
      } else {
        low = minBits - overhead - used;
        high = maxBits - overhead - used;
      }
    } else {
      target = bits - overhead;
      low = minBits - overhead;
      high = maxBits - overhead;
    }
    low = std::max(low, 0);
    target = std::max(target, low);
    high = std::max(high, 64);
    target = std::min(target, high);
    int gain = 0;
    used += AacQuantizeChannel(st.codebooks[c], &gain, w.spectrum[c], w.quantized[c], target, low, high,
                               static_cast<int>(st.avgGain + 0.5f));
    st.globalGain[c] = gain;
    if (st.streamFrames > 0) {
      st.avgGain = static_cast<float>(st.avgGain + (gain - st.avgGain) * static_cast<double>(0.1f));
    } else {
      st.avgGain = c == 0 ? static_cast<float>(gain) : static_cast<float>(st.avgGain + (gain - st.avgGain) * 0.5);
    }
    stepSum += std::pow(2.0, (gain - 210) * 0.25);
  }
  ++st.streamFrames;

  if (!bitstream) return;
  uint8_t* buffer = bitstream->GetBuffer();
  if (!buffer) return;  // nothing written: the reservoir keeps its value
  frameStart = writePtr = buffer;
  bitsLeft = 8;
  const int frameBytesOut = (std::max(overhead + used, minBits) + 7) / 8;
  buffer[0] = 0;
  WriteAacRawDataBlock(frameBytesOut);
  bitstream->Commit(static_cast<uint32_t>(frameBytesOut));
  st.reservoir += bits / 8 - frameBytesOut;
}

}  // namespace orx::aenc
