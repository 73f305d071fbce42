#include "plugin/properties/encoder_properties_dialog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/message_box.h"
#include "plugin/params/export_session_config.h"
#include "plugin/startup/install_folder.h"
#include "plugin/settings/legacy_settings.h"
#include "plugin/properties/plugin_log_file.h"

namespace orx::plugin {
namespace {

using platform::ControlKind;
using platform::DialogWindow;

struct DialogState {
  DialogWindow* window = nullptr;  // while the dialog runs
  std::string module;              // remembered once
  bool moduleKnown = false;
  intptr_t resultWord = 0;
};
DialogState g_dialog;

QVATengineConfig& Owner() { return *LogOwner(); }

std::string Number(long v) { return std::to_string(v); }

void SetFlag(uint32_t& flags, uint32_t bit, bool on) { flags = on ? (flags | bit) : (flags & ~bit); }

// A status line: at most 500 characters.
std::string FormatStatus(const char* format, va_list args) {
  char text[501];
  std::vsnprintf(text, sizeof(text), format, args);
  return text;
}

}  // namespace

const platform::DialogTemplate& EncoderPropertiesTemplate() {
  static const platform::DialogTemplate kTemplate{
      kPropertiesDialogId,
      "ORX Encoder Poperties",
      kCtlOk,
      {
          {kCtlInstances, ControlKind::kEdit, "", false},
          {kCtlSubkey, ControlKind::kEdit, "", false},
          {kCtlLogFile, ControlKind::kEdit, "", false},
          {kCtlBrowse, ControlKind::kButton, "Browse...", false},
          {kCtlStatsLevel, ControlKind::kEdit, "", false},
          {kCtlOption1, ControlKind::kCheckBox, "Option 1", false},
          {kCtlOption2, ControlKind::kCheckBox, "Option 2", false},
          {kCtlOption3, ControlKind::kCheckBox, "Option 3", false},
          {kCtlOption4, ControlKind::kCheckBox, "Option 4", false},
          {kCtlOk, ControlKind::kButton, "Ok", false},
          {kCtlExit, ControlKind::kButton, "Exit", false},
          {kCtlSetAsDefault, ControlKind::kButton, "Set As Default", false},
          {kCtlReset, ControlKind::kButton, "Reset", false},
          {kCtlVersion, ControlKind::kStatic, "V1.4", false},
          {kCtlStatus1, ControlKind::kStatic, "", false},
          {kCtlStatus2, ControlKind::kStatic, "", false},
          {kCtlMotionSearch, ControlKind::kComboBox, "", true},
          {kCtlMatch, ControlKind::kRadioButton, "Match", true},
          {kCtlScale, ControlKind::kRadioButton, "Scale", true},
          {kCtlClip, ControlKind::kRadioButton, "Clip", true},
          {kCtlSlices, ControlKind::kEdit, "", true},
          {kCtlAccelThreads, ControlKind::kEdit, "", true},
          {kCtlJobSize, ControlKind::kEdit, "", true},
      }};
  return kTemplate;
}

QVATengineConfig& PropertiesDefaultConfig() {
  static QVATengineConfig config{};
  return config;
}

intptr_t ShowEncoderProperties(void* parent, QVATengineConfig* config) {
  std::string module = PluginModuleFolder();
  if (module.empty()) {
    platform::MessageBox(nullptr, "Couldn't find module CompilerORXEncoder.prm",
                         "ORX Encoder Properties", 0);
  }
  QVATengineConfig* owner = config ? config : &PropertiesDefaultConfig();
  SetLogOwner(owner);
  owner->scalingMode = 0;
  if (!g_dialog.moduleKnown) {
    g_dialog.module = module;
    g_dialog.moduleKnown = true;
  }
  g_dialog.resultWord = 1;
  intptr_t result = platform::RunModalDialog(EncoderPropertiesTemplate(), parent, &PropDlg_Proc);
  g_dialog.window = nullptr;
  return g_dialog.resultWord == 1 ? result : -1;
}

intptr_t PropDlg_Proc(DialogWindow* window, uint32_t message, uintptr_t wParam,
                      intptr_t /*lParam*/) {
  const void* module = &g_dialog.module;
  if (message == platform::kMsgInitDialog || message == 1) {
    g_dialog.window = window;
    PropDlg_Fill(window, module, &Owner());
    return 0;
  }
  if (message == platform::kMsgClose) {
    window->EndDialog(0);
    return 0;
  }
  if (message != platform::kMsgCommand) return 0;
  switch (static_cast<int>(wParam & 0xFFFF)) {
    case kCtlOk:
      PropDlg_Ok(window);
      return 1;
    case kCtlExit:
      PropDlg_Cancel(window);
      return 1;
    case kCtlMissing1007:
    case kCtlGpu:
      PropDlg_Read(window, module, &Owner());
      return 0;
    case kCtlBrowse:
      PropDlg_BrowseLogFile(window, module, "Choose Log File", kCtlLogFile,
                            "Log Files (*.log)\0*.log\0All Files (*.*)\0*.*\0",
                            Owner().logFilePath);
      return 0;
    case kCtlSetAsDefault:
      PropDlg_Read(window, module, &Owner());
      WriteLegacySettings(&Owner());
      return 0;
    case kCtlReset:
      EncSession_InitConfig(&Owner(), Owner().sourceVideo.width, Owner().sourceVideo.height);
      PropDlg_Fill(window, module, &Owner());
      return 0;
    default:
      return 0;
  }
}

void PropDlg_Fill(DialogWindow* window, const void* /*module*/, QVATengineConfig* config) {
  window->SetText(kCtlVersion, "V" + Number(1) + "." + Number(5));
  window->Enable(kCtlReset, true);
  window->Enable(kCtlSetAsDefault, true);
  config->videoBitrate = config->targetVideo.BitrateAverage;
  window->SetText(kCtlExit, "Cancel");
  window->Enable(kCtlMissing1003, false);
  window->Enable(kCtlMissing1004, false);

  char path[sizeof(config->logFilePath) + 1] = {};
  std::memcpy(path, config->logFilePath, sizeof(config->logFilePath));
  window->SetText(kCtlLogFile, path);
  window->Enable(kCtlSubkey, true);

  const VideoEncoderParams& vep = config->encoderParams;
  if (vep.engineFlags & VEP_ENGINE_MULTI_INSTANCE) {
    window->SetText(kCtlInstances, Number(vep.encoderCount));
    window->SetText(kCtlAccelThreads, "0");
  } else {
    window->SetText(kCtlInstances, "1");
    window->SetText(kCtlAccelThreads, Number(vep.encoderCount));
  }
  bool gpu = (vep.engineFlags & VEP_ENGINE_GPU) && GpuSupportAvailable();
  window->Enable(kCtlGpu, gpu);
  window->Check(kCtlGpu, gpu);

  window->SetText(kCtlSubkey, Number(vep.anchorDistance));
  window->SetText(kCtlStatsLevel, Number(config->statsLevel));
  window->Check(kCtlOption1, config->transcodeFlags != 0);
  window->Check(kCtlOption2, config->optionWords[0] != 0);
  window->Check(kCtlOption3, config->optionWords[1] != 0);
  window->Check(kCtlOption4, config->optionWords[2] != 0);
}

void PropDlg_Init(DialogWindow* window, const void* module, QVATengineConfig* config) {
  g_dialog.window = window;
  PropDlg_Fill(window, module, config);
}

void PropDlg_Read(DialogWindow* window, const void* module, QVATengineConfig* config) {
  std::string path = window->GetText(kCtlLogFile);
  std::memset(config->logFilePath, 0, sizeof(config->logFilePath));
  std::strncpy(config->logFilePath, path.c_str(), sizeof(config->logFilePath) - 1);

  VideoEncoderParams& vep = config->encoderParams;
  uint32_t instances = static_cast<uint32_t>(std::strtoul(window->GetText(kCtlInstances).c_str(), nullptr, 10));
  if (instances != vep.encoderCount) {
    if (instances > 8) instances = 8;
    if (instances == 0) instances = 1;
    vep.encoderCount = instances;
  }
  SetFlag(vep.engineFlags, VEP_ENGINE_MULTI_INSTANCE, vep.encoderCount != 0);

  vep.anchorDistance = static_cast<uint32_t>(std::strtoul(window->GetText(kCtlSubkey).c_str(), nullptr, 10));
  SetFlag(vep.engineFlags, VEP_ENGINE_GPU, window->IsChecked(kCtlGpu));
  config->statsLevel = static_cast<uint32_t>(std::strtoul(window->GetText(kCtlStatsLevel).c_str(), nullptr, 10));

  config->transcodeFlags = window->IsChecked(kCtlOption1) ? 1 : 0;
  config->optionWords[0] = window->IsChecked(kCtlOption2) ? 1 : 0;
  config->optionWords[1] = window->IsChecked(kCtlOption3) ? 1 : 0;
  config->optionWords[2] = window->IsChecked(kCtlOption4) ? 1 : 0;
  PropDlg_Fill(window, module, config);
}

void PropDlg_Ok(DialogWindow* window) {
  g_dialog.resultWord = 1;
  QVATengineConfig& owner = Owner();
  PropDlg_Read(window, &g_dialog.module, &owner);
  LogFile_Open(&owner);
  window->EndDialog(1);
}

int PropDlg_Cancel(DialogWindow* window) {
  g_dialog.resultWord = 2;
  window->PostClose();
  return 0;
}

void PropDlg_BrowseLogFile(DialogWindow* window, const void* /*module*/, const char* title,
                           int controlId, const char* filter, const char* currentPath) {
  std::string path = currentPath ? std::string(currentPath).substr(0, 255) : std::string();
  if (platform::SaveFileDialog(nullptr, title, filter, path)) window->SetText(controlId, path);
}

void PropDlg_SetLine(int index, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatStatus(format, args);
  va_end(args);
  if (g_dialog.window) g_dialog.window->SetText(kCtlStatus1 + index, text);
}

void PropDlg_SetLine2(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatStatus(format, args);
  va_end(args);
  if (g_dialog.window) g_dialog.window->SetText(kCtlStatus2, text);
}

void PropDlg_Status(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatStatus(format, args);
  va_end(args);
  if (g_dialog.window) g_dialog.window->SetText(kCtlStatus1, text);
  LogFile_Write("%s", text.c_str());
}

}  // namespace orx::plugin
