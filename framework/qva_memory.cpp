#include "framework/qva_memory.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_set>

#include "platform/heap.h"

namespace {

constexpr size_t kLargestBlock = 0xFFFFFFFFu - 64;
constexpr uint16_t kLargestOffset = 128;
// How many released addresses are remembered to answer 57.
constexpr size_t kReleasedMemory = 4096;

// The blocks this library's copy handed out, consulted before any header is read, so that a
// foreign, wild or released address is answered without touching its memory.
struct BlockRegistry {
  std::mutex mutex;
  std::unordered_set<uintptr_t> live;
  std::unordered_set<uintptr_t> released;
  std::deque<uintptr_t> releasedOrder;

  void ForgetReleased(uintptr_t address) {
    if (released.erase(address) == 0) return;
    for (auto it = releasedOrder.begin(); it != releasedOrder.end(); ++it) {
      if (*it == address) {
        releasedOrder.erase(it);
        break;
      }
    }
  }

  void RememberReleased(uintptr_t address) {
    if (releasedOrder.size() == kReleasedMemory) {
      released.erase(releasedOrder.front());
      releasedOrder.pop_front();
    }
    released.insert(address);
    releasedOrder.push_back(address);
  }
};

// Made on first use and released when the library is unloaded (or the process ends) after
// every static destructor of the library has run, so objects destroyed at exit can still free
// their blocks, and an unloaded library leaves nothing behind.
std::atomic<BlockRegistry*> g_registry{nullptr};
std::once_flag g_registryOnce;

BlockRegistry& Registry() {
  std::call_once(g_registryOnce, [] { g_registry.store(new BlockRegistry, std::memory_order_release); });
  return *g_registry.load(std::memory_order_acquire);
}

__attribute__((destructor)) void ReleaseRegistry() { delete g_registry.exchange(nullptr); }

struct Counters {
  std::atomic<uint32_t> liveBytes{0};
  std::atomic<uint32_t> peakBytes{0};
  std::atomic<uint32_t> allocations{0};
  std::atomic<uint32_t> failures{0};
  std::atomic<uint32_t> releases{0};
  std::atomic<uint32_t> releaseErrors{0};
} g_counters;

size_t RoundUp4(size_t n) { return (n + 3) & ~size_t{3}; }

struct BlockHeader {
  uint16_t mark;
  uint16_t offset;
  uint32_t size;
};

BlockHeader ReadHeader(const void* block) {
  BlockHeader header;
  std::memcpy(&header, static_cast<const char*>(block) - 8, sizeof header);
  return header;
}

uint32_t ReadTrailer(const void* block, uint32_t size) {
  uint32_t trailer;
  std::memcpy(&trailer, static_cast<const char*>(block) + RoundUp4(size), sizeof trailer);
  return trailer;
}

void WriteTrailer(void* block, uint32_t size, uint32_t value) {
  std::memcpy(static_cast<char*>(block) + RoundUp4(size), &value, sizeof value);
}

}  // namespace

void* QVAMalloc(size_t size) {
  void* heap = size <= kLargestBlock ? orx::platform::HeapAllocate((size + 31) & ~size_t{3}) : nullptr;
  if (heap == nullptr) {
    g_counters.failures.fetch_add(1, std::memory_order_relaxed);
    return nullptr;
  }
  const uintptr_t r = reinterpret_cast<uintptr_t>(heap);
  const uintptr_t p = (r + 8) + ((r + 8) % 16);
  auto* block = reinterpret_cast<char*>(p);
  BlockHeader header{kQVABlockMark, static_cast<uint16_t>(p - 8 - r), static_cast<uint32_t>(size)};
  std::memcpy(block - 8, &header, sizeof header);
  WriteTrailer(block, header.size, kQVATrailerLive);

  const uint32_t live = g_counters.liveBytes.fetch_add(header.size, std::memory_order_relaxed) + header.size;
  uint32_t peak = g_counters.peakBytes.load(std::memory_order_relaxed);
  while (live > peak && !g_counters.peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  BlockRegistry& registry = Registry();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.ForgetReleased(p);
    registry.live.insert(p);
  }
  g_counters.allocations.fetch_add(1, std::memory_order_relaxed);
  return block;
}

uint32_t QVACheckMem(const void* block) {
  BlockRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const uintptr_t p = reinterpret_cast<uintptr_t>(block);
  if (registry.live.count(p) == 0) {
    return registry.released.count(p) != 0 ? QVA_MEM_RELEASED : QVA_MEM_NOMARK;
  }
  BlockHeader header = ReadHeader(block);
  if (header.mark != kQVABlockMark) return QVA_MEM_NOMARK;
  switch (ReadTrailer(block, header.size)) {
    case kQVATrailerLive: return QVA_MEM_LIVE;
    case kQVATrailerFreed: return QVA_MEM_RELEASED;
    default: return QVA_MEM_DAMAGED;
  }
}

QVAStatus QVAFree(void* block) {
  BlockRegistry& registry = Registry();
  std::unique_lock<std::mutex> lock(registry.mutex);
  const uintptr_t p = reinterpret_cast<uintptr_t>(block);
  if (registry.live.count(p) == 0) {
    g_counters.releaseErrors.fetch_add(1, std::memory_order_relaxed);
    return registry.released.count(p) != 0 ? QVA_ERR_BLOCKFREED : QVA_ERR_BADBLOCK;
  }
  BlockHeader header = ReadHeader(block);
  if (header.mark != kQVABlockMark || header.offset > kLargestOffset) {
    g_counters.releaseErrors.fetch_add(1, std::memory_order_relaxed);
    return QVA_ERR_BADBLOCK;
  }
  const uint32_t trailer = ReadTrailer(block, header.size);
  if (trailer != kQVATrailerLive) {
    g_counters.releaseErrors.fetch_add(1, std::memory_order_relaxed);
    return trailer == kQVATrailerFreed ? QVA_ERR_BLOCKFREED : QVA_ERR_BADBLOCK;
  }
  WriteTrailer(block, header.size, kQVATrailerFreed);
  registry.live.erase(p);
  registry.RememberReleased(p);
  lock.unlock();
  g_counters.liveBytes.fetch_sub(header.size, std::memory_order_relaxed);
  orx::platform::HeapRelease(static_cast<char*>(block) - 8 - header.offset);
  g_counters.releases.fetch_add(1, std::memory_order_relaxed);
  return QVA_SUCCESS;
}

QVAMemCounters QVAGetMemCounters() {
  return QVAMemCounters{
      g_counters.liveBytes.load(std::memory_order_relaxed),
      g_counters.peakBytes.load(std::memory_order_relaxed),
      g_counters.allocations.load(std::memory_order_relaxed),
      g_counters.failures.load(std::memory_order_relaxed),
      g_counters.releases.load(std::memory_order_relaxed),
      g_counters.releaseErrors.load(std::memory_order_relaxed),
  };
}
