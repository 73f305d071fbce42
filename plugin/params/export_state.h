#pragma once
// The plug-in's process-wide export state: the transcode configuration that the parameter
// handlers and every export fill, the choice words an export pass reads, the processor count
// and the captured sequence. One export runs at a time per process; the host calls the
// parameter selectors one at a time.
#include <cstdint>

#include "media/tengine_config.h"
#include "plugin/params/export_choices.h"

namespace orx::plugin {

struct SequenceInfo {
  uint32_t width;
  uint32_t height;
  uint32_t pixelAspectNum;
  uint32_t pixelAspectDen;
  uint32_t captured;
};

struct ExportState {
  QVATengineConfig config;
  ContainerChoice containerChoice;
  AudioCodecChoice audioCodecChoice;
  VideoCodecChoice videoCodecChoice;
  uint32_t scalingChoice;
  uint32_t gpuCount;
  uint32_t processorCount;
  SequenceInfo sequence;
  bool defaultsInitialised;  // InitExportDefaults ran
};

ExportState& GlobalExportState();

// Tests start each case from the state a freshly loaded library has.
void ResetExportStateForTest();

}  // namespace orx::plugin
