#pragma once
// The transcode configuration's defaults and the small helpers that the parameter model and
// the properties dialog share with the export bridge.
#include <cstdint>

#include "media/tengine_config.h"

namespace orx::plugin {

struct ExporterInstance;

// Fills the configuration with defaults for a w x h source; 0.
int EncSession_InitConfig(QVATengineConfig* config, uint32_t width, uint32_t height);
// Resets the frame size, frame rates, aspect and target bit rate; 0.
int EncSession_SetFrameSize(QVATengineConfig* config, uint32_t width, uint32_t height);

// The usable processor count, also stored as the process-wide processor count.
int GetUsableProcessorCount();
// The same count without storing it (the capability probe keeps its own word).
int CountUsableProcessors();

// 1, always: the GPU request is decided by the runtime the encoder finds.
int GpuSupportAvailable();

// Sets the instance's frameRateNum and frameRateDen from its frameTicks.
void FrameRateFromTicks(ExporterInstance* instance, int64_t ticksPerSecond);

}  // namespace orx::plugin
