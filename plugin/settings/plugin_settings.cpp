#include "plugin/settings/plugin_settings.h"

#include <cstring>
#include <string>

#include "platform/registry.h"

namespace orx::plugin {
namespace {

std::string FullKey(RegRoot root, const char* key) {
  return std::string(root == RegRoot::kCurrentUser ? "HKCU\\" : "HKLM\\") + key;
}

}  // namespace

int RegWriteDword(RegRoot root, const char* key, const char* name, uint32_t value) {
  return platform::RegistryWriteDword(FullKey(root, key), name, value) ? 1 : 0;
}

int RegReadDword(RegRoot root, const char* key, const char* name, uint32_t* out) {
  uint32_t value = 0;
  if (!platform::RegistryReadDword(FullKey(root, key), name, value)) return 0;
  *out = value;
  return 1;
}

int RegWriteString(RegRoot root, const char* key, const char* name, const char* text) {
  return platform::RegistryWriteString(FullKey(root, key), name, text ? text : "") ? 1 : 0;
}

int RegReadString(RegRoot root, const char* key, const char* name, char* buffer, uint32_t size) {
  std::string value;
  if (buffer == nullptr || size == 0) return 0;
  if (!platform::RegistryReadString(FullKey(root, key), name, value)) return 0;
  if (value.size() + 1 > size) return 0;  // does not fit: the read fails, as the system's does
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return 1;
}

uint32_t ReadShowOnGui(uint32_t fallback) {
  uint32_t value = fallback;
  RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueShowOnGui, &value);
  return value;
}

}  // namespace orx::plugin
