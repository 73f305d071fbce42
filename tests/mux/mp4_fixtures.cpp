#include "tests/mux/mp4_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orx::mux::test {
namespace {

double RateOf(const std::string& rate) {
  const size_t slash = rate.find('/');
  return slash == std::string::npos ? std::stod(rate)
                                    : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

void AppendStartCode(std::vector<uint8_t>& out, int zeros) {
  out.insert(out.end(), static_cast<size_t>(zeros), 0);
  out.push_back(1);
}

}  // namespace

std::vector<std::vector<uint8_t>> AnnexBNalUnits(const std::vector<uint8_t>& stream) {
  std::vector<std::vector<uint8_t>> nals;
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
      starts.push_back(i + 3);
      i += 2;
    }
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
    while (end > starts[k] && stream[end - 1] == 0) --end;
    nals.emplace_back(stream.begin() + static_cast<long>(starts[k]), stream.begin() + static_cast<long>(end));
  }
  return nals;
}

std::vector<std::vector<uint8_t>> SliceNalUnits(const std::vector<uint8_t>& stream) {
  std::vector<std::vector<uint8_t>> slices;
  for (auto& nal : AnnexBNalUnits(stream)) {
    const int type = nal.empty() ? 0 : nal[0] & 0x1F;
    if (type == 1 || type == 5) slices.push_back(std::move(nal));
  }
  return slices;
}

std::vector<std::vector<uint8_t>> AdtsPayloads(const std::vector<uint8_t>& stream) {
  std::vector<std::vector<uint8_t>> frames;
  size_t at = 0;
  while (at + 7 <= stream.size()) {
    if (stream[at] != 0xFF || (stream[at + 1] & 0xF0) != 0xF0) break;
    const bool crc = (stream[at + 1] & 1) == 0;
    const size_t length = (stream[at + 3] & 3u) << 11 | stream[at + 4] << 3 | stream[at + 5] >> 5;
    const size_t header = crc ? 9 : 7;
    if (length < header || at + length > stream.size()) break;
    frames.emplace_back(stream.begin() + static_cast<long>(at + header), stream.begin() + static_cast<long>(at + length));
    at += length;
  }
  EXPECT_EQ(at, stream.size()) << "the ADTS stream does not end with a whole frame";
  return frames;
}

H264Stream MakeH264Stream(const H264Options& options) {
  const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
  std::string name = "h264-" + size + "-" + options.rate + "-" + std::to_string(options.frames) + "-b" +
                     std::to_string(options.bFrames) + (options.intraOnly ? "-intra" : "");
  for (char& c : name)
    if (c == '/') c = '_';
  std::string params = "b-pyramid=none:scenecut=0:keyint=15:min-keyint=15";
  if (options.intraOnly) params = "keyint=1:min-keyint=1:scenecut=0";
  H264Stream stream;
  stream.path = MakeEsFile(name + ".h264", {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=" + options.rate,
                                            "-frames:v", std::to_string(options.frames), "-c:v", "libx264",
                                            "-profile:v", "high", "-pix_fmt", "yuv420p", "-preset", "fast",
                                            "-bf", std::to_string(options.intraOnly ? 0 : options.bFrames),
                                            "-x264-params", params, "-f", "h264"});
  stream.width = options.width;
  stream.height = options.height;
  stream.frameRate = RateOf(options.rate);
  stream.framesPer1000s = static_cast<uint32_t>(std::lround(stream.frameRate * 1000.0));
  const std::vector<EsSample> units = SplitVideoByProbe(stream.path, stream.frameRate);
  for (const EsSample& unit : units) {
    bool first = true;
    bool idr = false;
    for (const std::vector<uint8_t>& nal : AnnexBNalUnits(unit.bytes)) {
      const int type = nal[0] & 0x1F;
      if (type == 7 && stream.sps.empty()) stream.sps = nal;
      if (type == 8 && stream.pps.empty()) stream.pps = nal;
      if (type == 5) idr = true;
      if (type == 1 || type == 5) stream.slices.push_back(nal);
      EsSample buffer;
      AppendStartCode(buffer.bytes, 3);
      buffer.bytes.insert(buffer.bytes.end(), nal.begin(), nal.end());
      buffer.timeMs = unit.timeMs;
      buffer.timed = first;
      buffer.key = first;  // the picture-start mark
      first = false;
      stream.buffers.push_back(std::move(buffer));
    }
    stream.pictureTimesMs.push_back(unit.timeMs);
    stream.idr.push_back(idr);
  }
  EXPECT_FALSE(stream.sps.empty());
  EXPECT_FALSE(stream.pps.empty());
  // Our encoder's header: an access-unit delimiter, then SPS and PPS, all behind 00 00 01.
  stream.annexBHeader = {0, 0, 1, 0x09, 0x10};
  for (const std::vector<uint8_t>* set : {&stream.sps, &stream.pps}) {
    AppendStartCode(stream.annexBHeader, 2);
    stream.annexBHeader.insert(stream.annexBHeader.end(), set->begin(), set->end());
  }
  stream.avcC = {1, stream.sps[1], stream.sps[2], stream.sps[3], 0xFF, 0xE1,
                 static_cast<uint8_t>(stream.sps.size() >> 8), static_cast<uint8_t>(stream.sps.size())};
  stream.avcC.insert(stream.avcC.end(), stream.sps.begin(), stream.sps.end());
  stream.avcC.insert(stream.avcC.end(), {1, static_cast<uint8_t>(stream.pps.size() >> 8),
                                         static_cast<uint8_t>(stream.pps.size())});
  stream.avcC.insert(stream.avcC.end(), stream.pps.begin(), stream.pps.end());
  return stream;
}

AacStream MakeAacStream(int sampleRate, int channels, int kbps, double seconds) {
  AacStream stream;
  stream.sampleRate = sampleRate;
  stream.channels = channels;
  stream.bitRate = kbps * 1000;
  const std::string name = "aac-" + std::to_string(sampleRate) + "-" + std::to_string(channels) + "-" +
                           std::to_string(kbps) + "-" + std::to_string(seconds) + ".aac";
  stream.path = MakeEsFile(name, {"-f", "lavfi", "-i",
                                  "sine=frequency=440:sample_rate=" + std::to_string(sampleRate), "-ac",
                                  std::to_string(channels), "-t", std::to_string(seconds), "-c:a", "aac", "-b:a",
                                  std::to_string(kbps) + "k", "-f", "adts"});
  const std::vector<std::vector<uint8_t>> payloads = AdtsPayloads(ReadBytes(stream.path));
  for (size_t i = 0; i < payloads.size(); ++i) {
    EsSample frame;
    frame.bytes = payloads[i];
    frame.timeMs = std::llround(static_cast<double>(i) * 1024.0 * 1000.0 / sampleRate);
    frame.key = true;
    stream.frames.push_back(std::move(frame));
  }
  return stream;
}

}  // namespace orx::mux::test
