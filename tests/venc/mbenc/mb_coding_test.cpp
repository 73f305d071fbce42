// Macroblock coding decisions on small pictures: the MPEG-1 quantiser retry, the luma skip at
// the inter threshold, the DC-only path of flat intra macroblocks, the dead zone and the field
// DCT line split.
#include <gtest/gtest.h>

#include <string>

#include "tests/venc/mbenc/small_pictures.h"
#include "tests/venc/mbenc/stream_tools.h"

namespace orx::venc::test {
namespace {

// Every macroblock of the P pictures inter with the zero vector and a large inter cost.
void ForceZeroVectorInter(TestPlanner& planner) {
  for (PlannedPicture* p : planner.CodingOrder()) {
    if (p->picture.pictureType != PICTURE_P) continue;
    for (MBInfo& mb : p->mbs) {
      mb.flags = 0;
      mb.mv[0] = MBVectorPair{};
      mb.interCost = 1 << 20;
    }
    planner.UpdateFCodes(*p);
  }
}

TEST(MacroblockCoding, Mpeg1QuantiserRetry) {
  struct Case {
    const char* name;
    bool inter;
    bool rowMode;
    int quantiser;
    int largest;
    int expected;
  };
  const Case cases[] = {
      {"intra q3 level 400", false, false, 3, 400, 4},
      {"intra q3 level 400, row mode", false, true, 3, 400, 5},
      {"intra q1 level 256: q + 1 wins", false, false, 1, 256, 2},
      {"intra q4 level 1000: at most 5", false, false, 4, 1000, 5},
      {"intra q5: no retry", false, false, 5, 400, 5},
      {"inter q3 level 400", true, false, 3, 400, 4},
      {"inter q3 level 400, row mode", true, true, 3, 400, 5},
  };
  const orx::test::RawVideo video = DrawVideo(48, 16, 2, Texture);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    // Only the first quantiser call of the macroblock of interest reports the large level.
    (c.inter ? counters.interLargest : counters.intraLargest) = [&c](int call) {
      return call == 1 ? c.largest : 0;
    };
    EncodeSetup setup = RecordedSetup(CODEC_MPEG1, video, c.inter ? 15 : 1, 1, 8, &log, &counters);
    setup.rowMode = c.rowMode;
    setup.plan.searchRange = 0;
    setup.plan.halfPel = false;
    setup.script = ForceZeroVectorInter;
    const int picture = c.inter ? 1 : 0;
    setup.adjustRateControl = [&c, picture](TestRateControl& rc) {
      rc.rowQuantiser = [&c, picture](int p, int) { return p == picture ? c.quantiser : 8; };
    };
    const EncodeRun run = RunEncode(setup);
    const MacroblockRecord* first = nullptr;
    for (const MacroblockRecord& r : log) {
      if (r.display == picture && r.column == 0) first = &r;
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->mbQuant, c.expected);
    EXPECT_EQ((first->flags & MBINFO_QUANT) != 0, c.expected != c.quantiser);
    CheckDecodesToReconstruction(run, "retry");
  }
}

TEST(MacroblockCoding, InterCostAtTheThresholdCodesLumaInMpeg1Only) {
  // The middle macroblock of the P picture has new luma and chroma and an inter cost equal to
  // T = 8 x 8 + 1 at quantiser 8.
  const orx::test::RawVideo video = DrawVideo(48, 16, 2, [](int f, int plane, int x, int y) {
    const int middle = plane == 0 ? x >= 16 && x < 32 : x >= 8 && x < 16;
    return static_cast<uint8_t>(f == 1 && middle ? Texture(f, plane, x, y) : 100);
  });
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(codec, video, 15, 1, 8, &log, &counters);
    setup.script = [](TestPlanner& planner) {
      ForceZeroVectorInter(planner);
      for (PlannedPicture* p : planner.CodingOrder()) {
        for (MBInfo& mb : p->mbs) mb.interCost = 0;
        if (p->picture.pictureType == PICTURE_P) p->mbs[1].interCost = 8 * 8 + 1;
      }
    };
    const EncodeRun run = RunEncode(setup);
    int middleCbp = -1;
    for (const MacroblockRecord& r : log) {
      if (r.display == 1 && r.column == 1) middleCbp = r.cbp;
    }
    ASSERT_GT(middleCbp, 0) << "the new chroma is coded";
    EXPECT_EQ((middleCbp & 0x3C) != 0, codec == CODEC_MPEG1);
    CheckDecodesToReconstruction(run, "threshold");
  }
}

