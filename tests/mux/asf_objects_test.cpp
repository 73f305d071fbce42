// The ASF object writers against bytes worked out by hand, their GUIDs against the table they
// are generated from and against the bytes of ASF files ffmpeg writes, and the small rules: the
// metadata aspect ratio, the time per frame, the compression codes, the rounding helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mux/asf/asf_objects.h"
#include "mux/parse/es_info.h"
#include "tests/mux/asf_walk.h"
#include "tests/mux/es_fixtures.h"
#include "tests/support/test_paths.h"

namespace orx::mux {
namespace {

std::string Hex(const uint8_t* data, size_t count) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 15];
  }
  return text;
}
std::string Hex(const RiffBuffer& buffer, size_t from = 0, size_t count = std::string::npos) {
  count = std::min(count, buffer.Size() - from);
  return Hex(buffer.Data() + from, count);
}
std::string Hex(const AsfGuid& guid) { return Hex(guid.bytes, 16); }
// Expected bytes as hex groups; "'text'" stands for its characters, "u'text'" for UTF-16.
std::string Bytes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool wide = text[i] == 'u' && i + 1 < text.size() && text[i + 1] == '\'';
    if (wide) ++i;
    if (text[i] == '\'') {
      const size_t end = text.find('\'', i + 1);
      for (size_t k = i + 1; k < end; ++k) {
        out += Hex(reinterpret_cast<const uint8_t*>(text.data() + k), 1);
        if (wide) out += "00";
      }
      i = end;
    } else if (std::isxdigit(static_cast<unsigned char>(text[i]))) {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    }
  }
  return out;
}
std::string Zeros(size_t bytes) { return std::string(2 * bytes, '0'); }

std::string AsfDataDir() {
  const char* env = std::getenv("ORX_SHARED_DATA");
  return (env ? std::string(env) : orx::test::SourceDir() + "/../shared/data") + "/asf";
}

TEST(AsfGuids, MatchTheirCsv) {
  if (!std::filesystem::exists(AsfDataDir())) GTEST_SKIP() << "no ASF tables at " << AsfDataDir();
  std::ifstream file(AsfDataDir() + "/guids.csv");
  std::string line;
  std::getline(file, line);
  size_t matched = 0;
  while (std::getline(file, line)) {
    std::stringstream split(line);
    std::string name, guid;
    std::getline(split, name, ',');
    std::getline(split, guid, ',');
    for (const AsfNamedGuid& entry : kAsfGuidTable) {
      if (name != entry.name) continue;
      const std::vector<uint8_t> expected = test::AsfGuidBytes(guid);
      EXPECT_EQ(Hex(*entry.guid), Hex(expected.data(), expected.size())) << name;
      ++matched;
    }
  }
  EXPECT_EQ(matched, kAsfGuidCount) << "every constant has its row";
}

// The GUIDs that ASF files written by ffmpeg (MPEG-4 video; WMA audio) hold too stand in them
// byte for byte.
TEST(AsfGuids, StandInFilesFfmpegWrites) {
  const std::string video = test::MakeEsFile("ffmpeg-mpeg4.asf", {"-f", "lavfi", "-i", "testsrc2=size=176x144:rate=25",
                                                                   "-frames:v", "5", "-c:v", "mpeg4", "-f", "asf"});
  const std::string audio = test::MakeEsFile("ffmpeg-wmav2.asf", {"-f", "lavfi", "-i", "sine=sample_rate=44100", "-t",
                                                                   "0.5", "-c:a", "wmav2", "-f", "asf"});
  std::vector<uint8_t> bytes = test::ReadBytes(video);
  const std::vector<uint8_t> more = test::ReadBytes(audio);
  bytes.insert(bytes.end(), more.begin(), more.end());
  const AsfGuid* shared[] = {&kAsfHeaderObject,   &kAsfDataObject,          &kAsfSimpleIndexObject,
                             &kAsfFilePropertiesObject, &kAsfStreamPropertiesObject, &kAsfHeaderExtensionObject,
                             &kAsfAudioMedia,     &kAsfVideoMedia,          &kAsfNoErrorCorrection,
                             &kAsfAudioSpread,    &kAsfReserved1,           &kAsfMetadataObject};
  for (const AsfGuid* guid : shared)
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), guid->bytes, guid->bytes + 16), bytes.end()) << Hex(*guid);
}

TEST(AsfObjects, HeaderAndFileProperties) {
  RiffBuffer out;
  WriteAsfHeaderObjectStart(out, 4);
  EXPECT_EQ(Hex(out), Hex(kAsfHeaderObject) + Bytes("0000000000000000 04000000 01 02"));
  RiffBuffer fp;
  WriteAsfFileProperties(fp, {.creationDate = 0x01DC6A0B12345678ull, .prerollMs = 125, .packetSize = 4096,
                              .maxBitrate = 800000});
  ASSERT_EQ(fp.Size(), kAsfFilePropertiesSize);
  EXPECT_EQ(Hex(fp), Hex(kAsfFilePropertiesObject) + Bytes("6800000000000000") + Zeros(16) + Zeros(8) +
                         Bytes("78563412 0B6ADC01") + Zeros(8) + Bytes("D012130000000000") + Zeros(8) +
                         Bytes("7D00000000000000 01000000 00100000 00100000 00350C00"));
}

