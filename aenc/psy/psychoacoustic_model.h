#pragma once
// CPsychoacousticModel: the signal-to-mask ratios per channel and subband that drive the Layer II
// bit allocation. Psychoacoustic model 1 (1024-point FFT, tonal and non-tonal maskers, global
// masking threshold), or the fixed table of psyMode 0, or that table adjusted from the
// scalefactors (psyMode 2 and more). Processor variants replace the three slots.
#include <cstdint>

#include "aenc/core/aligned_block.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

struct ThresholdLine;

enum SpectrumFlag : uint32_t { kNoMasker = 0, kNoiseMasker = 10, kTonalMasker = 20 };
constexpr int32_t kListEnd = -1;
constexpr int32_t kNotInList = -100;

struct SpectrumEntry {
  uint32_t flag;
  int32_t next;  // index of the next masker of the same list
  float level;   // power, later dB for maskers
  float z;       // critical band rate of the line covering the bin
};

struct ModelLine {
  float z;
  float ltqDb;
  float ltqPower;
  int32_t bin;
};

struct FloatComplex {
  float re;
  float im;
};

class CPsychoacousticModel {
 public:
  CPsychoacousticModel();
  virtual ~CPsychoacousticModel();
  CPsychoacousticModel(const CPsychoacousticModel&) = delete;
  CPsychoacousticModel& operator=(const CPsychoacousticModel&) = delete;

  // False when a block could not be allocated.
  bool Constructed() const { return constructed_; }

  // Window, subband limit, rate tables; clears the history.
  bool InitModel(const MpegHeaderWords& header);

  // SMR of every channel and subband of one frame. pcm: the frame's [2][1152] samples;
  // scalefactor: the Layer II indices [32][2][3].
  void ComputeSmr(const int16_t (*pcm)[kMpegFrameSamples], const uint32_t* scalefactor,
                  float (*smr)[kMpegSubbands], const MpegHeaderWords& header);

  // Slot 0: the whole model for one frame, all channels.
  virtual void Analyze(const int16_t (*pcm)[kMpegFrameSamples], const float (*levels)[kMpegSubbands],
                       float (*smr)[kMpegSubbands], const MpegHeaderWords& header);
  // Slot 1: the FFT stages of spans 256 down to 2 on fftBuffer.
  virtual void Fft();
  // Slot 2: global masking threshold, its minimum per subband, and SMR = Lsb - minimum.
  virtual void MaskingThreshold(float* smrOut, const float* lsb, int32_t tonalHead,
                                int32_t noiseHead, int bitrateKbps, int sblimitIn);

  // Steps of Analyze, for the variants and the tests.
  void WindowAndFirstStage(const int32_t* history, int historyStart, int historyStride,
                           FloatComplex* out);
  void PowerSpectrum(float* lsb, const float* levels, int sblimitIn);
  // Spectrum entries (flag 0, not linked, level P(k)) and Lsb from the powers of bins 0..511.
  void FillSpectrum(const float* power, const float* levels, float* lsb, int sblimitIn);
  int32_t FindTonalMaskers();
  int32_t FindNoiseMaskers();
  void DecimateMaskers(int32_t& tonalHead, int32_t& noiseHead);
  void Unlink(int32_t& head, int32_t previous, int32_t entry);

  uint32_t bitReverse[1024] = {};
  double twiddles[10][2] = {};  // (cos, -sin) of 2 pi / 2^(10 - s)
  // The twiddles of stage s (span 2^(9 - s)) as the double recursion from twiddles[s] gives them,
  // rounded to float: the same values every frame, so they are made once.
  FloatComplex stageTwiddles[9][512] = {};
  AlignedBlock<FloatComplex> fftBuffer;  // 1024 points, then 8192 bytes of twiddle scratch
  float window[1024] = {};
  SpectrumEntry spectrum[512] = {};
  ModelLine lines[136] = {};
  int bandCount = 0;
  const int* bandBounds = nullptr;
  int lineCount = 0;
  int subbandLimit = 32;
  int ringPos = 256;
  int32_t ring[2][1408] = {};
  uint32_t lineOfBin[512] = {};
  float scfLevel[2][kMpegSubbands] = {};

 protected:
  // The last FFT stage (span 1) with the power per bin in natural order, P(k) for k < 512.
  void LastStageToPower(float* power);
  bool constructed_ = true;
};

// Power of a complex FFT result as the model counts it: max(|X|^2, 1.0e-20) x 2^30.
inline float ModelPower(float re, float im) {
  float p = re * re + im * im;
  return (p > 1.0e-20f ? p : 1.0e-20f) * 1073741824.0f;
}

}  // namespace orx::aenc
