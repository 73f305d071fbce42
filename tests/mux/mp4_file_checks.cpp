#include "tests/mux/mp4_file_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include <cstring>

#include "media/media_codes.h"
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

ComponentRun MakeMp4ComponentRun(const H264Stream* video, bool avcC, const AacStream* audio) {
  ComponentRun run;
  run.outputType = QVA_MTYPE_MP4;
  if (video != nullptr) {
    VideoMediaType type = MakeVideoType(QVA_MSUBTYPE_H264, static_cast<uint32_t>(video->width),
                                        static_cast<uint32_t>(video->height), video->framesPer1000s, 4000000);
    type.PARh = type.PARv = 1;
    const std::vector<uint8_t>& header = avcC ? video->avcC : video->annexBHeader;
    EXPECT_LE(header.size(), sizeof(type.codecPrivate));
    type.codecPrivateLength = static_cast<uint32_t>(std::min(header.size(), sizeof(type.codecPrivate)));
    std::memcpy(type.codecPrivate, header.data(), type.codecPrivateLength);
    run.video.format = RecordBytes(type);
    run.video.samples = &video->buffers;
  }
  if (audio != nullptr) {
    run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_AAC, static_cast<uint32_t>(audio->sampleRate),
                                                 static_cast<uint16_t>(audio->channels),
                                                 static_cast<uint32_t>(audio->bitRate)));
    run.audio.samples = &audio->frames;
  }
  return run;
}

CoreRun MakeMp4CoreRun(uint32_t muxType, const H264Stream* video, const AacStream* audio,
                       std::vector<EsSample>& videoSamples) {
  CoreRun run;
  run.muxType = muxType;
  run.audioClass = kAudioClassAac;
  run.codecHint = kHintH264;
  if (video != nullptr) {
    // The header sample: flags 0x804, time 0.
    EsSample header;
    header.bytes = video->annexBHeader;
    header.timeMs = 0;
    header.key = true;
    videoSamples.assign(1, header);
    videoSamples.insert(videoSamples.end(), video->buffers.begin(), video->buffers.end());
    run.videoFormat.width = static_cast<uint32_t>(video->width);
    run.videoFormat.height = static_cast<uint32_t>(video->height);
    run.videoFormat.aspectX = run.videoFormat.width;
    run.videoFormat.aspectY = run.videoFormat.height;
    run.videoFormat.frameRateNum = video->framesPer1000s;
    run.videoFormat.frameRateDen = 1000;
    run.videoFormat.privateSize = static_cast<uint32_t>(video->avcC.size());
    std::memcpy(run.videoFormat.privateData, video->avcC.data(), video->avcC.size());
    run.video = &videoSamples;
  }
  if (audio != nullptr) {
    run.audioFormat.channels = static_cast<uint32_t>(audio->channels);
    run.audioFormat.sampleRate = static_cast<uint32_t>(audio->sampleRate);
    run.audioFormat.bitrate = static_cast<uint32_t>(audio->bitRate);
    run.audio = &audio->frames;
  }
  return run;
}

std::vector<uint8_t> RunMp4Core(const CoreRun& run) {
  MemoryBitStream out;
  if (!RunCore(run, out)) return {};
  EXPECT_EQ(out.segments.size(), 1u);
  return out.segments[0];
}

std::vector<uint8_t> WithoutTimes(std::vector<uint8_t> bytes) {
  for (size_t at = 4; at + 16 <= bytes.size(); ++at) {
    const char* type = reinterpret_cast<const char*>(bytes.data() + at);
    if (std::memcmp(type, "mvhd", 4) == 0 || std::memcmp(type, "tkhd", 4) == 0 || std::memcmp(type, "mdhd", 4) == 0)
      std::memset(bytes.data() + at + 8, 0, 8);
  }
  return bytes;
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
    // Each picture keeps its own time (in decode order), counted from the first in display order.
    const std::vector<int64_t>& input = video->pictureTimesMs;
    const int64_t first = *std::min_element(input.begin(), input.end());
    for (size_t i = 0; i < pts.size(); ++i)
      EXPECT_NEAR(pts[i], static_cast<double>(input[i] - first), 1.0) << "picture " << i << " in decode order";
    std::sort(pts.begin(), pts.end());
    for (size_t i = 1; i < pts.size(); ++i) EXPECT_GT(pts[i], pts[i - 1]) << "presentation times repeat at " << i;
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
