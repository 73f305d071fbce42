// XMM3 against XMM2 where the SSE3 class has its own bodies for loads across cache lines:
// Sad16 and the motion-compensation copy, with references at the misaligned offsets 1-15. The
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

struct Planes {
  alignas(64) uint8_t reference[64 * 48];
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
                                   for (int offset = 1; offset < 16; ++offset) {
                                     benchmark::DoNotOptimize(
                                         core->Sad16(planes->reference + 8 * 64 + 16 + offset));
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
                                   for (int offset = 1; offset < 16; ++offset) {
                                     core->lumaKernels[0](planes->reference + 8 * 64 + 16 + offset,
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
