// Picture-type planning through the whole-picture driver with a recording encoder: types in
// display order, GOP fields, copy modes, frame buffers and coding order; the time code, the
// search-range scaling and the f_code choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/venc/me/me_fixtures.h"
#include "venc/me/f_code.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

struct PlanCase {
  const char* name;
  int n;
  int m;
  int length;
  std::string types = {};         // display order, after the end-of-sequence step (checked when not empty)
  std::vector<int> intraAt = {};  // display numbers of the I pictures (checked when not empty)
  int codec = CODEC_MPEG2;
  int streamType = STREAM_TYPE_UNSPECIFIED;  // 3 plans the 36-field limit
  int closedGops = 0;
  int intraOnlyAtStart = 0;
  int repeatFieldEvery = 0;  // 2: repeat_first_field on odd pictures
  std::set<int> forced = {};
  std::set<int> requests = {};              // ForceKeyFrame before these pictures
  std::pair<int, int> repeatRun = {-1, 0};  // first display, length
};

struct PlanResult {
  std::map<int, CodedPicture> byDisplay;
  std::vector<int> codingOrder;
};

PlanResult RunPlan(const PlanCase& c) {
  EncoderSettings s = MeSettings(48, 32, c.n, c.m);
  s.codec = c.codec;
  s.streamType = c.streamType;
  s.closedGops = c.closedGops;
  s.intraOnlyAtStart = c.intraOnlyAtStart;
  auto* estimator = new CMPEG2MotionEstimator();
  estimator->SetModeFlags(ME_MODE_NO_SCENE_CHANGE);
  MeSession session(s, estimator);
  for (int d = 0; d < c.length; ++d) {
    if (c.requests.count(d) != 0) session.Estimator().ForceKeyFrame();
    CPicture* p = session.NewPicture(d);
    if (c.repeatFieldEvery != 0) p->repeatFirstField = (d % c.repeatFieldEvery) == 1;
    const int runIndex = d - c.repeatRun.first;
    if (runIndex >= 0 && runIndex < c.repeatRun.second) {
      p->repeatGroup = 1;
      p->repeatIndex = runIndex;
      p->repeatRemaining = c.repeatRun.second - 1 - runIndex;
    }
    session.Feed(p, c.forced.count(d) != 0, [&](uint8_t* luma, int stride) {
      const int value = p->repeatGroup != 0 ? 7 : d * 3;
      for (int y = 0; y < s.codedHeight; ++y) {
        for (int x = 0; x < s.codedWidth; ++x)
          luma[y * stride + x] = static_cast<uint8_t>(value + x + y);
      }
    });
  }
  session.Estimator().FlushQueue();
  PlanResult r;
  for (const CodedPicture& coded : session.Encoder().coded) {
    EXPECT_EQ(r.byDisplay.count(coded.display), 0u) << "display " << coded.display << " twice";
    r.byDisplay[coded.display] = coded;
    r.codingOrder.push_back(coded.display);
  }
  return r;
}

std::string Types(const PlanResult& r) {
  std::string types;
  for (const auto& [d, coded] : r.byDisplay) types += " IPB"[coded.type];
  return types;
}

// What holds for every plan: each picture coded once, anchors before the B pictures that use
// them (the previous and the next anchor in display order), temporal references counted from
// their GOP's first picture.
void CheckInvariants(const PlanResult& r, int length) {
  ASSERT_EQ(static_cast<int>(r.byDisplay.size()), length);
  std::map<int, int> position;
  for (size_t i = 0; i < r.codingOrder.size(); ++i)
    position[r.codingOrder[i]] = static_cast<int>(i);
  int lastAnchor = -1;
  std::vector<int> anchors;
  for (const auto& [d, c] : r.byDisplay) {
    if (c.type != PICTURE_B) anchors.push_back(d);
  }
  for (const auto& [d, c] : r.byDisplay) {
    if (c.type != PICTURE_B) {
      lastAnchor = d;
      continue;
    }
    const auto next = std::upper_bound(anchors.begin(), anchors.end(), d);
    ASSERT_NE(next, anchors.end()) << "B picture " << d << " without a backward anchor";
    EXPECT_EQ(c.backwardDisplay, *next) << d;
    EXPECT_LT(position[*next], position[d]) << d;
    if (lastAnchor >= 0) {
      EXPECT_EQ(c.forwardDisplay, lastAnchor) << d;
      EXPECT_LT(position[lastAnchor], position[d]) << d;
    }
  }
  EXPECT_EQ(r.byDisplay.at(0).closedGop, 1);
  EXPECT_EQ(r.byDisplay.at(0).gopStart, 1);
}

class PlanTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTable, TypesGopFieldsAndCodingOrder) {
  const PlanCase& c = GetParam();
  const PlanResult r = RunPlan(c);
  CheckInvariants(r, c.length);
  if (!c.types.empty()) {
    EXPECT_EQ(Types(r), c.types);
  }
  if (!c.intraAt.empty()) {
    std::vector<int> intra;
    for (const auto& [d, coded] : r.byDisplay) {
      if (coded.type == PICTURE_I) intra.push_back(d);
    }
    EXPECT_EQ(intra, c.intraAt);
  }
  // Outside H.264 every GOP's temporal references count from its first picture, which lies
  // temporalReference pictures before its I picture.
  if (c.codec != CODEC_H264) {
    std::vector<int> starts;
    for (const auto& [d, coded] : r.byDisplay) {
      if (coded.gopStart != 0) {
        if (c.intraOnlyAtStart == 0) {
          EXPECT_EQ(coded.type, PICTURE_I) << d;
        }
        starts.push_back(d - coded.temporalReference);
      }
    }
    for (const auto& [d, coded] : r.byDisplay) {
      const int start = *(std::upper_bound(starts.begin(), starts.end(), d) - 1);
      EXPECT_EQ(coded.temporalReference, d - start) << d;
    }
  }
}

const PlanCase kPlans[] = {
    {.name = "N15M3", .n = 15, .m = 3, .length = 31, .types = "IBBPBBPBBPBBPBBIBBPBBPBBPBBPBBI",
     .intraAt = {0, 15, 30}},
    {.name = "N15M1", .n = 15, .m = 1, .length = 31, .types = "IPPPPPPPPPPPPPPIPPPPPPPPPPPPPPI",
     .intraAt = {0, 15, 30}},
    {.name = "N1", .n = 1, .m = 1, .length = 5, .types = "IIIII"},
    {.name = "M0", .n = 15, .m = 0, .length = 5, .types = "IIIII"},
    {.name = "IntraOnlyAtStart", .n = 15, .m = 1, .length = 31, .types = "I" + std::string(30, 'P'),
     .intraAt = {0}, .intraOnlyAtStart = 1},
    {.name = "ForceAnchor", .n = 15, .m = 3, .length = 7, .types = "IPBPBBP", .intraAt = {0}, .forced = {1}},
    {.name = "RequestM1", .n = 15, .m = 1, .length = 8, .types = "IPPPPIPP", .intraAt = {0, 5},
     .requests = {5}},
    {.name = "RequestH264Closed", .n = 15, .m = 3, .length = 11, .types = "IBBPBBPIBBP", .intraAt = {0, 7},
     .codec = CODEC_H264, .closedGops = 1, .requests = {7}},
    {.name = "RequestM3AtP", .n = 15, .m = 3, .length = 10, .types = "IBBIBBPBBP", .intraAt = {0, 3},
     .requests = {3}},
    {.name = "RequestM3AtFirstB", .n = 15, .m = 3, .length = 10, .types = "IBBPIBBPBP", .intraAt = {0, 4},
     .requests = {4}},
    {.name = "RequestM3AtSecondB", .n = 15, .m = 3, .length = 10, .types = "IBBPBIBBPP", .intraAt = {0, 5},
     .requests = {5}},
    {.name = "RequestM3Closed", .n = 15, .m = 3, .length = 10, .types = "IBBPBIBBPP", .intraAt = {0, 5},
     .closedGops = 1, .requests = {5}},
    {.name = "RequestM0", .n = 15, .m = 0, .length = 6, .types = "IIIIII", .requests = {3}},
    {.name = "FieldLimit", .n = 18, .m = 3, .length = 40, .intraAt = {0, 15, 27, 39},
     .streamType = STREAM_TYPE_MPEG2_SD},
    {.name = "FieldLimitRepeatedFields", .n = 18, .m = 3, .length = 40,
     .intraAt = {0, 15, 27, 39}, .streamType = STREAM_TYPE_MPEG2_SD, .repeatFieldEvery = 2},
    // The limit counts a repeated field for every second picture: 14-picture GOPs.
    {.name = "FieldLimitN15M1", .n = 15, .m = 1, .length = 29, .intraAt = {0, 14, 28},
     .streamType = STREAM_TYPE_MPEG2_SD},
    {.name = "RepeatRun", .n = 15, .m = 3, .length = 10, .types = "IBBPPPPPBP", .intraAt = {0},
     .repeatRun = {3, 5}},
    {.name = "H264Restart", .n = 15, .m = 3, .length = 31, .types = "IBBPBBPBBPBBPBBIBBPBBPBBPBBPIBP",
     .intraAt = {0, 15, 28}, .codec = CODEC_H264},
    {.name = "ClosedGops", .n = 15, .m = 3, .length = 31, .types = "IBBPBBPBBPBBPBBIBBPBBPBBPBBPBBI",
     .intraAt = {0, 15, 30}, .closedGops = 1},
};

