#pragma once
// Validation: the reaction to one changed parameter, keeping the lists and the coupled values
// (frame size, aspect, frame rate, bit rate) consistent.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::plugin {

// The answer to an edit that no export could be made from (an odd frame size, a frame rate of
// no length or above 60 fps, a sample rate the audio encoder cannot code): the value is put
// back and the reason written to the log.
inline constexpr int32_t kResultValueRefused = 1;
// The fastest frame rate the encoder codes.
inline constexpr int64_t kMaxFramesPerSecond = 60;

// Selector 5; 0, 7 when the instance has no Export Param services, or kResultValueRefused.
int32_t Exporter_ValidateParamChanged(host_sdk::StandardParameters* standard,
                                      host_sdk::ValidateParamRecord* record);

}  // namespace orx::plugin
