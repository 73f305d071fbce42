// QVAMemCpyFast against std::memcpy on the same 16-byte aligned buffers: one 1920x1080 4:2:0
// frame (3,110,400 bytes) and 64 KiB. Compare the bytes_per_second of the pairs.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

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
  size_t size;
  unsigned char* source;
  unsigned char* destination;
};

void BM_StdMemcpy(benchmark::State& state) {
  Buffers b(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::memcpy(b.destination, b.source, b.size);
    benchmark::DoNotOptimize(b.destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_QVAMemCpyFast(benchmark::State& state) {
  Buffers b(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    QVAMemCpyFast(b.destination, b.source, b.size);
    benchmark::DoNotOptimize(b.destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_StdMemcpy)->Arg(3110400)->Arg(65536);
BENCHMARK(BM_QVAMemCpyFast)->Arg(3110400)->Arg(65536);

}  // namespace
