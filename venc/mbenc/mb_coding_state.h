#pragma once
// The coding position of the current picture, shared between a picture loop and the rate
// controller, which reads it and writes its quantiser, threshold and overflow words.
#include <cstdint>

#include "venc/common/picture.h"

namespace orx::venc {

struct MBCodingState {
  CPicture* picture = nullptr;
  int32_t mbX = 0;  // macroblock column
  int32_t mbY = 0;  // macroblock row
  int32_t pixelRow = 0;  // 16 x row
  int32_t sliceStartColumn = 0;  // H.264 only
  uint8_t* srcLuma = nullptr;  // source of the current macroblock
  uint8_t* srcChroma = nullptr;
  int32_t lastQuant = 0;  // the quantiser_scale_code the decoder currently holds
  int32_t mbQuant = 0;  // current macroblock quantiser (rate controller)
  int32_t interThreshold = 0;  // residual significance threshold T (rate controller)
  int32_t rowThreshold = 0;  // R, set with the row quantiser (the MPEG-2 flat-intra test)
  int32_t addressIncrement = 1;  // 1 + skipped macroblocks before the next written one
  MBInfo* mbRow = nullptr;  // MBInfo records of the current row
  int32_t overflow = 0;  // set by the rate controller past its emergency limit

  // MPEG-1/2 predictor state.
  int32_t dcPredictor[3] = {};  // Y, Cb, Cr
  int32_t lastPosition[6] = {};  // last coded scan position of each block
  PackedMV forwardPredictor = {};
  PackedMV backwardPredictor = {};
};

}  // namespace orx::venc
