// The threaded MPEG-2 estimator and the accelerator's worker objects, driven through the test
// pool: one band against the base estimator, bands on known displacements, the band split, the
// per-row mode, the estimator without an accelerator or with refused posts, and the
// prediction worker against direct motion-compensation calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/venc/me/me_fixtures.h"
#include "tests/venc/me/test_pool.h"
#include "venc/me/f_code.h"
#include "venc/dsp/core_factories.h"
#include "venc/me/acc_mpeg2_motion_estimator.h"
#include "venc/me/enc_acc_cpu_mc.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

constexpr int kMargin = kTextureMargin;

using Offset = TextureOffset;

EncoderSettings Unspecified(int width, int height, int n, int m) {
  EncoderSettings s = MeSettings(width, height, n, m);
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  return s;
}

// The texture sequence; the pool, when given, resolves buffers through the session's picture
// store.
std::vector<CodedPicture> RunSequence(const EncoderSettings& s, int length,
                                      const std::vector<uint8_t>& texture, int textureWidth,
                                      const Offset& offset, CMotionEstimator* estimator,
                                      TestPool* pool = nullptr) {
  return CodeTextureSequence(s, length, texture, textureWidth, offset, estimator,
                             [pool](MeSession& session) {
                               if (pool != nullptr) pool->SetFrameStore(&session.Store());
                             });
}

const CodedPicture& Display(const std::vector<CodedPicture>& coded, int display) {
  for (const CodedPicture& c : coded) {
    if (c.display == display) return c;
  }
  ADD_FAILURE() << "picture " << display << " was not coded";
  return coded.front();
}

// The N 15, M 3 sequence of the variant tests: 352x288, moving (5, -3) pels and a half pel.
struct MovingSequence {
  EncoderSettings settings = Unspecified(352, 288, 15, 3);
  int textureWidth = 352 + 256;
  std::vector<uint8_t> texture = MakeTexture(352 + 256, 288 + 256, 23);
  Offset offset = [](int d) { return std::make_pair(10 * d + 1, -6 * d + 120); };

  std::vector<CodedPicture> Code(CMotionEstimator* estimator, TestPool* pool = nullptr) const {
    return RunSequence(settings, 7, texture, textureWidth, offset, estimator, pool);
  }
};

// The largest vector components of the inter macroblocks: forward of those predicted forward
// or both ways, backward of those predicted backward or both ways.
std::array<int, 4> LargestComponents(const CodedPicture& c) {
  std::array<int, 4> largest{};
  for (const MBInfo& mb : c.mbs) {
    if ((mb.flags & MBINFO_INTRA) != 0) continue;
    if ((mb.flags & MBINFO_BIDIRECTIONAL) != MBINFO_BACKWARD) {
      largest[0] = std::max(largest[0], std::abs(int{mb.mv[0].forward.x}));
      largest[1] = std::max(largest[1], std::abs(int{mb.mv[0].forward.y}));
    }
    if ((mb.flags & MBINFO_BACKWARD) != 0) {
      largest[2] = std::max(largest[2], std::abs(int{mb.mv[0].backward.x}));
      largest[3] = std::max(largest[3], std::abs(int{mb.mv[0].backward.y}));
    }
  }
  return largest;
}

