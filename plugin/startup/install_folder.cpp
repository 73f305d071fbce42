#include "plugin/startup/install_folder.h"

#include <dlfcn.h>

#include "plugin/startup/component_search_folder.h"
#include "plugin/startup/gcx_probe.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {

std::string PluginModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PluginModuleFolder), &info) == 0 ||
      info.dli_fname == nullptr) {
    return std::string();
  }
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

void SetupInstallPath() {
  std::string folder = PluginModuleFolder();
  SetComponentSearchFolder(folder);
  char installPath[256];
  if (RegReadString(RegRoot::kCurrentUser, kPluginKey, kValueInstallPath, installPath,
                    sizeof(installPath))) {
    folder = installPath;
    if (folder.empty() || folder.back() != '/') folder += '/';
  }
  if (folder.empty()) return;
  SetComponentSearchFolder(folder);
  SetGcxRuntimeFolder(folder.c_str());
}

std::string ComponentSearchFolder() { return CurrentComponentSearchFolder(); }

}  // namespace orx::plugin
