#pragma once
// The rate controller's view of a macroblock encoder's bit writer.
#include "venc/core/rate_control.h"
#include "venc/mbenc/mb_encoder.h"

namespace orx::venc {

class MBEncoderRateOutput final : public IRateControlOutput {
 public:
  explicit MBEncoderRateOutput(CMBEncoder* encoder) : encoder_(encoder) {}
  int64_t PictureBits() override { return encoder_->GetPictureBits(); }
  int64_t StreamBits() override { return static_cast<int64_t>(encoder_->GetBitPosition()); }
  void PutBits(uint32_t value, int bits) override { encoder_->PutBits(value, bits); }

 private:
  CMBEncoder* encoder_;
};

}  // namespace orx::venc
