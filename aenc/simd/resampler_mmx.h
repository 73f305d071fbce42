#pragma once
// The resampler with its four filter kernels on packed multiply-add: the plain kernels' sums,
// shifted without the rounding term and saturated, so an output can be one lower than the plain
// kernel's. Written with SSE2 intrinsics that keep those results.
#include "aenc/resample/resampler.h"

namespace orx::aenc {

class CResampler_MMX : public CResampler {
 public:
  // 16-bit input: sum >> 14. 8-bit input: the same choice, sum >> 6 over (x - 128) times the
  // Q14 taps, without the plain kernel's + 32.
  void FilterMono8(int16_t* out, const uint8_t* in, uint32_t count) override;
  void FilterStereo8(int16_t* out, const uint8_t* in, uint32_t count) override;
  void FilterMono16(int16_t* out, const int16_t* in, uint32_t count) override;
  void FilterStereo16(int16_t* out, const int16_t* in, uint32_t count) override;

 protected:
  ~CResampler_MMX() override = default;
};

}  // namespace orx::aenc
