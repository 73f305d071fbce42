#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/qva_component.h"
#include "platform/heap.h"
#include "tests/framework/fingerprint.h"
#include "tests/support/orx_test.h"
#include "tests/support/waiting.h"

namespace {

using Clock = std::chrono::steady_clock;

// A queue for one test, destroyed at the end.
struct Queue {
  Queue(uint32_t size, uint32_t count) { EXPECT_EQ(BufferQueue_Create(size, count, &handle), QVA_SUCCESS); }
  ~Queue() {
    if (handle) BufferQueue_Destroy(handle, 0);
  }
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  operator QVAHandle() const { return handle; }
  QVAHandle handle = nullptr;
};

uint32_t InUse(QVAHandle q, uint32_t* bytes = nullptr) {
  uint32_t inUse = 0;
  EXPECT_EQ(BufferQueue_GetStatus(q, nullptr, nullptr, &inUse, bytes), QVA_SUCCESS);
  return inUse;
}

ComponentBuffer Foreign(std::vector<uint8_t>& data, uint32_t flags) {
  ComponentBuffer b{};
  b.flags = flags | QVA_BUFFLAG_EXTERNAL;
  b.frameworkMark = 1;
  b.data = data.data();
  b.capacity = b.length = static_cast<uint32_t>(data.size());
  return b;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  std::mt19937 random(seed);
  for (auto& b : v) b = static_cast<uint8_t>(random());
  return v;
}

// Buffer and state callbacks that count what they see.
struct Observer {
  std::mutex mutex;
  std::condition_variable stateReported;
  std::vector<uint32_t> waitStates;
  std::vector<uint32_t> bufferFlags;
  std::vector<uint8_t*> bufferData;
  static void OnState(QVAHandle, uint32_t state, void* self) {
    auto* o = static_cast<Observer*>(self);
    std::lock_guard<std::mutex> lock(o->mutex);
    o->waitStates.push_back(state);
    o->stateReported.notify_all();
  }
  // Waits until `count` state reports came; false when the time ran out first.
  bool WaitForStates(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return stateReported.wait_for(lock, orx::test::kPatience, [&] { return waitStates.size() >= count; });
  }
  static void OnBuffer(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self) {
    auto* o = static_cast<Observer*>(self);
    std::lock_guard<std::mutex> lock(o->mutex);
    o->bufferFlags.push_back(buffer->flags);
    o->bufferData.push_back(buffer->data);
  }
  void Attach(QVAHandle q) {
    BufferQueue_SetStateCallback(q, OnState, this);
    BufferQueue_SetBufferCallback(q, OnBuffer, nullptr, 0, this);
  }
};

// Slot size 100 gives aligned slots of 112 bytes.
TEST(BufferQueueEdges, SlotSizeIsRoundedUpToAlignedSlots) {
  Queue q(100, 3);
  uint32_t count = 0, size = 0;
  BufferQueue_GetStatus(q, &count, &size, nullptr, nullptr);
  EXPECT_EQ(size, 112u);
  EXPECT_EQ(count, 3u);
  ComponentBuffer *a, *b;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &a, 0), QVA_SUCCESS);
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a->data) % 16, 0u);
  EXPECT_EQ(b->data - a->data, 112);
  EXPECT_EQ(a->capacity, 112u);
  EXPECT_EQ(b->sequence, a->sequence + 1);
  EXPECT_EQ(b->flags, QVA_BUFFLAG_SEQUENCE);
}

// Fill limit 1: two slots in use, the third acquisition waits.
TEST(BufferQueueEdges, FillLimitOneLetsTwoSlotsBeTaken) {
  Queue q(64, 4);
  EXPECT_EQ(BufferQueue_SetLimit(q, QVA_QUEUE_LIMIT_ONE, 0, 0, 0), QVA_SUCCESS);
  ComponentBuffer* b;
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_ERR_NOBUFFERS);
  BufferQueue_SetLimit(q, QVA_QUEUE_LIMIT_NONE, 0, 0, 0);
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
}

