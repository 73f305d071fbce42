// The MPEG-1/2 picture loop on small pictures: skipping and address increments, repeat
// pictures, overflow macroblocks, what is reconstructed, the quantiser flag and the
// statistics of the per-picture callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/venc/mbenc/small_pictures.h"
#include "tests/venc/mbenc/stream_tools.h"

namespace orx::venc::test {
namespace {

std::vector<const MacroblockRecord*> RecordsOf(const std::vector<MacroblockRecord>& log, int display) {
  std::vector<const MacroblockRecord*> out;
  for (const MacroblockRecord& r : log) {
    if (r.display == display) out.push_back(&r);
  }
  return out;
}

TEST(PictureLoop, APRowWithNothingCodedWritesItsEnds) {
  // The P picture repeats the I picture exactly: no vector, no coefficients.
  const orx::test::RawVideo video = DrawVideo(80, 16, 3, [](int f, int plane, int x, int y) {
    return Texture(f == 1 ? 0 : f, plane, x, y);
  });
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 2, 1, 2, &log, &counters);
  setup.script = [](TestPlanner& planner) {
    for (PlannedPicture* p : planner.CodingOrder()) {
      if (p->picture.pictureType == PICTURE_P) {
        for (MBInfo& mb : p->mbs) mb = MBInfo{};
      }
    }
  };
  setup.adjustRateControl = [](TestRateControl& rc) {
    rc.rowQuantiser = [](int picture, int) { return picture == 1 ? 31 : 2; };
  };
  const EncodeRun run = RunEncode(setup);
  const auto written = RecordsOf(log, 1);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0]->column, 0);
  EXPECT_EQ(written[0]->addressIncrement, 1);
  EXPECT_EQ(written[1]->column, 4);
  EXPECT_EQ(written[1]->addressIncrement, 4) << "mbw - 1";
  for (const MacroblockRecord* r : written) EXPECT_EQ(r->cbp, 0);
  const std::string path = CheckDecodesToReconstruction(run, "prow");
  const std::vector<MbTypePicture> grids = DebugMbTypes(path);
  ASSERT_GE(grids.size(), 2u);
  EXPECT_EQ(grids[1].type, 'P');
  EXPECT_EQ(grids[1].rows, std::vector<std::string>{">SSS>"});
}

TEST(PictureLoop, ARepeatPictureWritesRowEndsAndKeepsTheReconstruction) {
  const orx::test::RawVideo video = DrawVideo(64, 32, 4, Texture);
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 15, 1, 4, &log, &counters);
  setup.plan.repeatPictures = {{1, 1}};
  std::vector<uint8_t> afterI, afterRepeat;
  setup.afterPicture = [&](PlannedPicture& p, CMBEncoder&) {
    const std::vector<uint8_t> planes = p.recon->ToPlanar(64, 32);
    if (p.display == 0) afterI = planes;
    if (p.display == 1) afterRepeat = planes;
  };
  const EncodeRun run = RunEncode(setup);
  const auto written = RecordsOf(log, 1);
  ASSERT_EQ(written.size(), 4u);
  for (const MacroblockRecord* r : written) {
    EXPECT_TRUE(r->column == 0 || r->column == 3);
    EXPECT_EQ(r->cbp, 0);
  }
  EXPECT_EQ(afterI, afterRepeat) << "the shared reconstruction is not touched";
  const std::string path = CheckDecodesToReconstruction(run, "repeat");
  orx::test::RawVideo decoded;
  ASSERT_TRUE(DecodeStrict(path, decoded));
  ASSERT_GE(decoded.frames.size(), 2u);
  EXPECT_TRUE(decoded.frames[1] == decoded.frames[0]) << "the repeat shows its reference exactly";
}

TEST(PictureLoop, OverflowMacroblocks) {
  const orx::test::RawVideo video = DrawVideo(48, 16, 2, Texture);
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 15, 1, 3, &log, &counters);
  setup.script = [](TestPlanner& planner) {
    for (PlannedPicture* p : planner.CodingOrder()) {
      if (p->picture.pictureType != PICTURE_P) continue;
      for (MBInfo& mb : p->mbs) {
        mb.flags = MBINFO_FORWARD;  // a coded zero vector: never skipped
        mb.mv[0] = MBVectorPair{};
      }
      planner.UpdateFCodes(*p);
    }
  };
  setup.adjustRateControl = [](TestRateControl& rc) { rc.overflow = {{0, 0, 1}, {1, 0, 1}}; };
  const EncodeRun run = RunEncode(setup);
  bool sawIntra = false;
  for (const MacroblockRecord& r : log) {
    if (r.column != 1) continue;
    if (r.display == 0) {
      sawIntra = true;
      for (bool ac : r.acCoded) EXPECT_FALSE(ac) << "an overflow intra macroblock carries DC only";
      EXPECT_NE(r.dc[0], 0);
    } else {
      EXPECT_EQ(r.cbp, 0) << "an overflow inter macroblock carries no coefficients";
    }
  }
  EXPECT_TRUE(sawIntra);
  CheckDecodesToReconstruction(run, "overflow");
}

