// Aspect codes and the codec-private sequence headers. The VC-1 headers are read back by a bit
// reader that follows SMPTE 421M: Annex J's STRUCT_C for the simple and main profiles, and the
// sequence and entry-point layers of the advanced profile.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/venc/common/settings_fixture.h"
#include "venc/core/aspect_ratio.h"
#include "venc/core/profile_level.h"
#include "venc/core/sequence_checks.h"
#include "venc/core/sequence_header.h"

namespace {

using namespace orx::venc;
using orx::venc::test::Mpeg2Settings;

constexpr uint32_t kCpuWord = 0x3D;

TEST(SetAspectRatio, Codes) {
  struct Case {
    int codec, width, height, x, y;
    int32_t code;
  };
  const Case cases[] = {
      {CODEC_H264, 720, 480, 16, 9, 5},    // 32:27
      {CODEC_MPEG2, 720, 480, 16, 9, 3},
      {CODEC_MPEG2, 720, 576, 4, 3, 2},
      {CODEC_MPEG2, 1920, 1080, 221, 100, 4},
      {CODEC_H264, 640, 480, 4, 3, 1},     // 1:1
      {CODEC_H264, 720, 576, 4, 3, 2},     // 16:15
      {CODEC_H264, 720, 576, 16, 9, 4},    // 64:45
      {CODEC_H264, 704, 576, 4, 3, 2},     // 12:11
      {CODEC_MPEG4, 704, 576, 4, 3, 2},
      {CODEC_MPEG4, 704, 480, 4, 3, 3},    // 10:11
      {CODEC_H264, 720, 576, 2, 1, (5 << 16) | (8 << 8) | 255},   // 8:5, no entry
      {CODEC_MPEG4, 720, 576, 4, 3, (15 << 16) | (16 << 8) | 15},  // 16:15, no MPEG-4 entry
      {CODEC_H264, 1000, 998, 1, 1, 1},    // 499:500 halves to 1:1
      {CODEC_MPEG1, 352, 288, 4, 3, 8},    // 0.9157
      {CODEC_MPEG1, 352, 240, 4, 3, 12},   // 1.0950
      {CODEC_MPEG1, 720, 576, 16, 9, 3},   // 0.7031
      {CODEC_MPEG1, 720, 480, 16, 9, 6},   // 0.8437
      {CODEC_MPEG1, 320, 240, 4, 3, 1},
      {CODEC_H264, 720, 576, 0, 0, 1},
      {CODEC_MPEG2, 720, 576, 0, 9, 1},
  };
  for (const Case& c : cases) {
    EncoderSettings s = Mpeg2Settings(c.width, c.height);
    s.codec = c.codec;
    SetAspectRatio(s, c.x, c.y);
    EXPECT_EQ(s.aspectCode, c.code) << "codec " << c.codec << " " << c.width << "x" << c.height
                                    << " " << c.x << ":" << c.y;
  }
  EncoderSettings s = Mpeg2Settings();
  SetAspectRatio(s, 1920, 1080);
  EXPECT_EQ(s.aspectX, 16);
  EXPECT_EQ(s.aspectY, 9);
}

// Reads fields most significant bit first.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Read(int bits) {
    uint32_t value = 0;
    for (int i = 0; i < bits; ++i, ++position_) {
      EXPECT_LT(position_ / 8, size_);
      value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
    }
    return value;
  }
  void SkipToByte() { position_ = (position_ + 7) & ~size_t{7}; }
  size_t BytePosition() const { return position_ / 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

using Fields = std::map<std::string, uint32_t>;

Fields ReadStructC(const uint8_t* data) {
  BitReader r(data, 4);
  Fields f;
  for (const auto& [name, bits] : std::vector<std::pair<std::string, int>>{
           {"PROFILE", 2},      {"RES_SM", 2},      {"FRMRTQ_POSTPROC", 3}, {"BITRTQ_POSTPROC", 5},
           {"LOOPFILTER", 1},   {"RES_X8", 1},      {"MULTIRES", 1},        {"RES_FASTTX", 1},
           {"FASTUVMC", 1},     {"EXTENDED_MV", 1}, {"DQUANT", 2},          {"VSTRANSFORM", 1},
           {"RES_TRANSTAB", 1}, {"OVERLAP", 1},     {"SYNCMARKER", 1},      {"RANGERED", 1},
           {"MAXBFRAMES", 3},   {"QUANTIZER", 2},   {"FINTERPFLAG", 1},     {"RES_RTM_FLAG", 1}}) {
    f[name] = r.Read(bits);
  }
  return f;
}

// Reads the advanced-profile sequence header and entry-point header after their start codes.
Fields ReadAdvanced(const uint8_t* data, int size) {
  Fields f;
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(0, std::memcmp(data + 1, "\x00\x00\x01\x0F", 4));
  BitReader r(data + 5, size - 5);
  for (const auto& [name, bits] : std::vector<std::pair<std::string, int>>{
           {"PROFILE", 2},          {"LEVEL", 3},           {"COLORDIFF_FORMAT", 2},
           {"FRMRTQ_POSTPROC", 3},  {"BITRTQ_POSTPROC", 5}, {"POSTPROCFLAG", 1},
           {"MAX_CODED_WIDTH", 12}, {"MAX_CODED_HEIGHT", 12}, {"PULLDOWN", 1},
           {"INTERLACE", 1},        {"TFCNTRFLAG", 1},      {"FINTERPFLAG", 1},
           {"RESERVED", 1},         {"PSF", 1},             {"DISPLAY_EXT", 1},
           {"HRD_PARAM_FLAG", 1}}) {
    f[name] = r.Read(bits);
  }
  EXPECT_EQ(f["DISPLAY_EXT"], 0u);
  EXPECT_EQ(f["HRD_PARAM_FLAG"], 0u);
  f["SEQ_STOP"] = r.Read(1);
  r.SkipToByte();
  const size_t entry = 5 + r.BytePosition();
  EXPECT_EQ(0, std::memcmp(data + entry, "\x00\x00\x01\x0E", 4));
  BitReader e(data + entry + 4, size - entry - 4);
  for (const auto& [name, bits] : std::vector<std::pair<std::string, int>>{
           {"BROKEN_LINK", 1}, {"CLOSED_ENTRY", 1}, {"PANSCAN_FLAG", 1}, {"REFDIST_FLAG", 1},
           {"LOOPFILTER", 1},  {"FASTUVMC", 1},     {"EXTENDED_MV", 1},  {"DQUANT", 2},
           {"VSTRANSFORM", 1}, {"OVERLAP", 1},      {"QUANTIZER", 2},    {"CODED_SIZE_FLAG", 1}}) {
    f[name] = e.Read(bits);
  }
  if (f["EXTENDED_MV"] != 0) f["EXTENDED_DMV"] = e.Read(1);
  f["RANGE_MAPY_FLAG"] = e.Read(1);
  f["RANGE_MAPUV_FLAG"] = e.Read(1);
  f["ENTRY_STOP"] = e.Read(1);
  e.SkipToByte();
  EXPECT_EQ(static_cast<int>(entry + 4 + e.BytePosition()), size);
  return f;
}

EncoderSettings Vc1Settings(int width, int height, int frameRateIndex, int bitRate, int m,
                            int progressive, int streamType) {
  EncoderSettings s = Mpeg2Settings(width, height, frameRateIndex, bitRate);
  s.codec = CODEC_VC1;
  s.anchorDistance = m;
  s.progressiveSequence = progressive;
  s.streamType = streamType;
  s.loopFilterMode = 2;  // let the header decide
  return s;
}

TEST(SequenceHeader, Vc1SimpleAndMainStructC) {
  struct Case {
    int width, height, rateIndex, bitRate, m;
    uint32_t profile, loopFilter, extended, maxBFrames, frameRateQ, bitRateQ;
  };
  const Case cases[] = {
      {.width = 320, .height = 240, .rateIndex = 3, .bitRate = 500000, .m = 1, .profile = 0, .loopFilter = 0,
       .extended = 0, .maxBFrames = 0, .frameRateQ = 3, .bitRateQ = 7},
      {.width = 720, .height = 576, .rateIndex = 6, .bitRate = 6000000, .m = 3, .profile = 1, .loopFilter = 1,
       .extended = 1, .maxBFrames = 2, .frameRateQ = 5, .bitRateQ = 31},
      {.width = 1920, .height = 1080, .rateIndex = 7, .bitRate = 8000000, .m = 2, .profile = 1, .loopFilter = 0,
       .extended = 1, .maxBFrames = 1, .frameRateQ = 7, .bitRateQ = 31},  // pixel rate too high for the filter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    EncoderSettings s = Vc1Settings(c.width, c.height, c.rateIndex, c.bitRate, c.m, 1, 0);
    uint8_t header[kSequenceHeaderCapacity];
    ASSERT_EQ(GetSequenceHeader(s, header, kCpuWord), 4);
    Fields f = ReadStructC(header);
    EXPECT_EQ(f["PROFILE"], c.profile);
    EXPECT_EQ(f["RES_SM"], 0u);
    EXPECT_EQ(f["FRMRTQ_POSTPROC"], c.frameRateQ);
    EXPECT_EQ(f["BITRTQ_POSTPROC"], c.bitRateQ);
    EXPECT_EQ(f["LOOPFILTER"], c.loopFilter);
    EXPECT_EQ(f["RES_FASTTX"], 1u);
    EXPECT_EQ(f["FASTUVMC"], 1u);
    EXPECT_EQ(f["EXTENDED_MV"], c.extended);
    EXPECT_EQ(f["DQUANT"], c.extended);
    EXPECT_EQ(f["OVERLAP"], 1u);
    EXPECT_EQ(f["MAXBFRAMES"], c.maxBFrames);
    EXPECT_EQ(f["QUANTIZER"], 2u);
    EXPECT_EQ(f["RES_RTM_FLAG"], 1u);

    // The round trip through the header gives the same profile, level and flags.
    EncoderSettings checked = s;
    ASSERT_TRUE(CheckSequenceParams(checked, true, kCpuWord));
    EXPECT_EQ(checked.profileLevel, SelectVC1ProfileLevel(s));
    EXPECT_EQ(checked.profileLevel >> 4, static_cast<int>(c.profile));
    EXPECT_EQ(checked.loopFilter, static_cast<int>(c.loopFilter));
    EXPECT_EQ(checked.vc1MvFlags, static_cast<int>(c.extended | 2));
    EXPECT_EQ(checked.vc1Dquant, static_cast<int>(c.extended));
  }
}

TEST(SequenceHeader, Vc1AdvancedSequenceAndEntryPoint) {
  struct Case {
    int width, height, rateIndex, bitRate, m, progressive, streamType;
    uint32_t level, codedWidth, codedHeight;
  };
  const Case cases[] = {
      {.width = 720, .height = 576, .rateIndex = 6, .bitRate = 6000000, .m = 3, .progressive = 0, .streamType = 0,
       .level = 1, .codedWidth = 720, .codedHeight = 576},
      {.width = 1920, .height = 1080, .rateIndex = 6, .bitRate = 20000000, .m = 3, .progressive = 1, .streamType = 5,
       .level = 3, .codedWidth = 1920, .codedHeight = 1088},
      {.width = 1920, .height = 1080, .rateIndex = 7, .bitRate = 12000000, .m = 1, .progressive = 0, .streamType = 5,
       .level = 3, .codedWidth = 1920, .codedHeight = 1088},
      {.width = 1440, .height = 1080, .rateIndex = 11, .bitRate = 40000000, .m = 2, .progressive = 1,
       .streamType = 5, .level = 4, .codedWidth = 1440, .codedHeight = 1088},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " frame rate " +
                 std::to_string(c.rateIndex));
    EncoderSettings s =
        Vc1Settings(c.width, c.height, c.rateIndex, c.bitRate, c.m, c.progressive, c.streamType);
    uint8_t header[kSequenceHeaderCapacity];
    const int size = GetSequenceHeader(s, header, kCpuWord);
    ASSERT_GT(size, 12);
    Fields f = ReadAdvanced(header, size);
    EXPECT_EQ(f["PROFILE"], 3u);
    EXPECT_EQ(f["LEVEL"], c.level);
    EXPECT_EQ(f["COLORDIFF_FORMAT"], 1u);
    EXPECT_EQ(f["POSTPROCFLAG"], 1u);
    EXPECT_EQ(f["MAX_CODED_WIDTH"], c.codedWidth / 2 - 1);
    EXPECT_EQ(f["MAX_CODED_HEIGHT"], c.codedHeight / 2 - 1);
    EXPECT_EQ(f["INTERLACE"], c.progressive ? 0u : 1u);
    EXPECT_EQ(f["PULLDOWN"], c.progressive ? 0u : 1u);
    EXPECT_EQ(f["PSF"], 1u);
    EXPECT_EQ(f["SEQ_STOP"], 1u);
    EXPECT_EQ(f["CLOSED_ENTRY"], 1u);
    EXPECT_EQ(f["BROKEN_LINK"], 0u);
    EXPECT_EQ(f["FASTUVMC"], c.m > 1 ? 1u : 0u);
    EXPECT_EQ(f["EXTENDED_MV"], 1u);
    EXPECT_EQ(f["DQUANT"], 1u);
    EXPECT_EQ(f["EXTENDED_DMV"], 0u);
    EXPECT_EQ(f["OVERLAP"], 1u);
    EXPECT_EQ(f["QUANTIZER"], 2u);
    EXPECT_EQ(f["ENTRY_STOP"], 1u);

    EncoderSettings checked = s;
    ASSERT_TRUE(CheckSequenceParams(checked, true, kCpuWord));
    EXPECT_EQ(checked.profileLevel, SelectVC1ProfileLevel(s));
    EXPECT_EQ(checked.loopFilter, static_cast<int>(f["LOOPFILTER"]));
    EXPECT_EQ(checked.vc1MvFlags, static_cast<int>(f["EXTENDED_MV"] | (f["FASTUVMC"] << 1)));
    EXPECT_EQ(checked.vc1Dquant, static_cast<int>(f["DQUANT"]));
    EXPECT_EQ(checked.mpeg4StyleEstimator, 1);
    EXPECT_EQ(checked.vc1Advanced, c.streamType == 5 ? 1 : 0);
  }
}

TEST(SequenceHeader, Vc1RateFieldsAndOtherCodecs) {
  EncoderSettings s = Vc1Settings(720, 480, 7, 8000000, 3, 1, 0);
  uint8_t header[kSequenceHeaderCapacity];
  ASSERT_EQ(GetSequenceHeader(s, header, kCpuWord), 4);
  Fields f = ReadStructC(header);
  EXPECT_EQ(f["FRMRTQ_POSTPROC"], 7u);
  EXPECT_EQ(f["BITRTQ_POSTPROC"], 31u);
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2, CODEC_KALDER, CODEC_MPEG4}) {
    EncoderSettings other = Mpeg2Settings();
    other.codec = codec;
    std::memset(header, 0xAB, sizeof header);
    EXPECT_EQ(GetSequenceHeader(other, header, kCpuWord), 0) << codec;
    EXPECT_EQ(header[0], 0xAB) << codec;  // nothing written
  }
}

}  // namespace