// A free slot: time-out 0 answers at once, any other waits for a free commit.
TEST(BufferQueueEdges, AcquireWaitsForAFreeCommitUnlessItsTimeOutIsZero) {
  Queue q(64, 1);
  ComponentBuffer* held;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &held, 0), QVA_SUCCESS);
  ComponentBuffer* b = nullptr;
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_ERR_NOBUFFERS);
  std::thread releaser([&] {
    QVASleep(100);  // holds the slot well past the waiter's time-out
    BufferQueue_Commit(q, QVA_SLOT_FREE, held, QVA_INFINITE);
  });
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 1), QVA_SUCCESS);  // 1 ms: waits anyway
  releaser.join();
}

// An empty queue's consumer times out without a state report; one after a waiting producer
// reports 4.
TEST(BufferQueueEdges, EmptyQueueTimesOutQuietlyAndReportsAfterAWaitingProducer) {
  Observer o;  // outlives the queue, whose destruction reports what it still holds
  Queue q(64, 1);
  o.Attach(q);
  ComponentBuffer* b;
  const auto start = Clock::now();
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, 100), QVA_ERR_NOBUFFERS);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(o.waitStates.empty());
  ComponentBuffer* slot;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &slot, 0), QVA_SUCCESS);
  std::thread producer([&] {
    ComponentBuffer* next;
    BufferQueue_Acquire(q, QVA_SLOT_FREE, &next, QVA_INFINITE);  // waits: reports 2
    BufferQueue_Commit(q, QVA_SLOT_FULL, next, QVA_INFINITE);
  });
  EXPECT_TRUE(o.WaitForStates(1));
  BufferQueue_Commit(q, QVA_SLOT_FULL, slot, QVA_INFINITE);
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, QVA_INFINITE), QVA_SUCCESS);
  BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
  producer.join();
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, QVA_INFINITE), QVA_SUCCESS);
  BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, 10), QVA_ERR_NOBUFFERS);  // waits: reports 4
  std::lock_guard<std::mutex> lock(o.mutex);
  EXPECT_EQ(o.waitStates, (std::vector<uint32_t>{QVA_SLOT_FULL, QVA_SLOT_FREE}));
}

// A split write keeps the first-piece flags on the first and the unit end on the last.
TEST(BufferQueueEdges, SplitWriteKeepsFirstPieceFlagsFirstAndUnitEndLast) {
  Queue q(4096, 4);
  auto data = Pattern(10000, 1);
  ComponentBuffer b = Foreign(data, 0x1 | 0x1000 | QVA_BUFFLAG_TIMESTAMP);
  b.timestamp = 1234;
  uint32_t queued = 0;
  EXPECT_EQ(BufferQueue_Write(q, &b, 0, &queued), QVA_SUCCESS);
  EXPECT_EQ(queued, 10000u);
  const uint32_t expectedFlags[] = {0x1001000, 0x1000, 0x1001};
  const uint32_t expectedLength[] = {4096, 4096, 1808};
  for (int i = 0; i < 3; ++i) {
    ComponentBuffer* piece;
    ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &piece, 0), QVA_SUCCESS);
    EXPECT_EQ(piece->flags, expectedFlags[i]) << i;
    EXPECT_EQ(piece->length, expectedLength[i]) << i;
    EXPECT_EQ(piece->timestamp, 1234u);
    EXPECT_EQ(std::memcmp(piece->data, data.data() + 4096 * i, piece->length), 0);
    BufferQueue_Commit(q, QVA_SLOT_FREE, piece, QVA_INFINITE);
  }
}

