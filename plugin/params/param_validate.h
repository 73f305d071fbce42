#pragma once
// Validation: the reaction to one changed parameter, keeping the lists and the coupled values
// (frame size, aspect, frame rate, bit rate) consistent.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::plugin {

// Selector 5; 0, or 7 when the instance has no Export Param services.
int32_t Exporter_ValidateParamChanged(host_sdk::StandardParameters* standard,
                                      host_sdk::ValidateParamRecord* record);

}  // namespace orx::plugin
