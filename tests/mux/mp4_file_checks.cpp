#include "tests/mux/mp4_file_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

using orx::test::RunProcess;

bool IsContainer(const std::string& type) {
  return type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl" ||
         type == "edts" || type == "dinf";
}

std::vector<Mp4Box> ReadBoxes(const std::vector<uint8_t>& bytes, size_t begin, size_t end) {
  std::vector<Mp4Box> boxes;
  size_t at = begin;
  while (at + 8 <= end) {
    Mp4Box box;
    box.offset = at;
    uint64_t size = ReadU32(bytes, at);
    box.type.assign(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
    box.payload = at + 8;
    if (size == 1 && at + 16 <= end) {
      size = static_cast<uint64_t>(ReadU32(bytes, at + 8)) << 32 | ReadU32(bytes, at + 12);
      box.payload = at + 16;
    }
    if (size < 8 || at + size > end) size = end - at;
    box.size = static_cast<size_t>(size);
    if (IsContainer(box.type)) box.children = ReadBoxes(bytes, box.payload, at + box.size);
    boxes.push_back(std::move(box));
    at += box.size == 0 ? 8 : boxes.back().size;
  }
  return boxes;
}

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;
  return static_cast<uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

Mp4BoxTree ReadMp4Boxes(const std::vector<uint8_t>& bytes) { return Mp4BoxTree{ReadBoxes(bytes, 0, bytes.size())}; }

const Mp4Box* Mp4BoxTree::Find(const std::string& path) const {
  const std::vector<Mp4Box>* level = &top;
  const Mp4Box* found = nullptr;
  std::istringstream in(path);
  std::string part;
  while (std::getline(in, part, '/')) {
    size_t index = 0;
    const size_t bracket = part.find('[');
    if (bracket != std::string::npos) {
      index = std::stoul(part.substr(bracket + 1));
      part = part.substr(0, bracket);
    }
    found = nullptr;
    for (const Mp4Box& box : *level) {
      if (box.type == part && index-- == 0) {
        found = &box;
        break;
      }
    }
    if (found == nullptr) return nullptr;
    level = &found->children;
  }
  return found;
}

std::string Mp4BoxTree::ChildTypes(const std::string& path) const {
  const Mp4Box* box = Find(path);
  if (box == nullptr) return "(no " + path + ")";
  std::string types;
  for (const Mp4Box& child : box->children) types += (types.empty() ? "" : " ") + child.type;
  return types;
}

std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                            "packet=pts_time,flags", "-of", "csv=p=0", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<ProbedPacket> packets;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    ProbedPacket packet;
    packet.ptsMs = line.compare(0, 3, "N/A") == 0 ? NAN : std::stod(line.substr(0, comma)) * 1000.0;
    packet.key = line.find('K', comma) != std::string::npos;
    packets.push_back(packet);
  }
  return packets;
}

std::map<std::string, std::string> ProbeFormat(const std::string& path) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-show_entries", "format=format_name:format_tags=major_brand",
                            "-of", "default=nw=1", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::map<std::string, std::string> fields;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return fields;
}

void CheckMp4File(const std::string& path, const Mp4Expectation& expect) {
  auto format = ProbeFormat(path);
  EXPECT_EQ(format["format_name"].rfind("mov,mp4", 0), 0u) << format["format_name"];
  EXPECT_EQ(Trim(format["TAG:major_brand"]), Trim(expect.majorBrand));
  EXPECT_EQ(DecodeErrors(path), "") << path;

  if (const H264Stream* video = expect.video) {
    auto stream = orx::test::ProbeStream(path, "v:0");
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["width"], std::to_string(video->width));
    EXPECT_EQ(stream["height"], std::to_string(video->height));
    const std::vector<ProbedPacket> packets = ProbePackets(path, "v:0");
    ASSERT_EQ(packets.size(), video->pictureTimesMs.size()) << "one packet per picture, no header sample";
    std::vector<double> pts;
    for (size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].key, video->idr[i]) << "picture " << i << " key flag";
      pts.push_back(packets[i].ptsMs);
    }
    std::vector<int64_t> input = video->pictureTimesMs;
    std::sort(pts.begin(), pts.end());
    std::sort(input.begin(), input.end());
    for (size_t i = 0; i < pts.size(); ++i) {
      if (i > 0) {
        EXPECT_GT(pts[i], pts[i - 1]) << "presentation times repeat at " << i;
      }
      EXPECT_NEAR(pts[i], static_cast<double>(input[i] - input[0]), 1.0) << "picture " << i << " in display order";
    }
    const std::vector<std::vector<uint8_t>> slices = SliceNalUnits(CopyStream(path, "0:v", "h264"));
    EXPECT_TRUE(slices == video->slices) << "the slices differ from the input's (" << slices.size() << " of "
                                         << video->slices.size() << ")";
    const double seconds = static_cast<double>(packets.size()) / video->frameRate;
    EXPECT_NEAR(ProbeStreamSeconds(path, "v:0"), seconds, 1.0 / video->frameRate);
  }
  if (const AacStream* audio = expect.audio) {
    auto stream = orx::test::ProbeStream(path, "a:0");
    EXPECT_EQ(stream["codec_name"], "aac");
    EXPECT_EQ(stream["sample_rate"], std::to_string(audio->sampleRate));
    EXPECT_EQ(stream["channels"], std::to_string(audio->channels));
    const std::vector<uint8_t> adts = CopyStream(path, "0:a", "adts");
    const std::vector<std::vector<uint8_t>> frames = AdtsPayloads(adts);
    bool same = frames.size() == audio->frames.size();
    for (size_t i = 0; same && i < frames.size(); ++i) same = frames[i] == audio->frames[i].bytes;
    EXPECT_TRUE(same) << "the AAC blocks differ from the input's (" << frames.size() << " of "
                      << audio->frames.size() << ")";
    const std::string adtsPath = path + ".aac";
    ASSERT_TRUE(WriteBytes(adtsPath, adts));
    auto faad = RunProcess({"faad", "-o", path + ".wav", adtsPath});
    EXPECT_EQ(faad.exitCode, 0) << faad.err << faad.out;
    EXPECT_EQ(faad.err.find("Error"), std::string::npos) << faad.err;
    const double frameSeconds = 1024.0 / audio->sampleRate;
    EXPECT_NEAR(ProbeStreamSeconds(path, "a:0"), frameSeconds * static_cast<double>(audio->frames.size()),
                frameSeconds);
  }
}

}  // namespace orx::mux::test
