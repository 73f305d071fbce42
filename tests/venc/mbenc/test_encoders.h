#pragma once
// Encoder classes and settings for the tests: the MPEG-1/2 encoders with injectable failures
// of their core factory and context allocation, and the settings of a small sequence.
#include <memory>

#include "tests/venc/mbenc/memory_bit_stream.h"
#include "tests/venc/mbenc/test_rate_control.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"
#include "venc/mbenc/mb_encoder_mpeg4.h"

namespace orx::venc::test {

template <class Base>
class InjectableEncoder : public Base {
 public:
  bool failCore = false;
  bool failContext = false;

  using Base::coefficients_;
  using Base::scan_;
  using Base::state_;

 protected:
  bool CreateCore(dsp::CMBCore** core) override {
    if (failCore) {
      *core = nullptr;
      return false;
    }
    return Base::CreateCore(core);
  }
  void* AllocateContextBlock(size_t bytes) override {
    return failContext ? nullptr : Base::AllocateContextBlock(bytes);
  }
};

using TestMpeg1Encoder = InjectableEncoder<CMBEncoder_MPEG1>;
using TestMpeg2Encoder = InjectableEncoder<CMBEncoder_MPEG2>;
using TestKalderEncoder = InjectableEncoder<CMBEncoder_Kalder>;
using TestMpeg4Encoder = InjectableEncoder<CMBEncoder_MPEG4>;
using TestMpeg4H263Encoder = InjectableEncoder<CMBEncoder_MPEG4_H263>;

// Settings of a sequence of width x height (coded size rounded up to 16, stride = coded
// width), 25 frames/s, N = 1, MPEG-2 main profile at main level unless changed; MPEG-4 with
// borders of 32 x 16 samples and profile_and_level_indication 0xF5.
EncoderSettings MakeSettings(int codec, int width, int height, IVideoBitStream* output);

// Sets progressive_sequence; an interlaced MPEG-2 sequence (not MPEG-4) has an even number of macroblock
// rows (its frame height in units of 32 lines).
void SetProgressiveSequence(EncoderSettings& settings, bool progressive);

// An encoder with its output and rate controller, initialised on the settings.
template <class Encoder>
struct EncoderRig {
  MemoryBitStream output;
  TestRateControl rateControl;
  EncoderSettings settings;
  Encoder encoder;

  EncoderRig(int codec, int width, int height) : settings(MakeSettings(codec, width, height, &output)) {
    rateControl.encoder = &encoder;
  }
  bool Init() { return encoder.Init(&settings, &rateControl); }
};

}  // namespace orx::venc::test