const PlanCase& Plan(const std::string& name) {
  for (const PlanCase& c : kPlans) {
    if (name == c.name) return c;
  }
  ADD_FAILURE() << "no plan " << name;
  return kPlans[0];
}

INSTANTIATE_TEST_SUITE_P(Plans, PlanTable, ::testing::ValuesIn(kPlans),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlanDetails, GopCountsAndClosedFlags) {
  const PlanResult r = RunPlan(Plan("N15M3"));
  // First GOP: I P P P P and 8 B; later GOPs 15 pictures with two leading B pictures.
  EXPECT_EQ(r.byDisplay.at(0).gopP, 4);
  EXPECT_EQ(r.byDisplay.at(0).gopB, 8);
  EXPECT_EQ(r.byDisplay.at(15).gopP, 4);
  EXPECT_EQ(r.byDisplay.at(15).gopB, 10);
  EXPECT_EQ(r.byDisplay.at(15).temporalReference, 2);
  EXPECT_EQ(r.byDisplay.at(13).temporalReference, 0);
  EXPECT_EQ(r.byDisplay.at(15).closedGop, 0);
  // Anchors alternate source buffers 0 and 1 and reconstructions 2 and 3; B pictures take
  // 4 + their queue position and keep no reconstruction.
  EXPECT_EQ(r.byDisplay.at(0).sourceBuffer, 0);
  EXPECT_EQ(r.byDisplay.at(0).reconBuffer, 2);
  EXPECT_EQ(r.byDisplay.at(3).sourceBuffer, 1);
  EXPECT_EQ(r.byDisplay.at(3).reconBuffer, 3);
  EXPECT_EQ(r.byDisplay.at(1).sourceBuffer, 4);
  EXPECT_EQ(r.byDisplay.at(2).sourceBuffer, 5);
  EXPECT_EQ(r.byDisplay.at(2).reconBuffer, -1);
  // The row listener is handed over for anchors only.
  EXPECT_TRUE(r.byDisplay.at(3).rowListener);
  EXPECT_FALSE(r.byDisplay.at(2).rowListener);
}

TEST(PlanDetails, H264TemporalReferencesRestartAtIdr) {
  const PlanResult r = RunPlan(Plan("H264Restart"));
  EXPECT_EQ(r.byDisplay.at(15).temporalReference, 15);
  EXPECT_EQ(r.byDisplay.at(15).closedGop, 0);
  EXPECT_EQ(r.byDisplay.at(28).temporalReference, 0);
  EXPECT_EQ(r.byDisplay.at(28).closedGop, 1);
}

TEST(PlanDetails, RequestsRestartTheGop) {
  const PlanResult m1 = RunPlan(Plan("RequestM1"));
  EXPECT_EQ(m1.byDisplay.at(5).gopStart, 1);
  EXPECT_EQ(m1.byDisplay.at(5).temporalReference, 0);
  // M = 0: every picture is I; the request starts a GOP there.
  const PlanResult m0 = RunPlan(Plan("RequestM0"));
  EXPECT_EQ(m0.byDisplay.at(2).gopStart, 0);
  EXPECT_EQ(m0.byDisplay.at(3).gopStart, 1);
  EXPECT_EQ(m0.byDisplay.at(4).temporalReference, 1);
  // M = 3 at a B position: the queued B picture leads the new GOP.
  const PlanResult open = RunPlan(Plan("RequestM3AtSecondB"));
  EXPECT_EQ(open.byDisplay.at(4).temporalReference, 0);
  EXPECT_EQ(open.byDisplay.at(5).temporalReference, 1);
  EXPECT_EQ(open.byDisplay.at(5).closedGop, 0);
  // With closed GOPs that B picture is cut from the old GOP: no forward prediction.
  const PlanResult closed = RunPlan(Plan("RequestM3Closed"));
  EXPECT_EQ(closed.byDisplay.at(5).closedGop, 1);
  for (const MBInfo& mb : closed.byDisplay.at(4).mbs) EXPECT_EQ(mb.flags & MBINFO_FORWARD, 0u);
}

