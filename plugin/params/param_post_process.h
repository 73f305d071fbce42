#pragma once
// Post-processing: display names, value lists, visibility, and the values kept in process-wide
// state, for the current file type and values.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::plugin {

inline constexpr int32_t kHelpTopicVideo = 1;
inline constexpr int32_t kHelpTopicAudio = 2;
inline constexpr int32_t kHelpTopicMultiplexer = 3;

// Selector 4; 0 always.
int32_t Exporter_PostProcessParams(host_sdk::StandardParameters* standard,
                                   host_sdk::ParamsRecord* record);

}  // namespace orx::plugin
