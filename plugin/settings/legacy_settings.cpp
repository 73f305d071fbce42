#include "plugin/settings/legacy_settings.h"

#include <cstring>

#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {

int ReadLegacySettings(QVATengineConfig* config) {
  uint32_t value = 0;
  if (RegReadDword(RegRoot::kCurrentUser, kLegacyKey, kValueInstances, &value)) {
    config->encoderParams.encoderCount = value > 8 ? 8 : value;
  }
  if (RegReadDword(RegRoot::kCurrentUser, kLegacyKey, kValueScaling, &value)) {
    config->scalingMode = value;
  }
  char name[512];
  if (RegReadString(RegRoot::kCurrentUser, kLegacyKey, kValueOutFileName, name, sizeof(name))) {
    // At most 255 characters and the terminator fit the configuration's path.
    std::strncpy(config->logFilePath, name, sizeof(config->logFilePath) - 1);
    config->logFilePath[sizeof(config->logFilePath) - 1] = '\0';
  }
  if (RegReadDword(RegRoot::kCurrentUser, kLegacyKey, kValueSubkeySpace, &value)) {
    config->encoderParams.anchorDistance = value;
    return 1;
  }
  return 0;
}

void WriteLegacySettings(const QVATengineConfig* config) {
  if (config == nullptr) return;
  char path[sizeof(config->logFilePath) + 1] = {};
  std::memcpy(path, config->logFilePath, sizeof(config->logFilePath));
  RegWriteString(RegRoot::kCurrentUser, kLegacyKey, kValueOutFileName, path);
  RegWriteDword(RegRoot::kCurrentUser, kLegacyKey, kValueInstances,
                config->encoderParams.encoderCount);
  RegWriteDword(RegRoot::kCurrentUser, kLegacyKey, kValueScalingMode, config->scalingMode);
}

}  // namespace orx::plugin
