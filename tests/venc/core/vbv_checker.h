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

// The H.264 hypothetical reference decoder's timing, from its timing messages: access unit n
// leaves the coded picture buffer at t_r(n) = t_r(n_b) + t_c x cpb_removal_delay(n), n_b being
// the access unit of the previous buffering period (the first one leaves after its
// initial_cpb_removal_delay), and is output at t_o(n) = t_r(n) + t_c x dpb_output_delay(n).
struct HrdAccessUnit {
  bool bufferingPeriod = false;
  int64_t initialCpbRemovalDelay = 0;  // 90 kHz periods (buffering-period units only)
  int64_t cpbRemovalDelay = 0;  // ticks
  int64_t dpbOutputDelay = 0;  // ticks
  int displayIndex = 0;  // the picture's place in display order
};

struct HrdReport {
  std::vector<double> removalTimes;  // seconds
  std::vector<double> outputTimes;
  int problems = 0;
  std::string firstProblem;
};

// tick: num_units_in_tick / time_scale in seconds. Checks that removal comes frameTicks ticks
// after the previous access unit, that no picture is output before it is removed, and (fixed
// frame rate) that the pictures are output in display order exactly frameTicks ticks apart.
HrdReport CheckHrdTiming(const std::vector<HrdAccessUnit>& units, double tick, int frameTicks);

}  // namespace orx::venc::test
