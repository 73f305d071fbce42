// Plane copy and chroma interleave: every byte of rows of any width arrives and every row
// starts where the skip puts it, checked on worked cases and against ffmpeg's NV12 of its own
// planar 4:2:0 test frames (widths 720 and 854, whose chroma rows hold 427 samples).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/venc/dsp/ffmpeg_frames.h"
#include "tests/venc/dsp/preproc_test_support.h"

namespace orx::dsp {
namespace {

using dsptest::AlignedBytes;

constexpr uint8_t kUntouched = 0xEE;

TEST(PreprocPlanes, CopyPlaneCopiesTheWholeWidthAndKeepsRowsInPlace) {
  auto core = dsptest::RunningPreprocCore();
  // Width 40 is not a multiple of 16: all 40 bytes arrive, rows advance by 40 + skip.
  for (int width : {1, 15, 16, 17, 40, 48, 854}) {
    SCOPED_TRACE(width);
    const int rows = 3, sourceSkip = 16, destinationSkip = 8;
    AlignedBytes source(rows * (width + sourceSkip));
    AlignedBytes destination(rows * (width + destinationSkip), kUntouched);
    for (int i = 0; i < rows * (width + sourceSkip); ++i) source[i] = static_cast<uint8_t>(i % 251);
    const uint8_t* end =
        core->CopyPlane(rows, width, sourceSkip, destinationSkip, source.at(0), destination.at(0));
    EXPECT_EQ(end, source.at(rows * (width + sourceSkip)));
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < width; ++c) {
        ASSERT_EQ(destination[r * (width + destinationSkip) + c],
                  source[r * (width + sourceSkip) + c])
            << "row " << r << " column " << c;
      }
      for (int c = width; c < width + destinationSkip; ++c) {
        ASSERT_EQ(destination[r * (width + destinationSkip) + c], kUntouched);
      }
    }
  }
}

TEST(PreprocPlanes, InterleaveWritesFirstPlaneFirstForEveryWidth) {
  auto core = dsptest::RunningPreprocCore();
  // The worked case: 1..8 and 11..18 give 1, 11, 2, 12, ..., 8, 18.
  AlignedBytes first(8), second(8), out(16);
  for (int i = 0; i < 8; ++i) {
    first[i] = static_cast<uint8_t>(1 + i);
    second[i] = static_cast<uint8_t>(11 + i);
  }
  core->InterleaveUV(1, 8, 0, 0, first.at(0), second.at(0), out.at(0));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(out[2 * i], 1 + i);
    EXPECT_EQ(out[2 * i + 1], 11 + i);
  }
  // Rows of fewer than 8 samples, and widths that are not multiples of 8 or 16.
  for (int width : {1, 5, 7, 9, 23, 24, 427}) {
    SCOPED_TRACE(width);
    const int rows = 2, sourceSkip = 3, destinationSkip = 10;
    AlignedBytes u(rows * (width + sourceSkip)), v(rows * (width + sourceSkip));
    AlignedBytes destination(rows * (2 * width + destinationSkip), kUntouched);
    for (int i = 0; i < rows * (width + sourceSkip); ++i) {
      u[i] = static_cast<uint8_t>(i);
      v[i] = static_cast<uint8_t>(200 - i);
    }
    core->InterleaveUV(rows, width, sourceSkip, destinationSkip, u.at(0), v.at(0),
                       destination.at(0));
    for (int r = 0; r < rows; ++r) {
      const uint8_t* row = destination.at(r * (2 * width + destinationSkip));
      for (int i = 0; i < width; ++i) {
        ASSERT_EQ(row[2 * i], u[r * (width + sourceSkip) + i]);
        ASSERT_EQ(row[2 * i + 1], v[r * (width + sourceSkip) + i]);
      }
      for (int i = 2 * width; i < 2 * width + destinationSkip; ++i) ASSERT_EQ(row[i], kUntouched);
    }
  }
}

struct FrameSize {
  int width, height;
};

class PreprocPlanesAgainstFfmpeg : public ::testing::TestWithParam<FrameSize> {};

// The encoder's picture: rows padded to a multiple of 16 plus a margin, as the coded picture's
// rows are wider than the input's.
int PicturePitch(int width) { return (width + 15) / 16 * 16 + 32; }

// Every row of `rows` rows of `width` bytes equals `expected` (packed rows), and the bytes after
// each row up to the pitch are untouched.
void ExpectRows(const uint8_t* picture, int pitch, const uint8_t* expected, int width, int rows) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = picture + r * pitch;
    ASSERT_EQ(std::memcmp(row, expected + r * width, static_cast<size_t>(width)), 0)
        << "row " << r << " differs";
    for (int c = width; c < pitch; ++c) ASSERT_EQ(row[c], kUntouched) << "row " << r;
  }
}

TEST_P(PreprocPlanesAgainstFfmpeg, I420ChromaInterleavesIntoFfmpegsNv12) {
  const auto [width, height] = GetParam();
  const std::string i420 = dsptest::TestPattern(width, height, "yuv420p");
  ASSERT_FALSE(i420.empty());
  const std::string nv12 = dsptest::Reformat(i420, width, height, "yuv420p", "nv12");
  const size_t lumaBytes = static_cast<size_t>(width) * height;
  const int chromaWidth = width / 2, chromaRows = height / 2;
  ASSERT_EQ(i420.size(), lumaBytes + 2u * chromaWidth * chromaRows);
  ASSERT_EQ(nv12.size(), i420.size());
  const auto* u = reinterpret_cast<const uint8_t*>(i420.data()) + lumaBytes;
  const uint8_t* v = u + chromaWidth * chromaRows;
  const auto* nv12Chroma = reinterpret_cast<const uint8_t*>(nv12.data()) + lumaBytes;

  auto core = dsptest::RunningPreprocCore();
  const int pitch = PicturePitch(width);
  AlignedBytes chroma(static_cast<size_t>(pitch) * chromaRows, kUntouched);
  core->InterleaveUV(chromaRows, chromaWidth, 0, pitch - width, u, v, chroma.at(0));
  ExpectRows(chroma.at(0), pitch, nv12Chroma, width, chromaRows);
}

TEST_P(PreprocPlanesAgainstFfmpeg, Nv12PlanesCopyByteExact) {
  const auto [width, height] = GetParam();
  const std::string nv12 = dsptest::TestPattern(width, height, "nv12");
  ASSERT_FALSE(nv12.empty());
  const auto* luma = reinterpret_cast<const uint8_t*>(nv12.data());
  const uint8_t* chroma = luma + width * height;

  auto core = dsptest::RunningPreprocCore();
  const int pitch = PicturePitch(width);
  AlignedBytes lumaPlane(static_cast<size_t>(pitch) * height, kUntouched);
  AlignedBytes chromaPlane(static_cast<size_t>(pitch) * height / 2, kUntouched);
  EXPECT_EQ(core->CopyPlane(height, width, 0, pitch - width, luma, lumaPlane.at(0)), chroma);
  EXPECT_EQ(core->CopyPlane(height / 2, width, 0, pitch - width, chroma, chromaPlane.at(0)),
            chroma + width * height / 2);
  ExpectRows(lumaPlane.at(0), pitch, luma, width, height);
  ExpectRows(chromaPlane.at(0), pitch, chroma, width, height / 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PreprocPlanesAgainstFfmpeg,
                         ::testing::Values(FrameSize{720, 576}, FrameSize{854, 480}),
                         [](const ::testing::TestParamInfo<FrameSize>& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

}  // namespace
}  // namespace orx::dsp
