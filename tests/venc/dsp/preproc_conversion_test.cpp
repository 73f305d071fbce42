// Packed 4:2:2 conversions of the running class through the dispatchers: the worked pixels and
// chroma averages, modes outside 1-4, the returned read position, and luma and chroma against
// ffmpeg's own planes of its UYVY and YUY2 test frames (widths 720 and 854).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/venc/dsp/ffmpeg_frames.h"
#include "tests/venc/dsp/preproc_test_support.h"

namespace orx::dsp {
namespace {

using dsptest::AlignedBytes;

constexpr uint8_t kUntouched = 0xEE;

const uint8_t* Convert(CPreprocCore& core, bool uyvy, int rows, int width, int sourceSkip,
                       int pitch, const uint8_t* source, uint8_t* luma, uint8_t* chroma, int mode) {
  uint8_t* const destinations[2] = {luma, chroma};
  return uyvy ? core.ConvertUYVY(rows, width, sourceSkip, pitch, source, destinations, mode)
              : core.ConvertYUY2(rows, width, sourceSkip, pitch, source, destinations, mode);
}

// A packed row of `pairs` pixel pairs with the same luma and chroma in every pair.
void PackRow(uint8_t* row, int pairs, bool uyvy, int y0, int cb, int y1, int cr) {
  const uint8_t pair[2][4] = {
      {uint8_t(cb), uint8_t(y0), uint8_t(cr), uint8_t(y1)},
      {uint8_t(y0), uint8_t(cb), uint8_t(y1), uint8_t(cr)},
  };
  for (int p = 0; p < pairs; ++p) std::memcpy(row + 4 * p, pair[uyvy ? 0 : 1], 4);
}

TEST(PreprocConversion, PixelPairsSplitIntoLumaAndInterleavedChroma) {
  auto core = dsptest::RunningPreprocCore();
  struct Pair {
    int y0, cb, y1, cr;
  };
  for (bool uyvy : {true, false}) {
    for (const Pair p : {Pair{20, 10, 40, 30}, Pair{235, 16, 128, 240}}) {
      SCOPED_TRACE(std::string(uyvy ? "UYVY " : "YUY2 ") + std::to_string(p.y0));
      // 17 pairs: one 16-pixel step and a tail of two pixels per row.
      const int width = 34;
      AlignedBytes source(2 * width), luma(width, kUntouched), chroma(width, kUntouched);
      PackRow(source.at(0), width / 2, uyvy, p.y0, p.cb, p.y1, p.cr);
      Convert(*core, uyvy, 1, width, 0, 2 * width, source.at(0), luma.at(0), chroma.at(0), 1);
      for (int i = 0; i < width; i += 2) {
        EXPECT_EQ(luma[i], p.y0);
        EXPECT_EQ(luma[i + 1], p.y1);
        EXPECT_EQ(chroma[i], p.cb);
        EXPECT_EQ(chroma[i + 1], p.cr);
      }
    }
  }
}

TEST(PreprocConversion, PairedModesAverageChromaInTwoSteps) {
  auto core = dsptest::RunningPreprocCore();
  struct Case {
    int a, b, mode, expected;
  };
  // Modes 3 and 4 are avg(a, avg(a, b)) and avg(avg(a, b), b), each rounding up; for 0 and 1
  // that is 1 and 1, where (3a + b + 2) >> 2 would give 0.
  const Case cases[] = {{10, 13, 2, 12},  {10, 13, 3, 11}, {10, 13, 4, 13}, {0, 255, 3, 64},
                        {0, 255, 4, 192}, {0, 1, 3, 1},    {0, 1, 4, 1},    {255, 0, 2, 128}};
  for (bool uyvy : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.a) + "/" + std::to_string(c.b) + " mode " +
                   std::to_string(c.mode) + (uyvy ? " UYVY" : " YUY2"));
      const int width = 20, pitch = 32;
      AlignedBytes source(2 * 2 * width), luma(2 * pitch), chroma(pitch, kUntouched);
      PackRow(source.at(0), width / 2, uyvy, 1, c.a, 2, c.a);
      PackRow(source.at(2 * width), width / 2, uyvy, 3, c.b, 4, c.b);
      Convert(*core, uyvy, 2, width, 0, pitch, source.at(0), luma.at(0), chroma.at(0), c.mode);
      for (int i = 0; i < width; ++i) ASSERT_EQ(chroma[i], c.expected) << i;
      for (int i = width; i < pitch; ++i) ASSERT_EQ(chroma[i], kUntouched);
      EXPECT_EQ(luma[0], 1);
      EXPECT_EQ(luma[pitch + 1], 4);
    }
  }
}

TEST(PreprocConversion, EveryModeReturnsTheReadPositionAndOnlyModes1To4WriteChroma) {
  auto core = dsptest::RunningPreprocCore();
  const int rows = 4, width = 20, sourceSkip = 6, pitch = 2 * width + 8;
  for (bool uyvy : {true, false}) {
    for (int mode : {-1, 0, 1, 2, 3, 4, 5}) {
      SCOPED_TRACE(std::to_string(mode) + (uyvy ? " UYVY" : " YUY2"));
      AlignedBytes source(rows * (2 * width + sourceSkip), 50);
      AlignedBytes luma(rows * pitch, kUntouched), chroma(rows * pitch, kUntouched);
      const uint8_t* end = Convert(*core, uyvy, rows, width, sourceSkip, pitch, source.at(0),
                                   luma.at(0), chroma.at(0), mode);
      EXPECT_EQ(end, source.at(rows * (2 * width + sourceSkip)));
      const bool writesChroma = mode >= 1 && mode <= 4;
      EXPECT_EQ(chroma[0], writesChroma ? 50 : kUntouched);
      for (int r = 0; r < rows; ++r) EXPECT_EQ(luma[r * pitch], 50);
    }
  }
}

