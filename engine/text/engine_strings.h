#pragma once
// The engine's plain string routines: copies, lengths, a case-blind comparison and the copies
// between narrow, UTF-16 and UTF-32 strings. Narrow texts are NUL-terminated; the wide copies
// keep (or widen) one character per character, as the loader's and the command interpreter's
// callers expect.
#include <cstdint>

// White space of the engine's texts: blank, tab, CR and LF.
constexpr bool IsTextWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool IsTextDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsTextLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Copies src with its terminator.
void StrCopy(char* dst, const char* src);
// Copies at most n characters of src and always terminates (dst holds n + 1 characters).
void StrCopyN(char* dst, const char* src, uint32_t n);
void StrAppend(char* dst, const char* src);
uint32_t StrLength(const char* text);

// Compares the upper-cased ASCII characters of a and b; CR and LF end a string like NUL.
// n = -1 compares the whole strings; n = 0 answers equal as soon as either string ends (a prefix
// match); n > 0 compares at most the first n characters. Answers -1, 0 or 1.
int32_t StrCompareNoCase(const char* a, const char* b, int32_t n);

// Each answers the number of characters copied (terminator not counted).
// Keeps the low byte of each UTF-16 character.
uint32_t WideToNarrow(const char16_t* src, char* dst);
uint32_t NarrowToWide(const char* src, char16_t* dst);
uint32_t NarrowToUtf32(const char* src, char32_t* dst);
// Keeps the low byte of each UTF-32 character.
uint32_t Utf32ToNarrow(const char32_t* src, char* dst);
