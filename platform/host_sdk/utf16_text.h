#pragma once
// The host's texts are UTF-16; the system's own texts are UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace orx::host_sdk {

std::u16string Utf8ToUtf16(std::string_view text);

// Reads a terminated UTF-16 text of at most maxChars units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, size_t maxChars = static_cast<size_t>(-1));

// Like Utf16ToUtf8, cut at a character boundary so that the result has at most maxBytes bytes.
std::string Utf16ToUtf8Bounded(const char16_t* text, size_t maxChars, size_t maxBytes);

// Reads a terminated UTF-32 text; values that are no code point become U+FFFD.
std::string Utf32ToUtf8(const char32_t* text);

// Copies text into a UTF-16 buffer of capacity units, terminator included (so at most
// capacity - 1 units of text); never splits a surrogate pair.
void CopyToUtf16(char16_t* destination, size_t capacity, std::string_view utf8);

// Length of a terminated UTF-16 text, at most maxChars.
size_t Utf16Length(const char16_t* text, size_t maxChars);

}  // namespace orx::host_sdk