TEST(PreprocConversion, Mode1KeepsOneFieldsChromaRowsTogether) {
  // Destination pitch 1440 (two picture rows of 720): luma rows 1440 apart, chroma rows 720.
  auto core = dsptest::RunningPreprocCore();
  const int rows = 3, width = 720, pitch = 1440;
  AlignedBytes source(rows * 2 * width);
  for (int r = 0; r < rows; ++r)
    PackRow(source.at(r * 2 * width), width / 2, true, r, 100 + r, r, 200 + r);
  AlignedBytes luma(rows * pitch, kUntouched), chroma(rows * width + 16, kUntouched);
  EXPECT_EQ(Convert(*core, true, rows, width, 0, pitch, source.at(0), luma.at(0), chroma.at(0), 1),
            source.at(rows * 2 * width));
  for (int r = 0; r < rows; ++r) {
    EXPECT_EQ(luma[r * pitch + width - 1], r);
    EXPECT_EQ(luma[r * pitch + width], kUntouched);
    EXPECT_EQ(chroma[r * width], 100 + r);
    EXPECT_EQ(chroma[r * width + width - 1], 200 + r);
  }
  EXPECT_EQ(chroma[rows * width], kUntouched);
}

struct PackedFrame {
  int width, height;
  const char* pixelFormat;
};

class PreprocConversionAgainstFfmpeg : public ::testing::TestWithParam<PackedFrame> {};

TEST_P(PreprocConversionAgainstFfmpeg, LumaAndChromaEqualFfmpegsPlanes) {
  const auto [width, height, pixelFormat] = GetParam();
  const bool uyvy = std::string(pixelFormat) == "uyvy422";
  const std::string packed = dsptest::TestPattern(width, height, pixelFormat);
  ASSERT_EQ(packed.size(), 2u * width * height);
  const std::string y =
      dsptest::Reformat(packed, width, height, pixelFormat, "gray", "extractplanes=y");
  const std::string planar = dsptest::Reformat(packed, width, height, pixelFormat, "yuv422p");
  ASSERT_EQ(y.size(), static_cast<size_t>(width) * height);
  ASSERT_EQ(planar.size(), 2u * width * height);
  const auto* source = reinterpret_cast<const uint8_t*>(packed.data());
  const auto* u = reinterpret_cast<const uint8_t*>(planar.data()) + width * height;
  const uint8_t* v = u + width / 2 * height;

  auto core = dsptest::RunningPreprocCore();
  const int pitch = (width + 15) / 16 * 16 + 32;
  // Mode 0: luma only, rows a pitch apart.
  AlignedBytes luma(static_cast<size_t>(pitch) * height, kUntouched);
  AlignedBytes chroma(static_cast<size_t>(pitch) * height, kUntouched);
  EXPECT_EQ(Convert(*core, uyvy, height, width, 0, pitch, source, luma.at(0), chroma.at(0), 0),
            source + packed.size());
  for (int r = 0; r < height; ++r) {
    ASSERT_EQ(std::memcmp(luma.at(r * pitch), y.data() + r * width, width), 0) << "row " << r;
    ASSERT_EQ(luma[r * pitch + width], kUntouched);
  }
  EXPECT_EQ(chroma[0], kUntouched);
  // Mode 1 with a doubled pitch, as for one field: luma rows two pitches apart, and one chroma
  // row per source row a pitch apart, holding the 4:2:2 chroma interleaved.
  AlignedBytes fieldLuma(static_cast<size_t>(2 * pitch) * height, kUntouched);
  EXPECT_EQ(
      Convert(*core, uyvy, height, width, 0, 2 * pitch, source, fieldLuma.at(0), chroma.at(0), 1),
      source + packed.size());
  for (int r = 0; r < height; ++r) {
    ASSERT_EQ(std::memcmp(fieldLuma.at(2 * r * pitch), y.data() + r * width, width), 0);
    const uint8_t* row = chroma.at(r * pitch);
    for (int i = 0; i < width / 2; ++i) {
      ASSERT_EQ(row[2 * i], u[r * width / 2 + i]) << "row " << r << " sample " << i;
      ASSERT_EQ(row[2 * i + 1], v[r * width / 2 + i]) << "row " << r << " sample " << i;
    }
    ASSERT_EQ(row[width], kUntouched);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PreprocConversionAgainstFfmpeg,
    ::testing::Values(PackedFrame{720, 576, "uyvy422"}, PackedFrame{720, 576, "yuyv422"},
                      PackedFrame{854, 480, "uyvy422"}, PackedFrame{854, 480, "yuyv422"}),
    [](const ::testing::TestParamInfo<PackedFrame>& info) {
      return std::string(info.param.pixelFormat) + "_" + std::to_string(info.param.width);
    });

}  // namespace
}  // namespace orx::dsp
