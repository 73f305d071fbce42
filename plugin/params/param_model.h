#pragma once
// The exporter parameter set: groups and parameters with their defaults per file type, the
// default bit rate, the sequence capture and the once-per-process export defaults.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "platform/host_sdk/suites.h"

namespace orx::plugin {

struct ExporterInstance;

// Selector 3: creates the parameter set; 0 always.
int32_t Exporter_GenerateDefaultParams(host_sdk::StandardParameters* standard,
                                       host_sdk::ParamsRecord* record);

// The default average bit rate in Mbit/s.
double ComputeDefaultBitrate(uint32_t width, uint32_t height, double framesPerSecond);

// Once per process: configuration defaults, container choice 1 and audio codec choice 1.
void InitExportDefaults(uint32_t width, uint32_t height);

// The default frame duration for a sequence rate (0 without Time services).
int64_t DefaultFrameDuration(const host_sdk::TimeSuite* time, double framesPerSecond);

// Copies rows of width x bytesPerPixel bytes from a stride-spaced source into a packed
// destination, only when the rows are narrower than the stride.
void PackRows(const uint8_t* source, uint8_t* destination, int32_t stride, int32_t width,
              int32_t bytesPerPixel, int32_t rows);

// The instance's fields in their 32-bit layout (1546 bytes).
inline constexpr int kInstanceSettingsBytes = 1546;
void SerializeInstanceSettings(const ExporterInstance& instance, uint8_t* out);
// Writes them to the export's output file; 0, or 6 without a frame size.
int32_t WriteInstanceSettings(host_sdk::ExportRecord* record);

}  // namespace orx::plugin
