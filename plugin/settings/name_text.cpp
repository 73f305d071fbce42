#include "plugin/settings/name_text.h"

#include <cstring>
#include <string>
#include <vector>

namespace orx::plugin {

int FindListEntry(const char* list, const char* name) {
  std::string text = list ? std::string(list).substr(0, 511) : std::string();
  if (text.empty()) return 1;
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t item = 0;; ++item) {
    size_t bar = text.find('|', start);
    if (item % 2 == 0) names.push_back(text.substr(start, bar == std::string::npos ? bar : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].find(name ? name : "") != std::string::npos) return static_cast<int>(i) + 1;
  }
  return static_cast<int>(names.size()) + 1;
}

int ReplaceExtension(char* path, size_t size, const char* extension) {
  size_t length = strnlen(path, size);
  if (length == size) return 0;  // not a terminated text within its room
  const char* dot = std::strrchr(path, '.');
  size_t at = dot ? static_cast<size_t>(dot - path) : length;
  size_t extLength = std::strlen(extension);
  if (at + 1 + extLength + 1 > size) return 0;
  path[at] = '.';
  std::memcpy(path + at + 1, extension, extLength + 1);
  return 1;
}

}  // namespace orx::plugin
