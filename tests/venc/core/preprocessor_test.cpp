// CPreprocessor's whole-picture road without the estimator: conversion of every input kind into
// the picture store's planes with black outside the input, and the macroblock measures (field or
// frame structure, the few-field rule, repeated pictures, the row window, H.264 pairs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "tests/venc/common/settings_fixture.h"
#include "venc/common/frame_store.h"
#include "venc/core/preprocessor.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/preproc_core.h"

namespace orx::venc {
namespace {

class Preprocessing : public ::testing::Test {
 protected:
  void Open(EncoderSettings s, uint32_t flags = PREPROC_NO_ESTIMATOR) {
    settings = s;
    store = std::make_unique<CFrameStore>(0, 0);
    ASSERT_TRUE(store->Init(&settings, 4, nullptr));
    preprocessor.SetFlags(flags);
    ASSERT_TRUE(preprocessor.Init(&settings, nullptr));
  }
  // A picture on source buffer `buffer` over an input frame.
  CPicture* Picture(const std::vector<uint8_t>& input, uint32_t fourcc, int width, int height, int buffer,
                    bool progressive) {
    CPicture* p = nullptr;
    EXPECT_TRUE(store->GetPicture(&p));
    p->SetSourceBuffer(buffer);
    p->inputData = input.data();
    p->inputFourcc = fourcc;
    p->inputWidth = width;
    p->inputHeight = height;
    p->progressiveFrame = progressive ? 1 : 0;
    p->topFieldFirst = 1;
    p->framePredFrameDct = progressive ? 1 : 0;
    p->pictureType = PICTURE_I;
    return p;
  }

  EncoderSettings settings{};
  std::unique_ptr<CFrameStore> store;
  CPreprocessor preprocessor;
};

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// The interleaved 4:2:0 picture an input frame should give (luma and Cb/Cr of each position),
// from the frame by its kind.
struct Sample {
  int y, cb, cr;
};
Sample InputSample(const std::vector<uint8_t>& in, uint32_t fourcc, int w, int h, int x, int y) {
  const size_t area = static_cast<size_t>(w) * h;
  if (fourcc == FOURCC_UYVY || fourcc == FOURCC_YUY2) {
    // Progressive frames: chroma is the rounded average of the row pair (mode 2).
    const bool uyvy = fourcc == FOURCC_UYVY;
    auto at = [&](int row, int byte) { return in[static_cast<size_t>(row) * 2 * w + byte]; };
    const int pair = 2 * (x / 2) * 2;
    const int cbByte = pair + (uyvy ? 0 : 1), crByte = pair + (uyvy ? 2 : 3);
    const int r0 = y & ~1;
    return {at(y, 2 * x + (uyvy ? 1 : 0)), (at(r0, cbByte) + at(r0 + 1, cbByte) + 1) >> 1,
            (at(r0, crByte) + at(r0 + 1, crByte) + 1) >> 1};
  }
  const int luma = in[static_cast<size_t>(y) * w + x];
  if (fourcc == FOURCC_NV12) {
    const size_t c = area + static_cast<size_t>(y / 2) * w + 2 * (x / 2);
    return {luma, in[c], in[c + 1]};
  }
  const size_t quarter = static_cast<size_t>(w / 2) * (h / 2);
  const size_t c = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
  const bool yv12 = fourcc == FOURCC_YV12;
  return {luma, in[area + (yv12 ? quarter : 0) + c], in[area + (yv12 ? 0 : quarter) + c]};
}

// Every input kind and an input smaller than the coded picture (widths that end in part of a
// 16-column group included): inside the input the samples, outside black (luma 0, chroma 128).
TEST_F(Preprocessing, ConvertsEveryKindWithBlackOutside) {
  Open(test::Mpeg2Settings(720, 576));
  struct Size {
    int w, h;
  };
  for (uint32_t fourcc : {FOURCC_I420, FOURCC_YV12, FOURCC_NV12, FOURCC_UYVY, FOURCC_YUY2}) {
    for (const Size size : {Size{720, 576}, Size{704, 560}, Size{718, 570}, Size{354, 288}}) {
      SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&fourcc), 4) + " " + std::to_string(size.w) + "x" +
                   std::to_string(size.h));
      const bool packed = fourcc == FOURCC_UYVY || fourcc == FOURCC_YUY2;
      const size_t bytes = packed ? static_cast<size_t>(2) * size.w * size.h
                                  : static_cast<size_t>(size.w) * size.h + 2 * (size.w / 2) * (size.h / 2);
      const std::vector<uint8_t> input = RandomBytes(bytes, fourcc ^ size.w);
      CPicture* p = Picture(input, fourcc, size.w, size.h, 0, true);
      std::memset(p->srcLuma, 0x55, settings.stride * 576);
      std::memset(p->srcChroma, 0x55, settings.stride * 288);
      preprocessor.ProcessPicture(p);
      int wrong = 0;
      for (int y = 0; y < 576 && wrong < 5; ++y) {
        for (int x = 0; x < 720 && wrong < 5; ++x) {
          const bool inside = x < size.w && y < size.h;
          const Sample want = inside ? InputSample(input, fourcc, size.w, size.h, x, y) : Sample{0, 128, 128};
          const int luma = p->srcLuma[y * settings.stride + x];
          const uint8_t* pair = p->srcChroma + (y / 2) * settings.stride + 2 * (x / 2);
          if (luma != want.y || pair[0] != want.cb || pair[1] != want.cr) {
            ADD_FAILURE() << "at " << x << "," << y << ": " << luma << "/" << int(pair[0]) << "/" << int(pair[1])
                          << " for " << want.y << "/" << want.cb << "/" << want.cr;
            ++wrong;
          }
        }
      }
      p->Release();
    }
  }
}

