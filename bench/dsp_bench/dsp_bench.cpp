// Benchmark of the DSP cores: every kernel registered in the checking harness is timed on the
// running variant and on the plain class (or, where the plain class has no body, on the
// harness reference) with the same inputs, and the ratio is printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "bench/dsp_bench/ratio_reporter.h"
#include "tests/venc/dsp/check/harness.h"

namespace orx::dsp::check {
namespace {

std::string EntryName(const KernelEntry& entry) {
  std::string name = std::string(FamilyName(entry.family)) + "::" + entry.operation;
  if (*entry.label) name += std::string("[") + entry.label + "]";
  return name;
}

void RegisterHarnessBenchmarks(const Variant& running) {
  for (const KernelEntry& entry : RegisteredKernels()) {
    auto trial = std::shared_ptr<KernelTrial>(entry.make());
    auto subject = std::make_shared<CoreSet>(MakeVariantCores(running));
    auto reference = std::make_shared<CoreSet>(MakeReferenceCores());
    Rng rng(HarnessSeed());
    trial->Generate(rng);
    std::string name = EntryName(entry);
    benchmark::RegisterBenchmark((name + "/" + running.name).c_str(),
                                 [trial, subject](benchmark::State& state) {
                                   for (auto _ : state) trial->RunSubject(*subject);
                                 });
    bool plain = entry.plainBody;
    benchmark::RegisterBenchmark((name + "/reference").c_str(),
                                 [trial, reference, plain](benchmark::State& state) {
                                   for (auto _ : state) {
                                     if (plain) {
                                       trial->RunSubject(*reference);
                                     } else {
                                       trial->RunReference(*reference);
                                     }
                                   }
                                 });
  }
}

}  // namespace
}  // namespace orx::dsp::check

int main(int argc, char** argv) {
  using namespace orx::dsp::check;
  benchmark::Initialize(&argc, argv);
  Variant running = RunnableVariants().back();
  RegisterHarnessBenchmarks(running);
  RegisterChainBenchmarks(running);
  RegisterSse3Comparisons(running);
  RegisterVc1MotionCompensation(running);
  RatioReporter reporter(running.name);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