TEST(PlanDetails, RepeatRunCopiesItsAnchor) {
  const PlanResult r = RunPlan(Plan("RepeatRun"));
  EXPECT_EQ(r.byDisplay.at(3).copyMode, COPY_NONE);
  for (int d = 4; d <= 7; ++d) {
    EXPECT_EQ(r.byDisplay.at(d).copyMode, COPY_FORWARD) << d;
    EXPECT_EQ(r.byDisplay.at(d).sourceBuffer, r.byDisplay.at(3).sourceBuffer) << d;
    EXPECT_EQ(r.byDisplay.at(d).reconBuffer, r.byDisplay.at(3).reconBuffer) << d;
    for (const MBInfo& mb : r.byDisplay.at(d).mbs) {
      EXPECT_EQ(mb.flags, 0u);
      EXPECT_EQ(mb.mv[0].forward, PackedMV{});
    }
  }
}

TEST(PlanDetails, ClosedGopLeadingBPicturesPredictBackwardOnly) {
  const PlanResult r = RunPlan(Plan("ClosedGops"));
  for (int d : {13, 14, 28, 29}) {
    for (const MBInfo& mb : r.byDisplay.at(d).mbs) EXPECT_EQ(mb.flags & MBINFO_FORWARD, 0u) << d;
  }
  EXPECT_EQ(r.byDisplay.at(15).closedGop, 1);
}

// The end-of-sequence step: B pictures still queued after the last anchor are coded, the
// last of them re-planned as their anchor.
TEST(EndOfSequence, EveryPictureIsCodedOnce) {
  for (int m : {2, 3}) {
    for (int length = 1; length <= 30; ++length) {
      SCOPED_TRACE("M " + std::to_string(m) + " length " + std::to_string(length));
      const PlanCase c{.name = "flush", .n = 15, .m = m, .length = length};
      const PlanResult r = RunPlan(c);
      CheckInvariants(r, length);
    }
  }
}

TEST(EndOfSequence, NinePicturesEndOnAP) {
  const PlanResult r = RunPlan({"nine", 15, 3, 9, "IBBPBBPBP"});
  EXPECT_EQ(r.codingOrder, (std::vector<int>{0, 3, 1, 2, 6, 4, 5, 8, 7}));
  // The re-planned anchor keeps its source pixels in an anchor buffer and takes the anchor
  // reconstruction of its parity.
  EXPECT_EQ(r.byDisplay.at(8).sourceBuffer, 1);
  EXPECT_EQ(r.byDisplay.at(8).reconBuffer, 3);
  EXPECT_EQ(r.byDisplay.at(8).forwardDisplay, 6);
  EXPECT_EQ(r.byDisplay.at(7).backwardDisplay, 8);
}

TEST(EndOfSequence, LeadingBPicturesWithoutTheirIBecomeAGop) {
  // 13 and 14 lead the GOP whose I would be 15: 14 becomes that I picture.
  const PlanResult r = RunPlan({"lead", 15, 3, 15, "IBBPBBPBBPBBPBI"});
  EXPECT_EQ(r.byDisplay.at(14).gopStart, 1);
  EXPECT_EQ(r.byDisplay.at(14).temporalReference, 1);
  EXPECT_EQ(r.byDisplay.at(13).temporalReference, 0);
  EXPECT_EQ(r.byDisplay.at(13).backwardDisplay, 14);
}

// An independent drop-frame count: walk the labels, skipping 0 and 1 at each minute not
// divisible by ten.
std::string DropFrameLabel(int frames) {
  int h = 0, mi = 0, s = 0, f = 0;
  for (int i = 0; i < frames; ++i) {
    if (++f == 30) {
      f = 0;
      if (++s == 60) {
        s = 0;
        if (++mi == 60) mi = 0, ++h;
        if (mi % 10 != 0) f = 2;
      }
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", h, mi, s, f);
  return text;
}

std::string Label(int32_t code) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", (code >> 19) & 31, (code >> 13) & 63,
                (code >> 6) & 63, code & 63);
  return text;
}

TEST(TimeCode, PackedFields) {
  const double rate25 = 25.0;
  EXPECT_EQ(CMotionEstimator::PackTimeCode(0, 0, rate25, false), 0x1000);
  // 1 h 2 min 3 s 4 pictures.
  const int frames = ((3600 + 120 + 3) * 25) + 4;
  EXPECT_EQ(CMotionEstimator::PackTimeCode(frames, 0, rate25, false),
            1 << 19 | 2 << 13 | 1 << 12 | 3 << 6 | 4);
  // Two repeated fields add one frame; hours wrap at 24.
  EXPECT_EQ(CMotionEstimator::PackTimeCode(24, 2, rate25, false), 1 << 12 | 1 << 6);
  EXPECT_EQ(CMotionEstimator::PackTimeCode(25 * 3600 * 25, 0, rate25, false), 1 << 19 | 1 << 12);
}