// A macroblock whose rows alternate between dark and light is field-structured.
void StripeMacroblock(std::vector<uint8_t>& frame, int w, int mbX, int mbY) {
  for (int y = 0; y < 16; ++y) {
    std::memset(frame.data() + static_cast<size_t>(16 * mbY + y) * w + 16 * mbX, (y & 1) ? 200 : 40, 16);
  }
}

std::vector<uint8_t> FlatFrame(int w, int h) {
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3 / 2, 128);
  // A gentle texture so that frame macroblocks have some activity.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(100 + ((x / 4 + y / 4) & 3));
  return frame;
}

// The few-field rule: an interlaced MPEG-2 picture with at most macroblocks / 16 field macroblocks
// (I; / 8 for P) becomes progressive, its field macroblocks plain intra ones with their activity
// raised to at least 3 x (smallest deviation + 310); one more keeps it interlaced.
TEST_F(Preprocessing, FewFieldMacroblocksMakeTheMpeg2PictureProgressive) {
  Open(test::Mpeg2Settings(720, 576));
  const int mbs = settings.mbCols * settings.mbRows;  // 1620
  struct Case {
    int type;
    int fields;
    bool progressive;
  };
  for (const Case c : {Case{PICTURE_I, mbs / 16, true}, Case{PICTURE_I, mbs / 16 + 1, false},
                       Case{PICTURE_P, mbs / 8, true}, Case{PICTURE_P, mbs / 8 + 1, false}}) {
    SCOPED_TRACE(std::to_string(c.type) + " with " + std::to_string(c.fields));
    std::vector<uint8_t> frame = FlatFrame(720, 576);
    for (int i = 0; i < c.fields; ++i) StripeMacroblock(frame, 720, i % settings.mbCols, i / settings.mbCols);
    CPicture* p = Picture(frame, FOURCC_I420, 720, 576, 0, false);
    p->pictureType = c.type;
    preprocessor.ProcessPicture(p);
    EXPECT_EQ(p->framePredFrameDct != 0, c.progressive);
    EXPECT_EQ(p->fieldMbCount, c.progressive ? 0 : c.fields);
    const MBInfo& striped = p->mbInfo[0];
    if (c.progressive) {
      EXPECT_EQ(striped.flags, MBINFO_INTRA);
      EXPECT_GE(striped.intraActivity, 3 * (striped.minBlockDeviation + 310));
    } else {
      EXPECT_EQ(striped.flags, MBINFO_INTRA | MBINFO_FIELD);
    }
    EXPECT_EQ(p->mbInfo[mbs - 1].flags, MBINFO_INTRA);
    p->Release();
  }
}

