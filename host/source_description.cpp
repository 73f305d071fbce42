#include "host/source_description.h"

#include <cstdio>
#include <cstdlib>

#include "support/y4m.h"

namespace orx::host {

bool ParseFrameRate(const std::string& text, int32_t& num, int32_t& den) {
  if (text == "29.97") { num = 30000; den = 1001; return true; }
  if (text == "23.976") { num = 24000; den = 1001; return true; }
  if (text == "59.94") { num = 60000; den = 1001; return true; }
  size_t slash = text.find('/');
  if (slash != std::string::npos) {
    char* e1 = nullptr;
    char* e2 = nullptr;
    std::string a = text.substr(0, slash), b = text.substr(slash + 1);
    long n = std::strtol(a.c_str(), &e1, 10);
    long d = std::strtol(b.c_str(), &e2, 10);
    if (a.empty() || b.empty() || *e1 || *e2 || n < 0 || d <= 0 || n > 1000000 || d > 1000000) return false;
    num = static_cast<int32_t>(n);
    den = static_cast<int32_t>(d);
    return true;
  }
  // A decimal number: as many tenths, hundredths, ... as written.
  size_t dot = text.find('.');
  std::string digits = dot == std::string::npos ? text : text.substr(0, dot) + text.substr(dot + 1);
  size_t decimals = dot == std::string::npos ? 0 : text.size() - dot - 1;
  if (digits.empty() || decimals > 3 || digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  long value = std::strtol(digits.c_str(), nullptr, 10);
  long scale = 1;
  for (size_t i = 0; i < decimals; ++i) scale *= 10;
  if (value > 1000000) return false;
  num = static_cast<int32_t>(value);
  den = static_cast<int32_t>(scale);
  return true;
}

bool ParsePattern(const std::string& text, SourceDescription& out, std::string& error) {
  size_t x = text.find('x');
  size_t at = text.find('@');
  if (x == std::string::npos || at == std::string::npos || at < x) {
    error = "a pattern is WIDTHxHEIGHT@RATE, e.g. 720x480@29.97";
    return false;
  }
  std::string w = text.substr(0, x), h = text.substr(x + 1, at - x - 1);
  char* e1 = nullptr;
  char* e2 = nullptr;
  long width = std::strtol(w.c_str(), &e1, 10);
  long height = std::strtol(h.c_str(), &e2, 10);
  if (w.empty() || h.empty() || *e1 || *e2 || width < 0 || height < 0 || width > 8192 ||
      height > 8192) {
    error = "bad frame size in pattern " + text;
    return false;
  }
  if (!ParseFrameRate(text.substr(at + 1), out.rateNum, out.rateDen)) {
    error = "bad frame rate in pattern " + text;
    return false;
  }
  out.width = static_cast<int32_t>(width);
  out.height = static_cast<int32_t>(height);
  out.parNum = out.parDen = 1;
  return true;
}

void DescribeY4mSource(const support::Y4mHeader& h, SourceDescription& out) {
  out.width = h.width;
  out.height = h.height;
  out.rateNum = h.rateNum;
  out.rateDen = h.rateDen;
  // An unknown aspect (0:0) is taken as square pixels.
  out.parNum = h.aspectNum > 0 && h.aspectDen > 0 ? h.aspectNum : 1;
  out.parDen = h.aspectNum > 0 && h.aspectDen > 0 ? h.aspectDen : 1;
}

bool SourceRateUsable(const SourceDescription& source, std::string& error) {
  // Both parts are positive 32-bit numbers here, so the products cannot overflow.
  int64_t num = source.rateNum, den = source.rateDen;
  if (num <= 0 || den <= 0 || num * kMinSourceRateDen < den || num > den * kMaxSourceFrameRate) {
    error = "the source's frame rate " + std::to_string(num) + "/" + std::to_string(den) +
            " is outside what the host renders (1 frame per 10 s to " +
            std::to_string(kMaxSourceFrameRate) + " frames per second)";
    return false;
  }
  return true;
}

}  // namespace orx::host
