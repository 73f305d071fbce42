// AAC streams written by the encoder and read back by independent decoders (ffmpeg, faad).
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

TEST(AacStream, ToneDecodesInBothDecoders) {
  for (int channels : {2, 1}) {
    aenc::AudioEncoderConfig config = AacConfig(48000, channels, 128000);
    EncoderPtr encoder = MakeEncoder(config);
    ASSERT_TRUE(encoder);
    Pcm tone;
    ASSERT_TRUE(MakeTone(1000, 48000, channels, 1.0, tone));
    std::vector<uint8_t> stream = EncodePcm(*encoder, tone, 2);
    DecoderVerdict v = DecodeWithBoth(stream, MakeTempDir("aac_tone") + "/tone.aac");
    EXPECT_TRUE(v.ffmpegClean) << v.log;
    EXPECT_TRUE(v.faadClean) << v.log;
    int lag = AlignmentLag(tone, v.decoded, 4096);
    double snr = SnrDb(tone, v.decoded, lag, 4096, tone.Frames() - 2048);
    std::printf("channels %d lag %d snr %.2f bytes %zu\n", channels, lag, snr, stream.size());
  }
}

}  // namespace
}  // namespace orx::test
