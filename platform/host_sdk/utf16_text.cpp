#include "platform/host_sdk/utf16_text.h"

namespace orx::host_sdk {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one code point of UTF-8 at text[i]; malformed input gives U+FFFD and one byte.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  unsigned char b = static_cast<unsigned char>(text[i]);
  int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
  if (extra == 0) {
    ++i;
    return b;
  }
  if (extra < 0 || i + extra >= text.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char n = static_cast<unsigned char>(text[i + k]);
    if ((n & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (n & 0x3F);
  }
  i += extra + 1;
  return c > 0x10FFFF ? 0xFFFD : c;
}

// Decodes one code point of UTF-16 at text[i] (i < n).
char32_t DecodeUtf16(const char16_t* text, size_t n, size_t& i) {
  char16_t u = text[i++];
  if (u >= 0xD800 && u < 0xDC00 && i < n && text[i] >= 0xDC00 && text[i] < 0xE000) {
    char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i] - 0xDC00);
    ++i;
    return c;
  }
  if (u >= 0xD800 && u < 0xE000) return 0xFFFD;
  return u;
}

}  // namespace

size_t Utf16Length(const char16_t* text, size_t maxChars) {
  size_t n = 0;
  if (text == nullptr) return 0;
  while (n < maxChars && text[n] != 0) ++n;
  return n;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    char32_t c = DecodeUtf8(text, i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8Bounded(const char16_t* text, size_t maxChars, size_t maxBytes) {
  std::string out;
  size_t n = Utf16Length(text, maxChars);
  size_t i = 0;
  while (i < n) {
    std::string piece;
    AppendUtf8(piece, DecodeUtf16(text, n, i));
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* text, size_t maxChars) {
  return Utf16ToUtf8Bounded(text, maxChars, static_cast<size_t>(-1));
}

std::string Utf32ToUtf8(const char32_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    const char32_t c = *text;
    AppendUtf8(out, c > 0x10FFFF || (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
  }
  return out;
}

void CopyToUtf16(char16_t* destination, size_t capacity, std::string_view utf8) {
  if (destination == nullptr || capacity == 0) return;
  std::u16string wide = Utf8ToUtf16(utf8);
  size_t n = wide.size() < capacity - 1 ? wide.size() : capacity - 1;
  // Never leave the first half of a surrogate pair without its second half.
  if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] < 0xDC00) --n;
  for (size_t i = 0; i < n; ++i) destination[i] = wide[i];
  destination[n] = 0;
}

}  // namespace orx::host_sdk
