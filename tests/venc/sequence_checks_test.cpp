// CheckSequenceParams and the profile and level choice: repairs, refusals and every warning,
// compared verbatim through the debugger output.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/venc/debug_capture.h"
#include "tests/venc/settings_fixture.h"
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
  bool result;
  std::string messages;
  std::function<void(const EncoderSettings&)> check;
};

void RunCases(const std::vector<CheckCase>& cases, bool quiet) {
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    EncoderSettings s = Mpeg2Settings();
    c.setUp(s);
    DebugCapture capture;
    EXPECT_EQ(CheckSequenceParams(s, quiet, kCpuWord), c.result);
    EXPECT_EQ(capture.Text(), c.messages);
    if (c.check) c.check(s);
  }
}

TEST(CheckSequenceParams, RepairsRefusalsAndWarnings) {
  RunCases(
      {
          {"N 14, M 3 becomes 12", [](EncoderSettings& s) { s.gopLength = 14; s.anchorDistance = 3; },
           true, "N must be an integer multiple of M\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 12); }},
          {"N 200 is cut to 132 first", [](EncoderSettings& s) { s.gopLength = 200; s.anchorDistance = 3; },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 132); }},
          {"N 200 for H.264 is not cut",
           [](EncoderSettings& s) { s.gopLength = 200; s.codec = CODEC_H264; s.streamType = 0; },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 200); }},
          {"M 5 becomes 3", [](EncoderSettings& s) { s.anchorDistance = 5; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 3); }},
          {"M 0 stays 0", [](EncoderSettings& s) { s.anchorDistance = 0; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 0); }},
          {"M above N", [](EncoderSettings& s) { s.gopLength = 2; s.anchorDistance = 3; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.anchorDistance, 2); }},
          {"N 0", [](EncoderSettings& s) { s.gopLength = 0; }, true, "N must be positive\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.gopLength, 1); }},
          {"1920x1080 at 25 is Main at High",
           [](EncoderSettings& s) {
             s.width = 1920; s.height = 1080; s.vbvBufferSize = 1000; s.streamType = STREAM_TYPE_HD;
           },
           true, "",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x44);
             EXPECT_EQ(s.vbvBufferSize, 597);
           }},
          {"720x576 at 20 Mbit/s is capped at Main level",
           [](EncoderSettings& s) { s.maxBitRate = 20000000; }, true,
           "warning: bit_rate exceeds level limit\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x48);
             EXPECT_EQ(s.maxBitRate, 15000000);
             EXPECT_EQ(s.bitRate, 6000000);  // an average below the cap stays
           }},
          {"the declared rate follows the level's cap",
           [](EncoderSettings& s) { s.bitRate = s.maxBitRate = 200000000; }, true,
           "warning: bit_rate exceeds level limit\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, 0x48);
             EXPECT_EQ(s.maxBitRate, 15000000);
             EXPECT_EQ(s.bitRate, 15000000);
           }},
          {"a declared rate above the peak comes down to it",
           [](EncoderSettings& s) { s.bitRate = 8000000; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.bitRate, 6000000); }},
          {"MPEG-1 caps both rates at the 18-bit field's largest",
           [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.bitRate = s.maxBitRate = 200000000; s.streamType = 2;
           },
           true, "",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.maxBitRate, 104857200);
             EXPECT_EQ(s.bitRate, 104857200);
           }},
          {"20 Mbit/s without a standard-definition stream type goes to High",
           [](EncoderSettings& s) { s.maxBitRate = 20000000; s.streamType = 0; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, 0x44); }},
          {"small VBV raised to an eighth",
           [](EncoderSettings& s) { s.vbvBufferSize = 3; }, true,
           "warning: vbv_buffer_size too low: setting higher value of 14\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.vbvBufferSize, 14); }},
          {"odd width", [](EncoderSettings& s) { s.width = 719; }, false,
           "horizontal_size must be even (4:2:0 / 4:2:2)\n", nullptr},
          {"odd width in 4:4:4", [](EncoderSettings& s) { s.width = 719; s.chromaFormat = 3; }, true,
           "", nullptr},
          {"odd height", [](EncoderSettings& s) { s.height = 575; }, false,
           "vertical_size must be even (4:2:0)\n", nullptr},
          {"frame too small", [](EncoderSettings& s) { s.width = 8; s.height = 8; }, false,
           "invalid frame size (8x8)\n", nullptr},
          {"frame too large", [](EncoderSettings& s) { s.width = 4096; }, false,
           "invalid frame size (4096x576)\n", nullptr},
          {"frame rate index 12", [](EncoderSettings& s) { s.frameRateIndex = 12; }, false,
           "invalid frame rate\n", nullptr},
          {"bit rate 0", [](EncoderSettings& s) { s.maxBitRate = 0; }, false,
           "bit_rate must be positive\n", nullptr},
          {"chroma format 0", [](EncoderSettings& s) { s.chromaFormat = 0; }, true,
           "chroma_format must be in range 1...3\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.chromaFormat, 1); }},
          {"VBV 0", [](EncoderSettings& s) { s.vbvBufferSize = 0; }, true,
           "vbv_buffer_size must be in range 1..(2^18-1)\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.vbvBufferSize, 64); }},
          {"video format 7", [](EncoderSettings& s) { s.videoFormat = 7; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.videoFormat, 5); }},
          {"MPEG-2 search ranges within f_code 8 / 5",
           [](EncoderSettings& s) { s.searchRangeX = 2000; s.searchRangeY = 200; }, true,
           "Warning: reducing max horizontal search width to ((4<<8)-1)\n"
           "Warning: reducing max vertical search width to ((4<<5)-1)\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.searchRangeX, 1023);
             EXPECT_EQ(s.searchRangeY, 127);
           }},
          {"MPEG-1 interlaced becomes progressive",
           [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.progressiveSequence = 0; s.streamType = 2;
           },
           true, "Warning: setting progressive_sequence = 1\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.progressiveSequence, 1); }},
          {"MPEG-1 SIF is constrained",
           [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.width = 352; s.height = 288; s.maxBitRate = 1150000;
             s.vbvBufferSize = 20; s.searchRangeX = 200; s.searchRangeY = 200;
           },
           true, "",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.constraintFlags, 1);
             EXPECT_EQ(s.profileLevel, 0);
             EXPECT_EQ(s.searchRangeX, 63);
             EXPECT_EQ(s.searchRangeY, 63);
           }},
          {"MPEG-1 at 720x576 is not constrained; f_code 7 limits",
           [](EncoderSettings& s) {
             s.codec = CODEC_MPEG1; s.searchRangeX = 600; s.vbvBufferSize = 5000;
           },
           true, "Warning: reducing max horizontal search width to ((4<<7)-1)\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.constraintFlags, 0);
             EXPECT_EQ(s.searchRangeX, 511);
             EXPECT_EQ(s.vbvBufferSize, 1023);
           }},
          {"H.264 1080p29.97 at 20 Mbit/s, M 3",
           [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 1920; s.height = 1080; s.frameRateIndex = 7;
             s.maxBitRate = 20000000; s.anchorDistance = 3; s.gopLength = 15; s.streamType = 0;
             s.loopFilterMode = 2;
           },
           true, "warning: vbv_buffer_size too low: setting higher value of 190\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, (77 << 8) | 40);
             EXPECT_EQ(s.constraintFlags, 0x60);
             EXPECT_EQ(s.loopFilter, 1);
             EXPECT_EQ(s.mpeg4StyleEstimator, 1);
             EXPECT_EQ(s.searchRangeY, 31);
           }},
          {"H.264 1080p29.97 with stream type 5 is High profile",
           [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 1920; s.height = 1080; s.frameRateIndex = 7;
             s.maxBitRate = 20000000; s.anchorDistance = 3; s.streamType = STREAM_TYPE_HD;
           },
           true, "warning: vbv_buffer_size too low: setting higher value of 190\n",
           [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, (100 << 8) | 40); }},
          {"H.264 CIF with M 1 is Baseline; the VBV is raised",
           [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 352; s.height = 288; s.maxBitRate = 384000;
             s.frameRateIndex = 6; s.vbvBufferSize = 1; s.streamType = 0;
           },
           true, "warning: vbv_buffer_size too low: setting higher value of 15\n",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel, (66 << 8) | 13);
             EXPECT_EQ(s.constraintFlags, 0xE0);
             EXPECT_EQ(s.vbvBufferSize, 15);
           }},
          {"H.264 interlaced CIF moves up to level 2.1",
           [](EncoderSettings& s) {
             s.codec = CODEC_H264; s.width = 352; s.height = 288; s.maxBitRate = 384000;
             s.progressiveSequence = 0; s.streamType = 0;
           },
           true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.profileLevel, (77 << 8) | 21); }},
          {"H.264 loop filter request word 0 is kept",
           [](EncoderSettings& s) { s.codec = CODEC_H264; s.loopFilterMode = 0; s.streamType = 0; },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.loopFilter, 0); }},
          {"VC-1 320x240 at 15 frames/s, 500 kbit/s is simple profile",
           [](EncoderSettings& s) {
             s.codec = CODEC_VC1; s.width = 320; s.height = 240; s.frameRateIndex = 3;
             s.maxBitRate = 500000; s.streamType = 0; s.vbvBufferSize = 20;
             s.searchRangeX = 63; s.searchRangeY = 31;
           },
           true, "",
           [](const EncoderSettings& s) {
             EXPECT_EQ(s.profileLevel & ~15, VC1_PROFILE_SIMPLE);
             EXPECT_EQ(s.searchRangeX, 63);
             EXPECT_EQ(s.searchRangeY, 31);
             EXPECT_EQ(s.vc1MvFlags, 2);  // FASTUVMC only
           }},
          {"VC-1 simple profile f_codes 4 / 3",
           [](EncoderSettings& s) {
             s.codec = CODEC_VC1; s.width = 320; s.height = 240; s.frameRateIndex = 3;
             s.maxBitRate = 500000; s.streamType = 0; s.searchRangeX = 100; s.searchRangeY = 40;
           },
           true,
           "Warning: reducing max horizontal search width to ((4<<4)-1)\n"
           "Warning: reducing max vertical search width to ((4<<3)-1)\n",
           nullptr},
          {"reorder kept without search",
           [](EncoderSettings& s) { s.searchParams[0].noSearch = 1; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 1); }},
          {"reorder cleared with a search",
           [](EncoderSettings& s) { s.searchParams[0].noSearch = 0; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {"reorder with M 3 needs the second record off too",
           [](EncoderSettings& s) {
             s.searchParams[0].noSearch = 1; s.anchorDistance = 3;
           },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {"reorder with M 3 and both records off",
           [](EncoderSettings& s) {
             s.searchParams[0].noSearch = s.searchParams[1].noSearch = 1; s.anchorDistance = 3;
           },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 1); }},
          {"reorder cleared by the noise filter",
           [](EncoderSettings& s) { s.searchParams[0].noSearch = 1; s.noiseFilterMode = 1; }, true, "",
           [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
          {"reorder cleared for MPEG-4",
           [](EncoderSettings& s) {
             s.searchParams[0].noSearch = 1; s.codec = CODEC_MPEG4; s.streamType = 0;
           },
           true, "", [](const EncoderSettings& s) { EXPECT_EQ(s.reorderPictures, 0); }},
      },
      false);
}

