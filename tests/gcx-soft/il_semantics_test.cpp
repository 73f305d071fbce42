// The IL subset, one short program per row, each result compared with the value computed here.
// A row's program reads its literals and leaves its result in r0, which goes to a one-element
// plane of four 32-bit words (format 6), so every result is compared bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/gcx-soft/soft_gpu.h"

namespace orx::test::gcxsoft {
namespace {

uint32_t Fw(float f) { return std::bit_cast<uint32_t>(f); }

struct OpRow {
  const char* name;
  const char* literals;  // dcl_literal lines
  const char* body;      // leaves the result in r0
  uint32_t expected[4];
};

std::string RowProgram(const OpRow& row) {
  return std::string(" il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n dcl_output_generic o0 \n") +
         row.literals + "\n" + row.body + "\n mov o0, r0 \n ret_dyn \n end \n";
}

// A value whose single-precision sum in any order loses the 1: 1e8 + 1 - 1e8.
const float kBig = 1.0e8f;

TEST(IlSemantics, EveryOpcodeWithEdgeValues) {
  const uint32_t one = Fw(1.0f);
  const OpRow rows[] = {
      {.name = "add", .literals = "dcl_literal l0, 1.5f, -2.0f, 0.25f, 3.0f", .body = "add r0, l0, l0.yxwz",
       .expected = {Fw(-0.5f), Fw(-0.5f), Fw(3.25f), Fw(3.25f)}},
      {.name = "mul", .literals = "dcl_literal l0, 1.5f, -2.0f, 0.25f, 3.0f", .body = "mul r0, l0, l0",
       .expected = {Fw(2.25f), Fw(4.0f), Fw(0.0625f), Fw(9.0f)}},
      // (1 + 2^-12)^2 rounds to 1 + 2^-11 before the add: unfused, the sum is exactly 0.
      {.name = "mad rounds twice", .literals = "dcl_literal l0, 0, 0x3f800800, 0xbf801000, 0",
       .body = "mad r0, l0.yyyy, l0.yyyy, l0.zzzz", .expected = {0, 0, 0, 0}},
      {.name = "dp4 accumulates in double", .literals = "dcl_literal l0, 100000000.0f, 1.0f, -100000000.0f, 0.0f \n dcl_literal l1, 1.0f, 1.0f, 1.0f, 1.0f",
       .body = "dp4 r0, l0, l1", .expected = {one, one, one, one}},
      {.name = "trc flr frc of -0.5 and -1.25", .literals = "dcl_literal l0, -0.5f, -1.25f, 2.75f, 0",
       .body = "trc r0.x, l0.x \n flr r0.y, l0.x \n frc r0.z, l0.y \n trc r0.w, l0.z",
       .expected = {0x80000000u, Fw(-1.0f), Fw(0.75f), Fw(2.0f)}},
      {.name = "abs min max", .literals = "dcl_literal l0, -3.0f, 2.0f, 0, 0",
       .body = "abs r0.x, l0.x \n min r0.y, l0.x, l0.y \n max r0.z, l0.x, l0.y \n mov r0.w, l0.x_abs",
       .expected = {Fw(3.0f), Fw(-3.0f), Fw(2.0f), Fw(3.0f)}},
      {.name = "float compares", .literals = "dcl_literal l0, 1.0f, 2.0f, 0, 0",
       .body = "lt r0.x, l0.x, l0.y \n ge r0.y, l0.x, l0.y \n eq r0.z, l0.x, l0.x \n ne r0.w, l0.x, l0.x",
       .expected = {0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0}},
      {.name = "iadd imad umul", .literals = "dcl_literal l0, 0xfffffffe, 3, 7, 0x10000",
       .body = "iadd r0.x, l0.x, l0.y \n imad r0.y, l0.y, l0.z, l0.x \n umul r0.z, l0.w, l0.w \n umul r0.w, l0.x, l0.y",
       .expected = {1, 19, 0, 0xFFFFFFFAu}},
      {.name = "umul_high of 0xFFFFFFFF", .literals = "dcl_literal l0, 0xffffffff, 0x80000000, 2, 0",
       .body = "umul_high r0.x, l0.x, l0.x \n umul_high r0.y, l0.y, l0.z \n umul_high r0.z, l0.x, l0.z \n mov r0.w, l0.w",
       .expected = {0xFFFFFFFEu, 1, 1, 0}},
      {.name = "shifts, also of a negative", .literals = "dcl_literal l0, -8, 1, 0x80000000, 36",
       .body = "ishr r0.x, l0.x, l0.y \n ushr r0.y, l0.x, l0.y \n ishl r0.z, l0.y, l0.w \n ishr r0.w, l0.z, l0.w",
       .expected = {0xFFFFFFFCu, 0x7FFFFFFCu, 16, 0xF8000000u}},
      {.name = "and ior xor", .literals = "dcl_literal l0, 0xff00ff00, 0x0ff00ff0, 0, 0",
       .body = "and r0.x, l0.x, l0.y \n ior r0.y, l0.x, l0.y \n xor r0.z, l0.x, l0.y \n mov r0.w, l0.z",
       .expected = {0x0F000F00u, 0xFFF0FFF0u, 0xF0F0F0F0u, 0}},
      {.name = "integer compares are signed", .literals = "dcl_literal l0, -1, 1, 0, 0",
       .body = "ilt r0.x, l0.x, l0.y \n ige r0.y, l0.x, l0.y \n ieq r0.z, l0.z, l0.w \n ine r0.w, l0.x, l0.y",
       .expected = {0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}},
      {.name = "imin imax are signed", .literals = "dcl_literal l0, -5, 3, 0, 0",
       .body = "imin r0.x, l0.x, l0.y \n imax r0.y, l0.x, l0.y \n imin r0.zw, l0.zz, l0.yy",
       .expected = {0xFFFFFFFBu, 3, 0, 0}},
      {.name = "ftoi of -2.5 and 3e9, ftou", .literals = "dcl_literal l0, -2.5f, 3000000000.0f, -1.0f, 0",
       .body = "ftoi r0.x, l0.x \n ftoi r0.y, l0.y \n ftou r0.z, l0.y \n ftou r0.w, l0.z",
       .expected = {0xFFFFFFFEu, 0x7FFFFFFFu, 3000000000u, 0}},
      {.name = "itof utof", .literals = "dcl_literal l0, -3, 0xffffffff, 16777217, 0",
       .body = "itof r0.x, l0.x \n utof r0.y, l0.y \n itof r0.z, l0.z \n utof r0.w, l0.w",
       .expected = {Fw(-3.0f), Fw(4294967296.0f), Fw(16777216.0f), 0}},
      {.name = "cmov_logical", .literals = "dcl_literal l0, 0, 1, 2.0f, 3.0f",
       .body = "cmov_logical r0, l0.xyxy, l0.zzzz, l0.wwww", .expected = {Fw(3.0f), Fw(2.0f), Fw(3.0f), Fw(2.0f)}},
      // The literal keeps raw bits: l4.x is the float 255, l4.y the integer 8.
      {.name = "literal raw bits", .literals = "dcl_literal l4, 255.0f, 8, 16, 24 \n dcl_literal l1, 0.5f, 1, 0xffff, 0.25f",
       .body = "mul r0.x, l1.x, l4.x \n ishl r0.y, l1.y, l4.y \n ishl r0.z, l1.z, l4.z \n mul r0.w, l1.w, l4.x",
       .expected = {Fw(127.5f), 256, 0xFFFF0000u, Fw(63.75f)}},
      {.name = "swizzle", .literals = "dcl_literal l0, 1, 2, 3, 4", .body = "mov r0, l0.wzyx", .expected = {4, 3, 2, 1}},
      {.name = "one-letter swizzle", .literals = "dcl_literal l0, 1, 2, 3, 4", .body = "mov r0, l0.y", .expected = {2, 2, 2, 2}},
      {.name = "positional mask keeps the rest", .literals = "dcl_literal l0, 1, 2, 3, 4 \n dcl_literal l1, 9, 9, 9, 9",
       .body = "mov r0, l1 \n mov r0.xy__, l0", .expected = {1, 2, 9, 9}},
      {.name = "lettered mask", .literals = "dcl_literal l0, 1, 2, 3, 4", .body = "mov r0.yw, l0.xxzz", .expected = {0, 1, 0, 3}},
      {.name = "swap through a swizzle", .literals = "dcl_literal l0, 1, 2, 3, 4",
       .body = "mov r0, l0 \n mov r0.xy, r0.yx", .expected = {2, 1, 3, 4}},
      {.name = "negate and abs modifiers", .literals = "dcl_literal l0, 1.5f, -2.0f, 0, 0",
       .body = "mov r0.x, -l0.x \n mov r0.y, -l0.y \n add r0.z, l0.y_abs, l0.x \n mov r0.w, -l0.y_abs",
       .expected = {Fw(-1.5f), Fw(2.0f), Fw(3.5f), Fw(-2.0f)}},
      {.name = "high registers", .literals = "dcl_literal l0, 5, 6, 7, 8",
       .body = "mov r127, l0 \n mov r60.x, r127.w \n mov r0, r60.xxxx", .expected = {8, 8, 8, 8}},
  };
  SoftGpu gpu;
  Plane out = gpu.NewPlane(1, 1, 6);
  for (const OpRow& row : rows) {
    SCOPED_TRACE(row.name);
    uint32_t module = gpu.Load(RowProgram(row));
    if (module == 0) continue;
    gpu.Bind(module, "o0", out);
    ASSERT_EQ(gpu.Run(module, 0, 0, 1, 1), 0) << RuntimeError();
    uint32_t words[4];
    std::memcpy(words, out.data, 16);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(words[c], row.expected[c]) << "component " << c;
  }
  (void)kBig;
}

// Single accumulation (in any order) of the dp4 row above gives 0, the double sum 1.
TEST(IlSemantics, Dp4ReferenceDiffersFromSingleSum) {
  volatile float a = kBig, b = 1.0f, c = -kBig;
  float single = (a * 1.0f + b * 1.0f) + c * 1.0f;
  EXPECT_EQ(single, 0.0f);
}

// The element position is the centre of the element; control flow takes each element's own
// path: a divergent if, a loop each element leaves after its own count, a discard.
TEST(IlSemantics, PositionsAndControlFlowPerElement) {
  SoftGpu gpu;
  const uint32_t width = 70, height = 3;  // more than one wavefront, a partial last one
  Plane out = gpu.NewPlane(width, height, 6);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) std::memset(out.Element(x, y), 0xAB, 16);
  const std::string text =
      " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n dcl_output_generic o0 \n"
      " dcl_literal l0, 0, 1, 3.0f, 5 \n"
      " flr r1.xy, v0.xy \n ftoi r2.xy, r1.xy \n"
      " ; x: the position's x bits \n mov r0.x, v0.x \n"
      " ; y: 1 for columns below 3, else 2 \n lt r3.x, v0.x, l0.z \n"
      " if_logical r3.x \n mov r0.y, l0.y \n else \n iadd r0.y, l0.y, l0.y \n endif \n"
      " ; z: count up to the column, leaving the loop at the count \n mov r0.z, l0.x \n"
      " whileloop \n ige r4.x, r0.z, r2.x \n break_logical r4.x \n iadd r0.z, r0.z, l0.y \n endloop \n"
      " ; w: the row \n mov r0.w, r2.y \n"
      " ; every element of column 5 discards itself \n ieq r5.x, r2.x, l0.w \n discard_logical r5.x \n"
      " mov o0, r0 \n ret_dyn \n end \n";
  uint32_t module = gpu.Load(text);
  ASSERT_NE(module, 0u);
  gpu.Bind(module, "o0", out);
  ASSERT_EQ(gpu.Run(module, 0, 0, width, height), 0) << RuntimeError();
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      SCOPED_TRACE("element " + std::to_string(x) + "," + std::to_string(y));
      uint32_t words[4];
      std::memcpy(words, out.Element(x, y), 16);
      if (x == 5) {
        EXPECT_EQ(words[0], 0xABABABABu);  // discarded: the element keeps what it held
        continue;
      }
      EXPECT_EQ(words[0], Fw(static_cast<float>(x) + 0.5f));
      EXPECT_EQ(words[1], x < 3 ? 1u : 2u);
      EXPECT_EQ(words[2], x);
      EXPECT_EQ(words[3], y);
    }
  }
}

