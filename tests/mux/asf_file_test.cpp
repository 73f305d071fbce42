// ASF files written through qvacmux.so for the engine's ASF target (and by the core for the
// fault cases), read back by ffprobe and ffmpeg and walked packet by packet: fixed-size packets
// whose payloads and padding add up, one media object per picture with its own time, the simple
// index pointing at key-frame objects, the audio spread of audio-only WMA, the creation date.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>

#include "media/media_codes.h"
#include "tests/mux/asf_walk.h"
#include "tests/mux/avi_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

using orx::test::RunProcess;

enum class Video { kNone, kMpeg4B2 };
enum class Audio { kNone, kMp2, kWma };

struct AsfCase {
  const char* name;
  Video video;
  Audio audio;
};

void PrintTo(const AsfCase& c, std::ostream* os) { *os << c.name; }

int Frames() { return kOrxSanitizedBuild ? 15 : 30; }

// The codec-private bytes ffprobe shows for the first audio stream.
std::vector<uint8_t> Extradata(const std::string& path) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_streams", "-show_data", path});
  std::vector<uint8_t> bytes;
  std::istringstream in(result.out);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.rfind("extradata=", 0) == 0) {
      inside = true;
      continue;
    }
    if (!inside) continue;
    if (line.size() < 10 || line[8] != ':') break;
    const std::string hex = line.substr(10, 40);
    for (size_t i = 0; i + 1 < hex.size(); ++i) {
      if (hex[i] == ' ') continue;
      if (hex[i + 1] == ' ') break;
      bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      ++i;
    }
  }
  return bytes;
}

// ffmpeg's WMA (wmav2) frames and their codec-private record, whose bytes 6-9 carry the block
// size as our encoder's record does.
struct WmaStream {
  EsFixture fixture;
  std::vector<uint8_t> codecPrivate;
  uint32_t blockAlign = 0;
};

WmaStream MakeWmaStream(double seconds) {
  WmaStream wma;
  wma.fixture.path = MakeEsFile("wmav2-44100-128-" + std::to_string(seconds) + ".asf",
                                {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-ac", "2", "-t",
                                 std::to_string(seconds), "-c:a", "wmav2", "-b:a", "128k", "-f", "asf"});
  // The frames, all of one block size, as ffmpeg copies them out of its file.
  auto size = RunProcess({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "packet=size",
                          "-read_intervals", "%+#1", "-of", "csv=p=0", wma.fixture.path});
  wma.blockAlign = static_cast<uint32_t>(std::stoul(size.out));
  const std::vector<uint8_t> frames = CopyStream(wma.fixture.path, "0:a:0", "data");
  EXPECT_EQ(frames.size() % wma.blockAlign, 0u);
  for (size_t at = 0; at + wma.blockAlign <= frames.size(); at += wma.blockAlign) {
    EsSample frame;
    frame.bytes.assign(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + wma.blockAlign));
    frame.timeMs = std::llround(static_cast<double>(wma.fixture.samples.size()) * 2048 * 1000 / 44100);
    frame.key = true;
    wma.fixture.samples.push_back(std::move(frame));
  }
  wma.codecPrivate = Extradata(wma.fixture.path);
  EXPECT_EQ(wma.codecPrivate.size(), 10u);
  wma.codecPrivate.resize(10);
  for (int i = 0; i < 4; ++i) wma.codecPrivate[6 + i] = static_cast<uint8_t>(wma.blockAlign >> (8 * i));
  return wma;
}

// ffprobe's packet count of one stream.
std::string PacketCount(const std::string& path, const std::string& stream) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-count_packets", "-select_streams", stream, "-show_entries",
                            "stream=nb_read_packets", "-of", "csv=p=0", path});
  return result.out.substr(0, result.out.find('\n'));
}

// The time field of every packet of one stream, in ms. ffmpeg's ASF reader gives an object's
// presentation time as the packet's decode time stamp.
std::vector<double> PacketTimes(const std::string& path, const std::string& stream) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "packet=dts_time",
                            "-of", "csv=p=0", path});
  std::vector<double> times;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line != "N/A") times.push_back(std::stod(line) * 1000.0);
  return times;
}

// ffmpeg's decode of the file, without the null writer's complaint that the time stamps it is
// given go backwards: ffmpeg's ASF reader takes each object's presentation time for its decode
// time, so B pictures, which come before their anchors in time, look like steps back.
std::string WithoutDtsComplaints(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find("non monotonically increasing dts") == std::string::npos) kept += line + "\n";
  return kept;
}
std::string AsfDecodeErrors(const std::string& path) { return WithoutDtsComplaints(DecodeErrors(path)); }

