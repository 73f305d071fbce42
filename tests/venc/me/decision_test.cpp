// Decision and search rules with a core that answers set costs, and the cost constants of the
// picture set-up.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/venc/me/me_fixtures.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/me/motion_search.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

// Costs by reference plane and position; every call is recorded.
class SetCostCore : public dsp::CMotionEstimationCore {
 public:
  struct Plane {
    const uint8_t* origin;
    int pitch;
  };
  std::vector<Plane> planes;
  std::map<std::pair<int, std::pair<int, int>>, uint32_t> costs;  // (plane, (x, y))
  uint32_t otherwise = 5000;
  uint32_t bidirectional = 0;
  std::vector<std::pair<int, int>> halfPelCalls;  // (2x + h, 2y + v) in half-pel

  std::pair<int, std::pair<int, int>> Locate(const uint8_t* p) const {
    for (size_t i = 0; i < planes.size(); ++i) {
      const ptrdiff_t offset = p - planes[i].origin;
      if (offset >= 0 && offset < 64 * planes[i].pitch) {
        return {static_cast<int>(i),
                {static_cast<int>(offset % planes[i].pitch),
                 static_cast<int>(offset / planes[i].pitch)}};
      }
    }
    return {-1, {0, 0}};
  }
  uint32_t Cost(const uint8_t* p) const {
    const auto it = costs.find(Locate(p));
    return it != costs.end() ? it->second : otherwise;
  }
  uint32_t Sad16(const uint8_t* p) override { return Cost(p); }
  uint32_t Sad16Prefetch(const uint8_t* p) override { return Cost(p); }
  uint32_t SadHalfPel16(const uint8_t* p, int h, int v) override {
    const auto [plane, xy] = Locate(p);
    halfPelCalls.push_back({2 * xy.first + h, 2 * xy.second + v});
    return otherwise;
  }
  uint32_t SadBidirHalfPel16(const uint8_t*, const uint8_t*, int, int, int, int) override {
    return bidirectional;
  }
};

struct Fixture {
  std::vector<uint8_t> forward = std::vector<uint8_t>(64 * 64);
  std::vector<uint8_t> backward = std::vector<uint8_t>(64 * 64);
  std::vector<uint8_t> current = std::vector<uint8_t>(64 * 64);
  SetCostCore core;
  CMotionSearch search;

  Fixture() {
    core.planes = {{forward.data(), 64}, {backward.data(), 64}};
    search.core = &core;
    search.width = search.height = search.stride = 64;
    search.mbCols = search.mbRows = 4;
    search.maxX = search.maxY = 48;
    search.forwardPlane = forward.data();
    search.backwardPlane = backward.data();
    search.currentMb = current.data();
    search.intraThreshold = 2048;
    search.vectorPenalty = 10;
    search.noSearch = 1;  // SearchMB answers the cost at the macroblock's own position
    search.AllocateRowBuffers(4);
  }
};

struct BCase {
  uint32_t f, b, bidirectional;
  uint32_t flags;
  int cost;
};

TEST(DecideBMode, ForwardBackwardInterpolated) {
  const BCase cases[] = {
      // F below 641: no interpolation; forward when F + 9 < Bc.
      {500, 2000, 0, MBINFO_FORWARD, 500},
      // d = 100, m = 1000, 4d < m: Bi = 0 + 0 + (100 + 1000) / 2.
      {1000, 1100, 0, MBINFO_BIDIRECTIONAL, 550},
      // Within 60 %: the true interpolated SAD.
      {1000, 1500, 700, MBINFO_BIDIRECTIONAL, 700},
      // 5d >= 3m: Bi = (F + Bc) / 2 = 2000, backward wins.
      {3000, 1000, 0, MBINFO_BACKWARD, 1000},
      // The margin of 9 for forward: F + 9 = Bc goes to the interpolation (d = 9, m = 991).
      {991, 1000, 5000, MBINFO_BIDIRECTIONAL, 500},
  };
  for (const BCase& c : cases) {
    Fixture fx;
    fx.search.pictureType = PICTURE_B;
    fx.search.forwardSearch = fx.search.backwardSearch = true;
    fx.core.costs[{0, {16, 16}}] = c.f;
    fx.core.costs[{1, {16, 16}}] = c.b;
    fx.core.bidirectional = c.bidirectional;
    MBInfo mb{};
    fx.search.DecideBMode(16, 16, &mb);
    EXPECT_EQ(mb.flags, c.flags) << c.f << " " << c.b;
    EXPECT_EQ(mb.interCost, c.cost) << c.f << " " << c.b;
  }
}

