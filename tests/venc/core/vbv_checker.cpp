#include "tests/venc/core/vbv_checker.h"

#include <algorithm>
#include <cmath>

namespace orx::venc::test {

VbvReport CheckVbvAnnexC(const std::vector<VbvPicture>& pictures, double bitRate,
                         int64_t vbvSizeBits, double toleranceBits) {
  VbvReport report;
  int64_t removedBits = 0;  // everything up to the end of the previous picture's data
  for (size_t n = 0; n < pictures.size(); ++n) {
    const VbvPicture& p = pictures[n];
    const double decodeTime = p.startCodeEndBits / bitRate + p.vbvDelay / 90000.0;
    const double arrivedBits = decodeTime * bitRate;
    if (p.dataEndBits > arrivedBits + toleranceBits) {
      ++report.underflows;
      if (report.firstProblem.empty()) {
        report.firstProblem = "underflow at picture " + std::to_string(n) + ": " +
                              std::to_string(p.dataEndBits - arrivedBits) + " bits late";
      }
    }
    const double occupancy = arrivedBits - removedBits;
    if (occupancy > vbvSizeBits + toleranceBits) {
      ++report.overflows;
      if (report.firstProblem.empty()) {
        report.firstProblem = "overflow at picture " + std::to_string(n) + ": " +
                              std::to_string(occupancy) + " bits held";
      }
    }
    removedBits = p.dataEndBits;
  }
  return report;
}

HrdReport CheckHrdTiming(const std::vector<HrdAccessUnit>& units, double tick, int frameTicks) {
  HrdReport report;
  auto problem = [&report](const std::string& text) {
    if (report.problems++ == 0) report.firstProblem = text;
  };
  const double frame = tick * frameTicks;
  double bufferingPeriodRemoval = 0;
  for (size_t n = 0; n < units.size(); ++n) {
    const HrdAccessUnit& u = units[n];
    double removal;
    if (n == 0) {
      if (!u.bufferingPeriod) problem("the first access unit has no buffering period");
      if (u.initialCpbRemovalDelay < 1) problem("initial_cpb_removal_delay below 1");
      removal = u.initialCpbRemovalDelay / 90000.0;
    } else {
      removal = bufferingPeriodRemoval + tick * static_cast<double>(u.cpbRemovalDelay);
      if (std::abs(removal - report.removalTimes.back() - frame) > 1e-9) {
        problem("access unit " + std::to_string(n) + " is removed " +
                std::to_string((removal - report.removalTimes.back()) / tick) +
                " ticks after the one before");
      }
    }
    if (u.bufferingPeriod) bufferingPeriodRemoval = removal;
    const double output = removal + tick * static_cast<double>(u.dpbOutputDelay);
    report.removalTimes.push_back(removal);
    report.outputTimes.push_back(output);
  }
  // Output order and spacing.
  std::vector<size_t> byDisplay(units.size());
  for (size_t n = 0; n < units.size(); ++n) byDisplay[n] = n;
  std::sort(byDisplay.begin(), byDisplay.end(),
            [&units](size_t a, size_t b) { return units[a].displayIndex < units[b].displayIndex; });
  for (size_t k = 1; k < byDisplay.size(); ++k) {
    const double gap = report.outputTimes[byDisplay[k]] - report.outputTimes[byDisplay[k - 1]];
    if (std::abs(gap - frame) > 1e-9) {
      problem("display pictures " + std::to_string(k - 1) + " and " + std::to_string(k) +
              " are output " + std::to_string(gap / tick) + " ticks apart");
    }
  }
  return report;
}

}  // namespace orx::venc::test
