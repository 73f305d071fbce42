// Our MPEG-1 Layer III stream carried by the multiplexer: in a generic MPEG-1 program stream and
// in MP4, ffprobe reads mp3 and a stream copy gives the frames back byte for byte.
#include <gtest/gtest.h>

#include "mux/core/mux_interfaces.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_harness.h"
#include "tests/mux/own_encoder_fixtures.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

TEST(Layer3Side, ProgramStreamAndMp4CarryTheFramesUnchanged) {
  const EsFixture mp3 = OurMp3Audio(1.0);
  ASSERT_FALSE(mp3.samples.empty());
  const EsFixture video = Mpeg1Video(352, 288, "25", 25, "1150k");
  struct Case {
    const char* name;
    uint32_t muxType;
    bool withVideo;
    const char* file;
  } cases[] = {
      {"generic MPEG-1 program stream", kMuxGeneric, true, "out.mpg"},
      {"MP4", kMuxMp4, false, "out.mp4"},
  };
  const std::string dir = orx::test::MakeTempDir("l3side");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CoreRun run;
    run.muxType = c.muxType;
    run.audioClass = kAudioClassMpeg;
    run.audioFormat.sampleRate = 48000;
    run.audioFormat.channels = 2;
    run.audioFormat.bitrate = 128000;
    run.audio = &mp3.samples;
    if (c.withVideo) run.video = &video.samples;
    MemoryBitStream out;
    ASSERT_TRUE(RunCore(run, out));
    const std::string path = dir + "/" + c.file;
    ASSERT_TRUE(WriteBytes(path, out.segments[0]));
    auto info = orx::test::ProbeStream(path, "a:0");
    EXPECT_EQ(info["codec_name"], "mp3");
    EXPECT_EQ(info["sample_rate"], "48000");
    EXPECT_EQ(info["channels"], "2");
    EXPECT_EQ(DecodeErrors(path), "");
    EXPECT_TRUE(CopyStream(path, "0:a", "mp3") == mp3.bytes) << "the frames differ after a stream copy";
  }
}

}  // namespace
}  // namespace orx::mux::test
