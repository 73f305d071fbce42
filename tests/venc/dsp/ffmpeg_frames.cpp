#include "tests/venc/dsp/ffmpeg_frames.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/process.h"

namespace orx::dsp::dsptest {
namespace {

std::string RunFfmpeg(std::vector<std::string> arguments, const std::string& input = {}) {
  const std::string ffmpeg = test::RequireProgram("ffmpeg");
  if (ffmpeg.empty()) return {};
  arguments.insert(arguments.begin(), {ffmpeg, "-nostdin", "-hide_banner", "-v", "error"});
  test::ProcessOptions options;
  options.input = input;
  const test::ProcessResult result = test::RunProcess(arguments, options);
  if (result.exitCode != 0 || result.out.empty()) {
    ADD_FAILURE() << "ffmpeg failed (" << result.exitCode << "): " << result.err;
    return {};
  }
  return result.out;
}

std::string Size(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string TestPattern(int width, int height, const std::string& pixelFormat) {
  return RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=" + Size(width, height) + ":rate=25",
                    "-frames:v", "1", "-pix_fmt", pixelFormat, "-f", "rawvideo", "-"});
}

std::string Reformat(const std::string& raw, int width, int height, const std::string& from,
                     const std::string& to, const std::string& filter) {
  std::vector<std::string> arguments = {"-f", "rawvideo",          "-pix_fmt", from,
                                        "-s", Size(width, height), "-i",       "-"};
  if (!filter.empty()) arguments.insert(arguments.end(), {"-vf", filter});
  arguments.insert(arguments.end(), {"-frames:v", "1", "-pix_fmt", to, "-f", "rawvideo", "-"});
  return RunFfmpeg(arguments, raw);
}

}  // namespace orx::dsp::dsptest
