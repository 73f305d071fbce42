#include "aenc/psy/psychoacoustic_model.h"

#include <algorithm>
#include <cmath>

#include "aenc/core/mpeg_audio_tables.h"
#include "aenc/layer2/layer2_tables.h"
#include "aenc/psy/fast_power.h"
#include "aenc/psy/psy_tables.h"

namespace orx::aenc {
namespace {

uint32_t ReverseTenBits(uint32_t value) {
  uint32_t out = 0;
  for (int bit = 0; bit < 10; ++bit) out |= ((value >> bit) & 1u) << (9 - bit);
  return out;
}

}  // namespace

CPsychoacousticModel::CPsychoacousticModel() {
  PowerTable();
  // 1024 points and, above them, room for one stage's float twiddles (the VORPX Fft).
  if (!fftBuffer.Allocate(2048)) constructed_ = false;
  for (int s = 0; s < 10; ++s) {
    double angle = 2.0 * M_PI / static_cast<double>(1 << (10 - s));
    twiddles[s][0] = std::cos(angle);
    twiddles[s][1] = -std::sin(angle);
  }
  for (int stage = 0, span = 512; stage < 9; ++stage, span /= 2) {
    double wr = 1, wi = 0;
    for (int j = 0; j < span; ++j) {
      stageTwiddles[stage][j] = {static_cast<float>(wr), static_cast<float>(wi)};
      double next = wr * twiddles[stage][0] - wi * twiddles[stage][1];
      wi = wr * twiddles[stage][1] + wi * twiddles[stage][0];
      wr = next;
    }
  }
  // A decimation-in-frequency FFT leaves bin k at the bit-reversed position.
  for (uint32_t k = 0; k < 1024; ++k) bitReverse[k] = ReverseTenBits(k);
}

CPsychoacousticModel::~CPsychoacousticModel() = default;

bool CPsychoacousticModel::InitModel(const MpegHeaderWords& header) {
  // Hann window with model 1's power normalisation, over the FFT length and 16-bit full scale.
  for (int i = 0; i < 1024; ++i) {
    window[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * M_PI * i / 1024.0)) *
                                   std::sqrt(8.0 / 3.0) / 1024.0 / 32768.0);
  }
  int rate = kMpegSampleRates[(header.id & 1) * 4 + (header.samplingIndex & 3)];
  subbandLimit = 32;
  if (header.bandwidth > 0 && header.bandwidth < rate / 2) {
    int v = header.bandwidth * 32 / (rate / 2);
    subbandLimit = v >= 1 ? v + 1 : 32;
  }
  int rateIndex = header.id == 1 ? header.samplingIndex : header.samplingIndex + 4;
  static constexpr int kTableOfRate[8] = {0, 1, 2, 0, 3, 4, 5, 5};
  const PsyRateTables& tables = kPsyRateTables[kTableOfRate[rateIndex & 7]];
  bandBounds = tables.bandBounds;
  bandCount = tables.bandCount;
  lineCount = tables.lineCount + 1;
  lines[0] = {};
  for (int i = 1; i < lineCount; ++i) {
    const ThresholdLine& line = tables.lines[i - 1];
    lines[i] = {line.z, line.ltqDb, static_cast<float>(FastPow10(line.ltqDb)), line.bin};
  }
  for (int i = 1; i < lineCount; ++i) {
    for (int k = lines[i - 1].bin; k <= lines[i].bin; ++k) {
      lineOfBin[k] = static_cast<uint32_t>(i);
      spectrum[k].z = lines[i].z;
    }
  }
  // Bins above the last line (tonal maskers are searched up to bin 500) take the last line, so
  // that a masker there sits at the top of the Bark scale and not at 0 Bark.
  for (int k = lines[lineCount - 1].bin + 1; k < 512; ++k) {
    lineOfBin[k] = static_cast<uint32_t>(lineCount - 1);
    spectrum[k].z = lines[lineCount - 1].z;
  }
  ringPos = 256;
  std::fill(&ring[0][0], &ring[0][0] + 2 * 1408, 0);
  return true;
}

void CPsychoacousticModel::ComputeSmr(const int16_t (*pcm)[kMpegFrameSamples],
                                      const uint32_t* scalefactor, float (*smr)[kMpegSubbands],
                                      const MpegHeaderWords& header) {
  if (header.psyMode == 0) {
    for (int ch = 0; ch < 2; ++ch) std::copy(kFixedSmr, kFixedSmr + 32, smr[ch]);
    return;
  }
  // Scalefactor level: the largest of the three scalefactors, 20 log10(B1 x 32768) - 10 dB.
  for (int ch = 0; ch < header.channels; ++ch) {
    for (int sb = 0; sb < header.sblimit; ++sb) {
      const uint32_t* s = scalefactor + (sb * 2 + ch) * 3;
      uint32_t smallest = std::min({s[0], s[1], s[2]});
      double b1 = kScalefactorB1[smallest];
      scfLevel[ch][sb] = static_cast<float>(b1 * b1 * 1073741824.0 / 10.0);
    }
  }
  if (header.psyMode == 1) {
    Analyze(pcm, scfLevel, smr, header);
    return;
  }
  for (int ch = 0; ch < 2; ++ch) std::copy(kFixedSmr, kFixedSmr + 32, smr[ch]);
  int limit = std::min(subbandLimit, header.sblimit);
  for (int ch = 0; ch < header.channels; ++ch) {
    float largest = -1, smallest = 0;
    for (int sb = 0; sb < limit; ++sb) {
      float level = scfLevel[ch][sb];
      if (sb == 0 || level > largest) largest = level;
      if (sb == 0 || level < smallest) smallest = level;
    }
    for (int sb = limit; sb < header.sblimit; ++sb) smr[ch][sb] = -95;
    if (smallest < largest) {
      for (int sb = 0; sb < limit; ++sb) {
        smr[ch][sb] = ((scfLevel[ch][sb] - smallest) * 125 / (largest - smallest) - 95) * 0.2f +
                      smr[ch][sb] * 0.8f;
      }
    }
  }
}