TEST(AsfObjects, LanguageListAndMetadata) {
  RiffBuffer language;
  WriteAsfLanguageList(language);
  EXPECT_EQ(Hex(language), Hex(kAsfLanguageListObject) + Bytes("2700000000000000 0100 0C u'en-us' 0000"));
  RiffBuffer metadata;
  WriteAsfMetadata(metadata, 1, 8, 9);
  EXPECT_EQ(Hex(metadata),
            Hex(kAsfMetadataObject) + Bytes("6E00000000000000 0200"
                                             "0000 0100 1A00 0300 04000000 u'AspectRatioX' 0000 08000000"
                                             "0000 0100 1A00 0300 04000000 u'AspectRatioY' 0000 09000000"));
}

TEST(AsfObjects, ExtendedStreamProperties) {
  RiffBuffer out;
  WriteAsfExtendedStreamProperties(out, {.streamNumber = 2, .bitrate = 192000, .bufferMs = 125,
                                         .maxObjectSize = 65536, .timePerFrame = 400000});
  ASSERT_EQ(out.Size(), kAsfExtendedStreamPropertiesSize);
  EXPECT_EQ(Hex(out), Hex(kAsfExtendedStreamPropertiesObject) +
                          Bytes("5800000000000000") + Zeros(16) +
                          Bytes("00EE0200 7D000000 00000000 00EE0200 7D000000 00000000 00000100 02000000 0200 0000"
                                "801A060000000000 0000 0000"));
}

TEST(AsfObjects, VideoStreamProperties) {
  const uint8_t header[10] = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB5, 0x09};
  RiffBuffer out;
  WriteAsfVideoStreamProperties(out, {.codec = kVideoMpeg4, .width = 720, .height = 480, .aspectX = 4, .aspectY = 3,
                                      .codecPrivate = header, .codecPrivateLength = 10});
  // Pixels per metre: (3 x 720 + 8) >> 4 = 135 and (4 x 480 + 8) >> 4 = 120, neither divisible by 10.
  EXPECT_EQ(Hex(out), Hex(kAsfStreamPropertiesObject) + Bytes("8B00000000000000") + Hex(kAsfVideoMedia) +
                          Hex(kAsfNoErrorCorrection) +
                          Bytes("0000000000000000 3D000000 00000000 0100 00000000"
                                "D0020000 E0010000 02 3200"
                                "32000000 D0020000 E0010000 0100 1800 'DIVX' 00000000 87000000 78000000 00000000 00000000") +
                          Hex(header, 10));
}