// The statistics of a picture as the rows of its final MBInfo give them (no border rows):
// row totals of 1 + the inter costs + the intra activity of the intra macroblocks, and the
// vector ranges of the inter macroblocks (at least those with unrefinedSearch, whose ranges
// also hold the encoder thread's vectors before the workers refined them). The smallest row
// total is checked for P pictures, whose statistics come from one pass (it starts at the
// preprocessor's smallest row activity).
void ExpectStatisticsOfMacroblocks(const EncoderSettings& s, const CodedPicture& c,
                                   bool unrefinedSearch = false) {
  SCOPED_TRACE("statistics of picture " + std::to_string(c.display));
  int64_t inter = 0;
  int64_t intraSum = 0;
  int intraCount = 0;
  int32_t smallestRow = INT_MAX;
  int32_t smallestActivity = INT_MAX;
  for (int row = 0; row < s.mbRows; ++row) {
    int32_t rowTotal = 1;
    int32_t rowIntra = 0;
    int32_t rowActivity = 0;
    for (int col = 0; col < s.mbCols; ++col) {
      const MBInfo& mb = c.mbs[row * s.mbCols + col];
      rowActivity += mb.intraActivity;
      if ((mb.flags & MBINFO_INTRA) != 0) {
        rowIntra += mb.intraActivity;
        ++intraCount;
      } else {
        rowTotal += mb.interCost;
      }
    }
    inter += rowTotal + rowIntra;
    intraSum += rowIntra;
    smallestRow = std::min(smallestRow, rowTotal + rowIntra);
    smallestActivity = std::min(smallestActivity, rowActivity);
  }
  EXPECT_EQ(c.interCostSum, inter);
  EXPECT_EQ(c.intraActivitySum, intraSum);
  EXPECT_EQ(c.intraMbCount, intraCount);
  const std::array<int, 4> largest = LargestComponents(c);
  for (int k = 0; k < 4; ++k) {
    if (unrefinedSearch) {
      EXPECT_GE(c.maxVector[k], largest[k]) << k;
    } else {
      EXPECT_EQ(c.maxVector[k], largest[k]) << k;
    }
  }
  if (c.type == PICTURE_P) {
    EXPECT_EQ(c.minRowCostTotal, std::min(smallestRow, smallestActivity));
  }
}

// Interior macroblocks (two macroblocks away from every edge) whose vectors differ from the
// expected ones.
int WrongInterior(const EncoderSettings& s, const CodedPicture& c, PackedMV forward,
                  const PackedMV* backward) {
  int wrong = 0;
  for (int row = 2; row < s.mbRows - 2; ++row) {
    for (int col = 2; col < s.mbCols - 2; ++col) {
      const MBInfo& mb = c.mbs[row * s.mbCols + col];
      const bool right =
          mb.mv[0].forward == forward && (backward == nullptr || mb.mv[0].backward == *backward);
      wrong += right ? 0 : 1;
    }
  }
  return wrong;
}

PackedMV Mv(int x, int y) { return {static_cast<int16_t>(x), static_cast<int16_t>(y)}; }

struct Shift {
  int x, y;  // half-pel per picture
};

// Picture d moved by d shifts from (32, 32) half-pel.
Offset Moving(Shift v) {
  return [v](int d) { return std::make_pair(v.x * d + 32, v.y * d + 32); };
}

// ---- one band, many bands ----

class OneBand : public ::testing::TestWithParam<int> {};

// One band is the whole picture as one job: the same decisions, statistics and vectors as the
// base estimator's, also with border rows.
TEST_P(OneBand, EqualsTheBaseEstimator) {
  MovingSequence sequence;
  sequence.settings.borderY = GetParam();
  const std::vector<CodedPicture> base = sequence.Code(new CMPEG2MotionEstimator());
  TestPool pool(1, 0);
  const std::vector<CodedPicture> banded =
      sequence.Code(new CAccMPEG2MotionEstimator(&pool, 1, false), &pool);
  ExpectSameCoding(banded, base, "one band");
  // I B B P B B P: every P and B pass (the B pictures twice) is one job of every estimated row.
  const EncoderSettings& s = sequence.settings;
  const int border = s.borderY >> 4;
  ASSERT_EQ(pool.posted.size(), 10u);
  for (const EncAccJob& job : pool.posted) {
    EXPECT_EQ(job.kind, ACC_JOB_SEARCH | ACC_JOB_REFINE);
    EXPECT_EQ(job.tag, border * s.mbCols);
    EXPECT_EQ(job.count, (s.mbRows - 2 * border) * s.mbCols);
  }
  EXPECT_EQ(pool.resets, 10);
}

INSTANTIATE_TEST_SUITE_P(MeThreads, OneBand, ::testing::Values(0, 32));

class Bands : public ::testing::TestWithParam<int> {};

