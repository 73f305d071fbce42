// The plug-in's one export: the host drives everything through it.
#include "platform/entry_guard.h"
#include "platform/export.h"
#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "plugin/export/export_run.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/startup/exporter_startup.h"
#include "plugin/params/output_settings.h"
#include "plugin/params/param_button.h"
#include "plugin/params/param_model.h"
#include "plugin/params/param_post_process.h"
#include "plugin/params/param_summary.h"
#include "plugin/params/param_validate.h"
#include "plugin/selector_fault.h"

using namespace orx::host_sdk;
using namespace orx::plugin;

namespace {

int32_t Dispatch(int32_t selector, StandardParameters* standard, void* record) {
  ThrowIfSelectorFaultArmed(selector);
  // Compared as unsigned, so that negative selectors fall to the default.
  switch (static_cast<uint32_t>(selector)) {
    case kSelStartup:
      return Exporter_Startup(static_cast<ExporterInfoRecord*>(record));
    case kSelBeginInstance:
      return Exporter_BeginInstance(standard, static_cast<InstanceRecord*>(record));
    case kSelGenerateDefaultParams:
      return Exporter_GenerateDefaultParams(standard, static_cast<ParamsRecord*>(record));
    case kSelPostProcessParams:
      return Exporter_PostProcessParams(standard, static_cast<ParamsRecord*>(record));
    case kSelValidateParamChanged:
      return Exporter_ValidateParamChanged(standard, static_cast<ValidateParamRecord*>(record));
    case kSelGetParamSummary:
      return Exporter_GetParamSummary(standard, static_cast<ParamSummaryRecord*>(record));
    case kSelParamButton:
      return Exporter_ParamButton(static_cast<ParamButtonRecord*>(record));
    case kSelEndInstance:
      return Exporter_EndInstance(standard, static_cast<InstanceRecord*>(record));
    case kSelExport:
      return Exporter_Export(standard, static_cast<ExportRecord*>(record));
    case kSelQueryExportFileExtension:
      return Exporter_QueryExportFileExtension(standard, static_cast<FileExtensionRecord*>(record));
    case kSelQueryOutputSettings:
      return Exporter_QueryOutputSettings(static_cast<OutputSettingsRecord*>(record));
    default:
      // Shutdown, the output file list and still sequences.
      return kResultUnsupportedSelector;
  }
}

}  // namespace

// An exception inside a selector's handling answers 7, as the plug-in answers when it cannot
// have the memory it needs.
extern "C" ORX_EXPORT int32_t xSDKExport(int32_t selector, StandardParameters* standard,
                                         void* record, void* /*unusedRecord*/) {
  return orx::platform::GuardEntry("xSDKExport", kResultOutOfMemory,
                                   [&] { return Dispatch(selector, standard, record); });
}