TEST(PictureLoop, IntraOnlyWithoutCallbackReconstructsNothing) {
  const orx::test::RawVideo video = DrawVideo(48, 32, 2, Texture);
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 1, 1, 4, &log, &counters);
  setup.callback = false;
  int pictures = 0;
  setup.afterPicture = [&](PlannedPicture& p, CMBEncoder&) {
    ++pictures;
    const std::vector<uint8_t> planes = p.recon->ToPlanar(48, 32);
    EXPECT_TRUE(std::all_of(planes.begin(), planes.end(), [](uint8_t v) { return v == 0x80; }));
    EXPECT_EQ(p.picture.stats.lumaSse, 0u);
    EXPECT_EQ(p.picture.stats.lumaSad, 0u);
    EXPECT_EQ(p.picture.stats.chromaSse, 0u);
    EXPECT_EQ(p.picture.stats.chromaSad, 0u);
  };
  RunEncode(setup);
  EXPECT_EQ(pictures, 2);
  EXPECT_EQ(counters.inverseDcts + counters.intraDcOnly, 0);
}

TEST(PictureLoop, TheQuantiserFlagGoesWithCoefficients) {
  const orx::test::RawVideo video = DrawVideo(96, 32, 7, [](int f, int plane, int x, int y) {
    // Half the picture still, half moving texture: some macroblocks carry nothing.
    return x < 48 ? static_cast<uint8_t>(90 + plane) : Texture(f, plane, x, y);
  });
  std::vector<MacroblockRecord> log;
  CoreCounters counters;
  EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 15, 3, 6, &log, &counters);
  setup.adjustRateControl = [](TestRateControl& rc) {
    rc.macroblockQuantiser = [](const TestRateControl::Position& at) { return 3 + (at.column * 5 + at.row * 3) % 20; };
  };
  const EncodeRun run = RunEncode(setup);
  int withFlag = 0, withoutCoefficients = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    const MacroblockRecord& r = log[i];
    const bool flag = (r.flags & MBINFO_QUANT) != 0;
    EXPECT_EQ(flag, r.cbp != 0 && r.mbQuant != r.lastQuant) << "record " << i;
    withFlag += flag;
    withoutCoefficients += r.cbp == 0;
    // The decoder's quantiser changes only with a written one.
    if (i + 1 < log.size() && log[i + 1].display == r.display && log[i + 1].row == r.row) {
      EXPECT_EQ(log[i + 1].lastQuant, flag ? r.mbQuant : r.lastQuant) << "record " << i;
    }
  }
  EXPECT_GT(withFlag, 0);
  EXPECT_GT(withoutCoefficients, 0);
  CheckDecodesToReconstruction(run, "qflag");
}

TEST(PictureLoop, StatisticsDescribeTheReconstruction) {
  for (bool rowMode : {false, true}) {
    SCOPED_TRACE(rowMode ? "row mode" : "picture mode");
    const orx::test::RawVideo video = DrawVideo(64, 48, 5, Texture);
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(CODEC_MPEG2, video, 15, 3, 9, &log, &counters);
    setup.rowMode = rowMode;
    setup.plan.searchRange = rowMode ? 0 : 16;
    setup.plan.halfPel = !rowMode;
    int checked = 0;
    setup.afterPicture = [&](PlannedPicture& p, CMBEncoder&) {
      ++checked;
      uint32_t sse[2] = {}, sad[2] = {};
      const FrameBuffer& s = *p.source;
      const FrameBuffer& r = *p.recon;
      for (int plane = 0; plane < 2; ++plane) {
        const int rows = plane == 0 ? s.Height() : s.Height() / 2;
        for (int y = 0; y < rows; ++y) {
          for (int x = 0; x < s.Width(); ++x) {
            const size_t at = static_cast<size_t>(y) * s.Stride() + x;
            const int d = (plane == 0 ? s.Luma() : s.Chroma())[at] - (plane == 0 ? r.Luma() : r.Chroma())[at];
            sse[plane] += static_cast<uint32_t>(d * d);
            sad[plane] += static_cast<uint32_t>(std::abs(d));
          }
        }
      }
      const PictureStatistics& st = p.picture.stats;
      EXPECT_EQ(st.lumaSse, sse[0]);
      EXPECT_EQ(st.lumaSad, sad[0]);
      EXPECT_EQ(st.chromaSse, sse[1]);
      EXPECT_EQ(st.chromaSad, sad[1]);
      EXPECT_GT(st.lumaSad, 0u);
      EXPECT_EQ(st.reconLuma, p.picture.reconLuma);
      EXPECT_EQ(st.reconChroma, p.picture.reconChroma);
      EXPECT_EQ(st.stride, 64u);
      EXPECT_EQ(st.codedWidth, 64u);
      EXPECT_EQ(st.codedHeight, 48u);
    };
    const EncodeRun run = RunEncode(setup);
    EXPECT_EQ(checked, 5);
    ASSERT_EQ(run.callbacks.size(), 5u);
    for (size_t i = 0; i < run.callbacks.size(); ++i) {
      EXPECT_EQ(" IPB"[run.callbacks[i].pictureType], run.pictureTypes[i]);
      EXPECT_EQ(run.callbacks[i].displayNumber, run.displayNumbers[i]);
    }
    CheckDecodesToReconstruction(run, "statistics");
  }
}

}  // namespace
}  // namespace orx::venc::test
