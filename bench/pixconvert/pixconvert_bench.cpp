// BGRA to planar 4:2:0 on one 1920x1080 frame: the SSE2 kernel against the plain reference,
// both run here in the same process. Compare the two times (the SSE2 kernel should take at
// most half the reference's). Also the scaler's nearest-neighbour resize of one 1920x1080
// planar frame to 720x480, and the whole host-frame road (BGRA 1080p converted, then resized).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "media/media_codes.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/video_scaler.h"

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

void RunScaler(benchmark::State& state, uint32_t inputSubtype) {
  using namespace orx::vscaler;
  VideoMediaType in{}, out{};
  in.subtype = inputSubtype;
  in.width = in.secondWidth = kWidth;
  in.height = in.secondHeight = kHeight;
  out.subtype = QVA_MSUBTYPE_YUV420;
  out.width = out.secondWidth = 720;
  out.height = out.secondHeight = 480;
  VideoScaler* scaler = Scaler_Create();
  Scaler_Setup(scaler, kScaleModeResize, &in, &out);
  const std::vector<uint8_t>& source = SourceFrame();  // 4 bytes a pixel: enough for either input
  std::vector<uint8_t> output(PlanarBytes(720 * 480));
  uint32_t length = 0;
  for (auto _ : state) {
    Scaler_ScaleFrame(scaler, source.data(), static_cast<uint32_t>(source.size()), output.data(),
                      static_cast<uint32_t>(output.size()), &length);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  Scaler_Destroy(scaler);
}

void BM_Resize_1080p_To_720x480(benchmark::State& state) { RunScaler(state, QVA_MSUBTYPE_YUV420); }
void BM_BgraConvertAndResize_1080p_To_720x480(benchmark::State& state) { RunScaler(state, QVA_MSUBTYPE_BGRA); }

BENCHMARK(BM_Resize_1080p_To_720x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BgraConvertAndResize_1080p_To_720x480)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
