// The other program-stream forms, the size-limit segments and the configurations the
// multiplexer refuses, all driven on the core with an in-memory bit stream.
#include <gtest/gtest.h>

#include "mux/core/multiplexer.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

const std::vector<uint8_t> kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

struct FormCase {
  const char* name;
  uint32_t muxType;
  bool mpeg1;
  size_t packSize;
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

class ProgramForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(ProgramForms, ReadBackAndRoundTrip) {
  const FormCase& c = GetParam();
  const bool vcd = c.muxType == kMuxVcd;
  const bool svcd = c.muxType == kMuxSvcd;
  const EsFixture video = vcd     ? Mpeg1Video(352, 240, "30000/1001", 30, "800k")
                          : svcd  ? Mpeg2Video(480, 480, "30000/1001", 30)
                          : c.mpeg1 ? Mpeg1Video(352, 288, "25", 25, "1150k")
                                    : Mpeg2Video(720, 576, "25", 25);
  const EsFixture audio = vcd ? Mp2Audio(44100, 224, 1.0) : Mp2Audio(48000, 192, 1.0);
  CoreRun run;
  run.muxType = c.muxType;
  run.video = &video.samples;
  run.audio = &audio.samples;
  MemoryBitStream out;
  ASSERT_TRUE(RunCore(run, out));
  const std::vector<uint8_t>& bytes = out.segments[0];
  ASSERT_EQ(bytes.size() % c.packSize, 0u);

  size_t skip = 0;
  if (c.muxType == kMuxTablesThenProgram) {
    // PAT and PMT, each a transport packet at the head of a 2048-byte block.
    ASSERT_GE(bytes.size(), 4096u);
    EXPECT_EQ(bytes[0], 0x47);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[2048], 0x47);
    EXPECT_EQ(bytes[2050], 0xD0);
    skip = 4096;
  }
  // The program stream proper (after the table blocks of type 5) is what readers check.
  const std::vector<uint8_t> program(bytes.begin() + static_cast<long>(skip), bytes.end());
  const std::string path = orx::test::MakeTempDir("form") + "/out.mpg";
  ASSERT_TRUE(WriteBytes(path, program));
  const ProgramStreamWalk walk = WalkProgramStream(program, c.packSize);
  EXPECT_TRUE(walk.everyPackStartsWithBa);
  EXPECT_TRUE(walk.scrNeverDecreases);

  if (vcd) {
    // Two packs holding only a system header (video, then audio), then CBR at 75 packs per second.
    for (size_t pack = 0; pack < 2; ++pack) {
      const uint8_t* p = bytes.data() + pack * c.packSize;
      EXPECT_EQ(p[12 + 3], 0xBB);
      EXPECT_EQ(p[12 + 12], pack == 0 ? 0xE0 : 0xC0);
      EXPECT_EQ(p[12 + 15 + 3], 0xBE);  // padding after the one entry
    }
    for (size_t i = 1; i < walk.scr27MHz.size(); ++i)
      ASSERT_EQ(walk.scr27MHz[i] - walk.scr27MHz[i - 1], 27000000u / 75) << i;
    size_t audioPacks = 0, paddingPacks = 0;
    for (size_t at = 0; at < bytes.size(); at += c.packSize) {
      const uint8_t* p = bytes.data() + at;
      if (p[15] == 0xC0) {
        ++audioPacks;
        for (size_t i = c.packSize - 20; i < c.packSize; ++i) ASSERT_EQ(p[i], 0) << at;
      }
      if (p[15] == 0xBE) ++paddingPacks;
    }
    EXPECT_GT(audioPacks, 0u);
    EXPECT_GT(paddingPacks, 2u);
  }
  if (svcd) {
    EXPECT_GE(walk.muxRate, 2324u * 150);
  }
  if (c.muxType == kMuxDvdLargeBuffer) {
    ASSERT_GE(walk.firstSystemHeaderEntries.size(), 3u);
    EXPECT_EQ(walk.firstSystemHeaderEntries[0], 0xE0);
    EXPECT_EQ((walk.firstSystemHeaderEntries[1] & 0x1F) << 8 | walk.firstSystemHeaderEntries[2], 460);
    EXPECT_EQ(walk.muxRate, 10000000u);
  }

  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(orx::test::ProbeStream(path, "v:0")["codec_name"], c.mpeg1 || vcd ? "mpeg1video" : "mpeg2video");
  EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "mp2");
  std::vector<uint8_t> copied = CopyStream(path, "0:v", c.mpeg1 || vcd ? "mpeg1video" : "mpeg2video");
  std::vector<uint8_t> expected = video.bytes;
  expected.insert(expected.end(), kSequenceEnd.begin(), kSequenceEnd.end());
  // A VCD video pack ends on an even payload: one zero byte may follow the end code.
  if (vcd && copied.size() == expected.size() + 1 && copied.back() == 0) copied.pop_back();
  EXPECT_TRUE(copied == expected) << "video does not round-trip";
  EXPECT_TRUE(CopyStream(path, "0:a", "mp2") == audio.bytes) << "audio does not round-trip";
}

