// Layer III streams written by the encoder core, decoded by ffmpeg and mpg123.
#include <gtest/gtest.h>

#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/layer3_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

TEST(Layer3Stream, ToneDecodes) {
  for (int rate : {48000, 44100, 32000}) {
    for (int channels : {2, 1}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz " << channels << " ch");
      Pcm tone;
      ASSERT_TRUE(MakeTone(2.5 * rate / 64, rate, channels, 1.0, tone));
      aenc::AudioEncoderConfig config = Layer3Config(rate, channels, 128000);
      EncoderPtr encoder = MakeEncoder(config);
      ASSERT_TRUE(encoder);
      std::vector<uint8_t> stream = EncodePcm(*encoder, tone);
      Mp3Verdict v = CheckMp3(stream, MakeTempDir("l3") + "/tone.mp3");
      EXPECT_TRUE(v.ffmpegClean) << v.log;
      EXPECT_TRUE(v.mpg123Clean) << v.log;
      EXPECT_TRUE(v.mp3valClean) << v.log;
      const int lag = AlignmentLag(tone, v.decoded, 3000);
      const double snr = SnrDb(tone, v.decoded, lag, 2048, tone.Frames() - 2048);
      std::printf("%d Hz %d ch: SNR %.1f dB lag %d, %zu bytes\n", rate, channels, snr, lag, stream.size());
    }
  }
}

}  // namespace
}  // namespace orx::test
