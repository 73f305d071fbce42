// Whole H.264 encodes through the picture loop, decoded by ffmpeg with -xerror: strict
// decoding, the frame count, every decoded frame byte-identical to the encoder's
// reconstruction (deblocking is off, and the statistics callback makes B pictures
// reconstructed too), and ffmpeg's macroblock types against the encoder's decisions.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"
#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/stream_tools.h"

namespace orx::venc::test {
namespace {

struct H264EncodeCase {
  const char* name;
  EncodeSetup setup;
  bool releaseOnly = false;
  // Macroblock types ffmpeg must report at least once over the clip (cell type characters).
  std::string typesSeen;
};

void PrintTo(const H264EncodeCase& c, std::ostream* os) { *os << c.name; }

EncodeSetup H264Setup(int width, int height, int frames, int n, int m, int qp) {
  EncodeSetup s = MakeSetup(CODEC_H264, width, height, frames, n, m, qp);
  s.plan.closedGops = true;  // H.264 exports code closed GOPs
  return s;
}

// The first frame of a lavfi source, repeated: still pictures whose P macroblocks skip and
// whose B macroblocks become direct or skipped.
const orx::test::RawVideo& StillClip(int width, int height, int frames) {
  static orx::test::RawVideo clip;
  if (clip.frames.empty()) {
    orx::test::RawVideo one;
    EXPECT_TRUE(orx::test::GenerateLavfiVideo(
        "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25", 1, one));
    clip.width = one.width;
    clip.height = one.height;
    clip.frames.assign(static_cast<size_t>(frames), one.frames.at(0));
  }
  return clip;
}

// The first frames of the real camera clip (640x480).
const orx::test::RawVideo& CameraClip(int frames) {
  static orx::test::RawVideo clip;
  if (clip.frames.empty()) {
    orx::test::DecodeOptions options;
    options.xerror = false;
    options.outputArgs = {"-frames:v", std::to_string(frames)};
    std::string log;
    EXPECT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("box.mp4"), clip, options, &log)) << log;
  }
  return clip;
}

// Makes every seventh macroblock of the P and B pictures intra.
void IntraInInterPictures(TestPlanner& planner) {
  for (PlannedPicture* p : planner.CodingOrder()) {
    if (p->picture.pictureType == PICTURE_I) continue;
    for (size_t i = 3; i < p->mbs.size(); i += 7) {
      p->mbs[i].flags = MBINFO_INTRA;
      p->mbs[i].mv[0] = MBVectorPair{};
    }
  }
}

std::vector<H264EncodeCase> ExactCases() {
  std::vector<H264EncodeCase> cases;
  cases.push_back({"intra_only_576", H264Setup(720, 576, 3, 1, 1, 14), false, "iI"});
  {
    H264EncodeCase c{"ippp_480_mandelbrot", H264Setup(720, 480, 8, 15, 1, 14), false, ""};
    c.setup.source = "mandelbrot";
    c.typesSeen = ">";
    cases.push_back(c);
  }
  cases.push_back({"ibbp_576", H264Setup(720, 576, 10, 15, 3, 14), false, "iI>SX<"});
  cases.push_back({"ibbp_cif", H264Setup(352, 288, 10, 15, 3, 14), false, ""});
  cases.push_back({"ibbp_1080", H264Setup(1920, 1080, 7, 15, 3, 14), true, ""});
  for (int qp : {0, 10, 20, 39}) {
    static std::string names[4];
    std::string& name = names[qp / 10];
    name = "ibbp_cif_qp" + std::to_string(qp);
    cases.push_back({name.c_str(), H264Setup(352, 288, 7, 15, 3, qp), false, ""});
  }
  {
    // Every internal QP in turn, with steps beyond the -26..25 of mb_qp_delta.
    H264EncodeCase c{"macroblock_qp_changes", H264Setup(352, 288, 7, 15, 3, 14), false, ""};
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.macroblockQuantiser = [](const TestRateControl::Position& at) {
        return (at.row * 7 + at.column * 13 + at.picture * 5) % 40;
      };
    };
    cases.push_back(c);
  }
  {
    // Black frames: every P macroblock is P_Skip, so a P slice is one mb_skip_run.
    H264EncodeCase c{"black_all_skipped", H264Setup(352, 288, 7, 15, 3, 14), false, "S"};
    c.setup.source = "color";  // black
    cases.push_back(c);
  }
  {
    H264EncodeCase c{"still_direct_and_skip", H264Setup(352, 288, 7, 15, 3, 20), false, "dD"};
    c.setup.video = &StillClip(352, 288, 7);
    cases.push_back(c);
  }
  {
    H264EncodeCase c{"intra_in_p_and_b", H264Setup(352, 288, 7, 15, 3, 14), false, "iI"};
    c.setup.script = IntraInInterPictures;
    cases.push_back(c);
  }
  {
    H264EncodeCase c{"camera_clip", H264Setup(640, 480, 10, 15, 3, 14), false, ""};
    c.setup.video = &CameraClip(10);
    cases.push_back(c);
  }
  return cases;
}

