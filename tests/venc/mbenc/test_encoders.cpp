#include "tests/venc/mbenc/test_encoders.h"

namespace orx::venc::test {

EncoderSettings MakeSettings(int codec, int width, int height, IVideoBitStream* output) {
  EncoderSettings s{};
  s.bitStream = output;
  s.gopLength = 1;
  s.anchorDistance = 1;
  s.codec = codec;
  s.bitRate = 6000000;
  s.maxBitRate = s.bitRate;
  s.width = width;
  s.height = height;
  s.frameRateIndex = 6;  // 25 frames/s
  s.vbvBufferSize = 112;
  s.progressiveSequence = 1;
  s.chromaFormat = 1;
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  s.videoFormat = 2;
  s.colourPrimaries = 1;
  s.transferCharacteristics = 1;
  s.matrixCoefficients = 1;
  s.mbCols = (width + 15) / 16;
  s.mbRows = (height + 15) / 16;
  s.codedWidth = 16 * s.mbCols;
  s.codedHeight = 16 * s.mbRows;
  s.stride = s.codedWidth;
  s.profileLevel = codec == CODEC_MPEG1 ? 0 : 0x48;  // main profile, main level
  if (codec == CODEC_MPEG4) {
    // Reference pictures with borders; Advanced Simple profile level 5.
    s.padX = 32;
    s.padY = 16;
    s.stride = s.codedWidth + 2 * s.padX;
    s.profileLevel = 0xF5;
  }
  s.aspectCode = codec == CODEC_MPEG1 ? 1 : 2;       // square pels / 4:3
  return s;
}

void SetProgressiveSequence(EncoderSettings& s, bool progressive) {
  s.progressiveSequence = progressive ? 1 : 0;
  s.mbRows = progressive || s.codec == CODEC_MPEG4 ? (s.height + 15) / 16 : 2 * ((s.height + 31) / 32);
  s.codedHeight = 16 * s.mbRows;
}

}  // namespace orx::venc::test