struct AsfInputs {
  EsFixture video;
  EsFixture audio;
  WmaStream wma;
  ComponentRun run;
};

AsfInputs MakeAsfInputs(const AsfCase& c) {
  AsfInputs in;
  in.run.outputType = QVA_MTYPE_ASF;
  const double seconds = Frames() / 25.0;
  if (c.video == Video::kMpeg4B2) {
    in.video = Mpeg4Video(352, 288, "25", Frames());
    in.run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV4, 352, 288, 25000, 2000000));
    in.run.video.samples = &in.video.samples;
  }
  if (c.audio == Audio::kMp2) {
    in.audio = Mp2Audio(48000, 192, 1.0);
    in.run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000));
    in.run.audio.samples = &in.audio.samples;
  } else if (c.audio == Audio::kWma) {
    in.wma = MakeWmaStream(seconds);
    AudioMediaType type = MakeAudioType(QVA_MSUBTYPE_WMA, 44100, 2, 128000);
    type.codecPrivateLength = static_cast<uint32_t>(in.wma.codecPrivate.size());
    std::memcpy(type.codecPrivate, in.wma.codecPrivate.data(), in.wma.codecPrivate.size());
    in.run.audio.format = RecordBytes(type);
    in.run.audio.samples = &in.wma.fixture.samples;
  }
  return in;
}

// The video media objects as the file holds them, in file order: those payloads that start one.
std::vector<AsfPayloadRead> ObjectStarts(const AsfFileRead& file, uint32_t stream) {
  std::vector<AsfPayloadRead> starts;
  for (const AsfPacketRead& packet : file.packets)
    for (const AsfPayloadRead& payload : packet.payloads)
      if (payload.stream == stream && payload.offset == 0) starts.push_back(payload);
  return starts;
}

// Every packet follows the rules: the padding-length type by the padding, multiple payloads
// exactly when the first payload's remaining bytes leave 44 or more bytes of room.
void CheckPacketRules(const AsfFileRead& file) {
  bool sawWord = false, sawMultiple = false, sawSingle = false;
  for (const AsfPacketRead& packet : file.packets) {
    if (packet.wordPadding) {
      EXPECT_GE(packet.padding, 255u) << packet.at;
      sawWord = true;
    } else {
      EXPECT_LT(packet.padding, 256u) << packet.at;
    }
    ASSERT_FALSE(packet.payloads.empty()) << packet.at;
    EXPECT_TRUE(packet.multiple || packet.payloads.size() == 1) << packet.at;
    if (!file.audioSpread) {
      const AsfPayloadRead& first = packet.payloads.front();
      const uint32_t room = file.packetSize - (packet.errorCorrection ? 3 : 0);
      EXPECT_EQ(packet.multiple, first.objectSize - first.offset + 44 < room) << packet.at;
    }
    (packet.multiple ? sawMultiple : sawSingle) = true;
  }
  EXPECT_TRUE(sawMultiple || sawSingle);
  (void)sawWord;
}

// The simple index: each entry names a packet where a key-frame video object starts, no later
// than the second it stands for counts up to.
void CheckSimpleIndex(const AsfFileRead& file) {
  ASSERT_TRUE(file.hasIndex);
  ASSERT_FALSE(file.index.empty());
  for (size_t i = 0; i < file.index.size(); ++i) {
    const AsfIndexRead& entry = file.index[i];
    ASSERT_LT(entry.packet, file.packets.size()) << i;
    const auto& payloads = file.packets[entry.packet].payloads;
    const bool keyStarts = std::any_of(payloads.begin(), payloads.end(), [](const AsfPayloadRead& p) {
      return p.stream == 1 && p.key && p.offset == 0;
    });
    EXPECT_TRUE(keyStarts) << "index entry " << i << " points at packet " << entry.packet;
    EXPECT_GE(entry.count, 1u);
  }
}

uint64_t FileTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100) +
         11644473600ull * 10000000;
}

class AsfComponentFiles : public ::testing::TestWithParam<AsfCase> {};

