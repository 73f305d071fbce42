// The motion-compensation drivers of CMBCore: the MPEG drivers against a direct transcription
// of ISO/IEC 13818-2 frame prediction on real pictures, and every driver's addressing, chroma
// vector rule and kernel choice through recording kernel tables and a core that records its
// calls to the VC-1 interpolation slots.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

// ---------------------------------------------------------------------------------------------
// The cores under test: the plain class and every variant the processor runs.

std::vector<std::pair<std::string, std::unique_ptr<CMBCore>>> AllCores() {
  std::vector<std::pair<std::string, std::unique_ptr<CMBCore>>> cores;
  cores.emplace_back("plain", std::make_unique<CMBCore>());
  for (const check::Variant& v : check::RunnableVariants()) {
    CMBCore* core = nullptr;
    EXPECT_TRUE(CreateMBCore(&core, v.features));
    cores.emplace_back(v.name, std::unique_ptr<CMBCore>(core));
  }
  for (auto& [name, core] : cores) core->InitMcTables();
  return cores;
}

// Prediction blocks with canaries after each: 256 luma and 128 chroma bytes, 16-byte aligned.
struct PredictionBlocks {
  static constexpr int kCanary = 64;
  alignas(16) uint8_t luma[256 + kCanary];
  alignas(16) uint8_t chroma[128 + kCanary];
  uint8_t* pair[2] = {luma, chroma};
  PredictionBlocks() {
    std::memset(luma, 0xA5, sizeof luma);
    std::memset(chroma, 0xA5, sizeof chroma);
  }
  bool CanariesIntact() const {
    for (int i = 0; i < kCanary; ++i) {
      if (luma[256 + i] != 0xA5 || chroma[128 + i] != 0xA5) return false;
    }
    return true;
  }
};

// ---------------------------------------------------------------------------------------------
// Real pictures: frames of tree.avi as a padded luma plane and a padded interleaved chroma
// plane (one stride), with the separate padded Cb and Cr planes the standard's prediction
// reads.

constexpr int kPad = 48;  // luma samples of padding on every side (24 chroma samples)

struct PaddedPicture {
  int width = 0, height = 0, stride = 0;
  std::vector<uint8_t> luma, chroma, cb, cr;  // cb, cr: stride / 2
  uint8_t* LumaAt(int x, int y) { return luma.data() + (y + kPad) * stride + x + kPad; }
  uint8_t* ChromaAt(int x, int y) {  // (x, y) in chroma samples
    return chroma.data() + (y + kPad / 2) * stride + 2 * (x + kPad / 2);
  }
  int Cb(int x, int y) const { return cb[(y + kPad / 2) * (stride / 2) + x + kPad / 2]; }
  int Cr(int x, int y) const { return cr[(y + kPad / 2) * (stride / 2) + x + kPad / 2]; }
  int Y(int x, int y) const { return luma[(y + kPad) * stride + x + kPad]; }
};

// Edge samples replicated into the padding.
std::vector<uint8_t> PadPlane(const uint8_t* plane, int width, int height, int pad) {
  const int stride = width + 2 * pad;
  std::vector<uint8_t> out(static_cast<size_t>(stride) * (height + 2 * pad));
  for (int y = -pad; y < height + pad; ++y) {
    const int sy = std::clamp(y, 0, height - 1);
    for (int x = -pad; x < width + pad; ++x) {
      out[(y + pad) * stride + x + pad] = plane[sy * width + std::clamp(x, 0, width - 1)];
    }
  }
  return out;
}

PaddedPicture MakePicture(const test::RawVideo& video, const std::vector<uint8_t>& frame) {
  PaddedPicture p;
  p.width = video.width;
  p.height = video.height;
  p.stride = video.width + 2 * kPad;
  const int cw = video.width / 2, ch = video.height / 2;
  p.luma = PadPlane(frame.data(), video.width, video.height, kPad);
  const uint8_t* cbPlane = frame.data() + video.width * video.height;
  p.cb = PadPlane(cbPlane, cw, ch, kPad / 2);
  p.cr = PadPlane(cbPlane + cw * ch, cw, ch, kPad / 2);
  p.chroma.resize(p.stride * (ch + kPad));
  for (size_t i = 0; i < p.cb.size(); ++i) {
    p.chroma[2 * i] = p.cb[i];
    p.chroma[2 * i + 1] = p.cr[i];
  }
  return p;
}

// ISO/IEC 13818-2: "//" divides rounding to the nearest integer, halves away from zero.
int DivRound(int a, int b) { return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b); }

