// The buffer queue between two threads, each against a reference in the same run:
// (a) own slots handed over (acquire free, fill 64 KiB, commit full / acquire full, commit free)
//     against a minimal mutex and condition-variable ring of the same slot count: compare the
//     time per buffer (items_per_second);
// (b) BufferQueue_Write of foreign 64 KiB records with a consumer draining, against std::memcpy
//     of the same bytes: compare bytes_per_second.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/qva_component.h"

namespace {

constexpr uint32_t kSlotSize = 64 * 1024;
constexpr uint32_t kSlots = 8;

// The reference: a ring of slots guarded by one mutex with two condition variables.
class ReferenceRing {
 public:
  ReferenceRing() : memory_(size_t{kSlots} * kSlotSize) {}
  uint8_t* AcquireFree() {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [this] { return full_ + writing_ < kSlots; });
    writing_++;
    return &memory_[size_t{(head_ + full_ + writing_ - 1) % kSlots} * kSlotSize];
  }
  void CommitFull() {
    std::lock_guard<std::mutex> lock(mutex_);
    writing_--;
    full_++;
    notEmpty_.notify_one();
  }
  uint8_t* AcquireFull() {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [this] { return full_ > 0; });
    return &memory_[size_t{head_} * kSlotSize];
  }
  void CommitFree() {
    std::lock_guard<std::mutex> lock(mutex_);
    head_ = (head_ + 1) % kSlots;
    full_--;
    notFull_.notify_one();
  }

 private:
  std::vector<uint8_t> memory_;
  std::mutex mutex_;
  std::condition_variable notFull_, notEmpty_;
  uint32_t head_ = 0, full_ = 0, writing_ = 0;
};

void BM_ReferenceRingHandOver(benchmark::State& state) {
  ReferenceRing ring;
  const int64_t total = state.max_iterations;
  std::thread consumer([&] {
    for (int64_t i = 0; i < total; ++i) {
      benchmark::DoNotOptimize(ring.AcquireFull()[0]);
      ring.CommitFree();
    }
  });
  for (auto _ : state) {
    std::memset(ring.AcquireFree(), 0x5A, kSlotSize);
    ring.CommitFull();
  }
  consumer.join();
  state.SetItemsProcessed(state.iterations());
}

void BM_QueueOwnSlotsHandOver(benchmark::State& state) {
  QVAHandle queue = nullptr;
  BufferQueue_Create(kSlotSize, kSlots, &queue);
  const int64_t total = state.max_iterations;
  std::thread consumer([&] {
    for (int64_t i = 0; i < total; ++i) {
      ComponentBuffer* full = nullptr;
      BufferQueue_Acquire(queue, QVA_SLOT_FULL, &full, QVA_INFINITE);
      benchmark::DoNotOptimize(full->data[0]);
      BufferQueue_Commit(queue, QVA_SLOT_FREE, full, QVA_INFINITE);
    }
  });
  for (auto _ : state) {
    ComponentBuffer* slot = nullptr;
    BufferQueue_Acquire(queue, QVA_SLOT_FREE, &slot, QVA_INFINITE);
    std::memset(slot->data, 0x5A, kSlotSize);
    slot->length = kSlotSize;
    BufferQueue_Commit(queue, QVA_SLOT_FULL, slot, QVA_INFINITE);
  }
  consumer.join();
  BufferQueue_Destroy(queue, 0);
  state.SetItemsProcessed(state.iterations());
}

void BM_Memcpy64K(benchmark::State& state) {
  std::vector<uint8_t> source(kSlotSize, 0x5A), destination(kSlotSize);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), kSlotSize);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSlotSize});
}

void BM_QueueWriteForeign64K(benchmark::State& state) {
  QVAHandle queue = nullptr;
  BufferQueue_Create(kSlotSize, kSlots, &queue);
  std::vector<uint8_t> source(kSlotSize, 0x5A);
  const int64_t total = state.max_iterations;
  std::thread consumer([&] {
    for (int64_t i = 0; i < total; ++i) {
      ComponentBuffer* full = nullptr;
      BufferQueue_Acquire(queue, QVA_SLOT_FULL, &full, QVA_INFINITE);
      BufferQueue_Commit(queue, QVA_SLOT_FREE, full, QVA_INFINITE);
    }
  });
  for (auto _ : state) {
    ComponentBuffer record{};
    record.flags = QVA_BUFFLAG_EXTERNAL;
    record.data = source.data();
    record.length = record.capacity = kSlotSize;
    BufferQueue_Write(queue, &record, QVA_INFINITE, nullptr);
  }
  consumer.join();
  BufferQueue_Destroy(queue, 0);
  state.SetBytesProcessed(state.iterations() * int64_t{kSlotSize});
}

// Fixed iteration counts: the consumer threads know how many buffers come.
BENCHMARK(BM_ReferenceRingHandOver)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_QueueOwnSlotsHandOver)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_Memcpy64K)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_QueueWriteForeign64K)->Iterations(20000)->UseRealTime();

}  // namespace