INSTANTIATE_TEST_SUITE_P(
    Core, ProgramForms,
    ::testing::Values(FormCase{"Generic0_Mpeg1", kMuxGenericPrivateTail, true, 2048},
                      FormCase{"Generic0_Mpeg2", kMuxGenericPrivateTail, false, 2048},
                      FormCase{"Generic1_Mpeg1", kMuxGeneric, true, 2048},
                      FormCase{"Generic1_Mpeg2", kMuxGeneric, false, 2048},
                      FormCase{"DvdLargeBuffer", kMuxDvdLargeBuffer, false, 2048},
                      FormCase{"Vcd", kMuxVcd, true, 2324},
                      FormCase{"Svcd", kMuxSvcd, false, 2324},
                      FormCase{"TablesThenProgram", kMuxTablesThenProgram, false, 2048}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST(ProgramForms, SizeLimitStartsNewSegments) {
  const EsFixture video = Mpeg2Video(720, 576, "25", 25, {"-g", "5"});
  const EsFixture audio = Mp2Audio(48000, 192, 1.0);
  CoreRun run;
  run.muxType = kMuxDvd;
  run.maxFileSize = 150000;
  run.video = &video.samples;
  run.audio = &audio.samples;
  MemoryBitStream out;
  ASSERT_TRUE(RunCore(run, out));
  ASSERT_GE(out.segments.size(), 3u);
  std::vector<uint8_t> videoBytes, audioBytes;
  const std::string dir = orx::test::MakeTempDir("segments");
  for (size_t i = 0; i < out.segments.size(); ++i) {
    const std::vector<uint8_t>& segment = out.segments[i];
    if (segment.empty()) continue;
    const std::string path = dir + "/segment" + std::to_string(i) + ".mpg";
    ASSERT_TRUE(WriteBytes(path, segment));
    const ProgramStreamWalk walk = WalkProgramStream(segment, 2048);
    EXPECT_TRUE(walk.everyPackStartsWithBa) << i;
    EXPECT_TRUE(walk.scrNeverDecreases) << i;
    EXPECT_EQ(walk.endCodes, 1u) << i;
    EXPECT_EQ(DecodeErrors(path), "") << i;
    // Each segment but the last stops at the first group that starts past the limit.
    if (i + 1 < out.segments.size()) {
      EXPECT_LT(segment.size(), 150000u + 200000u) << i;
    }
    // The audio left after the video's end makes an audio-only segment.
    if (!orx::test::ProbeStream(path, "v:0").empty()) {
      const std::vector<uint8_t> v = CopyStream(path, "0:v", "mpeg2video");
      videoBytes.insert(videoBytes.end(), v.begin(), v.end());
    }
    const std::vector<uint8_t> a = CopyStream(path, "0:a", "mp2");
    audioBytes.insert(audioBytes.end(), a.begin(), a.end());
  }
  // Together the segments carry every picture and every audio frame, each segment's video
  // ending with its own sequence end code.
  std::vector<uint8_t> stripped;
  for (size_t i = 0; i < videoBytes.size(); ++i) {
    if (i + 4 <= videoBytes.size() && std::equal(kSequenceEnd.begin(), kSequenceEnd.end(), videoBytes.begin() + static_cast<long>(i))) {
      i += 3;
      continue;
    }
    stripped.push_back(videoBytes[i]);
  }
  EXPECT_TRUE(stripped == video.bytes);
  EXPECT_TRUE(audioBytes == audio.bytes);
}

TEST(ProgramForms, OpenRefusals) {
  MemoryBitStream out;
  MuxVideoFormat video;
  MuxAudioFormat audio;
  struct Case {
    const char* name;
    uint32_t muxType;
    uint32_t audioClass;
    uint32_t sampleRate;
    uint32_t videoPresent = 1, audioPresent = 1;
    bool bitStream = true;
    bool accepted;
  };
  const Case cases[] = {
      {.name = "dvd", .muxType = kMuxDvd, .audioClass = kAudioClassMpeg, .sampleRate = 48000, .accepted = true},
      {.name = "lpcm 48k", .muxType = kMuxDvd, .audioClass = kAudioClassLpcm, .sampleRate = 48000, .accepted = true},
      {.name = "lpcm 96k", .muxType = kMuxDvd, .audioClass = kAudioClassLpcm, .sampleRate = 96000, .videoPresent = 0,
       .accepted = true},
      {.name = "lpcm 44.1k", .muxType = kMuxDvd, .audioClass = kAudioClassLpcm, .sampleRate = 44100,
       .accepted = false},
      {.name = "avi", .muxType = kMuxAvi, .audioClass = kAudioClassMpeg, .sampleRate = 48000, .accepted = true},
      {.name = "asf", .muxType = kMuxAsf, .audioClass = kAudioClassWma, .sampleRate = 48000, .accepted = true},
      {.name = "unknown type", .muxType = 13, .audioClass = kAudioClassMpeg, .sampleRate = 48000, .accepted = false},
      {.name = "mp4", .muxType = kMuxMp4, .audioClass = kAudioClassAac, .sampleRate = 48000, .accepted = true},
      {.name = "portable mp4", .muxType = kMuxMp4Portable, .audioClass = kAudioClassAac, .sampleRate = 48000,
       .accepted = true},
      {.name = "quicktime", .muxType = kMuxQuickTime, .audioClass = kAudioClassAac, .sampleRate = 48000,
       .accepted = true},
      {.name = "no streams", .muxType = kMuxDvd, .audioClass = kAudioClassMpeg, .sampleRate = 48000,
       .videoPresent = 0, .audioPresent = 0, .accepted = false},
      {.name = "present flag 2", .muxType = kMuxDvd, .audioClass = kAudioClassMpeg, .sampleRate = 48000,
       .videoPresent = 2, .accepted = false},
      {.name = "no bit stream", .muxType = kMuxDvd, .audioClass = kAudioClassMpeg, .sampleRate = 48000,
       .bitStream = false, .accepted = false},
  };
  for (const Case& c : cases) {
    IMultiplexer* mux = NewMultiplexer();
    audio.sampleRate = c.sampleRate;
    MuxConfig config;
    config.videoPresent = c.videoPresent;
    config.audioPresent = c.audioPresent;
    config.muxType = c.muxType;
    config.audioClass = c.audioClass;
    config.bitStream = c.bitStream ? &out : nullptr;
    config.audioFormat = &audio;
    config.videoFormat = &video;
    EXPECT_EQ(mux->Open(&config), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_FALSE(mux->Open(&config)) << c.name << ": a probing multiplexer is not opened again";
    }
    mux->Release();
  }
  IMultiplexer* mux = NewMultiplexer();
  EXPECT_FALSE(mux->Open(nullptr));
  mux->Release();
}

}  // namespace
}  // namespace orx::mux::test
