// The BGRA and packed 4:4:4 converters: worked values, edge cases, the SSE2 kernel against the
// plain reference, and two threads converting at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/convert/yuv444_to_i420.h"

namespace orx::convert {
namespace {

struct KernelCase {
  const char* name;
  BgraToI420Kernel kernel;
};
const KernelCase kKernels[] = {{"plain", BgraToI420Plain}, {"sse2", BgraToI420Sse2}};

struct Bgr {
  uint8_t b, g, r;
};

std::vector<uint8_t> SolidFrame(int w, int h, Bgr c) {
  std::vector<uint8_t> f(static_cast<size_t>(4) * w * h);
  for (size_t p = 0; p < f.size(); p += 4) {
    f[p] = c.b;
    f[p + 1] = c.g;
    f[p + 2] = c.r;
    f[p + 3] = 0x5A;  // alpha is never read
  }
  return f;
}

void SetPixel(std::vector<uint8_t>& f, int w, int x, int y, Bgr c) {
  uint8_t* p = &f[(static_cast<size_t>(y) * w + x) * 4];
  p[0] = c.b;
  p[1] = c.g;
  p[2] = c.r;
}

size_t I420Bytes(int w, int h) { return static_cast<size_t>(w) * h + 2 * ((static_cast<size_t>(w) * h) / 4); }

// Runs one kernel through the packed layout, with guard bytes after the frame.
std::vector<uint8_t> ConvertPacked(BgraToI420Kernel kernel, const std::vector<uint8_t>& src, int w,
                                   int h, int bottomUp) {
  std::vector<uint8_t> dst(I420Bytes(w, h) + 16, 0xEE);
  PreprocBgraToI420With(kernel, src.data(), 4 * w, w, h, PackedI420Planes(dst.data(), w, h), bottomUp);
  for (size_t i = I420Bytes(w, h); i < dst.size(); ++i) EXPECT_EQ(dst[i], 0xEE) << "guard byte " << i;
  dst.resize(I420Bytes(w, h));
  return dst;
}

class BgraKernel : public testing::TestWithParam<KernelCase> {};

TEST_P(BgraKernel, WorkedValuesAreBitExact) {
  struct Row {
    const char* colour;
    Bgr bgr;
    uint8_t y, cb, cr;
  };
  const Row rows[] = {
      {"white", {255, 255, 255}, 235, 128, 128},
      {"black", {0, 0, 0}, 16, 128, 128},
      {"red", {0, 0, 255}, 81, 90, 240},
      {"green", {0, 255, 0}, 144, 54, 34},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.colour);
    // 4x2 frame of one colour: eight equal Y bytes, two Cb and two Cr bytes.
    std::vector<uint8_t> out = ConvertPacked(GetParam().kernel, SolidFrame(4, 2, row.bgr), 4, 2, 1);
    const std::vector<uint8_t> expected = {row.y, row.y, row.y, row.y, row.y, row.y, row.y, row.y,
                                           row.cb, row.cb, row.cr, row.cr};
    EXPECT_EQ(out, expected);
  }
}

TEST_P(BgraKernel, ChromaFollowsEvenRowsOnly) {
  const int w = 8, h = 4;
  const Bgr red{0, 0, 255}, white{255, 255, 255};
  std::vector<uint8_t> f = SolidFrame(w, h, red);
  for (int y = 1; y < h; y += 2)
    for (int x = 0; x < w; ++x) SetPixel(f, w, x, y, white);
  std::vector<uint8_t> out = ConvertPacked(GetParam().kernel, f, w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) EXPECT_EQ(out[y * w + x], y % 2 ? 235 : 81) << x << "," << y;
  for (int i = 0; i < (w / 2) * (h / 2); ++i) {
    EXPECT_EQ(out[w * h + i], 90) << "Cb " << i;
    EXPECT_EQ(out[w * h + (w * h) / 4 + i], 240) << "Cr " << i;
  }
}

TEST_P(BgraKernel, AlternatingBlackAndWhiteColumnsGiveNeutralChroma) {
  const int w = 12, h = 2;
  std::vector<uint8_t> f = SolidFrame(w, h, {0, 0, 0});
  for (int y = 0; y < h; ++y)
    for (int x = 1; x < w; x += 2) SetPixel(f, w, x, y, {255, 255, 255});
  std::vector<uint8_t> out = ConvertPacked(GetParam().kernel, f, w, h, 1);
  for (int x = 0; x < w; ++x) EXPECT_EQ(out[x], x % 2 ? 235 : 16);
  for (int i = 0; i < w / 2; ++i) {
    EXPECT_EQ(out[w * h + i], 128);
    EXPECT_EQ(out[w * h + (w * h) / 4 + i], 128);
  }
}

TEST_P(BgraKernel, BottomUpTakesTheLastRowFirst) {
  const int w = 8, h = 4;
  std::vector<uint8_t> f = SolidFrame(w, h, {0, 0, 0});
  for (int x = 0; x < w; ++x) SetPixel(f, w, x, h - 1, {0, 0, 255});  // last row in memory: red
  for (int bottomUp : {0, 1}) {
    SCOPED_TRACE(bottomUp);
    std::vector<uint8_t> out = ConvertPacked(GetParam().kernel, f, w, h, bottomUp);
    const int redRow = bottomUp ? 0 : h - 1;
    for (int y = 0; y < h; ++y) EXPECT_EQ(out[y * w], y == redRow ? 81 : 16) << "row " << y;
    // Chroma row 0 comes from processed row 0: red with the flag, black without.
    EXPECT_EQ(out[w * h], bottomUp ? 90 : 128);
    EXPECT_EQ(out[w * h + (w * h) / 4], bottomUp ? 240 : 128);
    // Without the flag the red row is odd (3) and changes luma only.
    EXPECT_EQ(out[w * h + w / 2], 128);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, BgraKernel, testing::ValuesIn(kKernels),
                         [](const testing::TestParamInfo<KernelCase>& info) { return std::string(info.param.name); });

// Fills with random bytes from a printed seed.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(BgraSse2, EqualsThePlainReferenceOnRandomFrames) {
  struct Size {
    int w, h;
  };
  const Size sizes[] = {{4, 2}, {8, 2}, {6, 2}, {12, 3}, {720, 480}, {1366, 768}, {1920, 1080}};
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (const Size& s : sizes) {
    for (bool padded : {false, true}) {
      // Padded strides leave odd gaps (and an odd source offset) around every row.
      const int srcStride = 4 * s.w + (padded ? 20 : 0);
      const int yStride = s.w + (padded ? 7 : 0);
      const int cStride = s.w / 2 + (padded ? 5 : 0);
      const size_t offset = padded ? 3 : 0;
      std::vector<uint8_t> src = RandomBytes(offset + static_cast<size_t>(srcStride) * s.h, seed + s.w);
      for (int bottomUp : {0, 1}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + (padded ? " padded" : " packed") +
                     (bottomUp ? " bottom-up" : " top-down"));
        const size_t ySize = static_cast<size_t>(yStride) * s.h;
        const size_t cSize = static_cast<size_t>(cStride) * (s.h / 2);
        std::vector<uint8_t> out[2];
        for (int k = 0; k < 2; ++k) {
          out[k].assign(ySize + 2 * cSize + 32, 0xA5);
          I420Planes planes{out[k].data(), out[k].data() + ySize, out[k].data() + ySize + cSize,
                            yStride, cStride, cStride};
          PreprocBgraToI420With(kKernels[k].kernel, src.data() + offset, srcStride, s.w, s.h, planes, bottomUp);
        }
        ASSERT_EQ(out[0], out[1]);
        for (size_t i = ySize + 2 * cSize; i < out[1].size(); ++i) ASSERT_EQ(out[1][i], 0xA5) << "guard " << i;
      }
    }
  }
}

