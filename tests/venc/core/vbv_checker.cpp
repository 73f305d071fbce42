#include "tests/venc/core/vbv_checker.h"

#include <algorithm>

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

}  // namespace orx::venc::test
