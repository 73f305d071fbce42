// The threaded MPEG-4 style estimator on the test pool: one band equals the base estimator's
// whole-picture pass; 1, 2, 4 and 8 bands find known shifts in quarter-pel units, with the
// picture's statistics the sums of the bands'.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/venc/me/me_fixtures.h"
#include "tests/venc/me/test_pool.h"
#include "venc/me/acc_mpeg4_motion_estimator.h"

namespace orx::venc::test {
namespace {

EncoderSettings Mpeg4StyleSettings(int codec, int width, int height, int n, int m) {
  EncoderSettings s = MeSettings(width, height, n, m);
  s.codec = codec;
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  s.profileLevel = codec == CODEC_VC1 ? 48 + 2 : 0;  // VC-1 advanced profile
  s.padX = 32;
  s.padY = 16;
  s.stride = s.codedWidth + 64;
  return s;
}

// Pictures moving (vx, vy) half-pels a picture from the texture, coded with the estimator.
std::vector<CodedPicture> Code(const EncoderSettings& s, int length, int vx, int vy,
                               CMotionEstimator* estimator, TestPool* pool) {
  const int tw = s.codedWidth + 2 * kTextureMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kTextureMargin + 64, 23);
  return CodeTextureSequence(
      s, length, texture, tw, [&](int d) { return std::make_pair(vx * d, vy * d); }, estimator,
      [&](MeSession& session) {
        if (pool != nullptr) pool->SetFrameStore(&session.Store());
      });
}

class Mpeg4OneBand : public ::testing::TestWithParam<int> {};

// One band is the whole picture as one job: the same decisions, statistics and vectors as the
// base estimator's whole-picture pass (VC-1 advanced: no partition search), also with border
// rows.
TEST_P(Mpeg4OneBand, EqualsTheBaseEstimator) {
  EncoderSettings s = Mpeg4StyleSettings(CODEC_VC1, 256, 160, 15, 3);
  s.borderY = GetParam();
  const auto base = Code(s, 7, 6, -2, new CMPEG4MotionEstimator(), nullptr);
  TestPool pool(1, 0, true);
  const auto banded = Code(s, 7, 6, -2, new CAccMPEG4MotionEstimator(&pool, 1, false), &pool);
  ExpectSameCoding(banded, base, "one band");
  const int border = s.borderY >> 4;
  ASSERT_EQ(pool.posted.size(), 10u);  // I B B P B B P: every P and B pass
  for (const EncAccJob& job : pool.posted) {
    EXPECT_EQ(job.tag, border * s.mbCols);
    EXPECT_EQ(job.count, (s.mbRows - 2 * border) * s.mbCols);
  }
}

INSTANTIATE_TEST_SUITE_P(MeThreads, Mpeg4OneBand, ::testing::Values(0, 32));

class Mpeg4Bands : public ::testing::TestWithParam<int> {};

// Whole-pel shifts over 1, 2, 4 and 8 bands: every interior P macroblock has the shift in
// quarter-pel units, the 16x16 partition and the forward direction, and the picture's cost sum
// is that of its rows.
TEST_P(Mpeg4Bands, FindTheKnownShifts) {
  const int bands = GetParam();
  for (const int codec : {CODEC_VC1, CODEC_H264}) {
    SCOPED_TRACE(codec == CODEC_VC1 ? "VC-1 advanced" : "H.264");
    const EncoderSettings s = Mpeg4StyleSettings(codec, 352, 288, 15, 1);
    TestPool pool(bands, 0, true);
    const auto coded = Code(s, 3, 8, -6, new CAccMPEG4MotionEstimator(&pool, bands, false), &pool);
    EXPECT_EQ(pool.posted.size(), 2u * bands);
    for (const CodedPicture& p : coded) {
      if (p.type != PICTURE_P) continue;
      int wrong = 0;
      int32_t sum = 0;
      for (int row = 0; row < s.mbRows; ++row) {
        sum += 1;
        for (int col = 0; col < s.mbCols; ++col) {
          const MBInfo& mb = p.mbs[row * s.mbCols + col];
          sum += (mb.flags & MBINFO_INTRA) != 0 ? mb.intraActivity : mb.interCost;
          if (row < 2 || row >= s.mbRows - 2 || col < 2 || col >= s.mbCols - 2) continue;
          if (!(mb.mv[0].forward == PackedMV{16, -12}) ||
              mb.flags != (MBINFO_PART_16X16 | MBINFO_FORWARD)) {
            ++wrong;
          }
        }
      }
      EXPECT_EQ(wrong, 0) << "picture " << p.display;
      EXPECT_EQ(p.interCostSum, sum) << "picture " << p.display;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(MeThreads, Mpeg4Bands, ::testing::Values(1, 2, 4, 8));

TEST(Mpeg4AccEstimator, WithoutAnAcceleratorEqualsTheBase) {
  const EncoderSettings s = Mpeg4StyleSettings(CODEC_H264, 256, 160, 15, 3);
  const auto base = Code(s, 7, 6, -2, new CMPEG4MotionEstimator(), nullptr);
  ExpectSameCoding(Code(s, 7, 6, -2, new CAccMPEG4MotionEstimator(nullptr, 4, false), nullptr),
                   base, "no accelerator");
}

}  // namespace
}  // namespace orx::venc::test
