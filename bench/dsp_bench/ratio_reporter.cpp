#include "bench/dsp_bench/ratio_reporter.h"

#include <cstdio>

namespace orx::dsp::check {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
      nanoseconds_[run.benchmark_name()] =
          run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
          benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::PrintRatios() const {
  std::printf("\n%-56s %12s %12s %8s\n", "kernel", (variant_ + " ns").c_str(), "reference ns",
              "ratio");
  const std::string suffix = "/" + variant_;
  for (const auto& [name, ns] : nanoseconds_) {
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    std::string kernel = name.substr(0, name.size() - suffix.size());
    auto reference = nanoseconds_.find(kernel + "/reference");
    if (reference == nanoseconds_.end()) continue;
    std::printf("%-56s %12.2f %12.2f %7.2fx\n", kernel.c_str(), ns, reference->second,
                reference->second / ns);
  }
}

}  // namespace orx::dsp::check
