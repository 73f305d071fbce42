#pragma once
// The host's service suites as the exporter uses them. Each is acquired through the basic suite
// under its exact name and version (the host keys them by both). Every function answers 0 on
// success unless its comment says otherwise.
#include <cstdint>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::host_sdk {

struct SuiteName {
  const char* name;
  int32_t version;
};
inline constexpr SuiteName kExportParamSuite{"MediaCore Export Param Suite", 1};
inline constexpr SuiteName kExportFileSuite{"MediaCore Export File Suite", 1};
inline constexpr SuiteName kExportInfoSuite{"MediaCore Export Info Suite", 1};
inline constexpr SuiteName kExportProgressSuite{"MediaCore Export Progress Suite", 1};
inline constexpr SuiteName kSequenceRenderSuite{"MediaCore Sequence Render Suite", 3};
inline constexpr SuiteName kSequenceAudioSuite{"MediaCore Sequence Audio Suite", 1};
inline constexpr SuiteName kPPixSuite{"Premiere PPix Suite", 1};
inline constexpr SuiteName kTimeSuite{"Premiere Time Suite", 1};
inline constexpr SuiteName kMemoryManagerSuite{"Premiere Memory Manager Suite", 2};
inline constexpr SuiteName kWindowSuite{"Premiere Window Suite", 1};
inline constexpr SuiteName kErrorSuite{"Premiere Error Suite", 1};

// ---- Export Param ----------------------------------------------------------------------------

enum ParamType : int32_t {
  kParamInt = 2,
  kParamFloat = 3,     // double
  kParamTime = 4,      // signed 64-bit ticks per frame
  kParamString = 6,    // UTF-16, 256 characters
  kParamButton = 7,
  kParamRatio = 11,
};

struct ParamRatio {
  int32_t numerator;
  int32_t denominator;
};

// A typed value; the parameter's type says which field holds it.
struct ParamValue {
  int32_t intValue;
  double floatValue;
  int64_t timeValue;
  ParamRatio ratioValue;
  char16_t text[kTextChars];
};

// A parameter as the plug-in creates it.
struct ParamDescription {
  char identifier[kIdentifierChars];
  int32_t type;
  int32_t flags;
  int32_t hasRange;  // 0: the parameter has no range of its own
  ParamValue minimum;
  ParamValue maximum;
  ParamValue defaultValue;
  int32_t disabled;
  int32_t hidden;
  int32_t arbDataSize;  // private data room (buttons)
};

// The value record read and written after creation: value, range and the two flags.
struct ParamRecord {
  int32_t type;  // filled by the host on reading
  ParamValue value;
  int32_t hasRange;
  ParamValue minimum;
  ParamValue maximum;
  int32_t disabled;
  int32_t hidden;
};

struct ExportParamSuite {
  int32_t (*AddMultiGroup)(uint32_t exporterId, int32_t* index);
  int32_t (*AddParamGroup)(uint32_t exporterId, int32_t multiGroupIndex, const char* parentGroupId,
                           const char* groupId, const char16_t* name, int32_t hidden,
                           int32_t disabled, int32_t flags);
  int32_t (*AddParam)(uint32_t exporterId, int32_t multiGroupIndex, const char* groupId,
                      const ParamDescription* description);
  int32_t (*SetParamsVersion)(uint32_t exporterId, int32_t version);
  int32_t (*SetParamName)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier,
                          const char16_t* name);
  int32_t (*GetParamValue)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier,
                           ParamRecord* record);
  int32_t (*ChangeParam)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier,
                         const ParamRecord* record);
  int32_t (*ClearValueList)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier);
  int32_t (*AddValueListEntry)(uint32_t exporterId, int32_t multiGroupIndex,
                               const char* identifier, const ParamValue* value,
                               const char16_t* name);
  int32_t (*GetValueListCount)(uint32_t exporterId, int32_t multiGroupIndex,
                               const char* identifier, int32_t* count);
  int32_t (*GetValueListEntry)(uint32_t exporterId, int32_t multiGroupIndex,
                               const char* identifier, int32_t index, ParamValue* value,
                               char16_t* name);
  // With data null, writes the size of the private data only.
  int32_t (*GetArbData)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier,
                        int32_t* size, void* data);
  int32_t (*SetArbData)(uint32_t exporterId, int32_t multiGroupIndex, const char* identifier,
                        int32_t size, const void* data);
};

// ---- Export Info -----------------------------------------------------------------------------

enum SourceInfoKey : int32_t {
  kSourceVideoWidth = 1,
  kSourceVideoHeight = 2,
  kSourceVideoFrameRate = 3,  // double, frames per second
  kSourcePixelAspectNum = 4,
  kSourcePixelAspectDen = 5,
  kSourceAudioSampleRate = 6,  // double, Hz
};

struct SourceInfoValue {
  int32_t intValue;
  double floatValue;
};

struct ExportInfoSuite {
  int32_t (*GetSourceInfo)(uint32_t exporterId, int32_t key, SourceInfoValue* value);
};

// ---- Time ------------------------------------------------------------------------------------

enum VideoRateCode : int32_t {
  kRate23976 = 1,
  kRate2997 = 4,
  kRate5994 = 7,
};

