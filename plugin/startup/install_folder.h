#pragma once
// The installation folder: where the engine looks for the component libraries, where the GCX
// runtime is looked for, and where the help file lives.
#include <string>

namespace orx::plugin {

// Sets the component search folder and the GCX runtime folder: "InstallPath" when the registry
// has it (a '/' appended when missing), else the folder of this plug-in library.
void SetupInstallPath();

// The folder of the loaded library that holds this code, with a trailing '/' ("" when unknown).
std::string PluginModuleFolder();

// The component search folder last given to the engine.
std::string ComponentSearchFolder();

}  // namespace orx::plugin