// Known shifts split over 1, 2, 4 and 8 bands: the exact vectors in every interior
// macroblock, and statistics that are the sums over the bands' rows.
TEST_P(Bands, FindTheKnownShifts) {
  const int bands = GetParam();
  TestPool pool(bands, 0);
  {
    const EncoderSettings s = Unspecified(352, 288, 15, 1);
    const int tw = s.codedWidth + 2 * kMargin + 64;
    const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 17);
    for (const Shift v : {Shift{-14, 6}, Shift{7, 0}}) {
      SCOPED_TRACE("P shift " + std::to_string(v.x) + "," + std::to_string(v.y));
      pool.posted.clear();
      const auto coded = RunSequence(s, 3, texture, tw, Moving(v),
                                     new CAccMPEG2MotionEstimator(&pool, bands, false), &pool);
      EXPECT_EQ(pool.posted.size(), 2u * bands);
      for (int d : {1, 2}) {
        const CodedPicture& p = Display(coded, d);
        ASSERT_EQ(p.type, PICTURE_P);
        EXPECT_EQ(WrongInterior(s, p, Mv(v.x, v.y), nullptr), 0) << "picture " << d;
        ExpectStatisticsOfMacroblocks(s, p);
        EXPECT_EQ(p.fCodes[0], GetFCode(p.maxVector[0]));
      }
    }
  }
  {
    // N 15, M 3: B pictures 1 and 2 between I 0 and P 3, moving (3, -2) pels a picture.
    const EncoderSettings s = Unspecified(352, 288, 15, 3);
    const int tw = s.codedWidth + 2 * kMargin + 64;
    const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 5);
    const auto coded = RunSequence(s, 4, texture, tw, Moving({6, -4}),
                                   new CAccMPEG2MotionEstimator(&pool, bands, false), &pool);
    EXPECT_EQ(WrongInterior(s, Display(coded, 3), Mv(18, -12), nullptr), 0);
    for (int d : {1, 2}) {
      const CodedPicture& b = Display(coded, d);
      ASSERT_EQ(b.type, PICTURE_B);
      const PackedMV backward = Mv(6 * (d - 3), -4 * (d - 3));
      // As with the base estimator, the 4:1 level may leave a position between its samples
      // that the cross after the 2:1 level cannot come back to: a few misses are allowed.
      const int interior = (s.mbCols - 4) * (s.mbRows - 4);
      EXPECT_LE(WrongInterior(s, b, Mv(6 * d, -4 * d), &backward) * 50, interior) << "B " << d;
      ExpectStatisticsOfMacroblocks(s, b);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(MeThreads, Bands, ::testing::Values(1, 2, 4, 8));

struct SplitCase {
  int height;
  int bands;
  int borderY;
  std::vector<int> rows;  // estimated rows of each job, in order
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << c.height / 16 << " rows, " << c.bands << " bands, border " << c.borderY / 16;
}

class BandSplit : public ::testing::TestWithParam<SplitCase> {};

// The rows between the borders go to the bands, the first R mod T bands one row more; a band
// count of 0 is 1 and more than 8 is 8; bands left without rows post nothing. The I picture
// posts no job.
TEST_P(BandSplit, JobsCoverTheEstimatedRows) {
  const SplitCase& c = GetParam();
  EncoderSettings s = Unspecified(352, c.height, 15, 1);
  s.borderY = c.borderY;
  const int tw = s.codedWidth + 2 * kMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 9);
  TestPool pool(std::clamp(c.bands, 1, 8), 0);
  MeSession session(s, new CAccMPEG2MotionEstimator(&pool, c.bands, false));
  pool.SetFrameStore(&session.Store());
  for (int d = 0; d < 2; ++d) {
    session.Feed(session.NewPicture(d), false, [&](uint8_t* luma, int stride) {
      SampleTexture(texture, tw, kMargin, kMargin, 32 + 4 * d, 32 - 2 * d, luma, stride,
                    s.codedWidth, s.codedHeight);
    });
    if (d == 0) {
      EXPECT_TRUE(pool.posted.empty());
      EXPECT_EQ(pool.resets, 0);
    }
  }
  const CodedPicture& p = session.Encoder().coded.at(1);
  ASSERT_EQ(p.type, PICTURE_P);
  ASSERT_EQ(pool.posted.size(), c.rows.size());
  int row = c.borderY >> 4;
  for (size_t i = 0; i < c.rows.size(); ++i) {
    const EncAccJob& job = pool.posted[i];
    EXPECT_EQ(job.kind, ACC_JOB_SEARCH | ACC_JOB_REFINE) << i;
    EXPECT_EQ(job.tag, row * s.mbCols) << i;
    EXPECT_EQ(job.count, c.rows[i] * s.mbCols) << i;
    EXPECT_EQ(job.pictureId, p.sourceBuffer) << i;
    row += c.rows[i];
  }
  EXPECT_EQ(pool.resets, 1);
  if (c.borderY == 0) ExpectStatisticsOfMacroblocks(s, p);
}

