// The row driver (BeginPicture, ProcessRow, EndPicture) of the row pipeline, whose pictures are
// block-ordered and whose rows are estimated with zero vectors, against the whole-picture
// driver with the search switched off, which also estimates zero vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/venc/mbenc/memory_bit_stream.h"
#include "tests/venc/mbenc/test_rate_control.h"
#include "tests/venc/me/me_fixtures.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

constexpr int kMargin = 48;

struct Estimated {
  std::vector<MBInfo> mbs;
  int type = 0;
  int interCostSum = 0;
  int intraActivitySum = 0;
  int intraMbCount = 0;
  int maxVector[4] = {};
  int intraThreshold = 0;
  int vectorPenalty = 0;
};

Estimated Capture(const CPicture& p, const CMPEG2MotionEstimator& estimator, int count) {
  Estimated e;
  e.mbs.assign(p.mbInfo, p.mbInfo + count);
  e.type = p.pictureType;
  e.interCostSum = p.interCostSum;
  e.intraActivitySum = p.intraActivitySum;
  e.intraMbCount = p.intraMbCount;
  e.maxVector[0] = p.maxForwardX;
  e.maxVector[1] = p.maxForwardY;
  e.maxVector[2] = p.maxBackwardX;
  e.maxVector[3] = p.maxBackwardY;
  e.intraThreshold = estimator.intraThreshold;
  e.vectorPenalty = estimator.vectorPenalty;
  return e;
}

// The luma of a picture in the block-ordered layout: per macroblock row the 256 bytes of each
// macroblock, then the row's chroma (left 0 here: the estimator reads luma only).
std::vector<uint8_t> BlockOrdered(const uint8_t* luma, const EncoderSettings& s) {
  std::vector<uint8_t> out(static_cast<size_t>(s.mbRows) * s.mbCols * 384);
  for (int row = 0; row < s.mbRows; ++row) {
    for (int col = 0; col < s.mbCols; ++col) {
      uint8_t* to = out.data() + (static_cast<size_t>(row) * s.mbCols * 384) + 256 * col;
      for (int y = 0; y < 16; ++y) {
        std::memcpy(to + 16 * y, luma + (16 * row + y) * s.stride + 16 * col, 16);
      }
    }
  }
  return out;
}

// P pictures (N 15, M 1) of a texture moving 1.5 pels a picture: the row driver gives each
// macroblock the zero-vector cost the whole-picture path gives, the same flags and the same
// picture sums. The row pipeline's intra rule has no vector bias: a macroblock whose cost lies
// in (I + activity, I + activity + T] is intra there and inter in the whole-picture path.
TEST(RowDriver, EqualsTheWholePicturePathWithoutSearch) {
  EncoderSettings s = MeSettings(352, 288, 15, 1);
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  s.searchParams[0].noSearch = s.searchParams[1].noSearch = 1;
  const int tw = s.codedWidth + 2 * kMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 29);
  const int count = s.mbCols * s.mbRows;
  constexpr int kLength = 4;
  const auto fill = [&](int d, uint8_t* luma, int stride) {
    SampleTexture(texture, tw, kMargin, kMargin, 32 + 3 * d, 32 - 2 * d, luma, stride,
                  s.codedWidth, s.codedHeight);
  };

  std::vector<Estimated> whole;
  {
    auto* estimator = new CMPEG2MotionEstimator();
    MeSession session(s, estimator);
    for (int d = 0; d < kLength; ++d) {
      CPicture* p = session.NewPicture(d);
      p->AddRef();
      session.Feed(p, false, [&](uint8_t* luma, int stride) { fill(d, luma, stride); });
      whole.push_back(Capture(*p, *estimator, count));
      p->Release();
    }
  }

  std::vector<Estimated> rows;
  {
    // Declared before the session: the anchors it holds point at these buffers.
    std::map<int, std::vector<uint8_t>> blockOrdered;
    MemoryBitStream stream;
    TestRateControl rateControl;
    EncoderSettings rs = s;
    rs.reorderPictures = 1;
    rs.bitStream = &stream;
    auto* estimator = new CMPEG2MotionEstimator();
    MeSession session(rs, estimator);
    ASSERT_TRUE(session.Encoder().Init(&session.Settings(), &rateControl));
    for (int d = 0; d < kLength; ++d) {
      CPicture* p = session.NewPicture(d);
      estimator->DecidePictureType(p, false);
      fill(d, p->srcLuma, rs.stride);
      session.MeasureActivity(p);
      std::vector<uint8_t>& current = blockOrdered[d];
      current = BlockOrdered(p->srcLuma, rs);
      uint8_t* const storeSource = p->srcLuma;
      estimator->BeginPicture(p);
      for (int row = 0; row < rs.mbRows; ++row) {
        p->srcLuma = current.data() + static_cast<size_t>(row) * rs.mbCols * 384;
        estimator->ProcessRow(p, row);
      }
      estimator->EndPicture(p);
      rows.push_back(Capture(*p, *estimator, count));
      // A lossless reconstruction, block-ordered, as the next picture's reference.
      p->srcLuma = storeSource;
      p->reconLuma = current.data();
      p->Release();
    }
    EXPECT_EQ(rateControl.pictures, kLength);
    EXPECT_EQ(rateControl.endPictures, kLength);
  }

  int exceptions = 0;
  int intra = 0;
  for (int d = 0; d < kLength; ++d) {
    SCOPED_TRACE("picture " + std::to_string(d));
    const Estimated& w = whole[d];
    const Estimated& r = rows[d];
    ASSERT_EQ(r.type, w.type);
    if (w.type != PICTURE_P) continue;
    EXPECT_EQ(r.intraThreshold, w.intraThreshold);
    EXPECT_EQ(r.vectorPenalty, w.vectorPenalty);
    int pictureExceptions = 0;
    for (int i = 0; i < count; ++i) {
      const MBInfo& a = w.mbs[i];
      const MBInfo& b = r.mbs[i];
      EXPECT_EQ(b.interCost, a.interCost) << i;
      EXPECT_EQ(b.mv[0].forward, PackedMV{}) << i;
      EXPECT_EQ(a.mv[0].forward, PackedMV{}) << i;
      intra += (a.flags & MBINFO_INTRA) != 0 ? 1 : 0;
      if (b.flags == a.flags) continue;
      const int64_t bound = int64_t{w.intraThreshold} + a.intraActivity;
      const bool biasBand = b.flags == MBINFO_INTRA && a.flags == 0 && a.interCost > bound &&
                            a.interCost <= bound + w.vectorPenalty;
      EXPECT_TRUE(biasBand) << "macroblock " << i << ": flags " << b.flags << " against "
                            << a.flags << ", cost " << a.interCost;
      ++pictureExceptions;
    }
    exceptions += pictureExceptions;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.maxVector[k], 0);
    if (pictureExceptions == 0) {
      EXPECT_EQ(r.interCostSum, w.interCostSum);
      EXPECT_EQ(r.intraActivitySum, w.intraActivitySum);
      EXPECT_EQ(r.intraMbCount, w.intraMbCount);
    }
  }
  // The pictures hold both inter and intra macroblocks, and few fall between the two rules.
  EXPECT_GT(intra, 0);
  EXPECT_LT(intra, 3 * count);
  EXPECT_LE(exceptions * 20, 3 * count);
}

}  // namespace
}  // namespace orx::venc::test
