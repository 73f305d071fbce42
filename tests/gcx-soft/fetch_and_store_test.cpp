// Fetches and stores: positions truncated toward zero and each texel index clamped on its own,
// the point and the four-texel fetch, and every format's read and write scale.
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
uint32_t U8(int v) { return Fw(static_cast<float>(v / 255.0)); }

std::string Hex(uint32_t w) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08x", w);
  return text;
}

// Samples resource 0 at the literal position (px, py) with the sampler into a four-word output.
std::string FetchProgram(float px, float py, int sampler) {
  return " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
         " dcl_resource_id(0)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n"
         " dcl_output_generic o0 \n dcl_literal l0, " + Hex(Fw(px)) + ", " + Hex(Fw(py)) + ", 0, 0 \n"
         " sample_resource(0)_sampler(" + std::to_string(sampler) + ") r0, l0.xyxx \n mov o0, r0 \n end \n";
}

class Fetch : public ::testing::Test {
 protected:
  // A 4x3 plane of unsigned bytes, value 10 * row + column + 1.
  void SetUp() override {
    picture_ = gpu_.NewPlane(4, 3, 0);
    out_ = gpu_.NewPlane(1, 1, 6);
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 4; ++x) *picture_.Element(x, y) = static_cast<uint8_t>(Value(x, y));
  }
  static int Value(uint32_t x, uint32_t y) { return static_cast<int>(10 * y + x + 1); }

  std::vector<uint32_t> Sample(float px, float py, int sampler) {
    uint32_t module = gpu_.Load(FetchProgram(px, py, sampler));
    gpu_.Bind(module, "i0", picture_);
    gpu_.Bind(module, "o0", out_);
    EXPECT_EQ(gpu_.Run(module, 0, 0, 1, 1), 0) << RuntimeError();
    std::vector<uint32_t> words(4);
    std::memcpy(words.data(), out_.data, 16);
    return words;
  }

  SoftGpu gpu_;
  Plane picture_, out_;
};

TEST_F(Fetch, QuadOrderAndClampedEdges) {
  struct Row {
    const char* name;
    float x, y;
    int sampler;
    uint32_t cx[4], cy[4];  // the texel each component comes from
  };
  const Row rows[] = {
      // U = 0 (truncated toward zero, not floored): x and z from column 1.
      {.name = "quad at (-0.5, 0)", .x = -0.5f, .y = 0.0f, .sampler = 1, .cx = {1, 0, 1, 0}, .cy = {0, 1, 1, 0}},
      {.name = "quad inside", .x = 1.7f, .y = 0.2f, .sampler = 1, .cx = {2, 1, 2, 1}, .cy = {0, 1, 1, 0}},
      {.name = "quad at the right edge repeats it", .x = 3.5f, .y = 1.0f, .sampler = 1, .cx = {3, 3, 3, 3}, .cy = {1, 2, 2, 1}},
      {.name = "quad at the bottom edge repeats it", .x = 0.5f, .y = 2.9f, .sampler = 1, .cx = {1, 0, 1, 0}, .cy = {2, 2, 2, 2}},
      {.name = "quad beyond the corner", .x = 100.0f, .y = 100.0f, .sampler = 1, .cx = {3, 3, 3, 3}, .cy = {2, 2, 2, 2}},
      {.name = "point on sampler 0", .x = 2.9f, .y = 1.1f, .sampler = 0, .cx = {2, 2, 2, 2}, .cy = {1, 1, 1, 1}},
      {.name = "point left of the plane", .x = -7.0f, .y = -0.5f, .sampler = 0, .cx = {0, 0, 0, 0}, .cy = {0, 0, 0, 0}},
  };
  gpu_.SetFetch4(true);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint32_t> got = Sample(row.x, row.y, row.sampler);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(got[c], U8(Value(row.cx[c], row.cy[c]))) << "component " << c;
  }
}

// Sampler 1 fetches four texels only once the context's sampler call asked for it.
TEST_F(Fetch, FourTexelsOnlyAfterTheSamplerCall) {
  std::vector<uint32_t> before = Sample(1.0f, 1.0f, 1);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(before[c], U8(Value(1, 1)));
  gpu_.SetFetch4(true);
  std::vector<uint32_t> after = Sample(1.0f, 1.0f, 1);
  EXPECT_EQ(after, (std::vector<uint32_t>{U8(Value(2, 1)), U8(Value(1, 2)), U8(Value(2, 2)), U8(Value(1, 1))}));
  gpu_.SetFetch4(false);
  EXPECT_EQ(Sample(1.0f, 1.0f, 1), before);
}

