#include "tests/mux/avi_fixtures.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/process.h"

namespace orx::mux::test {
namespace {

double RateValue(const std::string& rate) {
  const size_t slash = rate.find('/');
  return slash == std::string::npos ? std::stod(rate)
                                    : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

bool WalkRange(const std::vector<uint8_t>& bytes, uint64_t begin, uint64_t end, std::vector<RiffItem>& items) {
  uint64_t at = begin;
  while (at + 8 <= end) {
    RiffItem item;
    item.id.assign(reinterpret_cast<const char*>(bytes.data() + at), 4);
    item.size = LoadU32(bytes, at + 4);
    item.offset = at;
    const uint64_t next = at + 8 + item.size + (item.size & 1);
    if (at + 8 + item.size > end) return false;
    const bool list = item.id == "LIST" || item.id == "RIFF";
    if (list) item.id += ":" + std::string(reinterpret_cast<const char*>(bytes.data() + at + 8), 4);
    items.push_back(item);
    if (list && !WalkRange(bytes, at + 12, at + 8 + item.size, items)) return false;
    at = next;
  }
  return true;
}

}  // namespace

EsFixture Mpeg4Video(int width, int height, const std::string& rate, int frames) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::string name = "mpeg4-" + size + "-" + rate + "-" + std::to_string(frames) + ".m4v";
  for (char& c : name)
    if (c == '/') c = '_';
  EsFixture fixture;
  fixture.path = MakeEsFile(name, {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=" + rate, "-frames:v",
                                   std::to_string(frames), "-c:v", "mpeg4", "-g", "12", "-bf", "2", "-q:v", "4",
                                   "-f", "m4v"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitVideoByProbe(fixture.path, RateValue(rate));
  for (EsSample& sample : fixture.samples) sample.key = true;  // each sample starts a picture
  return fixture;
}

EsFixture Mp3Audio(int sampleRate, int bitRateK, double seconds) {
  EsFixture fixture;
  fixture.path = MakeEsFile("mp3-" + std::to_string(sampleRate) + "-" + std::to_string(bitRateK) + "-" +
                                std::to_string(seconds) + ".mp3",
                            {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=" + std::to_string(sampleRate),
                             "-ac", "2", "-t", std::to_string(seconds), "-c:a", "libmp3lame", "-b:a",
                             std::to_string(bitRateK) + "k", "-id3v2_version", "0", "-write_xing", "0", "-f", "mp3"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitAudioByProbe(fixture.path, 1152.0 / sampleRate);
  return fixture;
}

uint32_t LoadU32(const std::vector<uint8_t>& bytes, uint64_t at) {
  if (at + 4 > bytes.size()) return 0;
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t LoadU16(const std::vector<uint8_t>& bytes, uint64_t at) {
  if (at + 2 > bytes.size()) return 0;
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool WalkRiff(const std::vector<uint8_t>& bytes, std::vector<RiffItem>& items) {
  return WalkRange(bytes, 0, bytes.size(), items);
}

size_t CountRiff(const std::vector<RiffItem>& items, const std::string& id) {
  size_t count = 0;
  for (const RiffItem& item : items) count += item.id == id ? 1 : 0;
  return count;
}

std::vector<std::string> MkvmergeTracks(const std::string& path) {
  const auto result = orx::test::RunProcess({orx::test::RequireProgram("mkvmerge"), "-i", path});
  std::vector<std::string> tracks;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("Track ID", 0) == 0) tracks.push_back(line);
  return tracks;
}

}  // namespace orx::mux::test
