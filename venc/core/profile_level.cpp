#include "venc/core/profile_level.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#include "platform/processor_features.h"
#include "venc/common/debug_printf.h"
#include "venc/core/level_tables.h"
#include "venc/core/rounding.h"
#include "venc/core/sequence_header.h"

namespace orx::venc {
namespace {

// Raises a VBV size below an eighth of the level's to that eighth, and caps it at the level's.
void FitVbvToLevel(EncoderSettings& s, int32_t levelVbv, bool quiet) {
  const int32_t lower = levelVbv / 8;
  if (s.vbvBufferSize < lower) {
    WarnVbvTooLow(lower, quiet);
    s.vbvBufferSize = lower;
  }
  s.vbvBufferSize = std::min(s.vbvBufferSize, levelVbv);
}

int32_t ChooseLoopFilter(const EncoderSettings& s, int32_t fallback) {
  return (s.loopFilterMode == 0 || s.loopFilterMode == 1) ? s.loopFilterMode : fallback;
}

// Steps the level down while the row below still holds the sequence.
int DropVc1Level(int profileRow, int level, int64_t macroblocksPerSecond, int64_t macroblocks,
                 int64_t bitRate) {
  while (level > 0) {
    const Vc1LevelLimits& below = kVc1Levels[profileRow][level - 1];
    if (macroblocksPerSecond > below.macroblocksPerSecond ||
        macroblocks > below.macroblocksPerFrame ||
        bitRate > static_cast<int64_t>(below.kbitRate) * 1000) {
      break;
    }
    --level;
  }
  return level;
}

}  // namespace

void WarnVbvTooLow(int32_t vbvBufferSize, bool quiet) {
  if (!quiet) DebugPrintf("warning: vbv_buffer_size too low: setting higher value of %d\n", vbvBufferSize);
}

void SelectMPEG2ProfileLevel(EncoderSettings& s, bool quiet) {
  s.constraintFlags = 0;
  s.profileLevel = 0x48;  // Main profile at Main level
  const double rate = SequenceFrameRate(s);
  if (rate * 1000.0 > 30000.0 || s.width > 720 || s.height > 576 ||
      static_cast<double>(s.width) * s.height * rate > 10368000.0 ||
      (s.maxBitRate > 15000000 && s.streamType != STREAM_TYPE_MPEG1_LARGE &&
       s.streamType != STREAM_TYPE_MPEG2_SD)) {
    s.profileLevel = 0x44;  // Main profile at High level
  }
  const Mpeg2LevelLimits* level = FindMpeg2Level(s.profileLevel & 15);
  FitVbvToLevel(s, level->vbvSize, quiet);
  if (s.maxBitRate > level->bitRate) {
    if (!quiet) DebugPrintf("warning: bit_rate exceeds level limit\n");
    s.maxBitRate = level->bitRate;
  }
  // The sequence header declares bitRate and the rate control aims at maxBitRate: the declared
  // rate may not exceed the level's limit nor the rate actually aimed at.
  s.bitRate = std::min(s.bitRate, s.maxBitRate);
}

void SelectMPEG4ProfileLevel(EncoderSettings& s, bool quiet) {
  (void)quiet;  // the MPEG-4 choice prints nothing
  s.profileLevel = 0xF5;
  s.constraintFlags = 0;
  const double rate = SequenceFrameRate(s);
  const int64_t pixels = static_cast<int64_t>(s.width) * s.height;
  for (int i = static_cast<int>(std::size(kMpeg4Levels)) - 1; i >= 0; --i) {
    const Mpeg4LevelLimits& row = kMpeg4Levels[i];
    const bool fits = s.maxBitRate <= static_cast<int64_t>(row.kbitRate) * 1000 &&
                      pixels <= static_cast<int64_t>(row.maxMacroblocks) * 256 &&
                      RoundToInt64(static_cast<double>(pixels) * rate / 256.0) <=
                          row.macroblocksPerSecond &&
                      (s.progressiveSequence != 0 || row.interlace != 0) &&
                      !(s.useMpegQuant != 0 && row.code < 16) &&
                      // Simple profile has no B-VOPs.
                      !(s.anchorDistance >= 2 && row.code < 16);
    if (fits) {
      s.profileLevel = row.code;
      s.vbvBufferSize = std::min(s.vbvBufferSize, row.vbvSize);
    }
  }
}

int32_t SelectVC1ProfileLevel(const EncoderSettings& s) {
  const int64_t macroblocks =
      static_cast<int64_t>((s.height + 15) & ~15) * ((s.width + 15) & ~15) / 256;
  const int64_t rate = RoundToInt64(static_cast<double>(macroblocks) * SequenceFrameRate(s));
  const int64_t bitRate = s.maxBitRate;
  int profile;
  int profileRow;
  int level;
  if (s.anchorDistance < 2 && s.progressiveSequence != 0 && macroblocks < 397 && rate < 9001 &&
      bitRate < 800001) {
    profile = VC1_PROFILE_SIMPLE;
    profileRow = 0;
    level = 2;
  } else if (s.progressiveSequence != 0 && s.streamType != STREAM_TYPE_HD &&
             macroblocks < 8193 && rate < 245761 && bitRate < 20000001) {
    profile = VC1_PROFILE_MAIN;
    profileRow = 1;
    level = 2;
  } else {
    profile = VC1_PROFILE_ADVANCED;
    profileRow = 2;
    level = 4;
  }
  return profile + DropVc1Level(profileRow, level, rate, macroblocks, bitRate);
}

void SelectVC1ProfileFromHeader(EncoderSettings& s, bool quiet, uint32_t cpuFeatures) {
  uint8_t header[kSequenceHeaderCapacity] = {};
  GetSequenceHeader(s, header, cpuFeatures);
  int profile;
  int headerLevel = 0;
  int32_t headerLoopFilter;
  if (header[1] == 0 && header[2] == 0 && header[3] == 1 && header[4] == 0x0F) {
    // Advanced: sequence header after the zero byte and the start code, then the entry point.
    profile = (header[5] >> 6) * 16;
    headerLevel = (header[5] >> 3) & 7;
    s.constraintFlags = 0;
    const uint8_t* entry = FindVc1EntryPoint(header, sizeof header);
    const uint8_t first = entry != nullptr ? entry[0] : 0;
    const uint8_t second = entry != nullptr ? entry[1] : 0;
    headerLoopFilter = (first >> 3) & 1;
    s.vc1MvFlags = ((first >> 1) & 1) | (((first >> 2) & 1) << 1);
    s.vc1Dquant = (first & 1) * 2 + (second >> 7);
  } else {
    profile = (header[0] >> 6) * 16;
    s.vc1MvFlags = ((header[2] >> 6) & 1) | (((header[2] >> 7) & 1) << 1);
    s.vc1Dquant = (header[2] >> 4) & 3;
    headerLoopFilter = (header[1] >> 3) & 1;
  }
  s.vc1Advanced = 0;
  int profileRow;
  int level;
  if (profile == VC1_PROFILE_SIMPLE) {
    profileRow = 0;
    level = 2;
  } else if (profile == VC1_PROFILE_ADVANCED) {
    profileRow = 2;
    level = std::min(headerLevel, 4);
    s.mpeg4StyleEstimator = 1;
    s.vc1Advanced = s.streamType == STREAM_TYPE_HD;
  } else {
    profile = VC1_PROFILE_MAIN;
    profileRow = 1;
    level = 2;
  }
  const int64_t pixels = static_cast<int64_t>(s.width) * s.height;
  level = DropVc1Level(profileRow, level,
                       RoundToInt64(static_cast<double>(pixels) * SequenceFrameRate(s) / 256.0),
                       (pixels + 255) / 256, s.maxBitRate);
  FitVbvToLevel(s, kVc1Levels[profileRow][level].vbvSize, quiet);
  s.profileLevel = profile | level;
  s.loopFilter = ChooseLoopFilter(s, headerLoopFilter);
}

void SelectH264Level(EncoderSettings& s, bool quiet, uint32_t cpuFeatures) {
  const double rate = SequenceFrameRate(s);
  // The level limits count coded macroblocks: a size that is not a multiple of 16 codes whole
  // macroblocks, and an interlaced frame whole macroblock pairs.
  const int64_t mbCols = (static_cast<int64_t>(s.width) + 15) / 16;
  int64_t mbRows = (static_cast<int64_t>(s.height) + 15) / 16;
  if (s.progressiveSequence == 0) mbRows = (mbRows + 1) & ~int64_t{1};
  const int64_t frameSize = mbCols * mbRows;
  auto fits = [&](const H264LevelLimits& row) {
    return s.maxBitRate <= static_cast<int64_t>(row.maxBr) * 1000 && frameSize <= row.maxFs &&
           mbCols * mbCols <= 8 * row.maxFs && mbRows * mbRows <= 8 * row.maxFs &&
           static_cast<double>(frameSize) * rate <= row.maxMbps;
  };
  // SelectH264Level, the H.264 profile and level of the sequence:
  // 1. From level 4.2 down while the row below fits.
  int index = static_cast<int>(std::size(kH264Levels)) - 1;
  while (index > 0 && fits(kH264Levels[index - 1])) --index;
  // 2. Interlaced sequences stay within levels 2.1 .. 4.1.
  if (s.progressiveSequence == 0) index = std::clamp(index, 5, 11);
  const H264LevelLimits& row = kH264Levels[index];
  int32_t levelIdc = row.levelIdc;
  // 3-4. Constraint byte and profile.
  s.constraintFlags = 0x60;
  if (s.anchorDistance <= 1 && s.progressiveSequence != 0) s.constraintFlags |= 0x80;
  int32_t profileIdc = (s.constraintFlags & 0x80) != 0 ? 66 : 77;
  if (s.streamType == STREAM_TYPE_HD || s.streamType == STREAM_TYPE_7) {
    profileIdc = 100;
    if (s.width >= 1280 && s.height >= 720) {
      levelIdc = std::max(levelIdc, 40);
    } else if (s.width >= 720 && s.height >= 480) {
      levelIdc = std::max(levelIdc, 30);
    }
  }
  s.profileLevel = (profileIdc << 8) | levelIdc;
  // 5. VBV within the CPB of the row chosen before the High-profile floor.
  const int32_t upper = static_cast<int32_t>(static_cast<int64_t>(row.maxCpb) * 1000 / 16384);
  const int32_t lower = static_cast<int32_t>(static_cast<int64_t>(row.maxCpb) * 1000 / 131072);
  if (s.vbvBufferSize < lower) {
    WarnVbvTooLow(lower, quiet);
    s.vbvBufferSize = lower;
  }
  s.vbvBufferSize = std::min(s.vbvBufferSize, upper);
  // 6. The loop filter and the MPEG-4 style estimator.
  s.loopFilter = ChooseLoopFilter(s, (cpuFeatures & platform::kCpuSse2) != 0 ? 1 : 0);
  s.mpeg4StyleEstimator = 1;
}

}  // namespace orx::venc
