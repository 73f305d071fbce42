#include "tests/aenc/layer3_test_support.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/process.h"

namespace orx::test {

Mp3Verdict CheckMp3(const std::vector<uint8_t>& stream, const std::string& path, bool mp3val) {
  Mp3Verdict verdict;
  if (!WriteBytes(path, stream)) return verdict;
  std::string log;
  verdict.ffmpegClean = DecodeAudio(path, verdict.decoded, &log);
  verdict.log = "ffmpeg: " + log;
  ProcessResult r = RunProcess({"mpg123", "-q", "-t", path});
  verdict.mpg123Clean = r.exitCode == 0 && r.err.empty();
  verdict.log += "\nmpg123: " + r.out + r.err;
  verdict.mp3valClean = true;
  if (mp3val) {
    ProcessResult v = RunProcess({"mp3val", path});
    // Every WARNING or ERROR line is a problem, except the note that the file carries no tags
    // (a bare stream has none by design).
    verdict.mp3valClean = v.exitCode == 0;
    size_t at = 0;
    while (at < v.out.size()) {
      size_t end = v.out.find('\n', at);
      if (end == std::string::npos) end = v.out.size();
      const std::string line = v.out.substr(at, end - at);
      if ((line.find("WARNING") != std::string::npos && line.find("No supported tags") == std::string::npos) ||
          line.find("ERROR") != std::string::npos)
        verdict.mp3valClean = false;
      at = end + 1;
    }
    verdict.log += "\nmp3val: " + v.out + v.err;
  }
  return verdict;
}

bool DecodeWithMpg123(const std::string& path, Pcm& out, std::string* log) {
  const std::string raw = path + ".mpg123.raw";
  ProcessResult r = RunProcess({"mpg123", "-q", "-s", "-w", raw, path});
  // -w writes a WAV: read its header for the format, then the samples after "data".
  if (log) *log = r.out + r.err;
  if (r.exitCode != 0) return false;
  std::ifstream in(raw, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(raw.c_str());
  if (bytes.size() < 44) return false;
  auto u16 = [&bytes](size_t at) { return static_cast<int>(bytes[at] | bytes[at + 1] << 8); };
  auto u32 = [&bytes](size_t at) {
    return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24);
  };
  size_t at = 12;
  size_t data = 0, dataBytes = 0;
  while (at + 8 <= bytes.size()) {
    const uint32_t size = u32(at + 4);
    if (std::string(bytes.begin() + at, bytes.begin() + at + 4) == "fmt ") {
      out.channels = u16(at + 10);
      out.rate = static_cast<int>(u32(at + 12));
    } else if (std::string(bytes.begin() + at, bytes.begin() + at + 4) == "data") {
      data = at + 8;
      dataBytes = std::min<size_t>(size, bytes.size() - data);
      break;
    }
    at += 8 + size + (size & 1);
  }
  if (!data) return false;
  out.samples.resize(dataBytes / 2);
  for (size_t i = 0; i < out.samples.size(); ++i) out.samples[i] = static_cast<int16_t>(u16(data + 2 * i));
  return true;
}

std::vector<size_t> MpegFrameSizes(const std::vector<uint8_t>& stream) {
  static const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kRates[3] = {44100, 48000, 32000};
  std::vector<size_t> sizes;
  size_t at = 0;
  while (at + 4 <= stream.size()) {
    if (stream[at] != 0xFF || (stream[at + 1] & 0xFE) != 0xFA) return {};  // MPEG-1 Layer III
    const int bitrateIndex = stream[at + 2] >> 4, rateIndex = (stream[at + 2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return {};
    const size_t size = 144000 * kKbps[bitrateIndex] / kRates[rateIndex] + ((stream[at + 2] >> 1) & 1);
    if (at + size > stream.size()) return {};
    sizes.push_back(size);
    at += size;
  }
  if (at != stream.size()) return {};
  return sizes;
}

}  // namespace orx::test
