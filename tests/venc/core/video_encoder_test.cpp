// CVideoEncoder on its own: the factory, configuration (the derived VBV size), the geometry and
// frame buffers Open makes, repeat groups, the small operations, and the picture layout helper.
#include <gtest/gtest.h>

#include <vector>

#include "tests/venc/common/collecting_bit_stream.h"
#include "tests/venc/common/settings_fixture.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/preprocessor.h"
#include "venc/core/video_encoder.h"

namespace orx::venc {
namespace {

// A CVideoEncoder released at the end of the test.
struct Encoder {
  Encoder() {
    IMPEGVideoEncoder* made = nullptr;
    EXPECT_TRUE(NewMPEGVideoEncoder(&made, 0));
    video = static_cast<CVideoEncoder*>(made);
  }
  ~Encoder() { video->Release(); }
  CVideoEncoder* video = nullptr;
};

TEST(VideoEncoder, FactoryMakesOnlyTheSingleEncoder) {
  IMPEGVideoEncoder* made = reinterpret_cast<IMPEGVideoEncoder*>(1);
  EXPECT_FALSE(NewMPEGVideoEncoder(&made, 1));  // the parallel encoder comes later
  EXPECT_EQ(made, nullptr);
  EXPECT_FALSE(NewMPEGVideoEncoder(nullptr, 0));
}

// With no VBV size given, Configure derives one from the peak rate (before the checks bound it).
TEST(VideoEncoder, DerivedVbvSize) {
  struct Case {
    int codec;
    int rate;
    bool variable;
    int expected;
  };
  const Case cases[] = {
      {CODEC_MPEG1, 1150000, false, 20},  // at or below 1.856 Mbit/s
      {CODEC_MPEG1, 3000000, false, 34},  // 23 x b / 1856000 - 3
      {CODEC_MPEG2, 1000000, false, 30},  // the cap: 0.5 x b / 16384
      {CODEC_MPEG2, 1000000, true, 44},   // variable and at most 5 Mbit/s: 0.728 x b / 16384
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.codec) + " at " + std::to_string(c.rate));
    Encoder e;
    EncoderSettings s = test::Mpeg2Settings(352, 288, 6, c.rate);
    s.codec = c.codec;
    s.variableBitRate = c.variable ? 1 : 0;
    s.vbvBufferSize = 0;
    s.quietChecks = 1;
    e.video->Configure(&s);
    EXPECT_EQ(e.video->Settings().vbvBufferSize, c.expected);
  }
}

