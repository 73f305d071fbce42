#pragma once
// Bit rates and sampling frequencies of the MPEG audio frame header (ISO/IEC 11172-3 and the
// lower sampling frequencies of ISO/IEC 13818-3).
#include <cstdint>

namespace orx::aenc {

// Bit rate in kbit/s by row (ID x 3 + layer) and bitrate_index 0..14. Rows: 1 lower-frequency
// Layer I, 2 and 3 lower-frequency Layers II/III, 4..6 MPEG-1 Layers I, II, III; row 0 is unused.
extern const int kMpegBitrateKbps[7][15];

// Sampling frequency in Hz by ID x 4 + sampling_frequency index (0 where there is none).
extern const int kMpegSampleRates[8];

struct MpegSampling {
  int id = -1;     // 1 MPEG-1, 0 lower sampling frequencies, -1 no code for the rate
  int index = -1;  // sampling_frequency field
};

MpegSampling MpegSamplingIndex(uint32_t sampleRate);

// The bitrate_index 1..14 of row (id x 3 + layer) nearest to bitrate / 1000 kbit/s; on equal
// distance the higher index.
int FindBitrateIndex(int id, int layer, uint32_t bitrate);

int MpegBitrateKbps(int id, int layer, int bitrateIndex);

}  // namespace orx::aenc
