// Transport streams written by the multiplexer core and through qvacmux.so: ffprobe's program
// view, byte-exact elementary streams, and an independent packet walk.
#include <gtest/gtest.h>

#include <sstream>

#include "media/media_codes.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/mux/ts_walk.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

const std::vector<uint8_t> kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

enum class Driver { kCore, kComponent };

struct TsCase {
  const char* name;
  Driver driver;
  const char* videoCodec;   // ffprobe's codec name
  const char* videoCopyFormat;
  const char* audioCodec;
  const char* audioCopyFormat;
};

void PrintTo(const TsCase& c, std::ostream* os) { *os << c.name; }

// The fixture pair of one table row, the core run that multiplexes them and the media types
// an export gives the component for them.
struct TsInputs {
  EsFixture video;
  EsFixture audio;
  CoreRun run;
  bool sequenceEnd = false;
  VideoMediaType videoType{};
  AudioMediaType audioType{};
  std::vector<uint8_t> codecHeader;  // codec-private bytes of the video format, leading the video
  std::vector<EsSample> coreVideo;   // the samples the core gets (the header in the first)
};

// The SPS and PPS of an H.264 access unit, each after a 3-byte start code, as our encoder puts
// them in the codec-private bytes of its format.
std::vector<uint8_t> ParameterSets(const std::vector<uint8_t>& unit) {
  std::vector<uint8_t> out;
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 < unit.size(); ++i)
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) starts.push_back(i + 3);
  for (size_t n = 0; n < starts.size(); ++n) {
    size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : unit.size();
    while (end > starts[n] && unit[end - 1] == 0) --end;  // the next start code's leading zero
    const uint8_t type = unit[starts[n]] & 0x1F;
    if (type != 7 && type != 8) continue;
    out.insert(out.end(), {0x00, 0x00, 0x01});
    out.insert(out.end(), unit.begin() + static_cast<long>(starts[n]), unit.begin() + static_cast<long>(end));
  }
  return out;
}

TsInputs MakeInputs(const std::string& name) {
  TsInputs in;
  in.run.muxType = kMuxTransport;
  const std::string lavfi = "testsrc2=size=720x480:rate=25";
  uint32_t videoSubtype = QVA_MSUBTYPE_MPV2;
  uint32_t audioSubtype = QVA_MSUBTYPE_MPA2;
  if (name == "Mpeg2_Mp2" || name == "Mpeg2_LargeIntra") {
    in.video = name == "Mpeg2_Mp2" ? Mpeg2Video(720, 480, "25", 25)
                                   : Mpeg2Video(720, 576, "25", 20, {"-qscale:v", "1", "-qmin", "1", "-intra_vlc", "1"});
    in.audio = Mp2Audio(48000, 192, 1.0);
    in.sequenceEnd = true;
  } else if (name == "H264_Aac" || name == "H264_Aac_Header") {
    in.video.path = MakeEsFile("ts.h264", {"-f", "lavfi", "-i", lavfi, "-frames:v", "25", "-c:v", "libx264", "-bf", "2",
                                           "-b-pyramid", "none", "-g", "12", "-f", "h264"});
    in.video.samples = SplitVideoByProbe(in.video.path, 25.0);
    in.audio.path = MakeEsFile("ts.aac", {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-ac", "2", "-t", "1", "-c:a",
                                          "aac", "-b:a", "128k", "-f", "adts"});
    in.audio.samples = SplitAudioByProbe(in.audio.path, 1024.0 / 48000);
    in.run.codecHint = kHintH264;
    in.run.audioClass = kAudioClassAac;
    in.run.videoFormat.frameRateNum = 25000;
    in.run.videoFormat.frameRateDen = 1000;
    in.run.videoFormat.bitrate = 2000000;
    videoSubtype = QVA_MSUBTYPE_H264;
    audioSubtype = QVA_MSUBTYPE_AAC;
    if (name == "H264_Aac_Header" && !in.video.samples.empty()) in.codecHeader = ParameterSets(in.video.samples[0].bytes);
  } else if (name == "Mpeg4_Mp3") {
    in.video.path = MakeEsFile("ts.m4v", {"-f", "lavfi", "-i", lavfi, "-frames:v", "25", "-c:v", "mpeg4", "-bf", "2",
                                          "-g", "12", "-f", "m4v"});
    in.video.samples = SplitVideoByProbe(in.video.path, 25.0);
    in.audio.path = MakeEsFile("ts.mp3", {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-ac", "2", "-t", "1", "-c:a",
                                          "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
                                          "-f", "mp3"});
    in.audio.samples = SplitAudioByProbe(in.audio.path, 1152.0 / 48000);
    videoSubtype = QVA_MSUBTYPE_MPV4;
    audioSubtype = QVA_MSUBTYPE_MPA3;  // MPEG audio beside MPEG-4 video stays MPEG audio
  }
  in.video.bytes = ReadBytes(in.video.path);
  in.audio.bytes = ReadBytes(in.audio.path);
  in.coreVideo = in.video.samples;
  // The component writes the header in front of the first picture, in the same sample.
  if (!in.coreVideo.empty())
    in.coreVideo[0].bytes.insert(in.coreVideo[0].bytes.begin(), in.codecHeader.begin(), in.codecHeader.end());
  in.run.video = &in.coreVideo;
  in.run.audio = &in.audio.samples;
  in.videoType = MakeVideoType(videoSubtype, 720, 480, 25000, 2000000);
  in.videoType.codecPrivateLength = static_cast<uint32_t>(in.codecHeader.size());
  EXPECT_LE(in.codecHeader.size(), sizeof(in.videoType.codecPrivate));
  std::copy(in.codecHeader.begin(), in.codecHeader.end(), in.videoType.codecPrivate);
  in.audioType = MakeAudioType(audioSubtype, 48000, 2, 0);
  return in;
}