TEST(TimeCode, DropFrameAt2997) {
  const double rate = 30000.0 / 1001.0;
  EXPECT_EQ(Label(CMotionEstimator::PackTimeCode(1800, 0, rate, true)), "00:01:00;02");
  EXPECT_EQ(Label(CMotionEstimator::PackTimeCode(17982, 0, rate, true)), "00:10:00;00");
  for (int frames : {0, 1, 1799, 1801, 3597, 3598, 17981, 17983, 107892, 107891, 123456}) {
    EXPECT_EQ(Label(CMotionEstimator::PackTimeCode(frames, 0, rate, true)), DropFrameLabel(frames))
        << frames;
  }
  // Without the flag the count runs on unchanged.
  EXPECT_EQ(Label(CMotionEstimator::PackTimeCode(1800, 0, rate, false)), "00:01:00;00");
}

TEST(TimeCode, GopHeadersOfMpeg2At2997CarryTheDropFlag) {
  for (int index : {6, 7}) {
    EncoderSettings s = MeSettings(48, 32, 15, 1);
    s.streamType = STREAM_TYPE_UNSPECIFIED;
    s.frameRateIndex = index;
    s.frameRate = kFrameRateTable[index].rate;
    auto* estimator = new CMPEG2MotionEstimator();
    MeSession session(s, estimator);
    for (int d = 0; d < 16; ++d) {
      session.Feed(session.NewPicture(d), false, [](uint8_t*, int) {});
    }
    const CodedPicture& first = session.Encoder().coded.at(0);
    const CodedPicture& second = session.Encoder().coded.at(15);
    EXPECT_EQ(first.timeCode, 0x1000 | (index == 7 ? 1 << 24 : 0));
    EXPECT_EQ(second.timeCode & 0xFFFFFF, 1 << 12 | 15);
  }
}

// ScaleSearchRange seen through the ranges of the pictures' set-up: a derived estimator
// exposes them.
class RangeProbe : public CMPEG2MotionEstimator {
 public:
  std::pair<int, int> Scale(CPicture* picture) {
    rangeX_ = rangeY_ = 0;
    ScaleSearchRange(picture);
    return {rangeX_, rangeY_};
  }
  void SetOlder(CPicture* p) { olderAnchor_ = p; }
};

TEST(SearchRange, ScaledByDistanceAndCapped) {
  struct Row {
    int width, height, m, type, distance, x, y;
  };
  const Row rows[] = {
      {720, 576, 1, PICTURE_P, 1, 31, 15},
      {720, 576, 3, PICTURE_P, 2, 47, 23},
      {720, 576, 3, PICTURE_P, 3, 63, 31},
      {720, 576, 3, PICTURE_P, 5, 63, 31},
      {720, 576, 3, PICTURE_B, 1, 31, 15},
      {720, 576, 2, PICTURE_B, 1, 31, 15},
      // Small pictures: at most (W t) / 8, or a quarter of the size.
      {176, 144, 1, PICTURE_P, 1, 22, 15},
      {176, 144, 3, PICTURE_P, 3, 44, 31},
      {96, 64, 3, PICTURE_P, 3, 24, 16},
  };
  for (const Row& r : rows) {
    EncoderSettings s = MeSettings(r.width, r.height, 15, r.m);
    RangeProbe probe;
    ASSERT_TRUE(probe.Init(&s, nullptr));
    CPicture older;
    CPicture current;
    older.displayNumber = 10;
    current.displayNumber = 10 + r.distance;
    current.pictureType = r.type;
    probe.SetOlder(&older);
    EXPECT_EQ(probe.Scale(&current), std::make_pair(r.x, r.y))
        << r.width << "x" << r.height << " M " << r.m << " type " << r.type << " t " << r.distance;
    probe.SetOlder(nullptr);
  }
}

TEST(SearchRange, NoneWithoutAnOlderAnchor) {
  EncoderSettings s = MeSettings(720, 576, 15, 3);
  RangeProbe probe;
  ASSERT_TRUE(probe.Init(&s, nullptr));
  CPicture current;
  current.displayNumber = 3;
  current.pictureType = PICTURE_P;
  EXPECT_EQ(probe.Scale(&current), std::make_pair(0, 0));
}

TEST(FCode, Boundaries) {
  const std::pair<int, int> rows[] = {{0, 1},    {15, 1},   {16, 2},   {31, 2},   {32, 3},
                                      {1023, 7}, {1024, 8}, {2047, 8}, {2048, 9}, {100000, 9}};
  for (const auto& [range, code] : rows) EXPECT_EQ(GetFCode(range), code) << range;
}

}  // namespace
}  // namespace orx::venc::test