// Each format's read: the stored texel, point-fetched into four words.
TEST(Formats, Read) {
  auto bytes = [](auto... values) {
    std::vector<uint8_t> out;
    auto put = [&out](auto v) {
      uint8_t b[sizeof(v)];
      std::memcpy(b, &v, sizeof(v));
      out.insert(out.end(), b, b + sizeof(v));
    };
    (put(values), ...);
    return out;
  };
  const uint32_t one = Fw(1.0f);
  struct Row {
    const char* name;
    uint32_t format;
    std::vector<uint8_t> texel;
    uint32_t expected[4];
  };
  const Row rows[] = {
      {"u8 255 is 1.0", 0, bytes(uint8_t{255}), {one, one, one, one}},
      {"u8x2, the missing channels 0 and 1", 1, bytes(uint8_t{0}, uint8_t{51}), {0, U8(51), 0, one}},
      {"u8x4", 2, bytes(uint8_t{1}, uint8_t{2}, uint8_t{254}, uint8_t{128}), {U8(1), U8(2), U8(254), U8(128)}},
      {"u16 0xFFFF is 1.0", 3, bytes(uint16_t{0xFFFF}), {one, one, one, one}},
      {"u16x2", 4, bytes(uint16_t{1}, uint16_t{32768}),
       {Fw(static_cast<float>(1 / 65535.0)), Fw(static_cast<float>(32768 / 65535.0)), 0, one}},
      {"u16x4", 5, bytes(uint16_t{0}, uint16_t{65535}, uint16_t{0}, uint16_t{65535}), {0, one, 0, one}},
      {"u32x4 raw", 6, bytes(0xDEADBEEFu, 1u, 2u, 0xFFFFFFFFu), {0xDEADBEEFu, 1, 2, 0xFFFFFFFFu}},
      {"s8x4", 7, bytes(int8_t{-127}, int8_t{127}, int8_t{-128}, int8_t{0}),
       {Fw(-1.0f), one, Fw(static_cast<float>(-128 / 127.0)), 0}},
      {"s16 -32767 is -1.0", 8, bytes(int16_t{-32767}), {Fw(-1.0f), Fw(-1.0f), Fw(-1.0f), Fw(-1.0f)}},
      {"s16x2", 9, bytes(int16_t{-1}, int16_t{3}),
       {Fw(static_cast<float>(-1 / 32767.0)), Fw(static_cast<float>(3 / 32767.0)), 0, one}},
      {"s16x4", 10, bytes(int16_t{32767}, int16_t{-32768}, int16_t{0}, int16_t{1}),
       {one, Fw(static_cast<float>(-32768 / 32767.0)), 0, Fw(static_cast<float>(1 / 32767.0))}},
      {"f32 as stored", 11, bytes(-2.25f), {Fw(-2.25f), Fw(-2.25f), Fw(-2.25f), Fw(-2.25f)}},
      {"f32x2", 12, bytes(1.5f, 3.0e38f), {Fw(1.5f), Fw(3.0e38f), 0, one}},
      {"f32x4", 13, bytes(1.0f, 2.0f, 3.0f, 4.0f), {one, Fw(2.0f), Fw(3.0f), Fw(4.0f)}},
      {"f64 rounded to float", 14, bytes(0.1), {Fw(0.1f), Fw(0.1f), Fw(0.1f), Fw(0.1f)}},
      {"f64x2", 15, bytes(-3.0, 1.0e-50), {Fw(-3.0f), 0, 0, one}},
      {"u32 raw", 16, bytes(0x80000001u), {0x80000001u, 0x80000001u, 0x80000001u, 0x80000001u}},
      {"u32x2 raw", 17, bytes(5u, 6u), {5, 6, 0, 1}},
      {"s8 -127 is -1.0", 18, bytes(int8_t{-127}), {Fw(-1.0f), Fw(-1.0f), Fw(-1.0f), Fw(-1.0f)}},
      {"s8x2", 19, bytes(int8_t{64}, int8_t{-1}), {Fw(static_cast<float>(64 / 127.0)), Fw(static_cast<float>(-1 / 127.0)), 0, one}},
      {"s32 raw", 20, bytes(-5), {0xFFFFFFFBu, 0xFFFFFFFBu, 0xFFFFFFFBu, 0xFFFFFFFBu}},
      {"s32x2 raw", 21, bytes(-1, 7), {0xFFFFFFFFu, 7, 0, 1}},
      {"s32x4 raw", 22, bytes(1, -2, 3, -4), {1, 0xFFFFFFFEu, 3, 0xFFFFFFFCu}},
  };
  SoftGpu gpu;
  Plane out = gpu.NewPlane(1, 1, 6);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Plane in = gpu.NewPlane(2, 1, row.format);
    ASSERT_EQ(row.texel.size(), in.elementBytes);
    std::memcpy(in.Element(0, 0), row.texel.data(), row.texel.size());
    uint32_t module = gpu.Load(FetchProgram(0.5f, 0.5f, 0));
    gpu.Bind(module, "i0", in);
    gpu.Bind(module, "o0", out);
    ASSERT_EQ(gpu.Run(module, 0, 0, 1, 1), 0) << RuntimeError();
    uint32_t words[4];
    std::memcpy(words, out.data, 16);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(words[c], row.expected[c]) << "component " << c;
  }
}

