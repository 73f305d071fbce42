// Streams written by the encoder core, decoded by ffmpeg.
#include <gtest/gtest.h>

#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

TEST(AencStream, ToneDecodesWithHighSnr) {
  Pcm tone;
  ASSERT_TRUE(MakeTone(1875.0, 48000, 2, 1.0, tone));
  auto config = Layer2Config(48000, 2, 128000);
  EncoderPtr encoder = MakeEncoder(config);
  ASSERT_TRUE(encoder);
  std::vector<uint8_t> stream = EncodePcm(*encoder, tone);
  std::string dir = MakeTempDir("aenc");
  ASSERT_TRUE(WriteBytes(dir + "/out.mp2", stream));
  Pcm decoded;
  std::string log;
  ASSERT_TRUE(DecodeAudio(dir + "/out.mp2", decoded, &log)) << log;
  int lag = AlignmentLag(tone, decoded, 2000);
  double snr = SnrDb(tone, decoded, lag, 2048, tone.Frames() - 2048);
  std::printf("lag %d snr %.2f dB\n", lag, snr);
  EXPECT_GE(snr, 40.0);
}

}  // namespace
}  // namespace orx::test