INSTANTIATE_TEST_SUITE_P(MeThreads, BandSplit,
                         ::testing::Values(SplitCase{272, 4, 0, {5, 4, 4, 4}},
                                           SplitCase{272, 0, 0, {17}},
                                           SplitCase{272, 9, 0, {3, 2, 2, 2, 2, 2, 2, 2}},
                                           SplitCase{272, 4, 16, {4, 4, 4, 3}},
                                           SplitCase{96, 8, 0, {1, 1, 1, 1, 1, 1}}),
                         [](const ::testing::TestParamInfo<SplitCase>& info) {
                           const SplitCase& c = info.param;
                           return "Rows" + std::to_string(c.height / 16) + "Bands" +
                                  std::to_string(c.bands) + "Border" +
                                  std::to_string(c.borderY / 16);
                         });

// ---- without workers ----

// Without an accelerator nothing would search: the picture is estimated as the base estimator
// does it, in band mode and in per-row mode alike.
TEST(AccEstimator, WithoutAnAcceleratorEqualsTheBase) {
  const MovingSequence sequence;
  const std::vector<CodedPicture> base = sequence.Code(new CMPEG2MotionEstimator());
  ExpectSameCoding(sequence.Code(new CAccMPEG2MotionEstimator(nullptr, 4, false)), base, "bands");
  ExpectSameCoding(sequence.Code(new CAccMPEG2MotionEstimator(nullptr, 1, true)), base,
                   "per row");
  // A core given at construction is the one the estimator works with (and owns): the plain
  // core's coding, as the base estimator gives it with that core.
  auto* core = new dsp::CMotionEstimationCore();
  auto* withCore = new CAccMPEG2MotionEstimator(core, nullptr, 4, false);
  EXPECT_EQ(withCore->Core(), core);
  ExpectSameCoding(sequence.Code(withCore), sequence.Code(new CMPEG2MotionEstimator(new dsp::CMotionEstimationCore())),
                   "a given plain core");
}

// A band whose job cannot be posted is estimated on the encoder thread as a worker would.
TEST(MeThreads, RefusedPostsAreEstimatedHere) {
  const MovingSequence sequence;
  TestPool refusing(1, 0);
  refusing.RefusePosts(1000);
  ExpectSameCoding(sequence.Code(new CAccMPEG2MotionEstimator(&refusing, 1, false), &refusing),
                   sequence.Code(new CMPEG2MotionEstimator()), "one band refused");
  EXPECT_TRUE(refusing.posted.empty());

  TestPool workers(3, 0);
  const std::vector<CodedPicture> banded =
      sequence.Code(new CAccMPEG2MotionEstimator(&workers, 3, false), &workers);
  TestPool some(3, 0);
  some.RefusePosts(4);
  ExpectSameCoding(sequence.Code(new CAccMPEG2MotionEstimator(&some, 3, false), &some), banded,
                   "three bands, four refused");
}

// ---- per-row mode ----

// Answers every refine job with set records instead of running it.
class ScriptedAccelerator : public IEncodeAccelerator {
 public:
  std::function<AccBandStats(int row)> record;
  int columns = 1;
  std::vector<EncAccJob> posted;
  std::set<int> outstanding;
  size_t mostOutstanding = 0;
  int configurations = 0;
  int resets = 0;

