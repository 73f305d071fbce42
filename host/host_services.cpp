#include "host/host_services.h"

#include <atomic>
#include <cstdlib>

#include "host/basic_suite.h"
#include "host/export_file_suite.h"
#include "host/host_frame.h"
#include "host/progress_suite.h"
#include "host/sequence_audio.h"
#include "host/sequence_render.h"
#include "host/param_store.h"
#include "platform/host_sdk/suites.h"

namespace orx::host {
namespace {

using namespace host_sdk;

SourceDescription g_source;
int g_mainWindow = 0;  // its address stands for the window
std::atomic<uint32_t> g_reserved{0};

int32_t GetSourceInfo(uint32_t /*exporterId*/, int32_t key, SourceInfoValue* value) {
  if (value == nullptr) return kSuiteErrorBadArgument;
  *value = SourceInfoValue{};
  switch (key) {
    case kSourceVideoWidth: value->intValue = g_source.width; return 0;
    case kSourceVideoHeight: value->intValue = g_source.height; return 0;
    case kSourceVideoFrameRate: value->floatValue = g_source.FrameRate(); return 0;
    case kSourcePixelAspectNum: value->intValue = g_source.parNum; return 0;
    case kSourcePixelAspectDen: value->intValue = g_source.parDen; return 0;
    case kSourceAudioSampleRate: value->floatValue = g_source.audioSampleRate; return 0;
    default: return kSuiteErrorBadArgument;
  }
}

int32_t GetTicksPerSecond(int64_t* ticks) {
  if (ticks == nullptr) return kSuiteErrorBadArgument;
  *ticks = kTicksPerSecond;
  return 0;
}

int32_t GetTicksPerVideoFrame(int32_t rateCode, int64_t* ticks) {
  if (ticks == nullptr) return kSuiteErrorBadArgument;
  switch (rateCode) {
    case kRate23976: *ticks = kTicksPerSecond / 24000 * 1001; return 0;
    case kRate2997: *ticks = kTicksPerSecond / 30000 * 1001; return 0;
    case kRate5994: *ticks = kTicksPerSecond / 60000 * 1001; return 0;
    default: return kSuiteErrorBadArgument;
  }
}

int32_t ReserveMemory(uint32_t /*exporterId*/, uint32_t bytes) {
  g_reserved = bytes;
  return 0;
}
void* NewPtr(uint32_t bytes) { return std::calloc(1, bytes == 0 ? 1 : bytes); }
void DisposePtr(void* block) { std::free(block); }

void* GetMainWindow() { return &g_mainWindow; }

int32_t ReportEvent(int32_t /*type*/, const char16_t* /*title*/, const char16_t* /*text*/) {
  return 0;
}

const ExportInfoSuite kExportInfo{&GetSourceInfo};
const TimeSuite kTime{&GetTicksPerSecond, &GetTicksPerVideoFrame};
const MemoryManagerSuite kMemory{&ReserveMemory, &NewPtr, &DisposePtr};
const WindowSuite kWindow{&GetMainWindow};
const ErrorSuite kError{&ReportEvent};

}  // namespace

void RegisterHostSuites() {
  SuiteRegistry& r = SuiteRegistry::Instance();
  r.Register(kExportParamSuite.name, kExportParamSuite.version, ExportParamSuiteTable());
  r.Register(kExportInfoSuite.name, kExportInfoSuite.version, &kExportInfo);
  r.Register(kTimeSuite.name, kTimeSuite.version, &kTime);
  r.Register(kMemoryManagerSuite.name, kMemoryManagerSuite.version, &kMemory);
  r.Register(kWindowSuite.name, kWindowSuite.version, &kWindow);
  r.Register(kErrorSuite.name, kErrorSuite.version, &kError);
  r.Register(kExportFileSuite.name, kExportFileSuite.version, ExportFileSuiteTable());
  r.Register(kExportProgressSuite.name, kExportProgressSuite.version, ExportProgressSuiteTable());
  r.Register(kSequenceRenderSuite.name, kSequenceRenderSuite.version, SequenceRenderSuiteTable());
  r.Register(kSequenceAudioSuite.name, kSequenceAudioSuite.version, SequenceAudioSuiteTable());
  r.Register(kPPixSuite.name, kPPixSuite.version, PPixSuiteTable());
}

uint32_t ReservedMemory() { return g_reserved.load(); }
void ResetReservedMemory() { g_reserved = 0; }

void SetCurrentSource(const SourceDescription& source) { g_source = source; }
void* HostMainWindow() { return &g_mainWindow; }

}  // namespace orx::host
