#pragma once
// Where the engine's loader looks for component libraries: the loader's own search folder.
#include <string>

namespace orx::plugin {

void SetComponentSearchFolder(const std::string& folder);
std::string CurrentComponentSearchFolder();

}  // namespace orx::plugin
