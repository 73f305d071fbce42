#include "engine/text/text_scanners.h"

#include "engine/text/engine_strings.h"

namespace {

bool IsIdentifierChar(char c) { return IsTextLetter(c) || IsTextDigit(c) || c == '_'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (Upper(*text) != Upper(*prefix)) return false;
  }
  return true;
}

bool InSet(char c, const char* set) {
  for (; *set != '\0'; ++set) {
    if (*set == c) return true;
  }
  return false;
}

uint32_t SkipWhite(const char* text) {
  uint32_t n = 0;
  while (IsTextWhiteSpace(text[n])) ++n;
  return n;
}

// Copies text[from, to) into *dst and answers to.
uint32_t Emit(const char* text, uint32_t from, uint32_t to, std::string* dst) {
  if (dst != nullptr) dst->assign(text + from, to - from);
  return to;
}

}  // namespace

uint32_t ScanIdentifier(const char* text, std::string* dst) {
  const uint32_t start = SkipWhite(text);
  uint32_t end = start;
  while (IsIdentifierChar(text[end])) ++end;
  return Emit(text, start, end, dst);
}

uint32_t ScanToken(const char* text, std::string* dst) {
  const uint32_t start = SkipWhite(text);
  uint32_t end = start;
  const char first = text[start];
  if (IsIdentifierChar(first)) {
    while (IsIdentifierChar(text[end])) ++end;
  } else if ((first == '-' || first == '+') && IsTextDigit(text[start + 1])) {
    ++end;
    while (IsIdentifierChar(text[end])) ++end;
  } else if (first != '\0') {
    ++end;
    while (text[end] != '\0' && !IsIdentifierChar(text[end]) && !IsTextWhiteSpace(text[end]) && text[end] != ';') {
      ++end;
    }
  }
  return Emit(text, start, end, dst);
}

uint32_t ScanUntil(const char* text, std::string* dst, const char* delimiter) {
  const uint32_t start = SkipWhite(text);
  uint32_t end = start;
  while (text[end] != '\0' && !StartsWithNoCase(text + end, delimiter)) ++end;
  Emit(text, start, end, dst);
  return text[end] != '\0' || *delimiter == '\0' ? end + StrLength(delimiter) : end;
}

uint32_t ScanUntilChars(const char* text, std::string* dst, const char* set) {
  const uint32_t start = SkipWhite(text);
  uint32_t end = start;
  while (text[end] != '\0' && !InSet(text[end], set)) ++end;
  return Emit(text, start, end, dst);
}

uint32_t SpanChars(const char* text, const char* set) {
  uint32_t n = 0;
  while (text[n] != '\0' && InSet(text[n], set)) ++n;
  return n;
}

uint32_t ScanTime(const char* text, std::string* dst) {
  const uint32_t start = SkipWhite(text);
  uint32_t end = start;
  while (IsTextDigit(text[end]) || text[end] == ':') ++end;
  return Emit(text, start, end, dst);
}

uint32_t ScanQuoted(const char* text, std::string* dst, char escape) {
  std::string quoted;
  uint32_t n = 0;
  if (text[0] == '"') {
    n = 1;
    while (text[n] != '\0' && text[n] != '"') {
      if (text[n] == escape && text[n + 1] != '\0') ++n;
      quoted += text[n++];
    }
    if (text[n] == '"') ++n;
  }
  if (dst != nullptr) *dst = std::move(quoted);
  return n;
}

uint32_t MatchKeyword(const char* text, const char* keyword) {
  const uint32_t start = SkipWhite(text);
  const uint32_t length = StrLength(keyword);
  if (length == 0 || !StartsWithNoCase(text + start, keyword)) return 0;
  return IsIdentifierChar(text[start + length]) ? 0 : start + length;
}
