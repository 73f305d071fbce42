// Tonal and non-tonal maskers of psychoacoustic model 1 and their decimation.
#include <cmath>

#include "aenc/psy/psychoacoustic_model.h"

namespace orx::aenc {
namespace {

// Neighbourhood of a tonal candidate at bin k (1024-point FFT); 0 for bin 2.
int TonalWidth(int k) {
  if (k < 3) return 0;
  if (k < 63) return 2;
  if (k < 127) return 3;
  if (k < 255) return 6;
  return 12;
}

constexpr float kTonalMargin = 0.19952623546f;  // 10^-0.7: 7 dB below the maximum
constexpr float kClearedLevel = 1.0e-15f;

}  // namespace

void CPsychoacousticModel::Unlink(int32_t& head, int32_t previous, int32_t entry) {
  if (previous == kListEnd) {
    head = spectrum[entry].next;
  } else {
    spectrum[previous].next = spectrum[entry].next;
  }
  spectrum[entry].next = kNotInList;
}

int32_t CPsychoacousticModel::FindTonalMaskers() {
  int32_t head = kListEnd, tail = kListEnd;
  for (int k = 2; k < 500; ++k) {
    if (spectrum[k].level > spectrum[k - 1].level && spectrum[k].level >= spectrum[k + 1].level) {
      spectrum[k].flag = kTonalMasker;
      spectrum[k].next = kListEnd;
      if (tail == kListEnd) head = k; else spectrum[tail].next = k;
      tail = k;
    }
  }
  // A maximum stays tonal when no bin at distance 2..width on either side comes within 7 dB.
  for (int32_t k = head, previous = kListEnd; k != kListEnd;) {
    int32_t next = spectrum[k].next;
    float limit = spectrum[k].level * kTonalMargin;
    bool tonal = true;
    for (int d = 2; d <= TonalWidth(k) && tonal; ++d)
      tonal = spectrum[k - d].level <= limit && spectrum[k + d].level <= limit;
    if (tonal) {
      previous = k;
    } else {
      spectrum[k].flag = kNoMasker;
      Unlink(head, previous, k);
    }
    k = next;
  }
  // Each tonal masker takes the power of its neighbours, which then count no more.
  int32_t previous = kListEnd, beforePrevious = kListEnd;
  for (int32_t k = head; k != kListEnd;) {
    int32_t next = spectrum[k].next;
    spectrum[k].level = spectrum[k - 1].level + spectrum[k].level + spectrum[k + 1].level;
    int width = TonalWidth(k);
    for (int d = 1; d <= width; ++d) {
      SpectrumEntry& above = spectrum[k + d];
      above.level = kClearedLevel;
      above.flag = kNoMasker;
      above.next = kNotInList;
      SpectrumEntry& below = spectrum[k - d];
      if (below.next == kNotInList) {
        below.level = kClearedLevel;
        below.flag = kNoMasker;
      }
    }
    if (previous != kListEnd && k - previous <= width && previous != head) {
      Unlink(head, beforePrevious, previous);
      previous = beforePrevious;
    }
    beforePrevious = previous;
    previous = k;
    k = next;
  }
  return head;
}

int32_t CPsychoacousticModel::FindNoiseMaskers() {
  int32_t head = kListEnd, tail = kListEnd;
  for (int b = 0; b + 1 < bandCount; ++b) {
    int low = bandBounds[b], high = bandBounds[b + 1], width = high - low;
    float sum = kClearedLevel, weighted = 0;
    bool added = false;
    for (int k = low; k < high; ++k) {
      if (spectrum[k].flag == kTonalMasker || !(spectrum[k].level > kClearedLevel)) continue;
      sum += spectrum[k].level;
      weighted += spectrum[k].level * static_cast<float>(k - low) / static_cast<float>(width);
      spectrum[k].level = kClearedLevel;
      added = true;
    }
    // The masker sits at the power-weighted mean bin of the band.
    int bin = added && width > 0 ? low + static_cast<int>(static_cast<float>(width) * weighted / sum)
                                 : (low + high) / 2;
    if (spectrum[bin].flag == kTonalMasker) --bin;
    spectrum[bin].flag = kNoiseMasker;
    spectrum[bin].level = sum;
    spectrum[bin].next = kListEnd;
    if (tail == kListEnd) head = bin; else spectrum[tail].next = bin;
    tail = bin;
  }
  return head;
}

void CPsychoacousticModel::DecimateMaskers(int32_t& tonalHead, int32_t& noiseHead) {
  // Maskers below the absolute threshold of their line go.
  for (int32_t k = tonalHead, previous = kListEnd; k != kListEnd;) {
    int32_t next = spectrum[k].next;
    if (spectrum[k].level < lines[lineOfBin[k]].ltqPower) Unlink(tonalHead, previous, k);
    else previous = k;
    k = next;
  }
  for (int32_t k = noiseHead, previous = kListEnd; k != kListEnd;) {
    int32_t next = spectrum[k].next;
    if (spectrum[k].level < lines[lineOfBin[k]].ltqPower) {
      Unlink(noiseHead, previous, k);
    } else {
      spectrum[k].level = 10.0f * std::log10(spectrum[k].level);
      previous = k;
    }
    k = next;
  }
  // Of two tonal maskers closer than 0.5 Bark the weaker goes (the lower one on a tie).
  for (int32_t k = tonalHead, previous = kListEnd; k != kListEnd;) {
    int32_t next = spectrum[k].next;
    if (next != kListEnd && spectrum[next].z - spectrum[k].z < 0.5f) {
      if (spectrum[next].level > spectrum[k].level) {
        Unlink(tonalHead, previous, k);
        k = next;
      } else {
        Unlink(tonalHead, k, next);
      }
      continue;
    }
    previous = k;
    k = next;
  }
  for (int32_t k = tonalHead; k != kListEnd; k = spectrum[k].next)
    spectrum[k].level = 10.0f * std::log10(spectrum[k].level);
}

}  // namespace orx::aenc
