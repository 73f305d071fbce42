#include "plugin/params/param_button.h"

#include <cstring>
#include <vector>

#include "platform/html_help.h"
#include "platform/message_box.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {

HelpTopicTarget HelpTopicTargetOf(int32_t topic) {
  switch (topic) {
    case 1: return {"#Video_Export_Settings", "Video Export Settings"};
    case 2: return {"#Audio_Export_Settings", "Audio Export Settings"};
    case 0:
    case 3: return {"#Multiplexer_Export_settings", "Multiplexer Export Settings"};
    default: return {"", nullptr};
  }
}

int32_t Exporter_ParamButton(host_sdk::ParamButtonRecord* record) {
  char folder[256];
  if (!RegReadString(RegRoot::kCurrentUser, kPluginKey, kValueInstallPath, folder, sizeof(folder))) {
    platform::MessageBox(nullptr, kHelpNotFoundText, "ORX Encoder", 0x30);
    return 0;
  }
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += "orx_cs4plugin.chm::/introduction.htm";

  ExporterInstance* instance = InstanceOf(record->privateData);
  int32_t topic = 0;
  if (instance != nullptr) {
    char id[host_sdk::kIdentifierChars + 1] = {};
    std::memcpy(id, record->buttonIdentifier, host_sdk::kIdentifierChars);
    ParamAccess params(instance->paramSuite, record->exporterId, record->multiGroupIndex);
    int32_t size = params.ArbDataSize(id);
    if (size >= 4) {
      uint8_t data[4] = {};
      std::vector<uint8_t> all(static_cast<size_t>(size));
      if (params.GetArbData(id, all.data(), size)) std::memcpy(data, all.data(), 4);
      topic = static_cast<int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                   (static_cast<uint32_t>(data[3]) << 24));
    }
  }
  HelpTopicTarget target = HelpTopicTargetOf(topic);
  path += target.anchor;

  if (platform::HtmlHelp(nullptr, path, platform::kHelpDisplayTopic, nullptr) == nullptr) {
    void* owner = nullptr;
    if (instance != nullptr && instance->windowSuite) owner = instance->windowSuite->GetMainWindow();
    platform::MessageBox(owner, "Help document was not found.", "ORX Accelerated Exporter", 0x10);
  } else if (target.keyword != nullptr) {
    platform::HtmlHelp(nullptr, path, platform::kHelpKeywordLookup, target.keyword);
  }
  return 0;
}

}  // namespace orx::plugin