TEST(DecideBMode, MissingDirectionsCarrySentinels) {
  Fixture fx;
  fx.search.pictureType = PICTURE_B;
  // Backward only (a closed GOP's leading B picture, forward pass): forward with 66014.
  MBInfo mb{};
  fx.search.DecideBMode(16, 16, &mb);
  EXPECT_EQ(mb.flags, MBINFO_FORWARD);
  EXPECT_EQ(mb.interCost, COST_NO_FORWARD);
  // The backward pass then takes the stored forward cost and chooses backward.
  fx.search.backwardSearch = true;
  fx.core.costs[{1, {16, 16}}] = 4000;
  fx.search.DecideBMode(16, 16, &mb);
  EXPECT_EQ(mb.flags, MBINFO_BACKWARD);
  EXPECT_EQ(mb.interCost, 4000);
}

TEST(DecideBMode, PZeroVectorAndFieldBit) {
  Fixture fx;
  fx.search.pictureType = PICTURE_P;
  fx.search.forwardSearch = true;
  fx.search.rowPredictor = false;
  fx.core.costs[{0, {0, 0}}] = 300;
  MBInfo row[4] = {};
  for (MBInfo& mb : row) {
    mb.flags = MBINFO_FIELD;
    mb.intraActivity = 100000;
  }
  fx.search.currentRow = fx.current.data();
  fx.search.BeginRows();
  fx.search.EstimateMacroblockRow(row, 0, true, nullptr);
  EXPECT_EQ(row[0].flags, MBINFO_FIELD);  // zero vector: flags 0, field bit kept
  EXPECT_EQ(row[0].interCost, 300);
}

TEST(IntraDecision, CostAgainstActivity) {
  const struct {
    uint32_t cost;
    int activity;
    bool intra;
  } cases[] = {{7169, 9000, true}, {7168, 9000, false}, {7169, 9600, false}, {3000, 500, true}};
  for (const auto& c : cases) {
    Fixture fx;
    fx.search.pictureType = PICTURE_P;
    fx.search.forwardSearch = true;
    fx.search.mbCols = 1;
    fx.search.intraThreshold = 2048;
    fx.core.otherwise = c.cost;
    MBInfo mb{};
    mb.intraActivity = c.activity;
    fx.search.currentRow = fx.current.data();
    fx.search.BeginRows();
    const auto totals = fx.search.EstimateMacroblockRow(&mb, 0, true, nullptr);
    EXPECT_EQ((mb.flags & MBINFO_INTRA) != 0, c.intra) << c.cost << " " << c.activity;
    EXPECT_EQ(totals.intraCount, c.intra ? 1 : 0);
    EXPECT_EQ(totals.costTotal, c.intra ? 1 : 1 + static_cast<int>(c.cost));
  }
}

TEST(HalfPel, LeftEdgeTriesOnlyTheRightNeighbour) {
  Fixture fx;
  fx.search.subPelWord = 1;
  CMotionSearch::Position position{0, 16};
  fx.search.RefineHalfPel(&position, 3000, {0, 0, 48, 48}, fx.forward.data(), 64, -99, -99);
  ASSERT_FALSE(fx.core.halfPelCalls.empty());
  EXPECT_EQ(fx.core.halfPelCalls[0], std::make_pair(1, 32));  // X + 1 only
}

