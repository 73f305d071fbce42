#include "engine/text/code_names.h"

#include <string>

#include "engine/text/engine_strings.h"
#include "engine/text/number_text.h"

const QVACodeText TokenTypeNames[] = {
    {0, "UNKNOWN"},    {0x1, "KEYWORD"}, {0x2, "IDENTIFIER"}, {0x4, "STRING"},  {0x8, "INTEGER"},
    {0x10, "PERCENT"}, {0x20, "BRACED"}, {0x40, "PARENS"},    {kQVATextSentinel, "Unknown"},
};

namespace {

constexpr size_t kNameBufferSize = 64;
constexpr size_t kFlagsBufferSize = 512;
constexpr size_t kStatusTextSize = 64;

const QVACodeText* FindCode(const QVACodeText* table, uint32_t code) {
  for (const QVACodeText* row = table; row->code != kQVATextSentinel; ++row) {
    if (row->code == code) return row;
  }
  return nullptr;
}

// "0x" and 8 hex digits.
void FormatHexCode(uint32_t code, char* dst) {
  dst[0] = '0';
  dst[1] = 'x';
  FormatHex8(code, dst + 2, 0);
}

}  // namespace

const char* CodeToName(const QVACodeText* table, uint32_t code) {
  thread_local char buffers[2][kNameBufferSize];
  thread_local unsigned next = 0;
  char* out = buffers[next];
  next ^= 1;
  if (const QVACodeText* row = FindCode(table, code)) StrCopyN(out, row->text, kNameBufferSize - 1);
  else FormatHexCode(code, out);
  return out;
}

uint32_t NameToCode(const QVACodeText* table, const char* name) {
  for (const QVACodeText* row = table; row->code != kQVATextSentinel; ++row) {
    if (StrCompareNoCase(row->text, name, -1) == 0) return row->code;
  }
  return kQVATextSentinel;
}

uint32_t NameToCodeOrZero(const QVACodeText* table, const char* name) {
  const uint32_t code = NameToCode(table, name);
  return code == kQVATextSentinel ? 0 : code;
}

const char* FlagsToNames(const QVACodeText* table, uint32_t bits) {
  thread_local char buffer[kFlagsBufferSize];
  std::string names;
  for (const QVACodeText* row = table; row->code != kQVATextSentinel; ++row) {
    if (row->code != 0 && (bits & row->code) == row->code) {
      if (!names.empty()) names += '|';
      names += row->text;
    }
  }
  if (!names.empty()) {
    StrCopyN(buffer, names.c_str(), kFlagsBufferSize - 1);
  } else if (const QVACodeText* row = FindCode(table, bits)) {
    StrCopyN(buffer, row->text, kFlagsBufferSize - 1);
  } else {
    FormatHexCode(bits, buffer);
  }
  return buffer;
}

const void* StatusToText(uint32_t code, uint32_t kind) {
  thread_local char narrow[kStatusTextSize];
  thread_local char16_t utf16[kStatusTextSize];
  thread_local char32_t utf32[kStatusTextSize];
  char text[kStatusTextSize];
  FormatHexCode(code, text);
  text[10] = ' ';
  StrCopyN(text + 11, QVALookupText(StatusNames, code), kStatusTextSize - 12);
  if (kind == kStatusTextUtf16) {
    NarrowToWide(text, utf16);
    return utf16;
  }
  if (kind == kStatusTextUtf32) {
    NarrowToUtf32(text, utf32);
    return utf32;
  }
  StrCopy(narrow, text);
  return narrow;
}
