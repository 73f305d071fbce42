// Sweep streams: scripted levels, vectors and modes that make the encoder write every entry of
// its code tables (every run/level pair of both coefficient tables in both signs, the
// first-coefficient code, every escape form, every DC size, motion codes of every f_code,
// address increments with escapes, every coded block pattern and macroblock type, both
// frame_motion_type and dct_type cases), decoded by ffmpeg and compared with the
// reconstruction, which the encoder computes from the same scripted levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/small_pictures.h"
#include "tests/support/orx_test.h"

namespace orx::venc::test {
namespace {

// One block as (scan position, level) pairs; position 0 of an intra block is its DC level.
using ScriptBlock = std::vector<std::pair<int, int>>;
using ScriptMacroblock = std::array<ScriptBlock, 6>;
// Scripted levels by display number and macroblock index.
using LevelScript = std::map<int, std::map<int, ScriptMacroblock>>;

// The coding slots place the scripted levels; prediction, writing and reconstruction run as
// usual on them.
template <class Base>
class SweepEncoder : public InjectableEncoder<Base> {
 public:
  explicit SweepEncoder(const LevelScript* script) : script_(script) {}
  int CodeIntraMB(MBInfo* mb) override { return Place(mb, true); }
  int CodeInterMB(MBInfo* mb) override { return Place(mb, false); }