// A register the program reads before writing it on every path reads 0 in every element, in
// every wavefront: column 0 writes r1 inside an if, every other element reads it unwritten.
TEST(IlSemantics, UnwrittenRegistersReadZero) {
  SoftGpu gpu;
  const uint32_t width = 70, height = 2;
  Plane out = gpu.NewPlane(width, height, 6);
  uint32_t module = gpu.Load(
      " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n dcl_output_generic o0 \n"
      " dcl_literal l0, 1.0f, 7, 0, 0 \n lt r2.x, v0.x, l0.x \n if_logical r2.x \n mov r1.x, l0.y \n endif \n"
      " mov r0.x, r1.x \n mov r0.y, r5.z \n mov o0.xy, r0.xy \n end \n");
  gpu.Bind(module, "o0", out);
  ASSERT_EQ(gpu.Run(module, 0, 0, width, height), 0) << RuntimeError();
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t words[4];
      std::memcpy(words, out.Element(x, y), 16);
      EXPECT_EQ(words[0], x == 0 ? 7u : 0u) << x << "," << y;
      EXPECT_EQ(words[1], 0u) << x << "," << y;
      EXPECT_EQ(words[2], 0u) << x << "," << y;
    }
}

// A pass whose output is also its input reads only the values from before the run: each
// element takes its left neighbour plus one, so the plane shifts by one instead of filling
// with a running count.
TEST(IlSemantics, InPlacePassReadsOldValues) {
  SoftGpu gpu;
  const uint32_t width = 200, height = 2;
  Plane plane = gpu.NewPlane(width, height, 11);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      float v = static_cast<float>(x * 10 + y);
      std::memcpy(plane.Element(x, y), &v, 4);
    }
  const std::string text =
      " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
      " dcl_resource_id(0)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n"
      " dcl_output_generic o0 \n dcl_literal l0, -1.0f, 0.0f, 1.0f, 0 \n"
      " add r0.xy, v0.xy, l0.xy \n sample_resource(0)_sampler(0) r1, r0.xyxx \n add o0, r1, l0.zzzz \n end \n";
  uint32_t module = gpu.Load(text);
  ASSERT_NE(module, 0u);
  gpu.Bind(module, "i0", plane);
  gpu.Bind(module, "o0", plane);
  ASSERT_EQ(gpu.Run(module, 0, 0, width, height), 0) << RuntimeError();
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      float v;
      std::memcpy(&v, plane.Element(x, y), 4);
      float old = static_cast<float>((x == 0 ? 0 : x - 1) * 10 + y);
      EXPECT_EQ(v, old + 1.0f) << x << "," << y;
    }
}

}  // namespace
}  // namespace orx::test::gcxsoft
