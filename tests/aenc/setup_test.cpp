// What the component derives from its pin formats, without the component.
#include <gtest/gtest.h>

#include <cstring>

#include "aenc/component/audio_encoder_setup.h"
#include "media/media_codes.h"
#include "tests/aenc/aenc_driver.h"

namespace orx::test {
namespace {

using aenc::AudioEncoderConfig;

TEST(AencSetup, ConfigFromThePinFormats) {
  struct Case {
    uint32_t rate;
    uint16_t channels;
    uint32_t subtype, bitrate;
    uint32_t mode, sampleRate, codec, layer, configBitrate;
  } cases[] = {
      {.rate = 48000, .channels = 2, .subtype = QVA_MSUBTYPE_MPA2, .bitrate = 192000, .mode = 0, .sampleRate = 48000,
       .codec = 1, .layer = 2, .configBitrate = 192000},
      {.rate = 44100, .channels = 1, .subtype = QVA_MSUBTYPE_MPA2, .bitrate = 0, .mode = 3, .sampleRate = 44100,
       .codec = 1, .layer = 2, .configBitrate = 128000},  // bit rate 0: 128000
      {.rate = 0, .channels = 2, .subtype = 0x10, .bitrate = 96000, .mode = 0, .sampleRate = 48000, .codec = 1,
       .layer = 2, .configBitrate = 96000},  // rate 0: 48 kHz; 0x10 as Layer II
      {.rate = 22050, .channels = 2, .subtype = QVA_MSUBTYPE_MPA2, .bitrate = 64000, .mode = 0, .sampleRate = 22050,
       .codec = 1, .layer = 2, .configBitrate = 64000},  // kept, not raised to 32000
      {.rate = 11025, .channels = 1, .subtype = QVA_MSUBTYPE_MPA2, .bitrate = 64000, .mode = 3, .sampleRate = 11025,
       .codec = 1, .layer = 2, .configBitrate = 64000},  // kept; refused at open
      {.rate = 48000, .channels = 2, .subtype = 0x11, .bitrate = 128000, .mode = 0, .sampleRate = 48000, .codec = 1,
       .layer = 1, .configBitrate = 128000},
      {.rate = 48000, .channels = 2, .subtype = QVA_MSUBTYPE_MPA3, .bitrate = 128000, .mode = 0, .sampleRate = 48000,
       .codec = 1, .layer = 3, .configBitrate = 128000},
      {.rate = 48000, .channels = 2, .subtype = 0x200, .bitrate = 128000, .mode = 0, .sampleRate = 48000, .codec = 2,
       .layer = 0, .configBitrate = 128000},
      {.rate = 48000, .channels = 2, .subtype = QVA_MSUBTYPE_AAC, .bitrate = 128000, .mode = 0, .sampleRate = 48000,
       .codec = 3, .layer = 0, .configBitrate = 128000},
      {.rate = 48000, .channels = 2, .subtype = QVA_MSUBTYPE_WMA, .bitrate = 128000, .mode = 0, .sampleRate = 48000,
       .codec = 4, .layer = 0, .configBitrate = 128000},
  };
  for (const Case& c : cases) {
    AudioEncoderConfig config;
    config.frameSamples = 2304;
    config.maxFrameBytes = 388;
    aenc::MakeAudioEncoderConfig(PcmType(c.rate, c.channels), CodedType(c.subtype, c.bitrate), config);
    SCOPED_TRACE(testing::Message() << std::hex << c.subtype << std::dec << " " << c.rate);
    EXPECT_EQ(config.mode, c.mode);
    EXPECT_EQ(config.sampleRate, c.sampleRate);
    EXPECT_EQ(config.codec, c.codec);
    EXPECT_EQ(config.layer, c.layer);
    EXPECT_EQ(config.bitrate, c.configBitrate);
    EXPECT_EQ(config.psyMode, 1u);
    EXPECT_EQ(config.frameSamples, 8000u);
    EXPECT_EQ(config.maxFrameBytes, 0u);
    EXPECT_EQ(config.crc, 0);
  }
}

TEST(AencSetup, LayerTwoAtTheSixMpegRatesLayerThreeAtThreeAndAacAtItsTwelveAreCodable) {
  for (uint32_t subtype : {0x10u, 0x12u, 0x13u, 0x401u}) EXPECT_TRUE(aenc::IsCodableOutputSubtype(subtype));
  for (uint32_t rate : {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u, 64000u, 88200u, 96000u}) {
    AudioEncoderConfig config;
    aenc::MakeAudioEncoderConfig(PcmType(rate, 1), CodedType(QVA_MSUBTYPE_AAC, 64000), config);
    EXPECT_EQ(aenc::CheckCodableConfig(config), 0u) << rate;
  }
  for (uint32_t rate : {7999u, 11000u, 47000u, 192000u}) {
    AudioEncoderConfig config;
    aenc::MakeAudioEncoderConfig(PcmType(rate, 1), CodedType(QVA_MSUBTYPE_AAC, 64000), config);
    EXPECT_EQ(aenc::CheckCodableConfig(config), 40u) << rate;
  }
  for (uint32_t subtype : {0x11u, 0x200u, 0x100u, 0x400u, 0u})
    EXPECT_FALSE(aenc::IsCodableOutputSubtype(subtype)) << std::hex << subtype;
  for (uint32_t rate : {16000u, 22050u, 24000u, 32000u, 44100u, 48000u}) {
    AudioEncoderConfig config;
    aenc::MakeAudioEncoderConfig(PcmType(rate, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000), config);
    EXPECT_EQ(aenc::CheckCodableConfig(config), 0u) << rate;
  }
  for (uint32_t rate : {8000u, 11025u, 12000u, 88200u, 96000u}) {
    AudioEncoderConfig config;
    aenc::MakeAudioEncoderConfig(PcmType(rate, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000), config);
    EXPECT_EQ(aenc::CheckCodableConfig(config), 40u) << rate;
  }
  // Layer III: the MPEG-1 rates only (its frames carry MPEG-1 side information).
  struct Layer3Rate {
    uint32_t rate, status;
  } layer3Rates[] = {{32000, 0}, {44100, 0}, {48000, 0}, {16000, 40}, {22050, 40}, {24000, 40}, {11025, 40}, {96000, 40}};
  for (const Layer3Rate& r : layer3Rates) {
    AudioEncoderConfig layer3;
    aenc::MakeAudioEncoderConfig(PcmType(r.rate, 2), CodedType(QVA_MSUBTYPE_MPA3, 128000), layer3);
    EXPECT_EQ(layer3.layer, 3u);
    EXPECT_EQ(aenc::CheckCodableConfig(layer3), r.status) << r.rate;
  }
}

TEST(AencSetup, WmaBlockInfoAndCodecPrivate) {
  struct Case {
    uint32_t rate, bitrate, samples, bytes;
  } cases[] = {
      {48000, 128000, 2048, 683},  // (2048 x 128000 + 24000) / 48000 = 5461 bits
      {22050, 64000, 1024, 372},
      {16000, 32000, 512, 128},
      {44100, 1, 2048, 2},  // at least 2 bytes
      {0, 128000, 0, 0},
      {48000, 0, 0, 0},
  };
  for (const Case& c : cases) {
    uint32_t samples, bytes;
    aenc::WmaBlockInfo(c.rate, c.bitrate, samples, bytes);
    EXPECT_EQ(samples, c.samples) << c.rate;
    EXPECT_EQ(bytes, c.bytes) << c.rate;
  }
  AudioMediaType type{};
  aenc::WriteWmaCodecPrivate(type, 2048, 0x12345);
  const uint8_t expected[10] = {0x00, 0x08, 0, 0, 0x01, 0x00, 0x45, 0x23, 0x01, 0x00};
  EXPECT_EQ(type.codecPrivateLength, 10u);
  EXPECT_EQ(0, std::memcmp(type.codecPrivate, expected, 10));
}

}  // namespace
}  // namespace orx::test