  void ConfigureME(const AccConfig*) override { ++configurations; }
  void ConfigureMCP(const AccConfig*) override {}
  void SetPreprocessConfig(const AccConfig*) override {}
  void Reset(int) override { ++resets; }
  bool PostJob(const EncAccJob* job) override {
    posted.push_back(*job);
    *job->statistics = record(job->tag / columns);
    outstanding.insert(job->tag);
    mostOutstanding = std::max(mostOutstanding, outstanding.size());
    return true;
  }
  int WaitJob(EncAccJob* job) override {
    EXPECT_EQ(outstanding.erase(job->tag), 1u) << "waited for a job never posted";
    return 1;
  }
};

// The picture's ranges take the largest components of the workers' records as well as those
// of the encoder thread's own search; its sums are the records' sums.
TEST(AccEstimator, PerRowWidensTheRangesFromTheWorkerRecords) {
  const EncoderSettings s = Unspecified(352, 288, 15, 1);
  const int tw = s.codedWidth + 2 * kMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 17);
  const Offset offset = Moving({-14, 6});
  for (const int recordY : {0, 40}) {
    SCOPED_TRACE("record y " + std::to_string(recordY));
    ScriptedAccelerator scripted;
    scripted.columns = s.mbCols;
    scripted.record = [&](int row) {
      AccBandStats r{};
      r.costSum = r.minRowTotal = row == 5 ? 1000 : 100;
      r.intraActivitySum = row == 7 ? 300 : 0;
      r.intraMbCount = row == 7 ? 1 : 0;
      r.maxForwardY = row == 5 ? recordY : 0;
      return r;
    };
    const auto coded =
        RunSequence(s, 2, texture, tw, offset, new CAccMPEG2MotionEstimator(&scripted, 1, true));
    const CodedPicture& p = Display(coded, 1);
    // Nothing ran on the records' side: the MBInfo holds the encoder thread's own search.
    const std::array<int, 4> own = LargestComponents(p);
    EXPECT_GE(own[1], 6);
    EXPECT_LT(own[1], 40);
    EXPECT_EQ(p.maxVector[0], own[0]);
    EXPECT_EQ(p.maxVector[1], std::max(own[1], recordY));
    EXPECT_EQ(p.fCodes[1], GetFCode(std::max(own[1], recordY)));
    EXPECT_EQ(p.interCostSum, 17 * 100 + 1000);
    EXPECT_EQ(p.minRowCostTotal, 100);
    EXPECT_EQ(p.intraActivitySum, 300);
    EXPECT_EQ(p.intraMbCount, 1);
    // One refine job per row, in order, never more than two outstanding.
    ASSERT_EQ(scripted.posted.size(), static_cast<size_t>(s.mbRows));
    for (int row = 0; row < s.mbRows; ++row) {
      EXPECT_EQ(scripted.posted[row].kind, ACC_JOB_REFINE);
      EXPECT_EQ(scripted.posted[row].tag, row * s.mbCols);
      EXPECT_EQ(scripted.posted[row].count, s.mbCols);
    }
    EXPECT_TRUE(scripted.outstanding.empty());
    EXPECT_EQ(scripted.mostOutstanding, 2u);
    EXPECT_EQ(scripted.configurations, 1);
    EXPECT_EQ(scripted.resets, 1);
  }
}

