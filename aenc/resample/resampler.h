#pragma once
// The sample-rate converter of the audio encoder library: 8- or 16-bit PCM, one or two
// interleaved channels, in; 16-bit PCM out. An 8-tap polyphase filter whose 4096 phases sample a
// Kaiser-windowed sinc reads the input at a 16.16 fixed-point position; the rounding of the
// step is corrected once per second of output, and the last input frames are carried between
// calls so that blocks of any size give the same output. Nothing in the system creates one.
#include <cstdint>

#include "aenc/core/aligned_block.h"

namespace orx::aenc {

class IResampler {
 public:
  // Destroys the object.
  virtual void Release() = 0;
  // channels 1 or 2, bits 8 (unsigned, silence 128) or 16 (signed); resets the stream to
  // 44100 -> 44100. False (nothing changed) for anything else, or when the filter table could
  // not be allocated.
  virtual bool Setup(uint32_t channels, uint32_t bits) = 0;
  // Rates in Hz. False (nothing changed) for a zero rate, a ratio whose 16.16 step is 0 or does
  // not fit 31 bits, or an object without its filter table.
  virtual bool SetRates(uint32_t inRate, uint32_t outRate) = 0;
  // Converts up to *inFrames frames of `in` (NULL stands for silence) into at most maxOut
  // frames of `out`; *inFrames becomes the frames consumed. Returns the frames written.
  virtual uint32_t Process(int16_t* out, const void* in, uint32_t* inFrames, uint32_t maxOut) = 0;
  // In place: frame i becomes (left + right) >> 1. Returns n.
  virtual uint32_t StereoToMono(int16_t* samples, uint32_t n) = 0;
  // In place from the end: n mono samples become n frames of two equal samples.
  virtual void MonoToStereo(int16_t* samples, uint32_t n) = 0;

 protected:
  virtual ~IResampler() = default;
};

class CResampler : public IResampler {
 public:
  static constexpr uint32_t kPhases = 4096;
  static constexpr uint32_t kTaps = 8;
  static constexpr uint32_t kTableBlockBytes = 65664;  // the table and room to align it to 128
  static constexpr uint32_t kHistoryBytes = 128;
  static constexpr uint32_t kUnitStep = 0x10000;
  // The most input frames one filter run reads past its start.
  static constexpr uint32_t kMaxBlockInput = 16384;

  CResampler();
  CResampler(const CResampler&) = delete;
  CResampler& operator=(const CResampler&) = delete;

  void Release() override;
  bool Setup(uint32_t channels, uint32_t bits) override;
  bool SetRates(uint32_t inRate, uint32_t outRate) override;
  uint32_t Process(int16_t* out, const void* in, uint32_t* inFrames, uint32_t maxOut) override;
  uint32_t StereoToMono(int16_t* samples, uint32_t n) override;
  void MonoToStereo(int16_t* samples, uint32_t n) override;

  // The filter kernels: `count` output frames from `position` stepping by `step`; output frame
  // k reads the input frames i - 3 .. i + 4 around i = (position + k step) >> 16 of `in` (so
  // `in` must have three readable frames before it). They leave `position` unchanged.
  virtual void FilterMono8(int16_t* out, const uint8_t* in, uint32_t count);
  virtual void FilterStereo8(int16_t* out, const uint8_t* in, uint32_t count);
  virtual void FilterMono16(int16_t* out, const int16_t* in, uint32_t count);
  virtual void FilterStereo16(int16_t* out, const int16_t* in, uint32_t count);

  // The output frames that n input frames allow from the current position (n is capped at
  // kMaxBlockInput): those whose integer position is below n; 0 when there is none.
  uint32_t OutputFramesFor(uint32_t n) const;

  // False when the filter table could not be allocated; such an object does nothing.
  bool Constructed() const { return table_ != nullptr; }

  // Read access for tests and the kernels' checks.
  uint32_t channels() const { return channels_; }
  uint32_t bits() const { return bits_; }
  uint32_t inRate() const { return inRate_; }
  uint32_t outRate() const { return outRate_; }
  uint32_t step() const { return step_; }
  uint32_t remainder() const { return remainder_; }
  uint32_t position() const { return position_; }
  uint32_t heldFrames() const { return heldFrames_; }
  uint32_t skipFrames() const { return skipFrames_; }
  const int16_t* table() const { return table_; }
  const uint8_t* history() const { return history_; }
  // Kernel tests start the kernels at any position and step.
  void SetKernelPosition(uint32_t position, uint32_t step) {
    position_ = position;
    step_ = step;
  }

 protected:
  ~CResampler() override = default;

 private:
  uint32_t FrameBytes() const { return channels_ * bits_ / 8; }
  uint32_t HistoryCapacity() const { return kHistoryBytes / FrameBytes(); }
  uint8_t* HistoryFrame(uint32_t index) { return history_ + index * FrameBytes(); }
  void FillSilence(uint8_t* frames, uint32_t count) const;
  void RunKernel(int16_t* out, const uint8_t* in, uint32_t count);

  uint32_t ProcessUnitRate(int16_t* out, const uint8_t* in, uint32_t* inFrames, uint32_t maxOut);
  uint32_t ProcessOtherRates(int16_t* out, const uint8_t* in, uint32_t* inFrames, uint32_t maxOut);
  uint32_t AdvanceBlock(int16_t* out, const uint8_t* in, uint32_t count, uint32_t available,
                        uint32_t& made);
  void ShiftHistory(const uint8_t* in, uint32_t n);
  // Moves the history down by `frames`: frame `frames` becomes h[0].
  void DropHistoryFrames(uint32_t frames);
  void SettleAdvance(uint32_t advance);

  uint32_t channels_ = 2;
  uint32_t bits_ = 16;
  uint32_t inRate_ = 44100;
  uint32_t outRate_ = 44100;
  uint32_t inFrames_ = 0;
  uint32_t outFrames_ = 0;
  uint32_t remainder_ = 0;
  uint32_t pendingCorrection_ = 0;
  uint32_t step_ = kUnitStep;
  uint32_t position_ = 0;
  int16_t* table_ = nullptr;
  AlignedBlock<uint8_t> tableBlock_;
  uint32_t skipFrames_ = 0;
  uint32_t heldFrames_ = 0;
  alignas(16) uint8_t history_[kHistoryBytes] = {};
};

}  // namespace orx::aenc
