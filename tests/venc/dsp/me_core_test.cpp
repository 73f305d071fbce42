// The motion-estimation core: the owners' settings, block costs against naive sums, the
// documented edge cases of the refinements, sub-pel cost sets, window searches and
// decimations, and the SSE3 class against the SSE2 class at every reference alignment. The
// harness (check/me_*_checks.cpp) compares every slot on random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "tests/venc/dsp/model/motion_models.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"
#include "venc/dsp/me_choices.h"
#include "venc/dsp/motion_estimation_core_variants.h"

namespace orx::dsp {
namespace {

using model::Avg;

struct NamedCore {
  std::string name;
  std::unique_ptr<CMotionEstimationCore> core;
  bool plain = false;
};

// The plain class and every variant the processor runs.
std::vector<NamedCore> AllCores() {
  std::vector<NamedCore> cores;
  cores.push_back({"plain", std::make_unique<CMotionEstimationCore>(), true});
  for (const check::Variant& v : check::RunnableVariants()) {
    CMotionEstimationCore* core = nullptr;
    EXPECT_TRUE(CreateMotionEstimationCore(&core, v.features));
    cores.push_back({v.name, std::unique_ptr<CMotionEstimationCore>(core)});
  }
  return cores;
}

// A reference picture and a current picture of 64 x 64 samples, stride 64, 16-byte aligned.
struct Pictures {
  static constexpr int kStride = 64;
  alignas(16) uint8_t reference[kStride * 64];
  alignas(16) uint8_t current[kStride * 64];
  explicit Pictures(unsigned seed) {
    std::mt19937 rng(seed);
    for (auto& v : reference) v = static_cast<uint8_t>(rng());
    for (auto& v : current) v = static_cast<uint8_t>(rng());
  }
  const uint8_t* Ref(int row, int column) const { return reference + row * kStride + column; }
  uint8_t* Ref(int row, int column) { return reference + row * kStride + column; }
  const uint8_t* Block() const { return current + 16 * kStride + 16; }
};

uint32_t NaiveSad(const uint8_t* block, const uint8_t* reference, int stride, int width,
                  int rows) {
  uint32_t sum = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) sum += std::abs(reference[y * stride + x] - block[y * stride + x]);
  }
  return sum;
}

TEST(MotionEstimationCore, SettersFollowTheOwnersTable) {
  CMotionEstimationCore core;
  alignas(16) uint8_t picture[64 * 32];
  const uint8_t* p = picture + 64;
  struct Case {
    const char* name;
    void (CMotionEstimationCore::*set)(const uint8_t*, int);
    const uint8_t* block;
    int stride, rows;
  } cases[] = {
      {"SetBlock", &CMotionEstimationCore::SetBlock, p, 64, 16},
      {"SetTopHalf", &CMotionEstimationCore::SetTopHalf, p, 64, 8},
      {"SetBottomHalf", &CMotionEstimationCore::SetBottomHalf, p + 8 * 64, 64, 8},
      {"SetRightHalf", &CMotionEstimationCore::SetRightHalf, p + 8, 64, 16},
      {"SetFieldTop", &CMotionEstimationCore::SetFieldTop, p, 128, 8},
      {"SetFieldBottom", &CMotionEstimationCore::SetFieldBottom, p + 64, 128, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (core.*c.set)(p, 64);
    EXPECT_EQ(core.block, c.block);
    EXPECT_EQ(core.stride, c.stride);
    EXPECT_EQ(core.rows, c.rows);
  }
  core.SetBlock(picture, 16);  // the packed setting
  EXPECT_EQ(core.stride, 16);
  EXPECT_EQ(core.rows, 16);
  const int clamp[][2] = {{-1, 0}, {0, 0}, {128, 128}, {255, 255}, {256, 255}, {-70000, 0}, {99999, 255}};
  for (auto& c : clamp) EXPECT_EQ(CMotionEstimationCore::ClampToByte(c[0]), c[1]) << c[0];
}

// Every SAD slot against a naive sum, for the whole macroblock, halves and fields.
TEST(MotionEstimationCore, SadsEqualNaiveSums) {
  Pictures pictures(1);
  for (auto& [name, core, plain] : AllCores()) {
    SCOPED_TRACE(name);
    using Set = void (CMotionEstimationCore::*)(const uint8_t*, int);
    for (Set set : {&CMotionEstimationCore::SetBlock, &CMotionEstimationCore::SetTopHalf,
                    &CMotionEstimationCore::SetBottomHalf, &CMotionEstimationCore::SetFieldTop,
                    &CMotionEstimationCore::SetFieldBottom}) {
      (core.get()->*set)(pictures.Block(), Pictures::kStride);
      for (int column = 1; column < 16; column += 5) {
        const uint8_t* ref = pictures.Ref(20, column);
        const uint32_t sad16 = NaiveSad(core->block, ref, core->stride, 16, core->rows);
        EXPECT_EQ(core->Sad16(ref), sad16);
        EXPECT_EQ(core->Sad16Prefetch(ref), sad16);
        EXPECT_EQ(core->SadHalfPel16(ref, 0, 0), sad16);
        EXPECT_EQ(core->Sad8(ref), NaiveSad(core->block, ref, core->stride, 8, core->rows));
      }
    }
    // A field setting compares every second reference row.
    core->SetFieldBottom(pictures.Block(), Pictures::kStride);
    uint32_t field = 0;
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 16; ++c) {
        field += std::abs(pictures.Ref(20 + 2 * r, 3)[c] -
                          pictures.Block()[Pictures::kStride * (2 * r + 1) + c]);
      }
    }
    EXPECT_EQ(core->Sad16(pictures.Ref(20, 3)), field);
    // The packed setting; slot 5 reads 16 rows of 16 bytes whatever the fields hold in SSE2.
    alignas(16) uint8_t packedA[256], packedB[256];
    std::memcpy(packedA, pictures.reference, 256);
    std::memcpy(packedB, pictures.current, 256);
    core->SetBlock(packedA, 16);
    const uint32_t packed = NaiveSad(packedA, packedB, 16, 16, 16);
    EXPECT_EQ(core->Sad16Packed(packedB), packed);
    if (!plain) {
      core->stride = 64;
      core->rows = 8;
      EXPECT_EQ(core->Sad16Packed(packedB), packed) << "fields not read";
    }
    // Equal blocks cost nothing.
    core->SetBlock(pictures.Block(), Pictures::kStride);
    EXPECT_EQ(core->Sad16(pictures.Block()), 0u);
    EXPECT_EQ(core->Sad8(pictures.Block()), 0u);
    EXPECT_EQ(core->SadHalfPel16(pictures.Block(), 0, 0), 0u);
    core->SetBlock(packedA, 16);
    EXPECT_EQ(core->Sad16Packed(packedA), 0u);
  }
}

