// The AVI chunk writers against bytes worked out by hand from the field layouts: the main
// header, the stream headers and formats (bitmap header and the wave formats by audio kind), the
// OpenDML header, the software name and the three kinds of index.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "mux/avi/avi_chunks.h"
#include "mux/parse/es_info.h"

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
// Expected bytes written as hex groups; "'abcd'" stands for the four characters' bytes.
std::string Bytes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') {
      const size_t end = text.find('\'', i + 1);
      out += Hex(reinterpret_cast<const uint8_t*>(text.data() + i + 1), end - i - 1);
      i = end;
    } else if (std::isxdigit(static_cast<unsigned char>(text[i]))) {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    }
  }
  return out;
}
std::string Zeros(size_t bytes) { return std::string(2 * bytes, '0'); }

TEST(AviChunks, MainHeader) {
  RiffBuffer out;
  EXPECT_EQ(WriteAvih(out, {.microsPerFrame = 40000, .totalFrames = 0, .streams = 2, .width = 720, .height = 576}), 0u);
  EXPECT_EQ(Hex(out), Bytes("'avih' 38000000 409C0000 00000000 00000000 10080000 00000000 00000000 02000000 00000000"
                            "D0020000 40020000") + Zeros(16));
}

TEST(AviChunks, VideoStreamList) {
  RiffBuffer out;
  const AviStrlPositions at = WriteAviVideoStrl(
      out, {.codec = kVideoMpeg2, .rateNum = 25, .rateDen = 1, .width = 720, .height = 576, .aspectX = 4, .aspectY = 3});
  EXPECT_EQ(Hex(out, 0, 12), Bytes("'LIST' 94100000 'strl'"));
  EXPECT_EQ(at.strh, 12u);
  EXPECT_EQ(Hex(out, 12, 64), Bytes("'strh' 38000000 'vids' 'MPEG' 00000000 0000 0000 00000000 01000000 19000000"
                                    "00000000 00000000 00000000 10270000 00000000 0000 0000 D002 4002"));
  // Pixels per metre: (3 x 720 + 8) >> 4 = 135 and (4 x 576 + 8) >> 4 = 144, over their divisor 9.
  EXPECT_EQ(Hex(out, 76, 48), Bytes("'strf' 28000000 28000000 D0020000 40020000 0100 1800 'MPEG' 00FC1200"
                                    "0F000000 10000000 00000000 00000000"));
  EXPECT_EQ(at.junk, 124u);
  EXPECT_EQ(Hex(out, 124), Bytes("'JUNK' 18100000") + Zeros(4120));
}

TEST(AviChunks, VideoHandlerByCodec) {
  struct Row {
    int32_t codec;
    const char* handler;
  };
  for (const Row row : {Row{kVideoMpeg4, "DIVX"}, Row{kVideoWmv9, "WMV3"}, Row{kVideoH264, "H264"},
                        Row{kVideoMpeg2, "MPEG"}, Row{kVideoMpeg1, "MPEG"}, Row{kVideoVc1, "MPEG"}}) {
    RiffBuffer out;
    WriteAviVideoStrl(out, {.codec = row.codec, .rateNum = 30000, .rateDen = 1001, .width = 352, .height = 288});
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Data()) + 24, 4), row.handler) << row.codec;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Data()) + 76 + 24, 4), row.handler) << row.codec;
  }
}

// The audio stream header and wave format by audio kind.
struct AudioRow {
  const char* name;
  uint32_t kind;
  bool withFormat;
  MuxAudioFormat format;
  uint32_t bytesPerSecond;
  std::string strh;  // scale, rate ... sample size
  std::string strf;  // the chunk's data
};

MuxAudioFormat WmaFormat() {
  MuxAudioFormat format;
  format.formatTag = kWmaFormatTag;
  format.channels = 2;
  format.sampleRate = 44100;
  format.bitsPerSample = 16;
  format.bitrate = 128000;
  format.blockAlign = 0x0B9D;
  format.extraSize = 10;
  const uint8_t extra[10] = {0x00, 0x88, 0x00, 0x00, 0x0F, 0x00, 0x9D, 0x0B, 0x00, 0x00};
  std::copy(extra, extra + 10, format.extra);
  return format;
}

