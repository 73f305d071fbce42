#pragma once
// Processor variants of CMPEGAudioEncoder. Each derives from the previous one and replaces
// kernel slots only:
//   _MMX   PolyphaseWindow
//   _XMM   + DeinterleavePcm
//   _SSE   + EncodeFrame (flush-to-zero, exceptions masked), PolyphaseMatrix, Layer3Mdct,
//            Layer2ScaleFactors, Layer2Quantize, QuantizeSpectrum, PowThreeQuarters
//   _SSE2  + AacBandMaxAbs
// On x86-64 every kernel is written with SSE2 intrinsics that keep the plain kernels' results.
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {

// The SSE quantizer's rounding offset of line i, in single precision: 0.4054 - 0.0025 (i div 4).
// Its codes differ from the plain quantizer's by at most one, for lines 4k + 2 and 4k + 3 whose
// scaled magnitude lies within 0.00125 below a rounding threshold.
inline float QuantizeOffsetSse(int line) { return 0.4054f - 0.0025f * static_cast<float>(line / 4); }

class CMPEGAudioEncoder_MMX : public CMPEGAudioEncoder {
 public:
  using CMPEGAudioEncoder::CMPEGAudioEncoder;
  void PolyphaseWindow(const int16_t* history, const int16_t* window, int32_t* sums,
                       int count) override;
};

class CMPEGAudioEncoder_XMM : public CMPEGAudioEncoder_MMX {
 public:
  using CMPEGAudioEncoder_MMX::CMPEGAudioEncoder_MMX;
  void DeinterleavePcm(const int16_t* in, int16_t* left, int16_t* right, int count,
                       int channels) override;
};

class CMPEGAudioEncoder_SSE : public CMPEGAudioEncoder_XMM {
 public:
  using CMPEGAudioEncoder_XMM::CMPEGAudioEncoder_XMM;
  bool EncodeFrame(const int16_t* pcm) override;
  void PolyphaseMatrix(const int32_t* sums, float* out) override;
  void Layer3Mdct(const float* z, float* out) override;
  void Layer2ScaleFactors(const float* subband, uint32_t* scalefactor) override;
  void Layer2Quantize(const uint32_t* scalefactor, const float* subband,
                      const uint32_t* allocation, uint32_t* codes) override;
  uint32_t QuantizeSpectrum(const float* xr34, int32_t* codes, float step, int count) override;
  void PowThreeQuarters(float* out, const float* in, int count) override;
};

class CMPEGAudioEncoder_SSE2 : public CMPEGAudioEncoder_SSE {
 public:
  using CMPEGAudioEncoder_SSE::CMPEGAudioEncoder_SSE;
  int AacBandMaxAbs(int32_t* codes, const float* coefficients, int count) override;
};

}  // namespace orx::aenc
