// Whole MPEG-1 and MPEG-2 encodes of ffmpeg lavfi sources, decoded by ffmpeg: strict decoding,
// the frame count, every frame against the encoder's reconstruction, and the macroblock types
// ffmpeg reports against the plan.
#include <gtest/gtest.h>

#include <string>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/stream_tools.h"
#include "tests/support/orx_test.h"

namespace orx::venc::test {
namespace {

// ffmpeg's macroblock types against the plan: intra where planned, no skip in the first or
// last column, no skip after an intra macroblock in B pictures, P skips only without a
// forward vector.
void CheckMacroblockTypes(const std::string& path, const EncodeRun& run, int mbCols) {
  std::string log;
  const std::vector<MbTypePicture> grids = DebugMbTypes(path, &log);
  // ffmpeg prints the grids in display order, all but the last reference picture.
  std::vector<size_t> byDisplay(run.plans.size());
  for (size_t c = 0; c < run.plans.size(); ++c) byDisplay[static_cast<size_t>(run.displayNumbers[c])] = c;
  ASSERT_GE(grids.size() + 1, run.plans.size()) << log.substr(0, 2000);
  for (size_t d = 0; d < grids.size(); ++d) {
    const size_t p = byDisplay[d];
    EXPECT_EQ(grids[d].type, run.pictureTypes[p]) << "picture " << p;
    const std::vector<MBInfo>& plan = run.plans[p];
    for (size_t row = 0; row < grids[d].rows.size(); ++row) {
      const std::string& cells = grids[d].rows[row];
      ASSERT_EQ(cells.size(), static_cast<size_t>(mbCols));
      for (int col = 0; col < mbCols; ++col) {
        const MBInfo& mb = plan[row * static_cast<size_t>(mbCols) + col];
        const char cell = cells[static_cast<size_t>(col)];
        SCOPED_TRACE("picture " + std::to_string(p) + " row " + std::to_string(row) + " column " +
                     std::to_string(col));
        const bool intra = (mb.flags & MBINFO_INTRA) != 0;
        EXPECT_EQ(cell == 'i' || cell == 'I', intra) << cell;
        if (cell != 'S') continue;
        EXPECT_TRUE(col != 0 && col != mbCols - 1);
        if (run.pictureTypes[p] == 'P') {
          EXPECT_FALSE(mb.flags & MBINFO_FORWARD);
        }
        if (run.pictureTypes[p] == 'B') {
          EXPECT_FALSE(plan[row * static_cast<size_t>(mbCols) + col - 1].flags & MBINFO_INTRA);
        }
      }
    }
  }
}

struct EncodeCase {
  const char* name;
  EncodeSetup setup;
  bool releaseOnly = false;
  double sourcePsnr = 0;  // at quantiser 1: the lowest luma PSNR against the source
};

EncodeSetup Setup(int codec, int width, int height, int frames, int n, int m, int q) {
  return MakeSetup(codec, width, height, frames, n, m, q);
}

std::vector<EncodeCase> Cases() {
  std::vector<EncodeCase> cases;
  cases.push_back({"mpeg2_intra_only", Setup(CODEC_MPEG2, 720, 576, 6, 1, 1, 4)});
  cases.push_back({"mpeg2_ipp", Setup(CODEC_MPEG2, 720, 576, 12, 15, 1, 4)});
  {
    EncodeCase c{"mpeg2_ibbp_short", Setup(CODEC_MPEG2, 720, 576, 20, 9, 3, 5)};
    c.setup.source = "mandelbrot";
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_ibbp_three_gops", Setup(CODEC_MPEG2, 720, 576, 34, 15, 3, 4), true};
    cases.push_back(c);
  }
  for (bool top : {true, false}) {
    EncodeCase c{top ? "mpeg2_interlaced_top_first" : "mpeg2_interlaced_bottom_first",
                 Setup(CODEC_MPEG2, 720, 576, 8, 15, 3, 5)};
    c.setup.plan.interlaced = true;
    c.setup.plan.topFieldFirst = top;
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_nonlinear_q1", Setup(CODEC_MPEG2, 352, 288, 6, 15, 3, 1)};
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.qScaleType = 1;
      rc.intraVlcFormat = 1;
      rc.alternateScan = 1;
    };
    c.sourcePsnr = 45;
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_linear_q1", Setup(CODEC_MPEG2, 352, 288, 6, 15, 3, 1)};
    c.sourcePsnr = 45;
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_macroblock_quantisers_and_overflow", Setup(CODEC_MPEG2, 352, 288, 8, 15, 3, 6)};
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.macroblockQuantiser = [](const TestRateControl::Position& at) {
        return 2 + (at.row * 7 + at.column * 3 + at.picture) % 29;
      };
      for (int picture = 0; picture < 8; ++picture) {
        for (int i = 0; i < 40; ++i) rc.overflow.insert({picture, (i * 5) % 18, (i * 7) % 22});
      }
    };
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_1920x1080", Setup(CODEC_MPEG2, 1920, 1080, 8, 15, 3, 4), true};
    cases.push_back(c);
  }
  {
    EncodeCase c{"mpeg2_repeats_pulldown_captions", Setup(CODEC_MPEG2, 720, 480, 13, 12, 3, 5)};
    c.setup.plan.repeatPictures = {{3, 1}, {4, 1}, {5, 2}, {9, 1}};
    c.setup.plan.pulldown = true;
    c.setup.plan.captions = {{0, {0x2C14}}, {2, {0x4142, 0x8080}}, {7, {0x1020, 0x3040, 0x5060}}};
    c.setup.adjustSettings = [](EncoderSettings& s) {
      s.frameRateIndex = 7;
      s.streamType = STREAM_TYPE_MPEG2_SD;
    };
    cases.push_back(c);
  }
  {
    // Weight 4 in the low-frequency corner (8 at the intra DC) and 16 elsewhere.
    static uint8_t matrix[64];
    for (int i = 0; i < 64; ++i) matrix[i] = (i / 8 < 4 && i % 8 < 4) ? 4 : 16;
    static uint8_t intra[64];
    std::copy(matrix, matrix + 64, intra);
    intra[0] = 8;
    const auto userMatrices = [](EncoderSettings& s) {
      s.loadIntraMatrix = s.loadNonIntraMatrix = 1;
      s.userIntraMatrix = intra;
      s.userNonIntraMatrix = matrix;
    };
    EncodeCase mpeg2{"mpeg2_user_matrices_q1", Setup(CODEC_MPEG2, 352, 288, 6, 15, 3, 1)};
    mpeg2.setup.adjustSettings = userMatrices;
    cases.push_back(mpeg2);
    EncodeCase mpeg1{"mpeg1_user_matrices_q5_to_8", Setup(CODEC_MPEG1, 352, 288, 8, 15, 3, 5)};
    mpeg1.setup.adjustSettings = userMatrices;
    mpeg1.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.rowQuantiser = [](int picture, int row) { return 5 + (picture + row) % 4; };
    };
    cases.push_back(mpeg1);
  }
  {
    EncodeCase c{"mpeg1_ibbp_low_quantisers", Setup(CODEC_MPEG1, 352, 288, 14, 12, 3, 2)};
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.rowQuantiser = [](int picture, int row) { return 1 + (picture + row) % 4; };
    };
    cases.push_back(c);
  }
  // The smallest pictures: one macroblock, one row, one column.
  const struct {
    const char* name;
    int width, height, n, m;
  } smallest[] = {{"mpeg2_16x16", 16, 16, 15, 3},        {"mpeg2_one_row", 96, 16, 15, 3},
                  {"mpeg2_one_column", 16, 96, 15, 3},   {"mpeg2_16x16_intra", 16, 16, 1, 1},
                  {"mpeg2_one_row_intra", 96, 16, 1, 1}, {"mpeg2_one_column_intra", 16, 96, 1, 1}};
  for (const auto& p : smallest) {
    cases.push_back({p.name, Setup(CODEC_MPEG2, p.width, p.height, 7, p.n, p.m, 4)});
  }
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    EncodeCase c{codec == CODEC_MPEG1 ? "mpeg1_row_pipelined" : "mpeg2_row_pipelined",
                 Setup(codec, 352, 288, 12, 12, 3, 3)};
    c.setup.rowMode = true;
    c.setup.plan.searchRange = 0;
    c.setup.plan.halfPel = false;
    cases.push_back(c);
  }
  return cases;
}

void PrintTo(const EncodeCase& c, std::ostream* out) { *out << c.name; }

class Encodes : public testing::TestWithParam<EncodeCase> {};

TEST_P(Encodes, DecodeToTheReconstruction) {
  const EncodeCase& c = GetParam();
  if (c.releaseOnly) ORX_RELEASE_ONLY();
  const EncodeRun run = RunEncode(c.setup);
  ASSERT_TRUE(run.initialised);
  EXPECT_TRUE(run.guardsIntact);
  EXPECT_EQ(run.lostBytes, 0u);
  const std::string path = CheckDecodesToReconstruction(run, c.name);
  if (c.sourcePsnr > 0) {
    EXPECT_GE(LowestSourcePsnr(run), c.sourcePsnr);
  }
  CheckMacroblockTypes(path, run, (c.setup.width + 15) / 16);
}

INSTANTIATE_TEST_SUITE_P(Mpeg12, Encodes, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::venc::test
