#include "engine/text/engine_strings.h"

namespace {

// The upper-cased character, with CR and LF read as the end of the string.
unsigned char CompareChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u == '\r' || u == '\n') return 0;
  if (u >= 'a' && u <= 'z') return static_cast<unsigned char>(u - 'a' + 'A');
  return u;
}

template <class From, class To>
uint32_t CopyCharacters(const From* src, To* dst) {
  uint32_t count = 0;
  while (src[count] != 0) {
    dst[count] = static_cast<To>(src[count]);
    ++count;
  }
  dst[count] = 0;
  return count;
}

}  // namespace

void StrCopy(char* dst, const char* src) { CopyCharacters(src, dst); }

void StrCopyN(char* dst, const char* src, uint32_t n) {
  uint32_t i = 0;
  for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

void StrAppend(char* dst, const char* src) { CopyCharacters(src, dst + StrLength(dst)); }

uint32_t StrLength(const char* text) {
  uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

int32_t StrCompareNoCase(const char* a, const char* b, int32_t n) {
  for (int32_t i = 0;; ++i) {
    if (n > 0 && i == n) return 0;
    const unsigned char ca = CompareChar(a[i]);
    const unsigned char cb = CompareChar(b[i]);
    if ((ca == 0 || cb == 0) && n == 0) return 0;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

uint32_t WideToNarrow(const char16_t* src, char* dst) {
  uint32_t count = 0;
  for (; src[count] != 0; ++count) dst[count] = static_cast<char>(src[count] & 0xFF);
  dst[count] = '\0';
  return count;
}

uint32_t NarrowToWide(const char* src, char16_t* dst) {
  return CopyCharacters(reinterpret_cast<const unsigned char*>(src), dst);
}

uint32_t NarrowToUtf32(const char* src, char32_t* dst) {
  return CopyCharacters(reinterpret_cast<const unsigned char*>(src), dst);
}

uint32_t Utf32ToNarrow(const char32_t* src, char* dst) {
  uint32_t count = 0;
  for (; src[count] != 0; ++count) dst[count] = static_cast<char>(src[count] & 0xFF);
  dst[count] = '\0';
  return count;
}