std::map<std::string, std::string> ProbePrograms(const std::string& path) {
  auto result = orx::test::RunProcess({"ffprobe", "-v", "error", "-show_programs", "-of", "flat", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::map<std::string, std::string> values;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    values[line.substr(0, eq)] = value;
  }
  return values;
}

// Exact spacing of the tables on the multiplexer's own clock (the core's write records).
void ExpectTablesEvery100Ms(const std::vector<uint8_t>& bytes, const std::vector<MuxWriteDesc>& writes) {
  uint64_t lastPat = 0;
  bool seenPat = false;
  for (size_t i = 0; i < writes.size() && (i + 1) * 188 <= bytes.size(); ++i) {
    const uint8_t* p = bytes.data() + i * 188;
    if (p[1] == 0x40 && p[2] == 0x00) {
      if (seenPat) {
        EXPECT_LE(writes[i].position - lastPat, 100u * 27000) << i;
      }
      lastPat = writes[i].position;
      seenPat = true;
    }
  }
}

class TransportStream : public ::testing::TestWithParam<TsCase> {};

TEST_P(TransportStream, ReadsBackExactly) {
  const TsCase& c = GetParam();
  TsInputs in = MakeInputs(c.name);
  ASSERT_FALSE(in.video.samples.empty());
  ASSERT_FALSE(in.audio.samples.empty());
  std::vector<uint8_t> bytes;
  if (c.driver == Driver::kCore) {
    MemoryBitStream out;
    ASSERT_TRUE(RunCore(in.run, out));
    bytes = out.segments[0];
    ExpectTablesEvery100Ms(bytes, out.writes);
  } else {
    MuxLibrary library;
    ComponentRun run;
    run.outputType = QVA_MTYPE_MPEG2_TS;
    run.video.format = RecordBytes(in.videoType);
    run.video.samples = &in.video.samples;
    run.audio.format = RecordBytes(in.audioType);
    run.audio.samples = &in.audio.samples;
    MuxSink sink;
    ComponentResult result;
    RunComponent(library, run, sink, result);
    ASSERT_EQ(result.setupStatus, 0);
    EXPECT_EQ(result.errorStatus, 0);
    EXPECT_TRUE(result.ended);
    bytes = sink.Bytes();
  }
  const std::string path = orx::test::MakeTempDir("ts") + "/out.ts";
  ASSERT_TRUE(WriteBytes(path, bytes));

  auto programs = ProbePrograms(path);
  EXPECT_EQ(programs["programs.program.0.program_num"], "1");
  EXPECT_EQ(programs["programs.program.0.pcr_pid"], std::to_string(0x1DE0));
  EXPECT_EQ(programs["programs.program.0.nb_streams"], "2");
  EXPECT_EQ(programs["programs.program.0.streams.stream.0.codec_name"], c.videoCodec);
  EXPECT_EQ(programs["programs.program.0.streams.stream.1.codec_name"], c.audioCodec);

  std::vector<uint8_t> expectedVideo = in.codecHeader;
  expectedVideo.insert(expectedVideo.end(), in.video.bytes.begin(), in.video.bytes.end());
  if (in.sequenceEnd) expectedVideo.insert(expectedVideo.end(), kSequenceEnd.begin(), kSequenceEnd.end());
  EXPECT_TRUE(CopyStream(path, "0:v", c.videoCopyFormat) == expectedVideo) << "video does not round-trip";
  EXPECT_TRUE(CopyStream(path, "0:a", c.audioCopyFormat) == in.audio.bytes) << "audio does not round-trip";
  EXPECT_EQ(DecodeErrors(path), "");

  const TsWalk walk = WalkTransportStream(bytes);
  for (const std::string& fault : walk.faults) ADD_FAILURE() << fault;
  EXPECT_EQ(walk.pmtPcrPid, 0x1DE0u);
  EXPECT_GT(walk.pcrCount, 10u);
  EXPECT_LE(walk.maxPcrGapMs, 100.0);
  EXPECT_LE(walk.maxTableGapMs, 100.0);
  EXPECT_GT(walk.patCount, 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Core, TransportStream,
    ::testing::Values(TsCase{"Mpeg2_Mp2", Driver::kCore, "mpeg2video", "mpeg2video", "mp2", "mp2"},
                      TsCase{"H264_Aac", Driver::kCore, "h264", "h264", "aac", "adts"},
                      TsCase{"Mpeg4_Mp3", Driver::kCore, "mpeg4", "m4v", "mp3", "mp3"},
                      TsCase{"Mpeg2_LargeIntra", Driver::kCore, "mpeg2video", "mpeg2video", "mp2", "mp2"}),
    [](const ::testing::TestParamInfo<TsCase>& info) { return std::string(info.param.name); });

// Through qvacmux.so with output format 0x80009; the H.264 row again with a 3-byte Annex B
// codec-private in its format change, whose header sample then leads the video.
INSTANTIATE_TEST_SUITE_P(
    Component, TransportStream,
    ::testing::Values(TsCase{"Mpeg2_Mp2", Driver::kComponent, "mpeg2video", "mpeg2video", "mp2", "mp2"},
                      TsCase{"H264_Aac", Driver::kComponent, "h264", "h264", "aac", "adts"},
                      TsCase{"H264_Aac_Header", Driver::kComponent, "h264", "h264", "aac", "adts"},
                      TsCase{"Mpeg4_Mp3", Driver::kComponent, "mpeg4", "m4v", "mp3", "mp3"},
                      TsCase{"Mpeg2_LargeIntra", Driver::kComponent, "mpeg2video", "mpeg2video", "mp2", "mp2"}),
    [](const ::testing::TestParamInfo<TsCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::mux::test