// A read joins only slots whose flags, time and unit tag match.
TEST(BufferQueueEdges, ReadJoinsOnlySlotsWithMatchingFlagsTimeAndTag) {
  Queue q(4096, 4);
  auto data = Pattern(10000, 2);
  ComponentBuffer b = Foreign(data, 0x1 | 0x1000 | QVA_BUFFLAG_TIMESTAMP);
  BufferQueue_Write(q, &b, 0, nullptr);
  std::vector<uint8_t> out(16384);
  ComponentBuffer caller{};
  caller.data = out.data();
  caller.capacity = 16384;
  EXPECT_EQ(BufferQueue_Read(q, &caller, 0), QVA_SUCCESS);
  EXPECT_EQ(caller.length, 4096u);
  EXPECT_EQ(caller.flags, 0x1001000u);
  // Without flags the three pieces are one unit and come back whole.
  Queue plain(4096, 4);
  b = Foreign(data, 0);
  BufferQueue_Write(plain, &b, 0, nullptr);
  EXPECT_EQ(BufferQueue_Read(plain, &caller, 0), QVA_SUCCESS);
  EXPECT_EQ(caller.length, 10000u);
  EXPECT_EQ(std::memcmp(out.data(), data.data(), 10000), 0);
  EXPECT_EQ(InUse(plain), 0u);
}

// A slot larger than the caller's record is read in parts.
TEST(BufferQueueEdges, SlotLargerThanTheCallersRecordIsReadInParts) {
  Queue q(8192, 2);
  auto data = Pattern(5000, 3);
  ComponentBuffer b = Foreign(data, QVA_BUFFLAG_REFHANDLE | 0x1000);
  BufferQueue_Write(q, &b, 0, nullptr);
  std::vector<uint8_t> out(2048);
  ComponentBuffer caller{};
  caller.data = out.data();
  caller.capacity = 2048;
  const uint32_t expected[] = {2048, 2048, 904};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(BufferQueue_Read(q, &caller, 0), QVA_SUCCESS);
    EXPECT_EQ(caller.length, expected[i]) << i;
    EXPECT_EQ(std::memcmp(out.data(), data.data() + 2048 * i, caller.length), 0) << i;
    if (i == 0) {
      ComponentBuffer* slot;
      ASSERT_EQ(BufferQueue_Peek(q, &slot, 0), QVA_SUCCESS);
      EXPECT_EQ(slot->flags, 0x1000u | QVA_BUFFLAG_PARTIAL);  // 0x2 removed
      EXPECT_EQ(slot->bytesRead, 2048u);
      EXPECT_EQ(caller.flags, 0x1000u);
    }
  }
  EXPECT_EQ(InUse(q), 0u);
}

// A record lent by reference is queued itself and found again by its data.
TEST(BufferQueueEdges, RecordLentByReferenceIsQueuedItselfAndFoundByItsData) {
  Queue q(64, 2);
  auto frame = Pattern(1000, 4);
  ComponentBuffer lent = Foreign(frame, QVA_BUFFLAG_INPLACE);
  EXPECT_EQ(BufferQueue_Write(q, &lent, 0, nullptr), QVA_SUCCESS);
  ComponentBuffer* taken;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &taken, 0), QVA_SUCCESS);
  EXPECT_EQ(taken->data, frame.data());
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FREE, taken, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(taken->length, 1000u);
  EXPECT_EQ(InUse(q), 0u);
}

// A commit of a record that is no slot's changes nothing.
TEST(BufferQueueEdges, CommitOfARecordThatIsNoSlotChangesNothing) {
  Queue q(64, 2);
  uint8_t elsewhere[64];
  ComponentBuffer stray{};
  stray.data = elsewhere;
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FULL, &stray, QVA_INFINITE), QVA_ERR_TIMEOUT);
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FREE, &stray, QVA_INFINITE), QVA_ERR_TIMEOUT);
  EXPECT_EQ(InUse(q), 0u);
}

// A full commit accepts only a slot being written.
TEST(BufferQueueEdges, FullCommitAcceptsOnlyASlotBeingWritten) {
  Queue q(64, 2);
  ComponentBuffer* b;
  BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0);
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FULL, b, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FULL, b, QVA_INFINITE), QVA_ERR_TIMEOUT);  // already full
  EXPECT_EQ(InUse(q), 1u);
}

