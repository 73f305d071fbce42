// Components on their worker threads, each against a reference in the same run:
// (a) copied 64 KiB buffers pushed into a pass-through that copies them on to a sink that only
//     checksums them, against std::memcpy of the same bytes (each byte is copied twice on the
//     road): compare bytes_per_second. A bare pipeline of three threads doing the same copies
//     through rings of eight 64 KiB slots, handing over by spinning on counters, shows what the
//     machine itself allows on this road: the part of the gap to std::memcpy that no framework
//     can close. Every hand-over between two threads moves cache lines between their
//     processors; BM_CacheLineHandOffReference gives the time one such move takes here (one
//     line passed back and forth, time per one-way pass);
// (b) lent 3,110,400-byte frames (one 1920x1080 4:2:0 picture) pushed by reference into one
//     component whose hook reads 64 bytes of each, against a bare two-thread mutex and condition
//     variable hand-off of the same records: compare the time per frame (items_per_second).
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/component_library.h"

namespace {

constexpr uint32_t kBufferSize = 64 * 1024;
constexpr uint32_t kFrameSize = 3110400;
constexpr uint32_t kLentSlots = 4;

std::atomic<uint64_t> g_checksum{0};
std::atomic<uint64_t> g_sinkBuffers{0};
std::atomic<uint64_t> g_framesReleased{0};

const ComponentInfo kPass = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_SCALER, 1, 1, {0, 0, 0, 0, 0, 0, 0xBE, 1},
     "PASS", "Bench Pass", 1, 1, 0, {}, {}},
    kCompLibDefaultMethods);
const ComponentInfo kSink = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_MULTIPLEXER, 1, 1, {0, 0, 0, 0, 0, 0, 0xBE, 2},
     "SINK", "Bench Sink", 1, 0, 0, {}, {}},
    kCompLibDefaultMethods);
const ComponentInfo kReader = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 1, 1, {0, 0, 0, 0, 0, 0, 0xBE, 3},
     "READ", "Bench Reader", 1, 1, 0, {}, {}},
    kCompLibDefaultMethods);
const ComponentInfo kTable[] = {kPass, kSink, kReader};

// XOR of the 16-byte blocks (a 1-15 byte tail is left out), four blocks at a time so the
// sink reads at the memory's pace rather than one 8-byte add after another.
uint64_t Checksum(const uint8_t* data, uint32_t length) {
  __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
  uint32_t i = 0;
  for (; i + 64 <= length; i += 64) {
    a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
    b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)));
    c = _mm_xor_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32)));
    d = _mm_xor_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48)));
  }
  for (; i + 16 <= length; i += 16)
    a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
  const __m128i all = _mm_xor_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
  return static_cast<uint64_t>(_mm_cvtsi128_si64(all)) ^
         static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(all, all)));
}

ComponentInstance* Make(const ComponentInfo& descriptor, uint32_t slotSize, uint32_t slots) {
  ComponentInstance* instance = nullptr;
  CompBase_Create(descriptor.compId, 0, &instance);
  CompBase_GetInputPin(instance, 0, nullptr, nullptr, slotSize, slots);
  instance->methods.QVAComp_Start(instance);
  CompBase_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0);
  return instance;
}

void Finish(ComponentInstance* instance) {
  instance->methods.QVAComp_End(instance);
  CompBase_Release(instance);
}

void ReleaseFrame(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void*) {
  if (buffer->flags & QVA_BUFFLAG_INPLACE) g_framesReleased++;
}

void BM_Memcpy64K(benchmark::State& state) {
  std::vector<uint8_t> source(kBufferSize, 0x5A), destination(kBufferSize);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), kBufferSize);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kBufferSize});
}

// One producer-consumer counter on a cache line of its own.
struct alignas(64) HandOffCount {
  std::atomic<int64_t> value{0};
};

void WaitUntil(const HandOffCount& count, int64_t target) {
  while (count.value.load(std::memory_order_acquire) < target) _mm_pause();
}

void BM_BarePipelineReference(benchmark::State& state) {
  constexpr int64_t kSlots = 8;
  std::vector<uint8_t> source(kBufferSize, 0x11);
  std::vector<uint8_t> firstRing(kSlots * kBufferSize + 64), secondRing(kSlots * kBufferSize + 64);
  const auto lineAligned = [](std::vector<uint8_t>& ring) {
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(ring.data()) + 63) & ~uintptr_t{63});
  };
  uint8_t* first = lineAligned(firstRing);
  uint8_t* second = lineAligned(secondRing);
  HandOffCount pushed, passed, checked;
  const int64_t total = state.max_iterations;
  std::thread pass([&] {
    for (int64_t i = 0; i < total; ++i) {
      WaitUntil(pushed, i + 1);
      WaitUntil(checked, i - kSlots + 1);
      std::memcpy(second + (i % kSlots) * kBufferSize, first + (i % kSlots) * kBufferSize, kBufferSize);
      passed.value.store(i + 1, std::memory_order_release);
    }
  });
  std::thread sink([&] {
    uint64_t sum = 0;
    for (int64_t i = 0; i < total; ++i) {
      WaitUntil(passed, i + 1);
      sum += Checksum(second + (i % kSlots) * kBufferSize, kBufferSize);
      checked.value.store(i + 1, std::memory_order_release);
    }
    g_checksum += sum;
  });
  int64_t i = 0;
  for (auto _ : state) {
    WaitUntil(passed, i - kSlots + 1);
    std::memcpy(first + (i % kSlots) * kBufferSize, source.data(), kBufferSize);
    pushed.value.store(++i, std::memory_order_release);
  }
  pass.join();
  sink.join();
  state.SetBytesProcessed(state.iterations() * int64_t{kBufferSize});
}

