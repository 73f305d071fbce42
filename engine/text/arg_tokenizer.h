#pragma once
// The tokenizer of the engine's command strings and configuration values.
#include <cstdint>
#include <string>

// Kinds of ArgToken (TokenTypeNames names the first eight).
enum TokenType : uint32_t {
  TOKEN_UNKNOWN = 0,
  TOKEN_KEYWORD = 0x1,
  TOKEN_IDENTIFIER = 0x2,
  TOKEN_STRING = 0x4,
  TOKEN_INTEGER = 0x8,
  TOKEN_PERCENT = 0x10,
  TOKEN_BRACED = 0x20,
  TOKEN_PARENS = 0x40,
  TOKEN_TIME = 0x80,
  TOKEN_SYMBOL = 0x200,
};

struct ArgToken {
  uint32_t kind = TOKEN_UNKNOWN;  // TokenType
  uint32_t consumed = 0;          // characters of the text, leading white space included
  int64_t value = 0;              // an integer, or milliseconds for TOKEN_TIME
  std::string text;
};

// Reads the next token of text into *token: a quoted STRING ("\" escapes), a BRACED or PARENS
// group (the text between the brackets; the closing one is consumed), an INTEGER (PERCENT when
// "%" follows, TIME when ":" follows), an IDENTIFIER or a SYMBOL run. Answers 0, or 32 when there
// is no token (end of text, or a token starting with "_").
uint32_t TokenizeArgs(const char* text, ArgToken* token);