TEST(HalfPel, ExhaustiveWindowSkipsWholePels) {
  Fixture fx;
  fx.search.subPelWord = 0x11000000;  // half-width 1, half-height 1
  fx.search.searchModeWord = 5;       // bit 0: the full-pel pass ran
  CMotionSearch::Position position{16, 16};
  fx.search.RefineHalfPel(&position, 3000, {0, 0, 48, 48}, fx.forward.data(), 64, 0, 0);
  EXPECT_EQ(fx.core.halfPelCalls.size(), 8u);  // 3 x 3 around (32, 32) without the centre
  for (const auto& [x, y] : fx.core.halfPelCalls) EXPECT_TRUE((x & 1) || (y & 1));
}

TEST(SearchField, TiesAndTheFieldMargin) {
  Fixture fx;
  // Every field costs 3000: the first frame candidate wins.
  fx.core.otherwise = 3000;
  CMotionSearch::Position position{8, 8};
  CMotionSearch::Position second{};
  EXPECT_EQ(fx.search.SearchField(fx.forward.data(), 64, {8, 8, 10, 10}, &position, &second), 0);
  EXPECT_EQ(position, (CMotionSearch::Position{8, 8}));
  EXPECT_EQ(second, (CMotionSearch::Position{8, 9}));
  // Best frame 1000 + 3000 at (10, 8); the fields 1000 at (10, 8) and 2744 at (9, 10) beat
  // it by exactly 256: frame prediction stays.
  fx.core.costs[{0, {10, 8}}] = 1000;
  fx.core.costs[{0, {9, 10}}] = 2744;
  position = {8, 8};
  EXPECT_EQ(fx.search.SearchField(fx.forward.data(), 64, {8, 8, 10, 10}, &position, &second), 0);
  // One more below: field prediction.
  fx.core.costs[{0, {9, 10}}] = 2743;
  position = {8, 8};
  EXPECT_EQ(fx.search.SearchField(fx.forward.data(), 64, {8, 8, 10, 10}, &position, &second), 128);
  EXPECT_EQ(position, (CMotionSearch::Position{10, 8}));
  EXPECT_EQ(second, (CMotionSearch::Position{9, 10}));
}

// The real plain core on pictures made for the case.
TEST(Hierarchical4to1, OnePositionWindowAndOddInput) {
  // A horizontal ramp: the decimated block at an odd position lies between two even candidates that
  // cost the same, and the first in scan order is the even part of the input.
  std::vector<uint8_t> plane(64 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) plane[y * 64 + x] = static_cast<uint8_t>(2 * x);
  }
  dsp::CMotionEstimationCore core;
  CMotionSearch search;
  search.core = &core;
  search.stride = 64;
  search.currentMb = plane.data() + 17 * 64 + 17;
  std::vector<uint8_t> decimated(64 * 64 * 2);
  search.decimated = decimated.data();
  search.decimatedStride = 32;
  search.offset2to1 = 0;
  search.offset4to1 = 32 * 32;
  core.DecimatePlane(decimated.data(), plane.data(), 32, 32, 64, 64);
  core.DecimatePlane(decimated.data() + 32 * 32, decimated.data(), 16, 16, 32, 32);
  // A window of one 4:1 position: no 4:1 search; the 2:1 step starts from the input halved
  // and finds (16, 16), the even part of (17, 17): the odd input stays.
  CMotionSearch::Position position{17, 17};
  search.SearchHierarchical4to1({16, 16, 19, 19}, &position);
  EXPECT_EQ(position, (CMotionSearch::Position{17, 17}));
}

// Answers every sub-pel cost set with a set component and cost, and records which shape's
// operation ran with which bias, reference and fraction.
class SetSubPelCore : public dsp::CMotionEstimationCore {
 public:
  struct Answer {
    int component;
    int cost;
  };
  Answer horizontal{};
  Answer vertical{};
  std::vector<std::string> calls;  // shape and axis
  std::vector<int> biases;
  std::vector<const uint8_t*> references;
  int fraction = -1;

