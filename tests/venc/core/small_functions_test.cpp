// The encoder's small shared functions: rounding, fractions, bit patching, debug text, the
// median of three.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/venc/common/debug_capture.h"
#include "venc/common/debug_printf.h"
#include "venc/common/median.h"
#include "venc/core/fraction.h"
#include "venc/core/put_bits_at.h"
#include "venc/core/rounding.h"

namespace {

using namespace orx::venc;

TEST(Rounding, NearestWithTiesToEven) {
  struct Case {
    double value;
    int expected;
  };
  for (Case c : {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{-3.5, -4}, Case{2.4999, 2},
                 Case{2.5001, 3}, Case{-0.6, -1}, Case{7.0, 7}}) {
    EXPECT_EQ(RoundToInt(c.value), c.expected) << c.value;
  }
  EXPECT_EQ(RoundToInt64(6442450944.5), 6442450944);
  EXPECT_EQ(RoundToInt64(-6442450945.5), -6442450946);
}

TEST(ReduceFraction, Table) {
  struct Case {
    int a, b, ra, rb;
  };
  for (Case c : {Case{1920, 1080, 16, 9}, Case{0, 5, 0, 1}, Case{0, -5, 0, -1}, Case{0, 0, 0, 0},
                 Case{-4, 6, -2, 3}, Case{7, 13, 7, 13}, Case{720, 576, 5, 4}}) {
    int a = c.a;
    int b = c.b;
    ReduceFraction(&a, &b);
    EXPECT_EQ(a, c.ra) << c.a << ":" << c.b;
    EXPECT_EQ(b, c.rb) << c.a << ":" << c.b;
  }
}

// Random writes into a buffer match a model that keeps the bits as a string of '0'/'1'.
TEST(PutBitsAt, MatchesABitStringModel) {
  std::mt19937 random(20240601);
  std::vector<uint8_t> buffer(64);
  std::string model(buffer.size() * 8, '0');
  for (uint8_t& byte : buffer) byte = static_cast<uint8_t>(random());
  for (size_t i = 0; i < model.size(); ++i) model[i] = (buffer[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  for (int round = 0; round < 2000; ++round) {
    const int n = static_cast<int>(random() % 33);
    const int position = static_cast<int>(random() % (model.size() - n + 1));
    const uint32_t value = static_cast<uint32_t>(random());
    PutBitsAt(position, buffer.data(), value, n);
    for (int i = 0; i < n; ++i) model[position + i] = (value >> (n - 1 - i)) & 1 ? '1' : '0';
  }
  std::string written;
  for (uint8_t byte : buffer) {
    for (int bit = 7; bit >= 0; --bit) written += (byte >> bit) & 1 ? '1' : '0';
  }
  EXPECT_EQ(written, model);
}

TEST(DebugPrintf, FormatsAndCutsLongText) {
  test::DebugCapture capture;
  DebugPrintf("q=%d %s\n", 8, "ok");
  EXPECT_EQ(capture.Text(), "q=8 ok\n");
  capture.Clear();
  const std::string longText(2000, 'x');
  DebugPrintf("%s", longText.c_str());
  EXPECT_EQ(capture.Text(), std::string(1023, 'x'));
}

TEST(Median3, TheMiddleOfThreeWhateverTheirOrder) {
  const struct {
    const char* name;
    int a, b, c, median;
  } rows[] = {
      {.name = "ascending", .a = -4, .b = 0, .c = 9, .median = 0},
      {.name = "descending", .a = 9, .b = 0, .c = -4, .median = 0},
      {.name = "middle last", .a = 9, .b = -4, .c = 0, .median = 0},
      {.name = "two equal", .a = 3, .b = 7, .c = 3, .median = 3},
      {.name = "all equal", .a = -2, .b = -2, .c = -2, .median = -2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Median3(row.a, row.b, row.c), row.median);
  }
}

}  // namespace
