#pragma once
// What the host knows of the sequence it exports: frame size, frame rate, pixel aspect and
// audio sample rate, from a Y4M file or a test pattern, and a WAV file or a tone.
#include <cstdint>
#include <string>

#include "support/y4m.h"

namespace orx::host {

struct SourceDescription {
  int32_t width = 720;
  int32_t height = 480;
  int32_t rateNum = 30000;
  int32_t rateDen = 1001;
  int32_t parNum = 1;
  int32_t parDen = 1;
  double audioSampleRate = 48000.0;

  double FrameRate() const { return rateDen != 0 ? static_cast<double>(rateNum) / rateDen : 0.0; }
};

// "WxH@RATE", the rate as a whole or decimal number ("29.97", "23.976" and "59.94" are the
// NTSC rates 30000/1001, 24000/1001 and 60000/1001). Empty error on success.
bool ParsePattern(const std::string& text, SourceDescription& out, std::string& error);
// A rate text as a fraction.
bool ParseFrameRate(const std::string& text, int32_t& num, int32_t& den);
// Frame size, rate and pixel aspect of a Y4M stream's header.
void DescribeY4mSource(const support::Y4mHeader& header, SourceDescription& out);

// The source frame rates the host renders: from one frame per kMinSourceRateDen seconds to
// kMaxSourceFrameRate frames per second. A slower source made a runaway export (a frame rate
// of 1/999999 turned a few frames into millions), a faster one frames of no length.
inline constexpr int64_t kMinSourceRateDen = 10;
inline constexpr int64_t kMaxSourceFrameRate = 1000;
bool SourceRateUsable(const SourceDescription& source, std::string& error);

}  // namespace orx::host