  int X(const char* shape, const uint8_t* reference, int* component, int bias) {
    calls.push_back(std::string(shape) + " X");
    biases.push_back(bias);
    references.push_back(reference);
    *component = horizontal.component;
    return horizontal.cost;
  }
  int Y(const char* shape, const uint8_t* reference, int f, int* component, int bias) {
    calls.push_back(std::string(shape) + " Y");
    biases.push_back(bias);
    references.push_back(reference);
    fraction = f;
    *component = vertical.component;
    return vertical.cost;
  }
  int SubPelSadsX16x16(const uint8_t* r, uint16_t*, int* c, int, int b) override {
    return X("16x16", r, c, b);
  }
  int SubPelSadsY16x16(const uint8_t* r, int f, uint16_t*, int* c, int, int b) override {
    return Y("16x16", r, f, c, b);
  }
  int SubPelSadsX8x8(const uint8_t* r, uint16_t*, int* c, int, int b) override {
    return X("8x8", r, c, b);
  }
  int SubPelSadsY8x8(const uint8_t* r, int f, uint16_t*, int* c, int, int b) override {
    return Y("8x8", r, f, c, b);
  }
  int SubPelSadsX16x8(const uint8_t* r, uint16_t*, int* c, int, int b) override {
    return X("16x8", r, c, b);
  }
  int SubPelSadsY16x8(const uint8_t* r, int f, uint16_t*, int* c, int, int b) override {
    return Y("16x8", r, f, c, b);
  }
  int SubPelSadsXHalves(const uint8_t* r, uint16_t*, int* c, int, int b) override {
    return X("8x16", r, c, b);
  }
  int SubPelSadsYHalves(const uint8_t* r, int f, uint16_t*, int* c, int, int b) override {
    return Y("8x16", r, f, c, b);
  }
};

using SubPelMember = int (CMotionSearch::*)(CMotionSearch::Position*, int, const uint8_t*, int,
                                            int, int);

struct SubPelShape {
  const char* shape;
  SubPelMember refine;
  int bonus;  // with T = 40
};

const SubPelShape kSubPelShapes[] = {
    {"16x16", &CMotionSearch::RefineSubPel, 10},
    {"8x8", &CMotionSearch::RefineSubPel8x8, 20},
    {"16x8", &CMotionSearch::RefineSubPel16x8, 20},
    {"8x16", &CMotionSearch::RefineSubPel8x16, 20},
};

// Each shape runs its own pair of cost sets with its bonus (T >> 2 for 16x16, T >> 1 for the
// smaller shapes): the horizontal step at the full-pel position, the vertical one at the chosen
// horizontal fraction; a step is taken only below the running cost, and the returned cost puts
// back the bonus of each component equal to the prediction.
TEST(QuarterPel, EachShapeRunsItsCostSetsWithItsBonus) {
  std::vector<uint8_t> plane(64 * 64);
  for (const SubPelShape& row : kSubPelShapes) {
    SCOPED_TRACE(row.shape);
    const int b = row.bonus;
    SetSubPelCore core;
    CMotionSearch search;
    search.core = &core;
    search.vectorPenalty = 40;
    // Full-pel (10, 10) at cost 100, predicted quarter-pel (41, 40): y matches, c = 100 - b.
    // The horizontal set finds x 41 at 60 (its own bias for the predicted x included): taken.
    // The vertical set at fraction 1 finds y 42 at 70, which is 70 - b against 60 - b: kept.
    core.horizontal = {41, 60};
    core.vertical = {42, 70};
    CMotionSearch::Position position{10, 10};
    const int cost = (search.*row.refine)(&position, 100, plane.data(), 64, 41, 40);
    EXPECT_EQ(position, (CMotionSearch::Position{41, 40}));
    EXPECT_EQ(cost, 60 - b + 2 * b);
    ASSERT_EQ(core.calls, (std::vector<std::string>{std::string(row.shape) + " X",
                                                    std::string(row.shape) + " Y"}));
    EXPECT_EQ(core.biases, (std::vector<int>{b, b}));
    EXPECT_EQ(core.references[0], plane.data() + 10 * 64 + 10);
    EXPECT_EQ(core.references[1], plane.data() + 10 * 64 + 10);
    EXPECT_EQ(core.fraction, 1);

    // Neither step beats the start: the full-pel position stays, its cost unchanged.
    core.calls.clear();
    core.horizontal = {39, 100};
    core.vertical = {41, 100};
    position = {10, 10};
    EXPECT_EQ((search.*row.refine)(&position, 100, plane.data(), 64, -1000, -1000), 100);
    EXPECT_EQ(position, (CMotionSearch::Position{40, 40}));
    EXPECT_EQ(core.fraction, 0);
  }
}