TEST(MacroblockCoding, FlatIntraMacroblocksTakeTheDcOnlyPath) {
  // Every macroblock flat at its own level: DC-only luma, and every block reconstructed from
  // its DC alone, so the decoder's pictures equal the reconstruction exactly.
  const orx::test::RawVideo video = DrawVideo(64, 32, 1, [](int, int plane, int x, int y) {
    const int mbSize = plane == 0 ? 16 : 8;
    return static_cast<uint8_t>(30 + 40 * (x / mbSize) + 20 * (y / mbSize) + 10 * plane);
  });
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  const EncodeRun run = RunEncode(RecordedSetup(CODEC_MPEG2, video, 1, 1, 6, &log, &counters));
  EXPECT_EQ(counters.dcOnlyPairs, 2 * 8);
  EXPECT_EQ(counters.inverseDcts, 0);
  EXPECT_EQ(counters.intraDcOnly, 6 * 8);
  for (const MacroblockRecord& r : log) {
    for (bool ac : r.acCoded) EXPECT_FALSE(ac);
  }
  CheckDecodesToReconstruction(run, "flat", 0, true);
}

TEST(MacroblockCoding, DeadZoneFromQuantiser20AndNeverInRowMode) {
  struct Case {
    int codec;
    int quantiser;
    bool rowMode;
    bool called;
    bool active;
  };
  const Case cases[] = {
      {CODEC_MPEG2, 19, false, true, false}, {CODEC_MPEG2, 20, false, true, true},
      {CODEC_MPEG2, 20, true, false, false}, {CODEC_MPEG1, 20, false, true, true},
      {CODEC_MPEG1, 20, true, false, false},
  };
  const orx::test::RawVideo video = DrawVideo(48, 32, 1, Texture);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.codec) + " q" + std::to_string(c.quantiser) + (c.rowMode ? " row" : ""));
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(c.codec, video, 1, 1, c.quantiser, &log, &counters);
    setup.rowMode = c.rowMode;
    const EncodeRun run = RunEncode(setup);
    EXPECT_EQ(counters.deadZoneCalls > 0, c.called);
    EXPECT_EQ(counters.deadZoneActive > 0, c.active);
    CheckDecodesToReconstruction(run, "deadzone");
  }
}

TEST(MacroblockCoding, FieldDctSplitsTheLines) {
  // Even lines 50, odd lines 200: each field is flat, so field DCT leaves only DC levels.
  const orx::test::RawVideo video = DrawVideo(48, 32, 1, [](int, int plane, int, int y) {
    return static_cast<uint8_t>(plane != 0 ? 128 : (y % 2 ? 200 : 50));
  });
  for (bool rowMode : {false, true}) {
    SCOPED_TRACE(rowMode ? "row mode" : "picture mode");
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 1, 1, 4, &log, &counters);
    setup.plan.interlaced = true;
    setup.rowMode = rowMode;
    const EncodeRun run = RunEncode(setup);
    ASSERT_EQ(log.size(), 6u);
    for (const MacroblockRecord& r : log) {
      EXPECT_TRUE(r.flags & MBINFO_FIELD);
      EXPECT_EQ(r.dc[0], 50);
      EXPECT_EQ(r.dc[1], 50);
      EXPECT_EQ(r.dc[2], 200);
      EXPECT_EQ(r.dc[3], 200);
      for (int b = 0; b < 4; ++b) EXPECT_FALSE(r.acCoded[b]);
    }
    CheckDecodesToReconstruction(run, "field", 0, true);
  }
}

TEST(MacroblockCoding, AFieldFlagInAProgressivePictureKeepsFrameDct) {
  // A progressive picture codes no dct_type, so a decoder takes every macroblock as frame
  // DCT: the field flag the preprocessor may leave on a macroblock must not change that.
  const orx::test::RawVideo video = DrawVideo(48, 32, 2, Texture);
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(codec, video, 1, 1, 3, &log, &counters);
    setup.script = [](TestPlanner& planner) {
      for (PlannedPicture* p : planner.CodingOrder()) {
        for (MBInfo& mb : p->mbs) mb.flags |= MBINFO_FIELD;
      }
    };
    const EncodeRun run = RunEncode(setup);
    CheckDecodesToReconstruction(run, "progressive_field_flag");
  }
}

}  // namespace
}  // namespace orx::venc::test
