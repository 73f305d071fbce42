#include "engine/text/arg_tokenizer.h"

#include "engine/text/engine_strings.h"
#include "engine/text/number_text.h"
#include "engine/text/text_scanners.h"
#include "framework/qva_status.h"

namespace {

// The text between open and its closing character; consumed past the closing one.
uint32_t ScanGroup(const char* text, char close, std::string* dst) {
  uint32_t end = 1;
  while (text[end] != '\0' && text[end] != close) ++end;
  dst->assign(text + 1, end - 1);
  return text[end] == close ? end + 1 : end;
}

bool StartsNumber(const char* p) {
  return IsTextDigit(p[0]) || ((p[0] == '-' || p[0] == '+') && IsTextDigit(p[1]));
}

}  // namespace

uint32_t TokenizeArgs(const char* text, ArgToken* token) {
  uint32_t skipped = 0;
  while (IsTextWhiteSpace(text[skipped])) ++skipped;
  const char* start = text + skipped;
  *token = ArgToken{};
  uint32_t length = 0;
  const char first = *start;
  if (first == '"') {
    token->kind = TOKEN_STRING;
    length = ScanQuoted(start, &token->text, '\\');
  } else if (first == '{') {
    token->kind = TOKEN_BRACED;
    length = ScanGroup(start, '}', &token->text);
  } else if (first == '(') {
    token->kind = TOKEN_PARENS;
    length = ScanGroup(start, ')', &token->text);
  } else if (StartsNumber(start)) {
    length = ScanToken(start, &token->text);
    token->kind = TOKEN_INTEGER;
    token->value = ParseInt(start);
    if (start[length] == '%') {
      token->kind = TOKEN_PERCENT;
      token->text += '%';
      ++length;
    } else if (start[length] == ':' && IsTextDigit(first)) {
      token->kind = TOKEN_TIME;
      length = ScanTime(start, &token->text);
      token->value = ParseTime(token->text.c_str());
    }
  } else if (IsTextLetter(first)) {
    token->kind = TOKEN_IDENTIFIER;
    length = ScanToken(start, &token->text);
  } else if (first != '\0' && first != '_') {
    token->kind = TOKEN_SYMBOL;
    length = ScanToken(start, &token->text);
  } else {
    return QVA_ERR_SYNTAX;
  }
  token->consumed = skipped + length;
  return QVA_SUCCESS;
}
