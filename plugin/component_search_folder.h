#pragma once
// Where the engine's loader looks for component libraries. The engine's CompSetLibPath is not
// part of the plug-in's link yet: until it is, the folder is kept here and handed over when the
// engine joins.
#include <string>

namespace orx::plugin {

void SetComponentSearchFolder(const std::string& folder);
std::string CurrentComponentSearchFolder();

}  // namespace orx::plugin