TEST(BgraEntries, PackedStridedAndEncoderFormsGiveTheSameBytes) {
  const int w = 1366, h = 8;
  std::vector<uint8_t> src = RandomBytes(static_cast<size_t>(4) * w * h, 7);
  std::vector<uint8_t> packed(I420Bytes(w, h)), strided(I420Bytes(w, h)), encoder(I420Bytes(w, h)),
      reference(I420Bytes(w, h));
  PreprocBgraToI420(packed.data(), src.data(), w, h, 1);
  PreprocBgraToI420(src.data(), 4 * w, w, h, PackedI420Planes(strided.data(), w, h), 1);
  ConvertBgraToI420(encoder.data(), src.data(), w, h, 1);
  PreprocBgraToI420With(BgraToI420Plain, src.data(), 4 * w, w, h, PackedI420Planes(reference.data(), w, h), 1);
  EXPECT_EQ(packed, reference);
  EXPECT_EQ(strided, reference);
  EXPECT_EQ(encoder, reference);
}

TEST(BgraEntries, EmptySizesWriteNothing) {
  std::vector<uint8_t> src(64, 1), dst(64, 0xEE);
  for (auto [w, h] : {std::pair{0, 2}, {4, 0}, {-4, 2}, {4, -2}}) {
    PreprocBgraToI420(dst.data(), src.data(), w, h, 1);
    EXPECT_EQ(dst, std::vector<uint8_t>(64, 0xEE)) << w << "x" << h;
  }
}