// A picture marked progressive is never measured for field structure.
TEST_F(Preprocessing, ProgressivePictureIsNotFieldAnalysed) {
  Open(test::Mpeg2Settings(720, 576));
  std::vector<uint8_t> frame = FlatFrame(720, 576);
  for (int i = 0; i < 300; ++i) StripeMacroblock(frame, 720, i % settings.mbCols, i / settings.mbCols);
  CPicture* p = Picture(frame, FOURCC_I420, 720, 576, 0, true);
  preprocessor.ProcessPicture(p);
  EXPECT_EQ(p->fieldMbCount, 0);
  for (int i = 0; i < settings.mbCols * settings.mbRows; ++i) ASSERT_EQ(p->mbInfo[i].flags, MBINFO_INTRA) << i;
  // The activity is the frame measure of the core.
  std::unique_ptr<dsp::CPreprocCore> core;
  dsp::CPreprocCore* made = nullptr;
  ASSERT_TRUE(dsp::CreatePreprocCore(&made));
  core.reset(made);
  int smallest = 0;
  EXPECT_EQ(p->mbInfo[0].intraActivity, core->BlockDeviation(p->srcLuma, p->srcLuma + 8 * settings.stride,
                                                              settings.stride, &smallest, nullptr));
  EXPECT_EQ(p->mbInfo[0].minBlockDeviation, smallest);
  p->Release();
}

// A repeated picture copies its linked picture's measures and statistics instead of converting.
TEST_F(Preprocessing, RepeatedPictureCopiesItsLinkedMeasures) {
  Open(test::Mpeg2Settings(720, 576));
  std::vector<uint8_t> frame = FlatFrame(720, 576);
  for (int i = 0; i < 200; ++i) StripeMacroblock(frame, 720, (3 * i) % settings.mbCols, i / 15);
  CPicture* first = Picture(frame, FOURCC_I420, 720, 576, 0, false);
  preprocessor.ProcessPicture(first);
  CPicture* repeat = Picture(std::vector<uint8_t>(frame.size(), 0), FOURCC_I420, 720, 576, 0, false);
  repeat->SetLink(first);
  repeat->repeatIndex = 1;
  preprocessor.ProcessPicture(repeat);
  for (int i = 0; i < settings.mbCols * settings.mbRows; ++i) {
    ASSERT_EQ(repeat->mbInfo[i].intraActivity, first->mbInfo[i].intraActivity) << i;
    ASSERT_EQ(repeat->mbInfo[i].interCost, first->mbInfo[i].intraActivity) << i;
    ASSERT_EQ(repeat->mbInfo[i].minBlockDeviation, first->mbInfo[i].minBlockDeviation) << i;
    ASSERT_EQ(repeat->mbInfo[i].flags, (first->mbInfo[i].flags & MBINFO_FIELD) | MBINFO_INTRA) << i;
  }
  EXPECT_EQ(repeat->intraCostSum, first->intraCostSum);
  EXPECT_EQ(repeat->fieldMbCount, first->fieldMbCount);
  EXPECT_EQ(repeat->minRowDeviationSum, first->minRowDeviationSum);
  repeat->Release();
  first->Release();
}