TEST(CheckSequenceParams, QuietSilencesAllButTheBasicChecks) {
  RunCases({
               {"N warning silenced",
                [](EncoderSettings& s) { s.gopLength = 14; s.anchorDistance = 3; }, true, "",
                nullptr},
               {"level warnings silenced",
                [](EncoderSettings& s) { s.maxBitRate = 20000000; s.searchRangeX = 5000; }, true,
                "", nullptr},
               {"basic checks still print", [](EncoderSettings& s) { s.width = 719; }, false,
                "horizontal_size must be even (4:2:0 / 4:2:2)\n", nullptr},
               {"VBV range still prints", [](EncoderSettings& s) { s.vbvBufferSize = 300000; },
                true, "vbv_buffer_size must be in range 1..(2^18-1)\n", nullptr},
           },
           true);
}

TEST(CheckSequenceParams, Mpeg4RowsAndMpegQuantisation) {
  struct Case {
    int width, height, frameRateIndex, bitRate, progressive, useMpegQuant;
    int expectedCode, expectedVbvCap;
  };
  // Visited from the last row to the first, so the first fitting row of the table decides.
  const Case cases[] = {
      {176, 144, 3, 64000, 1, 0, 0x01, 10},
      {352, 288, 3, 128000, 1, 0, 0x02, 40},
      {352, 288, 3, 128000, 1, 1, 0xF2, 40},  // MPEG quantisation skips the simple rows
      {720, 576, 6, 6000000, 1, 0, 0xF5, 112},
      {720, 576, 6, 6000000, 0, 0, 0xF5, 112},
      {1920, 1080, 6, 20000000, 1, 0, 0xFF, 448},
      {1920, 1088, 9, 90000000, 1, 0, 0xF5, 1000},  // nothing fits: code and VBV stay
  };
  for (const Case& c : cases) {
    EncoderSettings s = Mpeg2Settings(c.width, c.height, c.frameRateIndex, c.bitRate);
    s.codec = CODEC_MPEG4;
    s.streamType = 0;
    s.progressiveSequence = c.progressive;
    s.useMpegQuant = c.useMpegQuant;
    s.vbvBufferSize = 1000;
    SelectMPEG4ProfileLevel(s, true);
    EXPECT_EQ(s.profileLevel, c.expectedCode) << c.width << "x" << c.height;
    EXPECT_EQ(s.vbvBufferSize, c.expectedVbvCap) << c.width << "x" << c.height;
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
                        {1920, 1080, 7, 30000000}, {1280, 1024, 6, 19000000}};
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
    int width, height, frameRateIndex, bitRate, anchorDistance, progressive, streamType;
    int expectedProfile;
  };
  const Case cases[] = {
      {176, 144, 3, 90000, 1, 1, 0, VC1_PROFILE_SIMPLE},
      {320, 240, 3, 500000, 1, 1, 0, VC1_PROFILE_SIMPLE},
      {352, 288, 6, 2000000, 3, 1, 0, VC1_PROFILE_MAIN},
      {720, 576, 6, 6000000, 3, 1, 0, VC1_PROFILE_MAIN},
      {1920, 1080, 7, 18000000, 3, 1, 0, VC1_PROFILE_MAIN},
      {720, 576, 6, 6000000, 3, 0, 0, VC1_PROFILE_ADVANCED},
      {1920, 1080, 6, 20000000, 3, 1, 5, VC1_PROFILE_ADVANCED},
      {1920, 1080, 11, 40000000, 1, 1, 5, VC1_PROFILE_ADVANCED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
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
