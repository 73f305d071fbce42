#pragma once
// Startup: the processor gate and the registration of the exporters, one per call.
#include <cstdint>

#include "platform/host_sdk/records.h"

namespace orx::plugin {

// 16 when an exporter was registered and the host is to call again, 17 when registration is
// finished (also when nothing is registered).
int32_t Exporter_Startup(host_sdk::ExporterInfoRecord* info);

// Tests start each case as a freshly loaded library.
void ResetStartupStateForTest();

}  // namespace orx::plugin