// The worker refines the encoder thread's full-pel vectors to the shift. Its refinement has
// no vector predictors, so a coarse-search miss that the neighbours' vector would have put
// right in the whole-picture pass may stay a half or whole pel off: a few misses are allowed.
TEST(MeThreads, PerRowRefinesTheKnownShifts) {
  constexpr int kPerRowMissRatio = 25;
  const int interior = (22 - 4) * (18 - 4);
  TestPool pool(1, 0);
  {
    const EncoderSettings s = Unspecified(352, 288, 15, 1);
    const int tw = s.codedWidth + 2 * kMargin + 64;
    const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 17);
    for (const Shift v : {Shift{-14, 6}, Shift{7, 0}, Shift{0, -5}}) {
      SCOPED_TRACE("P shift " + std::to_string(v.x) + "," + std::to_string(v.y));
      const auto coded = RunSequence(s, 2, texture, tw, Moving(v),
                                     new CAccMPEG2MotionEstimator(&pool, 1, true), &pool);
      const CodedPicture& p = Display(coded, 1);
      EXPECT_LE(WrongInterior(s, p, Mv(v.x, v.y), nullptr) * kPerRowMissRatio, interior);
      ExpectStatisticsOfMacroblocks(s, p, true);
    }
  }
  {
    const EncoderSettings s = Unspecified(352, 288, 15, 3);
    const int tw = s.codedWidth + 2 * kMargin + 64;
    const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 5);
    const auto coded = RunSequence(s, 4, texture, tw, Moving({6, -4}),
                                   new CAccMPEG2MotionEstimator(&pool, 1, true), &pool);
    for (int d : {1, 2}) {
      const CodedPicture& b = Display(coded, d);
      const PackedMV backward = Mv(6 * (d - 3), -4 * (d - 3));
      EXPECT_LE(WrongInterior(s, b, Mv(6 * d, -4 * d), &backward) * kPerRowMissRatio, interior)
          << "B " << d;
      ExpectStatisticsOfMacroblocks(s, b, true);
    }
  }
}

// The backward pass of a B picture reads its forward candidate's cost from the MBInfo, where
// the forward pass left it. In the per-row mode the encoder thread's search of a row writes
// the chosen cost there before the worker decides the row; the forward cost is put back first,
// so a macroblock the worker predicts forward carries the cost of its forward vector, as in the
// base estimator (pictures with noise, so that all three choices occur).
TEST(MeThreads, PerRowKeepsTheForwardCostOfBPictures) {
  const EncoderSettings s = Unspecified(352, 288, 15, 3);
  const int tw = s.codedWidth + 2 * kMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 5);
  const int planeStride = s.codedWidth;
  const auto picture = [&](int d) {
    std::vector<uint8_t> luma(static_cast<size_t>(s.codedHeight + 2) * planeStride + 32);
    SampleTexture(texture, tw, kMargin, kMargin, 6 * d + 32, -4 * d + 32, luma.data(),
                  planeStride, s.codedWidth, s.codedHeight);
    std::mt19937 random(1000 + d);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < s.codedHeight; ++y) {
      for (int x = 0; x < s.codedWidth; ++x) {
        uint8_t& v = luma[y * planeStride + x];
        v = static_cast<uint8_t>(std::clamp(v + noise(random), 0, 255));
      }
    }
    return luma;
  };
  const auto code = [&](CMotionEstimator* estimator, TestPool* pool) {
    MeSession session(s, estimator);
    if (pool != nullptr) pool->SetFrameStore(&session.Store());
    for (int d = 0; d < 4; ++d) {
      const std::vector<uint8_t> luma = picture(d);
      session.Feed(session.NewPicture(d), false, [&](uint8_t* to, int stride) {
        for (int y = 0; y < s.codedHeight; ++y) {
          std::memcpy(to + y * stride, luma.data() + y * planeStride, s.codedWidth);
        }
      });
    }
    session.Estimator().FlushQueue();
    return session.Encoder().coded;
  };
  dsp::CMotionEstimationCore* rawCore = nullptr;
  ASSERT_TRUE(dsp::CreateMotionEstimationCore(&rawCore));
  const std::unique_ptr<dsp::CMotionEstimationCore> core(rawCore);
  const std::vector<uint8_t> reference = picture(0);
  // Every forward-predicted macroblock of B picture d costs the SAD at its forward vector.
  const auto check = [&](const std::vector<CodedPicture>& coded, const std::string& what) {
    for (int d : {1, 2}) {
      SCOPED_TRACE(what + " B " + std::to_string(d));
      const CodedPicture& b = Display(coded, d);
      ASSERT_EQ(b.type, PICTURE_B);
      const std::vector<uint8_t> current = picture(d);
      int forward = 0;
      int interpolated = 0;
      int wrong = 0;
      for (int row = 0; row < s.mbRows; ++row) {
        for (int col = 0; col < s.mbCols; ++col) {
          const MBInfo& mb = b.mbs[row * s.mbCols + col];
          const uint32_t mode = mb.flags & (MBINFO_INTRA | MBINFO_BIDIRECTIONAL);
          interpolated += mode == MBINFO_BIDIRECTIONAL ? 1 : 0;
          if (mode != MBINFO_FORWARD) continue;
          ++forward;
          const int px = 32 * col + mb.mv[0].forward.x;
          const int py = 32 * row + mb.mv[0].forward.y;
          core->SetBlock(current.data() + 16 * row * planeStride + 16 * col, planeStride);
          const uint32_t sad = core->SadHalfPel16(
              reference.data() + (py >> 1) * planeStride + (px >> 1), px & 1, py & 1);
          wrong += static_cast<uint32_t>(mb.interCost) == sad ? 0 : 1;
        }
      }
      EXPECT_GT(forward, 20);
      EXPECT_GT(interpolated, 20);
      EXPECT_EQ(wrong, 0) << "of " << forward << " forward macroblocks";
    }
  };
  check(code(new CMPEG2MotionEstimator(), nullptr), "base");
  TestPool pool(1, 0);
  check(code(new CAccMPEG2MotionEstimator(&pool, 1, true), &pool), "per row");
}

