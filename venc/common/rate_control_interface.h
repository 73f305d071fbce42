#pragma once
// What the macroblock encoders call of rate control. The video encoder's `CRateControl`
// implements it; tests put a scripted controller in its place.
#include <cstdint>

namespace orx::venc {

class CPicture;
struct MBInfo;
struct MBCodingState;

class IRateControl {
 public:
  // At a GOP start, with the picture's two GOP words.
  virtual void StartGop(CPicture* picture, uint32_t gopWord1, uint32_t gopWord2) = 0;
  // The picture's vbv_delay (65535 in variable-rate mode).
  virtual int CheckVbv(CPicture* picture) = 0;
  // Picture target and base quantiser; sets the picture's q_scale_type, intra_vlc_format,
  // alternate_scan and average quantiser.
  virtual void StartPicture(CPicture* picture) = 0;
  // VBV update; may append stuffing through CMBEncoder::PutBits before the final flush.
  virtual void EndPicture(CPicture* picture) = 0;
  // The quantiser of the next macroblock row; sets the coding position's inter and row
  // threshold words.
  virtual int GetRowQuant(MBCodingState* position) = 0;
  // Writes the macroblock quantiser and inter threshold into the coding position and sets or
  // clears its overflow flag.
  virtual void UpdateMbQuant(MBInfo* mb, MBCodingState* position) = 0;
  // Adds the macroblock's intra cost and the current targets to the picture's sums.
  virtual void AccumulateMb(MBInfo* mb) = 0;
  // The bits planned for one macroblock row of the current picture (the H.264 slice-size
  // limiter's estimate); 0 when the controller keeps no row plan.
  virtual int GetRowBitTarget() { return 0; }
  // VBV fullness in bits, clamped to 0 and the buffer size.
  virtual int GetVbvDelay() = 0;
  // Twice the picture quantiser plus a half-step bit (VC-1); spread receives the rounding
  // spread.
  virtual int GetActivityQuant(CPicture* picture, bool intraPicture, int* spread) = 0;

 protected:
  ~IRateControl() = default;
};

}  // namespace orx::venc
