#pragma once
// Tables of the psychoacoustic model, by sample rate.
namespace orx::aenc {

struct ThresholdLine {
  float z;      // critical band rate, Bark
  float ltqDb;  // absolute threshold
  int bin;      // FFT bin of the line
};

struct PsyRateTables {
  const ThresholdLine* lines;
  int lineCount;  // without the zero row the model puts first
  const int* bandBounds;
  int bandCount;  // number of boundaries
};

// 0: 44.1 kHz, 1: 48 kHz, 2: 32 kHz, 3: 22.05 kHz, 4: 24 kHz, 5: 16 kHz.
extern const PsyRateTables kPsyRateTables[6];

// SMR (dB) of psyMode 0, the same for each channel.
extern const float kFixedSmr[32];

}  // namespace orx::aenc
