// Every rate, bit rate and channel count the exporter offers, coded through libqvaaenc.so and
// checked by ffmpeg and ffprobe; the speech quality against ffmpeg's own mp2 encoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "media/media_codes.h"
#include "tests/aenc/aenc_driver.h"
#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

struct Choice {
  int rate, bitrate, channels;
};

std::vector<Choice> ExporterChoices() {
  std::vector<Choice> choices;
  for (int rate : {32000, 44100, 48000}) {
    for (int bitrate : {96000, 128000, 192000}) {
      for (int channels : {1, 2}) choices.push_back({rate, bitrate, channels});
    }
  }
  return choices;
}

// Codes pcm through the component, checks the stream with ffmpeg and ffprobe, answers the
// decoded samples.
Pcm CodeAndCheck(AencLibrary& library, const Pcm& pcm, const Choice& c, const std::string& path) {
  StreamRequest request;
  request.rate = c.rate;
  request.channels = c.channels;
  request.bitrate = static_cast<uint32_t>(c.bitrate);
  request.chunkBytes = static_cast<uint32_t>(c.rate / 4 * c.channels * 2);  // 250 ms, as the host renders
  std::vector<uint8_t> stream = EncodeThroughComponent(library, pcm, request);
  EXPECT_TRUE(WriteBytes(path, stream));
  Pcm decoded;
  std::string log;
  EXPECT_TRUE(DecodeAudio(path, decoded, &log)) << log;
  auto info = ProbeStream(path, "a:0", true);
  EXPECT_EQ(info["codec_name"], "mp2");
  EXPECT_EQ(info["sample_rate"], std::to_string(c.rate));
  EXPECT_EQ(info["channels"], std::to_string(c.channels));
  EXPECT_EQ(info["bit_rate"], std::to_string(c.bitrate));
  EXPECT_EQ(info["nb_read_frames"], std::to_string(ExpectedFrames(pcm.Frames())));
  return decoded;
}

// The inputs of one rate and channel count, made once for the bit rates that share them.
struct Inputs {
  Pcm tone, sweep, speech;
};
const Inputs& InputsFor(int rate, int channels, bool withSpeech) {
  static std::map<std::pair<int, int>, Inputs> made;
  Inputs& inputs = made[{rate, channels}];
  if (inputs.tone.samples.empty()) {
    EXPECT_TRUE(MakeTone(2.5 * rate / 64, rate, channels, 1.0, inputs.tone));  // subband 2's centre
    EXPECT_TRUE(MakeSweep(rate, channels, 1.0, inputs.sweep));
  }
  if (withSpeech && inputs.speech.samples.empty()) {
    EXPECT_TRUE(MakeSpeech(rate, channels, 3.0, inputs.speech));
  }
  return inputs;
}

void CheckChoice(AencLibrary& library, const Choice& c, bool withSpeech) {
  SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bitrate / 1000 << " kbit/s, " << c.channels << " ch");
  std::string dir = MakeTempDir("aenc");
  const Inputs& inputs = InputsFor(c.rate, c.channels, withSpeech);
  const Pcm& tone = inputs.tone;
  ASSERT_FALSE(tone.samples.empty());
  Pcm decoded = CodeAndCheck(library, tone, c, dir + "/tone.mp2");
  int lag = AlignmentLag(tone, decoded, 1500);
  double toneSnr = SnrDb(tone, decoded, lag, 2048, tone.Frames() - 2048);
  EXPECT_GE(toneSnr, 40.0);
  CodeAndCheck(library, inputs.sweep, c, dir + "/sweep.mp2");
  if (!withSpeech) {
    std::printf("%5d Hz %3d kbit/s %d ch: tone SNR %.1f dB\n", c.rate, c.bitrate / 1000, c.channels, toneSnr);
    return;
  }
  const Pcm& speech = inputs.speech;
  ASSERT_FALSE(speech.samples.empty());
  Pcm ours = CodeAndCheck(library, speech, c, dir + "/speech.mp2");
  double oursSnr = SegmentalSnrDb(speech, ours, AlignmentLag(speech, ours, 3000));
  // ffmpeg's mp2 encoder on the same samples.
  ASSERT_TRUE(WritePcm(dir + "/speech.raw", speech));
  ProcessResult r = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "s16le", "-ar", std::to_string(c.rate),
                                "-ac", std::to_string(c.channels), "-i", dir + "/speech.raw", "-c:a", "mp2", "-b:a",
                                std::to_string(c.bitrate), dir + "/ffmpeg.mp2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Pcm theirs;
  std::string log;
  ASSERT_TRUE(DecodeAudio(dir + "/ffmpeg.mp2", theirs, &log)) << log;
  double theirSnr = SegmentalSnrDb(speech, theirs, AlignmentLag(speech, theirs, 3000));
  // The fixed table of psyMode 0, through the core, for the record.
  aenc::AudioEncoderConfig config = Layer2Config(c.rate, c.channels, c.bitrate, 0);
  EncoderPtr fixed = MakeEncoder(config);
  ASSERT_TRUE(WriteBytes(dir + "/fixed.mp2", EncodePcm(*fixed, speech)));
  Pcm fixedDecoded;
  ASSERT_TRUE(DecodeAudio(dir + "/fixed.mp2", fixedDecoded, &log)) << log;
  double fixedSnr = SegmentalSnrDb(speech, fixedDecoded, AlignmentLag(speech, fixedDecoded, 3000));
  std::printf("%5d Hz %3d kbit/s %d ch: tone SNR %.1f dB; speech segmental SNR ours %.2f dB, ffmpeg %.2f dB, "
              "ratio %.3f; psyMode 0 %.2f dB\n",
              c.rate, c.bitrate / 1000, c.channels, toneSnr, oursSnr, theirSnr, oursSnr / theirSnr, fixedSnr);
  EXPECT_GE(oursSnr, 0.8 * theirSnr);
}

TEST(AencExport, EveryExporterChoice) {
  ORX_RELEASE_ONLY();
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  for (const Choice& c : ExporterChoices()) CheckChoice(library, c, true);
}

// The same checks, short, for the sanitizer build: one choice per rate.
TEST(AencExport, OneChoicePerRate) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  for (const Choice& c : {Choice{32000, 96000, 1}, Choice{44100, 128000, 2}, Choice{48000, 192000, 2}})
    CheckChoice(library, c, false);
}

}  // namespace
}  // namespace orx::test
