// Byte vectors of the system-layer writers and of the pack layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mux/syntax/pack_layout.h"
#include "mux/syntax/pack_syntax.h"

namespace orx::mux {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(const uint8_t* data, size_t length) { return Bytes(data, data + length); }

// Reads the 33-bit value of a 5-byte timestamp field and checks its marker bits.
uint64_t ReadTimestamp(const uint8_t* p, uint32_t* prefix = nullptr) {
  EXPECT_EQ(p[0] & 1, 1);
  EXPECT_EQ(p[2] & 1, 1);
  EXPECT_EQ(p[4] & 1, 1);
  if (prefix) *prefix = p[0] >> 4;
  return (static_cast<uint64_t>(p[0] >> 1) & 7) << 30 | static_cast<uint64_t>(p[1]) << 22 |
         static_cast<uint64_t>(p[2] >> 1) << 15 | static_cast<uint64_t>(p[3]) << 7 | p[4] >> 1;
}

// SCR base and extension of an MPEG-2 pack header.
void ReadScr(const uint8_t* p, uint64_t& base, uint32_t& extension) {
  base = (static_cast<uint64_t>(p[4] >> 3) & 7) << 30 | static_cast<uint64_t>(p[4] & 3) << 28 |
         static_cast<uint64_t>(p[5]) << 20 | static_cast<uint64_t>(p[6] >> 3) << 15 |
         static_cast<uint64_t>(p[6] & 3) << 13 | static_cast<uint64_t>(p[7]) << 5 | p[8] >> 3;
  extension = (p[8] & 3u) << 7 | p[9] >> 1;
}

TEST(PackSyntax, PackHeaderClock) {
  struct Case {
    uint64_t scr;
    uint64_t base;
    uint32_t extension;
  };
  for (const Case& c : {Case{27000000, 90000, 0}, Case{0, 0, 0}, Case{299, 0, 299},
                        Case{(1ull << 33) * 300 - 1, (1ull << 33) - 1, 299}}) {
    uint8_t pack[16];
    ASSERT_EQ(CPackSyntax::WritePackHeader(pack, true, c.scr, 1260000, 0), 14u);
    uint64_t base;
    uint32_t extension;
    ReadScr(pack, base, extension);
    EXPECT_EQ(base, c.base) << c.scr;
    EXPECT_EQ(extension, c.extension) << c.scr;
    EXPECT_EQ(pack[4] & 0xC4, 0x44);
    // mux_rate in 50-byte units, then the marker bits and no stuffing.
    EXPECT_EQ((pack[10] << 14 | pack[11] << 6 | pack[12] >> 2), 25200);
    EXPECT_EQ(pack[12] & 3, 3);
    EXPECT_EQ(pack[13], 0xF8);
  }
  uint8_t mpeg1[12];
  ASSERT_EQ(CPackSyntax::WritePackHeader(mpeg1, false, 27000000, 174300, 0), 12u);
  uint32_t prefix;
  EXPECT_EQ(ReadTimestamp(mpeg1 + 4, &prefix), 90000u);
  EXPECT_EQ(prefix, 2u);
  EXPECT_EQ(((mpeg1[9] & 0x7F) << 15 | mpeg1[10] << 7 | mpeg1[11] >> 1), 3486);
}

TEST(PackSyntax, PesHeaders) {
  struct Case {
    const char* name;
    uint32_t mpeg2, hasPts, hasDts, hasStd;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {"mpeg2 pts", 1, 1, 0, 0, {0, 0, 1, 0xE0, 0x07, 0xD0, 0x81, 0x80, 0x05, 0x21, 0x00, 0x05, 0xBF, 0x21}},
      {"mpeg2 pts dts", 1, 1, 1, 0,
       {0, 0, 1, 0xE0, 0x07, 0xD0, 0x81, 0xC0, 0x0A, 0x31, 0x00, 0x05, 0xBF, 0x21, 0x11, 0x00, 0x05, 0xA7, 0xB1}},
      {"mpeg2 pts std", 1, 1, 0, 1,
       {0, 0, 1, 0xE0, 0x07, 0xD0, 0x81, 0x81, 0x08, 0x21, 0x00, 0x05, 0xBF, 0x21, 0x1E, 0x60, 0xE8}},
      {"mpeg2 none", 1, 0, 0, 0, {0, 0, 1, 0xE0, 0x07, 0xD0, 0x81, 0x00, 0x00}},
      {"mpeg1 pts", 0, 1, 0, 0, {0, 0, 1, 0xE0, 0x07, 0xD0, 0x21, 0x00, 0x05, 0xBF, 0x21}},
      {"mpeg1 pts dts std", 0, 1, 1, 1,
       {0, 0, 1, 0xE0, 0x07, 0xD0, 0x60, 0xE8, 0x31, 0x00, 0x05, 0xBF, 0x21, 0x11, 0x00, 0x05, 0xA7, 0xB1}},
      {"mpeg1 none", 0, 0, 0, 0, {0, 0, 1, 0xE0, 0x07, 0xD0, 0x0F}},
  };
  for (const Case& c : cases) {
    PesHeaderSpec spec;
    spec.mpeg2 = c.mpeg2;
    spec.streamId = 0xE0;
    spec.hasPts = c.hasPts;
    spec.hasDts = c.hasDts;
    spec.hasStd = c.hasStd;
    spec.stdScale = 1;
    spec.stdSize = 232;
    spec.pts = 90000;
    spec.dts = 87000;
    spec.pesLength = 2000;
    uint8_t buffer[64];
    const size_t length = CPackSyntax::WritePesHeader(buffer, spec);
    EXPECT_EQ(length, CPackSyntax::PesHeaderLength(spec)) << c.name;
    EXPECT_EQ(Written(buffer, length), c.expected) << c.name;
  }
  // Stuffing bytes follow the MPEG-2 optional fields and are counted in the header data length.
  PesHeaderSpec stuffed;
  stuffed.streamId = 0xC0;
  stuffed.hasPts = 1;
  stuffed.stuffing = 3;
  uint8_t buffer[32];
  ASSERT_EQ(CPackSyntax::WritePesHeader(buffer, stuffed), 17u);
  EXPECT_EQ(buffer[8], 8);
  EXPECT_EQ(Written(buffer + 14, 3), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(PackSyntax, DvdSystemHeader) {
  SystemHeaderInfo info;
  info.rate = 1260000;
  info.packetRateRestriction = 1;
  info.allVideo = 1;
  info.allAudio = 1;
  info.videoCount = 1;
  info.audioCount = 1;
  info.videoLock = 1;
  info.audioLock = 1;
  info.videoScale = 1;
  info.videoBound = 232;
  info.audioScale = 0;
  info.audioBound = 32;
  uint8_t buffer[64];
  const size_t length = CPackSyntax::WriteSystemHeader(buffer, info);
  EXPECT_EQ(length, 18u);
  EXPECT_EQ(Written(buffer, length), (Bytes{0, 0, 1, 0xBB, 0x00, 0x0C, 0x80, 0xC4, 0xE1, 0x04, 0xE1, 0xFF,
                                            0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20}));
  info.allVideo = 0;
  info.allAudio = 0;
  info.private1Entry = 1;
  EXPECT_EQ(CPackSyntax::WriteSystemHeader(buffer, info), 21u);
  EXPECT_EQ(buffer[12], 0xE0);
  EXPECT_EQ(buffer[15], 0xC0);
  EXPECT_EQ(buffer[18], 0xBD);
}

TEST(PackSyntax, Crc32AndTables) {
  const char* check = "123456789";
  EXPECT_EQ(CPackSyntax::Crc32(reinterpret_cast<const uint8_t*>(check), 9), 0x0376E6E7u);

  uint8_t pat[32];
  ASSERT_EQ(CPackSyntax::WritePat(pat, 0), 17u);
  const Bytes patHead{0x00, 0x00, 0xB0, 0x0D, 0xAA, 0xBB, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xE1, 0xD0};
  EXPECT_EQ(Written(pat, 13), patHead);
  const uint32_t crc = CPackSyntax::Crc32(pat + 1, 12);
  EXPECT_EQ(Written(pat + 13, 4), (Bytes{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)}));
  // A section followed by its CRC has a zero CRC residue.
  EXPECT_EQ(CPackSyntax::Crc32(pat + 1, 16), 0u);

  PmtSpec spec;
  spec.frameRateValue = 29;
  spec.levelCode = 8;
  spec.audioStreamType = 0x04;
  spec.audioLayerCode = 2;
  spec.videoStreamType = 0x02;
  spec.pcrPid = kVideoPid;
  uint8_t pmt[64];
  ASSERT_EQ(CPackSyntax::WritePmt(pmt, spec), 35u);
  const Bytes pmtBody{0x00, 0x02, 0xB0, 0x1F, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xFD, 0xE0, 0xF0, 0x00,
                      0x02, 0xFD, 0xE0, 0xF0, 0x05, 0x02, 0x03, 0x22, 0x48, 0x5F,
                      0x04, 0xFD, 0x10, 0xF0, 0x03, 0x03, 0x01, 0xA7};
  EXPECT_EQ(Written(pmt, 31), pmtBody);
  EXPECT_EQ(CPackSyntax::Crc32(pmt + 1, 34), 0u);

  struct RateCase {
    uint32_t fps, code;
  };
  for (const RateCase& c : {RateCase{23, 1}, RateCase{24, 2}, RateCase{25, 3}, RateCase{29, 4}, RateCase{30, 5},
                            RateCase{50, 6}, RateCase{59, 7}, RateCase{60, 8}, RateCase{12, 4}})
    EXPECT_EQ(CPackSyntax::FrameRateCode(c.fps), c.code) << c.fps;
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.packSize = 2048;
    config_.mpeg2 = 1;
    config_.audioStreamId = 0xC0;
    config_.systemHeader.videoCount = 1;
    config_.systemHeader.audioCount = 1;
    config_.systemHeader.allVideo = 1;
    config_.systemHeader.allAudio = 1;
    config_.systemHeader.videoScale = 1;
    config_.systemHeader.videoBound = 232;
    config_.systemHeader.audioBound = 32;
    config_.systemHeader.rate = 1260000;
    layout_.SetConfig(config_);
    desc_.data = pack_.data();
    desc_.muxRate = 1260000;
    desc_.position = 27000000;
    desc_.kind = kPackVideo;
  }

  // Fills a video pack with a timestamped sample so that `free` bytes stay unused.
  void FillVideoPack(uint32_t free) {
    layout_.BeginPack(desc_, false, 6);
    layout_.SetSampleLength(100000);
    layout_.SetTimestamps(true, 900000, 897000);
    const std::vector<uint8_t> payload(layout_.FreeSpace() - free, 0x55);
    layout_.AppendPayload(payload.data(), payload.size());
    layout_.FinishPack();
  }

  PackConfig config_;
  CPackLayout layout_;
  MuxWriteDesc desc_;
  std::vector<uint8_t> pack_ = std::vector<uint8_t>(2048, 0xEE);
};

TEST_F(LayoutTest, UnusedRoomBecomesStuffingOrPadding) {
  struct Case {
    uint32_t free;
    uint32_t headerStuffing;
    bool padding;
  };
  for (const Case& c : {Case{0, 0, false}, Case{5, 5, false}, Case{7, 7, false}, Case{8, 0, true}}) {
    FillVideoPack(c.free);
    const uint8_t* pes = pack_.data() + 14;
    ASSERT_EQ(Written(pes, 4), (Bytes{0, 0, 1, 0xE0})) << c.free;
    EXPECT_EQ(pes[8], 10 + c.headerStuffing) << c.free;
    const size_t pesLength = pes[4] << 8 | pes[5];
    if (c.padding) {
      EXPECT_EQ(14 + 6 + pesLength, 2048 - c.free);
      const uint8_t* padding = pack_.data() + 2048 - c.free;
      EXPECT_EQ(Written(padding, 6), (Bytes{0, 0, 1, 0xBE, 0, uint8_t(c.free - 6)})) << c.free;
    } else {
      EXPECT_EQ(14 + 6 + pesLength, 2048u) << c.free;
    }
  }
}

TEST_F(LayoutTest, EmptyPackIsHeaderAndPadding) {
  layout_.BeginPack(desc_, true, 6);
  EXPECT_FALSE(layout_.FinishPack());
  EXPECT_EQ(Written(pack_.data(), 4), (Bytes{0, 0, 1, 0xBA}));
  EXPECT_EQ(Written(pack_.data() + 14, 6), (Bytes{0, 0, 1, 0xBE, 0x07, 0xEC}));  // 2028 bytes of padding
  for (size_t i = 20; i < 2048; ++i) ASSERT_EQ(pack_[i], 0xFF) << i;
}

TEST_F(LayoutTest, SystemHeaderPrecedesThePacket) {
  layout_.BeginPack(desc_, true, 6);
  layout_.AddSystemHeader();
  layout_.AddSystemHeader();  // once per pack
  layout_.SetSampleLength(10);
  EXPECT_EQ(layout_.SampleRemaining(), 10);
  layout_.SetTimestamps(false, 1000, 0);
  const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  layout_.AppendPayload(data, 4);
  EXPECT_EQ(layout_.SampleRemaining(), 6);
  layout_.AppendPayload(data + 4, 6);
  EXPECT_EQ(layout_.SampleRemaining(), 0);
  ASSERT_TRUE(layout_.FinishPack());
  EXPECT_EQ(Written(pack_.data() + 14, 4), (Bytes{0, 0, 1, 0xBB}));
  const uint8_t* pes = pack_.data() + 14 + 18;
  EXPECT_EQ(Written(pes, 4), (Bytes{0, 0, 1, 0xE0}));
  EXPECT_EQ(pes[7], 0x81);  // PTS only, P-STD extension
  const size_t headerLength = 9 + pes[8];
  EXPECT_EQ(Written(pes + headerLength, 10), Written(data, 10));
}

TEST_F(LayoutTest, NavigationPack) {
  NavInfo nav{1, 90000, 135045};
  ASSERT_TRUE(layout_.WriteNavPack(desc_, nav));
  const uint8_t* p = pack_.data();
  EXPECT_EQ(Written(p + 14, 4), (Bytes{0, 0, 1, 0xBB}));
  EXPECT_EQ(p[14 + 5], 18);  // 6 + 4 entries
  EXPECT_EQ(Written(p + 14 + 12, 12), (Bytes{0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20, 0xBD, 0xC0, 0x00, 0xBF, 0xC0, 0x00}));
  const uint8_t* pci = p + 38;
  EXPECT_EQ(Written(pci, 6), (Bytes{0, 0, 1, 0xBF, 0x03, 0xD4}));
  EXPECT_EQ(pci[6], 0x00);
  EXPECT_EQ(pci[6 + 5], 0x40);
  EXPECT_EQ(Written(pci + 6 + 13, 8), (Bytes{0, 1, 0x5F, 0x90, 0, 2, 0x0F, 0x85}));
  const uint8_t* dsi = p + 38 + 986;
  EXPECT_EQ(Written(dsi, 7), (Bytes{0, 0, 1, 0xBF, 0x03, 0xFA, 0x01}));
  EXPECT_EQ(38 + 986 + 1024, 2048);
}

TEST_F(LayoutTest, TransportPacketWithPcrAndStuffing) {
  config_.packSize = 188;
  config_.transport = 1;
  layout_.SetConfig(config_);
  std::vector<uint8_t> packet(188, 0xEE);
  desc_.data = packet.data();
  desc_.continuityCounter = 5;
  desc_.kind = kPackAudio;
  layout_.BeginPack(desc_, false, 2, true);
  layout_.SetSampleLength(100);
  layout_.SetTimestamps(false, 90000, 0);
  std::vector<uint8_t> payload(100, 0x33);
  layout_.AppendPayload(payload.data(), payload.size());
  ASSERT_TRUE(layout_.FinishPack());
  EXPECT_EQ(Written(packet.data(), 4), (Bytes{0x47, 0x5D, 0x10, 0x35}));
  const size_t adaptation = packet[4];
  EXPECT_EQ(packet[5], 0x10);  // PCR flag
  const uint64_t pcrBase = static_cast<uint64_t>(packet[6]) << 25 | packet[7] << 17 | packet[8] << 9 |
                           packet[9] << 1 | packet[10] >> 7;
  EXPECT_EQ(pcrBase, 90000u);
  const uint8_t* pes = packet.data() + 5 + adaptation;
  EXPECT_EQ(Written(pes, 4), (Bytes{0, 0, 1, 0xC0}));
  const size_t pesLength = pes[4] << 8 | pes[5];
  EXPECT_EQ(pesLength, 3u + pes[8] + 100);
  EXPECT_EQ(pes + 6 + pesLength, packet.data() + 188);
  for (size_t i = 12; i < 5 + adaptation; ++i) ASSERT_EQ(packet[i], 0xFF) << i;
}

}  // namespace
}  // namespace orx::mux
