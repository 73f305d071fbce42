#pragma once
// The index of one track: where each sample lies in the file, its size, its picture type, whether
// it starts a chunk, and (video) its presentation time in frames. Entries live in blocks of
// 65536, allocated as the track grows; a block that cannot be allocated makes Add fail, and the
// writer then stops the file rather than write one that says less than it holds.
#include <cstdint>
#include <memory>
#include <vector>

namespace orx::mux {

struct Mp4IndexEntry {
  static constexpr uint32_t kSizeMask = 0x0FFFFFFF;
  static constexpr uint32_t kPictureTypeShift = 28;
  static constexpr uint32_t kChunkStart = 1u << 30;

  uint64_t offset = 0;
  uint32_t sizeAndFlags = 0;  // size in bits 0-27, picture type (1 I, 2 P, 3 B) in 28-29, chunk start 30
  int32_t presentation = 0;   // video: presentation time in frames from the first picture

  uint32_t Size() const { return sizeAndFlags & kSizeMask; }
  uint32_t PictureType() const { return (sizeAndFlags >> kPictureTypeShift) & 3; }
  bool StartsChunk() const { return (sizeAndFlags & kChunkStart) != 0; }
};

class Mp4IndexChain {
 public:
  static constexpr uint32_t kEntriesPerBlock = 65536;

  // Records entry n (n is at most the current count); false when its block cannot be allocated.
  bool Add(uint32_t n, const Mp4IndexEntry& entry);
  const Mp4IndexEntry& At(uint32_t n) const { return blocks_[n / kEntriesPerBlock]->entries[n % kEntriesPerBlock]; }
  uint32_t Count() const { return count_; }
  size_t Blocks() const { return blocks_.size(); }
  // Allocates the first block; false when it cannot be allocated.
  bool Reserve();
  void Clear();

  // Test hook: at most this many blocks per chain may be allocated from now on (negative: back to
  // the environment variable ORX_TEST_MUX_INDEX_BLOCKS, no limit without it).
  static void LimitBlocksForTest(int64_t blocks);
  // Whether one more block may be allocated by a holder of blocksHeld under that limit (the other
  // container writers ask it before allocating their index arrays).
  static bool MayAllocate(size_t blocksHeld);

 private:
  struct Block {
    Mp4IndexEntry entries[kEntriesPerBlock];
  };
  bool Grow();

  std::vector<std::unique_ptr<Block>> blocks_;
  uint32_t count_ = 0;
};

}  // namespace orx::mux