// ---- wide pictures ----

// Pictures wider than 128 macroblocks: the workers' predictor row buffers cover every column.
TEST(AccEstimator, WidePicturesInBands) {
  const EncoderSettings s = Unspecified(4080, 96, 15, 1);
  const int tw = s.codedWidth + 2 * kMargin;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin, 3);
  TestPool pool(2, 0);
  const auto coded = RunSequence(
      s, 2, texture, tw,
      [](int d) { return d == 0 ? std::make_pair(0, 0) : std::make_pair(-12, 6); },
      new CAccMPEG2MotionEstimator(&pool, 2, false), &pool);
  EXPECT_EQ(pool.posted.size(), 2u);
  EXPECT_EQ(WrongInterior(s, Display(coded, 1), Mv(-12, 6), nullptr), 0);
}

// ---- prediction worker ----

// CompensateRow writes, for every non-intra macroblock of the row, what a direct call of the
// core's drivers gives (bidirectional for flags 12, backward for 4, forward otherwise), into
// the buffer pair of the row's parity, and leaves intra macroblocks and the other parity alone.
TEST(AccEstimator, CompensateRowEqualsDirectCalls) {
  constexpr int kCols = 6;
  constexpr int kRows = 3;
  constexpr int kPad = 32;
  constexpr int kStride = 16 * kCols + 2 * kPad;
  constexpr uint8_t kUntouched = 0xCD;
  std::mt19937 random(41);
  struct Plane {
    std::vector<uint8_t> bytes;
    uint8_t* origin;
  };
  const auto makePlane = [&](int rows, int padRows) {
    Plane p{std::vector<uint8_t>(static_cast<size_t>(rows + 2 * padRows) * kStride), nullptr};
    for (uint8_t& b : p.bytes) b = static_cast<uint8_t>(random());
    p.origin = p.bytes.data() + padRows * kStride + kPad;
    return p;
  };
  Plane forwardLuma = makePlane(16 * kRows, kPad);
  Plane forwardChroma = makePlane(8 * kRows, kPad / 2);
  Plane backwardLuma = makePlane(16 * kRows, kPad);
  Plane backwardChroma = makePlane(8 * kRows, kPad / 2);
  uint8_t* forward[2] = {forwardLuma.origin, forwardChroma.origin};
  uint8_t* backward[2] = {backwardLuma.origin, backwardChroma.origin};

  AccContext context{};
  context.forwardRecon = {forward[0], forward[1]};
  context.backwardRecon = {backward[0], backward[1]};
  context.config.mbCols = kCols;
  context.config.mbRows = kRows;
  context.config.stride = kStride;
  context.config.codedWidth = 16 * kCols;
  context.config.codedHeight = 16 * kRows;
  // The macroblock encoder's layout: even luma, even chroma, odd luma, odd chroma.
  alignas(16) static uint8_t buffers[2 * kCols * 384];
  context.config.evenRowPredLuma = buffers;
  context.config.evenRowPredChroma = buffers + 256 * kCols;

  dsp::CMBCore* workerCore = nullptr;
  dsp::CMBCore* directCore = nullptr;
  ASSERT_TRUE(dsp::CreateMBCore(&workerCore));
  ASSERT_TRUE(dsp::CreateMBCore(&directCore));
  const std::unique_ptr<dsp::CMBCore> ownWorker(workerCore), ownDirect(directCore);
  directCore->InitMcTables();
  CEncAccCPUMC worker(workerCore);
  worker.Configure(&context, 0);

  const uint32_t flagCycle[] = {MBINFO_FORWARD, MBINFO_BACKWARD, MBINFO_BIDIRECTIONAL,
                                MBINFO_INTRA,   0,               MBINFO_INTRA | MBINFO_FORWARD};
  std::vector<MBInfo> mbs(kCols * kRows);
  std::uniform_int_distribution<int> component(-16, 16);
  for (size_t i = 0; i < mbs.size(); ++i) {
    mbs[i] = MBInfo{};
    mbs[i].flags = flagCycle[(i + i / kCols) % 6] | (i % 4 == 0 ? MBINFO_FIELD : 0);
    mbs[i].mv[0].forward = Mv(component(random), component(random));
    mbs[i].mv[0].backward = Mv(component(random), component(random));
  }
  for (int row = 0; row < kRows; ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    std::memset(buffers, kUntouched, sizeof buffers);
    EncAccJob job{};
    job.kind = ACC_JOB_PREDICTION;
    job.tag = static_cast<uint16_t>(row * kCols);
    job.count = kCols;
    job.mbInfo = mbs.data();
    ASSERT_TRUE(worker.CompensateRow(&job));
    const int parity = row & 1;
    const uint8_t* luma = buffers + parity * kCols * 384;
    const uint8_t* chroma = luma + 256 * kCols;
    for (int col = 0; col < kCols; ++col) {
      const MBInfo& mb = mbs[row * kCols + col];
      alignas(16) uint8_t expectedLuma[256];
      alignas(16) uint8_t expectedChroma[128];
      std::memset(expectedLuma, kUntouched, sizeof expectedLuma);
      std::memset(expectedChroma, kUntouched, sizeof expectedChroma);
      uint8_t* expected[2] = {expectedLuma, expectedChroma};
      const PackedMV f = mb.mv[0].forward;
      const PackedMV b = mb.mv[0].backward;
      const uint32_t mode = mb.flags & (MBINFO_INTRA | MBINFO_BIDIRECTIONAL);
      if ((mode & MBINFO_INTRA) != 0) {
        // Nothing predicted.
      } else if (mode == MBINFO_BIDIRECTIONAL) {
        directCore->MotionCompensateMBBidir(forward, backward, expected, kStride, 16 * col,
                                            16 * row, f.x, f.y, b.x, b.y);
      } else if (mode == MBINFO_BACKWARD) {
        directCore->MotionCompensateMB(backward, expected, kStride, 16 * col, 16 * row, b.x, b.y);
      } else {
        directCore->MotionCompensateMB(forward, expected, kStride, 16 * col, 16 * row, f.x, f.y);
      }
      EXPECT_EQ(std::memcmp(luma + 256 * col, expectedLuma, 256), 0) << "luma " << col;
      EXPECT_EQ(std::memcmp(chroma + 128 * col, expectedChroma, 128), 0) << "chroma " << col;
    }
    const uint8_t* other = buffers + (parity ^ 1) * kCols * 384;
    EXPECT_TRUE(std::all_of(other, other + kCols * 384, [](uint8_t v) { return v == kUntouched; }))
        << "the other parity's buffers were written";
  }
}

}  // namespace
}  // namespace orx::venc::test
