#pragma once
// The "Help" buttons: open the plug-in's help file at the pressed button's topic.
#include <cstdint>
#include <string>

#include "platform/host_sdk/records.h"

namespace orx::plugin {

// The text of the plug-in's string resource 168.
inline constexpr char kHelpNotFoundText[] = "Help could not be found";

struct HelpTopicTarget {
  const char* anchor;   // appended to the path, "" when none
  const char* keyword;  // looked up, null when none
};
HelpTopicTarget HelpTopicTargetOf(int32_t topic);

// Selector 7; 0 always.
int32_t Exporter_ParamButton(host_sdk::ParamButtonRecord* record);

}  // namespace orx::plugin