TEST(AviChunks, AudioStreamListByKind) {
  const AudioRow rows[] = {
      {"Lpcm48Stereo", kAudioLpcm, true, MuxAudioFormat{}, 192000, "04000000 00EE0200 00000000 00000000 00000000 FFFFFFFF 04000000",
       "0100 0200 80BB0000 00EE0200 0400 1000 0000"},
      {"LpcmWithoutFormat", kAudioLpcm, false, MuxAudioFormat{}, 192000,
       "04000000 00EE0200 00000000 00000000 00000000 FFFFFFFF 04000000", "0100 0200 80BB0000 00EE0200 0400 1000 0000"},
      {"Mp2At192k", kAudioMpegLayer12, true, MuxAudioFormat{}, 24000,
       "01000000 C05D0000 00000000 00000000 00000000 FFFFFFFF 01000000",
       "5000 0200 80BB0000 C05D0000 0100 0000 1600 0200 00EE0200 0100" + Zeros(14)},
      {"Mp3At128k", kAudioMpegLayer3, true, MuxAudioFormat{}, 16000,
       "01000000 803E0000 00000000 00000000 00000000 FFFFFFFF 01000000",
       "5500 0200 80BB0000 803E0000 0100 0000 0C00 0100 00000000 0100 0100 0000"},
      {"WmaWithItsPrivateBytes", kAudioOther, true, WmaFormat(), 16000,
       "01000000 44AC0000 00000000 00000000 00000000 FFFFFFFF 01000000",
       "6101 0200 44AC0000 803E0000 9D0B 1000 0A00 00880000 0F00 9D0B 0000"},
      {"OtherWithoutFormat", kAudioOther, false, MuxAudioFormat{}, 16000,
       "01000000 80BB0000 00000000 00000000 00000000 FFFFFFFF 01000000", "0000 0200 80BB0000 00EE0200 0400 1000 0000"},
  };
  for (const AudioRow& row : rows) {
    SCOPED_TRACE(row.name);
    RiffBuffer out;
    const AviStrlPositions at = WriteAviAudioStrl(out, {row.kind, row.withFormat ? &row.format : nullptr, row.bytesPerSecond});
    EXPECT_EQ(at.strh, 12u);
    EXPECT_EQ(Hex(out, 12, 28), Bytes("'strh' 38000000 'auds' 00000000 00000000 0000 0000 01000000"));
    EXPECT_EQ(Hex(out, 40, 28), Bytes(row.strh));
    EXPECT_EQ(Hex(out, 68, 8), Zeros(8)) << "an empty frame rectangle";
    const std::string strf = Bytes(row.strf);
    EXPECT_EQ(Hex(out, 76, 8), Bytes("'strf'") + Hex(std::vector<uint8_t>{static_cast<uint8_t>(strf.size() / 2), 0, 0, 0}.data(), 4));
    EXPECT_EQ(Hex(out, 84, strf.size() / 2), strf);
    EXPECT_EQ(Hex(out, at.junk, 8), Bytes("'JUNK' 18100000"));
    EXPECT_EQ(at.junk, 84 + strf.size() / 2);
    EXPECT_EQ(out.Size(), at.junk + 8 + 4120);
  }
}

TEST(AviChunks, OpenDmlHeaderAndSoftwareName) {
  RiffBuffer out;
  EXPECT_EQ(WriteAviOdml(out, 0x1234), 12u);
  EXPECT_EQ(Hex(out), Bytes("'LIST' 04010000 'odml' 'dmlh' F8000000 34120000") + Zeros(244));
  RiffBuffer info;
  WriteAviInfo(info);
  EXPECT_EQ(Hex(info), Bytes("'LIST' 20000000 'INFO' 'ISFT' 14000000 'Pelkor 9.14.0.60629' 00"));
}

TEST(AviChunks, StandardIndex) {
  const AviStdIndexEntry entries[] = {{0, 100}, {108, 81 | kAviNotKeyFrame}};
  for (const char* id : {"ix00", "ix01"}) {
    RiffBuffer out;
    WriteAviStdIndex(out, id, id[3] == '0' ? "00dc" : "01wb", 0x2000, entries, 2);
    EXPECT_EQ(Hex(out), Bytes(std::string("'") + id + "' 28000000 0200 00 01 02000000 '" + (id[3] == '0' ? "00dc" : "01wb") +
                              "' 0020000000000000 00000000 08000000 64000000 74000000 51000080"));
  }
}

TEST(AviChunks, SuperIndexFillsTheReserve) {
  const AviSuperIndexEntry entries[] = {{0x12345, 48, 2}, {0x100000000ull, 8032, 8000}};
  RiffBuffer out;
  WriteAviSuperIndex(out, "01wb", entries, 2);
  ASSERT_EQ(out.Size(), 8u + kAviSuperIndexReserve);
  EXPECT_EQ(Hex(out, 0, 64), Bytes("'indx' 18100000 0400 00 00 02000000 '01wb'") + Zeros(12) +
                                 Bytes("4523010000000000 30000000 02000000 0000000001000000 601F0000 401F0000"));
  EXPECT_EQ(Hex(out, 64), Zeros(254 * 16));
}

TEST(AviChunks, LegacyIndex) {
  const AviLegacyEntry entries[] = {{4, 100}, {0x70 | kAviAudioEntry, 50}, {0xA4, 0x201 | kAviNotKeyFrame}};
  RiffBuffer out;
  WriteAviIdx1(out, entries, 3, "01wb");
  EXPECT_EQ(Hex(out), Bytes("'idx1' 30000000 '00dc' 10000000 04000000 64000000 '01wb' 10000000 70000000 32000000"
                            "'00dc' 00000000 A4000000 01020000"));
  RiffBuffer alone;
  WriteAviIdx1(alone, entries + 1, 1, "00wb");
  EXPECT_EQ(Hex(alone), Bytes("'idx1' 10000000 '00wb' 10000000 70000000 32000000"));
}

}  // namespace
}  // namespace orx::mux