// With the plain core on pictures: the block cut from the reference at a whole-pel position
// stays there at cost 0, and on a flat picture the predicted position wins the tie.
TEST(QuarterPel, EachShapeKeepsAnExactMatchAndTakesThePredictionOnATie) {
  std::vector<uint8_t> textured(64 * 64);
  for (size_t i = 0; i < textured.size(); ++i) {
    textured[i] = static_cast<uint8_t>((i * 7919) >> 3);
  }
  const std::vector<uint8_t> flat(64 * 64, 90);
  for (const SubPelShape& row : kSubPelShapes) {
    SCOPED_TRACE(row.shape);
    dsp::CMotionEstimationCore core;
    CMotionSearch search;
    search.core = &core;
    search.vectorPenalty = 40;
    core.SetBlock(textured.data() + 20 * 64 + 20, 64);
    CMotionSearch::Position position{20, 20};
    EXPECT_EQ((search.*row.refine)(&position, 0, textured.data(), 64, -1000, -1000), 0);
    EXPECT_EQ(position, (CMotionSearch::Position{80, 80}));
    core.SetBlock(flat.data() + 20 * 64 + 20, 64);
    position = {20, 20};
    EXPECT_EQ((search.*row.refine)(&position, 0, flat.data(), 64, 81, 79), 0);
    EXPECT_EQ(position, (CMotionSearch::Position{81, 79}));
  }
}

// Picture set-up: cost constants from the references' quantisers.
class SetupProbe : public CMPEG2MotionEstimator {
 public:
  void Prepare(CPicture* picture) {
    SetCurrentPicture(picture);
    searchParams_ = settings_->searchParams[0];
    SetupPicture();
  }
};

TEST(CostConstants, PenaltyAtQ12AndTheClampedQpIndex) {
  EncoderSettings s = MeSettings(64, 64, 15, 1);
  SetupProbe probe;
  ASSERT_TRUE(probe.Init(&s, nullptr));
  CPicture reference;
  CPicture picture;
  picture.pictureType = PICTURE_P;
  picture.forwardRef = &reference;
  reference.stats.quantiser = 12.0f;
  probe.Prepare(&picture);
  EXPECT_EQ(probe.vectorPenalty, 24);  // 20 + 0 + 4
  EXPECT_EQ(probe.intraThreshold, 53);
  // H.264 with a quantiser far past the table: the QP index is clamped to entry 95.
  s.codec = CODEC_H264;
  SetupProbe h264;
  ASSERT_TRUE(h264.Init(&s, nullptr));
  reference.stats.quantiser = 120.0f;
  h264.Prepare(&picture);
  EXPECT_EQ(h264.QpCostWord(), 39 * 10 + 16);
}

