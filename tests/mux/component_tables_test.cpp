// The component's mapping of media types to the multiplexer's configuration, its queue sizing,
// URL handling and the H.264 codec-private conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/media_codes.h"
#include "mux/component/mux_format_mapping.h"
#include "mux/core/mux_interfaces.h"

namespace orx::mux {
namespace {

TEST(ComponentTables, ConfigureChoosesClassHintAndContainer) {
  struct Case {
    uint32_t video, audio;
    bool outputKnown;
    uint32_t output;
    uint32_t audioClass, hint, muxType;
  };
  const Case cases[] = {
      {0x2, 0x12, true, 0x80005, kAudioClassMpeg, kHintDetect, kMuxDvd},
      {0x2, 0x400, true, 0x80005, kAudioClassLpcm, kHintDetect, kMuxDvd},
      {0x2, 0x200, true, 0x80005, kAudioClassAc3, kHintDetect, kMuxDvd},
      {0x2, 0x12, true, 0x80009, kAudioClassMpeg, kHintDetect, kMuxTransport},
      {0x2, 0x12, true, 0x12345, kAudioClassMpeg, kHintDetect, kMuxDvd},
      {0x2, 0x12, false, 0, kAudioClassMpeg, kHintDetect, kMuxDvd},
      {0x7, 0x401, true, 0x81000, kAudioClassAac, kHintH264, kMuxQuickTime},
      {0x8, 0x13, false, 0, kAudioClassMpeg, kHintH264, kMuxQuickTime},
      {0x5, 0x0, false, 0, kAudioClassAac, kHintDetect, kMuxMp4},
      {0x5, 0x13, true, 0x80009, kAudioClassMpeg, kHintDetect, kMuxTransport},  // MPEG audio stays MPEG audio
      {0x5, 0x401, true, 0x80009, kAudioClassAac, kHintDetect, kMuxTransport},
      {0x45, 0x100, true, 0x80010, kAudioClassWma, kHintVc1, kMuxAsf},
      {0x43, 0x0, false, 0, kAudioClassWma, kHintWmv9, kMuxAsf},
      {0x43, 0x12, true, 0x80040, kAudioClassMpeg, kHintWmv9, kMuxAvi},         // likewise beside WMV
      {0x2, 0x100, true, 0x80005, kAudioClassWma, kHintDetect, kMuxDvd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "video 0x" << c.video << ", audio 0x" << c.audio << ", output "
                                    << (c.outputKnown ? "0x" : "unknown ") << c.output);
    const MuxFormatChoice choice = ChooseMuxFormat(c.video, c.audio, c.outputKnown, c.output);
    EXPECT_EQ(choice.audioClass, c.audioClass);
    EXPECT_EQ(choice.codecHint, c.hint);
    EXPECT_EQ(choice.muxType, c.muxType);
  }
}

TEST(ComponentTables, VideoFormatAndAspectReduction) {
  struct Case {
    uint32_t width, height, parH, parV, secondParH, secondParV;
    uint32_t aspectX, aspectY;
  };
  const Case cases[] = {
      {720, 480, 8, 9, 0, 0, 576, 432},   // 5760:4320 -> 576:432
      {720, 480, 10, 11, 0, 0, 720, 528},
      {720, 480, 1, 1, 40, 33, 288, 158}, // the second pair wins: 28800:15840 -> 288:158
      {720, 576, 0, 0, 0, 0, 4, 3},       // no pixel aspect: 4:3
      {100, 100, 1, 1, 0, 0, 100, 100},
  };
  for (const Case& c : cases) {
    VideoMediaType type{};
    type.width = c.width;
    type.height = c.height;
    type.PARh = c.parH;
    type.PARv = c.parV;
    type.secondPARh = c.secondParH;
    type.secondPARv = c.secondParV;
    type.FrameRate = 29970;
    type.BitrateMax = 6000000;
    MuxVideoFormat format;
    TakeVideoFormat(type, format);
    EXPECT_EQ(format.aspectX, c.aspectX) << c.parH << ":" << c.parV;
    EXPECT_EQ(format.aspectY, c.aspectY) << c.parH << ":" << c.parV;
    EXPECT_EQ(format.width, c.width);
    EXPECT_EQ(format.frameRateNum, 29970u);
    EXPECT_EQ(format.frameRateDen, 1000u);
    EXPECT_EQ(format.bitrate, 6000000u);
  }
  // Zero rates keep what the format had.
  VideoMediaType empty{};
  MuxVideoFormat format;
  TakeVideoFormat(empty, format);
  EXPECT_EQ(format.bitrate, 4000000u);
  EXPECT_EQ(format.frameRateNum, 30000u);
}

TEST(ComponentTables, AudioFormat) {
  AudioMediaType type{};
  type.SamplRate = 44100;
  type.Channels = 2;
  type.Bitrate = 192000;
  MuxAudioFormat format;
  ASSERT_TRUE(TakeAudioFormat(type, kAudioClassAac, format));
  EXPECT_EQ(format.bitrate, 128000u);  // the word at byte 52 is 0: the previous value stays
  EXPECT_EQ(format.bitsPerSample, 16u);
  EXPECT_EQ(format.blockAlign, 4u);
  EXPECT_EQ(format.formatTag, 0u);
  type.secondBitrate = 96000;
  const uint8_t wma[10] = {0, 0, 0, 0, 0, 0, 0x34, 0x12, 0, 0};
  type.codecPrivateLength = sizeof(wma);
  std::memcpy(type.codecPrivate, wma, sizeof(wma));
  ASSERT_TRUE(TakeAudioFormat(type, kAudioClassWma, format));
  EXPECT_EQ(format.bitrate, 96000u);
  EXPECT_EQ(format.formatTag, 353u);
  EXPECT_EQ(format.blockAlign, 0x1234u);
  type.codecPrivateLength = 32;
  EXPECT_TRUE(TakeAudioFormat(type, kAudioClassWma, format));
  type.codecPrivateLength = 33;  // does not fit the 32-byte area
  EXPECT_FALSE(TakeAudioFormat(type, kAudioClassWma, format));
}

TEST(ComponentTables, VideoQueueCount) {
  EXPECT_EQ(VideoQueueCountForBitRate(4000000), 256u);
  EXPECT_EQ(VideoQueueCountForBitRate(8000000), 512u);
  EXPECT_EQ(VideoQueueCountForBitRate(0), 0u);
  EXPECT_EQ(VideoQueueCountForBitRate(1), 0u);
  EXPECT_EQ(VideoQueueCountForBitRate(15000000), 1024u);
}

TEST(ComponentTables, FileUrls) {
  struct Case {
    const char* url;
    uint32_t status;
    const char* path;
  };
  const std::string longPath(299, 'a');
  const std::string tooLong(300, 'a');
  const std::string longUrl = "file:" + longPath;
  const Case cases[] = {
      {"file:/tmp/out.mpg", 0, "tmp/out.mpg"},
      {"FILE:/tmp/out.mpg", 0, "tmp/out.mpg"},
      {"File:/x", 0, "x"},
      {"file:out.mpg", 0, "out.mpg"},
      {"/tmp/out.mpg", 0, "/tmp/out.mpg"},
      {"FILE:out.mpg", 0, "FILE:out.mpg"},
      {longUrl.c_str(), 0, longPath.c_str()},
      {tooLong.c_str(), 3, ""},
      {nullptr, 3, ""},
  };
  for (const Case& c : cases) {
    char name[300] = "";
    EXPECT_EQ(TakeFileUrl(c.url, name, sizeof(name)), c.status) << (c.url ? c.url : "null");
    if (c.status == 0) {
      EXPECT_STREQ(name, c.path);
    }
  }
}

TEST(ComponentTables, AvcCToAnnexB) {
  const std::vector<uint8_t> sps = {0x67, 0x42, 0x00, 0x1E, 0xAB};
  const std::vector<uint8_t> pps = {0x68, 0xCE, 0x3C, 0x80};
  std::vector<uint8_t> avcc = {0x01, 0x42, 0x00, 0x1E, 0xFF, 0xE1, 0x00, 0x05};  // compatibility byte 0
  avcc.insert(avcc.end(), sps.begin(), sps.end());
  avcc.insert(avcc.end(), {0x01, 0x00, 0x04});
  avcc.insert(avcc.end(), pps.begin(), pps.end());
  std::vector<uint8_t> annexB = {0, 0, 0, 1};
  annexB.insert(annexB.end(), sps.begin(), sps.end());
  annexB.insert(annexB.end(), {0, 0, 0, 1});
  annexB.insert(annexB.end(), pps.begin(), pps.end());
  std::vector<uint8_t> threeByte = {0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE};
  std::vector<uint8_t> fourByte = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE};