void CPsychoacousticModel::Analyze(const int16_t (*pcm)[kMpegFrameSamples],
                                   const float (*levels)[kMpegSubbands], float (*smr)[kMpegSubbands],
                                   const MpegHeaderWords& header) {
  int kbps = MpegBitrateKbps(header.id, header.layer, header.bitrateIndex) / header.channels;
  // ringPos is a multiple of 128, and so is the space before the end of the ring.
  for (int ch = 0; ch < header.channels; ++ch) {
    for (int block = 0; block < kMpegFrameSamples; block += 128) {
      int32_t* to = ring[ch] + (ringPos + block) % 1408;
      for (int i = 0; i < 128; ++i) to[i] = pcm[ch][block + i];
    }
  }
  for (int ch = 0; ch < header.channels; ++ch) {
    // The block starts 192 samples before the frame.
    WindowAndFirstStage(ring[ch], ringPos - 192 + 1408, 1, fftBuffer.get());
    Fft();
    float lsb[kMpegSubbands];
    PowerSpectrum(lsb, levels[ch], header.sblimit);
    int32_t tonal = FindTonalMaskers();
    int32_t noise = FindNoiseMaskers();
    DecimateMaskers(tonal, noise);
    MaskingThreshold(smr[ch], lsb, tonal, noise, kbps, header.sblimit);
  }
  ringPos = (ringPos + kMpegFrameSamples) % 1408;
}

void CPsychoacousticModel::WindowAndFirstStage(const int32_t* history, int historyStart,
                                               int historyStride, FloatComplex* out) {
  const FloatComplex* w = stageTwiddles[0];
  int p = historyStart % 1408, q = (historyStart + 512) % 1408;
  for (int n = 0; n < 512; ++n) {
    float a = static_cast<float>(history[p * historyStride]) * window[n];
    float b = static_cast<float>(history[q * historyStride]) * window[n + 512];
    float d = a - b;
    out[n] = {a + b, 0};
    out[n + 512] = {d * w[n].re, d * w[n].im};
    if (++p == 1408) p = 0;
    if (++q == 1408) q = 0;
  }
}

void CPsychoacousticModel::Fft() {
  FloatComplex* data = fftBuffer.get();
  for (int span = 256, stage = 1; span >= 2; span /= 2, ++stage) {
    const FloatComplex* w = stageTwiddles[stage];
    for (int group = 0; group < 1024; group += 2 * span) {
      FloatComplex* u = data + group;
      FloatComplex* v = u + span;
      for (int j = 0; j < span; ++j) {
        float dr = u[j].re - v[j].re, di = u[j].im - v[j].im;
        u[j].re += v[j].re;
        u[j].im += v[j].im;
        v[j].re = dr * w[j].re - di * w[j].im;
        v[j].im = dr * w[j].im + di * w[j].re;
      }
    }
  }
}

void CPsychoacousticModel::LastStageToPower(float* power) {
  // Bins below 512 sit at even positions: only the sums of the last butterflies are needed.
  const FloatComplex* data = fftBuffer.get();
  for (int k = 0; k < 512; ++k) {
    uint32_t position = bitReverse[k];
    const FloatComplex& u = data[position];
    const FloatComplex& v = data[position + 1];
    power[k] = ModelPower(u.re + v.re, u.im + v.im);
  }
}

void CPsychoacousticModel::PowerSpectrum(float* lsb, const float* levels, int sblimitIn) {
  float power[512];
  LastStageToPower(power);
  FillSpectrum(power, levels, lsb, sblimitIn);
}

void CPsychoacousticModel::FillSpectrum(const float* power, const float* levels, float* lsb,
                                        int sblimitIn) {
  for (int k = 0; k < 512; ++k) {
    spectrum[k].flag = kNoMasker;
    spectrum[k].next = kNotInList;
    spectrum[k].level = power[k];
  }
  // Sound pressure level per subband: its 16 bins, at least the scalefactor's level.
  for (int sb = 0; sb < sblimitIn; ++sb) {
    double sum = 0;
    for (int k = 16 * sb; k < 16 * sb + 16; ++k) sum += power[k];
    lsb[sb] = static_cast<float>(10.0 * std::log10(std::max(sum, double{levels[sb]})));
  }
}

}  // namespace orx::aenc