TEST(MotionEstimationCore, HalfSampleCostsAgainstThePlainClass) {
  Pictures pictures(2);
  CMotionEstimationCore plain;
  for (auto& [name, core, isPlain] : AllCores()) {
    if (isPlain) continue;
    SCOPED_TRACE(name);
    for (int rows : {16, 8}) {
      core->SetBlock(pictures.Block(), Pictures::kStride);
      core->rows = rows;
      plain.SetBlock(pictures.Block(), Pictures::kStride);
      plain.rows = rows;
      for (int column = 0; column < 16; ++column) {
        const uint8_t* ref = pictures.Ref(18, 2 + column);
        // One flag: exact. Any non-zero value is a set flag.
        EXPECT_EQ(core->SadHalfPel16(ref, 1, 0), plain.SadHalfPel16(ref, 1, 0));
        EXPECT_EQ(core->SadHalfPel16(ref, 0, 1), plain.SadHalfPel16(ref, 0, 1));
        EXPECT_EQ(core->SadHalfPel16(ref, 5, 0), core->SadHalfPel16(ref, 1, 0));
        EXPECT_EQ(core->SadHalfPel16(ref, 0, -1), core->SadHalfPel16(ref, 0, 1));
        // Both flags: the two-step value, at most 1 above the plain one per pixel.
        const uint32_t diagonal = core->SadHalfPel16(ref, 1, 1);
        EXPECT_EQ(diagonal, model::SadHalfPel16(core->block, core->stride, rows, ref, 1, 1));
        const int difference =
            static_cast<int>(diagonal) - static_cast<int>(plain.SadHalfPel16(ref, 1, 1));
        EXPECT_LE(std::abs(difference), 16 * rows);
        // The bidirectional cost is symmetric, and with equal positions and no flags it is Sad16.
        const uint8_t* other = pictures.Ref(20, 5 + column % 7);
        for (int flags = 0; flags < 16; ++flags) {
          const int a = flags >> 3 & 1, b = flags >> 2 & 1, c = flags >> 1 & 1, d = flags & 1;
          EXPECT_EQ(core->SadBidirHalfPel16(ref, other, a, b, c, d),
                    core->SadBidirHalfPel16(other, ref, c, d, a, b));
        }
        EXPECT_EQ(core->SadBidirHalfPel16(ref, ref, 0, 0, 0, 0), core->Sad16(ref));
      }
    }
  }
  // Reference samples 0, 0 above 0, 1: the two-step diagonal half predicts 1 where the
  // four-sample mean predicts 0.
  alignas(16) uint8_t zero[16 * 17] = {};
  alignas(16) uint8_t ref[16 * 18] = {};
  ref[16 + 1] = 1;
  for (auto& [name, core, isPlain] : AllCores()) {
    core->SetBlock(zero, 16);
    EXPECT_EQ(core->SadHalfPel16(ref, 1, 1), isPlain ? 0u : 4u) << name;
  }
}

