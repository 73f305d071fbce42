#pragma once
// The global masking threshold of psychoacoustic model 1 in a chosen precision: the absolute
// threshold plus the individual thresholds of every tonal and non-tonal masker, its minimum per
// subband, and the signal-to-mask ratio. The plain model runs it in double, the SSE model in float.
#include <algorithm>
#include <cmath>

#include "aenc/psy/fast_power.h"
#include "aenc/psy/psychoacoustic_model.h"

namespace orx::aenc {

inline double FastPow10Of(double x) { return FastPow10(x); }
inline float FastPow10Of(float x) { return FastPow10f(x); }

template <typename Real>
void MaskingThresholdIn(CPsychoacousticModel& model, float* smrOut, const float* lsb,
                        int32_t tonalHead, int32_t noiseHead, int bitrateKbps, int sblimitIn) {
  const SpectrumEntry* spectrum = model.spectrum;
  const ModelLine* lines = model.lines;
  const int lineCount = model.lineCount;
  auto R = [](double value) { return static_cast<Real>(value); };
  // From 96 kbit/s per channel on the absolute threshold is lowered by 12 dB.
  const Real quietScale = bitrateKbps < 96 ? R(1.0) : R(0.06309573);
  const int limit = std::min(model.subbandLimit, sblimitIn);
  int32_t heads[2] = {tonalHead, noiseHead};
  int row = 1;
  for (int sb = 0; sb < limit; ++sb) {
    Real minimumDb;
    if (row == lineCount - 1) {
      minimumDb = lines[row].ltqDb;
    } else {
      Real minimum = R(1073741824.0);  // 2^30: 90.309 dB when no line falls in the subband
      for (; row < lineCount - 1 && lines[row].bin / 16 == sb; ++row) {
        const Real zRow = lines[row].z;
        Real threshold = lines[row].ltqPower * quietScale + R(0.01);
        bool abandoned = false;
        for (int list = 0; list < 2 && !abandoned; ++list) {
          const bool tonal = list == 0;
          for (int32_t m = heads[list], previous = kListEnd; m != kListEnd;) {
            const SpectrumEntry& masker = spectrum[m];
            int32_t next = masker.next;
            Real dz = zRow - masker.z;
            if (dz < R(-3.0)) break;  // the lists rise in frequency: no later masker reaches
            if (dz >= R(8.0)) {
              // Rows only rise: this masker stays out of reach for the rest of the frame.
              model.Unlink(heads[list], previous, m);
              m = next;
              continue;
            }
            Real x = masker.level;
            Real av = tonal ? -(R(0.275) * masker.z + R(6.025)) : -(R(0.175) * masker.z + R(2.025));
            Real vf;
            if (dz < R(-1.0)) vf = R(17.0) * (dz + R(1.0)) - (R(0.4) * x + R(6.0));
            else if (dz < R(0.0)) vf = (R(0.4) * x + R(6.0)) * dz;
            else if (dz <= R(1.0)) vf = R(-17.0) * dz;
            else vf = (R(0.15) * x - R(17.0)) * (dz - R(1.0)) - R(17.0);
            Real level = x + av + vf;
            if (level >= R(-10.0)) {
              threshold += FastPow10Of(level);
              if (threshold > minimum) {
                abandoned = true;  // this row cannot lower the subband's minimum
                break;
              }
            }
            previous = m;
            m = next;
          }
        }
        if (!abandoned && threshold < minimum) minimum = threshold;
      }
      minimumDb = R(10.0) * std::log10(minimum);
    }
    smrOut[sb] = static_cast<float>(lsb[sb] - minimumDb);
  }
  for (int sb = limit; sb < sblimitIn; ++sb) smrOut[sb] = -95;
}

}  // namespace orx::aenc