// A waiting close answers 22 once the held slot comes back; a plain close 0 at once.
TEST(BufferQueueEdges, WaitingCloseAnswersBusyOnceTheHeldSlotComesBack) {
  Queue q(64, 2);
  ComponentBuffer* b;
  BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0);
  BufferQueue_Commit(q, QVA_SLOT_FULL, b, QVA_INFINITE);
  BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, 0);
  EXPECT_EQ(BufferQueue_Close(q, 0), QVA_SUCCESS);
  std::thread consumer([&] {
    // Holds the slot while the close waits for it (nothing outside the close shows that it waits).
    QVASleep(80);
    BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
  });
  EXPECT_EQ(BufferQueue_Close(q, 1), QVA_ERR_BUSY);
  consumer.join();
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_ERR_WRONGSTATE);
  ComponentBuffer* none = nullptr;
  EXPECT_EQ(BufferQueue_Peek(q, &none, 0), QVA_ERR_NOBUFFERS);
  BufferQueue_Open(q);
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
}

// A flush frees every full slot, reports each, and leaves the queue open and empty.
TEST(BufferQueueEdges, FlushFreesEveryFullSlotAndLeavesTheQueueOpen) {
  Observer o;
  Queue q(64, 3);
  o.Attach(q);
  for (int i = 0; i < 2; ++i) {
    ComponentBuffer* b;
    BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0);
    BufferQueue_Commit(q, QVA_SLOT_FULL, b, QVA_INFINITE);
  }
  o.bufferFlags.clear();
  EXPECT_EQ(BufferQueue_Flush(q), QVA_SUCCESS);
  EXPECT_EQ(o.bufferFlags.size(), 2u);
  EXPECT_EQ(InUse(q), 0u);
  EXPECT_EQ(BufferQueue_Flush(q), QVA_SUCCESS);  // already empty: still reports 4
  EXPECT_EQ(o.waitStates, (std::vector<uint32_t>{QVA_SLOT_FREE, QVA_SLOT_FREE}));
  ComponentBuffer* b;
  EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(b->sequence, 0u);  // sequence numbers start again
}

// A resize to the same rounded size and count keeps the queued data.
TEST(BufferQueueEdges, ResizeToTheSameRoundedSizeKeepsTheQueuedData) {
  Queue q(100, 2);
  auto data = Pattern(50, 5);
  ComponentBuffer b = Foreign(data, 0);
  BufferQueue_Write(q, &b, 0, nullptr);
  EXPECT_EQ(BufferQueue_Resize(q, 105, 2), QVA_SUCCESS);
  ComponentBuffer* slot;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &slot, 0), QVA_SUCCESS);
  EXPECT_EQ(std::memcmp(slot->data, data.data(), 50), 0);
}

// Names are cut at 31 characters.
TEST(BufferQueueEdges, NamesAreCutAt31Characters) {
  Queue q(64, 1);
  EXPECT_EQ(BufferQueue_SetName(q, std::string(40, 'n').c_str(), QVA_QUEUE_INPUT), QVA_SUCCESS);
  const char* name = static_cast<const char*>(QVAGetTypedHandle(q, QVA_HANDLE_QUEUE));
  EXPECT_EQ(std::string(name), "i:" + std::string(29, 'n'));
  EXPECT_EQ(BufferQueue_SetName(nullptr, "x", 2), QVA_SUCCESS);
}

