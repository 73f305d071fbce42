#include "mux/mp4/mp4_index.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace orx::mux {
namespace {

constexpr int64_t kLimitFromEnvironment = -2;
// Negative: no limit. Unless a test set it here, the environment variable gives it: that lets a
// test reach the component's own copy of this library, which it loads by name.
std::atomic<int64_t> g_blockLimit{kLimitFromEnvironment};

int64_t BlockLimit() {
  const int64_t limit = g_blockLimit.load();
  if (limit != kLimitFromEnvironment) return limit;
  const char* text = std::getenv("ORX_TEST_MUX_INDEX_BLOCKS");
  return text != nullptr && *text != '\0' ? std::atoll(text) : -1;
}

}  // namespace

void Mp4IndexChain::LimitBlocksForTest(int64_t blocks) { g_blockLimit.store(blocks < 0 ? kLimitFromEnvironment : blocks); }

bool Mp4IndexChain::MayAllocate(size_t blocksHeld) {
  const int64_t limit = BlockLimit();
  return limit < 0 || static_cast<int64_t>(blocksHeld) < limit;
}

bool Mp4IndexChain::Grow() {
  if (!MayAllocate(blocks_.size())) return false;
  std::unique_ptr<Block> block(new (std::nothrow) Block);
  if (!block) return false;
  blocks_.push_back(std::move(block));
  return true;
}

bool Mp4IndexChain::Reserve() { return !blocks_.empty() || Grow(); }

bool Mp4IndexChain::Add(uint32_t n, const Mp4IndexEntry& entry) {
  if (n > count_) return false;
  while (n / kEntriesPerBlock >= blocks_.size()) {
    if (!Grow()) return false;
  }
  blocks_[n / kEntriesPerBlock]->entries[n % kEntriesPerBlock] = entry;
  if (n == count_) ++count_;
  return true;
}

void Mp4IndexChain::Clear() {
  blocks_.clear();
  count_ = 0;
}

}  // namespace orx::mux
