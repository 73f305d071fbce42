#include "venc/core/sequence_checks.h"

#include <algorithm>

#include "venc/common/debug_printf.h"
#include "venc/core/profile_level.h"

namespace orx::venc {
namespace {

struct FCodeLimits {
  int horizontal;
  int vertical;
};

FCodeLimits ChooseFCodeLimits(const EncoderSettings& s) {
  switch (s.codec) {
    case CODEC_MPEG1: return {7, 7};
    case CODEC_MPEG4: return {8, 8};
    case CODEC_VC1: {
      if (s.profileLevel < VC1_PROFILE_MAIN) return {4, 3};
      if ((s.profileLevel & 15) != 0 && (s.vc1MvFlags & 1) != 0) {
        const int pl = s.profileLevel;
        return (pl == 17 || pl == 49 || pl == 50) ? FCodeLimits{7, 5} : FCodeLimits{8, 6};
      }
      return {5, 4};
    }
    case CODEC_H264: {
      const int level = s.profileLevel & 0xFF;
      const int vertical = level < 11 ? 4 : level <= 20 ? 5 : level <= 30 ? 6 : 7;
      return {9, vertical};
    }
    default: {
      const int level = s.profileLevel & 15;
      const int horizontal = level < 8 ? 9 : level <= 9 ? 8 : 7;
      return {horizontal, level < 10 ? 5 : 4};
    }
  }
}

}  // namespace

bool CheckBasicParams(EncoderSettings& s) {
  if (s.width < 16 || s.width > 4080 || s.height < 16 || s.height > 4080) {
    DebugPrintf("invalid frame size (%dx%d)\n", s.width, s.height);
    return false;
  }
  if (s.chromaFormat < 1 || s.chromaFormat > 3) {
    DebugPrintf("chroma_format must be in range 1...3\n");
    s.chromaFormat = 1;
  }
  if ((s.width & 1) != 0 && s.chromaFormat != 3) {
    DebugPrintf("horizontal_size must be even (4:2:0 / 4:2:2)\n");
    return false;
  }
  if ((s.height & 1) != 0 && s.chromaFormat == 1) {
    DebugPrintf("vertical_size must be even (4:2:0)\n");
    return false;
  }
  if (s.frameRateIndex < 0 || s.frameRateIndex > 11) {
    DebugPrintf("invalid frame rate\n");
    return false;
  }
  if (s.maxBitRate <= 0) {
    DebugPrintf("bit_rate must be positive\n");
    return false;
  }
  if (s.vbvBufferSize < 1 || s.vbvBufferSize > 262143) {
    DebugPrintf("vbv_buffer_size must be in range 1..(2^18-1)\n");
    s.vbvBufferSize = 64;
  }
  if (s.videoFormat < 0 || s.videoFormat > 4) s.videoFormat = 5;
  return true;
}

void CheckMPEG1Constraints(EncoderSettings& s) {
  s.constraintFlags = 1;
  s.profileLevel = 0;
  // Indices 0-3 are checked with the rate five places further on.
  const int index = s.frameRateIndex < 4 ? s.frameRateIndex + 5 : s.frameRateIndex;
  const double rate = kFrameRateTable[index].rate;
  const int64_t macroblocks = static_cast<int64_t>((s.width + 15) / 16) * ((s.height + 15) / 16);
  const bool constrained = s.width <= 768 && s.height <= 576 && macroblocks <= 396 &&
                           macroblocks * rate <= 9900.0 && rate <= 30.0 &&
                           s.vbvBufferSize <= 20 && s.maxBitRate <= 1856000;
  if (!constrained) s.constraintFlags = 0;
  if (s.constraintFlags != 0) {
    s.searchRangeX = std::min(s.searchRangeX, 63);
    s.searchRangeY = std::min(s.searchRangeY, 63);
  }
  // 104857200 bit/s fills the 18-bit bit_rate field; the declared bitRate follows the cap, so
  // the header neither wraps nor promises more than the rate control aims at.
  s.maxBitRate = std::min(s.maxBitRate, 104857200);
  s.bitRate = std::min(s.bitRate, s.maxBitRate);
  s.vbvBufferSize = std::min(s.vbvBufferSize, 1023);
}

bool CheckSequenceParams(EncoderSettings& s, bool quiet, uint32_t cpuFeatures) {
  // CheckSequenceParams, the sequence checks before the encoder opens:
  // 1-2. GOP length and anchor distance.
  if (s.gopLength < 1) {
    if (!quiet) DebugPrintf("N must be positive\n");
    s.gopLength = 1;
  }
  if (s.codec <= CODEC_MPEG4) s.gopLength = std::min(s.gopLength, 132);
  if (s.anchorDistance > 0) {
    s.anchorDistance = std::min({s.anchorDistance, 3, s.gopLength});
    if (s.gopLength % s.anchorDistance != 0) {
      if (!quiet) DebugPrintf("N must be an integer multiple of M\n");
      s.gopLength = std::max(s.gopLength / s.anchorDistance, 1) * s.anchorDistance;
    }
  }
  // 3. Pulldown makes later codecs' sequences progressive.
  if (s.codec >= CODEC_MPEG4 && s.pulldownMode != 0) s.progressiveSequence = 1;
  // 4. The basic ranges.
  if (!CheckBasicParams(s)) return false;
  // 5. Profile and level.
  switch (s.codec) {
    case CODEC_MPEG1: CheckMPEG1Constraints(s); break;
    case CODEC_MPEG2:
    case CODEC_KALDER: SelectMPEG2ProfileLevel(s, quiet); break;
    case CODEC_MPEG4: SelectMPEG4ProfileLevel(s, quiet); break;
    case CODEC_VC1: SelectVC1ProfileFromHeader(s, quiet, cpuFeatures); break;
    case CODEC_H264: SelectH264Level(s, quiet, cpuFeatures); break;
    default: break;
  }
  // 6-7. Chroma format and progressive_sequence where the codec fixes them.
  if (s.codec == CODEC_MPEG1 || s.codec >= CODEC_MPEG4) s.chromaFormat = 1;
  if ((s.codec == CODEC_MPEG1 || (s.codec == CODEC_VC1 && s.profileLevel < VC1_PROFILE_ADVANCED)) &&
      s.progressiveSequence == 0) {
    if (!quiet) DebugPrintf("Warning: setting progressive_sequence = 1\n");
    s.progressiveSequence = 1;
  }
  // 8-9. Search ranges within the f_code limits.
  const FCodeLimits limits = ChooseFCodeLimits(s);
  if (s.searchRangeX > (4 << limits.horizontal) - 1) {
    if (!quiet) {
      DebugPrintf("Warning: reducing max horizontal search width to ((4<<%d)-1)\n",
                  limits.horizontal);
    }
    s.searchRangeX = (4 << limits.horizontal) - 1;
  }
  if (s.searchRangeY > (4 << limits.vertical) - 1) {
    if (!quiet) {
      DebugPrintf("Warning: reducing max vertical search width to ((4<<%d)-1)\n", limits.vertical);
    }
    s.searchRangeY = (4 << limits.vertical) - 1;
  }
  // 10. The row pipeline only without search, with codecs below MPEG-4 and no noise filter.
  const bool keepReorder = s.searchParams[0].noSearch != 0 &&
                           (s.anchorDistance < 2 || s.searchParams[1].noSearch != 0) &&
                           s.codec < CODEC_MPEG4 && s.noiseFilterMode < 1;
  if (!keepReorder) s.reorderPictures = 0;
  return true;
}

}  // namespace orx::venc