// Bad arguments and a missing queue.
TEST(BufferQueueEdges, BadArgumentsAndAMissingQueue) {
  QVAHandle q = nullptr;
  EXPECT_EQ(BufferQueue_Create(64, 1, nullptr), QVA_ERR_BADARG);
  EXPECT_EQ(BufferQueue_Create(0, 1, &q), QVA_ERR_BADARG);
  EXPECT_EQ(BufferQueue_Create(64, 0, &q), QVA_ERR_BADARG);
  ComponentBuffer* b;
  EXPECT_EQ(BufferQueue_Acquire(nullptr, QVA_SLOT_FREE, &b, 0), QVA_ERR_BADHANDLE);
  EXPECT_EQ(BufferQueue_Peek(nullptr, &b, 0), QVA_ERR_BADHANDLE);
  EXPECT_EQ(BufferQueue_Flush(nullptr), QVA_ERR_BADHANDLE);
  EXPECT_EQ(BufferQueue_Resize(nullptr, 64, 1), QVA_ERR_BADARG);
  EXPECT_EQ(BufferQueue_Destroy(nullptr, 0), QVA_ERR_BADARG);
  EXPECT_EQ(BufferQueue_Close(nullptr, 1), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_IsOwnBuffer(nullptr, nullptr), 0u);
  ComponentBuffer caller{};
  Queue empty(64, 1);
  EXPECT_EQ(BufferQueue_Read(empty, &caller, 0), QVA_ERR_BADARG);  // capacity 0
}

// Lent frames are given back through the free callback, which frees them, so a use after an
// early release is caught by AddressSanitizer.
struct LentFrames {
  std::mutex mutex;
  std::vector<uint8_t*> released;
  static void Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self) {
    if (!(buffer->flags & QVA_BUFFLAG_INPLACE)) return;
    auto* frames = static_cast<LentFrames*>(self);
    std::lock_guard<std::mutex> lock(frames->mutex);
    frames->released.push_back(buffer->data);
    delete[] buffer->data;
  }
  static ComponentBuffer Lend(uint32_t size, uint8_t fill) {
    ComponentBuffer b{};
    b.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL;
    b.data = new uint8_t[size];
    std::memset(b.data, fill, size);
    b.capacity = b.length = size;
    return b;
  }
};

TEST(BufferQueueHeldSlots, ALentSlotHeldAcrossAFlushOrAResizeIsReleasedOnceAfterItsCommit) {
  for (bool resize : {false, true}) {
    SCOPED_TRACE(resize ? "resize" : "flush");
    Queue q(64, 4);
    LentFrames frames;
    BufferQueue_SetBufferCallback(q, LentFrames::Release, nullptr, 0, &frames);
    ComponentBuffer first = LentFrames::Lend(4096, 0x11);
    ComponentBuffer second = LentFrames::Lend(4096, 0x22);
    ASSERT_EQ(BufferQueue_Write(q, &first, 0, nullptr), QVA_SUCCESS);
    ASSERT_EQ(BufferQueue_Write(q, &second, 0, nullptr), QVA_SUCCESS);
    ComponentBuffer* reading;
    ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &reading, 0), QVA_SUCCESS);
    ComponentBuffer* writing;
    ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &writing, 0), QVA_SUCCESS);

    if (resize) {
      EXPECT_EQ(BufferQueue_Resize(q, 256, 8), QVA_SUCCESS);
      EXPECT_TRUE(frames.released.empty());  // the queued frame moved into the new slots
      EXPECT_EQ(InUse(q), 3u);               // two held, one queued
    } else {
      EXPECT_EQ(BufferQueue_Flush(q), QVA_SUCCESS);
      EXPECT_EQ(frames.released.size(), 1u);  // only the queued frame
      EXPECT_EQ(InUse(q), 2u);                // the two held slots
    }
    // The held frame is still the consumer's: readable.
    EXPECT_EQ(reading->data[4095], 0x11);
    std::memset(writing->data, 0x33, 64);
    writing->length = 64;
    EXPECT_EQ(BufferQueue_IsOwnBuffer(q, writing), 1u);
    EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FREE, reading, QVA_INFINITE), QVA_SUCCESS);
    EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FREE, reading, QVA_INFINITE), QVA_ERR_TIMEOUT);  // once only
    EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FULL, writing, QVA_INFINITE), QVA_SUCCESS);
    if (resize) {
      // The queued frame moved into the new slots; the written slot joined the queue behind it.
      EXPECT_EQ(frames.released, (std::vector<uint8_t*>{first.data}));
      ComponentBuffer* next = nullptr;
      ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &next, 0), QVA_SUCCESS);
      EXPECT_EQ(next->data, second.data);
      EXPECT_EQ(next->data[4095], 0x22);
      BufferQueue_Commit(q, QVA_SLOT_FREE, next, QVA_INFINITE);
      EXPECT_EQ(frames.released, (std::vector<uint8_t*>{first.data, second.data}));
      ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &next, 0), QVA_SUCCESS);
      EXPECT_EQ(next->data[63], 0x33);
      BufferQueue_Commit(q, QVA_SLOT_FREE, next, QVA_INFINITE);
    } else {
      // The flush released the queued frame; the written slot was discarded with it.
      EXPECT_EQ(frames.released, (std::vector<uint8_t*>{second.data, first.data}));
      ComponentBuffer* next = nullptr;
      EXPECT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &next, 0), QVA_ERR_NOBUFFERS);
    }
    EXPECT_EQ(InUse(q), 0u);
    // The ring goes on working after the held slots came back.
    for (int i = 0; i < 10; ++i) {
      ComponentBuffer* b;
      ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
      BufferQueue_Commit(q, QVA_SLOT_FULL, b, QVA_INFINITE);
      ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, 0), QVA_SUCCESS);
      BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
    }
  }
}