// Two threads convert different frames at once: the converter keeps no state.
TEST(BgraThreads, TwoThreadsConvertDifferentFrames) {
  const int w = 720, h = 480;
  std::vector<uint8_t> frames[2] = {RandomBytes(static_cast<size_t>(4) * w * h, 1),
                                    RandomBytes(static_cast<size_t>(4) * w * h, 2)};
  std::vector<uint8_t> expected[2], got[2];
  for (int t = 0; t < 2; ++t) {
    expected[t].resize(I420Bytes(w, h));
    PreprocBgraToI420With(BgraToI420Plain, frames[t].data(), 4 * w, w, h,
                          PackedI420Planes(expected[t].data(), w, h), 1);
    got[t].resize(I420Bytes(w, h));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 4; ++round) PreprocBgraToI420(got[t].data(), frames[t].data(), w, h, 1);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(got[0], expected[0]);
  EXPECT_EQ(got[1], expected[1]);
}

// Packed 4:4:4: bytes Cr, Cb, Y, (unused) per pixel.
TEST(Yuv444Packed, AveragesEachTwoByTwoBlockAndCopiesLuma) {
  struct Case {
    const char* name;
    int w, h, bottomUp;
  };
  const Case cases[] = {{"2x2", 2, 2, 0}, {"4x4 bottom-up", 4, 4, 1}, {"6x5 odd last row", 6, 5, 0},
                        {"4x1 too short", 4, 1, 0}, {"4x0", 4, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> src = RandomBytes(static_cast<size_t>(4) * c.w * std::max(c.h, 1), 11);
    const size_t area = static_cast<size_t>(c.w) * c.h;
    std::vector<uint8_t> dst(area + 2 * (area / 4) + 8, 0xEE);
    ConvertYuv444PackedToI420(src.data(), c.h, dst.data(), c.w, c.bottomUp);
    auto pixel = [&](int x, int y) {  // y counts destination rows
      int memoryRow = c.bottomUp ? c.h - 1 - y : y;
      return &src[(static_cast<size_t>(memoryRow) * c.w + x) * 4];
    };
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        int expected = (y < (c.h / 2) * 2) ? pixel(x, y)[2] : 0xEE;  // an odd last row stays
        EXPECT_EQ(dst[y * c.w + x], expected) << x << "," << y;
      }
    for (int k = 0; k < c.h / 2; ++k)
      for (int j = 0; j < c.w / 2; ++j) {
        const uint8_t* q[4] = {pixel(2 * j, 2 * k), pixel(2 * j + 1, 2 * k), pixel(2 * j, 2 * k + 1),
                               pixel(2 * j + 1, 2 * k + 1)};
        EXPECT_EQ(dst[area + k * (c.w / 2) + j], (q[0][1] + q[1][1] + q[2][1] + q[3][1]) >> 2);
        EXPECT_EQ(dst[area + area / 4 + k * (c.w / 2) + j], (q[0][0] + q[1][0] + q[2][0] + q[3][0]) >> 2);
      }
    if (c.h < 2) {
      for (uint8_t b : dst) EXPECT_EQ(b, 0xEE);
    }
    for (size_t i = area + 2 * (area / 4); i < dst.size(); ++i) EXPECT_EQ(dst[i], 0xEE);
  }
}

}  // namespace
}  // namespace orx::convert
