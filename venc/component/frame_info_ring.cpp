#include "venc/component/frame_info_ring.h"

namespace orx::venc {

void FrameInfoRing::Push(uint64_t timeStamp, uint32_t flags, uintptr_t referenceHandle, uintptr_t componentWord) {
  entries_[counter_ & (kEntries - 1)] = {1, timeStamp, 0, flags, referenceHandle, componentWord};
  ++counter_;
}

const FrameInfo* FrameInfoRing::Find(uint64_t timeStamp) const {
  for (const FrameInfo& entry : entries_) {
    if (entry.valid != 0 && entry.timeStamp == timeStamp) return &entry;
  }
  return nullptr;
}

}  // namespace orx::venc