 private:
  int Place(MBInfo*, bool intra) {
    std::fill(this->coefficients_, this->coefficients_ + 6 * 64, int16_t{0});
    const CPicture& picture = *this->state_.picture;
    int cbp = 0;
    const auto pictureScript = script_->find(picture.displayNumber);
    const int index = this->state_.mbY * this->settings_->mbCols + this->state_.mbX;
    const ScriptMacroblock* script = nullptr;
    if (pictureScript != script_->end()) {
      const auto found = pictureScript->second.find(index);
      if (found != pictureScript->second.end()) script = &found->second;
    }
    for (int b = 0; b < 6; ++b) {
      int16_t* block = this->coefficients_ + 64 * b;
      if (intra) block[0] = static_cast<int16_t>(128 << picture.intraDcPrecision);
      if (script == nullptr) continue;
      for (const auto& [position, level] : (*script)[static_cast<size_t>(b)]) {
        block[this->scan_[position]] = static_cast<int16_t>(level);
      }
      if (!(*script)[static_cast<size_t>(b)].empty()) cbp |= 0x20 >> b;
    }
    return intra ? 63 : cbp;
  }
  const LevelScript* script_;
};

bool IsLarge(int level) { return std::abs(level) > 8; }

// Packs (run, level) pairs into blocks from scan position `first`: at most one large level a
// block, and the pairs in the given order.
std::vector<ScriptBlock> PackPairs(const std::vector<std::pair<int, int>>& pairs, int first) {
  std::vector<ScriptBlock> blocks;
  ScriptBlock current;
  int position = first;
  bool large = false;
  for (const auto& [run, level] : pairs) {
    if (position + run > 63 || (large && IsLarge(level))) {
      blocks.push_back(current);
      current.clear();
      position = first;
      large = false;
    }
    position += run;
    current.push_back({position, level});
    ++position;
    large = large || IsLarge(level);
  }
  if (!current.empty()) blocks.push_back(current);
  return blocks;
}

std::vector<std::pair<int, int>> TablePairs(std::span<const AcCodeRow> rows) {
  std::vector<std::pair<int, int>> pairs;
  for (const AcCodeRow& row : rows) {
    pairs.push_back({row.run, row.level});
    pairs.push_back({row.run, -row.level});
  }
  return pairs;
}

// Escape pairs: levels beyond the tables and runs 32..63.
std::vector<std::pair<int, int>> EscapePairs(int codec) {
  std::vector<std::pair<int, int>> pairs;
  if (codec == CODEC_MPEG1) {
    for (int level = 128; level <= 255; ++level) {
      pairs.push_back({0, level});
      pairs.push_back({0, -level});
    }
    for (int level : {41, 60, 127, -41, -127}) pairs.push_back({0, level});
  } else {
    for (int level : {2047, -2047, 41, -41, 1000, -1000}) pairs.push_back({0, level});
  }
  for (int run = 32; run <= 62; ++run) pairs.push_back({run, run % 2 ? 1 : -2});
  return pairs;
}

// Assigns blocks to macroblocks of a picture, from macroblock `start`, blocks 0..5 in turn.
void Assign(std::map<int, ScriptMacroblock>& picture, const std::vector<ScriptBlock>& blocks, int start) {
  for (size_t i = 0; i < blocks.size(); ++i) {
    picture[start + static_cast<int>(i / 6)][i % 6] = blocks[i];
  }
}

// DC levels whose differentials walk every DC size in both signs, as groups that each start
// from the predictor's reset value (128 << precision), so a group may begin a slice.
std::vector<std::vector<int>> DcWalk(int precision) {
  const int reset = 128 << precision;
  const int top = (256 << precision) - 1;
  std::vector<std::vector<int>> groups = {{reset}};
  for (int size = 1; size < 8 + precision; ++size) {
    groups.push_back({reset + (1 << size) - 1, reset, reset - (1 << (size - 1)), reset});
  }
  groups.push_back({0, top, 0});  // the largest size, both ways
  return groups;
}

// Lays the DC walk into intra macroblocks from `row`: the luma blocks Y0..Y3 follow each other
// along a row, the Cb and Cr blocks each take one step a macroblock.
void AssignDcWalk(std::map<int, ScriptMacroblock>& picture, int precision, int row, int mbCols) {
  const auto setDc = [&](int mb, int block, int dc) {
    picture[mb][static_cast<size_t>(block)].insert(picture[mb][static_cast<size_t>(block)].begin(), {0, dc});
  };
  int step = 0;
  for (const std::vector<int>& group : DcWalk(precision)) {
    for (int dc : group) {
      setDc(row * mbCols + step / 4, step % 4, dc);
      ++step;
    }
  }
  // Chroma: a new row whenever a group would not fit in the rest of the row.
  int chromaRow = row + 1;
  int column = 0;
  for (const std::vector<int>& group : DcWalk(precision)) {
    if (column + static_cast<int>(group.size()) > mbCols) {
      ++chromaRow;
      column = 0;
    }
    for (int dc : group) {
      setDc(chromaRow * mbCols + column, 4, dc);
      setDc(chromaRow * mbCols + column, 5, dc);
      ++column;
    }
  }
}

struct Sweep {
  EncodeSetup setup;
  LevelScript levels;
  std::set<int> coveredCbp;
  size_t unplacedBlocks = 0;
};

constexpr int kSweepWidth = 352;
constexpr int kSweepHeight = 288;
constexpr int kIntraMode = 6;  // macroblocks i with i % 7 == 6 are intra in P and B pictures

// The table sweep of one codec, in display order I0 B1 P2 B3 I4 P5: I0 with every pair of
// table zero and the DC walk, I4 with every pair of table one (MPEG-2, intra_vlc_format 1), P2
// with the first-coefficient code, the escapes and every coded block pattern, B1 and B3 with
// the B macroblock types; every fourth column changes the quantiser; MPEG-2 pictures are
// interlaced, so frame_motion_type and dct_type are written, and use the non-linear scale.
void BuildLevelSweep(int codec, const orx::test::RawVideo& video, Sweep& sweep) {
  constexpr int mbCols = kSweepWidth / 16;
  const int mbCount = mbCols * (kSweepHeight / 16);
  const bool mpeg2 = codec == CODEC_MPEG2;
  const int precision = mpeg2 ? 3 : 0;
  auto& i0 = sweep.levels[0];
  Assign(i0, PackPairs(TablePairs(DctTableZeroRows()), 1), 0);
  AssignDcWalk(i0, precision, 8, mbCols);
  if (mpeg2) Assign(sweep.levels[4], PackPairs(TablePairs(DctTableOneRows()), 1), 0);

  std::vector<ScriptBlock> inter = {{{0, 1}}, {{0, -1}, {3, 1}}, {{0, 1}, {1, -1}, {2, 1}}};
  for (const ScriptBlock& block : PackPairs(EscapePairs(codec), 0)) inter.push_back(block);
  auto& p = sweep.levels[2];
  size_t next = 0;
  int cbp = 0;
  for (int mb = 0; mb < mbCount && (next < inter.size() || cbp < 63); ++mb) {
    if (mb % 7 == kIntraMode) continue;
    cbp = cbp % 63 + 1;
    // The escapes go where the quantiser is the row's (scale 1), so that even +-2047
    // dequantises inside -2048..2047, the range beyond which decoders differ.
    const bool rowQuantiser = (mb % mbCols) % 4 != 3;
    for (int b = 0; b < 6; ++b) {
      if (!(cbp & (0x20 >> b))) continue;
      p[mb][static_cast<size_t>(b)] =
          next < inter.size() && rowQuantiser ? inter[next++] : ScriptBlock{{b, b % 2 ? 2 : -3}};
    }
    sweep.coveredCbp.insert(cbp);
  }
  sweep.unplacedBlocks = inter.size() - next;
  for (int display : {1, 3}) {
    for (int mb = 0; mb < mbCount; ++mb) {
      if (mb % 7 != kIntraMode && mb % 3 != 0) sweep.levels[display][mb][static_cast<size_t>(mb % 6)] = {{mb % 5, 1 + mb % 3}};
    }
  }

  EncodeSetup& setup = sweep.setup;
  setup = MakeSetup(codec, video.width, video.height, 0, 4, 2, 1);
  setup.video = &video;
  setup.plan.interlaced = mpeg2;
  setup.adjustRateControl = [mpeg2](TestRateControl& rc) {
    rc.qScaleType = mpeg2 ? 1 : 0;  // quantiser code 1 is scale 1
    rc.pictureFlags = [mpeg2](int, CPicture* pic) { pic->intraVlcFormat = mpeg2 && pic->displayNumber == 4; };
    rc.macroblockQuantiser = [](const TestRateControl::Position& at) { return at.column % 4 == 3 ? 2 : 1; };
  };
  const LevelScript* script = &sweep.levels;
  setup.makeEncoder = [codec, script]() -> std::unique_ptr<CMBEncoder_MPEG1> {
    if (codec == CODEC_MPEG1) return std::make_unique<SweepEncoder<CMBEncoder_MPEG1>>(script);
    return std::make_unique<SweepEncoder<CMBEncoder_MPEG2>>(script);
  };
  setup.script = [mpeg2, precision](TestPlanner& planner) {
    for (PlannedPicture* pp : planner.CodingOrder()) {
      CPicture& pic = pp->picture;
      if (pp->display == 0) pic.intraDcPrecision = precision;
      const int type = pic.pictureType;
      for (size_t i = 0; i < pp->mbs.size(); ++i) {
        MBInfo& mb = pp->mbs[i];
        const int col = static_cast<int>(i) % mbCols;
        mb.flags = mpeg2 && (i / 3) % 2 ? MBINFO_FIELD : 0;
        mb.mv[0] = MBVectorPair{};
        const int mode = static_cast<int>(i % 7);
        if (type == PICTURE_I || mode == kIntraMode) {
          mb.flags |= MBINFO_INTRA;
          continue;
        }
        // Modes in turn, with small vectors that keep the prediction inside the picture.
        const int16_t dx = col + 1 < mbCols ? static_cast<int16_t>(1 + static_cast<int>(i % 3)) : 0;
        if (type == PICTURE_P) {
          if (mode % 2 == 0) {
            mb.flags |= MBINFO_FORWARD;
            mb.mv[0].forward = PackedMV{dx, 0};
          }
          continue;
        }
        const uint32_t directions[3] = {MBINFO_FORWARD, MBINFO_BACKWARD, MBINFO_BIDIRECTIONAL};
        mb.flags |= directions[mode % 3];
        if (mb.flags & MBINFO_FORWARD) mb.mv[0].forward = PackedMV{dx, 0};
        if (mb.flags & MBINFO_BACKWARD) mb.mv[0].backward = PackedMV{0, static_cast<int16_t>(i % 2)};
      }
      planner.UpdateFCodes(*pp);
    }
  };
}

TEST(Sweep, CodeTablesEscapesDcSizesAndMacroblockTypes) {
  const orx::test::RawVideo video =
      DrawVideo(kSweepWidth, kSweepHeight, 6, [](int, int plane, int, int) { return static_cast<uint8_t>(plane ? 128 : 110); });
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    Sweep sweep;
    BuildLevelSweep(codec, video, sweep);
    EXPECT_EQ(sweep.coveredCbp.size(), 63u);
    EXPECT_EQ(sweep.unplacedBlocks, 0u);
    const EncodeRun run = RunEncode(sweep.setup);
    ASSERT_TRUE(run.initialised);
    CheckDecodesToReconstruction(run, codec == CODEC_MPEG1 ? "sweep_levels_mpeg1" : "sweep_levels_mpeg2");
  }
}

// ---- motion codes ----

// The vectors (half samples) of one component at macroblock position `index` whose luma and
// chroma predictions stay inside a picture of `size` samples, within the range of f_code.
std::pair<int, int> VectorWindow(int index, int size, int range) {
  const auto inside = [&](int v) {
    const int lumaStart = 16 * index + (v >> 1);
    const int c = v / 2;
    const int chromaStart = 8 * index + (c >> 1);
    return lumaStart >= 0 && lumaStart + 16 + (v & 1) <= size && chromaStart >= 0 &&
           chromaStart + 8 + (c & 1) <= size / 2;
  };
  int lo = -range;
  while (!inside(lo)) ++lo;
  int hi = range - 1;
  while (!inside(hi)) --hi;
  return {lo, hi};
}

int Wrap(int delta, int range) {
  if (delta >= range) return delta - 2 * range;
  if (delta < -range) return delta + 2 * range;
  return delta;
}

// P pictures whose forward vectors make every difference of [-range, range - 1] (every motion
// code and residual, wrapped ones included) for each f_code, in the components asked for.
struct MotionSweep {
  std::vector<std::vector<PackedMV>> vectors;  // per P picture, raster order
  std::vector<int> fCodes;                     // per P picture
  bool complete = true;
};

MotionSweep PlanMotionSweep(int width, int height, const std::vector<int>& fCodes, bool sweepX,
                            bool sweepY, int maxPicturesPerCode) {
  MotionSweep sweep;
  const int mbCols = width / 16;
  const int mbRows = height / 16;
  for (int fCode : fCodes) {
    const int range = 16 << (fCode - 1);
    std::vector<bool> doneX(2 * static_cast<size_t>(range), !sweepX);
    std::vector<bool> doneY(2 * static_cast<size_t>(range), !sweepY);
    const auto left = [](const std::vector<bool>& done) { return std::count(done.begin(), done.end(), false); };
    for (int picture = 0; picture < maxPicturesPerCode && left(doneX) + left(doneY) > 0; ++picture) {
      std::vector<PackedMV> vectors(static_cast<size_t>(mbCols) * mbRows);
      for (int row = 0; row < mbRows; ++row) {
        PackedMV predictor{};
        for (int col = 0; col < mbCols; ++col) {
          const auto choose = [&](int index, int size, int pred, std::vector<bool>& done) {
            const auto [lo, hi] = VectorWindow(index, size, range);
            for (int v = lo; v <= hi; ++v) {
              const int delta = Wrap(v - pred, range);
              if (!done[static_cast<size_t>(delta + range)]) {
                done[static_cast<size_t>(delta + range)] = true;
                return v;
              }
            }
            return std::clamp(0, lo, hi);
          };
          PackedMV v;
          v.x = static_cast<int16_t>(choose(col, width, predictor.x, doneX));
          v.y = static_cast<int16_t>(choose(row, height, predictor.y, doneY));
          vectors[static_cast<size_t>(row) * mbCols + col] = v;
          predictor = v;
        }
      }
      sweep.vectors.push_back(std::move(vectors));
      sweep.fCodes.push_back(fCode);
    }
    sweep.complete = sweep.complete && left(doneX) + left(doneY) == 0;
  }
  return sweep;
}

void RunMotionSweep(int codec, int width, int height, const std::vector<int>& fCodes, bool sweepX,
                    bool sweepY, const std::string& tag) {
  const MotionSweep motion = PlanMotionSweep(width, height, fCodes, sweepX, sweepY, 64);
  ASSERT_TRUE(motion.complete);
  const int frames = static_cast<int>(motion.vectors.size()) + 1;
  const orx::test::RawVideo video = DrawVideo(width, height, frames, Texture);
  EncodeSetup setup = MakeSetup(codec, width, height, 0, 1000, 1, 2);
  setup.video = &video;
  setup.plan.searchRange = 0;
  setup.plan.halfPel = false;
  setup.script = [&motion](TestPlanner& planner) {
    for (PlannedPicture* p : planner.CodingOrder()) {
      if (p->picture.pictureType != PICTURE_P) continue;
      const size_t k = static_cast<size_t>(p->display - 1);
      for (size_t i = 0; i < p->mbs.size(); ++i) {
        p->mbs[i] = MBInfo{};
        p->mbs[i].flags = MBINFO_FORWARD;
        p->mbs[i].mv[0].forward = motion.vectors[k][i];
        p->mbs[i].interCost = 1 << 20;
      }
      p->picture.forwardFCodeX = p->picture.forwardFCodeY = motion.fCodes[k];
    }
  };
  const EncodeRun run = RunEncode(setup);
  ASSERT_TRUE(run.initialised);
  CheckDecodesToReconstruction(run, tag);
}

TEST(Sweep, MotionCodesOfSmallFCodes) {
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    RunMotionSweep(codec, 352, 288, {1, 2, 3}, true, true, "motion_small");
  }
}