TEST(VideoEncoder, OpenGeometryAndFrameBuffers) {
  struct Case {
    int width, height, progressive, anchorDistance;
    int mbRows, codedHeight, frameBuffers;
  };
  const Case cases[] = {
      {1920, 1080, 0, 3, 68, 1088, 6},  // interlaced: whole macroblock pairs
      {720, 576, 1, 1, 36, 576, 4},     // M + 3, at least 4
      {352, 280, 1, 2, 18, 288, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Encoder e;
    test::CollectingBitStream out;
    EncoderSettings s = test::Mpeg2Settings(c.width, c.height);
    s.bitStream = &out;
    s.progressiveSequence = c.progressive;
    s.anchorDistance = c.anchorDistance;
    s.streamType = c.width == 1920 ? STREAM_TYPE_HD : STREAM_TYPE_MPEG2_SD;
    s.bitRate = s.maxBitRate = c.width == 1920 ? 15000000 : 6000000;
    ASSERT_TRUE(e.video->Configure(&s));
    ASSERT_TRUE(e.video->Open());
    EXPECT_EQ(e.video->Settings().mbRows, c.mbRows);
    EXPECT_EQ(e.video->Settings().codedHeight, c.codedHeight);
    EXPECT_EQ(e.video->FrameBufferCount(), c.frameBuffers);
    int w = 0, h = 0;
    e.video->GetCodedSize(&w, &h);
    EXPECT_EQ(h, c.codedHeight);
    e.video->Close();
  }
}

// A flat 352x288 frame shown three times (a repeat count of 2).
EncodeFrameRequest RepeatedCifFrame(const std::vector<uint8_t>& frame, uint32_t flags) {
  EncodeFrameRequest request{};
  request.data = frame.data();
  request.fourcc = FOURCC_I420;
  request.width = 352;
  request.height = 288;
  request.flags = flags;
  request.repeatCount = 2;
  return request;
}

// A repeat count of 2 with no field flags makes three pictures of one repeat group.
TEST(VideoEncoder, RepeatGroupAndSmallOperations) {
  Encoder e;
  test::CollectingBitStream out;
  EncoderSettings s = test::Mpeg2Settings(352, 288);
  s.bitStream = &out;
  int32_t stats[5] = {};
  e.video->GetStatistics(stats);
  EXPECT_EQ(stats[4], -1);  // no estimator yet
  EXPECT_FALSE(e.video->ForceKeyFrame());
  ASSERT_TRUE(e.video->Configure(&s));
  ASSERT_TRUE(e.video->Open());
  EXPECT_TRUE(e.video->ForceKeyFrame());
  std::vector<uint8_t> frame(352 * 288 * 3 / 2, 100);
  EncodeFrameRequest request = RepeatedCifFrame(frame, 0);
  EXPECT_EQ(e.video->EncodeFrame(&request), 1);
  e.video->GetStatistics(stats);
  EXPECT_EQ(stats[2], 3);  // display counter
  EXPECT_EQ(stats[3], 2);  // repeat counter
  EXPECT_EQ(stats[4], 0);  // on the CPU
  const int32_t aux[3] = {2, 40, -1};
  EXPECT_EQ(e.video->SetAuxParams(aux), 40);
  EXPECT_EQ(e.video->Settings().noiseFilterMode, 2);
  EXPECT_EQ(e.video->SetGopLength(0), 0);
  EXPECT_EQ(e.video->Settings().gopLength, 15);
  EXPECT_EQ(e.video->SetGopLength(12), 12);
  EXPECT_EQ(e.video->Settings().gopLength, 12);
  e.video->SetBitRate(4000000);
  EXPECT_EQ(e.video->Settings().bitRate, 4000000);
  EXPECT_TRUE(e.video->EnableGpu(GPU_MODE_NONE));
  int devices = -1;
  EXPECT_EQ(e.video->QueryGpu(&devices, GPU_MODE_DATAFLOW), 0);
  EXPECT_EQ(devices, 0);  // no GPU runtime: the encoders stay on the CPU
  e.video->Finish();
  e.video->Close();
  int pictures = 0;
  const std::vector<uint8_t> stream = out.Collected();
  for (size_t i = 0; i + 3 < stream.size(); ++i) {
    pictures += stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0 ? 1 : 0;
  }
  EXPECT_EQ(pictures, 3);
}

// Time stamps are milliseconds: in a repeat group a picture that repeats its first field lasts a
// frame and a half (round(1500 / rate)), the others a frame (round(1000 / rate)); a lead picture
// of its own comes first when the group does not start on a repeated field.
TEST(VideoEncoder, RepeatGroupTimeStamps) {
  struct Case {
    const char* what;
    int frameRateIndex;  // 6: 25, 7: 29.97
    uint32_t flags;
    std::vector<int64_t> stamps;
  };
  const Case cases[] = {
      {"25 fps, first field repeated", 6, ENCODE_TOP_FIELD_FIRST | ENCODE_REPEAT_FIRST_FIELD | ENCODE_PROGRESSIVE_FRAME,
       {1000, 1060, 1100}},
      {"29.97 fps, first field repeated", 7,
       ENCODE_TOP_FIELD_FIRST | ENCODE_REPEAT_FIRST_FIELD | ENCODE_PROGRESSIVE_FRAME, {1000, 1050, 1083}},
      {"25 fps, interlaced frames with a lead picture", 6, ENCODE_TOP_FIELD_FIRST, {1000, 1040, 1080}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Encoder e;
    test::CollectingBitStream out;
    EncoderSettings s = test::Mpeg2Settings(352, 288, c.frameRateIndex);
    s.progressiveSequence = 0;
    s.bitStream = &out;
    ASSERT_TRUE(e.video->Configure(&s));
    ASSERT_TRUE(e.video->Open());
    std::vector<uint8_t> frame(352 * 288 * 3 / 2, 100);
    EncodeFrameRequest request = RepeatedCifFrame(frame, c.flags);
    request.timeStamp = 1000;
    EXPECT_EQ(e.video->EncodeFrame(&request), 1);
    e.video->Finish();
    e.video->Close();
    EXPECT_EQ(out.stamps, c.stamps);
  }
}

TEST(VideoEncoder, PictureLayout) {
  struct Case {
    const char* name;
    PictureLayoutRequest request;
    PictureLayout expected;
  };
  const Case cases[] = {
      {.name = "progressive 720x576, mode 0: tall and a multiple of 32 rows",
       .request = {.width = 720, .height = 576, .interleave = false, .mode = 0, .overscanX = 0, .overscanY = 0,
                   .alignMode = 0, .interlaced = false},
       .expected = {.xCount = 720, .yCount = 576, .xOffset = 0, .yOffset = 0, .xEnd = 720, .yEnd = 576, .xMargin = 0,
                    .yMargin = 0}},
      // 32-row alignment cuts 6 rows, 3 on each side; both counts halved where asked, margins
      // from the overscan.
      {.name = "interlaced 720x486",
       .request = {.width = 720, .height = 486, .interleave = false, .mode = 1, .overscanX = 10, .overscanY = 10,
                   .alignMode = 0, .interlaced = true},
       .expected = {.xCount = 720, .yCount = 240, .xOffset = 0, .yOffset = 3, .xEnd = 720, .yEnd = 483,
                    .xMargin = 72, .yMargin = 22}},
      {.name = "32-column alignment halves the column count",
       .request = {.width = 704, .height = 480, .interleave = false, .mode = 0, .overscanX = 0, .overscanY = 0,
                   .alignMode = 1, .interlaced = false},
       .expected = {.xCount = 352, .yCount = 480, .xOffset = 0, .yOffset = 0, .xEnd = 704, .yEnd = 480, .xMargin = 0,
                    .yMargin = 0}},
  };
  Encoder e;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureLayout got = e.video->ComputePictureLayout(c.request, nullptr);
    EXPECT_EQ(got.xCount, c.expected.xCount);
    EXPECT_EQ(got.yCount, c.expected.yCount);
    EXPECT_EQ(got.xOffset, c.expected.xOffset);
    EXPECT_EQ(got.yOffset, c.expected.yOffset);
    EXPECT_EQ(got.xEnd, c.expected.xEnd);
    EXPECT_EQ(got.yEnd, c.expected.yEnd);
    EXPECT_EQ(got.xMargin, c.expected.xMargin);
    EXPECT_EQ(got.yMargin, c.expected.yMargin);
  }
  // Interleaving two fields of 50 Hz halves the frame rate; at 25 Hz it cannot.
  const PictureLayoutRequest interleaved = {.width = 720, .height = 288, .interleave = true, .mode = 0,
                                            .overscanX = 0, .overscanY = 0, .alignMode = 0, .interlaced = false};
  int index = 9;
  e.video->ComputePictureLayout(interleaved, &index);
  EXPECT_EQ(index, 6);
  index = 6;
  e.video->ComputePictureLayout(interleaved, &index);
  EXPECT_EQ(index, 6);
}

}  // namespace
}  // namespace orx::venc
