#pragma once
// The 32 most recent input time stamps with their buffer flags and words, so that an output
// picture can carry on what its input buffer carried (its sender's handle and component word). Used by the
// component's worker thread only.
#include <cstdint>

namespace orx::venc {

struct FrameInfo {
  uint32_t valid;
  uint64_t timeStamp;  // ms
  uint32_t zero;
  uint32_t flags;  // the input buffer's flags
  uintptr_t referenceHandle;  // the input's bytes-read word: the sender's handle with flag 0x2
  uintptr_t componentWord;  // the input's component word, or the clock's low word
};

class FrameInfoRing {
 public:
  static constexpr int kEntries = 32;

  // Writes entry counter & 31, then counts.
  void Push(uint64_t timeStamp, uint32_t flags, uintptr_t referenceHandle, uintptr_t componentWord);
  // The first valid entry (from entry 0) with this time stamp, or null.
  const FrameInfo* Find(uint64_t timeStamp) const;

 private:
  uint32_t counter_ = 0;
  FrameInfo entries_[kEntries] = {};
};

}  // namespace orx::venc
