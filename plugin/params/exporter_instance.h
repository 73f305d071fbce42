#pragma once
// One record per host exporter instance: the host services it acquired and the copies of the
// exporter parameters that the handlers keep as the user edits and an export reloads.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "platform/host_sdk/suites.h"

namespace orx::plugin {

inline constexpr char kInstanceTag[13] = "ORX ENCODER ";

struct ExporterInstance {
  char tag[13];
  uint32_t audioExported;
  uint32_t videoExported;
  uint32_t audioCodec;
  uint32_t videoCodec;
  int32_t qualityIndex;
  uint32_t tvStandard;
  uint32_t width;
  uint32_t height;
  uint32_t frameRateNum;
  int64_t frameTicks;
  double averageKbps;
  uint32_t frameRateDen;
  uint32_t fieldType;
  uint32_t pixelAspectNum;
  uint32_t pixelAspectDen;
  uint32_t displayAspectNum;
  uint32_t displayAspectDen;
  uint32_t keyframeSpacing;
  uint32_t subkeySpacing;
  uint32_t scaler;
  uint32_t encoderCount;
  uint32_t gpuCount;
  char16_t logFileName[256];
  uint32_t audioChannelType;
  double audioSampleRate;
  uint32_t audioBitRate;
  // Host suites, acquired at creation in this order.
  const host_sdk::ExportParamSuite* paramSuite;
  const host_sdk::ExportFileSuite* fileSuite;
  const host_sdk::ExportInfoSuite* infoSuite;
  const host_sdk::PPixSuite* ppixSuite;
  const host_sdk::TimeSuite* timeSuite;
  const host_sdk::MemoryManagerSuite* memorySuite;
  const host_sdk::WindowSuite* windowSuite;
  uint32_t videoRendererId;
  uint32_t audioRendererId;
};

// The instance a selector's record carries (null when none).
inline ExporterInstance* InstanceOf(void* privateData) {
  return static_cast<ExporterInstance*>(privateData);
}

// Selector 2: creates the instance and acquires its suites; 0, or 7 without memory.
int32_t Exporter_BeginInstance(host_sdk::StandardParameters* standard,
                               host_sdk::InstanceRecord* record);
// Selector 8: releases the suites and frees the instance; the last release's answer.
int32_t Exporter_EndInstance(host_sdk::StandardParameters* standard,
                             host_sdk::InstanceRecord* record);
// Selector 10: the output file's extension by file type and container; 0, or 99.
int32_t Exporter_QueryExportFileExtension(host_sdk::StandardParameters* standard,
                                          host_sdk::FileExtensionRecord* record);

// The basic suite of the standard parameters (null when the host gives none).
const host_sdk::BasicSuite* BasicSuiteOf(const host_sdk::StandardParameters* standard);

}  // namespace orx::plugin