  struct Case {
    const char* name;
    std::vector<uint8_t> record;
    std::vector<uint8_t> expected;
  };
  std::vector<Case> cases = {
      {"avcC with compatibility 0", avcc, annexB},
      {"3-byte Annex B", threeByte, threeByte},
      {"4-byte Annex B", fourByte, fourByte},
      {"avcC truncated in the SPS", std::vector<uint8_t>(avcc.begin(), avcc.begin() + 10), {}},
      {"avcC truncated in the PPS", std::vector<uint8_t>(avcc.begin(), avcc.end() - 1), {}},
      {"avcC SPS length past the end", {0x01, 0x42, 0x00, 0x1E, 0xFF, 0xE1, 0x00, 0x40, 0x67}, {}},
      {"not a record", {0x05, 0x06}, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out(256, 0xEE);
    const size_t written = AvcCToAnnexB(c.record.data(), c.record.size(), out.data(), out.size());
    out.resize(written);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(ComponentTables, ByteSwaps) {
  EXPECT_EQ(ByteSwap32(0x11223344u), 0x44332211u);
  uint8_t pcm[5] = {1, 2, 3, 4, 5};
  SwapSampleBytes(pcm, sizeof(pcm));
  EXPECT_EQ(std::vector<uint8_t>(pcm, pcm + 5), (std::vector<uint8_t>{2, 1, 4, 3, 5}));
}

}  // namespace
}  // namespace orx::mux
