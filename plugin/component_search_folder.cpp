#include "plugin/component_search_folder.h"

namespace orx::plugin {
namespace {
std::string g_folder;
}  // namespace

void SetComponentSearchFolder(const std::string& folder) {
  // Becomes CompSetLibPath(folder, 1) once the engine library is linked into the plug-in.
  g_folder = folder.substr(0, 511);
}

std::string CurrentComponentSearchFolder() { return g_folder; }

}  // namespace orx::plugin