TEST(BufferQueueHeldSlots, AWorkerGrowsItsOwnQueueWhileHoldingARecordAndKeepsWhatIsQueued) {
  Queue q(256, 4);
  // A format record, then three data records queued behind it.
  std::vector<std::vector<uint8_t>> sent;
  for (uint32_t i = 0; i < 4; ++i) {
    sent.push_back(Pattern(200 + i, 10 + i));
    ComponentBuffer b = Foreign(sent.back(), i == 0 ? QVA_BUFFLAG_FORMAT_VIDEO : 0);
    b.unitTag = i;
    ASSERT_EQ(BufferQueue_Write(q, &b, 0, nullptr), QVA_SUCCESS);
  }
  ComponentBuffer* format;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &format, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Resize(q, 4096, 6), QVA_SUCCESS);  // the hook grows its own input pin
  EXPECT_EQ(format->length, 200u);
  EXPECT_EQ(std::memcmp(format->data, sent[0].data(), 200), 0);
  EXPECT_EQ(BufferQueue_Commit(q, QVA_SLOT_FREE, format, QVA_INFINITE), QVA_SUCCESS);
  for (uint32_t i = 1; i < 4; ++i) {
    ComponentBuffer* b;
    ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &b, 0), QVA_SUCCESS);
    EXPECT_EQ(b->unitTag, i);
    EXPECT_EQ(b->capacity, 4096u);
    ASSERT_EQ(b->length, sent[i].size());
    EXPECT_EQ(std::memcmp(b->data, sent[i].data(), b->length), 0);
    BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
  }
  // New slots have the new size.
  ComponentBuffer* b;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(b->capacity, 4096u);
  // Queued records that do not fit smaller slots keep the queue as it is.
  BufferQueue_Commit(q, QVA_SLOT_FREE, b, QVA_INFINITE);
  auto big = Pattern(3000, 9);
  ComponentBuffer record = Foreign(big, 0);
  BufferQueue_Write(q, &record, 0, nullptr);
  EXPECT_EQ(BufferQueue_Resize(q, 1024, 6), QVA_ERR_BUSY);
  EXPECT_EQ(InUse(q), 1u);
}

