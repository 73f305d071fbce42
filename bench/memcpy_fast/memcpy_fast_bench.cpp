// QVAMemCpyFast against std::memcpy on the same 16-byte aligned buffers: one 1920x1080 4:2:0
// frame (3,110,400 bytes) and 64 KiB. Compare the bytes_per_second of the pairs.
//
// Three settings: "warm" copies the same buffers again and again, so memcpy works from the caches
// that the fast copy's non-temporal prefetch and stores deliberately bypass; "cold" flushes both
// buffers from every cache level before each copy (outside the timing), as for a frame that
// arrives from elsewhere and is copied once; "stream" copies a run of distinct frames in turn,
// each once a round, as a video pipeline hands pictures on (the run, over 90 MB, outgrows the
// last-level cache, so no frame is still cached when its turn comes again). Cold and stream are
// the cases the fast copy is built for.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/qva_memory.h"

namespace {

struct Buffers {
  explicit Buffers(size_t n)
      : size(n),
        source(static_cast<unsigned char*>(std::aligned_alloc(64, (n + 63) / 64 * 64))),
        destination(static_cast<unsigned char*>(std::aligned_alloc(64, (n + 63) / 64 * 64))) {
    std::memset(source, 0x5A, n);
    std::memset(destination, 0, n);
  }
  ~Buffers() {
    std::free(source);
    std::free(destination);
  }
  void Flush() const {
    for (size_t i = 0; i < size; i += 64) {
      _mm_clflush(source + i);
      _mm_clflush(destination + i);
    }
    _mm_mfence();
  }
  size_t size;
  unsigned char* source;
  unsigned char* destination;
};

void StdMemcpy(void* destination, const void* source, size_t count) { std::memcpy(destination, source, count); }

template <void (*kCopy)(void*, const void*, size_t)>
void BM_Warm(benchmark::State& state) {
  Buffers b(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    kCopy(b.destination, b.source, b.size);
    benchmark::DoNotOptimize(b.destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

template <void (*kCopy)(void*, const void*, size_t)>
void BM_Cold(benchmark::State& state) {
  Buffers b(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    b.Flush();
    state.ResumeTiming();
    kCopy(b.destination, b.source, b.size);
    benchmark::DoNotOptimize(b.destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Sixteen source and destination frames copied in turn.
template <void (*kCopy)(void*, const void*, size_t)>
void BM_Stream(benchmark::State& state) {
  constexpr int kFrames = 16;
  std::vector<std::unique_ptr<Buffers>> frames;
  for (int i = 0; i < kFrames; ++i) frames.push_back(std::make_unique<Buffers>(static_cast<size_t>(state.range(0))));
  int next = 0;
  for (auto _ : state) {
    Buffers& b = *frames[next];
    next = (next + 1) % kFrames;
    kCopy(b.destination, b.source, b.size);
    benchmark::DoNotOptimize(b.destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Warm<StdMemcpy>)->Name("BM_StdMemcpy/warm")->Arg(3110400)->Arg(65536);
BENCHMARK(BM_Warm<QVAMemCpyFast>)->Name("BM_QVAMemCpyFast/warm")->Arg(3110400)->Arg(65536);
// A flush takes far longer than the copy it precedes: a fixed count keeps the run short.
BENCHMARK(BM_Cold<StdMemcpy>)->Name("BM_StdMemcpy/cold")->Arg(3110400)->Iterations(300);
BENCHMARK(BM_Cold<QVAMemCpyFast>)->Name("BM_QVAMemCpyFast/cold")->Arg(3110400)->Iterations(300);
BENCHMARK(BM_Stream<StdMemcpy>)->Name("BM_StdMemcpy/stream")->Arg(3110400);
BENCHMARK(BM_Stream<QVAMemCpyFast>)->Name("BM_QVAMemCpyFast/stream")->Arg(3110400);

}  // namespace
