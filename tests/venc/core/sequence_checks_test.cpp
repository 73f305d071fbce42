// CheckSequenceParams and the profile and level choice: repairs, refusals and every warning,
// compared verbatim through the debugger output.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/venc/common/debug_capture.h"
#include "tests/venc/common/settings_fixture.h"
#include "venc/core/profile_level.h"
#include "venc/core/sequence_checks.h"

namespace {

using namespace orx::venc;
using orx::venc::test::DebugCapture;
using orx::venc::test::Mpeg2Settings;

constexpr uint32_t kCpuWord = 0x3D;  // MMX, SSE, SSE2

struct CheckCase {
  std::string name;
  std::function<void(EncoderSettings&)> setUp;
  bool accepted = true;       // what CheckSequenceParams answers
  std::string messages = "";  // what it writes to the debugger, verbatim
  std::function<void(const EncoderSettings&)> check = nullptr;
};

void RunCases(const std::vector<CheckCase>& cases, bool quiet) {
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    EncoderSettings s = Mpeg2Settings();
    c.setUp(s);
    DebugCapture capture;
    EXPECT_EQ(CheckSequenceParams(s, quiet, kCpuWord), c.accepted);
    EXPECT_EQ(capture.Text(), c.messages);
    if (c.check) c.check(s);
  }
}

