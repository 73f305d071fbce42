// The engine's string, number and time routines: the documented examples, and cross-checks of
// the comparison and the integer parser against the C library on random texts.
#include <gtest/gtest.h>

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "engine/text/engine_strings.h"
#include "engine/text/number_text.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(EngineStrings, CompareNoCaseExamples) {
  struct Case {
    const char* a;
    const char* b;
    int32_t n;
    int32_t expected;
  };
  const Case cases[] = {
      {"abc", "ABCD", 0, 0},    // prefix match: equal as soon as either ends
      {"abc", "ABCD", -1, -1},  // whole strings
      {"ABCD", "abc", -1, 1},
      {"abc", "ABD", 2, 0},     // first n characters
      {"abc", "ABD", 3, -1},
      {"abc\r\nxyz", "ABC", -1, 0},  // CR and LF end a string
      {"abc\n", "abc\r", -1, 0},
      {"", "", -1, 0},
      {"", "a", 0, 0},
      {"a_", "A^", -1, 1},  // upper-cased: '_' (0x5F) above '^' (0x5E)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrCompareNoCase(c.a, c.b, c.n), c.expected) << c.a << " / " << c.b << " n=" << c.n;
  }
}

TEST(EngineStrings, CompareNoCaseAgreesWithStrncasecmp) {
  std::mt19937 rng(20250601);
  // Letters, digits and characters below 'A', where upper- and lower-case ordering agree.
  const std::string alphabet = "aAbBcCzZyY0189 -.";
  auto randomText = [&] {
    std::string s(rng() % 6, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 5000; ++i) {
    const std::string a = randomText();
    const std::string b = rng() % 3 == 0 ? a : randomText();
    const int32_t n = static_cast<int32_t>(rng() % 7);
    SCOPED_TRACE("'" + a + "' '" + b + "' n=" + std::to_string(n));
    EXPECT_EQ(StrCompareNoCase(a.c_str(), b.c_str(), -1), Sign(strcasecmp(a.c_str(), b.c_str())));
    if (n > 0) {
      EXPECT_EQ(StrCompareNoCase(a.c_str(), b.c_str(), n), Sign(strncasecmp(a.c_str(), b.c_str(), n)));
    }
  }
}

TEST(EngineStrings, CopiesAppendAndLength) {
  char buffer[16];
  StrCopy(buffer, "abc");
  StrAppend(buffer, "def");
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(StrLength(buffer), 6u);
  std::memset(buffer, 'x', sizeof buffer);
  StrCopyN(buffer, "abcdef", 4);
  EXPECT_STREQ(buffer, "abcd");
  StrCopyN(buffer, "ab", 4);
  EXPECT_STREQ(buffer, "ab");
}

TEST(EngineStrings, WideCopiesKeepOrWidenOneCharacterEach) {
  char narrow[8];
  EXPECT_EQ(WideToNarrow(u"A\u0142z", narrow), 3u);  // U+0142 keeps its low byte 0x42
  EXPECT_STREQ(narrow, "ABz");
  EXPECT_EQ(Utf32ToNarrow(U"x\U0001F641", narrow), 2u);
  EXPECT_EQ(static_cast<unsigned char>(narrow[1]), 0x41u);
  char16_t wide[8];
  EXPECT_EQ(NarrowToWide("a\xE9", wide), 2u);  // bytes widen unsigned
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[2], 0);
  char32_t wide32[8];
  EXPECT_EQ(NarrowToUtf32("ok", wide32), 2u);
  EXPECT_EQ(wide32[0], U'o');
  EXPECT_EQ(wide32[2], 0u);
}

TEST(NumberText, ParseIntExamples) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"ff", 255},   {"-0x10", -16}, {"0b101", 5},  {"+42", 42},   {"123abc", 123}, {"0x1G", 1},
      {"Bad", 0xBAD}, {"0b", 0},      {"", 0},       {"-", 0},      {"0X7fffffff", 0x7fffffff},
      {"g12", 0},    {"0b102", 2},   {"-2147483648", INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInt(c.text), c.expected) << c.text;
}

TEST(NumberText, ParseIntAgreesWithStrtol) {
  std::mt19937 rng(777);
  for (int i = 0; i < 5000; ++i) {
    const int32_t value = static_cast<int32_t>(rng());
    const bool hex = rng() % 2 == 0;
    char text[40];
    if (hex) {
      std::snprintf(text, sizeof text, "%s0x%x%s", value < 0 ? "-" : "", value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value),
                    rng() % 2 ? "zz" : "");
    } else {
      std::snprintf(text, sizeof text, "%d%s", value, rng() % 2 ? ";x" : "");
    }
    EXPECT_EQ(ParseInt(text), static_cast<int32_t>(std::strtol(text, nullptr, hex ? 16 : 10))) << text;
  }
}

TEST(NumberText, TimesParseAndFormat) {
  EXPECT_EQ(ParseTime("1:02:03"), 3723000);
  EXPECT_EQ(ParseTime("45"), 45);  // one number is taken as it is
  EXPECT_EQ(ParseTime("  0:01:30"), 90000);
  EXPECT_EQ(ParseTime("2:30"), 150000);
  EXPECT_EQ(ParseTime("1:00:00:01"), 216001000);
  EXPECT_EQ(ParseTime("x1:00"), 0);
  EXPECT_EQ(ParseTime(""), 0);

  struct Case {
    int64_t ms;
    const char* expected;
  };
  const Case cases[] = {
      {-3723004, "-1:02:03.004"},
      {0, "0:00:00.000"},
      {3599999, "0:59:59.999"},
      {INT64_MIN, "-2562047788015:1"},  // cut at 16 characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ms);
    char text[32];
    EXPECT_EQ(FormatTime(c.ms, text, sizeof text), std::strlen(c.expected));
    EXPECT_STREQ(text, c.expected);
  }
  char small[5];
  EXPECT_EQ(FormatTime(3723004, small, sizeof small), 4u);
  EXPECT_STREQ(small, "1:02");
}

TEST(NumberText, FormatIntAndHex) {
  struct Case {
    uint32_t value;
    uint32_t radix;
    bool isSigned;
    uint32_t minDigits;
    const char* expected;
  };
  const Case cases[] = {
      {0, kRadixDecimal, true, 0, "0"},
      {255, kRadixHex, false, 0, "FF"},
      {255, kRadixHex, false, 4, "00FF"},
      {static_cast<uint32_t>(-12), kRadixDecimal, true, 0, "-12"},
      {static_cast<uint32_t>(-12), kRadixDecimal, false, 0, "4294967284"},
      {8, kRadixOctal, false, 0, "10"},
      {5, kRadixBinary, false, 8, "00000101"},
      {0x80000000u, kRadixBinary, false, 0, "10000000000000000000000000000000"},
      {7, 3, false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in radix " << c.radix << (c.isSigned ? " signed" : "")
                                    << " at least " << c.minDigits << " digits");
    char text[40];
    EXPECT_EQ(FormatInt(c.value, c.radix, c.isSigned, c.minDigits, text, sizeof text), std::strlen(c.expected));
    EXPECT_STREQ(text, c.expected);
  }
  char hex[9];
  EXPECT_EQ(FormatHex8(0xBEEF, hex, 0), 8u);
  EXPECT_STREQ(hex, "0000BEEF");
  char cut[5];
  EXPECT_EQ(FormatHex8(0x12345678, cut, sizeof cut), 4u);
  EXPECT_STREQ(cut, "1234");
}

}  // namespace
