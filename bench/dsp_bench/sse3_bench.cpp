// XMM3 against XMM2 where the SSE3 class has its own bodies for loads across cache lines:
// Sad16 and the motion-compensation copy, with references at every misaligned offset of a
// 64-byte line (1-63 but the multiples of 16), so that a quarter of the loads split lines. The
// pair is reported as "<kernel>/XMM3" and "<kernel>/reference" with the XMM2 class as the
// reference, so the ratio column is XMM2 time / XMM3 time (0.95 or more: XMM3 at most 5%
// slower).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "bench/dsp_bench/ratio_reporter.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/motion_estimation_core_variants.h"

namespace orx::dsp::check {
namespace {

// The offsets of one pass: every offset in a 64-byte line that is not a multiple of 16.
constexpr int kMisaligned[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 17,
                               18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 33, 34,
                               35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 49, 50, 51,
                               52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

struct Planes {
  alignas(64) uint8_t reference[64 * 48];  // rows 8-24 are read, up to 79 bytes in
  alignas(64) uint8_t current[64 * 16];
  alignas(16) uint8_t prediction[256];
  Planes() {
    Rng rng(HarnessSeed());
    for (auto& v : reference) v = static_cast<uint8_t>(rng.Uniform(0, 255));
    for (auto& v : current) v = static_cast<uint8_t>(rng.Uniform(0, 255));
  }
};

void RegisterSad16(const std::string& label, std::shared_ptr<CMotionEstimationCore> core,
                   std::shared_ptr<Planes> planes) {
  core->SetBlock(planes->current, 64);
  benchmark::RegisterBenchmark(("XMM3 vs XMM2: Sad16, misaligned/" + label).c_str(),
                               [core, planes](benchmark::State& state) {
                                 for (auto _ : state) {
                                   for (int offset : kMisaligned) {
                                     benchmark::DoNotOptimize(
                                         core->Sad16(planes->reference + 8 * 64 + offset));
                                   }
                                 }
                               });
}

void RegisterCopy(const std::string& label, std::shared_ptr<CMBCore> core,
                  std::shared_ptr<Planes> planes) {
  core->InitMcTables();
  benchmark::RegisterBenchmark(("XMM3 vs XMM2: MC copy, misaligned/" + label).c_str(),
                               [core, planes](benchmark::State& state) {
                                 for (auto _ : state) {
                                   for (int offset : kMisaligned) {
                                     core->lumaKernels[0](planes->reference + 8 * 64 + offset,
                                                          planes->prediction, 64, 16, 16);
                                   }
                                   benchmark::ClobberMemory();
                                 }
                               });
}

}  // namespace

void RegisterSse3Comparisons(const Variant& running) {
  if (std::string(running.name) != "XMM3") return;
  auto planes = std::make_shared<Planes>();
  // XMM2 first, so that XMM3 never profits from a processor still warming up.
  RegisterSad16("reference", std::make_shared<CMotionEstimationCoreXMM2>(), planes);
  RegisterSad16(running.name, std::make_shared<CMotionEstimationCoreXMM3>(), planes);
  RegisterCopy("reference", std::make_shared<CMBCoreXMM2>(), planes);
  RegisterCopy(running.name, std::make_shared<CMBCoreXMM3>(), planes);
}

}  // namespace orx::dsp::check
