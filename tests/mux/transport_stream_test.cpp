// Transport streams written by the multiplexer core: ffprobe's program view, byte-exact
// elementary streams, and an independent packet walk.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_harness.h"
#include "tests/mux/ts_walk.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

const std::vector<uint8_t> kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

struct TsCase {
  const char* name;
  const char* videoCodec;   // ffprobe's codec name
  const char* videoCopyFormat;
  const char* audioCodec;
  const char* audioCopyFormat;
};

void PrintTo(const TsCase& c, std::ostream* os) { *os << c.name; }

// The fixture pair and multiplexer settings of one table row.
struct TsInputs {
  EsFixture video;
  EsFixture audio;
  CoreRun run;
  bool sequenceEnd = false;
};

TsInputs MakeInputs(const std::string& name) {
  TsInputs in;
  in.run.muxType = kMuxTransport;
  const std::string lavfi = "testsrc2=size=720x480:rate=25";
  if (name == "Mpeg2_Mp2" || name == "Mpeg2_LargeIntra") {
    in.video = name == "Mpeg2_Mp2" ? Mpeg2Video(720, 480, "25", 25)
                                   : Mpeg2Video(720, 576, "25", 20, {"-qscale:v", "1", "-qmin", "1", "-intra_vlc", "1"});
    in.audio = Mp2Audio(48000, 192, 1.0);
    in.sequenceEnd = true;
  } else if (name == "H264_Aac") {
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
  } else if (name == "Mpeg4_Mp3") {
    in.video.path = MakeEsFile("ts.m4v", {"-f", "lavfi", "-i", lavfi, "-frames:v", "25", "-c:v", "mpeg4", "-bf", "2",
                                          "-g", "12", "-f", "m4v"});
    in.video.samples = SplitVideoByProbe(in.video.path, 25.0);
    in.audio.path = MakeEsFile("ts.mp3", {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-ac", "2", "-t", "1", "-c:a",
                                          "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
                                          "-f", "mp3"});
    in.audio.samples = SplitAudioByProbe(in.audio.path, 1152.0 / 48000);
  }
  in.video.bytes = ReadBytes(in.video.path);
  in.audio.bytes = ReadBytes(in.audio.path);
  in.run.video = &in.video.samples;
  in.run.audio = &in.audio.samples;
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

class TransportStream : public ::testing::TestWithParam<TsCase> {};

TEST_P(TransportStream, ReadsBackExactly) {
  const TsCase& c = GetParam();
  TsInputs in = MakeInputs(c.name);
  ASSERT_FALSE(in.video.samples.empty());
  ASSERT_FALSE(in.audio.samples.empty());
  MemoryBitStream out;
  ASSERT_TRUE(RunCore(in.run, out));
  const std::vector<uint8_t>& bytes = out.segments[0];
  const std::string path = orx::test::MakeTempDir("ts") + "/out.ts";
  ASSERT_TRUE(WriteBytes(path, bytes));

  auto programs = ProbePrograms(path);
  EXPECT_EQ(programs["programs.program.0.program_num"], "1");
  EXPECT_EQ(programs["programs.program.0.pcr_pid"], std::to_string(0x1DE0));
  EXPECT_EQ(programs["programs.program.0.nb_streams"], "2");
  EXPECT_EQ(programs["programs.program.0.streams.stream.0.codec_name"], c.videoCodec);
  EXPECT_EQ(programs["programs.program.0.streams.stream.1.codec_name"], c.audioCodec);

  std::vector<uint8_t> expectedVideo = in.video.bytes;
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
  // Exact spacing of the tables on the multiplexer's own clock.
  uint64_t lastPat = 0;
  bool seenPat = false;
  for (size_t i = 0; i < out.writes.size() && (i + 1) * 188 <= bytes.size(); ++i) {
    const uint8_t* p = bytes.data() + i * 188;
    if (p[1] == 0x40 && p[2] == 0x00) {
      if (seenPat) {
        EXPECT_LE(out.writes[i].position - lastPat, 100u * 27000) << i;
      }
      lastPat = out.writes[i].position;
      seenPat = true;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Core, TransportStream,
    ::testing::Values(TsCase{"Mpeg2_Mp2", "mpeg2video", "mpeg2video", "mp2", "mp2"},
                      TsCase{"H264_Aac", "h264", "h264", "aac", "adts"},
                      TsCase{"Mpeg4_Mp3", "mpeg4", "m4v", "mp3", "mp3"},
                      TsCase{"Mpeg2_LargeIntra", "mpeg2video", "mpeg2video", "mp2", "mp2"}),
    [](const ::testing::TestParamInfo<TsCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::mux::test
