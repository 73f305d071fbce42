#pragma once
// The video encoder's sequence settings. The component derives the first 67 fields from the
// parameter block and the formats; CVideoEncoder keeps its copy, followed directly by the
// derived sequence fields, and the macroblock encoders, the motion estimators, the
// preprocessor and the rate controller all read that copy through one pointer.
#include <cstdint>

namespace orx::venc {

class IVideoBitStream;
struct PictureStatistics;

// Called by the macroblock encoders after each picture is written.
using PictureCallback = void (*)(int pictureType, int displayNumber, PictureStatistics* statistics);

// Codec codes (field `codec`).
enum CodecCode : int32_t {
  CODEC_MPEG1 = 0,
  CODEC_MPEG2 = 1,
  CODEC_KALDER = 2,
  CODEC_MPEG4 = 3,  // MPEG-4 Part 2
  CODEC_VC1 = 4,
  CODEC_H264 = 5,
};

// Stream types (field `streamType`).
enum StreamType : int32_t {
  STREAM_TYPE_UNSPECIFIED = 0,
  STREAM_TYPE_MPEG1_SIF = 1,  // 352 x 240 or 352 x 288
  STREAM_TYPE_MPEG1_LARGE = 2,  // MPEG-1 at 720/704 x 480/576, or 352 x 480/576
  STREAM_TYPE_MPEG2_SD = 3,
  STREAM_TYPE_HD = 5,  // MPEG-2 high definition, and VC-1 advanced
  STREAM_TYPE_7 = 7,  // tested by the H.264 writers; never derived
};

// One motion-search record (six words); meanings belong to the estimators.
struct SearchParams {
  int32_t windowHalfWidth;  // 20
  int32_t windowHalfHeight;  // 12
  int32_t noSearch;  // 0
  int32_t predictorMask;  // 1
  int32_t searchMode;  // 5
  int32_t subPel;  // 1: half-pel refinement
};

// workerFlags bits.
inline constexpr int32_t WORKER_ACCELERATOR = 0x1;  // encode accelerator with CPU workers
inline constexpr int32_t WORKER_GPU = 0x2;

struct EncoderSettings {
  // ---- the 67 fields the component derives, in order ----
  IVideoBitStream* bitStream;  // 1
  int32_t gopLength;  // 2: N
  int32_t anchorDistance;  // 3: M
  int32_t startFrameNumber;
  int32_t codec;  // CodecCode
  int32_t reorderPictures;  // row-pipelined mode: the checks clear it except in one case
  int32_t quietChecks;  // non-zero: the sequence checks print no warnings
  float vbvInitialFullness;  // 8: fraction of the VBV size, 0 means 0.75
  float carriedFloats[2];  // 9, 10: 1.0 from the derivation; carried, nothing reads them
  float activityStrength;  // 11: strength of the activity modulation of the quantiser
  int32_t variableBitRate;  // 12
  int32_t bitRate;  // bit/s
  int32_t width;
  int32_t height;
  int32_t aspectX;  // display aspect ratio
  int32_t aspectY;
  int32_t frameRateIndex;  // 18: index into kFrameRateTable
  int32_t maxBitRate;
  int32_t vbvBufferSize;  // units of 16384 bits; below 1 means derive
  int32_t reserved21[4];  // 21-24
  int32_t progressiveSequence;  // 25
  int32_t chromaFormat;  // 1: 4:2:0
  int32_t closedGops;
  int32_t sceneChangeMinDistance;
  int32_t streamType;  // StreamType
  int32_t videoFormat;  // 30
  int32_t colourPrimaries;
  int32_t transferCharacteristics;
  int32_t matrixCoefficients;
  int32_t searchRangeX;  // 34: largest vector component searched, in pels
  int32_t searchRangeY;
  int32_t estimatorFlags;
  SearchParams searchParams[2];  // 37-48
  int32_t cropX;  // 49: input crop offsets in pels
  int32_t cropY;
  int32_t borderX;  // borders left out of motion estimation and noise measurement
  int32_t borderY;
  int32_t horizontalHalving;  // 53: 0..1
  int32_t verticalMode;  // 0..2
  int32_t pulldownMode;  // 0..2
  int32_t noiseFilterMode;  // 56: the preprocessor's noise filter, 1 or 2 (off otherwise)
  int32_t noiseFilterLevel;
  int32_t sliceLayout;  // 58: H.264 low byte slices, bits 8-23 slice size limit
  int32_t loopFilterMode;  // 0 or 1 is the loop-filter flag, else the codec chooses
  int32_t carriedOption;  // 60: VEP_OPT_CARRIED of the parameter block; nothing reads it
  int32_t intraOnlyAtStart;
  int32_t reserved62;
  PictureCallback pictureCallback;  // 63
  int32_t subEncoderCount;
  int32_t workerFlags;  // WORKER_*
  int32_t workerCounts;  // low byte ME workers, bits 24-31 second count
  int32_t gpuDeviceWord;  // 67: bits 8-15 device choice, bit 3 GPU-class MPEG-4 estimator