// Each format's write: a literal stored through o0, the texel's bytes compared.
TEST(Formats, Write) {
  struct Row {
    const char* name;
    uint32_t format;
    uint32_t value[4];
    std::vector<uint8_t> expected;
  };
  auto le16 = [](int v) { return std::vector<uint8_t>{static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)}; };
  auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Row rows[] = {
      {"u8 0.5/255 rounds to 1", 0, {Fw(static_cast<float>(0.5 / 255))}, {1}},
      {"u8 -0.1 clamps to 0", 0, {Fw(-0.1f)}, {0}},
      {"u8 1.2 clamps to 255", 0, {Fw(1.2f)}, {255}},
      {"u8 keeps x of four", 0, {Fw(0.2f), Fw(1.0f), Fw(1.0f), Fw(1.0f)}, {51}},
      {"u8x2", 1, {Fw(1.0f), Fw(0.0f)}, {255, 0}},
      {"u8x4", 2, {Fw(0.0f), Fw(1.0f), Fw(0.5f), Fw(0.25f)}, {0, 255, 128, 64}},
      {"u16 1.0 is 0xFFFF", 3, {Fw(1.0f)}, le16(0xFFFF)},
      {"u16 half", 3, {Fw(0.5f)}, le16(32768)},
      {"u16x4", 5, {Fw(-1.0f), Fw(2.0f), 0, Fw(static_cast<float>(7 / 65535.0))},
       join(join(le16(0), le16(0xFFFF)), join(le16(0), le16(7)))},
      {"u32x4 raw", 6, {1, 2, 3, 0xFFFFFFFFu}, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 255, 255, 255, 255}},
      {"s8x4", 7, {Fw(1.0f), Fw(-1.0f), Fw(0.5f), Fw(-2.0f)}, {127, 0x81, 64, 0x81}},
      {"s16 -1/32767 is -1", 8, {Fw(static_cast<float>(-1 / 32767.0))}, le16(0xFFFF)},
      {"s16 -1.5 clamps to -32767", 8, {Fw(-1.5f)}, le16(-32767)},
      {"s16x2", 9, {Fw(static_cast<float>(100 / 32767.0)), Fw(1.0f)}, join(le16(100), le16(32767))},
      {"f32 keeps x", 11, {Fw(-2.5f), Fw(9.0f)}, {0, 0, 0x20, 0xC0}},
      {"f64", 14, {Fw(0.5f)}, {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}},
      {"u32 raw", 16, {0xCAFEF00Du}, {0x0D, 0xF0, 0xFE, 0xCA}},
      {"s8 -0.5", 18, {Fw(-0.5f)}, {static_cast<uint8_t>(-63)}},
      {"s32x2 raw", 21, {0xFFFFFFFFu, 2}, {255, 255, 255, 255, 2, 0, 0, 0}},
  };
  SoftGpu gpu;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Plane out = gpu.NewPlane(1, 1, row.format);
    ASSERT_EQ(row.expected.size(), out.elementBytes);
    std::string text = " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n dcl_output_generic o0 \n"
                       " dcl_literal l0, " + Hex(row.value[0]) + ", " + Hex(row.value[1]) + ", " + Hex(row.value[2]) +
                       ", " + Hex(row.value[3]) + " \n mov o0, l0 \n end \n";
    uint32_t module = gpu.Load(text);
    gpu.Bind(module, "o0", out);
    ASSERT_EQ(gpu.Run(module, 0, 0, 1, 1), 0) << RuntimeError();
    EXPECT_EQ(std::vector<uint8_t>(out.data, out.data + out.elementBytes), row.expected);
  }
}

// A signed 16-bit plane written with whole numbers times 1/32767 reads back the whole numbers.
TEST(Formats, Signed16KeepsWholeNumbers) {
  SoftGpu gpu;
  const uint32_t width = 512, height = 8;
  Plane in = gpu.NewPlane(width, height, 11);
  Plane out = gpu.NewPlane(width, height, 8);
  auto number = [](uint32_t x, uint32_t y) { return static_cast<int>(x + y * 512) * 7 - 14000; };
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      float v = static_cast<float>(number(x, y)) * (1.0f / 32767.0f);
      std::memcpy(in.Element(x, y), &v, 4);
    }
  uint32_t module = gpu.Load(
      " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
      " dcl_resource_id(0)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n dcl_output_generic o0 \n"
      " sample_resource(0)_sampler(0) r0, v0.xyxx \n mov o0, r0 \n end \n");
  gpu.Bind(module, "i0", in);
  gpu.Bind(module, "o0", out);
  ASSERT_EQ(gpu.Run(module, 0, 0, width, height), 0) << RuntimeError();
  int wrong = 0;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      int16_t v;
      std::memcpy(&v, out.Element(x, y), 2);
      if (v != std::max(-32767, std::min(32767, number(x, y)))) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace orx::test::gcxsoft
