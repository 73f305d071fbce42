#pragma once
// A constant-rate VBV checker written from ISO/IEC 13818-2 Annex C: bits enter the buffer at
// the bit rate from time 0; picture n is decoded vbv_delay / 90000 s after the last byte of its
// picture start code entered, when all its data (with the headers before it) leaves at once.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::venc::test {

struct VbvPicture {
  int64_t startCodeEndBits;  // stream position just after the picture start code
  int64_t dataEndBits;  // stream position where the picture's data ends
  int vbvDelay;  // 90 kHz periods
};

struct VbvReport {
  int underflows = 0;
  int overflows = 0;
  std::string firstProblem;
};

// tolerance: bits allowed for the rounding of vbv_delay to whole 90 kHz periods.
VbvReport CheckVbvAnnexC(const std::vector<VbvPicture>& pictures, double bitRate,
                         int64_t vbvSizeBits, double toleranceBits);

}  // namespace orx::venc::test
