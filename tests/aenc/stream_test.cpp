// Streams written by the encoder core, decoded and probed by ffmpeg.
#include <gtest/gtest.h>

#include "tests/aenc/aenc_driver.h"
#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

struct SideRoad {
  const char* name;
  int rate, channels, bitrate;
  int psyMode = 1;
  bool crc = false;
  std::vector<std::string> decodeArgs = {};
  double minSnr = 40;  // the fixed tables of psyMode 0 and 2 spend bits less well on a tone
};

// Encodes a tone with the core, decodes it with ffmpeg, compares.
void CheckSideRoad(const SideRoad& road) {
  SCOPED_TRACE(road.name);
  Pcm tone;
  double frequency = 2.5 * road.rate / 64;  // the centre of subband 2
  ASSERT_TRUE(MakeTone(frequency, road.rate, road.channels, 0.5, tone));
  aenc::AudioEncoderConfig config = Layer2Config(road.rate, road.channels, road.bitrate, road.psyMode);
  config.crc = road.crc;
  EncoderPtr encoder = MakeEncoder(config);
  ASSERT_TRUE(encoder);
  std::vector<uint8_t> stream = EncodePcm(*encoder, tone);
  std::string path = MakeTempDir("aenc") + "/out.mp2";
  ASSERT_TRUE(WriteBytes(path, stream));
  Pcm decoded;
  std::string log;
  ASSERT_TRUE(DecodeAudio(path, decoded, &log, road.decodeArgs)) << log;
  EXPECT_EQ(decoded.rate, road.rate);
  EXPECT_EQ(decoded.channels, road.channels);
  int lag = AlignmentLag(tone, decoded, 1500);
  double snr = SnrDb(tone, decoded, lag, 2048, tone.Frames() - 2048);
  std::printf("%-28s SNR %.1f dB\n", road.name, snr);
  EXPECT_GE(snr, road.minSnr);
  auto info = ProbeStream(path, "a:0");
  EXPECT_EQ(info["codec_name"], "mp2");
  EXPECT_EQ(info["bit_rate"], std::to_string(road.bitrate));
  // The header's ID bit: 1 for MPEG-1, 0 for the lower sampling frequencies of MPEG-2.
  EXPECT_EQ((stream[1] >> 3) & 1, road.rate >= 32000 ? 1 : 0);
  EXPECT_EQ(stream[1] & 1, road.crc ? 0 : 1);  // protection_bit 0: a CRC follows
}

TEST(AencStream, SideRoadsDecode) {
  const std::vector<std::string> crcCheck = {"-err_detect", "crccheck"};
  const SideRoad roads[] = {
      {.name = "CRC, stereo", .rate = 48000, .channels = 2, .bitrate = 192000, .crc = true, .decodeArgs = crcCheck},
      {.name = "CRC, mono at 44.1 kHz", .rate = 44100, .channels = 1, .bitrate = 96000, .crc = true,
       .decodeArgs = crcCheck},
      {.name = "psyMode 2", .rate = 48000, .channels = 2, .bitrate = 128000, .psyMode = 2, .minSnr = 30},
      {.name = "psyMode 0", .rate = 32000, .channels = 1, .bitrate = 96000, .psyMode = 0, .minSnr = 30},
      {.name = "16 kHz as MPEG-2", .rate = 16000, .channels = 1, .bitrate = 64000},
      {.name = "22.05 kHz as MPEG-2", .rate = 22050, .channels = 2, .bitrate = 96000},
      {.name = "24 kHz as MPEG-2 with CRC", .rate = 24000, .channels = 2, .bitrate = 128000, .crc = true,
       .decodeArgs = crcCheck},
  };
  for (const SideRoad& road : roads) CheckSideRoad(road);
}

TEST(AencStream, CrcCheckCatchesACorruptedFrame) {
  Pcm tone;
  ASSERT_TRUE(MakeTone(1875, 48000, 2, 0.2, tone));
  aenc::AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  config.crc = 1;
  EncoderPtr encoder = MakeEncoder(config);
  std::vector<uint8_t> stream = EncodePcm(*encoder, tone);
  stream[384 * 2 + 6] ^= 0x10;  // an allocation bit of the third frame
  std::string path = MakeTempDir("aenc") + "/bad.mp2";
  ASSERT_TRUE(WriteBytes(path, stream));
  Pcm decoded;
  EXPECT_FALSE(DecodeAudio(path, decoded, nullptr, {"-err_detect", "crccheck"}));
}

// Two encoders on two threads write the same bytes as one encoder alone.
TEST(AencThreads, TwoEncodersMatchOneAtATime) {
  Pcm input;
  ASSERT_TRUE(MakeTone(1000, 48000, 2, 0.3, input));
  for (size_t i = 0; i < input.samples.size(); i += 7) input.samples[i] = static_cast<int16_t>(input.samples[i] / 2 + 300);
  ExpectSameBytesOnTwoThreads([&input] {
    aenc::AudioEncoderConfig config = Layer2Config(48000, 2, 192000);
    EncoderPtr encoder = MakeEncoder(config);
    return EncodePcm(*encoder, input);
  });
}

}  // namespace
}  // namespace orx::test