// Frame prediction of one sample (clause 7.6.4): the vector in half samples splits into an
// integer part (arithmetic shift) and a half flag; halves are averaged with "//".
template <typename Sample>
int PredictSample(Sample ref, int x, int y, int vx, int vy) {
  const int xi = x + (vx >> 1), yi = y + (vy >> 1), xh = vx & 1, yh = vy & 1;
  if (!xh && !yh) return ref(xi, yi);
  if (xh && !yh) return DivRound(ref(xi, yi) + ref(xi + 1, yi), 2);
  if (!xh && yh) return DivRound(ref(xi, yi) + ref(xi, yi + 1), 2);
  return DivRound(ref(xi, yi) + ref(xi + 1, yi) + ref(xi, yi + 1) + ref(xi + 1, yi + 1), 4);
}

// The macroblock's prediction from one reference: 16x16 luma, then 8x8 Cb and Cr interleaved
// as the prediction block holds them. The chroma vector of 4:2:0 is the luma vector divided
// by 2, truncating towards zero.
struct Expected {
  uint8_t luma[256], chroma[128];
};

void PredictMacroblock(const PaddedPicture& ref, int mbx, int mby, int vx, int vy, int* luma,
                       int* chroma) {
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c) {
      luma[16 * r + c] = PredictSample([&](int x, int y) { return ref.Y(x, y); }, mbx + c,
                                       mby + r, vx, vy);
    }
  }
  const int cvx = vx / 2, cvy = vy / 2;
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      const int x = mbx / 2 + c, y = mby / 2 + r;
      chroma[16 * r + 2 * c] = PredictSample([&](int u, int v) { return ref.Cb(u, v); }, x, y, cvx, cvy);
      chroma[16 * r + 2 * c + 1] = PredictSample([&](int u, int v) { return ref.Cr(u, v); }, x, y, cvx, cvy);
    }
  }
}

class TreePictures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::DecodeOptions options;
    options.outputArgs = {"-frames:v", "2"};
    std::string log;
    ASSERT_TRUE(test::DecodeVideo(test::MediaPath("tree.avi"), video_, options, &log)) << log;
    ASSERT_EQ(video_.frames.size(), 2u);
  }
  static test::RawVideo video_;
};
test::RawVideo TreePictures::video_;

