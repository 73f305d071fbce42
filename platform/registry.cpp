#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace orx::platform {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool ValidKey(std::string_view key) {
  auto startsWith = [&](std::string_view prefix) {
    return key.size() > prefix.size() && EqualNoCase(key.substr(0, prefix.size()), prefix);
  };
  return startsWith("HKCU\\") || startsWith("HKLM\\");
}

bool ValidName(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos && name.find(" = ") == std::string_view::npos;
}

std::string_view TrimKey(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

// One parsed value line; lines that do not parse stay as text.
struct Line {
  std::string raw;
  bool isValue = false;
  std::string key;
  std::string name;
  RegistryValue value;
};

std::optional<Line> ParseValueLine(const std::string& raw) {
  size_t eq = raw.find(" = ");
  if (eq == std::string::npos) return std::nullopt;
  std::string path = raw.substr(0, eq);
  std::string rhs = raw.substr(eq + 3);
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos || slash == 0) return std::nullopt;
  Line line;
  line.raw = raw;
  line.key = path.substr(0, slash);
  line.name = path.substr(slash + 1);
  if (!ValidKey(line.key)) return std::nullopt;
  if (rhs.rfind("dword:", 0) == 0) {
    std::string digits = rhs.substr(6);
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(digits.c_str(), &end, 16);
    if (digits.empty() || *end != '\0' || errno != 0 || v > 0xFFFFFFFFul) return std::nullopt;
    line.value.type = RegistryType::kDword;
    line.value.dword = static_cast<uint32_t>(v);
  } else if (rhs.rfind("string:", 0) == 0) {
    line.value.type = RegistryType::kString;
    line.value.text = rhs.substr(7);
  } else {
    return std::nullopt;
  }
  line.isValue = true;
  return line;
}

std::vector<Line> ReadLines(const std::string& path) {
  std::vector<Line> lines;
  std::ifstream in(path);
  if (!in) return lines;
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (auto parsed = ParseValueLine(raw)) {
      lines.push_back(std::move(*parsed));
    } else {
      Line keep;
      keep.raw = raw;
      lines.push_back(std::move(keep));
    }
  }
  return lines;
}

std::string FormatLine(std::string_view key, std::string_view name, const RegistryValue& v) {
  std::string out(key);
  out += '\\';
  out += name;
  out += " = ";
  if (v.type == RegistryType::kDword) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "dword:0x%08X", v.dword);
    out += buf;
  } else {
    out += "string:";
    out += v.text;
  }
  return out;
}

bool MakeParentFolders(const std::string& path) {
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    std::string dir = path.substr(0, pos);
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Serialises read-modify-write cycles of every library and process on one store.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    std::string lockPath = path + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~StoreLock() {
    if (fd_ >= 0) {
      ::flock(fd_, LOCK_UN);
      ::close(fd_);
    }
  }
  bool ok() const { return fd_ >= 0; }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

bool WriteLinesAtomically(const std::string& path, const std::vector<Line>& lines) {
  std::string tmp = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    for (const auto& l : lines) out << l.raw << '\n';
    out.flush();
    if (!out) {
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

// Replaces (value given) or removes (no value) one value under the store lock.
bool Update(std::string_view key, std::string_view name, const RegistryValue* value) {
  key = TrimKey(key);
  if (!ValidKey(key) || name.empty() || !ValidName(name)) return false;
  const std::string path = RegistryPath();
  if (!MakeParentFolders(path)) return false;
  StoreLock lock(path);
  if (!lock.ok()) return false;
  std::vector<Line> lines = ReadLines(path);
  bool replaced = false;
  std::vector<Line> kept;
  kept.reserve(lines.size() + 1);
  for (auto& l : lines) {
    if (l.isValue && EqualNoCase(l.key, key) && EqualNoCase(l.name, name)) {
      if (value != nullptr && !replaced) {
        l.raw = FormatLine(l.key, l.name, *value);
        l.value = *value;
        kept.push_back(std::move(l));
        replaced = true;
      }
      continue;  // drops duplicates of the value, and the value itself on removal
    }
    kept.push_back(std::move(l));
  }
  if (value != nullptr && !replaced) {
    Line l;
    l.raw = FormatLine(key, name, *value);
    kept.push_back(std::move(l));
  }
  return WriteLinesAtomically(path, kept);
}

}  // namespace

std::string RegistryPath() {
  if (const char* p = std::getenv("ORX_REGISTRY"); p != nullptr && *p != '\0') return p;
  const char* home = std::getenv("HOME");
  std::string base = (home != nullptr && *home != '\0') ? home : "/tmp";
  return base + "/.config/orx/registry";
}

bool RegistryRead(std::string_view key, std::string_view name, RegistryValue& out) {
  key = TrimKey(key);
  if (!ValidKey(key)) return false;
  // Later lines win, as a rewrite keeps only one.
  bool found = false;
  for (const auto& l : ReadLines(RegistryPath())) {
    if (l.isValue && EqualNoCase(l.key, key) && EqualNoCase(l.name, name)) {
      out = l.value;
      found = true;
    }
  }
  return found;
}

bool RegistryReadDword(std::string_view key, std::string_view name, uint32_t& out) {
  RegistryValue v;
  if (!RegistryRead(key, name, v) || v.type != RegistryType::kDword) return false;
  out = v.dword;
  return true;
}

bool RegistryReadString(std::string_view key, std::string_view name, std::string& out) {
  RegistryValue v;
  if (!RegistryRead(key, name, v) || v.type != RegistryType::kString) return false;
  out = v.text;
  return true;
}

bool RegistryWriteDword(std::string_view key, std::string_view name, uint32_t value) {
  RegistryValue v;
  v.type = RegistryType::kDword;
  v.dword = value;
  return Update(key, name, &v);
}

bool RegistryWriteString(std::string_view key, std::string_view name, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  RegistryValue v;
  v.type = RegistryType::kString;
  v.text = std::string(value);
  return Update(key, name, &v);
}

bool RegistryDeleteValue(std::string_view key, std::string_view name) {
  return Update(key, name, nullptr);
}

}  // namespace orx::platform
