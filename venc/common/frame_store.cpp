#include "venc/common/frame_store.h"

#include <sys/mman.h>

#include <cmath>

#include "venc/common/debug_printf.h"

namespace orx::venc {

uint32_t CFrameStore::ComputeFrameSize(const EncoderSettings& settings) {
  const uint32_t rows = static_cast<uint32_t>(settings.codedHeight + 2 * settings.padY);
  uint32_t size = (rows + rows / 2) * static_cast<uint32_t>(settings.stride);
  size = (size + 127) & ~127u;
  if (size % 32768 < 2048) size = (size & ~0x77FFu) | 0x800u;
  return size;
}

void CFrameStore::BuildMvCodeLengthTable(int searchRangeX) {
  const int lengthBits =
      static_cast<int>(std::ceil(std::log2(8.0 * searchRangeX + 13.0) + 1e-10));
  const int range = (1 << (lengthBits + 1)) - 1;
  mvCodeLength_.assign(2 * range + 129, 0);
  int16_t* centre = mvCodeLength_.data() + range;
  centre[0] = 1;
  for (int length = 3; length <= 2 * lengthBits + 3; length += 2) {
    const int k = (length - 1) / 2;
    for (int d = 1 << (k - 1); d < (1 << k); ++d) {
      centre[d] = static_cast<int16_t>(length);
      centre[-d] = static_cast<int16_t>(length);
    }
  }
  mvCodeLengthCentre_ = centre;
  mvCodeLengthRange_ = range;
}

bool CFrameStore::Init(const EncoderSettings* settings, int frameBufferCount,
                       const GpuFrameBufferRecord* gpuRecord) {
  Free();
  settings_ = settings;
  if (gpuRecord != nullptr || gpuIndex_ != 0) {
    DebugPrintf("VIDEOENC: GPU frame buffers are not available\n");
    return false;
  }
  if ((flags_ & FRAME_STORE_SHARED) != 0) {
    DebugPrintf("VIDEOENC: shared picture stores are not available\n");
    return false;
  }
  const int pictureCount = 2 * settings->anchorDistance + 4;
  if (pictureCount > kMaxPictures || frameBufferCount < 1 ||
      frameBufferCount > kMaxFrameBuffers) {
    DebugPrintf("VIDEOENC: picture store sizes out of range (%d pictures, %d frame buffers)\n",
                pictureCount, frameBufferCount);
    return false;
  }

  // CFrameStore::Init, the picture store's set-up (the GPU frame buffers of steps 5 and 6 are
  // refused above):
  // 1-3. The pictures, and before them the H.264 vector code-length table.
  if (settings->codec == CODEC_H264) BuildMvCodeLengthTable(settings->searchRangeX);
  for (int i = 0; i < pictureCount; ++i) {
    auto* picture = new CPicture;
    pictures_[i] = picture;
    pictureCount_ = i + 1;
    if (!picture->Init(this, settings)) {
      Free();
      return false;
    }
    picture->mvCodeLength = mvCodeLengthCentre_;
    freeSlots_[i] = picture;
  }

  // 4. Ordinary frame buffers in one 128-aligned reservation (zeroed pages).
  const uint32_t stride = static_cast<uint32_t>(settings->stride);
  const uint32_t padX = static_cast<uint32_t>(settings->padX);
  const uint32_t padY = static_cast<uint32_t>(settings->padY);
  const uint32_t codedHeight = static_cast<uint32_t>(settings->codedHeight);
  frameSize_ = ComputeFrameSize(*settings);
  lumaOffset_ = stride * padY + padX;
  chromaOffset_ = (codedHeight + 2 * padY + padY / 2) * stride + padX;
  frameMemorySize_ = static_cast<size_t>(frameBufferCount) * frameSize_;
  void* memory = mmap(nullptr, frameMemorySize_, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    DebugPrintf("VIDEOENC: cannot reserve %zu bytes of frame memory\n", frameMemorySize_);
    frameMemorySize_ = 0;
    Free();
    return false;
  }
  frameMemory_ = static_cast<uint8_t*>(memory);  // page-aligned, so 128-aligned
  frameBufferCount_ = frameBufferCount;
  for (int i = 0; i < frameBufferCount; ++i) {
    uint8_t* luma = frameMemory_ + static_cast<size_t>(i) * frameSize_ + lumaOffset_;
    frameBuffers_[i] = {luma, luma + (codedHeight + padY + padY / 2) * stride};
  }
  return true;
}

void CFrameStore::Free() {
  for (int i = 0; i < kMaxPictures; ++i) {
    if (pictures_[i] != nullptr) {
      pictures_[i]->Free();
      delete pictures_[i];
    }
    pictures_[i] = nullptr;
    freeSlots_[i] = nullptr;
  }
  mvCodeLength_.clear();
  mvCodeLength_.shrink_to_fit();
  mvCodeLengthCentre_ = nullptr;
  mvCodeLengthRange_ = 0;
  for (FrameBufferPair& pair : frameBuffers_) pair = {nullptr, nullptr};
  pictureCount_ = 0;
  frameBufferCount_ = 0;
  if (frameMemory_ != nullptr) munmap(frameMemory_, frameMemorySize_);
  frameMemory_ = nullptr;
  frameMemorySize_ = 0;
}

bool CFrameStore::GetPicture(CPicture** picture) {
  for (CPicture*& slot : freeSlots_) {
    if (slot == nullptr) continue;
    CPicture* taken = slot;
    slot = nullptr;
    taken->refCount += 1;
    taken->sourceBufferIndex = -1;
    taken->reconBufferIndex = -1;
    taken->srcLuma = taken->srcChroma = nullptr;
    taken->reconLuma = taken->reconChroma = nullptr;
    taken->linkedPicture = nullptr;
    *picture = taken;
    return true;
  }
  *picture = nullptr;
  return false;
}

bool CFrameStore::PutPicture(CPicture* picture) {
  picture->srcLuma = picture->srcChroma = nullptr;
  picture->reconLuma = picture->reconChroma = nullptr;
  picture->linkedPicture = nullptr;
  for (CPicture*& slot : freeSlots_) {
    if (slot == nullptr) {
      slot = picture;
      return true;
    }
  }
  return false;
}

FrameBufferPair CFrameStore::GetFrameBuffer(int index) const {
  if (index < 0 || index >= frameBufferCount_) return {nullptr, nullptr};
  return frameBuffers_[index];
}

}  // namespace orx::venc