TEST_F(TreePictures, MpegDriversEqualTheStandardsFramePrediction) {
  PaddedPicture forward = MakePicture(video_, video_.frames[0]);
  PaddedPicture backward = MakePicture(video_, video_.frames[1]);
  uint8_t* forwardPlanes[2] = {forward.LumaAt(0, 0), forward.ChromaAt(0, 0)};
  uint8_t* backwardPlanes[2] = {backward.LumaAt(0, 0), backward.ChromaAt(0, 0)};
  std::mt19937 rng(7);
  // Vectors reach at most 2 * (kPad - 2) half samples past the picture.
  std::uniform_int_distribution<int> vector(-2 * (kPad - 2), 2 * (kPad - 2));
  auto cores = AllCores();
  for (int mby = 0; mby + 16 <= forward.height; mby += 16) {
    for (int mbx = 0; mbx + 16 <= forward.width; mbx += 16) {
      const int v1x = vector(rng), v1y = vector(rng), v2x = vector(rng), v2y = vector(rng);
      int f[384], b[384];
      PredictMacroblock(forward, mbx, mby, v1x, v1y, f, f + 256);
      PredictMacroblock(backward, mbx, mby, v2x, v2y, b, b + 256);
      for (auto& [name, core] : cores) {
        PredictionBlocks one, both;
        core->MotionCompensateMB(forwardPlanes, one.pair, forward.stride, mbx, mby, v1x, v1y);
        core->MotionCompensateMBBidir(forwardPlanes, backwardPlanes, both.pair, forward.stride,
                                      mbx, mby, v1x, v1y, v2x, v2y);
        for (int i = 0; i < 384; ++i) {
          const int gotOne = i < 256 ? one.luma[i] : one.chroma[i - 256];
          const int gotBoth = i < 256 ? both.luma[i] : both.chroma[i - 256];
          ASSERT_EQ(gotOne, f[i]) << name << " macroblock (" << mbx << ", " << mby << ") vector ("
                                  << v1x << ", " << v1y << ") sample " << i;
          ASSERT_EQ(gotBoth, DivRound(f[i] + b[i], 2))
              << name << " bidirectional, macroblock (" << mbx << ", " << mby << ") vectors ("
              << v1x << ", " << v1y << "), (" << v2x << ", " << v2y << ") sample " << i;
        }
        ASSERT_TRUE(one.CanariesIntact() && both.CanariesIntact()) << name;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Recording kernel tables and a core that records its calls to slots 59-62.

enum GroupId { kLumaGroup, kChromaGroup, kVc1Group, kBidirGroup };

struct KernelCall {
  int group, index;
  const uint8_t *source, *second;
  uint8_t* destination;
  int sourceStride, destinationStride, rows, step;
};
std::vector<KernelCall> gKernelCalls;

template <int kGroup, int kIndex>
void RecordKernel(const uint8_t* s, uint8_t* d, int ss, int ds, int rows) {
  gKernelCalls.push_back({kGroup, kIndex, s, nullptr, d, ss, ds, rows, 0});
}
template <int kIndex>
void RecordBidir(const uint8_t* a, const uint8_t* b, uint8_t* d, int ss, int ds, int rows,
                 int step) {
  gKernelCalls.push_back({kBidirGroup, kIndex, a, b, d, ss, ds, rows, step});
}

template <int kGroup, size_t... I>
constexpr std::array<McKernel, 8> RecordingGroup(std::index_sequence<I...>) {
  return {RecordKernel<kGroup, I>...};
}
template <size_t... I>
constexpr std::array<McBidirKernel, 16> RecordingBidir(std::index_sequence<I...>) {
  return {RecordBidir<I>...};
}

const auto kRecordingLuma = RecordingGroup<kLumaGroup>(std::make_index_sequence<8>());
const auto kRecordingChroma = RecordingGroup<kChromaGroup>(std::make_index_sequence<8>());
const auto kRecordingVc1 = RecordingGroup<kVc1Group>(std::make_index_sequence<8>());
const auto kRecordingBidirGroup = RecordingBidir(std::make_index_sequence<16>());

struct SlotCall {
  int slot;  // 59-62
  uint32_t weights;
  const uint8_t* source;
  uint8_t* destination;
  int sourceStride, destinationStride, rows, fractionX, fractionY, rounding;
};

class RecordingCore : public CMBCore {
 public:
  RecordingCore() {
    lumaKernels = kRecordingLuma.data();
    chromaKernels = kRecordingChroma.data();
    vc1FourTapKernels = kRecordingVc1.data();
    bidirKernels = kRecordingBidirGroup.data();
    gKernelCalls.clear();
  }
  void InterpolateBilinearVc1(uint32_t weights, const uint8_t* s, uint8_t* d, int ss, int ds,
                              int rows, int rc) override {
    slots.push_back({59, weights, s, d, ss, ds, rows, 0, 0, rc});
  }
  void InterpolateBicubicVertVc1(const uint8_t* s, uint8_t* d, int ss, int ds, int rows, int f,
                                 int rc) override {
    slots.push_back({60, 0, s, d, ss, ds, rows, 0, f, rc});
  }
  void InterpolateBicubicHorzVc1(const uint8_t* s, uint8_t* d, int ss, int ds, int rows, int f,
                                 int rc) override {
    slots.push_back({61, 0, s, d, ss, ds, rows, f, 0, rc});
  }
  void InterpolateBicubic2DVc1(const uint8_t* s, uint8_t* d, int ss, int ds, int rows, int fx,
                               int fy, int rc) override {
    slots.push_back({62, 0, s, d, ss, ds, rows, fx, fy, rc});
  }
  std::vector<SlotCall> slots;
};

// Planes whose contents the recording kernels never read: only addresses matter.
constexpr int kStride = 1024;
alignas(16) uint8_t gLumaPlane[kStride * 64], gChromaPlane[kStride * 32];
uint8_t* const kPlanes[2] = {gLumaPlane, gChromaPlane};
alignas(16) uint8_t gSecondLuma[kStride * 64], gSecondChroma[kStride * 32];
uint8_t* const kSecondPlanes[2] = {gSecondLuma, gSecondChroma};
constexpr int kX = 64, kY = 32;

const uint8_t* LumaSource(const uint8_t* plane, int vx, int vy, int shift = 1) {
  return plane + (kY + (vy >> shift)) * kStride + kX + (vx >> shift);
}
const uint8_t* ChromaSource(const uint8_t* plane, int cx, int cy, int shift = 1) {
  return plane + ((kY >> 1) + (cy >> shift)) * kStride + 2 * ((kX >> 1) + (cx >> shift));
}

struct ChromaRule {
  int v, c;
};

// Chroma vectors of the one-direction and bidirectional MPEG drivers: the chroma kernel call
// shows the chroma vector through its source address and half-sample index.
void ExpectChromaCall(const KernelCall& call, const uint8_t* plane, int c, const char* what) {
  EXPECT_EQ(call.source, ChromaSource(plane, c, c)) << what << ": chroma vector " << c;
  EXPECT_EQ(call.index & 3, 2 * (c & 1) + (c & 1)) << what << ": chroma vector " << c;
}

TEST(McDrivers, ChromaVectorRulesOfEveryDriverFamily) {
  const ChromaRule truncated[] = {{3, 1}, {-3, -1}, {-1, 0}, {2, 1}, {0, 0}, {7, 3}};
  const ChromaRule mpeg4[] = {{1, 1},   {2, 1},   {3, 1},   {5, 3},
                              {-1, -1}, {-2, -1}, {-3, -1}, {-4, -2}};
  PredictionBlocks blocks;
  for (const ChromaRule& rule : truncated) {
    RecordingCore core;
    core.MotionCompensateMB(kPlanes, blocks.pair, kStride, kX, kY, rule.v, rule.v);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    ExpectChromaCall(gKernelCalls[1], gChromaPlane, rule.c, "MotionCompensateMB");
    gKernelCalls.clear();
    for (auto bidir : {&CMBCore::MotionCompensateMBBidir,
                       &CMBCore::MotionCompensateMBVc1HalfPelBidir}) {
      (core.*bidir)(kPlanes, kSecondPlanes, blocks.pair, kStride, kX, kY, rule.v, rule.v, -rule.v,
                    rule.v);
      ASSERT_EQ(gKernelCalls.size(), 2u);
      const KernelCall& chroma = gKernelCalls[1];
      EXPECT_EQ(chroma.source, ChromaSource(gChromaPlane, rule.c, rule.c));
      EXPECT_EQ(chroma.second, ChromaSource(gSecondChroma, -rule.c, rule.c));
      const int h1 = 2 * (rule.c & 1) + (rule.c & 1), h2 = 2 * (-rule.c & 1) + (rule.c & 1);
      EXPECT_EQ(chroma.index, 4 * h1 + h2) << "vector " << rule.v;
      gKernelCalls.clear();
    }
  }
  for (const ChromaRule& rule : mpeg4) {
    RecordingCore core;
    core.roundingControl = 1;
    core.MotionCompensateMBRounded(kPlanes, blocks.pair, kStride, kX, kY, rule.v, rule.v);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    ExpectChromaCall(gKernelCalls[1], gChromaPlane, rule.c, "MotionCompensateMBRounded");
    EXPECT_GE(gKernelCalls[1].index, 4) << "rounding control 1 takes entries 4-7";
    gKernelCalls.clear();
    core.MotionCompensateMBRoundedBidir(kPlanes, kSecondPlanes, blocks.pair, kStride, kX, kY,
                                        rule.v, rule.v, rule.v, rule.v);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    EXPECT_EQ(gKernelCalls[1].source, ChromaSource(gChromaPlane, rule.c, rule.c));
    EXPECT_EQ(gKernelCalls[1].second, ChromaSource(gSecondChroma, rule.c, rule.c));
  }
}

// The VC-1 quarter-sample rule: c = (v + 1 when v & 3 is 3, else v) >> 1 in quarter chroma
// samples; with fast chroma then halved towards zero, in half chroma samples.
std::vector<KernelCall> ChromaKernelCalls() {
  std::vector<KernelCall> calls;
  for (const KernelCall& call : gKernelCalls) {
    if (call.group == kChromaGroup) calls.push_back(call);
  }
  return calls;
}

TEST(McDrivers, Vc1BidirectionalDerivesQuarterSampleChromaVectors) {
  const ChromaRule quarter[] = {{3, 2}, {7, 4}, {-1, 0}, {-2, -1}, {-5, -2}, {-6, -3}};
  const ChromaRule fast[] = {{3, 1}, {-3, -1}, {-1, 0}};
  alignas(128) uint8_t scratch[1024];
  PredictionBlocks blocks;
  for (const ChromaRule& rule : quarter) {
    RecordingCore core;
    core.scratch = scratch;
    // The second prediction has the vector 0; the first one's chroma call tells the vector.
    core.MotionCompensateMBVc1Bidir(kPlanes, kSecondPlanes, blocks.pair, kStride, kX, kY, rule.v,
                                    0, 0, 0, 0);
    const int c = rule.c;
    std::vector<KernelCall> chroma = ChromaKernelCalls();
    if ((c & 1) == 0) {
      ASSERT_EQ(chroma.size(), 2u) << "vector " << rule.v;
      EXPECT_EQ(chroma[0].source, ChromaSource(gChromaPlane, c, 0, 2)) << rule.v;
      EXPECT_EQ(chroma[0].index, 2 * ((c >> 1) & 1)) << rule.v;
    } else {
      ASSERT_EQ(chroma.size(), 1u) << "vector " << rule.v;
      const SlotCall* bilinear = nullptr;
      for (const SlotCall& s : core.slots) {
        if (s.slot == 59) bilinear = &s;
      }
      ASSERT_NE(bilinear, nullptr) << "vector " << rule.v;
      EXPECT_EQ(bilinear->source, ChromaSource(gChromaPlane, c, 0, 2)) << rule.v;
      EXPECT_EQ(bilinear->weights, Vc1BilinearWeights[c & 3]) << rule.v;
    }
  }
  for (const ChromaRule& rule : fast) {
    RecordingCore core;
    core.scratch = scratch;
    core.MotionCompensateMBVc1Bidir(kPlanes, kSecondPlanes, blocks.pair, kStride, kX, kY, rule.v,
                                    0, 0, 0, 1);
    std::vector<KernelCall> chroma = ChromaKernelCalls();
    ASSERT_EQ(chroma.size(), 2u);
    EXPECT_EQ(chroma[0].source, ChromaSource(gChromaPlane, rule.c, 0)) << rule.v;
    EXPECT_EQ(chroma[0].index, 2 * (rule.c & 1)) << rule.v;
    EXPECT_EQ(chroma[1].source, ChromaSource(gSecondChroma, 0, 0));
    EXPECT_EQ(chroma[1].destination, scratch + 512);
  }
}

TEST(McDrivers, EdgeCasesOfTheAddressing) {
  PredictionBlocks blocks;
  {  // A zero vector takes entry 0, the copy, at the macroblock's own position.
    RecordingCore core;
    core.MotionCompensateMB(kPlanes, blocks.pair, kStride, kX, kY, 0, 0);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    EXPECT_EQ(gKernelCalls[0].index, 0);
    EXPECT_EQ(gKernelCalls[0].source, gLumaPlane + kY * kStride + kX);
    EXPECT_EQ(gKernelCalls[1].index, 0);
    EXPECT_EQ(gKernelCalls[1].source, gChromaPlane + (kY >> 1) * kStride + kX);
  }
  {  // mvx = -3: luma column x - 2 with the horizontal half bit; chroma vector -1, pair column
     // (x >> 1) - 1 with the horizontal half bit.
    RecordingCore core;
    core.MotionCompensateMB(kPlanes, blocks.pair, kStride, kX, kY, -3, 0);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    EXPECT_EQ(gKernelCalls[0].source, gLumaPlane + kY * kStride + kX - 2);
    EXPECT_EQ(gKernelCalls[0].index, 2);
    EXPECT_EQ(gKernelCalls[1].source, gChromaPlane + (kY >> 1) * kStride + 2 * ((kX >> 1) - 1));
    EXPECT_EQ(gKernelCalls[1].index, 2);
    EXPECT_EQ(gKernelCalls[0].rows, 16);
    EXPECT_EQ(gKernelCalls[1].rows, 8);
    EXPECT_EQ(gKernelCalls[0].destinationStride, 16);
    EXPECT_EQ(gKernelCalls[0].destination, blocks.luma);
    EXPECT_EQ(gKernelCalls[1].destination, blocks.chroma);
  }
  {  // The MPEG drivers ignore the rounding control; MPEG-4 mvx = 1 keeps a chroma half.
    RecordingCore core;
    core.roundingControl = 1;
    core.MotionCompensateMB(kPlanes, blocks.pair, kStride, kX, kY, 1, 0);
    EXPECT_EQ(gKernelCalls[0].index, 2);
    EXPECT_EQ(gKernelCalls[1].index, 0) << "MPEG-1/2 chroma vector 1 / 2 = 0";
    gKernelCalls.clear();
    core.MotionCompensateMBRounded(kPlanes, blocks.pair, kStride, kX, kY, 1, 0);
    EXPECT_EQ(gKernelCalls[0].index, 6);
    EXPECT_EQ(gKernelCalls[1].index, 6) << "MPEG-4 chroma vector 1 stays a half position";
    gKernelCalls.clear();
    core.MotionCompensateMBVc1HalfPel(kPlanes, blocks.pair, kStride, kX, kY, 1, 1, 0, 1);
    EXPECT_EQ(gKernelCalls[0].index, 7);
    EXPECT_EQ(gKernelCalls[1].index, 5) << "the caller's chroma vector (0, 1)";
    EXPECT_EQ(gKernelCalls[1].source, ChromaSource(gChromaPlane, 0, 1));
  }
  {  // Bidirectional kernels: luma step 1, chroma step 2, index 4 h(first) + h(second).
    RecordingCore core;
    core.MotionCompensateMBBidir(kPlanes, kSecondPlanes, blocks.pair, kStride, kX, kY, 1, 1, 2,
                                 -1);
    ASSERT_EQ(gKernelCalls.size(), 2u);
    EXPECT_EQ(gKernelCalls[0].index, 4 * 3 + 1);
    EXPECT_EQ(gKernelCalls[0].step, 1);
    EXPECT_EQ(gKernelCalls[0].second, LumaSource(gSecondLuma, 2, -1));
    EXPECT_EQ(gKernelCalls[1].step, 2);
    EXPECT_EQ(gKernelCalls[1].rows, 8);
    // Chroma vectors (1 / 2, 1 / 2) = (0, 0) and (2 / 2, -1 / 2) = (1, 0).
    EXPECT_EQ(gKernelCalls[1].index, 4 * 0 + 2);
  }
}

// Which path a quarter-sample VC-1 vector takes, for every fraction pair and rounding control.
TEST(McDrivers, Vc1QuarterSampleLumaPaths) {
  PredictionBlocks blocks;
  for (int rc = 0; rc <= 1; ++rc) {
    for (int fy = 0; fy < 4; ++fy) {
      for (int fx = 0; fx < 4; ++fx) {
        RecordingCore core;
        core.roundingControl = rc;
        const int mvx = 8 + fx, mvy = -12 + fy;
        core.MotionCompensateMBVc1(kPlanes, blocks.pair, kStride, kX, kY, mvx, mvy, 0, 0, 0);
        const uint8_t* source = LumaSource(gLumaPlane, mvx, mvy, 2);
        SCOPED_TRACE(testing::Message() << "fx " << fx << " fy " << fy << " rc " << rc);
        if (fx % 2 == 0 && fy % 2 == 0) {
          ASSERT_TRUE(core.slots.empty());
          ASSERT_EQ(gKernelCalls[0].group, kVc1Group);
          EXPECT_EQ(gKernelCalls[0].index, 4 * rc + 2 * (fx >> 1) + (fy >> 1));
          EXPECT_EQ(gKernelCalls[0].source, source);
          continue;
        }
        ASSERT_EQ(core.slots.size(), 1u);
        const SlotCall& s = core.slots[0];
        EXPECT_EQ(s.slot, fx == 0 ? 60 : fy == 0 ? 61 : 62);
        EXPECT_EQ(s.fractionX, fx);
        EXPECT_EQ(s.fractionY, fy);
        EXPECT_EQ(s.rounding, rc);
        EXPECT_EQ(s.source, source);
        EXPECT_EQ(s.destination, blocks.luma);
        EXPECT_EQ(s.rows, 16);
        EXPECT_EQ(s.destinationStride, 16);
      }
    }
  }
}

TEST(McDrivers, Vc1QuarterSampleChromaPaths) {
  PredictionBlocks blocks;
  for (int rc = 0; rc <= 1; ++rc) {
    for (int cy = -4; cy < 4; ++cy) {
      for (int cx = 0; cx < 8; ++cx) {
        RecordingCore core;
        core.roundingControl = rc;
        core.MotionCompensateMBVc1(kPlanes, blocks.pair, kStride, kX, kY, 0, 0, cx, cy, 0);
        SCOPED_TRACE(testing::Message() << "cx " << cx << " cy " << cy << " rc " << rc);
        const uint8_t* source = ChromaSource(gChromaPlane, cx, cy, 2);
        if (cx % 2 == 0 && cy % 2 == 0) {
          ASSERT_EQ(gKernelCalls.size(), 2u);
          EXPECT_EQ(gKernelCalls[1].group, kChromaGroup);
          EXPECT_EQ(gKernelCalls[1].index, 4 * rc + 2 * ((cx >> 1) & 1) + ((cy >> 1) & 1));
          EXPECT_EQ(gKernelCalls[1].source, source);
          continue;
        }
        ASSERT_EQ(core.slots.size(), 1u);
        const SlotCall& s = core.slots[0];
        EXPECT_EQ(s.slot, 59);
        EXPECT_EQ(s.weights, Vc1BilinearWeights[4 * (cy & 3) + (cx & 3)]);
        EXPECT_EQ(s.source, source);
        EXPECT_EQ(s.destination, blocks.chroma);
        EXPECT_EQ(s.rows, 8);
        EXPECT_EQ(s.rounding, rc);
      }
    }
  }
  // cx = 5, cy = 0 hands slot 59 the weights 12, 4, 0, 0; a fraction of 2 (cx = 6) takes the
  // half-sample chroma kernel.
  RecordingCore core;
  core.MotionCompensateMBVc1(kPlanes, blocks.pair, kStride, kX, kY, 0, 0, 5, 0, 0);
  ASSERT_EQ(core.slots.size(), 1u);
  EXPECT_EQ(core.slots[0].weights, 12u | 4u << 8);
  RecordingCore half;
  half.MotionCompensateMBVc1(kPlanes, blocks.pair, kStride, kX, kY, 0, 0, 6, 0, 0);
  EXPECT_TRUE(half.slots.empty());
  EXPECT_EQ(gKernelCalls[1].index, 2);
  // Fast chroma: the vector is in half chroma samples.
  RecordingCore fastCore;
  fastCore.roundingControl = 1;
  fastCore.MotionCompensateMBVc1(kPlanes, blocks.pair, kStride, kX, kY, 0, 0, 3, -1, 1);
  EXPECT_TRUE(fastCore.slots.empty());
  EXPECT_EQ(gKernelCalls[1].index, 4 + 3);
  EXPECT_EQ(gKernelCalls[1].source, ChromaSource(gChromaPlane, 3, -1));
}

TEST(McDrivers, Vc1BilinearWeightsTable) {
  const uint8_t expected[16][4] = {
      {16, 0, 0, 0}, {12, 4, 0, 0}, {8, 8, 0, 0}, {4, 12, 0, 0},  //
      {12, 0, 4, 0}, {9, 3, 3, 1},  {6, 6, 2, 2}, {3, 9, 1, 3},   //
      {8, 0, 8, 0},  {6, 2, 6, 2},  {4, 4, 4, 4}, {2, 6, 2, 6},   //
      {4, 0, 12, 0}, {3, 1, 9, 3},  {2, 2, 6, 6}, {1, 3, 3, 9}};
  for (int i = 0; i < 16; ++i) {
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ((Vc1BilinearWeights[i] >> (8 * b)) & 0xFF, expected[i][b]) << i << " byte " << b;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Predictions with the real tables.

struct Planes {
  static constexpr int kStride = 96, kRows = 64;
  std::vector<uint8_t> luma, chroma;
  uint8_t* pair[2];
  explicit Planes(unsigned seed) : luma(kStride * kRows), chroma(kStride * kRows / 2) {
    std::mt19937 rng(seed);
    for (auto& v : luma) v = static_cast<uint8_t>(rng());
    for (auto& v : chroma) v = static_cast<uint8_t>(rng());
    pair[0] = luma.data();
    pair[1] = chroma.data();
  }
};

int Clip(int v) { return std::clamp(v, 0, 255); }

// The VC-1 luma prediction at even quarter fractions (the 4-tap half-sample filter) and the
// chroma one at even quarter fractions (bilinear half samples), with rounding control rc.
int Vc1EvenLuma(const uint8_t* p, int stride, int fx, int fy, int rc) {
  auto tap = [](int a, int b, int c, int d) { return 9 * (b + c) - a - d; };
  if (fx == 0 && fy == 0) return p[0];
  if (fx == 0) return Clip((tap(p[-stride], p[0], p[stride], p[2 * stride]) + 7 + rc) >> 4);
  if (fy == 0) return Clip((tap(p[-1], p[0], p[1], p[2]) + 8 - rc) >> 4);
  int t[4];
  for (int k = 0; k < 4; ++k) {
    const uint8_t* q = p + k - 1;
    t[k] = (tap(q[-stride], q[0], q[stride], q[2 * stride]) + rc) >> 1;
  }
  return Clip((tap(t[0], t[1], t[2], t[3]) + 64 - rc) >> 7);
}

TEST(McDrivers, Vc1PredictionsAtEvenFractionsAreExact) {
  Planes planes(3);
  const int x = 32, y = 16;
  for (auto& [name, core] : AllCores()) {
    for (int rc = 0; rc <= 1; ++rc) {
      core->roundingControl = rc;
      for (int mv : {0, 2, 8, -6}) {
        for (int mvy : {0, 2, -2, 4}) {
          PredictionBlocks blocks;
          const int cx = mv / 2 * 2, cy = mvy / 2 * 2;  // even quarter chroma samples
          core->MotionCompensateMBVc1(planes.pair, blocks.pair, Planes::kStride, x, y, mv, mvy,
                                      cx, cy, 0);
          const uint8_t* luma =
              planes.luma.data() + (y + (mvy >> 2)) * Planes::kStride + x + (mv >> 2);
          for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < 16; ++c) {
              ASSERT_EQ(blocks.luma[16 * r + c],
                        Vc1EvenLuma(luma + r * Planes::kStride + c, Planes::kStride, mv & 3,
                                    mvy & 3, rc))
                  << name << " vector (" << mv << ", " << mvy << ") rc " << rc;
            }
          }
          const uint8_t* chroma = planes.chroma.data() +
                                  ((y >> 1) + (cy >> 2)) * Planes::kStride +
                                  2 * ((x >> 1) + (cx >> 2));
          const int hx = (cx >> 1) & 1, hy = (cy >> 1) & 1, s = Planes::kStride;
          for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 16; ++c) {
              const uint8_t* p = chroma + r * s + c;
              int expected = p[0];
              if (hx && hy) {
                expected = (p[0] + p[2] + p[s] + p[s + 2] + 2 - rc) >> 2;
              } else if (hx || hy) {
                expected = (p[0] + (hx ? p[2] : p[s]) + 1 - rc) >> 1;
              }
              ASSERT_EQ(blocks.chroma[16 * r + c], expected)
                  << name << " chroma (" << cx << ", " << cy << ") rc " << rc;
            }
          }
          ASSERT_TRUE(blocks.CanariesIntact());
        }
      }
    }
  }
}

TEST(McDrivers, Vc1BidirectionalAveragesTheScratchPrediction) {
  Planes first(11), second(12);
  const int x = 32, y = 16;
  alignas(128) uint8_t scratch[1024];
  for (auto& [name, core] : AllCores()) {
    core->scratch = scratch;
    core->roundingControl = 1;
    // Even luma fractions whose derived chroma vectors are even too: 8 -> 4, -4 -> -2, 4 -> 2.
    PredictionBlocks a, b, both;
    core->MotionCompensateMBVc1(first.pair, a.pair, Planes::kStride, x, y, 8, -4, 4, -2, 0);
    core->MotionCompensateMBVc1(second.pair, b.pair, Planes::kStride, x, y, -4, 4, -2, 2, 0);
    std::memset(scratch, 0, sizeof scratch);
    core->MotionCompensateMBVc1Bidir(first.pair, second.pair, both.pair, Planes::kStride, x, y,
                                     8, -4, -4, 4, 0);
    EXPECT_EQ(0, std::memcmp(scratch, b.luma, 256)) << name << ": second luma in the scratch area";
    EXPECT_EQ(0, std::memcmp(scratch + 512, b.chroma, 128)) << name << ": second chroma at 512";
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(both.luma[i], (a.luma[i] + b.luma[i] + 1) >> 1) << name << " luma " << i;
    }
    for (int i = 0; i < 128; ++i) {
      ASSERT_EQ(both.chroma[i], (a.chroma[i] + b.chroma[i] + 1) >> 1) << name << " chroma " << i;
    }
    ASSERT_TRUE(both.CanariesIntact());
  }
}

// The mended field drivers: each field fills 8 luma rows and 4 chroma rows at a row step of 32,
// so the two fields (destination offsets 0 and 16) fill the blocks exactly.
TEST(McDrivers, FieldDriversFillEightLumaAndFourChromaRowsPerField) {
  Planes first(21), second(22);
  const int fieldStride = 2 * Planes::kStride, x = 32, fieldRow = 8;
  for (auto& [name, core] : AllCores()) {
    for (bool bidir : {false, true}) {
      PredictionBlocks blocks;
      std::memset(blocks.luma, 0x11, 256);
      std::memset(blocks.chroma, 0x11, 128);
      for (int field = 0; field < 2; ++field) {
        if (bidir) {
          core->MotionCompensateFieldMBBidir(first.pair, second.pair, blocks.pair, field,
                                             1 - field, 16 * field, fieldStride, x, fieldRow, 3,
                                             1, -1, 2);
        } else {
          core->MotionCompensateFieldMB(first.pair, blocks.pair, field, 16 * field, fieldStride,
                                        x, fieldRow, 3, 1);
        }
      }
      EXPECT_TRUE(blocks.CanariesIntact()) << name << (bidir ? " bidirectional" : "");
      // Row r of the luma block is row (r >> 1) of field r & 1, here the one-direction copy
      // with the vector (3, 1): horizontal and vertical halves.
      if (!bidir) {
        for (int r = 0; r < 16; ++r) {
          const uint8_t* p = first.luma.data() + (fieldRow + 0) * fieldStride + x + 1 +
                             (r & 1) * (fieldStride >> 1) + (r >> 1) * fieldStride;
          for (int c = 0; c < 16; ++c) {
            const int expected =
                (p[c] + p[c + 1] + p[c + fieldStride] + p[c + fieldStride + 1] + 2) >> 2;
            ASSERT_EQ(blocks.luma[16 * r + c], expected) << name << " row " << r;
          }
        }
      }
      // Chroma row r is row (r >> 1) of field r & 1: chroma vector (3 / 2, 1 / 2) = (1, 0), a
      // horizontal half between samples two bytes apart. Every row is written.
      for (int r = 0; r < 8; ++r) {
        const uint8_t* p = first.chroma.data() + (fieldRow >> 1) * fieldStride +
                           (r & 1) * (fieldStride >> 1) + (r >> 1) * fieldStride + x;
        bool written = false;
        for (int c = 0; c < 16; ++c) {
          written |= blocks.chroma[16 * r + c] != 0x11;
          if (!bidir) {
            ASSERT_EQ(blocks.chroma[16 * r + c], (p[c] + p[c + 2] + 1) >> 1) << name;
          }
        }
        EXPECT_TRUE(written) << name << " chroma row " << r;
      }
    }
  }
}

}  // namespace
}  // namespace orx::dsp