TEST(AsfObjects, AudioStreamPropertiesByKind) {
  MuxAudioFormat wma;
  wma.formatTag = kWmaFormatTag;
  wma.channels = 2;
  wma.sampleRate = 44100;
  wma.bitsPerSample = 16;
  wma.bitrate = 128000;
  wma.blockAlign = 743;
  wma.extraSize = 10;
  wma.extra[4] = 1;
  struct Row {
    const char* name;
    AsfAudioStream audio;
    std::string wave;
    std::string errorCorrection;
  };
  const Row rows[] = {
      {"Mp2", {2, kAudioMpegLayer12, nullptr, 24000, false},
       "5000 0200 80BB0000 C05D0000 0100 0000 1600 0200 00EE0200 0100" + Zeros(14), ""},
      {"Mp3", {2, kAudioMpegLayer3, nullptr, 16000, false},
       "5500 0200 80BB0000 803E0000 0100 0000 0C00 0100 00000000 0100 0100 0000", ""},
      {"PcmWithoutFormat", {2, kAudioLpcm, nullptr, 192000, false}, "0100 0200 80BB0000 00EE0200 0400 1000 0000", ""},
      {"WmaWithSpread", {1, kAudioOther, &wma, 16000, true},
       "6101 0200 44AC0000 803E0000 E702 1000 0A00 00000000 01000000 0000", "01 E702 E702 0100 00"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RiffBuffer out;
    WriteAsfAudioStreamProperties(out, row.audio);
    const std::string wave = Bytes(row.wave);
    const std::string spread = Bytes(row.errorCorrection);
    const uint32_t typeLength = static_cast<uint32_t>(wave.size() / 2);
    const uint32_t ecLength = static_cast<uint32_t>(spread.size() / 2);
    ASSERT_EQ(out.Size(), 78u + typeLength + ecLength);
    EXPECT_EQ(Hex(out, 24, 16), Hex(kAsfAudioMedia));
    EXPECT_EQ(Hex(out, 40, 16), Hex(row.audio.audioSpread ? kAsfAudioSpread : kAsfNoErrorCorrection));
    const uint8_t lengths[8] = {static_cast<uint8_t>(typeLength), 0, 0, 0, static_cast<uint8_t>(ecLength), 0, 0, 0};
    EXPECT_EQ(Hex(out, 56, 18), Zeros(8) + Hex(lengths, 8) + Hex(std::vector<uint8_t>{static_cast<uint8_t>(row.audio.streamNumber), 0}.data(), 2));
    EXPECT_EQ(Hex(out, 78, typeLength), wave);
    EXPECT_EQ(Hex(out, 78 + typeLength), spread);
  }
}

TEST(AsfObjects, DataObjectHeaderAndSimpleIndex) {
  RiffBuffer data;
  WriteAsfDataObjectHeader(data, 50 + 3 * 4096, 3);
  EXPECT_EQ(Hex(data), Hex(kAsfDataObject) + Bytes("3230000000000000") + Zeros(16) + Bytes("0300000000000000 0101"));
  const AsfIndexEntry entries[] = {{0, 2}, {5, 1}};
  RiffBuffer index;
  WriteAsfSimpleIndex(index, entries, 2, 2);
  EXPECT_EQ(Hex(index), Hex(kAsfSimpleIndexObject) + Bytes("4400000000000000") + Zeros(16) +
                            Bytes("8096980000000000 02000000 02000000 00000000 0200 05000000 0100"));
}

TEST(AsfRules, AspectRatioReduction) {
  struct Row {
    uint32_t aspectX, aspectY, width, height, x, y;
  };
  const Row rows[] = {
      {4, 3, 720, 480, 8, 9},       // 1920:2160 reduced
      {16, 9, 1920, 1080, 1, 1},    // square pixels
      {1000, 999, 1, 1, 1, 1},      // halved once to 500:500, reduced
      {221, 100, 1, 1, 56, 25},     // halved twice, rounding up: 111:50, then 56:25
      {0, 3, 720, 480, 1, 1},       // a value below 1 makes both 1
  };
  for (const Row& row : rows) {
    uint32_t x = 0, y = 0;
    AsfAspectRatio(row.aspectX, row.aspectY, row.width, row.height, x, y);
    EXPECT_EQ(x, row.x) << row.aspectX << ":" << row.aspectY << " " << row.width << "x" << row.height;
    EXPECT_EQ(y, row.y) << row.aspectX << ":" << row.aspectY << " " << row.width << "x" << row.height;
  }
}

TEST(AsfRules, TimePerFrameAndRounding) {
  EXPECT_EQ(AsfTimePerFrame(25.0), 400000u);
  EXPECT_EQ(AsfTimePerFrame(30000.0 / 1001), 333667u);
  EXPECT_EQ(AsfTimePerFrame(15.0), 666666u);              // 666667
  EXPECT_EQ(AsfTimePerFrame(15000.0 / 1001), 666666u);    // 667333
  EXPECT_EQ(AsfTimePerFrame(14.98), 667557u);             // outside the neighbourhood
  EXPECT_EQ(AsfRoundToInt64(2.5), 3);
  EXPECT_EQ(AsfRoundToInt64(-2.5), -3);
  EXPECT_EQ(AsfRoundToInt64(1e12 + 0.49), 1000000000000);
  EXPECT_EQ(AsfRoundToInt32(0.4999), 0);
  EXPECT_EQ(AsfRoundToInt32(-1.5), -2);
}

TEST(AsfRules, CompressionCodes) {
  const uint8_t advanced[12] = {0x25, 0x00, 0x00, 0x01, 0x0F, 0xDB, 0xFE, 0x3B, 0xF2, 0x1B, 0xCA, 0x3F};
  const uint8_t simpleMain[4] = {0x4E, 0x29, 0x1A, 0x01};
  EXPECT_STREQ(AsfVideoCompression(kVideoMpeg4, nullptr, 0), "DIVX");
  EXPECT_STREQ(AsfVideoCompression(kVideoWmv9, simpleMain, 4), "WMV3");
  EXPECT_STREQ(AsfVideoCompression(kVideoWmv9, advanced, 12), "WMVA");
  EXPECT_STREQ(AsfVideoCompression(kVideoVc1, advanced, 12), "WVC1");
  EXPECT_STREQ(AsfVideoCompression(kVideoH264, nullptr, 0), "H264");
  EXPECT_STREQ(AsfVideoCompression(kVideoMpeg2, nullptr, 0), "MPEG");
}

TEST(AsfRules, CreationDateIsTheFileTimeNow) {
  // 2026-01-01 in 100 ns units from 1601-01-01 is 134116992000000000.
  const uint64_t now = AsfFileTimeNow();
  EXPECT_GT(now, 134116992000000000ull);
  EXPECT_LT(now, 134116992000000000ull + 10ull * 365 * 86400 * 10000000);
}

}  // namespace
}  // namespace orx::mux