TEST_P(AsfComponentFiles, ReadBackWhole) {
  const AsfCase& c = GetParam();
  AsfInputs in = MakeAsfInputs(c);
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, in.run, sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, 0);
  ASSERT_TRUE(result.ended) << "no end of stream reached the sink";
  const std::vector<uint8_t> bytes = sink.Bytes();
  const std::string path = orx::test::MakeTempDir("asf") + "/out.asf";
  ASSERT_TRUE(WriteBytes(path, bytes));

  const AsfFileRead file = WalkAsf(bytes);
  ASSERT_EQ(file.error, "");
  EXPECT_EQ(file.dataPackets, file.packets.size());
  EXPECT_EQ(file.filePropertiesPackets, file.packets.size());
  EXPECT_EQ(file.fileSize, bytes.size());
  EXPECT_EQ(file.flags, 2u);
  const double minutesOff = std::abs(static_cast<double>(file.creationDate) - static_cast<double>(FileTimeNow())) / 6e8;
  EXPECT_LT(minutesOff, 1.0) << "creation date " << file.creationDate;
  CheckPacketRules(file);
  EXPECT_EQ(orx::test::ProbeFormat(path)["format_name"], "asf");
  EXPECT_EQ(AsfDecodeErrors(path), "");

  if (c.video != Video::kNone) {
    const std::vector<EsSample>& pictures = in.video.samples;
    auto probe = orx::test::ProbeStream(path, "v:0", true);
    EXPECT_EQ(probe["codec_name"], "mpeg4");
    EXPECT_EQ(probe["width"], "352");
    EXPECT_EQ(probe["height"], "288");
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(pictures.size()));
    EXPECT_TRUE(CopyStream(path, "0:v:0", "m4v") == in.video.bytes) << "the video comes back changed";
    // One media object per picture, B pictures with their own times.
    const std::vector<AsfPayloadRead> objects = ObjectStarts(file, 1);
    ASSERT_EQ(objects.size(), pictures.size());
    const std::vector<double> pts = PacketTimes(path, "v:0");
    ASSERT_EQ(pts.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
      EXPECT_NEAR(pts[i] - pts[0], static_cast<double>(pictures[i].timeMs - pictures[0].timeMs), 1.0) << i;
      EXPECT_EQ(objects[i].key, pictures[i].pictureType == 'I') << i;
    }
    CheckSimpleIndex(file);
  }
  if (c.audio == Audio::kMp2) {
    EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "mp2");
    EXPECT_TRUE(CopyStream(path, "0:a:0", "mp2") == Concatenate(in.audio.samples)) << "the audio comes back changed";
    EXPECT_FALSE(file.audioSpread);
  }
  if (c.audio == Audio::kWma) {
    EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "wmav2");
    EXPECT_EQ(PacketCount(path, "a:0"), std::to_string(in.wma.fixture.samples.size()));
    EXPECT_TRUE(CopyStream(path, "0:a:0", "data") == Concatenate(in.wma.fixture.samples))
        << "the audio comes back changed";
    // The packet size follows the first frame: L + 30, grown by L + 17 until 2048.
    const uint32_t l = in.wma.blockAlign;
    uint32_t expected = l + 30;
    while (expected < 2048) expected += l + 17;
    EXPECT_EQ(file.packetSize, expected);
    EXPECT_TRUE(file.audioSpread);
    for (const AsfPacketRead& packet : file.packets) EXPECT_TRUE(packet.errorCorrection) << packet.at;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, AsfComponentFiles,
                         ::testing::Values(AsfCase{"Mpeg4B2_Mp2", Video::kMpeg4B2, Audio::kMp2},
                                           AsfCase{"VideoOnly_Mpeg4B2", Video::kMpeg4B2, Audio::kNone},
                                           AsfCase{"AudioOnly_Wma", Video::kNone, Audio::kWma}),
                         [](const ::testing::TestParamInfo<AsfCase>& info) { return std::string(info.param.name); });

std::vector<uint8_t> RunAsfCore(const std::vector<EsSample>* video, const std::vector<EsSample>* audio) {
  CoreRun run;
  run.muxType = kMuxAsf;
  run.videoFormat.frameRateNum = 25000;
  run.video = video;
  run.audio = audio;
  MemoryBitStream out;
  EXPECT_TRUE(RunCore(run, out));
  return out.segments.front();
}

// Key frames presented 0 ms and 2.52 s after the first picture: index entry 0 points at the
// first, entries 1 to 3 at the second; a seek to 2.5 s decodes.
TEST(AsfCore, SimpleIndexOfTwoKeyFrames) {
  ORX_RELEASE_ONLY();
  EsFixture video;
  video.path = MakeEsFile("mpeg4-keys-0-2.5.m4v", {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v",
                                                   "75", "-c:v", "mpeg4", "-bf", "2", "-g", "300", "-sc_threshold",
                                                   "1000000000", "-force_key_frames", "0,2.5", "-f", "m4v"});
  video.bytes = ReadBytes(video.path);
  video.samples = SplitVideoByProbe(video.path, 25.0);
  const std::vector<uint8_t> bytes = RunAsfCore(&video.samples, nullptr);
  const AsfFileRead file = WalkAsf(bytes);
  ASSERT_EQ(file.error, "");
  std::vector<AsfPayloadRead> keys;
  std::vector<size_t> keyPackets;
  for (size_t i = 0; i < file.packets.size(); ++i)
    for (const AsfPayloadRead& p : file.packets[i].payloads)
      if (p.key && p.offset == 0) {
        keys.push_back(p);
        keyPackets.push_back(i);
      }
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1].presentation - keys[0].presentation, 2520u);
  ASSERT_EQ(file.index.size(), 4u);
  EXPECT_EQ(file.index[0].packet, keyPackets[0]);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(file.index[i].packet, keyPackets[1]) << i;
  const std::string path = orx::test::MakeTempDir("asf-index") + "/out.asf";
  ASSERT_TRUE(WriteBytes(path, bytes));
  auto seek = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-ss", "2.5", "-i", path, "-frames:v", "1",
                          "-f", "null", "-"});
  EXPECT_EQ(seek.exitCode, 0);
  EXPECT_EQ(WithoutDtsComplaints(seek.err), "");
}

