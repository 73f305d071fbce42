#include "host/dvd_compliance.h"

#include <cstdlib>

namespace orx::host {
namespace {

// The frame sizes of a DVD's video, by its line count's system.
bool IsNtscSize(int32_t w, int32_t h) {
  return (h == 480 && (w == 720 || w == 704 || w == 352)) || (w == 352 && h == 240);
}
bool IsPalSize(int32_t w, int32_t h) {
  return (h == 576 && (w == 720 || w == 704 || w == 352)) || (w == 352 && h == 288);
}

// Whether the frame duration is the given rate's, to within a tick per frame.
bool IsRate(const DvdExportSettings& s, int64_t num, int64_t den) {
  return std::llabs(s.ticksPerFrame * num - s.ticksPerSecond * den) <= num;
}

}  // namespace

std::string DvdComplianceProblems(const DvdExportSettings& s) {
  std::string problems;
  auto add = [&problems](const std::string& text) {
    problems += (problems.empty() ? "" : "; ") + text;
  };
  const bool ntsc = IsNtscSize(s.width, s.height), pal = IsPalSize(s.width, s.height);
  if (!ntsc && !pal) {
    add("the frame size " + std::to_string(s.width) + "x" + std::to_string(s.height) +
        " is no DVD size (720, 704 or 352 x 480 or 576, 352x240, 352x288)");
  }
  const bool ntscRate = IsRate(s, 30000, 1001) || IsRate(s, 24000, 1001);
  const bool palRate = IsRate(s, 25, 1);
  if (s.ticksPerSecond <= 0 || s.ticksPerFrame <= 0 || (!ntscRate && !palRate)) {
    add("the frame rate is not 25, 29.97 or 23.976 (with pulldown) frames per second");
  } else if ((ntsc && !ntscRate) || (pal && !palRate)) {
    add("the frame rate does not belong to the frame size's system (480 lines: 29.97 or "
        "23.976; 576 lines: 25)");
  }
  if (s.audioSampleRate != 0 && s.audioSampleRate != 48000.0)
    add("the audio is not at 48 kHz");
  return problems;
}

}  // namespace orx::host
