// BGRA to planar 4:2:0 on one 1920x1080 frame: the SSE2 kernel against the plain reference,
// both run here in the same process. Compare the two times (the SSE2 kernel should take at
// most half the reference's).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "vscaler/convert/bgra_to_i420.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

const std::vector<uint8_t>& SourceFrame() {
  static const std::vector<uint8_t> frame = [] {
    std::vector<uint8_t> f(static_cast<size_t>(4) * kWidth * kHeight);
    std::mt19937 rng(1);
    for (auto& b : f) b = static_cast<uint8_t>(rng());
    return f;
  }();
  return frame;
}

void RunKernel(benchmark::State& state, orx::convert::BgraToI420Kernel kernel) {
  const std::vector<uint8_t>& source = SourceFrame();
  std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 3 / 2);
  const auto planes = orx::convert::PackedI420Planes(out.data(), kWidth, kHeight);
  for (auto _ : state) {
    orx::convert::PreprocBgraToI420With(kernel, source.data(), 4 * kWidth, kWidth, kHeight, planes, 1);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BgraToI420_1080p_Plain(benchmark::State& state) { RunKernel(state, orx::convert::BgraToI420Plain); }
void BM_BgraToI420_1080p_Sse2(benchmark::State& state) { RunKernel(state, orx::convert::BgraToI420Sse2); }

BENCHMARK(BM_BgraToI420_1080p_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BgraToI420_1080p_Sse2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
