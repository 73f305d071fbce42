#pragma once
// The host's Sequence Audio suite (version 1): audio renderers that hand out the source audio
// (a WAV file, resampled linearly to the renderer's rate, or a tone) as planar 32-bit floats,
// in blocks of at most a quarter second, from the export's start on.
#include <cstdint>

#include "platform/host_sdk/suites.h"
#include "support/audio_clip.h"

namespace orx::host {

struct AudioSettings {
  const support::AudioClip* clip = nullptr;  // else the tone
  double toneHz = 1000.0;
  int64_t ticksPerSecond = 1;
};

struct AudioStatistics {
  int renderersMade = 0;
  int renderersReleased = 0;
  int64_t framesRendered = 0;
  int refusedBlocks = 0;  // requests larger than the maximum block
};

void SetAudioSettings(const AudioSettings& settings);
AudioStatistics CurrentAudioStatistics();
const host_sdk::SequenceAudioSuite* SequenceAudioSuiteTable();

}  // namespace orx::host