// The type ffmpeg must report for the macroblock as the encoder left it.
char ExpectedType(const MBInfo& mb, char pictureType) {
  if (mb.flags & MBINFO_INTRA) return (mb.flags & MBINFO_PATTERN) ? 'I' : 'i';
  if (mb.flags & MBINFO_SKIPPED) return pictureType == 'B' ? 'd' : 'S';
  if (mb.flags & MBINFO_DIRECT) return 'D';
  if (pictureType == 'P') return '>';
  const bool l0 = (mb.flags & MBINFO_FORWARD) != 0;
  const bool l1 = (mb.flags & MBINFO_BACKWARD) != 0;
  return l0 && l1 ? 'X' : l0 ? '>' : '<';
}

// ffmpeg's macroblock grids against the encoder's decisions; answers the types seen.
std::string CheckDecisions(const std::string& path, const EncodeRun& run, int mbCols) {
  std::string log;
  const std::vector<MbTypePicture> grids = DebugMbTypesH264(path, &log);
  EXPECT_EQ(grids.size(), run.plans.size()) << log.substr(0, 3000);
  std::string seen;
  // ffmpeg reports the pictures in display order.
  std::vector<size_t> byDisplay(run.plans.size());
  for (size_t c = 0; c < run.plans.size(); ++c) byDisplay[static_cast<size_t>(run.displayNumbers[c])] = c;
  for (size_t d = 0; d < std::min(grids.size(), run.plans.size()); ++d) {
    const size_t p = byDisplay[d];
    EXPECT_EQ(grids[d].type, run.pictureTypes[p]) << "picture " << p;
    const std::vector<MBInfo>& plan = run.plans[p];
    EXPECT_EQ(grids[d].rows.size() * static_cast<size_t>(mbCols), plan.size());
    for (size_t row = 0; row < grids[d].rows.size(); ++row) {
      const std::string& cells = grids[d].rows[row];
      for (int col = 0; col < mbCols && 2 * static_cast<size_t>(col) < cells.size(); ++col) {
        const char cell = cells[2 * static_cast<size_t>(col)];
        const MBInfo& mb = plan[row * static_cast<size_t>(mbCols) + col];
        if (seen.find(cell) == std::string::npos) seen.push_back(cell);
        EXPECT_EQ(cell, ExpectedType(mb, run.pictureTypes[p]))
            << "picture " << p << " row " << row << " column " << col;
      }
    }
  }
  return seen;
}

class H264ExactDecoding : public testing::TestWithParam<H264EncodeCase> {};

TEST_P(H264ExactDecoding, DecodesToTheReconstructionWithTheEncodersDecisions) {
  const H264EncodeCase& c = GetParam();
  if (c.releaseOnly) ORX_RELEASE_ONLY();
  const EncodeRun run = RunEncode(c.setup);
  ASSERT_TRUE(run.initialised);
  ASSERT_FALSE(run.stream.empty());
  EXPECT_TRUE(run.guardsIntact);
  const std::string path = CheckDecodesToReconstruction(run, std::string("h264_") + c.name, 0, true);
  const std::string seen = CheckDecisions(path, run, (run.width + 15) / 16);
  for (char t : c.typesSeen) EXPECT_NE(seen.find(t), std::string::npos) << "no macroblock of type " << t;
}

INSTANTIATE_TEST_SUITE_P(Table, H264ExactDecoding, testing::ValuesIn(ExactCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::venc::test
