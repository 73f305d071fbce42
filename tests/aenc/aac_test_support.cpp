#include "tests/aenc/aac_test_support.h"

#include "tests/support/process.h"

namespace orx::test {

std::vector<size_t> AdtsFrameSizes(const std::vector<uint8_t>& stream) {
  std::vector<size_t> sizes;
  size_t at = 0;
  while (at + 7 <= stream.size()) {
    if (stream[at] != 0xFF || (stream[at + 1] & 0xF6) != 0xF0) return {};
    const size_t length = (size_t(stream[at + 3] & 3) << 11) | (size_t(stream[at + 4]) << 3) | (stream[at + 5] >> 5);
    if (length < 7 || at + length > stream.size()) return {};
    sizes.push_back(length);
    at += length;
  }
  if (at != stream.size()) return {};
  return sizes;
}

DecoderVerdict DecodeWithBoth(const std::vector<uint8_t>& stream, const std::string& path) {
  DecoderVerdict verdict;
  if (!WriteBytes(path, stream)) return verdict;
  std::string log;
  verdict.ffmpegClean = DecodeAudio(path, verdict.decoded, &log);
  verdict.log = "ffmpeg: " + log;
  if (!RequireProgram("faad").empty()) {
    ProcessResult r = RunProcess({"faad", "-q", "-o", "/dev/null", path});
    verdict.faadClean = r.exitCode == 0 && r.err.find("rror") == std::string::npos &&
                        r.out.find("rror") == std::string::npos;
    verdict.log += "\nfaad: " + r.out + r.err;
  }
  return verdict;
}

}  // namespace orx::test
