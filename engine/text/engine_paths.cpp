#include "engine/text/engine_paths.h"

#include <unistd.h>

#include "engine/text/engine_strings.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsPathChar(char c, bool spacesAllowed) {
  if (IsTextLetter(c) || IsTextDigit(c) || static_cast<unsigned char>(c) >= 0x80) return true;
  switch (c) {
    case '\\': case '/': case '.': case '_': case '(': case ')': case '-':
      return true;
    case ' ':
      return spacesAllowed;
    default:
      return false;
  }
}

void Store(std::string* out, const char* from, const char* to) {
  if (out != nullptr) out->assign(from, static_cast<size_t>(to - from));
}

}  // namespace

uint32_t SplitPath(const char* text, std::string* dir, std::string* name, std::string* ext, bool spacesAllowed) {
  const char* p = text;
  while (IsTextWhiteSpace(*p)) ++p;
  const char* start = p;
  if (IsTextLetter(p[0]) && p[1] == ':') p += 2;
  const char* afterDrive = p;
  const char* lastSeparator = nullptr;
  for (; *p != '\0' && IsPathChar(*p, spacesAllowed); ++p) {
    if (IsSeparator(*p)) lastSeparator = p;
  }
  const char* end = p;
  const char* nameStart = afterDrive;
  if (lastSeparator != nullptr) {
    nameStart = lastSeparator + 1;
  } else {
    while (nameStart < end && *nameStart == '.') ++nameStart;
  }
  Store(dir, start, nameStart);
  Store(name, nameStart, end);
  const char* dot = nameStart;
  while (dot < end && *dot != '.') ++dot;
  Store(ext, dot < end ? dot + 1 : end, end);
  return static_cast<uint32_t>(end - text);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string joined(dir);
  if (dir.empty() || name.empty()) return joined.append(name);
  const bool dirEnds = IsSeparator(dir.back());
  const bool nameStarts = IsSeparator(name.front());
  if (dirEnds && nameStarts) name.remove_prefix(1);
  else if (!dirEnds && !nameStarts) joined += '/';
  return joined.append(name);
}

std::string ResolveRootRelativePath(std::string_view text) {
  if (text.size() < 1 || text[0] != '\\' || (text.size() > 1 && text[1] == '\\')) return std::string(text);
  std::string rest(text.substr(1));
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return "/" + rest;
  return JoinPath(cwd, rest);
}