TEST(Sweep, MotionCodesOfEveryFCode) {
  ORX_RELEASE_ONLY();
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    std::vector<int> fCodes;
    for (int f = 1; f <= (codec == CODEC_MPEG1 ? 7 : 9); ++f) fCodes.push_back(f);
    // Horizontal differences in a wide picture, vertical ones in a tall one.
    RunMotionSweep(codec, 2112, 128, fCodes, true, false, "motion_wide");
    RunMotionSweep(codec, 128, 2112, fCodes, false, true, "motion_tall");
  }
}

// ---- address increments ----

TEST(Sweep, AddressIncrementsWithEscapes) {
  constexpr int kWidth = 1920;
  constexpr int kCols = kWidth / 16;
  std::vector<int> increments;
  for (int n = 1; n <= 33; ++n) increments.push_back(n);
  for (int n : {34, 66, 67}) increments.push_back(n);
  // Written macroblocks at the columns that give these increments; every row ends written.
  std::vector<std::vector<int>> rows(1, std::vector<int>{0});
  for (int n : increments) {
    if (rows.back().back() + n > kCols - 1) rows.push_back({0});
    rows.back().push_back(rows.back().back() + n);
  }
  const int height = 16 * static_cast<int>(rows.size() + rows.size() % 2);
  // The P picture repeats the I picture, and at quantiser 8 nothing of it is coded.
  const orx::test::RawVideo video = DrawVideo(kWidth, height, 2, [](int, int plane, int x, int y) {
    return Texture(0, plane, x, y);
  });
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    std::vector<MacroblockRecord> log;
    CoreCounters counters;
    EncodeSetup setup = RecordedSetup(codec, video, 15, 1, 8, &log, &counters);
    setup.plan.searchRange = 0;
    setup.plan.halfPel = false;
    setup.script = [&rows](TestPlanner& planner) {
      for (PlannedPicture* p : planner.CodingOrder()) {
        if (p->picture.pictureType != PICTURE_P) continue;
        for (MBInfo& mb : p->mbs) mb = MBInfo{};  // zero vector, nothing coded: skipped
        for (size_t r = 0; r < rows.size(); ++r) {
          for (int col : rows[r]) p->mbs[r * kCols + static_cast<size_t>(col)].flags = MBINFO_FORWARD;
        }
        planner.UpdateFCodes(*p);
      }
    };
    setup.adjustRateControl = [](TestRateControl& rc) {
      rc.interThreshold = [](const TestRateControl::Position&, int) { return 1 << 20; };
    };
    const EncodeRun run = RunEncode(setup);
    std::set<int> seen;
    for (const MacroblockRecord& r : log) {
      if (r.display == 1) seen.insert(r.addressIncrement);
    }
    for (int n : increments) EXPECT_TRUE(seen.count(n)) << n;
    CheckDecodesToReconstruction(run, "increments");
  }
}

}  // namespace
}  // namespace orx::venc::test