TEST(BufferQueueHeldSlots, ADestroyedQueueHandsBackWhatItStillHolds) {
  LentFrames frames;
  QVAHandle q = nullptr;
  ASSERT_EQ(BufferQueue_Create(64, 4, &q), QVA_SUCCESS);
  BufferQueue_SetBufferCallback(q, LentFrames::Release, nullptr, 0, &frames);
  ComponentBuffer queued = LentFrames::Lend(100, 1);
  ComponentBuffer held = LentFrames::Lend(100, 2);
  ASSERT_EQ(BufferQueue_Write(q, &held, 0, nullptr), QVA_SUCCESS);
  ASSERT_EQ(BufferQueue_Write(q, &queued, 0, nullptr), QVA_SUCCESS);
  ComponentBuffer* reading;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &reading, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Destroy(q, 0), QVA_SUCCESS);
  EXPECT_EQ(frames.released.size(), 2u);  // and nothing leaks
}

void* RefuseLarge(size_t size) { return size > 100000 ? nullptr : std::malloc(size); }

TEST(BufferQueueHeldSlots, AFailedResizeLeavesAWorkingQueue) {
  Queue q(64, 2);
  auto data = Pattern(60, 6);
  ComponentBuffer b = Foreign(data, 0);
  BufferQueue_Write(q, &b, 0, nullptr);
  auto previous = orx::platform::SetHeapAllocateHook(RefuseLarge);
  EXPECT_EQ(BufferQueue_Resize(q, 1 << 20, 4), QVA_ERR_NOMEMORY);
  orx::platform::SetHeapAllocateHook(previous);
  ComponentBuffer* slot;
  ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &slot, 0), QVA_SUCCESS);
  EXPECT_EQ(std::memcmp(slot->data, data.data(), 60), 0);
  BufferQueue_Commit(q, QVA_SLOT_FREE, slot, QVA_INFINITE);
  EXPECT_EQ(BufferQueue_Resize(q, 4096, 4), QVA_SUCCESS);
}

TEST(BufferQueueThreads, OneProducerAndOneConsumerMoveManyBuffersInOrder) {
  const int kBuffers = kOrxSanitizedBuild ? 20000 : 100000;
  Queue q(8192, 8);
  std::atomic<uint64_t> producerSum{0};
  std::thread producer([&] {
    std::mt19937_64 random(77);
    std::vector<uint8_t> data(20000 + 8);
    uint64_t sum = 0;
    for (int i = 0; i < kBuffers; ++i) {
      const uint32_t size = static_cast<uint32_t>(random() % 20001);
      for (uint32_t k = 0; k < size; k += 8) {
        const uint64_t word = random();
        std::memcpy(data.data() + k, &word, 8);
      }
      ComponentBuffer b{};
      b.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_UNITEND | (i % 3 == 0 ? 0x1000u : 0x20000000u);
      b.data = data.data();
      b.length = b.capacity = size;
      b.unitTag = static_cast<uint32_t>(i);
      ASSERT_EQ(BufferQueue_Write(q, &b, QVA_INFINITE, nullptr), QVA_SUCCESS);
      sum = orx::test::Fingerprint(sum * 31 + size, data.data(), size);
    }
    producerSum = sum;
  });
  uint64_t sum = 0;
  std::vector<uint8_t> unit;
  for (int i = 0; i < kBuffers; ++i) {
    unit.clear();
    for (;;) {
      ComponentBuffer* piece;
      ASSERT_EQ(BufferQueue_Acquire(q, QVA_SLOT_FULL, &piece, QVA_INFINITE), QVA_SUCCESS);
      ASSERT_EQ(piece->unitTag, static_cast<uint32_t>(i));
      unit.insert(unit.end(), piece->data, piece->data + piece->length);
      const bool last = piece->flags & QVA_BUFFLAG_UNITEND;
      BufferQueue_Commit(q, QVA_SLOT_FREE, piece, QVA_INFINITE);
      if (last) break;
    }
    sum = orx::test::Fingerprint(sum * 31 + unit.size(), unit.data(), unit.size());
  }
  producer.join();
  EXPECT_EQ(sum, producerSum.load());
  EXPECT_EQ(InUse(q), 0u);
}

}  // namespace