  // ---- derived sequence fields (CVideoEncoder and the sequence checks fill them) ----
  int32_t codedWidth;  // width rounded up to 16
  int32_t codedHeight;  // 16 x mbRows
  int32_t mbCols;
  int32_t mbRows;
  int32_t stride;
  int32_t padX;
  int32_t padY;
  int32_t constraintFlags;  // MPEG-1 constrained parameters; H.264 constraint byte
  int32_t useMpegQuant;
  int32_t vc1Dquant;
  int32_t profileLevel;  // MPEG-2 profile_and_level; H.264 profile << 8 | level; VC-1
  int32_t noiseFilterRegion;  // 1..4: left, right, upper or lower half only
  int32_t aspectCode;  // aspect_ratio_information / the H.264 and MPEG-4 aspect word
  int32_t mpeg4StyleEstimator;  // for VC-1 also the quarter-pel flag
  int32_t vc1MvFlags;  // bit 0 EXTENDED_MV, bit 1 FASTUVMC
  int32_t loopFilter;
  int32_t vc1Advanced;  // VC-1 headers in the stream
  double frameRate;  // from kFrameRateTable
  double pelRateToBits;  // frameRate x codedWidth x codedHeight / bit rate

  // ---- fields the macroblock encoders read that nothing derives (zero by default) ----
  int32_t loadIntraMatrix;
  int32_t loadNonIntraMatrix;
  const uint8_t* userIntraMatrix;  // raster order
  const uint8_t* userNonIntraMatrix;
  uint8_t intraMatrix[64];  // filled by CMBEncoder::Init, raster order
  uint8_t nonIntraMatrix[64];
  int32_t h264SliceTypeOption;  // slice_type 0..2 instead of 5..7
  int32_t decimationOff;
  int32_t statisticsPass;
};

// The frame-rate table: the rate as a double and as a whole number x 1000.
struct FrameRateEntry {
  double rate;
  int32_t rateX1000;
};

inline constexpr FrameRateEntry kFrameRateTable[12] = {
    {12.0, 12000},          {12.5, 12500}, {15000.0 / 1001.0, 15000}, {15.0, 15000},
    {24000.0 / 1001.0, 24000}, {24.0, 24000}, {25.0, 25000},        {30000.0 / 1001.0, 30000},
    {30.0, 30000},          {50.0, 50000}, {60000.0 / 1001.0, 60000}, {60.0, 60000},
};

// The sequence's frame rate; the index must lie in 0..11.
inline double SequenceFrameRate(const EncoderSettings& settings) {
  return kFrameRateTable[settings.frameRateIndex].rate;
}

// H.264 num_units_in_tick per frame-rate index (time_scale is twice the x 1000 value).
inline constexpr int32_t kNumUnitsInTick[12] = {1000, 1000, 1001, 1000, 1001, 1000,
                                                1000, 1001, 1000, 1000, 1001, 1000};

}  // namespace orx::venc
