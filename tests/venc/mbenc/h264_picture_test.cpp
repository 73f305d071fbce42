// Whole H.264 encodes through the picture loop, decoded by ffmpeg with -xerror: strict
// decoding, the frame count, every decoded frame byte-identical to the encoder's
// reconstruction (deblocking is off, and the statistics callback makes B pictures
// reconstructed too), and ffmpeg's macroblock types against the encoder's decisions.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/stream_tools.h"

namespace orx::venc::test {
namespace {

struct H264EncodeCase {
  const char* name = "";
  EncodeSetup setup;
  bool releaseOnly = false;
  // Macroblock types ffmpeg must report at least once over the clip (type or partition
  // characters of the cells).
  std::string typesSeen;
  // Further checks of the stream.
  std::function<void(const std::string& path, const EncodeRun& run)> check;
};

void PrintTo(const H264EncodeCase& c, std::ostream* os) { *os << c.name; }

H264EncodeCase Case(const char* name, const EncodeSetup& setup, bool releaseOnly = false, std::string types = "") {
  H264EncodeCase c;
  c.name = name;
  c.setup = setup;
  c.releaseOnly = releaseOnly;
  c.typesSeen = std::move(types);
  return c;
}

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

// Gives non-intra macroblocks of the pictures of one type partitions (16x8, 8x16, 8x8 in
// turn) whose further partitions move by up to a sample against the first.
void ScriptPartitions(TestPlanner& planner, int pictureType) {
  static constexpr uint32_t kKinds[3] = {MBINFO_PART_16X8, MBINFO_PART_8X16, MBINFO_PART_8X8};
  static constexpr int16_t kStep[4][2] = {{0, 0}, {3, -2}, {-4, 1}, {2, 4}};
  for (PlannedPicture* p : planner.CodingOrder()) {
    if (p->picture.pictureType != pictureType) continue;
    for (size_t i = 0; i < p->mbs.size(); ++i) {
      MBInfo& mb = p->mbs[i];
      if ((mb.flags & MBINFO_INTRA) || i % 4 == 0) continue;
      const uint32_t kind = kKinds[i % 3];
      mb.flags = (mb.flags & ~MBINFO_PART_16X16) | kind;
      const PackedMV base = mb.mv[0].forward;
      const PackedMV baseBackward = mb.mv[0].backward;
      for (int q = 1; q < 4; ++q) {
        // The partition covering quadrant q: its own vector, the same in every quadrant of it.
        const int owner = kind == MBINFO_PART_16X8 ? (q & 2) : kind == MBINFO_PART_8X16 ? (q & 1) : q;
        const PackedMV v{static_cast<int16_t>(base.x + kStep[owner][0]), static_cast<int16_t>(base.y + kStep[owner][1])};
        mb.mv[q].forward = v;
        mb.mv[q].backward = PackedMV{static_cast<int16_t>(baseBackward.x - kStep[owner][1]),
                                     static_cast<int16_t>(baseBackward.y + kStep[owner][0])};
      }
    }
  }
}

std::vector<H264EncodeCase> ExactCases() {
  std::vector<H264EncodeCase> cases;
  cases.push_back(Case("intra_only_576", H264Setup(720, 576, 3, 1, 1, 14), false, "iI"));
  {
    H264EncodeCase c = Case("ippp_480_mandelbrot", H264Setup(720, 480, 8, 15, 1, 14), true, "");
    c.setup.source = "mandelbrot";
    c.typesSeen = ">";
    cases.push_back(c);
  }
  cases.push_back(Case("ibbp_576", H264Setup(720, 576, 10, 15, 3, 14), true, "iI>SX<"));
  cases.push_back(Case("ibbp_cif", H264Setup(352, 288, 10, 15, 3, 14), false, ""));
  cases.push_back(Case("ibbp_1080", H264Setup(1920, 1080, 7, 15, 3, 14), true, ""));
  for (int qp : {0, 10, 20, 39}) {
    static std::string names[4];
    std::string& name = names[qp / 10];
    name = "ibbp_cif_qp" + std::to_string(qp);
    cases.push_back(Case(name.c_str(), H264Setup(352, 288, 7, 15, 3, qp), false, ""));
  }
  {
    // Every internal QP in turn, with steps beyond the -26..25 of mb_qp_delta.
    H264EncodeCase c = Case("macroblock_qp_changes", H264Setup(352, 288, 7, 15, 3, 14), false, "");
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.macroblockQuantiser = [](const TestRateControl::Position& at) {
        return (at.row * 7 + at.column * 13 + at.picture * 5) % 40;
      };
    };
    cases.push_back(c);
  }
  {
    // Black frames: every P macroblock is P_Skip, so a P slice is one mb_skip_run.
    H264EncodeCase c = Case("black_all_skipped", H264Setup(352, 288, 7, 15, 3, 14), false, "S");
    c.setup.source = "color";  // black
    cases.push_back(c);
  }
  {
    H264EncodeCase c = Case("still_direct_and_skip", H264Setup(352, 288, 7, 15, 3, 20), false, "dD");
    c.setup.video = &StillClip(352, 288, 7);
    cases.push_back(c);
  }
  {
    H264EncodeCase c = Case("intra_in_p_and_b", H264Setup(352, 288, 7, 15, 3, 14), false, "iI");
    c.setup.script = IntraInInterPictures;
    cases.push_back(c);
  }
  {
    H264EncodeCase c = Case("camera_clip", H264Setup(640, 480, 10, 15, 3, 14), false, "");
    c.setup.video = &CameraClip(10);
    cases.push_back(c);
  }
  {
    // Partition search on: P macroblocks scripted to 16x8, 8x16 and 8x8 with their own vectors.
    H264EncodeCase c = Case("p_partitions", H264Setup(352, 288, 6, 15, 1, 14), false, "-|+");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.estimatorFlags |= 0xE; };
    c.setup.script = [](TestPlanner& planner) { ScriptPartitions(planner, PICTURE_P); };
    cases.push_back(c);
  }
  {
    // B macroblocks that carry a partition flag and other vectors in their lower quadrants
    // are still predicted and written with one vector per list.
    H264EncodeCase c = Case("b_partition_flags", H264Setup(352, 288, 7, 15, 3, 14), false, "");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.estimatorFlags |= 0xE; };
    c.setup.script = [](TestPlanner& planner) { ScriptPartitions(planner, PICTURE_B); };
    cases.push_back(c);
  }
  {
    // 30 macroblock rows in 4 slices: 8, 8, 7 and 7 rows.
    H264EncodeCase c = Case("slices_by_count", H264Setup(720, 480, 4, 15, 3, 14), false, "");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.sliceLayout = 4; };
    c.check = [](const std::string& path, const EncodeRun&) {
      const std::vector<int64_t> first = FieldValues(TraceH264Headers(path), "first_mb_in_slice");
      ASSERT_EQ(first.size(), 16u);
      for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], (std::vector<int64_t>{0, 360, 720, 1035})[i % 4]);
    };
    cases.push_back(c);
  }
  {
    // Slices of at most 300 bytes (with the limiter's estimate of one row's bits / 4 per
    // macroblock): each new slice starts at the current macroblock with its QP.
    H264EncodeCase c = Case("slices_by_bytes", H264Setup(352, 288, 4, 15, 3, 10), false, "");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.sliceLayout = 300 << 8; };
    c.setup.adjustRateControl = [](TestRateControl& rc) {
      rc.rowBitTarget = 2200;
      rc.macroblockQuantiser = [](const TestRateControl::Position& at) { return 8 + (at.column + at.row) % 5; };
    };
    c.check = [](const std::string& path, const EncodeRun& run) {
      const std::vector<TraceField> fields = TraceH264Headers(path);
      const std::vector<int64_t> first = FieldValues(fields, "first_mb_in_slice");
      EXPECT_GT(first.size(), 3 * run.plans.size());
      // Every slice but a picture's first starts where the previous one stopped and carries
      // that macroblock's QP, so the macroblocks' own QPs hold across the slice edges.
      const std::vector<int64_t> qp = FieldValues(fields, "slice_qp_delta");
      ASSERT_EQ(qp.size(), first.size());
      for (size_t i = 0; i < first.size(); ++i) {
        if (first[i] == 0) continue;
        EXPECT_GT(first[i], first[i - 1]);
        EXPECT_EQ(qp[i] + 26 - 12, 8 + (first[i] % 22 + first[i] / 22) % 5) << "slice at " << first[i];
      }
    };
    cases.push_back(c);
  }
  {
    // A limit below one macroblock: every macroblock its own slice, never an empty one.
    H264EncodeCase c = Case("slices_of_one_macroblock", H264Setup(64, 48, 3, 15, 3, 14), false, "");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.sliceLayout = 1 << 8; };
    c.check = [](const std::string& path, const EncodeRun& run) {
      EXPECT_EQ(FieldValues(TraceH264Headers(path), "first_mb_in_slice").size(), 12 * run.plans.size());
    };
    cases.push_back(c);
  }
  {
    // The statistics pass never deblocks while the slices say the filter is off.
    H264EncodeCase c = Case("statistics_pass", H264Setup(352, 288, 7, 15, 3, 14), false, "");
    c.setup.adjustSettings = [](EncoderSettings& s) { s.statisticsPass = 1; };
    cases.push_back(c);
  }
  {
    // A repeat anchor is coded into its reference's buffer; the next P picture then reads
    // the borders of that buffer, which must follow the new edges.
    H264EncodeCase c = Case("repeat_then_border_vectors", H264Setup(352, 288, 6, 15, 1, 14), false, "");
    c.setup.plan.repeatPictures = {{2, 1}};
    c.setup.script = [](TestPlanner& planner) {
      for (PlannedPicture* p : planner.CodingOrder()) {
        if (p->display != 3) continue;
        for (int col = 0; col < planner.MbCols(); ++col) {
          MBInfo& top = p->Mb(col, 0, planner.MbCols());
          top.flags = MBINFO_FORWARD | MBINFO_PART_16X16;
          top.mv[0].forward = PackedMV{-6, -40};
          MBInfo& bottom = p->Mb(col, planner.MbRows() - 1, planner.MbCols());
          bottom.flags = MBINFO_FORWARD | MBINFO_PART_16X16;
          bottom.mv[0].forward = PackedMV{5, 41};
        }
      }
    };
    cases.push_back(c);
  }
  // Small pictures: neighbours missing on every side, the top-left intra predictions of the
  // padded planes, pictures of one row and of one column.
  cases.push_back(Case("one_macroblock", H264Setup(16, 16, 7, 15, 3, 14)));
  cases.push_back(Case("one_column", H264Setup(16, 48, 7, 15, 3, 14)));
  cases.push_back(Case("one_row", H264Setup(64, 16, 7, 15, 3, 14)));
  cases.push_back(Case("four_by_three", H264Setup(64, 48, 7, 15, 3, 14)));
  {
    // Intra cost - 3 x deviation exactly at the threshold T (18 x 10 + 16 at internal QP 14)
    // is intra 16x16; one above it intra 4x4.
    H264EncodeCase c = Case("intra_threshold_at_most", H264Setup(64, 48, 1, 1, 1, 14));
    c.setup.script = [](TestPlanner& planner) {
      for (PlannedPicture* p : planner.CodingOrder()) {
        for (size_t i = 0; i < p->mbs.size(); ++i) {
          p->mbs[i].minBlockDeviation = 10;
          p->mbs[i].intraActivity = 196 + 30 + static_cast<int>(i % 2);
        }
      }
    };
    c.check = [](const std::string& path, const EncodeRun&) {
      const std::vector<MbTypePicture> grids = DebugMbTypesH264(path);
      ASSERT_EQ(grids.size(), 1u);
      ASSERT_EQ(grids[0].rows.size(), 3u);
      for (size_t row = 0; row < 3; ++row) {
        for (size_t col = 0; col < 4; ++col) {
          EXPECT_EQ(grids[0].rows[row][2 * col], (row * 4 + col) % 2 == 0 ? 'I' : 'i') << row << " " << col;
        }
      }
    };
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
        const char partition = 2 * static_cast<size_t>(col) + 1 < cells.size() ? cells[2 * static_cast<size_t>(col) + 1] : ' ';
        for (char t : {cell, partition}) {
          if (seen.find(t) == std::string::npos) seen.push_back(t);
        }
        if (run.pictureTypes[p] == 'P' && cell == '>') {
          const uint32_t kind = mb.flags & (MBINFO_PART_16X8 | MBINFO_PART_8X16 | MBINFO_PART_8X8);
          EXPECT_EQ(partition, kind == MBINFO_PART_16X8 ? '-' : kind == MBINFO_PART_8X16 ? '|'
                               : kind == MBINFO_PART_8X8  ? '+' : ' ')
              << "picture " << p << " row " << row << " column " << col;
        }
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
  if (c.check) c.check(path, run);
}