void BM_CacheLineHandOffReference(benchmark::State& state) {
  HandOffCount turn;
  const int64_t total = state.max_iterations;
  std::thread other([&] {
    for (int64_t i = 0; i < total; ++i) {
      WaitUntil(turn, 2 * i + 1);
      turn.value.store(2 * i + 2, std::memory_order_release);
    }
  });
  int64_t i = 0;
  for (auto _ : state) {
    turn.value.store(2 * i + 1, std::memory_order_release);
    WaitUntil(turn, 2 * i + 2);
    ++i;
  }
  other.join();
  // Each iteration is two one-way passes of the line.
  state.SetItemsProcessed(2 * state.iterations());
}

void BM_CopiedThroughPassToSink(benchmark::State& state) {
  CompBase_LibInit(kTable, 3);
  ComponentInstance* sink = Make(kSink, kBufferSize, 8);
  ComponentInstance* pass = Make(kPass, kBufferSize, 8);
  QVAGetEmptyBufferFn get;
  QVADeliverBufferFn deliver;
  CompBase_GetInputPin(sink, 0, &get, &deliver, 0, 0);
  CompBase_ConnectOutput(pass, 0, get, deliver, sink);
  std::vector<uint8_t> data(kBufferSize, 0x11);
  g_sinkBuffers = 0;
  for (auto _ : state) {
    ComponentBuffer buffer{};
    buffer.flags = QVA_BUFFLAG_EXTERNAL;
    buffer.data = data.data();
    buffer.length = buffer.capacity = kBufferSize;
    CompBase_PushInput(pass, 0, &buffer, QVA_INFINITE, nullptr);
  }
  while (g_sinkBuffers.load() < static_cast<uint64_t>(state.iterations())) std::this_thread::yield();
  state.SetBytesProcessed(state.iterations() * int64_t{kBufferSize});
  Finish(pass);
  Finish(sink);
}

void BM_ReferenceFrameHandOff(benchmark::State& state) {
  std::vector<uint8_t> frame(kFrameSize, 0x22);
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<ComponentBuffer> ring;
  const int64_t total = state.max_iterations;
  std::thread consumer([&] {
    for (int64_t i = 0; i < total; ++i) {
      ComponentBuffer record;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !ring.empty(); });
        record = ring.front();
        ring.pop_front();
        changed.notify_all();
      }
      benchmark::DoNotOptimize(Checksum(record.data, 64));
    }
  });
  for (auto _ : state) {
    ComponentBuffer record{};
    record.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE;
    record.data = frame.data();
    record.length = record.capacity = kFrameSize;
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return ring.size() < kLentSlots; });
    ring.push_back(record);
    changed.notify_all();
  }
  consumer.join();
  state.SetItemsProcessed(state.iterations());
}

void BM_LentFramesIntoOneComponent(benchmark::State& state) {
  CompBase_LibInit(kTable, 3);
  ComponentInstance* reader = Make(kReader, 2048, kLentSlots);
  CompBase_SetPinCallback(reader, 0, 0, ReleaseFrame, nullptr);
  std::vector<uint8_t> frame(kFrameSize, 0x22);
  g_framesReleased = 0;
  for (auto _ : state) {
    ComponentBuffer record{};
    record.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE;
    record.data = frame.data();
    record.length = record.capacity = kFrameSize;
    CompBase_PushInput(reader, 0, &record, QVA_INFINITE, nullptr);
  }
  while (g_framesReleased.load() < static_cast<uint64_t>(state.iterations())) std::this_thread::yield();
  state.SetItemsProcessed(state.iterations());
  Finish(reader);
}

BENCHMARK(BM_Memcpy64K)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_BarePipelineReference)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_CacheLineHandOffReference)->Iterations(200000)->UseRealTime();
BENCHMARK(BM_CopiedThroughPassToSink)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_ReferenceFrameHandOff)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_LentFramesIntoOneComponent)->Iterations(20000)->UseRealTime();

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  return CompBase_IsState(instance, QVA_STATE_NONE) ? CompBase_Init(instance) : QVA_ERR_WRONGSTATE;
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  // The reader has an output pin (never used), so pushes into it are queued for its worker.
  switch (instance->compId[7]) {
    case 2:
      g_checksum += Checksum(buffer->data, buffer->length);
      g_sinkBuffers++;
      return QVA_SUCCESS;
    case 3:
      benchmark::DoNotOptimize(Checksum(buffer->data, 64));
      return QVA_SUCCESS;
    default:
      break;
  }
  ComponentBuffer* out = nullptr;
  QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &out);
  if (status != QVA_SUCCESS) return status;
  std::memcpy(out->data, buffer->data, buffer->length);
  out->length = buffer->length;
  return CompBase_DeliverOutput(instance, 0, out);
}

QVAStatus CompDestroyHook(ComponentInstance* instance) { return CompBase_Deinit(instance); }