TEST(MotionEstimationCore, TransformedAndQuarterSampleCosts) {
  Pictures pictures(3);
  for (auto& [name, core, plain] : AllCores()) {
    SCOPED_TRACE(name);
    core->SetBlock(pictures.Block(), Pictures::kStride);
    // Identical blocks: 0; one difference of 1: 16 coefficients of magnitude 1, (16 + 1) >> 1.
    alignas(16) uint8_t copy[Pictures::kStride * 16];
    for (int r = 0; r < 16; ++r) {
      std::memcpy(copy + r * Pictures::kStride, pictures.Block() + r * Pictures::kStride, 16);
    }
    EXPECT_EQ(core->Satd16(copy), 0u);
    copy[5 * Pictures::kStride + 6] ^= 1;
    EXPECT_EQ(core->Satd16(copy), 8u);
    EXPECT_EQ(core->Satd8x16(copy), 8u);
    // Satd8x16 always covers 16 rows.
    core->rows = 8;
    copy[12 * Pictures::kStride + 2] ^= 1;
    EXPECT_EQ(core->Satd8x16(copy), 16u);
    EXPECT_EQ(core->Satd16(copy), 8u);
    core->rows = 16;
    const uint8_t* ref = pictures.Ref(20, 9);
    EXPECT_EQ(core->QuarterPelSads16(ref, 0, 0), core->Sad16(ref));
    CMotionEstimationCore reference;
    reference.SetBlock(core->block, Pictures::kStride);
    EXPECT_EQ(core->QuarterPelSads16(ref, 2, 0), reference.SadHalfPel16(ref, 1, 0));
    // Position indexes above 3 give 0.
    EXPECT_EQ(core->QuarterPelSads16(ref, 1, 4), 0u);
    EXPECT_EQ(core->QuarterPelSads8(ref, 1, 4), 0u);
    EXPECT_EQ(core->SatdSubPel(ref, 1, 4), 0u);
    // Rows of 0 give 0.
    core->rows = 0;
    if (plain) {
      EXPECT_EQ(core->Satd16(ref), 0u);
      EXPECT_EQ(core->Sad16(ref), 0u);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Refinements.

TEST(MotionEstimationCore, RefinementEdgeCases) {
  // A reference of columns 0, 10, 0, 10, ...: both horizontal half positions average 5, so the
  // left and right costs are equal for a current block of 5s.
  alignas(16) uint8_t current[16 * 16];
  std::memset(current, 5, sizeof current);
  alignas(16) uint8_t ref[16 * 20];
  for (int i = 0; i < static_cast<int>(sizeof ref); ++i) ref[i] = (i % 2) ? 10 : 0;
  const uint8_t* position = ref + 16 + 2;
  for (auto& [name, core, plain] : AllCores()) {
    SCOPED_TRACE(name);
    core->SetBlock(current, 16);
    int direction = 0;
    EXPECT_EQ(core->RefineHalfPelHorz(position, &direction, 0, 0), 0);
    EXPECT_EQ(direction, -1);
    // Equal costs, predicted +1 with bias 1: +1 and the cost minus 1.
    EXPECT_EQ(core->RefineHalfPelHorz(position, &direction, 1, 1), -1);
    EXPECT_EQ(direction, 1);
    // A bias larger than the SADs gives a negative cost.
    EXPECT_LT(core->RefineHalfPelVert(position, 1, &direction, -1, 100000), 0);
    EXPECT_EQ(direction, -1);
    EXPECT_EQ(core->RefineFullPelVert(position, &direction), 16 * 16 * 5);
    EXPECT_EQ(direction, -1);
  }
  Pictures pictures(4);
  for (auto& [name, core, plain] : AllCores()) {
    core->SetBlock(pictures.Block(), Pictures::kStride);
    for (int column = 1; column < 17; ++column) {
      int d1 = 0, d7 = 0;
      const uint8_t* ref = pictures.Ref(20, column);
      EXPECT_EQ(core->RefineHalfPelVert(ref, 7, &d7, 1, 30), core->RefineHalfPelVert(ref, 1, &d1, 1, 30))
          << name;
      EXPECT_EQ(d7, d1);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Sub-pel cost sets.

TEST(MotionEstimationCore, SubPelChoice) {
  // Totals 100, 90, 95, 100 at -2, -1, +1, +2; *xq 8, predicted 10, bias 20: the costs are
  // 100, 90, 95, 80 and +2 wins.
  alignas(16) uint16_t sums[16] = {100, 90, 95, 100};
  int component = 8;
  EXPECT_EQ(me::ChooseWithBias(sums, 1, &component, 10, 20), 80);
  EXPECT_EQ(component, 10);
  // Equal totals without a bias: -2.
  uint16_t equal[4] = {7, 7, 7, 7};
  component = 8;
  EXPECT_EQ(me::ChooseWithBias(equal, 1, &component, 0, 0), 7);
  EXPECT_EQ(component, 6);
  // A bias equal to the lead of the lowest other total wins only from an earlier position.
  uint16_t lead[4] = {50, 60, 60, 60};
  component = 0;
  EXPECT_EQ(me::ChooseWithBias(lead, 1, &component, 2, 10), 50);  // +2 ties -2 and loses
  EXPECT_EQ(component, -2);
  uint16_t later[4] = {60, 60, 50, 60};
  component = 0;
  EXPECT_EQ(me::ChooseWithBias(later, 1, &component, -1, 10), 50);  // -1 ties +1 and wins
  EXPECT_EQ(component, -1);
}

// The bilinear sub-pel values written out directly, per 8x8 part and position.
void NaiveSubPelSums(const uint8_t* block, int stride, const uint8_t* ref, int width, int height,
                     int fraction, bool vertical, uint32_t* sums) {
  std::fill(sums, sums + 16, 0u);
  auto h = [&](int y, int x) {  // the row at the horizontal fraction
    const uint8_t* p = ref + y * stride + x;
    switch (fraction) {
      case 0: return int{p[0]};
      case 1: return Avg(Avg(p[0], p[1]), p[0]);
      case 2: return Avg(p[0], p[1]);
      default: return Avg(Avg(p[0], p[1]), p[1]);
    }
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int v[4];
      if (vertical) {
        const int u = h(y - 1, x), t = h(y, x), d = h(y + 1, x);
        v[0] = Avg(u, t), v[1] = Avg(t, Avg(u, t)), v[2] = Avg(t, Avg(t, d)), v[3] = Avg(t, d);
      } else {
        const uint8_t* p = ref + y * stride + x;
        v[0] = Avg(p[-1], p[0]), v[1] = Avg(Avg(p[-1], p[0]), p[0]);
        v[2] = Avg(Avg(p[0], p[1]), p[0]), v[3] = Avg(p[0], p[1]);
      }
      const int part = (y / 8) * (width / 8) + x / 8;
      for (int k = 0; k < 4; ++k) sums[4 * part + k] += std::abs(v[k] - block[y * stride + x]);
    }
  }
}

TEST(MotionEstimationCore, SubPelSetsEqualTheirFormulas) {
  Pictures pictures(5);
  using X = int (CMotionEstimationCore::*)(const uint8_t*, uint16_t*, int*, int, int);
  using Y = int (CMotionEstimationCore::*)(const uint8_t*, int, uint16_t*, int*, int, int);
  struct Shape {
    X x;
    Y y;
    int width, height;
  } shapes[] = {
      {&CMotionEstimationCore::SubPelSadsX16x16, &CMotionEstimationCore::SubPelSadsY16x16, 16, 16},
      {&CMotionEstimationCore::SubPelSadsX16x8, &CMotionEstimationCore::SubPelSadsY16x8, 16, 8},
      {&CMotionEstimationCore::SubPelSadsXHalves, &CMotionEstimationCore::SubPelSadsYHalves, 8, 16},
      {&CMotionEstimationCore::SubPelSadsX8x8, &CMotionEstimationCore::SubPelSadsY8x8, 8, 8},
  };
  for (auto& [name, core, plain] : AllCores()) {
    core->SetBlock(pictures.Block(), Pictures::kStride);
    for (const Shape& shape : shapes) {
      const int parts = shape.width / 8 * (shape.height / 8);
      for (int fraction = 0; fraction < 4; ++fraction) {
        for (bool vertical : {false, true}) {
          SCOPED_TRACE(testing::Message() << name << " " << shape.width << "x" << shape.height
                                          << (vertical ? " Y" : " X") << " fraction "
                                          << fraction);
          const uint8_t* ref = pictures.Ref(20, 3 + fraction);
          uint32_t expected[16];
          NaiveSubPelSums(core->block, Pictures::kStride, ref, shape.width, shape.height,
                          fraction, vertical, expected);
          alignas(16) uint16_t sums[16];
          std::fill(sums, sums + 16, 0xBEEF);
          int component = 12;
          const int cost = vertical ? (core.get()->*shape.y)(ref, fraction, sums, &component, 13, 7)
                                    : (core.get()->*shape.x)(ref, sums, &component, 13, 7);
          int32_t costs[4];
          for (int k = 0; k < 4; ++k) {
            costs[k] = 0;
            for (int part = 0; part < parts; ++part) {
              EXPECT_EQ(sums[4 * part + k], expected[4 * part + k]) << "part " << part << " k " << k;
              costs[k] += expected[4 * part + k];
            }
          }
          costs[2] -= 7;  // 12 + 1 is the predicted position
          int best = 0;
          for (int k = 1; k < 4; ++k) best = costs[k] < costs[best] ? k : best;
          EXPECT_EQ(cost, costs[best]);
          EXPECT_EQ(component, 12 + me::kSubPelOffsets[best]);
          // The sets write their own entries only (slot 25 also clears four more).
          const int written = parts == 1 && !vertical ? 8 : 4 * parts;
          for (int i = 4 * parts; i < 16; ++i) {
            EXPECT_EQ(sums[i], i < written ? 0 : 0xBEEF) << "entry " << i;
          }
        }
      }
    }
  }
}

TEST(MotionEstimationCore, SubPelSetsOnAFlatReference) {
  // Reference equal to the current block everywhere: every total 0, -2 chosen with cost 0, or
  // the predicted position with minus the bias.
  alignas(16) uint8_t flat[64 * 40];
  std::memset(flat, 77, sizeof flat);
  const uint8_t* ref = flat + 8 * 64 + 16;
  for (auto& [name, core, plain] : AllCores()) {
    SCOPED_TRACE(name);
    core->SetBlock(flat + 16 * 64 + 16, 64);
    alignas(16) uint16_t sums[16];
    int component = 20;
    EXPECT_EQ(core->SubPelSadsX16x16(ref, sums, &component, 0, 9), 0);
    EXPECT_EQ(component, 18);
    component = 20;
    EXPECT_EQ(core->SubPelSadsY16x16(ref, 2, sums, &component, 21, 9), -9);
    EXPECT_EQ(component, 21);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(sums[i], 0) << i;
    // The ...WithCosts members: every position's cost added (X), or only the predicted one's
    // (Y).
    const int32_t costs[4] = {5, 3, 4, 3};
    component = 20;
    EXPECT_EQ(core->SubPelSadsX16x16WithCosts(ref, sums, &component, 99, costs), 3);
    EXPECT_EQ(component, 19);
    component = 20;
    EXPECT_EQ(core->SubPelSadsY16x16WithCosts(ref, 0, sums, &component, 18, costs), 0);
    EXPECT_EQ(component, 19);
    component = 20;
    const int32_t negative[4] = {0, 0, -6, 0};
    EXPECT_EQ(core->SubPelSadsY16x16WithCosts(ref, 0, sums, &component, 21, negative), -6);
    EXPECT_EQ(component, 21);
    // The VC-1 sets on a flat reference.
    component = 20;
    EXPECT_EQ(core->SubPelSadsXVc1(ref, sums, &component, 22, 4), -4);
    EXPECT_EQ(component, 22);
    component = 20;
    EXPECT_EQ(core->SubPelSadsYVc1(ref, 3, sums, &component, 0, 0), 0);
    EXPECT_EQ(component, 18);
  }
}

// ---------------------------------------------------------------------------------------------
// Window searches. Blocks are all 10; the plane is 0 except where a candidate is planted, so
// every unplanted candidate costs 10 per compared sample.

enum class Search { k8x4Stride2 = 15, k4x4Threshold = 16, k8x4Stride4 = 17, kRowPairs = 19, kThreshold2 = 38 };

struct Window {
  Search search;
  int stride = 48;
  std::vector<uint8_t> plane = std::vector<uint8_t>(48 * 40, 0);
  alignas(16) uint8_t block[64];
  Window(Search s, int planeStride = 48) : search(s), stride(planeStride) {
    plane.assign(stride * 40, 0);
    std::memset(block, 10, sizeof block);
  }
  // Compared samples of candidate (cx, cy): rows and columns.
  int Width() const { return search == Search::k4x4Threshold || search == Search::kThreshold2 ? 4 : 8; }
  int RowStep() const { return search == Search::k8x4Stride2 ? 2 : search == Search::k8x4Stride4 ? 4 : 1; }
  // Makes the candidate cost `cost` (10 per sample that stays 0).
  void Plant(int cx, int cy, int cost) {
    int remaining = cost;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < Width(); ++c) {
        const int d = std::min(10, remaining);
        remaining -= d;
        plane[(cy + r * RowStep()) * stride + cx + c] = static_cast<uint8_t>(10 - d);
      }
    }
  }
  int Run(CMotionEstimationCore& core, int nx, int ny, int* x, int* y, int threshold = 32) {
    const uint8_t* w = plane.data();
    switch (search) {
      case Search::k8x4Stride2: return core.SearchWindow8x4Stride2(w, block, stride, nx, ny, x, y);
      case Search::k4x4Threshold:
        return core.SearchWindow4x4Threshold(w, block, stride, nx, ny, x, y, threshold);
      case Search::k8x4Stride4: return core.SearchWindow8x4Stride4(w, block, stride, nx, ny, x, y);
      case Search::kRowPairs: return core.SearchWindowRowPairs(w, block, stride, nx, ny, x, y, threshold);
      case Search::kThreshold2:
        return core.SearchWindowThreshold2(w, block, stride, nx, ny, x, y, threshold);
    }
    return -1;
  }
};

// The running classes' searches (the plain class defines other searches for these slots).
std::vector<NamedCore> VariantCores() {
  std::vector<NamedCore> cores = AllCores();
  cores.erase(cores.begin());
  return cores;
}

struct Position {
  int x, y;
};

TEST(MotionEstimationCore, WindowSearchPredictorRules) {
  for (auto& [name, core, plain] : VariantCores()) {
    SCOPED_TRACE(name);
    for (Search s : {Search::k8x4Stride2, Search::k8x4Stride4}) {
      SCOPED_TRACE(static_cast<int>(s));
      // A predictor of cost 16 is accepted at once: slot 15 answers 0, slot 17 the cost.
      Window w(s);
      w.Plant(3, 2, 16);
      w.Plant(5, 1, 0);
      int x = 3, y = 2;
      EXPECT_EQ(w.Run(*core, 8, 4, &x, &y), s == Search::k8x4Stride2 ? 0 : 16);
      EXPECT_EQ(x, 3);
      EXPECT_EQ(y, 2);
      // Cost 17 keeps its place against 13 (not below 17 - 4) and loses to 12.
      Window keep(s);
      keep.Plant(0, 0, 17);
      keep.Plant(6, 3, 13);
      x = y = 0;
      EXPECT_EQ(keep.Run(*core, 8, 4, &x, &y), 13);
      EXPECT_EQ(x, 0);
      EXPECT_EQ(y, 0);
      keep.Plant(6, 3, 12);
      EXPECT_EQ(keep.Run(*core, 8, 4, &x, &y), 12);
      EXPECT_EQ(x, 6);
      EXPECT_EQ(y, 3);
    }
    for (Search s : {Search::k4x4Threshold, Search::kRowPairs, Search::kThreshold2}) {
      SCOPED_TRACE(static_cast<int>(s));
      // Threshold 32: a predictor of cost 32 is accepted with its cost; one of 40 gives way
      // only to a candidate below 40 - 16 = 24.
      Window w(s);
      w.Plant(2, 2, 32);
      w.Plant(10, 1, 0);
      int x = 2, y = 2;
      EXPECT_EQ(w.Run(*core, 12, 4, &x, &y), 32);
      EXPECT_EQ(x, 2);
      w.Plant(2, 2, 40);
      w.Plant(10, 1, 24);
      EXPECT_EQ(w.Run(*core, 12, 4, &x, &y), 24);
      EXPECT_EQ(x, 2);
      EXPECT_EQ(y, 2);
      w.Plant(10, 1, 23);
      EXPECT_EQ(w.Run(*core, 12, 4, &x, &y), 23);
      EXPECT_EQ(x, 10);
      EXPECT_EQ(y, 1);
      // Threshold 0: only an exact match is accepted, and the head start is 0.
      Window zero(s);
      zero.Plant(1, 1, 0);
      x = y = 1;
      EXPECT_EQ(zero.Run(*core, 6, 4, &x, &y, 0), 0);
      zero.Plant(1, 1, 1);
      zero.Plant(4, 2, 0);
      EXPECT_EQ(zero.Run(*core, 6, 4, &x, &y, 0), 0);
      EXPECT_EQ(x, 4);
      EXPECT_EQ(y, 2);
      // Candidates that cost as much as the predictor's biased cost (here with no head start)
      // leave the predictor in place; every candidate of an empty plane costs 10 per sample.
      Window flat(s);
      const int unplanted = 10 * 4 * flat.Width();
      x = 2, y = 1;
      EXPECT_EQ(flat.Run(*core, 6, 4, &x, &y, 2 * unplanted), unplanted) << "accepted";
      EXPECT_EQ(flat.Run(*core, 6, 4, &x, &y, 0), unplanted);
      EXPECT_EQ(x, 2);
      EXPECT_EQ(y, 1);
    }
  }
}

TEST(MotionEstimationCore, PairScanTies) {
  struct Case {
    Position a, b;
    Position threshold4x4, threshold2;
  } cases[] = {
      {{2, 0}, {1, 1}, {1, 1}, {1, 1}},
      {{1, 1}, {3, 1}, {3, 1}, {1, 1}},
      {{1, 0}, {3, 0}, {1, 0}, {1, 0}},
  };
  for (auto& [name, core, plain] : VariantCores()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "ties at (" << c.a.x << "," << c.a.y << ") and (" << c.b.x << "," << c.b.y
                                      << ")");
      for (Search s : {Search::k4x4Threshold, Search::kThreshold2}) {
        Window w(s);
        w.Plant(c.a.x, c.a.y, 0);
        w.Plant(c.b.x, c.b.y, 0);
        int x = 5, y = 3;  // an unplanted predictor
        EXPECT_EQ(w.Run(*core, 6, 4, &x, &y), 0);
        const Position want = s == Search::k4x4Threshold ? c.threshold4x4 : c.threshold2;
        EXPECT_EQ(x, want.x) << name << " slot " << static_cast<int>(s);
        EXPECT_EQ(y, want.y) << name << " slot " << static_cast<int>(s);
      }
    }
  }
}

TEST(MotionEstimationCore, WindowShapes) {
  for (auto& [name, core, plain] : VariantCores()) {
    SCOPED_TRACE(name);
    for (Search s : {Search::k4x4Threshold, Search::kThreshold2}) {
      // Height 3 is scanned in pairs and so compares row 3; height 1 compares rows 0 and 1.
      Window w(s);
      w.Plant(2, 3, 0);
      int x = 0, y = 0;
      EXPECT_EQ(w.Run(*core, 4, 3, &x, &y), 0);
      EXPECT_EQ(y, 3);
      Window one(s);
      one.Plant(0, 1, 0);
      x = y = 0;
      EXPECT_EQ(one.Run(*core, 1, 1, &x, &y), 0);
      EXPECT_EQ(x, 0);
      EXPECT_EQ(y, 1);
      // The pair offset: a window wider than the stride reports an upper candidate at
      // x >= stride on the next row (the same samples), so x stays below the stride.
      Window narrow(s, 12);
      narrow.Plant(13, 0, 0);
      x = 0, y = 4;
      EXPECT_EQ(narrow.Run(*core, 16, 4, &x, &y), 0);
      EXPECT_EQ(x, 1);
      EXPECT_EQ(y, 1);
    }
    for (Search s : {Search::k8x4Stride2, Search::kRowPairs}) {
      // Width 1 and height 1: the one candidate.
      Window w(s);
      w.Plant(0, 0, 0);
      int x = 0, y = 0;
      EXPECT_EQ(w.Run(*core, 1, 1, &x, &y, 0), 0);
      EXPECT_EQ(x, 0);
      EXPECT_EQ(y, 0);
    }
    // Slot 17 skips column 1 when column 0 does not improve, and compares it when it does.
    // The predictor (0, 1) costs 20, so the best starts at 16; column 0, overlapping the
    // perfect match at column 1, costs 40.
    Window sparse(Search::k8x4Stride4);
    sparse.Plant(1, 0, 0);
    sparse.Plant(0, 1, 20);
    int x = 0, y = 1;
    EXPECT_EQ(sparse.Run(*core, 3, 1, &x, &y), 16);
    EXPECT_EQ(x, 0) << "column 1 never compared";
    EXPECT_EQ(y, 1);
    sparse.Plant(0, 0, 5);  // column 0 improves now; column 1 still matches exactly
    EXPECT_EQ(sparse.Run(*core, 3, 1, &x, &y), 0);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 0);
  }
  // The plain class has no row-pair search.
  CMotionEstimationCore plainCore;
  Window w(Search::kRowPairs);
  int x = 3, y = 4;
  EXPECT_EQ(w.Run(plainCore, 4, 4, &x, &y), 65535);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(y, 4);
}

