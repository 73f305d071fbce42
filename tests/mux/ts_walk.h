#pragma once
// An independent walk over a transport stream: PCR spacing, PAT/PMT repetition, continuity
// counters, reserved bits and PES lengths.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::mux::test {

struct TsWalk {
  size_t packets = 0;
  std::vector<std::string> faults;   // everything found wrong, one line each
  double maxPcrGapMs = 0;
  double maxTableGapMs = 0;           // between PATs, on the PCR clock
  size_t pcrCount = 0;
  size_t patCount = 0;
  size_t pmtCount = 0;
  uint32_t pmtPcrPid = 0;
};

TsWalk WalkTransportStream(const std::vector<uint8_t>& bytes);

}  // namespace orx::mux::test
