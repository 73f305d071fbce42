#pragma once
// Token scanners of the engine's configuration and command texts. Each reads from the start of
// text, writes what it scanned to *dst (when dst is given) and answers the characters consumed,
// leading white space included.
#include <cstdint>
#include <string>

// Letters, digits and "_".
uint32_t ScanIdentifier(const char* text, std::string* dst);
// An identifier; or "-"/"+" directly followed by a digit, with the identifier run behind it;
// or a run of other characters (at least one) up to a letter, digit, white space, "_", ";" or
// the end.
uint32_t ScanToken(const char* text, std::string* dst);
// Everything up to where the text starts with delimiter (compared without case); the delimiter
// is consumed but not copied. Without a delimiter in the text, the rest of it.
uint32_t ScanUntil(const char* text, std::string* dst, const char* delimiter);
// Everything up to the first character of set (not consumed).
uint32_t ScanUntilChars(const char* text, std::string* dst, const char* set);
// The number of leading characters of text that are in set; no white space is skipped.
uint32_t SpanChars(const char* text, const char* set);
// Digits and ":".
uint32_t ScanTime(const char* text, std::string* dst);
// A double-quoted string (no white space skipped): the character after escape is taken as it
// is; an unterminated string ends at the end of the text. A text that does not start with a
// quote gives an empty result and 0. Both quotes are consumed, neither is copied.
uint32_t ScanQuoted(const char* text, std::string* dst, char escape);
// The characters consumed when text (after white space) starts with keyword (without case) and
// the keyword does not run on into a letter, digit or "_"; else 0.
uint32_t MatchKeyword(const char* text, const char* keyword);