struct TimeSuite {
  int32_t (*GetTicksPerSecond)(int64_t* ticks);
  int32_t (*GetTicksPerVideoFrame)(int32_t rateCode, int64_t* ticks);
};

// ---- Memory Manager, Window, Error -----------------------------------------------------------

struct MemoryManagerSuite {
  int32_t (*ReserveMemory)(uint32_t exporterId, uint32_t bytes);
  void* (*NewPtr)(uint32_t bytes);
  void (*DisposePtr)(void* block);
};

struct WindowSuite {
  void* (*GetMainWindow)();
};

struct ErrorSuite {
  int32_t (*ReportEvent)(int32_t eventType, const char16_t* title, const char16_t* description);
};

// ---- Export File -----------------------------------------------------------------------------

struct ExportFileSuite {
  int32_t (*Open)(FileObject file);
  int32_t (*Close)(FileObject file);
  // length: characters of the path, terminator excluded.
  int32_t (*GetPlatformPath)(FileObject file, int32_t* length, char16_t* path);
  // mode 0: from the start of the file.
  int32_t (*Seek)(FileObject file, int64_t position, int64_t* newPosition, int32_t mode);
  // A negative answer is a failure.
  int32_t (*Write)(FileObject file, const void* data, int32_t bytes);
};

// ---- Export Progress -------------------------------------------------------------------------

struct ExportProgressSuite {
  // Answers 0, kProgressSuspended or another value that stops the export.
  int32_t (*UpdateProgress)(uint32_t exporterId, float fraction);
  int32_t (*WaitForResume)(uint32_t exporterId);
};

// ---- Sequence Render -------------------------------------------------------------------------

struct HostFrame;  // a rendered frame, owned by the host until disposed of
using FrameHandle = HostFrame*;

// Host pixel formats: each word's bytes in memory spell the name.
inline constexpr uint32_t kPixelFormatYv12 = 0x32317679;  // 'yv12'
inline constexpr uint32_t kPixelFormatYvi2 = 0x32697679;  // 'yvi2'
inline constexpr uint32_t kPixelFormatVUya = 0x61795556;  // 'VUya'
inline constexpr uint32_t kPixelFormatVuya = 0x61797576;  // 'vuya'
inline constexpr uint32_t kPixelFormatYuy2 = 0x32797579;  // 'yuy2'
inline constexpr uint32_t kPixelFormatBgra = 0x61726762;  // 'bgra'

// The eleven words of a frame render request.
struct RenderParams {
  const uint32_t* pixelFormats;  // in order of preference
  int32_t pixelFormatCount;
  int32_t width;
  int32_t height;
  int32_t pixelAspectNum;
  int32_t pixelAspectDen;
  int32_t renderQuality;
  int32_t fieldType;
  int32_t deinterlace;
  int32_t deinterlaceQuality;
  int32_t compositeOnBlack;
};

// The record the plug-in passes to the frame-info query (a 4-byte block).
struct FrameInfo {
  int32_t repeatCount;
};

// The completion callback's last argument: clearing hostDisposesFrame keeps the frame alive
// for the plug-in, which disposes of it itself.
struct FrameCompletionReturn {
  int32_t reserved;
  int32_t hostDisposesFrame;
};

using FrameCompletionFn = void (*)(uint32_t requestId, void* reference, int64_t time,
                                   FrameHandle frame, FrameCompletionReturn* frameReturn);

struct SequenceRenderSuite {
  int32_t (*MakeVideoRenderer)(uint32_t exporterId, uint32_t* rendererId, int64_t ticksPerFrame);
  int32_t (*ReleaseVideoRenderer)(uint32_t exporterId, uint32_t rendererId);
  int32_t (*GetFrameInfo)(uint32_t rendererId, int64_t time, FrameInfo* info);
  int32_t (*QueueAsyncVideoFrameRender)(uint32_t rendererId, int64_t time, uint32_t* requestId,
                                        const RenderParams* params, uint32_t cacheFlags,
                                        void* completionData);
  int32_t (*SetAsyncRenderCompletionProc)(uint32_t rendererId, FrameCompletionFn callback,
                                          void* reference);
};

// ---- Sequence Audio --------------------------------------------------------------------------

inline constexpr int32_t kAudioSampleTypeFloat32 = 3;

struct SequenceAudioSuite {
  int32_t (*MakeAudioRenderer)(uint32_t exporterId, int64_t startTime, int32_t channelType,
                               int32_t sampleType, float sampleRate, uint32_t* rendererId);
  int32_t (*ReleaseAudioRenderer)(uint32_t exporterId, uint32_t rendererId);
  int32_t (*GetMaxBlockSize)(uint32_t rendererId, int64_t ticks, int32_t* sampleFrames);
  // channels: two planar float buffers (the second unused for mono).
  int32_t (*GetAudio)(uint32_t rendererId, uint32_t sampleFrames, float** channels,
                      int32_t reserved);
};

// ---- PPix ------------------------------------------------------------------------------------

struct PPixSuite {
  int32_t (*GetPixelFormat)(FrameHandle frame, uint32_t* format);
  int32_t (*Dispose)(FrameHandle frame);
  int32_t (*GetPixels)(FrameHandle frame, char** pixels);
};

}  // namespace orx::host_sdk
