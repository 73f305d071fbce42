#pragma once
// What keeps an export in the program-stream container from being a DVD-compliant stream: the
// host warns (once, naming each problem) and still writes what the settings ask for.
#include <cstdint>
#include <string>

namespace orx::host {

struct DvdExportSettings {
  int32_t width = 0;
  int32_t height = 0;
  int64_t ticksPerFrame = 0;
  int64_t ticksPerSecond = 0;
  double audioSampleRate = 0;  // 0: no audio
};

// "" when the settings make a DVD-compliant stream; else the problems, separated by "; ".
std::string DvdComplianceProblems(const DvdExportSettings& settings);

}  // namespace orx::host