// ---------------------------------------------------------------------------------------------
// Decimation.

TEST(MotionEstimationCore, DecimationEdgeCases) {
  for (auto& [name, core, plain] : AllCores()) {
    SCOPED_TRACE(name);
    alignas(16) uint8_t source[16 * 32];
    alignas(16) uint8_t block[64], quadrants[64], halves[32];
    // A uniform macroblock decimates to its value in every form.
    for (int v : {0, 1, 128, 255}) {
      std::memset(source, v, sizeof source);
      core->DecimateBlock(block, source, 32);
      core->DecimateQuadrants(quadrants, source, 32);
      core->DecimateBlockHorz(halves, block);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], v);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(quadrants[i], v);
      for (int i = 0; i < 32; ++i) ASSERT_EQ(halves[i], v);
      core->DecimateBlockVert(halves, block);
      for (int i = 0; i < 32; ++i) ASSERT_EQ(halves[i], v);
    }
    // 2x2 groups (0, 1 over 1, 1): 1 either way; (0, 0 over 1, 0): 0 plain, 1 two-step; and
    // (0, 0 over 1, 3): 1 plain, 2 two-step; (0, 0 over 0, 1): 0 plain, 1 two-step.
    struct Group {
      uint8_t a, b, c, d;
      int plainValue, twoStep;
    } groups[] = {{0, 1, 1, 1, 1, 1}, {0, 0, 1, 0, 0, 1}, {0, 0, 1, 3, 1, 2}, {0, 0, 0, 1, 0, 1}};
    for (const Group& g : groups) {
      for (int r = 0; r < 16; r += 2) {
        for (int c = 0; c < 16; c += 2) {
          source[r * 16 + c] = g.a, source[r * 16 + c + 1] = g.b;
          source[(r + 1) * 16 + c] = g.c, source[(r + 1) * 16 + c + 1] = g.d;
        }
      }
      core->DecimateBlock(block, source, 16);
      core->DecimateQuadrants(quadrants, source, 16);
      uint8_t plane[8];
      core->DecimatePlane(plane, source, 8, 1, 16, 0);
      const int want = plain ? g.plainValue : g.twoStep;
      EXPECT_EQ(block[0], want);
      EXPECT_EQ(quadrants[63], want);
      EXPECT_EQ(plane[7], want);
    }
    // The quadrant layout against DecimateBlock; DecimateBlockVert's halves.
    std::mt19937 rng(8);
    for (auto& v : source) v = static_cast<uint8_t>(rng());
    core->DecimateBlock(block, source, 32);
    EXPECT_EQ(core->DecimateQuadrants(quadrants, source, 32), 4);
    EXPECT_EQ(0, std::memcmp(quadrants, block, 4));
    EXPECT_EQ(0, std::memcmp(quadrants + 16, block + 4, 4));
    EXPECT_EQ(0, std::memcmp(quadrants + 32, block + 32, 4));
    core->DecimateBlockVert(halves, block);
    EXPECT_EQ(halves[16], Avg(block[4], block[12]));
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(halves[16 * (i / 4) + 4 * j + i % 4], Avg(block[16 * j + i], block[16 * j + 8 + i]));
      }
    }
    // DecimateHorz reads 16 consecutive samples for width 4 and rows 2, whatever its fifth
    // argument holds.
    uint8_t horizontal[2][9];
    std::memset(horizontal, 0xA5, sizeof horizontal);
    core->DecimateHorz(horizontal[0], source, 4, 2, 0);
    core->DecimateHorz(horizontal[1], source, 4, 2, 12345);
    EXPECT_EQ(0, std::memcmp(horizontal[0], horizontal[1], 9));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(horizontal[0][i], Avg(source[2 * i], source[2 * i + 1]));
    EXPECT_EQ(horizontal[0][8], 0xA5);
  }
}

