#pragma once
// Console output of Google Benchmark plus a closing table: for every pair of benchmarks named
// "<kernel>/<variant>" and "<kernel>/reference", nanoseconds per call of both and the ratio.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"

namespace orx::dsp::check {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::string variant) : variant_(std::move(variant)) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  void PrintRatios() const;

 private:
  std::string variant_;
  std::map<std::string, double> nanoseconds_;
};

// The whole 8x8 chain of one macroblock (chain_bench.cpp).
void RegisterChainBenchmarks(const Variant& running);

// XMM3 against XMM2 (as the reference) on Sad16 and the motion-compensation copy with
// misaligned references (sse3_bench.cpp); nothing when XMM3 is not the running variant.
void RegisterSse3Comparisons(const Variant& running);

// The VC-1 quarter-sample motion-compensation driver on one macroblock at the nine positions
// with two non-zero fractions (vc1_mc_bench.cpp).
void RegisterVc1MotionCompensation(const Variant& running);

}  // namespace orx::dsp::check
