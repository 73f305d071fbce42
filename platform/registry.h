#pragma once
// Stand-in for the registry: a text file of typed values, one per line,
//   HKCU\Software\ORX\AdobePluginCS4\GPUFlags = dword:0x00000000
//   HKCU\Software\ORX\AdobePluginCS4\InstallPath = string:/opt/orx/
// The file is named by ORX_REGISTRY (default $HOME/.config/orx/registry). Keys and value
// names compare without regard to case, as on the original platform. A missing file is an
// empty registry, lines that are not values are kept when the file is rewritten, and every
// write replaces the file atomically (temporary file and rename) under a lock file.
#include <cstdint>
#include <string>
#include <string_view>

namespace orx::platform {

enum class RegistryType { kDword, kString };

struct RegistryValue {
  RegistryType type = RegistryType::kDword;
  uint32_t dword = 0;
  std::string text;
};

// The store's file.
std::string RegistryPath();

// key: a full path starting with HKCU\ or HKLM\; name: the value's name.
bool RegistryRead(std::string_view key, std::string_view name, RegistryValue& out);
// False when the value is missing or has the other type.
bool RegistryReadDword(std::string_view key, std::string_view name, uint32_t& out);
bool RegistryReadString(std::string_view key, std::string_view name, std::string& out);

// False when the key is not a full HKCU\ or HKLM\ path, when a string holds a line break, or
// when the file cannot be written.
bool RegistryWriteDword(std::string_view key, std::string_view name, uint32_t value);
bool RegistryWriteString(std::string_view key, std::string_view name, std::string_view value);
// True when the value is gone afterwards (also when it never existed).
bool RegistryDeleteValue(std::string_view key, std::string_view name);

}  // namespace orx::platform
