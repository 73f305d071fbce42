#pragma once
// The code of one Layer II sample, shared by the plain and the SSE quantizer.
#include <algorithm>
#include <cstdint>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/core/round_half_even.h"
#include "aenc/layer2/layer2_tables.h"

namespace orx::aenc {

// v = x C' / scalefactor + D' lies in [-1, 1) up to rounding. The code is the top bits of v with
// the sign bit inverted: round(v M - 0.5) OR M for v >= 0, round((v + 1) M - 0.5) below, rounding
// to nearest even. A sample equal to its scalefactor sits on a tie that float rounding can tip
// onto the all-ones code, which the syntax forbids, so codes are kept within 0 .. steps - 1.
inline uint32_t Layer2Code(float v, float msb, const Layer2AllocEntry& entry) {
  int32_t code = v >= 0 ? static_cast<int32_t>(RoundHalfEven(v * msb - 0.5f)) | entry.msb
                        : static_cast<int32_t>(RoundHalfEven((v + 1.0f) * msb - 0.5f));
  return static_cast<uint32_t>(std::clamp<int32_t>(code, 0, entry.steps - 1));
}

// Visits every allocated (subband, channel) of every group of three time slots in bitstream
// order: fn(entry, multiplier C' / scalefactor, first of the three samples, spaced 32 apart).
template <typename Fn>
void ForEachQuantizedTriple(const CMPEGAudioEncoder& e, const uint32_t* scalefactor,
                            const float* subband, const uint32_t* allocation, Fn&& fn) {
  for (int part = 0; part < 3; ++part) {
    for (int group = 0; group < 4; ++group) {
      int slot = 12 * part + 3 * group;
      for (int sb = 0; sb < e.sblimit; ++sb) {
        for (int ch = 0; ch < e.channels; ++ch) {
          uint32_t a = allocation[sb * 2 + ch];
          if (a == 0) continue;
          const Layer2AllocEntry& entry = e.allocTable->rows[sb].entries[a];
          float mult = e.quantTable[entry.quantClass][scalefactor[(sb * 2 + ch) * 3 + part]];
          fn(entry, mult, subband + (ch * kLayer2Slots + slot) * kMpegSubbands + sb);
        }
      }
    }
  }
}

}  // namespace orx::aenc
