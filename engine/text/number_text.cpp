#include "engine/text/number_text.h"

#include <cstdio>

#include "engine/text/engine_strings.h"

namespace {

// The value of c as a digit of radix, or -1.
int DigitValue(char c, uint32_t radix) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'z') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'Z') v = c - 'A' + 10;
  return v >= 0 && static_cast<uint32_t>(v) < radix ? v : -1;
}

bool IsHexLetter(char c) { return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

int32_t ParseInt(const char* text) {
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  uint32_t radix = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text += 2;
  } else if (IsHexLetter(text[0])) {
    radix = 16;
  } else if (text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
    radix = 2;
    text += 2;
  }
  uint32_t value = 0;
  for (int d; (d = DigitValue(*text, radix)) >= 0; ++text) value = value * radix + static_cast<uint32_t>(d);
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

uint32_t FormatHex8(uint32_t value, char* dst, uint32_t limit) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  uint32_t digits = 8;
  if (limit != 0 && limit - 1 < digits) digits = limit - 1;
  for (uint32_t i = 0; i < digits; ++i) dst[i] = kDigits[(value >> (28 - 4 * i)) & 0xF];
  dst[digits] = '\0';
  return digits;
}

uint32_t FormatInt(uint32_t value, uint32_t radixCode, bool isSigned, uint32_t minDigits, char* dst,
                   uint32_t dstSize) {
  if (dstSize == 0) return 0;
  dst[0] = '\0';
  uint32_t radix = radixCode == kRadixBinary ? 2 : radixCode;
  if (radix != 2 && radix != 8 && radix != 10 && radix != 16) return 0;
  bool negative = isSigned && static_cast<int32_t>(value) < 0;
  uint32_t magnitude = negative ? 0u - value : value;
  char digits[33];
  uint32_t count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[magnitude % radix];
    magnitude /= radix;
  } while (magnitude != 0);
  if (minDigits > 32) minDigits = 32;
  while (count < minDigits) digits[count++] = '0';
  uint32_t length = 0;
  if (negative && length + 1 < dstSize) dst[length++] = '-';
  while (count > 0 && length + 1 < dstSize) dst[length++] = digits[--count];
  dst[length] = '\0';
  return length;
}

uint32_t FormatTime(int64_t milliseconds, char* dst, uint32_t dstSize) {
  if (dstSize == 0) return 0;
  const bool negative = milliseconds < 0;
  const uint64_t magnitude = negative ? 0ull - static_cast<uint64_t>(milliseconds) : static_cast<uint64_t>(milliseconds);
  char text[48];
  std::snprintf(text, sizeof text, "%s%llu:%02u:%02u.%03u", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 3600000), static_cast<unsigned>(magnitude / 60000 % 60),
                static_cast<unsigned>(magnitude / 1000 % 60), static_cast<unsigned>(magnitude % 1000));
  uint32_t length = 0;
  while (text[length] != '\0' && length < kFormatTimeMaxLength && length + 1 < dstSize) {
    dst[length] = text[length];
    ++length;
  }
  dst[length] = '\0';
  return length;
}

int64_t ParseTime(const char* text) {
  while (IsTextWhiteSpace(*text)) ++text;
  if (!IsTextDigit(*text)) return 0;
  uint64_t numbers[4] = {};
  int count = 0;
  while (count < 4) {
    uint64_t n = 0;
    for (; IsTextDigit(*text); ++text) n = n * 10 + static_cast<uint64_t>(*text - '0');
    numbers[count++] = n;
    if (*text != ':') break;
    ++text;
  }
  if (count == 1) return static_cast<int64_t>(numbers[0]);
  uint64_t seconds = 0;
  for (int i = 0; i < count; ++i) seconds = seconds * 60 + numbers[i];
  return static_cast<int64_t>(seconds * 1000);
}
