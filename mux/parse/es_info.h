#pragma once
// What the header parsers report about one elementary-stream sample.
#include <cstdint>

namespace orx::mux {

// Video kinds as the parsers and the multiplexer number them.
enum VideoKind : int32_t {
  kVideoMpeg1 = 0,
  kVideoMpeg2 = 1,
  kVideoMpeg4 = 2,
  kVideoWmv9 = 3,
  kVideoVc1 = 4,
  kVideoH264 = 5,
};

enum PictureType : int32_t { kPictureI = 1, kPictureP = 2, kPictureB = 3, kPictureS = 4 };

inline constexpr uint32_t kVbvDelayUnknown = 0xFFFF;

struct VideoEsInfo {
  uint32_t seqHeaderFound = 0;  // a sequence header (or, for WMV9/VC-1 and H.264, a format) was seen
  uint32_t profileLevel = 0xFFFFFFFFu;
  int32_t bitRate = 0;          // bits per second
  int32_t vbvSize = 0;          // bytes
  int32_t kind = -1;            // VideoKind
  int32_t frameRateNum = 0;
  uint32_t frameRateDen = 0;
  int32_t temporalRef = 0;
  int32_t pictureType = 0;      // PictureType
  uint32_t vbvDelay = kVbvDelayUnknown;  // 90 kHz ticks
  int32_t pictureOffset = 0;    // byte offset of the picture header in the sample
  int32_t headerLength = 0;     // bytes of sequence-level headers at the start of the sample
  int32_t width = 0;
  int32_t height = 0;
  int32_t aspectX = 0;          // display aspect ratio
  int32_t aspectY = 0;
};

// Audio kinds as the multiplexer numbers them.
enum AudioKind : uint32_t {
  kAudioLpcm = 0,
  kAudioMpegLayer12 = 1,
  kAudioMpegLayer3 = 2,
  kAudioAc3 = 3,
  kAudioOther = 4,
  kAudioAac = 5,
};

struct AudioHeaderInfo {
  uint32_t bitRate = 0;     // bits per second
  uint32_t audioKind = 0;   // AudioKind
  uint32_t syncOffset = 0;  // byte offset of the first frame
  uint32_t frameCount = 0;  // AC-3 sync frames counted
};

}  // namespace orx::mux
