#pragma once
// The encoder driver's interface as the component glue sees it (IMPEGVideoEncoder), the
// per-picture request, and the factory.
#include <cstdint>

#include "venc/common/encoder_settings.h"

namespace orx::venc {

struct PictureOverlay;

// EncodeFrameRequest flags.
inline constexpr uint32_t ENCODE_TOP_FIELD_FIRST = 0x1;
inline constexpr uint32_t ENCODE_REPEAT_FIRST_FIELD = 0x2;
inline constexpr uint32_t ENCODE_PROGRESSIVE_FRAME = 0x4;
inline constexpr uint32_t ENCODE_NO_B_PICTURE = 0x8;  // the planner's force-anchor flag
inline constexpr uint32_t ENCODE_FIELD_REPEAT_ONE = 0x10;
inline constexpr uint32_t ENCODE_FIELD_REPEAT_MINUS_ONE = 0x20;
inline constexpr uint32_t ENCODE_PICTURE_MARK = 0x40;  // with a data word: the picture word marks it
inline constexpr uint32_t ENCODE_RESTART = 0x80;  // display counters and start frame number anew

// One input picture, built by the caller and read once.
struct EncodeFrameRequest {
  const uint8_t* data;
  uintptr_t dataWord;  // pointer-sized: a second field's pointer, when the input has one
  uint32_t fourcc;
  uint32_t reserved;
  int64_t timeStamp;  // ms
  int32_t repeatCount;  // extra pictures made from the same input
  uint32_t flags;  // ENCODE_*
  int32_t width;
  int32_t height;
  int32_t userDataCount;
  const uint16_t* userData;
  uint32_t pictureWord;
  const PictureOverlay* overlay;  // blended over the picture; null in an export
  uint32_t reserved2[8];
};

// GPU modes: 0 none, 1 dataflow, 2-6 the kernel-library modes.
enum GpuMode : int32_t { GPU_MODE_NONE = 0, GPU_MODE_DATAFLOW = 1 };

// The input window of ComputePictureLayout.
struct PictureLayoutRequest {
  int width;
  int height;
  bool interleave;  // two fields of the input make one picture
  int mode;
  int overscanX;  // percent x 2 of the picture left out at each side
  int overscanY;
  int alignMode;  // 1: 32-pel horizontal alignment, halved
  bool interlaced;
};

struct PictureLayout {
  int xCount;
  int yCount;
  int xOffset;
  int yOffset;
  int xEnd;
  int yEnd;
  int xMargin;
  int yMargin;
};

// Slot order is the interface's contract; Drain is appended after the 17 slots.
class IMPEGVideoEncoder {
 public:
  virtual void Release() = 0;
  virtual bool Configure(const EncoderSettings* settings) = 0;
  virtual bool Open() = 0;
  // Pictures made: 1 none waiting, 4 an anchor went through while B pictures wait, 3 only
  // queued, 0 on failure.
  virtual int EncodeFrame(const EncodeFrameRequest* request) = 0;
  // Drains the waiting B pictures, then ends the sequence (its end code, the final flush).
  virtual bool Finish() = 0;
  virtual bool Close() = 0;
  // frameRateIndex may be null.
  virtual PictureLayout ComputePictureLayout(const PictureLayoutRequest& request, int* frameRateIndex) = 0;
  virtual void GetCodedSize(int* width, int* height) = 0;
  // The rate controller's two words, the display and repeat counters, and 1/0 whether the
  // estimator runs on a GPU (-1 without an estimator).
  virtual void GetStatistics(int32_t out[5]) = 0;
  virtual int SetAuxParams(const int32_t params[3]) = 0;
  virtual void SetAspectRatio(int x, int y) = 0;
  virtual void SetBitRate(int bitRate) = 0;
  virtual int GetSequenceHeader(const EncoderSettings* settings, uint8_t* out) = 0;
  virtual int SetGopLength(int gopLength) = 0;
  virtual bool ForceKeyFrame() = 0;
  virtual bool EnableGpu(int mode) = 0;
  virtual int QueryGpu(int* deviceCount, int mode) = 0;
  // End of a sequence: the B pictures still waiting for an anchor are coded, the last of them
  // becoming that anchor. Answers the pictures coded.
  virtual int Drain() = 0;

 protected:
  ~IMPEGVideoEncoder() = default;
};

// A CVideoEncoder for multi 0; a non-zero multi (the parallel CMultiVideoEncoder, a later
// part) answers false. False and null also when out is null or the allocation fails.
bool NewMPEGVideoEncoder(IMPEGVideoEncoder** out, int multi);

}  // namespace orx::venc
