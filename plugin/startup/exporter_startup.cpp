#include "plugin/startup/exporter_startup.h"

#include "platform/debug_output.h"
#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/utf16_text.h"
#include "platform/message_box.h"
#include "plugin/startup/capability_probe.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/startup/install_folder.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {


struct StartupState {
  bool firstCallDone = false;
  bool gateFailed = false;
  uint32_t showOnGui = 0;
  uint32_t mpeg2Counter = 0;
  uint32_t h264Counter = 0;
};
StartupState g_startup;

struct Registration {
  uint32_t fileType;
  const char* name;
  int nameLimit;  // characters, terminator included
  const char* extension;
};
constexpr Registration kMpg2{kFileTypeMpg2, "ORX Fast MPEG2", 30, "mpg"};
constexpr Registration kMp2b{kFileTypeMp2b, "ORX Fast MPEG2 Blu-ray", 46, "mpg"};
constexpr Registration kH264{kFileTypeH264, "ORX Fast H.264", 30, "mp4"};
constexpr Registration k264b{kFileType264b, "ORX Fast H.264 Blu-ray", 46, "264"};

int32_t Register(host_sdk::ExporterInfoRecord* info, const Registration& r, uint32_t& counter) {
  info->fileType = r.fileType;
  host_sdk::CopyToUtf16(info->fileTypeName, r.nameLimit, r.name);
  host_sdk::CopyToUtf16(info->defaultExtension, 8, r.extension);
  ++counter;
  return host_sdk::kResultExporterFollows;
}

// True when the processor has what the encoders are built for; tells the user otherwise.
bool PassesHardwareGate() {
  CapabilityRecord record{};
  ProbeCpu(&record, 0);
  if ((record.cpuFeatures & kRegistrationFeatures) == kRegistrationFeatures) return true;
  platform::MessageBox(nullptr,
                       "ORX Accelerated Encoders do\nnot support this hardware profile.\n\n"
                       "Removing it from the list of supported formats.",
                       "Error loading Encoder", 0x1040);
  platform::DebugOutput("ORXAdobePlugin: No supported hardware found\n");
  return false;
}

}  // namespace

void ResetStartupStateForTest() { g_startup = StartupState{}; }

int32_t Exporter_Startup(host_sdk::ExporterInfoRecord* info) {
  if (!g_startup.firstCallDone) {
    uint32_t show = ReadShowOnGui(kShowOnGuiDefault);
    if ((show & kShowExporterBits) == 0) show |= kShowOnGuiDefault;
    g_startup.showOnGui = show;
    g_startup.mpeg2Counter = (show & kShowMpeg2Exporters) ? 1 : 0;
    g_startup.h264Counter = (show & kShowH264Exporters) ? 1 : 0;
    g_startup.firstCallDone = true;
    if (!PassesHardwareGate()) g_startup.gateFailed = true;
  }
  // A processor that failed the gate never gets an exporter, however often the host asks.
  if (g_startup.gateFailed) return host_sdk::kResultRegistrationDone;

  info->classId = kExporterClassId;
  info->wantsNoProgressBar = 0;
  info->hideInUi = 0;
  info->doesNotSupportAudioOnly = 0;
  info->exportRequestIndex = 0;
  info->canExportVideo = 1;
  info->canExportAudio = 1;
  info->interfaceVersion = 2;

  if (g_startup.mpeg2Counter == 1) return Register(info, kMpg2, g_startup.mpeg2Counter);
  if (g_startup.mpeg2Counter == 2) return Register(info, kMp2b, g_startup.mpeg2Counter);
  if (g_startup.h264Counter == 1) return Register(info, kH264, g_startup.h264Counter);
  if (g_startup.h264Counter == 2) return Register(info, k264b, g_startup.h264Counter);

  SetupInstallPath();
  CapabilityRecord record{};
  ProbeCpu(&record, 0);
  GlobalExportState().processorCount = record.cpuCount;
  return host_sdk::kResultRegistrationDone;
}

}  // namespace orx::plugin
