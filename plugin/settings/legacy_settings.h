#pragma once
// The older settings key of the plug-in's previous generation: encoder count, fit mode, log
// file name and subkey spacing.
#include "media/tengine_config.h"

namespace orx::plugin {

// Applies the values present; 1 when "subkeyspace" was read, else 0.
int ReadLegacySettings(QVATengineConfig* config);
// Stores the log path, the encoder count and the fit mode ("Set As Default").
void WriteLegacySettings(const QVATengineConfig* config);

}  // namespace orx::plugin
