#pragma once
// The records the host hands the exporter with each selector.
#include <cstdint>

namespace orx::host_sdk {

inline constexpr int kTextChars = 256;  // UTF-16 text fields, terminator included
inline constexpr int kIdentifierChars = 256;

// Startup: the plug-in describes one exporter per call.
struct ExporterInfoRecord {
  uint32_t fileType;
  char16_t fileTypeName[kTextChars];
  char16_t defaultExtension[kTextChars];  // without a dot
  uint32_t classId;
  int32_t exportRequestIndex;
  int32_t wantsNoProgressBar;
  int32_t hideInUi;
  int32_t doesNotSupportAudioOnly;
  int32_t canExportVideo;
  int32_t canExportAudio;
  int32_t interfaceVersion;
};

// Begin and end instance. Every later record starts with the same first words.
struct InstanceRecord {
  uint32_t exporterId;
  uint32_t fileType;
  void* privateData;
};

struct FileExtensionRecord {
  uint32_t exporterId;
  void* privateData;
  uint32_t fileType;
  char16_t extension[kTextChars];
};

// Default parameters and post-processing.
struct ParamsRecord {
  uint32_t exporterId;
  void* privateData;
  uint32_t fileType;
};

struct ValidateParamRecord {
  uint32_t exporterId;
  void* privateData;
  uint32_t fileType;
  int32_t multiGroupIndex;
  char changedIdentifier[kIdentifierChars];
};

struct ParamSummaryRecord {
  uint32_t exporterId;
  void* privateData;
  int32_t exportAudio;
  int32_t exportVideo;
  char16_t videoSummary[kTextChars];
  char16_t audioSummary[kTextChars];
  char16_t bitrateSummary[kTextChars];
};

struct ParamButtonRecord {
  uint32_t exporterId;
  void* privateData;
  int32_t multiGroupIndex;
  char buttonIdentifier[kIdentifierChars];
};

struct OutputSettingsRecord {
  // In.
  uint32_t exporterId;
  void* privateData;
  uint32_t fileType;
  // Out.
  int32_t width;
  int32_t height;
  int64_t ticksPerFrame;
  int32_t pixelAspectNum;
  int32_t pixelAspectDen;
  int32_t fieldOrder;
  double audioSampleRate;
  int32_t audioSampleType;
  int32_t audioChannelType;
  int32_t videoBytesPerSecond;
};

// The host's output file, reached only through the Export File suite.
using FileObject = int32_t;

struct ExportRecord {
  uint32_t exporterId;
  void* privateData;
  uint32_t fileType;
  int32_t exportAudio;
  int32_t exportVideo;
  int64_t startTime;  // host ticks
  int64_t endTime;
  FileObject fileObject;
};

}  // namespace orx::host_sdk