// With the row window only its rows are converted and counted.
TEST_F(Preprocessing, RowWindowLimitsConversionAndSums) {
  const uint32_t first = 3, count = 4;
  Open(test::Mpeg2Settings(720, 576), PREPROC_NO_ESTIMATOR | PREPROC_ROW_WINDOW | first | (count << 24));
  const std::vector<uint8_t> frame = RandomBytes(720 * 576 * 3 / 2, 5);
  CPicture* p = Picture(frame, FOURCC_I420, 720, 576, 0, true);
  std::memset(p->srcLuma, 0x55, settings.stride * 576);
  preprocessor.ProcessPicture(p);
  for (int row = 0; row < settings.mbRows; ++row) {
    const bool inside = row >= 3 && row < 7;
    const uint8_t* luma = p->srcLuma + 16 * row * settings.stride;
    EXPECT_EQ(std::memcmp(luma, frame.data() + 16 * row * 720, 720) == 0, inside) << row;
    if (!inside) {
      EXPECT_EQ(luma[0], 0x55) << row;
    }
  }
  int expected = 0;
  for (int row = 3; row < 7; ++row) {
    int sum = 1;
    for (int col = 0; col < settings.mbCols; ++col) sum += p->mbInfo[row * settings.mbCols + col].intraActivity;
    expected += sum;
  }
  EXPECT_EQ(p->intraCostSum, expected);
  EXPECT_EQ(p->intraMbCount, static_cast<int>(count) * settings.mbCols);
  p->Release();
}

// H.264: 16x16 intra measures by 4x4 means; in an interlaced picture macroblock pairs are frame
// or field pairs together, measured over their own lines or their fields.
TEST_F(Preprocessing, H264MacroblockPairs) {
  EncoderSettings s = test::Mpeg2Settings(720, 576);
  s.codec = CODEC_H264;
  Open(s);
  std::unique_ptr<dsp::CPreprocCore> core;
  dsp::CPreprocCore* made = nullptr;
  ASSERT_TRUE(dsp::CreatePreprocCore(&made));
  core.reset(made);
  std::vector<uint8_t> frame = FlatFrame(720, 576);
  StripeMacroblock(frame, 720, 0, 0);  // a striped pair at column 0, rows 0 and 1
  StripeMacroblock(frame, 720, 0, 1);
  for (bool progressive : {true, false}) {
    SCOPED_TRACE(progressive ? "progressive" : "interlaced");
    CPicture* p = Picture(frame, FOURCC_I420, 720, 576, 0, progressive);
    preprocessor.ProcessPicture(p);
    const int stride = settings.stride;
    const MBInfo& upper = p->mbInfo[0];
    const MBInfo& lower = p->mbInfo[settings.mbCols];
    const MBInfo& flatUpper = p->mbInfo[1];
    const MBInfo& flatLower = p->mbInfo[settings.mbCols + 1];
    int smallest = 0;
    if (progressive) {
      EXPECT_EQ(upper.flags, MBINFO_PART_16X16 | MBINFO_INTRA);
      EXPECT_EQ(lower.flags, MBINFO_PART_16X16 | MBINFO_INTRA);
      EXPECT_EQ(upper.intraActivity, core->SubBlockMeans4x4(p->srcLuma, stride, &smallest, nullptr));
      EXPECT_EQ(p->fieldMbCount, 0);
    } else {
      EXPECT_EQ(upper.flags, MBINFO_PART_16X16 | MBINFO_INTRA | MBINFO_FIELD);
      EXPECT_EQ(lower.flags, MBINFO_INTRA | MBINFO_FIELD);
      EXPECT_EQ(upper.intraActivity, core->SubBlockMeans4x4(p->srcLuma, 2 * stride, &smallest, nullptr));
      EXPECT_EQ(lower.intraActivity, core->SubBlockMeans4x4(p->srcLuma + stride, 2 * stride, &smallest, nullptr));
      EXPECT_EQ(flatUpper.flags, MBINFO_PART_16X16 | MBINFO_INTRA);
      EXPECT_EQ(flatLower.flags, MBINFO_INTRA);
      EXPECT_EQ(p->fieldMbCount, 2);
    }
    p->Release();
  }
}

}  // namespace
}  // namespace orx::venc
