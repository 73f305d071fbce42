#pragma once
// Processor variants of CPsychoacousticModel (siblings):
//   _SSE    Analyze (two channels together), Fft (paired butterflies), MaskingThreshold (float)
//   _VORPX  Fft with the stage's twiddles written out as floats first
#include "aenc/psy/psychoacoustic_model.h"

namespace orx::aenc {

class CPsychoacousticModel_SSE : public CPsychoacousticModel {
 public:
  void Analyze(const int16_t (*pcm)[kMpegFrameSamples], const float (*levels)[kMpegSubbands],
               float (*smr)[kMpegSubbands], const MpegHeaderWords& header) override;
  void Fft() override;
  void MaskingThreshold(float* smrOut, const float* lsb, int32_t tonalHead, int32_t noiseHead,
                        int bitrateKbps, int sblimitIn) override;

 private:
  // Both channels' FFTs at once on points of four floats (re0, im0, re1, im1).
  void StereoWindowAndFirstStage(float* out);
  void StereoFft(float* data);
};

class CPsychoacousticModel_VORPX : public CPsychoacousticModel {
 public:
  void Fft() override;
};

}  // namespace orx::aenc