INSTANTIATE_TEST_SUITE_P(Table, H264ExactDecoding, testing::ValuesIn(ExactCases()),
                         [](const auto& info) { return std::string(info.param.name); });

double MeanLumaPsnr(const orx::test::RawVideo& a, const std::vector<std::vector<uint8_t>>& b) {
  double sum = 0;
  const size_t luma = static_cast<size_t>(a.width) * a.height;
  for (size_t i = 0; i < b.size(); ++i) sum += orx::test::PlanePsnr(a.frames[i].data(), b[i].data(), luma);
  return sum / static_cast<double>(b.size());
}

TEST(H264Quality, Testsrc2AtQp26HoldsThirtyEightDecibels) {
  ORX_RELEASE_ONLY();
  const EncodeRun run = RunEncode(H264Setup(720, 576, 10, 15, 3, 14));
  ASSERT_TRUE(run.initialised);
  const double lowest = LowestSourcePsnr(run);
  std::printf("lowest luma PSNR %.2f dB\n", lowest);
  EXPECT_GE(lowest, 38.0);
}

// A sanity check of the intra decisions: the I pictures of the camera clip at QP 26 against
// x264's (fast preset, CAVLC, no deblocking) on the same frames; --ipratio 1 keeps x264's I
// pictures at the QP asked rather than a ratio below it.
TEST(H264Quality, CameraIntraPicturesNearX264) {
  ORX_RELEASE_ONLY();
  constexpr int kFrames = 6;
  const orx::test::RawVideo& clip = CameraClip(10);
  orx::test::RawVideo frames = clip;
  frames.frames.resize(kFrames);
  EncodeSetup setup = H264Setup(640, 480, kFrames, 1, 1, 14);
  setup.video = &frames;
  const EncodeRun run = RunEncode(setup);
  ASSERT_TRUE(run.initialised);
  const double ours = MeanLumaPsnr(frames, run.reconstructions);

  const std::string dir = orx::test::MakeTempDir("h264_quality");
  ASSERT_TRUE(orx::test::WriteY4mFile(dir + "/clip.y4m", frames, 25, 1));
  const orx::test::ProcessResult r = orx::test::RunProcess(
      {orx::test::RequireProgram("x264"), "--quiet", "--preset", "veryfast", "--no-cabac", "--qp", "26", "--keyint",
       "1", "--ipratio", "1", "--no-deblock", "-o", dir + "/x264.264", dir + "/clip.y4m"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  orx::test::RawVideo decoded;
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(dir + "/x264.264", decoded, {}, &log)) << log;
  ASSERT_EQ(decoded.frames.size(), frames.frames.size());
  const double x264 = MeanLumaPsnr(frames, decoded.frames);
  std::printf("intra pictures at QP 26: ours %.2f dB, x264 %.2f dB\n", ours, x264);
  EXPECT_GE(ours, x264 - 0.5);
}

}  // namespace
}  // namespace orx::venc::test
