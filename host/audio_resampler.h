#pragma once
// The host's sample-rate conversion: a source clip at another rate than the export's is
// converted whole, with the high-quality setting of the system's resampling library, before
// its samples are handed to the exporter.
#include <string>

#include "support/audio_clip.h"

namespace orx::host {

// The clip at the given rate (same channels). False with error set when it cannot be converted.
bool ResampleClip(const support::AudioClip& clip, int rate, support::AudioClip& out,
                  std::string& error);

}  // namespace orx::host
