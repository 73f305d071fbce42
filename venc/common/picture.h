#pragma once
// The video encoder's picture record, its per-macroblock records and the statistics block the
// per-picture callback receives. Pictures come from a CFrameStore pool and return to it when
// their last reference goes.
#include <cstddef>
#include <cstdint>

#include "media/record_layout.h"

namespace orx::venc {

struct EncoderSettings;
class CFrameStore;
struct PictureOverlay;

// A motion vector in one 32-bit word: x in the low, y in the high signed 16 bits (half-pel
// units for MPEG-1/2, quarter-pel for the MPEG-4 style estimator).
struct PackedMV {
  int16_t x;
  int16_t y;

  static constexpr PackedMV FromWord(uint32_t packed) {
    return {static_cast<int16_t>(packed & 0xFFFF), static_cast<int16_t>(packed >> 16)};
  }
  constexpr uint32_t Word() const {
    return static_cast<uint16_t>(x) | (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16);
  }
  friend constexpr bool operator==(PackedMV a, PackedMV b) { return a.x == b.x && a.y == b.y; }
};
static_assert(sizeof(PackedMV) == 4);

// MBInfo::flags bits.
inline constexpr uint32_t MBINFO_INTRA = 0x1;
// Coded block pattern non-zero (MPEG family) or intra 16x16 (H.264).
inline constexpr uint32_t MBINFO_PATTERN = 0x2;
inline constexpr uint32_t MBINFO_BACKWARD = 0x4;  // backward (list 1) prediction
// Forward (list 0) prediction; in P pictures 0 means the zero vector, 0x8 a coded vector.
inline constexpr uint32_t MBINFO_FORWARD = 0x8;
inline constexpr uint32_t MBINFO_BIDIRECTIONAL = MBINFO_FORWARD | MBINFO_BACKWARD;
inline constexpr uint32_t MBINFO_QUANT = 0x10;  // quantiser written
inline constexpr uint32_t MBINFO_FIELD = 0x20;  // field macroblock (field DCT)
inline constexpr uint32_t MBINFO_AC_PRED = 0x40;  // VC-1
inline constexpr uint32_t MBINFO_SKIPPED = 0x100;
inline constexpr uint32_t MBINFO_DIRECT = 0x200;  // B_Direct_16x16
inline constexpr uint32_t MBINFO_FIELD_REF_FORWARD = 0x1000;  // list-0 reference field
inline constexpr uint32_t MBINFO_FIELD_REF_BACKWARD = 0x4000;  // list-1 reference field
inline constexpr uint32_t MBINFO_PART_16X16 = 0x10000;
inline constexpr uint32_t MBINFO_PART_16X8 = 0x20000;
inline constexpr uint32_t MBINFO_PART_8X16 = 0x40000;
inline constexpr uint32_t MBINFO_PART_8X8 = 0x80000;
inline constexpr int MBINFO_QP_SHIFT = 24;  // bits 24-31: the H.264 QP written after coding

struct MBVectorPair {
  PackedMV forward;  // list 0
  PackedMV backward;  // list 1
};

// One record per macroblock, row by row. Copied between threads and kept at 80 bytes.
struct MBInfo {
  uint32_t flags;  // MBINFO_*
  int32_t intraActivity;  // sum of the block deviations (intra cost)
  int32_t minBlockDeviation;  // smallest 8x8 block deviation
  int32_t interCost;  // chosen inter cost (66010..66014 mark special decisions)
  MBVectorPair mv[4];  // [0] the macroblock's own vectors, [1..3] further partitions or fields
  uint32_t encoderWords[8];  // the macroblock encoders' own words
};
static_assert(sizeof(MBInfo) == 80);
ORX_ASSERT_FIELD(MBInfo, flags, 0);
ORX_ASSERT_FIELD(MBInfo, intraActivity, 4);
ORX_ASSERT_FIELD(MBInfo, minBlockDeviation, 8);
ORX_ASSERT_FIELD(MBInfo, interCost, 12);
ORX_ASSERT_FIELD(MBInfo, mv, 16);
ORX_ASSERT_FIELD(MBInfo, encoderWords, 48);

// The 15-word block inside every picture that the per-picture callback receives.
struct PictureStatistics {
  // Reconstruction against the source (accumulated only when the callback is set).
  uint32_t lumaSse;
  uint32_t lumaSad;
  uint32_t chromaSse;
  uint32_t chromaSad;
  // Written by the rate controller's picture start and end.
  float quantiser;  // the picture's (average) quantiser
  float fullnessRatio;
  float interComplexity;  // per macroblock
  float intraComplexity;  // per macroblock
  float vbrFloor;
  float gainDeviation;  // gain x deviation
  // Filled by CMBEncoder::EndPicture just before the callback.
  uint8_t* reconLuma;
  uint8_t* reconChroma;
  uint32_t stride;
  uint32_t codedWidth;
  uint32_t codedHeight;
};

// Picture types.
inline constexpr int32_t PICTURE_I = 1;
inline constexpr int32_t PICTURE_P = 2;
inline constexpr int32_t PICTURE_B = 3;

inline constexpr int32_t FCODE_NONE = 15;

// Copy modes of a picture that repeats its reference.
inline constexpr int32_t COPY_NONE = 0;
inline constexpr int32_t COPY_FORWARD = 1;  // every macroblock a forward zero-vector copy
inline constexpr int32_t COPY_BACKWARD = 2;

class CPicture {
 public:
  CPicture() = default;
  CPicture(const CPicture&) = delete;
  CPicture& operator=(const CPicture&) = delete;