// Slots 31-35 on widths 1-40 and rows 1-5: every output row computed on its own into a buffer
// with a canary after it, and the whole plane at once with a canary after the last row.
TEST(MotionEstimationCore, PlaneDecimationWritesExactlyWidthSamplesPerRow) {
  std::mt19937 rng(9);
  std::vector<uint8_t> source(2 * 100 * 4 * 6 + 64);
  for (auto& v : source) v = static_cast<uint8_t>(rng());
  enum Form { kPlane = 31, kFourByTwo = 32, kAlt = 33, kHorz = 34, kVert = 35 };
  for (NamedCore& named : AllCores()) {
    const std::string& name = named.name;
    CMotionEstimationCore* core = named.core.get();
    const bool plain = named.plain;
    for (Form form : {kPlane, kFourByTwo, kAlt, kHorz, kVert}) {
      for (int width = 1; width <= 40; ++width) {
        for (int rows = 1; rows <= 5; ++rows) {
          SCOPED_TRACE(testing::Message() << name << " slot " << form << " width " << width
                                          << " rows " << rows);
          const int offset = (width * 3 + rows) % 16;
          const int stride = (form == kVert ? width : 2 * width) + 5;
          const int skip = form == kVert ? 2 * stride - width : 2 * stride - 2 * width;
          const uint8_t* s = source.data() + offset;
          auto run = [&](uint8_t* d, const uint8_t* src, int h) {
            switch (form) {
              case kPlane: core->DecimatePlane(d, src, width, h, stride, skip); break;
              case kFourByTwo: core->DecimatePlane4x2(d, src, width, h, stride); break;
              case kAlt: core->DecimatePlaneAlt(d, src, width, h, stride, skip); break;
              case kHorz: core->DecimateHorz(d, src, width, h, stride); break;
              case kVert: core->DecimateVert(d, src, width, h, stride, skip); break;
            }
          };
          // Expected values from the formulas.
          std::vector<uint8_t> expected(width * rows);
          for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < width; ++i) {
              int v = 0;
              const uint8_t* r0 = s + (form == kFourByTwo ? 4 * j * stride
                                       : form == kHorz   ? 2 * width * j
                                                         : 2 * j * stride);
              const uint8_t* r1 = r0 + stride;
              switch (form) {
                case kPlane:
                case kAlt:
                  v = plain ? (r0[2 * i] + r0[2 * i + 1] + r1[2 * i] + r1[2 * i + 1] + 2) >> 2
                            : model::DecimateTwoStep(r0[2 * i], r0[2 * i + 1], r1[2 * i], r1[2 * i + 1]);
                  break;
                case kFourByTwo:
                  v = 4;
                  for (int k = 0; k < 4; ++k) v += r0[k * stride + 2 * i] + r0[k * stride + 2 * i + 1];
                  v >>= 3;
                  break;
                case kHorz: v = Avg(r0[2 * i], r0[2 * i + 1]); break;
                case kVert: v = Avg(r0[i], r1[i]); break;
              }
              expected[j * width + i] = static_cast<uint8_t>(v);
            }
          }
          std::vector<uint8_t> whole(width * rows + 16, 0xA5);
          run(whole.data(), s, rows);
          ASSERT_EQ(0, std::memcmp(whole.data(), expected.data(), width * rows));
          for (int i = width * rows; i < width * rows + 16; ++i) ASSERT_EQ(whole[i], 0xA5);
          for (int j = 0; j < rows; ++j) {
            std::vector<uint8_t> row(width + 16, 0xA5);
            const int advance = form == kFourByTwo ? 4 * stride : form == kHorz ? 2 * width : 2 * stride;
            run(row.data(), s + j * advance, 1);
            ASSERT_EQ(0, std::memcmp(row.data(), expected.data() + j * width, width)) << "row " << j;
            for (int i = width; i < width + 16; ++i) ASSERT_EQ(row[i], 0xA5) << "row " << j;
          }
        }
      }
    }
  }
}

