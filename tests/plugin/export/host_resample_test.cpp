// The host's sample-rate conversion: a 1 kHz tone at the rates a user's WAV may have comes out
// at 48 kHz as the ideal 48 kHz tone, to at least 60 dB.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/audio_resampler.h"
#include "support/audio_clip.h"

namespace orx::host {
namespace {

support::AudioClip Tone(int rate, double seconds) {
  support::AudioClip clip;
  clip.sampleRate = rate;
  clip.channels = 2;
  for (int64_t n = 0; n < static_cast<int64_t>(rate * seconds); ++n) {
    float v = support::ToneSample(1000.0, rate, n);
    clip.samples.push_back(v);
    clip.samples.push_back(v);
  }
  return clip;
}

TEST(HostResample, AToneAtAnyRateBecomesTheIdealFortyEightKilohertzTone) {
  for (int rate : {8000, 22050, 32000, 44100, 96000}) {
    SCOPED_TRACE(rate);
    support::AudioClip out;
    std::string error;
    ASSERT_TRUE(ResampleClip(Tone(rate, 1.0), 48000, out, error)) << error;
    EXPECT_EQ(out.sampleRate, 48000);
    EXPECT_EQ(out.channels, 2);
    EXPECT_NEAR(static_cast<double>(out.frames()), 48000.0, 2.0);
    // The filter's edges are left out.
    double signal = 0.0, noise = 0.0;
    for (int64_t n = 4800; n < out.frames() - 4800; ++n) {
      double ideal = support::ToneSample(1000.0, 48000.0, n);
      for (int c = 0; c < 2; ++c) {
        double d = out.At(n, c) - ideal;
        signal += ideal * ideal;
        noise += d * d;
      }
    }
    EXPECT_GE(10.0 * std::log10(signal / noise), 60.0);
  }
}

TEST(HostResample, ClipsThatCannotBeConvertedSaySo) {
  support::AudioClip none;
  none.sampleRate = 8000;
  support::AudioClip out;
  std::string error;
  EXPECT_FALSE(ResampleClip(none, 48000, out, error));
  EXPECT_NE(error.find("cannot resample audio of 0 channels"), std::string::npos) << error;
}

}  // namespace
}  // namespace orx::host
