// Token scanners, the path splitter and joiner, and the argument tokenizer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "engine/text/arg_tokenizer.h"
#include "engine/text/engine_paths.h"
#include "engine/text/text_scanners.h"

namespace {

struct ScanCase {
  const char* text;
  std::string expected;
  uint32_t consumed;
};

TEST(TextScanners, ScanIdentifierAndToken) {
  const ScanCase identifiers[] = {
      {"  abc_1 rest", "abc_1", 7}, {"x;", "x", 1}, {";x", "", 0}, {"", "", 0},
  };
  for (const ScanCase& c : identifiers) {
    std::string out = "stale";
    EXPECT_EQ(ScanIdentifier(c.text, &out), c.consumed) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
  }
  const ScanCase tokens[] = {
      {" vtarget[1]", "vtarget", 8}, {"-12x", "-12x", 4},   {"-x", "-", 1},      {"->b", "->", 2},
      {";;", ";", 1},                {"%%a", "%%", 2},      {"+5 ", "+5", 2},    {"  ", "", 2},
  };
  for (const ScanCase& c : tokens) {
    std::string out;
    EXPECT_EQ(ScanToken(c.text, &out), c.consumed) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
  }
}

TEST(TextScanners, ScanUntilDelimitersAndSets) {
  std::string out;
  EXPECT_EQ(ScanUntil(" key END; more", &out, "end;"), 9u);  // delimiter without case, consumed
  EXPECT_EQ(out, "key ");
  EXPECT_EQ(ScanUntil("no delimiter", &out, "]"), 12u);
  EXPECT_EQ(out, "no delimiter");
  EXPECT_EQ(ScanUntilChars("  name = value", &out, "=;"), 7u);
  EXPECT_EQ(out, "name ");
  EXPECT_EQ(SpanChars("  \tx", " \t"), 3u);
  EXPECT_EQ(SpanChars("", " "), 0u);
  EXPECT_EQ(ScanTime(" 1:02:03.5", &out), 8u);
  EXPECT_EQ(out, "1:02:03");
}

TEST(TextScanners, ScanQuotedAndMatchKeyword) {
  std::string out;
  EXPECT_EQ(ScanQuoted(R"("a \"b\" c" tail)", &out, '\\'), 11u);
  EXPECT_EQ(out, R"(a "b" c)");
  EXPECT_EQ(ScanQuoted(R"("open)", &out, '\\'), 5u);
  EXPECT_EQ(out, "open");
  EXPECT_EQ(ScanQuoted("bare", &out, '\\'), 0u);
  EXPECT_EQ(out, "");

  EXPECT_EQ(MatchKeyword("  Solution [x]", "solution"), 10u);
  EXPECT_EQ(MatchKeyword("solutions", "solution"), 0u);
  EXPECT_EQ(MatchKeyword("solution_1", "solution"), 0u);
  EXPECT_EQ(MatchKeyword("sol", "solution"), 0u);
}

TEST(EnginePaths, SplitPathParts) {
  struct Case {
    const char* text;
    bool spaces;
    const char* dir;
    const char* name;
    const char* ext;
    uint32_t consumed;
  };
  const Case cases[] = {
      {"C:\\dir\\file.tar.gz,next", false, "C:\\dir\\", "file.tar.gz", "tar.gz", 18},
      {" /usr/lib/libqvavenc.so", false, "/usr/lib/", "libqvavenc.so", "so", 23},
      {"my dir/a b.so;x", true, "my dir/", "a b.so", "so", 13},
      {"my dir/a b.so", false, "", "my", "", 2},
      {"..", false, "..", "", "", 2},
      {"name", false, "", "name", "", 4},
      {"/caf\xC3\xA9/x.so", false, "/caf\xC3\xA9/", "x.so", "so", 11},
  };
  for (const Case& c : cases) {
    std::string dir, name, ext;
    EXPECT_EQ(SplitPath(c.text, &dir, &name, &ext, c.spaces), c.consumed) << c.text;
    EXPECT_EQ(dir, c.dir) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(ext, c.ext) << c.text;
  }
  EXPECT_EQ(SplitPath("a/b", nullptr, nullptr, nullptr, false), 3u);
}

TEST(EnginePaths, JoinAndResolve) {
  EXPECT_EQ(JoinPath("/lib", "x.so"), "/lib/x.so");
  EXPECT_EQ(JoinPath("/lib/", "x.so"), "/lib/x.so");
  EXPECT_EQ(JoinPath("C:\\lib\\", "x.so"), "C:\\lib\\x.so");
  EXPECT_EQ(JoinPath("", "x.so"), "x.so");
  EXPECT_EQ(JoinPath("/lib", ""), "/lib");

  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(ResolveRootRelativePath("\\qvatengine.cfg"), std::string(cwd) + "/qvatengine.cfg");
  EXPECT_EQ(ResolveRootRelativePath("\\logs\\orxencoder.log"), std::string(cwd) + "/logs/orxencoder.log");
  EXPECT_EQ(ResolveRootRelativePath("/var/log/x.log"), "/var/log/x.log");
  EXPECT_EQ(ResolveRootRelativePath("rel/x.log"), "rel/x.log");
}

TEST(ArgTokenizer, KindsValuesAndText) {
  struct Case {
    const char* text;
    uint32_t kind;
    int64_t value;
    const char* tokenText;
    uint32_t consumed;
  };
  const Case cases[] = {
      {"50%", TOKEN_PERCENT, 50, "50%", 3},
      {"0:01:30", TOKEN_TIME, 90000, "0:01:30", 7},
      {"  play now", TOKEN_IDENTIFIER, 0, "play", 6},
      {"0x1F;", TOKEN_INTEGER, 31, "0x1F", 4},
      {"-0x10", TOKEN_INTEGER, -16, "-0x10", 5},
      {"+7", TOKEN_INTEGER, 7, "+7", 2},
      {"0b101", TOKEN_INTEGER, 5, "0b101", 5},
      {R"( "a \"q\"" x)", TOKEN_STRING, 0, R"(a "q")", 10},
      {"{a, b} c", TOKEN_BRACED, 0, "a, b", 6},
      {"(1,2", TOKEN_PARENS, 0, "1,2", 4},
      {"-> b", TOKEN_SYMBOL, 0, "->", 2},
      {"=5", TOKEN_SYMBOL, 0, "=", 1},
  };
  for (const Case& c : cases) {
    ArgToken token;
    ASSERT_EQ(TokenizeArgs(c.text, &token), 0u) << c.text;
    EXPECT_EQ(token.kind, c.kind) << c.text;
    EXPECT_EQ(token.value, c.value) << c.text;
    EXPECT_EQ(token.text, c.tokenText) << c.text;
    EXPECT_EQ(token.consumed, c.consumed) << c.text;
  }
  for (const char* none : {"", "   ", "_x"}) {
    ArgToken token;
    EXPECT_EQ(TokenizeArgs(none, &token), 32u) << "'" << none << "'";
  }
}

}  // namespace