TEST(MotionEstimationCore, AlignedPlaneFormEqualsTheGeneralOne) {
  alignas(16) uint8_t source[64 * 12];
  std::mt19937 rng(10);
  for (auto& v : source) v = static_cast<uint8_t>(rng());
  for (auto& [name, core, plain] : AllCores()) {
    for (int width : {16, 32}) {
      alignas(16) uint8_t alt[32 * 4], general[32 * 4];
      core->DecimatePlaneAlt(alt, source, width, 4, 64, 128 - 2 * width);
      core->DecimatePlane(general, source, width, 4, 64, 128 - 2 * width);
      EXPECT_EQ(0, std::memcmp(alt, general, width * 4)) << name << " width " << width;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The six SSE3 slots against the SSE2 class, with the reference at every offset 0-15.

TEST(MotionEstimationCore, Sse3SlotsEqualSse2AtEveryReferenceOffset) {
  if (!(DetectCpuFeatures() & kCpuSse3)) GTEST_SKIP() << "the processor has no SSE3";
  CMotionEstimationCoreXMM2 sse2;
  CMotionEstimationCoreXMM3 sse3;
  std::mt19937 rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    Pictures pictures(100 + trial);
    const int rows = trial % 2 ? 16 : 8;
    for (CMotionEstimationCore* core : {static_cast<CMotionEstimationCore*>(&sse2),
                                        static_cast<CMotionEstimationCore*>(&sse3)}) {
      core->SetBlock(pictures.Block(), Pictures::kStride);
      core->rows = rows;
    }
    for (int offset = 0; offset < 16; ++offset) {
      // 48 + offset crosses a cache line in most rows.
      const uint8_t* ref = pictures.Ref(20, 40 + offset);
      SCOPED_TRACE(testing::Message() << "trial " << trial << " offset " << offset);
      EXPECT_EQ(sse3.Sad16(ref), sse2.Sad16(ref));
      EXPECT_EQ(sse3.Sad16Prefetch(ref), sse2.Sad16Prefetch(ref));
      for (int flags = 0; flags < 4; ++flags) {
        EXPECT_EQ(sse3.SadHalfPel16(ref, flags >> 1, flags & 1),
                  sse2.SadHalfPel16(ref, flags >> 1, flags & 1));
      }
      const int predicted = static_cast<int>(rng() % 5) - 2, bias = static_cast<int>(rng() % 300);
      int d2 = 0, d3 = 0;
      EXPECT_EQ(sse3.RefineHalfPelHorz(ref, &d3, predicted, bias),
                sse2.RefineHalfPelHorz(ref, &d2, predicted, bias));
      EXPECT_EQ(d3, d2);
      for (int halfX : {0, 1}) {
        EXPECT_EQ(sse3.RefineHalfPelVert(ref, halfX, &d3, predicted, bias),
                  sse2.RefineHalfPelVert(ref, halfX, &d2, predicted, bias));
        EXPECT_EQ(d3, d2);
      }
      EXPECT_EQ(sse3.RefineFullPelVert(ref, &d3), sse2.RefineFullPelVert(ref, &d2));
      EXPECT_EQ(d3, d2);
    }
  }
}

}  // namespace
}  // namespace orx::dsp
