#include "plugin/startup/component_search_folder.h"

#include "engine/catalogue/component_loader.h"

namespace orx::plugin {

void SetComponentSearchFolder(const std::string& folder) { CompSetLibPath(folder.c_str(), kLibPathNarrow); }

std::string CurrentComponentSearchFolder() {
  char folder[4096];
  CompGetLibPath(folder, sizeof folder);
  return folder;
}

}  // namespace orx::plugin