TEST(CheckSequenceParams, RepairsRefusalsAndWarnings) {
  RunCases(
      {
          {.name = "N 14, M 3 becomes 12",
           .setUp = [](EncoderSettings& s) { s.gopLength = 14; s.anchorDistance = 3; },
           .messages = "N must be an integer multiple of M\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 12); }},
          {.name = "N 200 is cut to 132 first",
           .setUp = [](EncoderSettings& s) { s.gopLength = 200; s.anchorDistance = 3; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 132); }},
          {.name = "N 200 for H.264 is not cut",
           .setUp = [](EncoderSettings& s) { s.gopLength = 200; s.codec = CODEC_H264; s.streamType = 0; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 200); }},
          {.name = "M 5 becomes 3", .setUp = [](EncoderSettings& s) { s.anchorDistance = 5; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 3); }},
          {.name = "M 0 stays 0", .setUp = [](EncoderSettings& s) { s.anchorDistance = 0; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 0); }},
          {.name = "M above N", .setUp = [](EncoderSettings& s) { s.gopLength = 2; s.anchorDistance = 3; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 2); }},
          {.name = "N 0", .setUp = [](EncoderSettings& s) { s.gopLength = 0; }, .messages = "N must be positive\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 1); }},
          {.name = "1920x1080 at 25 is Main at High",
           .setUp = [](EncoderSettings& s) {
             s.width = 1920; s.height = 1080; s.vbvBufferSize = 1000; s.streamType = STREAM_TYPE_HD;
           },
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x44);
             EXPECT_EQ(s.vbvBufferSize, 597);
           }},
          {.name = "720x576 at 20 Mbit/s is capped at Main level",
           .setUp = [](EncoderSettings& s) { s.maxBitRate = 20000000; },
           .messages = "warning: bit_rate exceeds level limit\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x48);
             EXPECT_EQ(s.maxBitRate, 15000000);
             EXPECT_EQ(s.bitRate, 6000000);  // an average below the cap stays
           }},
          {.name = "the declared rate follows the level's cap",
           .setUp = [](EncoderSettings& s) { s.bitRate = s.maxBitRate = 200000000; },
           .messages = "warning: bit_rate exceeds level limit\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x48);
             EXPECT_EQ(s.maxBitRate, 15000000);
             EXPECT_EQ(s.bitRate, 15000000);
           }},
          {.name = "a declared rate above the peak comes down to it",
           .setUp = [](EncoderSettings& s) { s.bitRate = 8000000; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.bitRate, 6000000); }},
          {.name = "MPEG-1 caps both rates at the 18-bit field's largest",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.bitRate = s.maxBitRate = 200000000; s.streamType = 2;
           },
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.maxBitRate, 104857200);
             EXPECT_EQ(s.bitRate, 104857200);
           }},
          {.name = "20 Mbit/s without a standard-definition stream type goes to High",
           .setUp = [](EncoderSettings& s) { s.maxBitRate = 20000000; s.streamType = 0; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, 0x44); }},
          {.name = "small VBV raised to an eighth",
           .setUp = [](EncoderSettings& s) { s.vbvBufferSize = 3; },
           .messages = "warning: vbv_buffer_size too low: setting higher value of 14\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.vbvBufferSize, 14); }},
          {.name = "odd width", .setUp = [](EncoderSettings& s) { s.width = 719; }, .accepted = false,
           .messages = "horizontal_size must be even (4:2:0 / 4:2:2)\n"},
          {.name = "odd width in 4:4:4", .setUp = [](EncoderSettings& s) { s.width = 719; s.chromaFormat = 3; }},
          {.name = "odd height", .setUp = [](EncoderSettings& s) { s.height = 575; }, .accepted = false,
           .messages = "vertical_size must be even (4:2:0)\n"},
          {.name = "frame too small", .setUp = [](EncoderSettings& s) { s.width = 8; s.height = 8; },
           .accepted = false, .messages = "invalid frame size (8x8)\n"},
          {.name = "frame too large", .setUp = [](EncoderSettings& s) { s.width = 4096; }, .accepted = false,
           .messages = "invalid frame size (4096x576)\n"},
          {.name = "frame rate index 12", .setUp = [](EncoderSettings& s) { s.frameRateIndex = 12; },
           .accepted = false, .messages = "invalid frame rate\n"},
          {.name = "bit rate 0", .setUp = [](EncoderSettings& s) { s.maxBitRate = 0; }, .accepted = false,
           .messages = "bit_rate must be positive\n"},
          {.name = "chroma format 0", .setUp = [](EncoderSettings& s) { s.chromaFormat = 0; },
           .messages = "chroma_format must be in range 1...3\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.chromaFormat, 1); }},
          {.name = "VBV 0", .setUp = [](EncoderSettings& s) { s.vbvBufferSize = 0; },
           .messages = "vbv_buffer_size must be in range 1..(2^18-1)\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.vbvBufferSize, 64); }},
          {.name = "video format 7", .setUp = [](EncoderSettings& s) { s.videoFormat = 7; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.videoFormat, 5); }},
          {.name = "MPEG-2 search ranges within f_code 8 / 5",
           .setUp = [](EncoderSettings& s) { s.searchRangeX = 2000; s.searchRangeY = 200; },
           .messages = "Warning: reducing max horizontal search width to ((4<<8)-1)\n"
           "Warning: reducing max vertical search width to ((4<<5)-1)\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.searchRangeX, 1023);
             EXPECT_EQ(s.searchRangeY, 127);
           }},
          {.name = "MPEG-1 interlaced becomes progressive",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.progressiveSequence = 0; s.streamType = 2;
           },
           .messages = "Warning: setting progressive_sequence = 1\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.progressiveSequence, 1); }},
          {.name = "MPEG-1 SIF is constrained",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.width = 352; s.height = 288; s.maxBitRate = 1150000;
             s.vbvBufferSize = 20; s.searchRangeX = 200; s.searchRangeY = 200;
           },
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.constraintFlags, 1);
             EXPECT_EQ(s.profileLevel, 0);
             EXPECT_EQ(s.searchRangeX, 63);
             EXPECT_EQ(s.searchRangeY, 63);
           }},
          {.name = "MPEG-1 at 720x576 is not constrained; f_code 7 limits",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.searchRangeX = 600; s.vbvBufferSize = 5000;
           },
           .messages = "Warning: reducing max horizontal search width to ((4<<7)-1)\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.constraintFlags, 0);
             EXPECT_EQ(s.searchRangeX, 511);
             EXPECT_EQ(s.vbvBufferSize, 1023);
           }},
          {.name = "H.264 1080p29.97 at 20 Mbit/s, M 3",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 1920; s.height = 1080; s.frameRateIndex = 7;
             s.maxBitRate = 20000000; s.anchorDistance = 3; s.gopLength = 15; s.streamType = 0;
             s.loopFilterMode = 2;
           },
           .messages = "warning: vbv_buffer_size too low: setting higher value of 190\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, (77 << 8) | 40);
             EXPECT_EQ(s.constraintFlags, 0x60);
             EXPECT_EQ(s.loopFilter, 1);
             EXPECT_EQ(s.mpeg4StyleEstimator, 1);
             EXPECT_EQ(s.searchRangeY, 31);
           }},
          {.name = "H.264 1080p29.97 with stream type 5 is High profile",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 1920; s.height = 1080; s.frameRateIndex = 7;
             s.maxBitRate = 20000000; s.anchorDistance = 3; s.streamType = STREAM_TYPE_HD;
           },
           .messages = "warning: vbv_buffer_size too low: setting higher value of 190\n",
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, (100 << 8) | 40); }},
          {.name = "H.264 CIF with M 1 is Baseline; the VBV is raised",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 352; s.height = 288; s.maxBitRate = 384000;
             s.frameRateIndex = 6; s.vbvBufferSize = 1; s.streamType = 0;
           },
           .messages = "warning: vbv_buffer_size too low: setting higher value of 15\n",
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, (66 << 8) | 13);
             EXPECT_EQ(s.constraintFlags, 0xE0);
             EXPECT_EQ(s.vbvBufferSize, 15);
           }},
          {.name = "H.264 interlaced CIF moves up to level 2.1",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 352; s.height = 288; s.maxBitRate = 384000;
             s.progressiveSequence = 0; s.streamType = 0;
           },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, (77 << 8) | 21); }},
          {.name = "H.264 loop filter request word 0 is kept",
           .setUp = [](EncoderSettings& s) { s.codec = CODEC_H264; s.loopFilterMode = 0; s.streamType = 0; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.loopFilter, 0); }},
          {.name = "VC-1 320x240 at 15 frames/s, 500 kbit/s is simple profile",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_VC1; s.width = 320; s.height = 240; s.frameRateIndex = 3;
             s.maxBitRate = 500000; s.streamType = 0; s.vbvBufferSize = 20;
             s.searchRangeX = 63; s.searchRangeY = 31;
           },
           .check = [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel & ~15, VC1_PROFILE_SIMPLE);
             EXPECT_EQ(s.searchRangeX, 63);
             EXPECT_EQ(s.searchRangeY, 31);
             EXPECT_EQ(s.vc1MvFlags, 2);  // FASTUVMC only
           }},
          {.name = "VC-1 simple profile f_codes 4 / 3",
           .setUp = [](EncoderSettings& s) {
             s.codec = CODEC_VC1; s.width = 320; s.height = 240; s.frameRateIndex = 3;
             s.maxBitRate = 500000; s.streamType = 0; s.searchRangeX = 100; s.searchRangeY = 40;
           },
           .messages = "Warning: reducing max horizontal search width to ((4<<4)-1)\n"
           "Warning: reducing max vertical search width to ((4<<3)-1)\n"},
          {.name = "reorder kept without search",
           .setUp = [](EncoderSettings& s) { s.searchParams[0].noSearch = 1; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 1); }},
          {.name = "reorder cleared with a search",
           .setUp = [](EncoderSettings& s) { s.searchParams[0].noSearch = 0; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {.name = "reorder with M 3 needs the second record off too",
           .setUp = [](EncoderSettings& s) {
             s.searchParams[0].noSearch = 1; s.anchorDistance = 3;
           },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {.name = "reorder with M 3 and both records off",
           .setUp = [](EncoderSettings& s) {
             s.searchParams[0].noSearch = s.searchParams[1].noSearch = 1; s.anchorDistance = 3;
           },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 1); }},
          {.name = "reorder cleared by the noise filter",
           .setUp = [](EncoderSettings& s) { s.searchParams[0].noSearch = 1; s.noiseFilterMode = 1; },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {.name = "reorder cleared for MPEG-4",
           .setUp = [](EncoderSettings& s) {
             s.searchParams[0].noSearch = 1; s.codec = CODEC_MPEG4; s.streamType = 0;
           },
           .check = [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
      },
      false);
}

TEST(CheckSequenceParams, QuietSilencesAllButTheBasicChecks) {
  RunCases({
               {.name = "N warning silenced",
                .setUp = [](EncoderSettings& s) { s.gopLength = 14; s.anchorDistance = 3; }},
               {.name = "level warnings silenced",
                .setUp = [](EncoderSettings& s) { s.maxBitRate = 20000000; s.searchRangeX = 5000; }},
               {.name = "basic checks still print", .setUp = [](EncoderSettings& s) { s.width = 719; },
                .accepted = false, .messages = "horizontal_size must be even (4:2:0 / 4:2:2)\n"},
               {.name = "VBV range still prints", .setUp = [](EncoderSettings& s) { s.vbvBufferSize = 300000; },
                .messages = "vbv_buffer_size must be in range 1..(2^18-1)\n"},
           },
           true);
}

TEST(CheckSequenceParams, Mpeg4RowsAndMpegQuantisation) {
  struct Case {
    int width, height, frameRateIndex, bitRate;
    int progressive = 1, useMpegQuant = 0;
    int expectedCode, expectedVbvCap;
    int anchorDistance = 1;
  };
  // Visited from the last row to the first, so the first fitting row of the table decides.
  const Case cases[] = {
      {.width = 176, .height = 144, .frameRateIndex = 3, .bitRate = 64000, .expectedCode = 0x01,
       .expectedVbvCap = 10},
      {.width = 352, .height = 288, .frameRateIndex = 3, .bitRate = 128000, .expectedCode = 0x02,
       .expectedVbvCap = 40},
      {.width = 352, .height = 288, .frameRateIndex = 3, .bitRate = 128000, .useMpegQuant = 1, .expectedCode = 0xF2,
       .expectedVbvCap = 40},  // MPEG quantisation skips the simple rows
      {.width = 352, .height = 288, .frameRateIndex = 3, .bitRate = 128000, .expectedCode = 0xF2,
       .expectedVbvCap = 40, .anchorDistance = 3},  // B-VOPs skip them too: Simple has none
      {.width = 352, .height = 288, .frameRateIndex = 3, .bitRate = 128000, .expectedCode = 0xF2,
       .expectedVbvCap = 40, .anchorDistance = 2},
      {.width = 720, .height = 576, .frameRateIndex = 6, .bitRate = 6000000, .expectedCode = 0xF5,
       .expectedVbvCap = 112},
      {.width = 720, .height = 576, .frameRateIndex = 6, .bitRate = 6000000, .progressive = 0, .expectedCode = 0xF5,
       .expectedVbvCap = 112},
      {.width = 1920, .height = 1080, .frameRateIndex = 6, .bitRate = 20000000, .expectedCode = 0xFF,
       .expectedVbvCap = 448},
      {.width = 1920, .height = 1088, .frameRateIndex = 9, .bitRate = 90000000, .expectedCode = 0xF5,
       .expectedVbvCap = 1000},  // nothing fits: code and VBV stay
  };
  for (const Case& c : cases) {
    EncoderSettings s = Mpeg2Settings(c.width, c.height, c.frameRateIndex, c.bitRate);
    s.codec = CODEC_MPEG4;
    s.streamType = 0;
    s.progressiveSequence = c.progressive;
    s.useMpegQuant = c.useMpegQuant;
    s.anchorDistance = c.anchorDistance;
    s.vbvBufferSize = 1000;
    SelectMPEG4ProfileLevel(s, true);
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.bitRate) +
                 (c.progressive ? " progressive" : " interlaced") + (c.useMpegQuant ? " MPEG quantisation" : "") + " M " + std::to_string(c.anchorDistance));
    EXPECT_EQ(s.profileLevel, c.expectedCode);
    EXPECT_EQ(s.vbvBufferSize, c.expectedVbvCap);
  }
}

