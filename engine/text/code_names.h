#pragma once
// The engine's display tables and their lookups. Every table has the rows {code, text} and ends
// with the row whose code is 0xFFFFFFFF. The status, state and command texts are the
// framework's; the major type and subtype names are the media tables.
#include <cstdint>

#include "framework/qva_status.h"
#include "media/media_type_names.h"

inline const QVACodeText* const StatusNames = kQVAStatusTexts;
inline const QVACodeText* const GraphStateNames = kQVAStateTexts;
inline const QVACodeText* const CommandNames = kQVACommandTexts;
// The tokenizer's kinds; TIME (0x80) and SYMBOL (0x200) have no name.
extern const QVACodeText TokenTypeNames[];

// The name of the first row with that code, or "0x" and 8 upper-case hex digits. The text lives
// in one of two buffers of the calling thread used in turn, so two results can be used together.
const char* CodeToName(const QVACodeText* table, uint32_t code);
// The code of the first row whose name equals name (without case), else 0xFFFFFFFF.
uint32_t NameToCode(const QVACodeText* table, const char* name);
// As NameToCode, with 0 for a name not found.
uint32_t NameToCodeOrZero(const QVACodeText* table, const char* name);
// The names of every non-zero code whose bits are all set in bits, in table order, joined by
// "|"; without any, the name of the code equal to bits; else "0x" and 8 hex digits. One buffer
// of the calling thread.
const char* FlagsToNames(const QVACodeText* table, uint32_t bits);

// Kinds of StatusToText.
inline constexpr uint32_t kStatusTextNarrow = 1;
inline constexpr uint32_t kStatusTextUtf16 = 2;
inline constexpr uint32_t kStatusTextUtf32 = 4;
// "0x" + 8 hex digits + " " + the status text, as a char (kind 1 and any kind but 2 and 4),
// char16_t (2) or char32_t (4) string in a buffer of the calling thread per kind.
const void* StatusToText(uint32_t code, uint32_t kind);
