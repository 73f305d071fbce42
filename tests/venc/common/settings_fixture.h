#pragma once
// A valid sequence to start check and rate-control cases from: MPEG-2, 720x576 at 25 frames/s,
// 6 Mbit/s, N 15, M 1, geometry as the encoder derives it.
#include "venc/common/encoder_settings.h"

namespace orx::venc::test {

inline EncoderSettings Mpeg2Settings(int width = 720, int height = 576, int frameRateIndex = 6,
                                     int bitRate = 6000000) {
  EncoderSettings s{};
  s.gopLength = 15;
  s.anchorDistance = 1;
  s.codec = CODEC_MPEG2;
  s.reorderPictures = 1;
  s.carriedFloats[0] = s.carriedFloats[1] = s.activityStrength = 1.0f;
  s.bitRate = s.maxBitRate = bitRate;
  s.width = width;
  s.height = height;
  s.aspectX = 4;
  s.aspectY = 3;
  s.frameRateIndex = frameRateIndex;
  s.vbvBufferSize = 112;
  s.progressiveSequence = 1;
  s.chromaFormat = 1;
  s.streamType = STREAM_TYPE_MPEG2_SD;
  s.videoFormat = 5;
  s.colourPrimaries = s.transferCharacteristics = s.matrixCoefficients = 6;
  s.searchRangeX = 63;
  s.searchRangeY = 31;
  s.searchParams[0] = s.searchParams[1] = {20, 12, 0, 1, 5, 1};
  s.sceneChangeMinDistance = 0x7FFFFFF;
  s.mbCols = (width + 15) / 16;
  s.mbRows = (height + 15) / 16;
  s.codedWidth = 16 * s.mbCols;
  s.codedHeight = 16 * s.mbRows;
  s.stride = s.codedWidth;
  s.useMpegQuant = 1;
  s.frameRate = kFrameRateTable[frameRateIndex].rate;
  s.pelRateToBits = s.frameRate * s.codedWidth * s.codedHeight / bitRate;
  return s;
}

}  // namespace orx::venc::test
