#pragma once
// The host's Export Progress suite: a progress bar on standard error (percent, frames per
// second, time left), and the host's answers: once cancel is asked for (Ctrl-C, or the export
// has requested the frame given by cancelAtFrame) the next report answers 0x30001; once the
// frame suspendAtFrame is requested one report answers 0x8003000F and the wait for resume
// answers 0.
#include <cstdint>
#include <vector>

#include "platform/host_sdk/suites.h"

namespace orx::host {

struct ProgressSettings {
  int64_t totalFrames = 0;     // for the frame rate shown
  int64_t cancelAtFrame = -1;  // -1: never
  int64_t suspendAtFrame = -1;
  bool showBar = true;
};

struct ProgressRecord {
  std::vector<float> reports;  // every fraction reported, in order
  int suspends = 0;            // reports answered with "suspended"
  int resumes = 0;
  bool cancelled = false;  // a report answered with cancel
};

void SetProgressSettings(const ProgressSettings& settings);
// Ctrl-C: the next report answers cancel (safe in a signal handler).
void RequestCancel();
ProgressRecord CurrentProgressRecord();
// Ends the bar's line (at 100 % after a complete export).
void FinishProgressBar(bool complete);

const host_sdk::ExportProgressSuite* ExportProgressSuiteTable();

}  // namespace orx::host
