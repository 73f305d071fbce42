#pragma once
// The picture store of one video encoder: a fixed pool of reference-counted pictures and the
// frame buffers their pixels live in, all allocated once at Open.
#include <cstdint>
#include <vector>

#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"

namespace orx::venc {

// The GPU layers' frame-buffer record (dataflow or kernel library).
struct GpuFrameBufferRecord;

struct FrameBufferPair {
  uint8_t* luma;
  uint8_t* chroma;
};

// Store flag: arrays and frame memory shared between the sub-encoders of CMultiVideoEncoder.
inline constexpr uint32_t FRAME_STORE_SHARED = 0x8000;

class CFrameStore {
 public:
  static constexpr int kMaxPictures = 30;
  static constexpr int kMaxFrameBuffers = 8;

  CFrameStore(uint32_t flags, int gpuIndex) : flags_(flags), gpuIndex_(gpuIndex) {}
  ~CFrameStore() { Free(); }
  CFrameStore(const CFrameStore&) = delete;
  CFrameStore& operator=(const CFrameStore&) = delete;

  // 2M + 4 pictures and frameBufferCount ordinary frame buffers. GPU frame buffers and the
  // sharing between sub-encoders are not available: a GPU record or the shared flag answers
  // false.
  bool Init(const EncoderSettings* settings, int frameBufferCount,
            const GpuFrameBufferRecord* gpuRecord);
  void Free();
  bool GetPicture(CPicture** picture);
  bool PutPicture(CPicture* picture);
  // (luma, chroma) origins of a frame buffer, (null, null) outside the table.
  FrameBufferPair GetFrameBuffer(int index) const;

  uint32_t Flags() const { return flags_; }
  int PictureCount() const { return pictureCount_; }
  int FrameBufferCount() const { return frameBufferCount_; }
  uint32_t FrameSize() const { return frameSize_; }
  uint32_t LumaOffset() const { return lumaOffset_; }
  uint32_t ChromaOffset() const { return chromaOffset_; }
  // Centre of the H.264 vector code-length table (null for other codecs): entry d is the
  // length of the signed Exp-Golomb code of a vector difference d.
  const int16_t* MvCodeLength() const { return mvCodeLengthCentre_; }
  int MvCodeLengthRange() const { return mvCodeLengthRange_; }

  // Frame size of a frame buffer: padded luma and chroma rows x stride, rounded up to 128, and
  // moved off multiples of 32 KB (to the next value whose low 15 bits are 2048).
  static uint32_t ComputeFrameSize(const EncoderSettings& settings);

 private:
  void BuildMvCodeLengthTable(int searchRangeX);

  uint32_t flags_;
  int gpuIndex_;
  CPicture* pictures_[kMaxPictures] = {};  // every picture of the pool, owned
  int pictureCount_ = 0;
  int frameBufferCount_ = 0;
  const EncoderSettings* settings_ = nullptr;
  uint8_t* frameMemory_ = nullptr;
  size_t frameMemorySize_ = 0;
  CPicture* freeSlots_[kMaxPictures] = {};
  FrameBufferPair frameBuffers_[kMaxFrameBuffers] = {};
  uint32_t frameSize_ = 0;
  uint32_t lumaOffset_ = 0;
  uint32_t chromaOffset_ = 0;
  std::vector<int16_t> mvCodeLength_;
  const int16_t* mvCodeLengthCentre_ = nullptr;
  int mvCodeLengthRange_ = 0;
};

}  // namespace orx::venc
