#pragma once
// The export's reload of every exporter parameter into the instance and the process-wide
// transcode configuration.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::plugin {

// Answers 0 always, also when the instance or the host's suites are missing.
int32_t Exporter_LoadExportSettings(host_sdk::ExportRecord* record,
                                    host_sdk::StandardParameters* standard);

}  // namespace orx::plugin
