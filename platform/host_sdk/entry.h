#pragma once
// The host's exporter interface as the plug-in uses it: the one entry point, its selectors and
// result codes, the standard parameters and the basic suite through which every other host
// service is acquired. Host and plug-in are both built against these declarations.
#include <cstddef>
#include <cstdint>

namespace orx::host_sdk {

// Selectors the host passes to the entry point.
enum ExporterSelector : int32_t {
  kSelStartup = 0,
  kSelShutdown = 1,
  kSelBeginInstance = 2,
  kSelGenerateDefaultParams = 3,
  kSelPostProcessParams = 4,
  kSelValidateParamChanged = 5,
  kSelGetParamSummary = 6,
  kSelParamButton = 7,
  kSelEndInstance = 8,
  kSelExport = 9,
  kSelQueryExportFileExtension = 10,
  kSelQueryOutputFileList = 11,
  kSelQueryStillSequence = 12,
  kSelQueryOutputSettings = 13,
};

// Answers of the entry point and of the host's services.
inline constexpr int32_t kResultOk = 0;
inline constexpr int32_t kResultOutOfMemory = 7;
inline constexpr int32_t kResultExporterFollows = 16;       // startup: call again
inline constexpr int32_t kResultRegistrationDone = 17;      // startup: no more exporters
inline constexpr int32_t kResultUnknownFileType = 99;
inline constexpr int32_t kResultUnsupportedSelector = -100;
inline constexpr int32_t kResultNoSequenceRender = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t kResultEngineNotCreated = static_cast<int32_t>(0x80030001u);
// The host's progress answers: the export is suspended (wait for resume) or cancelled.
inline constexpr int32_t kProgressSuspended = static_cast<int32_t>(0x8003000Fu);
inline constexpr int32_t kProgressCancel = 0x30001;
// A frame request the host answers with either of these stops the export loop.
inline constexpr int32_t kFrameRequestCancel = 0x30001;
inline constexpr int32_t kFrameRequestError = 1;

// Errors the host's own services answer when a request cannot be served.
inline constexpr int32_t kSuiteErrorUnknownSuite = -1;
inline constexpr int32_t kSuiteErrorBadArgument = -2;
inline constexpr int32_t kSuiteErrorNotFound = -3;

// The basic suite: every other host service is acquired and released through it by name and
// version.
struct BasicSuite {
  int32_t (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  int32_t (*ReleaseSuite)(const char* name, int32_t version);
  int32_t (*AllocateBlock)(size_t size, void** block);
  int32_t (*FreeBlock)(void* block);
};

// The host's legacy memory functions, reached through the standard parameters' third word
// (its second entry, its first function allocates).
struct HostMemoryFunctions {
  void* (*NewPtr)(size_t size);
  void (*DisposePtr)(void* block);
};
struct HostUtilityFunctions {
  const void* reserved;
  const HostMemoryFunctions* memory;
};

// Handed to the plug-in with every selector.
struct StandardParameters {
  int32_t interfaceVersion;
  const BasicSuite* (*GetBasicSuite)();
  const HostUtilityFunctions* utilities;
};

// The plug-in's one export.
using ExporterEntryFn = int32_t (*)(int32_t selector, StandardParameters* standard, void* record,
                                    void* unusedRecord);
inline constexpr const char kExporterEntryName[] = "xSDKExport";

// Four-character codes as the host writes them: the first character in the high byte.
constexpr uint32_t FourCc(const char (&text)[5]) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

}  // namespace orx::host_sdk