// A picture above the old 1 MB object buffer goes out whole.
TEST(AsfFaults, PictureAboveOneMegabyteWrittenWhole) {
  EsFixture video;
  video.path = MakeEsFile("mpeg4-noise-1920x1088-2.m4v",
                          {"-f", "lavfi", "-i", "testsrc2=size=1920x1088:rate=25,noise=alls=100:allf=t", "-frames:v",
                           "2", "-c:v", "mpeg4", "-g", "1", "-q:v", "1", "-qmin", "1", "-f", "m4v"});
  video.bytes = ReadBytes(video.path);
  video.samples = SplitVideoByProbe(video.path, 25.0);
  ASSERT_EQ(video.samples.size(), 2u);
  ASSERT_GT(video.samples.front().bytes.size(), 2u << 20);
  const std::vector<uint8_t> bytes = RunAsfCore(&video.samples, nullptr);
  ASSERT_EQ(WalkAsf(bytes).error, "");
  const std::string path = orx::test::MakeTempDir("asf-large") + "/out.asf";
  ASSERT_TRUE(WriteBytes(path, bytes));
  EXPECT_EQ(AsfDecodeErrors(path), "");
  EXPECT_TRUE(CopyStream(path, "0:v:0", "m4v") == video.bytes) << "the picture comes back cut";
}

// Pictures delivered over several buffers (the time and picture-start mark on the first): the
// untimed pieces join their picture's object; every picture, B pictures too, is an object of its
// own with its own time.
TEST(AsfFaults, PiecesJoinTheirPictureAndBPicturesStandAlone) {
  const EsFixture video = Mpeg4Video(352, 288, "25", Frames());
  std::vector<EsSample> pieces;
  for (const EsSample& picture : video.samples) {
    const size_t half = picture.bytes.size() / 2;
    EsSample first = picture;
    first.bytes.assign(picture.bytes.begin(), picture.bytes.begin() + static_cast<long>(half));
    EsSample rest = picture;
    rest.bytes.assign(picture.bytes.begin() + static_cast<long>(half), picture.bytes.end());
    rest.timed = false;
    rest.key = false;
    pieces.push_back(first);
    pieces.push_back(rest);
  }
  const std::vector<uint8_t> bytes = RunAsfCore(&pieces, nullptr);
  const AsfFileRead file = WalkAsf(bytes);
  ASSERT_EQ(file.error, "");
  const std::vector<AsfPayloadRead> objects = ObjectStarts(file, 1);
  ASSERT_EQ(objects.size(), video.samples.size());
  for (size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(objects[i].objectSize, video.samples[i].bytes.size()) << i;
    EXPECT_EQ(static_cast<int64_t>(objects[i].presentation) - static_cast<int64_t>(objects[0].presentation),
              video.samples[i].timeMs - video.samples[0].timeMs)
        << i << " (" << video.samples[i].pictureType << ")";
  }
  const std::string path = orx::test::MakeTempDir("asf-pieces") + "/out.asf";
  ASSERT_TRUE(WriteBytes(path, bytes));
  EXPECT_EQ(AsfDecodeErrors(path), "");
  EXPECT_TRUE(CopyStream(path, "0:v:0", "m4v") == video.bytes);
}

// The index and object buffers cannot be had: the start fails with status 4.
TEST(AsfFaults, NoMemoryForTheIndexFailsTheStart) {
  const EsFixture video = Mpeg4Video(352, 288, "25", Frames());
  orx::test::ScopedEnv noBlocks("ORX_TEST_MUX_INDEX_BLOCKS", "0");
  ComponentRun run;
  run.outputType = QVA_MTYPE_ASF;
  run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV4, 352, 288, 25000, 2000000));
  run.video.samples = &video.samples;
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, run, sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, 4u);
  EXPECT_TRUE(sink.Bytes().empty()) << "nothing is written";
}

}  // namespace
}  // namespace orx::mux::test
