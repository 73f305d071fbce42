#pragma once
// Raw picture bytes made by ffmpeg, the independent reference of the input conversions.
#include <string>

namespace orx::dsp::dsptest {

// One frame of ffmpeg's lavfi "testsrc2" at width x height, as raw bytes of `pixelFormat`
// ("uyvy422", "yuyv422", "yuv420p", "nv12", ...). Empty (and a test failure) when ffmpeg fails.
std::string TestPattern(int width, int height, const std::string& pixelFormat);

// A raw frame of `from` converted by ffmpeg into raw `to`, through `filter` when not empty.
std::string Reformat(const std::string& raw, int width, int height, const std::string& from,
                     const std::string& to, const std::string& filter = "");

}  // namespace orx::dsp::dsptest