TEST(Borders, RowsInsideTheBorderGetZeroVectors) {
  EncoderSettings s = MeSettings(128, 128, 15, 1);
  s.borderY = 32;
  MeSession session(s, new CMPEG2MotionEstimator());
  const std::vector<uint8_t> texture = MakeTexture(256, 256, 9);
  for (int d = 0; d < 2; ++d) {
    CPicture* p = session.NewPicture(d);
    session.Estimator().DecidePictureType(p, false);
    SampleTexture(texture, 256, 40, 40, 4 * d, 2 * d, p->srcLuma, s.stride, 128, 128);
    session.MeasureActivity(p);
    for (int i = 0; i < s.mbCols * s.mbRows; ++i) p->mbInfo[i].flags = MBINFO_FIELD;
    session.Estimator().ProcessPicture(p);
    p->Release();
  }
  const CodedPicture& p = session.Encoder().coded.at(1);
  for (int row : {0, 1, 6, 7}) {
    for (int col = 0; col < s.mbCols; ++col) {
      const MBInfo& mb = p.mbs[row * s.mbCols + col];
      EXPECT_EQ(mb.flags, 0u);
      EXPECT_EQ(mb.interCost, 0);
      EXPECT_EQ(mb.mv[0].forward, PackedMV{});
    }
  }
  // Searched rows keep the preprocessor's field bit.
  EXPECT_EQ(p.mbs[3 * s.mbCols + 3].flags & MBINFO_FIELD, MBINFO_FIELD);
}


// Records the field search's decimation and window search, and answers a set window position.
class FieldSearchCore : public dsp::CMotionEstimationCore {
 public:
  int decimatedStride = -1;
  const uint8_t* window = nullptr;
  int windowStride = 0, nx = 0, ny = 0, startX = -1, startY = -1;
  int answerX = 0, answerY = 0;
  void DecimateBlock(uint8_t*, const uint8_t*, int s) override { decimatedStride = s; }
  int SearchWindow8x4Stride4(const uint8_t* w, const uint8_t*, int s, int columns, int rows, int* x,
                             int* y) override {
    window = w;
    windowStride = s;
    nx = columns;
    ny = rows;
    startX = *x;
    startY = *y;
    *x = answerX;
    *y = answerY;
    return 0;
  }
};

// The field macroblocks' coarse step: the window in half-size field rows, the start from the
// field-row form of the position, and a moved result back in full-size rows of that parity.
TEST(HierarchicalField, WindowStartAndResultInFieldRows) {
  FieldSearchCore core;
  core.block = reinterpret_cast<const uint8_t*>(0x1000);
  core.stride = 128;  // the field's pitch: 2 x the picture's stride
  std::vector<uint8_t> decimated(64 * 64);
  CMotionSearch search;
  search.core = &core;
  search.decimated = decimated.data();
  search.decimatedStride = 32;
  search.offsetField = 16 * 32;
  // Window x 3 .. 40, y 5 .. 30: decimated x 2 .. 20, y 3 .. 15. Position (13, 11): start
  // x (13 + 1) >> 1 = 7 and field row (11 & 1) + 2 (11 >> 2) = 5, both from the window origin.
  const CMotionSearch::Window window{3, 5, 40, 30};
  core.answerX = 6;
  core.answerY = 5;  // v = 3 + 5 = 8
  CMotionSearch::Position position{13, 11};
  search.SearchHierarchicalField(window, &position);
  EXPECT_EQ(core.decimatedStride, 128);
  EXPECT_EQ(core.window, decimated.data() + 16 * 32 + 3 * 32 + 2);
  EXPECT_EQ(core.windowStride, 32);
  EXPECT_EQ(core.nx, 19);
  EXPECT_EQ(core.ny, 13);
  EXPECT_EQ(core.startX, 5);
  EXPECT_EQ(core.startY, 2);
  // A moved result: x = 2 (2 + 6) = 16, y = (8 & 1) + 4 (8 >> 1) = 16.
  EXPECT_EQ(position, (CMotionSearch::Position{16, 16}));
  // Unmoved: the position stays as it came.
  core.answerX = 5;
  core.answerY = 2;
  position = {13, 11};
  search.SearchHierarchicalField(window, &position);
  EXPECT_EQ(position, (CMotionSearch::Position{13, 11}));
  // The window's last position: v = 3 + 12 = 15 gives y 1 + 4 x 7 = 29, and x 2 (2 + 18) = 40.
  core.answerX = 18;
  core.answerY = 12;
  search.SearchHierarchicalField(window, &position);
  EXPECT_EQ(position, (CMotionSearch::Position{40, 29}));
}

}  // namespace
}  // namespace orx::venc::test
