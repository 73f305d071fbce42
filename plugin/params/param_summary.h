#pragma once
// The three summary lines the host shows under the export settings.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::plugin {

// Selector 6; 0 always.
int32_t Exporter_GetParamSummary(host_sdk::StandardParameters* standard,
                                 host_sdk::ParamSummaryRecord* record);

// The aspect name of a frame size and display ratio.
const char* AspectName(int32_t width, int32_t height, int32_t num, int32_t den);

}  // namespace orx::plugin
