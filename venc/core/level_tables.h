#pragma once
// Profile and level limits the sequence checks choose from (fixed data).
#include <cstdint>

namespace orx::venc {

// MPEG-2 levels (ISO/IEC 13818-2 clause 8).
struct Mpeg2LevelLimits {
  int32_t levelCode;  // 4 High, 6 High 1440, 8 Main, 10 Low
  int32_t maxFCodeH;
  int32_t maxFCodeV;
  int32_t width;
  int32_t height;
  int64_t samplesPerSecond;
  int32_t bitRate;
  int32_t vbvSize;  // 16384-bit units
};
inline constexpr Mpeg2LevelLimits kMpeg2Levels[4] = {
    {4, 9, 5, 1920, 1152, 62668800, 80000000, 597},
    {6, 9, 5, 1440, 1152, 47001600, 60000000, 448},
    {8, 8, 5, 720, 576, 10368000, 15000000, 112},
    {10, 7, 4, 352, 288, 3041280, 4000000, 29},
};
// The row of an MPEG-2 level code (the level part of profile_and_level_indication).
const Mpeg2LevelLimits* FindMpeg2Level(int32_t levelCode);

// MPEG-4 Part 2 profile and level rows, in the order the check visits them backwards.
struct Mpeg4LevelLimits {
  int32_t kbitRate;
  int32_t vbvSize;  // 16384-bit units
  int32_t maxMacroblocks;
  int32_t macroblocksPerSecond;
  int32_t interlace;
  int32_t code;  // profile_and_level_indication
};
inline constexpr Mpeg4LevelLimits kMpeg4Levels[10] = {
    {64, 10, 99, 1485, 0, 0x01},      {128, 40, 396, 5940, 0, 0x02},
    {384, 40, 396, 11880, 0, 0x03},   {128, 10, 99, 2970, 0, 0xF1},
    {384, 40, 396, 5940, 0, 0xF2},    {768, 40, 396, 11880, 0, 0xF3},
    {1500, 65, 396, 11880, 0, 0xF7},  {3000, 80, 792, 23760, 1, 0xF4},
    {8000, 112, 1620, 48600, 1, 0xF5}, {80000, 448, 8640, 256000, 1, 0xFF},
};

// VC-1 rows by profile (simple 0, main 1, advanced 2) and level index.
struct Vc1LevelLimits {
  int32_t macroblocksPerSecond;
  int32_t macroblocksPerFrame;
  int32_t kbitRate;
  int32_t vbvSize;  // 16384-bit units
};
inline constexpr Vc1LevelLimits kVc1Levels[3][5] = {
    {{1485, 99, 96, 20}, {5940, 396, 384, 77}, {9000, 396, 800, 112}, {}, {}},
    {{7200, 396, 2000, 306}, {40500, 1620, 10000, 611}, {245760, 8192, 20000, 2442}, {}, {}},
    {{11880, 396, 2000, 250},
     {48600, 1620, 10000, 1250},
     {108000, 3600, 20000, 2500},
     {245760, 8192, 45000, 5500},
     {491520, 16384, 135000, 16500}},
};

// H.264 levels (ITU-T H.264 Table A-1 without level 1b; level 4.2 keeps MaxMBPS 491520).
struct H264LevelLimits {
  int32_t levelIdc;
  int32_t maxMbps;
  int32_t maxFs;
  int32_t maxBr;  // kbit/s
  int32_t maxCpb;  // kbit
};
inline constexpr H264LevelLimits kH264Levels[13] = {
    {10, 1485, 99, 64, 175},           {11, 3000, 396, 192, 500},
    {12, 6000, 396, 384, 1000},        {13, 11880, 396, 768, 2000},
    {20, 11880, 396, 2000, 2000},      {21, 19800, 792, 4000, 4000},
    {22, 20250, 1620, 4000, 4000},     {30, 40500, 1620, 10000, 10000},
    {31, 108000, 3600, 14000, 14000},  {32, 216000, 5120, 20000, 20000},
    {40, 245760, 8192, 20000, 25000},  {41, 245760, 8192, 50000, 62500},
    {42, 491520, 8704, 50000, 62500},
};

}  // namespace orx::venc