  // Takes the owner and settings; allocates the MBInfo array unless the store shares arrays.
  bool Init(CFrameStore* store, const EncoderSettings* settings);
  void Free();
  void AddRef() { ++refCount; }
  // At count 0 the linked picture is released, the link cleared and the picture returned to
  // its store.
  void Release();
  void SetLink(CPicture* picture);
  void SetSourceBuffer(int index);
  void SetReconBuffer(int index);

  const EncoderSettings* settings = nullptr;
  uint8_t* srcLuma = nullptr;
  uint8_t* srcChroma = nullptr;
  uint8_t* reconLuma = nullptr;
  uint8_t* reconChroma = nullptr;
  CPicture* forwardRef = nullptr;
  CPicture* backwardRef = nullptr;
  MBInfo* mbInfo = nullptr;  // mbCols x mbRows records
  const int16_t* mvCodeLength = nullptr;  // centre of the store's H.264 code-length table

  int32_t pictureType = 0;  // PICTURE_I, _P, _B
  int32_t forwardFCodeX = FCODE_NONE;
  int32_t forwardFCodeY = FCODE_NONE;
  int32_t backwardFCodeX = FCODE_NONE;
  int32_t backwardFCodeY = FCODE_NONE;
  int32_t framePredFrameDct = 0;  // the progressive-picture flag
  // Coding options chosen by rate control (cleared by picture-type planning).
  int32_t intraVlcFormat = 0;  // option A
  int32_t qScaleType = 0;  // the non-linear quantiser flag
  int32_t alternateScan = 0;  // option B
  int32_t progressiveFrame = 0;
  int32_t topFieldFirst = 0;
  int32_t repeatFirstField = 0;
  int32_t intraDcPrecision = 0;  // option C
  int32_t gopStart = 0;
  int32_t closedGop = 0;
  int32_t temporalReference = 0;
  int32_t timeCode = 0;
  int32_t gopPicturesP = 0;  // P and B pictures left in the GOP plan
  int32_t gopPicturesB = 0;
  int32_t displayNumber = 0;
  int32_t displayWord = 0;
  int64_t timeStamp = 0;  // presentation
  int64_t decodeTimeStamp = 0;
  int32_t repeatGroup = 0;
  int32_t repeatIndex = 0;
  int32_t repeatRemaining = 0;
  int32_t copyMode = COPY_NONE;
  CPicture* linkedPicture = nullptr;  // the picture whose source buffer this one shares
  const uint8_t* inputData = nullptr;
  uintptr_t inputDataWord = 0;  // pointer-sized: the second field's pointer when the input has one
  int32_t fieldRepeatCode = 0;
  int32_t pictureMark = 0;
  int32_t inputWidth = 0;
  int32_t inputHeight = 0;
  uint32_t inputFourcc = 0;
  int32_t userDataCount = 0;
  uint16_t userData[4] = {};  // caption byte pairs
  uint32_t pictureWord = 0;
  const PictureOverlay* overlay = nullptr;  // blended in by the preprocessor; none in an export
  int16_t sourceBufferIndex = -1;
  int16_t reconBufferIndex = -1;
  // Motion statistics from preprocessing and motion estimation.
  int32_t intraCostSum = 0;
  int32_t interCostSum = 0;
  int32_t intraActivitySum = 0;  // of the intra-coded macroblocks
  int32_t intraMbCount = 0;
  int32_t minDeviationSum = 0;
  int32_t fieldMbCount = 0;
  int32_t fieldActivitySum = 0;
  int32_t minRowDeviationSum = 0;
  int32_t minRowCostTotal = 0;
  int32_t sceneChange = 0;
  int32_t maxForwardX = 0;  // largest vector components, half-pel units
  int32_t maxForwardY = 0;
  int32_t maxBackwardX = 0;
  int32_t maxBackwardY = 0;
  int32_t forwardDistance = 0;  // display distance to the forward reference
  PictureStatistics stats = {};
  int32_t refCount = 0;
  CFrameStore* store = nullptr;
};

}  // namespace orx::venc