// The MPEG-2 choice against ISO/IEC 13818-2 clause 8 (Table 8-10 and 8-13, Main profile):
// the sequence the checks let through must satisfy the published limits of the chosen level,
// and Main level must be chosen whenever the sequence satisfies Main level's limits.
TEST(LevelsAgainstPublishedTables, Mpeg2) {
  struct Published {
    int code, width, height;
    double framesPerSecond;
    int64_t samplesPerSecond, bitRate, vbvBits;
  };
  const Published main{8, 720, 576, 30, 10368000, 15000000, 1835008};
  const Published high{4, 1920, 1152, 60, 62668800, 80000000, 9781248};
  struct Case {
    int width, height, frameRateIndex, bitRate, streamType;
  };
  const Case cases[] = {{720, 576, 6, 6000000, 3},    {720, 480, 7, 8000000, 3},
                        {352, 288, 6, 1500000, 0},    {720, 576, 9, 8000000, 3},
                        {1280, 720, 11, 30000000, 5}, {1920, 1080, 6, 25000000, 5},
                        {1920, 1080, 7, 90000000, 5}, {704, 576, 6, 17000000, 0},
                        {720, 576, 6, 17000000, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EncoderSettings s = Mpeg2Settings(c.width, c.height, c.frameRateIndex, c.bitRate);
    s.streamType = c.streamType;
    s.vbvBufferSize = 10000;
    ASSERT_TRUE(CheckSequenceParams(s, true, kCpuWord));
    const double rate = kFrameRateTable[c.frameRateIndex].rate;
    const bool fitsMain = c.width <= main.width && c.height <= main.height &&
                          rate <= main.framesPerSecond &&
                          c.width * c.height * rate <= main.samplesPerSecond &&
                          (c.bitRate <= main.bitRate || c.streamType == 3);
    const Published& level = (s.profileLevel & 15) == 8 ? main : high;
    EXPECT_EQ((s.profileLevel & 15) == 8, fitsMain);
    EXPECT_EQ(s.profileLevel >> 4, 4);  // Main profile
    EXPECT_LE(s.width, level.width);
    EXPECT_LE(s.height, level.height);
    EXPECT_LE(rate, level.framesPerSecond);
    EXPECT_LE(s.width * s.height * rate, level.samplesPerSecond);
    EXPECT_LE(s.maxBitRate, level.bitRate);
    EXPECT_LE(int64_t{s.vbvBufferSize} * 16384, level.vbvBits);
  }
}

// The H.264 level against a recomputation of ITU-T H.264 Table A-1: the lowest level whose
// MaxMBPS, MaxFS, frame dimension and MaxBR limits hold.
TEST(LevelsAgainstPublishedTables, H264) {
  struct A1 {
    int levelIdc;
    int64_t maxMbps, maxFs, maxBrKbit;
  };
  const A1 tableA1[] = {{10, 1485, 99, 64},       {11, 3000, 396, 192},
                        {12, 6000, 396, 384},     {13, 11880, 396, 768},
                        {20, 11880, 396, 2000},   {21, 19800, 792, 4000},
                        {22, 20250, 1620, 4000},  {30, 40500, 1620, 10000},
                        {31, 108000, 3600, 14000}, {32, 216000, 5120, 20000},
                        {40, 245760, 8192, 20000}, {41, 245760, 8192, 50000},
                        {42, 522240, 8704, 50000}};
  struct Case {
    int width, height, frameRateIndex, bitRate;
  };
  const Case cases[] = {{176, 144, 3, 64000},     {176, 144, 6, 150000},  {352, 288, 3, 300000},
                        {352, 288, 8, 700000},    {352, 288, 6, 1500000}, {352, 576, 6, 3000000},
                        {720, 576, 6, 4000000},   {720, 480, 7, 8000000}, {1280, 720, 7, 12000000},
                        {1280, 720, 11, 14000000}, {1920, 1080, 6, 18000000},
                        {1920, 1080, 7, 30000000}, {1280, 1024, 6, 19000000},
                        // Sizes that code whole macroblocks: 712x580 is 1613 macroblocks by
                        // area but codes 45 x 37 = 1665, beyond level 3.0's 1620.
                        {712, 580, 6, 4000000},   {1366, 768, 7, 8000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                 std::to_string(c.bitRate));
    EncoderSettings s = Mpeg2Settings(c.width, c.height, c.frameRateIndex, c.bitRate);
    s.codec = CODEC_H264;
    s.streamType = 0;
    ASSERT_TRUE(CheckSequenceParams(s, true, kCpuWord));
    const int64_t mbWidth = (c.width + 15) / 16;
    const int64_t mbHeight = (c.height + 15) / 16;
    const int64_t frameSize = mbWidth * mbHeight;
    const double mbRate = frameSize * kFrameRateTable[c.frameRateIndex].rate;
    int expected = 0;
    for (const A1& row : tableA1) {
      const double dimensionLimit = std::sqrt(8.0 * row.maxFs);
      if (frameSize <= row.maxFs && mbWidth <= dimensionLimit && mbHeight <= dimensionLimit &&
          mbRate <= row.maxMbps && c.bitRate <= row.maxBrKbit * 1000) {
        expected = row.levelIdc;
        break;
      }
    }
    ASSERT_NE(expected, 42) << "level 4.2 cases are left out";
    EXPECT_EQ(s.profileLevel & 0xFF, expected);
  }
}

// The VC-1 choice against SMPTE 421M Annex D (Table 253): the chosen level's macroblock rate,
// frame size and bit rate hold, and the level below would not.
TEST(LevelsAgainstPublishedTables, Vc1) {
  struct Annex {
    int64_t mbPerSecond, mbPerFrame, maxBitRate;
  };
  const Annex simple[] = {{1485, 99, 96000}, {5940, 396, 384000}, {9000, 396, 800000}};
  const Annex mainProfile[] = {{7200, 396, 2000000}, {40500, 1620, 10000000}, {245760, 8192, 20000000}};
  const Annex advanced[] = {{11880, 396, 2000000},
                            {48600, 1620, 10000000},
                            {108000, 3600, 20000000},
                            {245760, 8192, 45000000},
                            {491520, 16384, 135000000}};
  struct Case {
    int width, height, frameRateIndex, bitRate, anchorDistance;
    int progressive = 1, streamType = 0;
    int expectedProfile;
  };
  const Case cases[] = {
      {.width = 176, .height = 144, .frameRateIndex = 3, .bitRate = 90000, .anchorDistance = 1,
       .expectedProfile = VC1_PROFILE_SIMPLE},
      {.width = 320, .height = 240, .frameRateIndex = 3, .bitRate = 500000, .anchorDistance = 1,
       .expectedProfile = VC1_PROFILE_SIMPLE},
      {.width = 352, .height = 288, .frameRateIndex = 6, .bitRate = 2000000, .anchorDistance = 3,
       .expectedProfile = VC1_PROFILE_MAIN},
      {.width = 720, .height = 576, .frameRateIndex = 6, .bitRate = 6000000, .anchorDistance = 3,
       .expectedProfile = VC1_PROFILE_MAIN},
      {.width = 1920, .height = 1080, .frameRateIndex = 7, .bitRate = 18000000, .anchorDistance = 3,
       .expectedProfile = VC1_PROFILE_MAIN},
      {.width = 720, .height = 576, .frameRateIndex = 6, .bitRate = 6000000, .anchorDistance = 3, .progressive = 0,
       .expectedProfile = VC1_PROFILE_ADVANCED},
      {.width = 1920, .height = 1080, .frameRateIndex = 6, .bitRate = 20000000, .anchorDistance = 3, .streamType = 5,
       .expectedProfile = VC1_PROFILE_ADVANCED},
      {.width = 1920, .height = 1080, .frameRateIndex = 11, .bitRate = 40000000, .anchorDistance = 1,
       .streamType = 5, .expectedProfile = VC1_PROFILE_ADVANCED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " frame rate " +
                 std::to_string(c.frameRateIndex) + " at " + std::to_string(c.bitRate) + " M " +
                 std::to_string(c.anchorDistance) + (c.progressive ? " progressive" : " interlaced"));
    EncoderSettings s = Mpeg2Settings(c.width, c.height, c.frameRateIndex, c.bitRate);
    s.codec = CODEC_VC1;
    s.anchorDistance = c.anchorDistance;
    s.progressiveSequence = c.progressive;
    s.streamType = c.streamType;
    ASSERT_TRUE(CheckSequenceParams(s, true, kCpuWord));
    EXPECT_EQ(s.profileLevel & ~15, c.expectedProfile);
    const Annex* rows = c.expectedProfile == VC1_PROFILE_SIMPLE ? simple
                        : c.expectedProfile == VC1_PROFILE_MAIN ? mainProfile
                                                                : advanced;
    const int level = s.profileLevel & 15;
    const int64_t mbPerFrame = (int64_t{c.width} * c.height + 255) / 256;
    const double mbRate = double(c.width) * c.height * kFrameRateTable[c.frameRateIndex].rate / 256;
    auto holds = [&](const Annex& row) {
      return mbRate <= row.mbPerSecond + 0.5 && mbPerFrame <= row.mbPerFrame &&
             c.bitRate <= row.maxBitRate;
    };
    EXPECT_TRUE(holds(rows[level]));
    if (level > 0) {
      EXPECT_FALSE(holds(rows[level - 1]));
    }
  }
}

}  // namespace
