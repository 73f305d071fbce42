#include "venc/core/sequence_setup.h"

#include <algorithm>

#include "venc/core/sequence_checks.h"

namespace orx::venc {

// The VBV buffer size in units of 16384 bits from the peak rate b, when none is given.
int DeriveVbvBufferSize(const EncoderSettings& s) {
  const int64_t b = s.maxBitRate;
  const double f = (s.variableBitRate != 0 && b <= 5000000) ? 0.7281555555555556 : 0.5;
  int cap = std::min(static_cast<int>(f * static_cast<double>(b) / 16384.0), 488);
  int size;
  switch (s.codec) {
    case CODEC_MPEG1:
      size = b <= 1856000 ? 20 : static_cast<int>(23 * b / 1856000) - 3;
      break;
    case CODEC_MPEG4:
      size = 32 + static_cast<int>(3 * b / 65536);
      if (cap < 192) cap = std::min(2 * cap, 192);
      break;
    case CODEC_VC1:
      size = static_cast<int>(3 * b / 65536) + 60;
      cap *= 2;
      break;
    default:
      size = cap;
      break;
  }
  return std::min(size, cap);
}

bool ConfigureSequence(EncoderSettings& s, uint32_t cpuFeatures) {
  s.constraintFlags = 0;
  s.profileLevel = 0;
  if (s.horizontalHalving < 0 || s.horizontalHalving > 1 || s.verticalMode < 0 || s.verticalMode > 2 ||
      s.pulldownMode < 0 || s.pulldownMode > 2) {
    s.horizontalHalving = s.verticalMode = s.pulldownMode = 0;
  }
  if (s.vbvBufferSize < 1) s.vbvBufferSize = DeriveVbvBufferSize(s);
  if (s.verticalMode != 0) s.progressiveSequence = 1;
  s.useMpegQuant = (s.codec == CODEC_MPEG4 || s.codec == CODEC_VC1) ? 0 : 1;
  s.mpeg4StyleEstimator = 0;
  const bool result = CheckSequenceParams(s, s.quietChecks != 0, cpuFeatures);
  if (s.intraOnlyAtStart != 0) s.sceneChangeMinDistance = 0;
  return result;
}

void SetCodedGeometry(EncoderSettings& s) {
  s.mbCols = (s.width + 15) / 16;
  s.mbRows = (s.height + 15) / 16;
  if (s.progressiveSequence == 0 && s.codec != CODEC_MPEG4) s.mbRows = (s.mbRows + 1) & ~1;
  s.codedWidth = 16 * s.mbCols;
  s.codedHeight = 16 * s.mbRows;
  s.stride = s.codedWidth;
  s.padX = s.padY = 0;
  if (s.codec >= CODEC_MPEG4) {
    s.padX = 32;
    s.padY = 16;
    s.stride = s.codedWidth + 64;
  }
  s.frameRate = SequenceFrameRate(s);
  int rate = std::max(s.maxBitRate, 32000);
  if (s.variableBitRate != 0 && s.bitRate >= 400 && s.bitRate < rate) rate = s.bitRate;
  s.pelRateToBits = s.frameRate * s.codedWidth * s.codedHeight / rate;
}

}  // namespace orx::venc
