// The estimator with every core variant the CPU can run, against the plain core or against a
// scalar model of the variant where the DSP cores document a difference; and several
// estimators on several threads at once.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/venc/dsp/model/motion_models.h"
#include "tests/venc/me/me_fixtures.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

// The plain core with the SSE2 variant's documented arithmetic: diagonal half samples and
// 2x2 means rounded in two steps, and the predictor rules and scans of the window searches.
class VariantModelCore : public dsp::CMotionEstimationCore {
 public:
  uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY) override {
    return dsp::model::SadHalfPel16(block, stride, rows, reference, halfX, halfY);
  }
  uint32_t SadBidirHalfPel16(const uint8_t* a, const uint8_t* b, int hxa, int hya, int hxb,
                             int hyb) override {
    return dsp::model::SadBidirHalfPel16(block, stride, rows, a, b, hxa, hya, hxb, hyb);
  }
  int RefineHalfPelVert(const uint8_t* reference, int halfX, int* direction, int predicted,
                        int bias) override {
    return dsp::model::RefineHalfPelVert(block, stride, rows, reference, halfX, direction,
                                         predicted, bias);
  }
  void DecimateBlock(uint8_t* destination, const uint8_t* source, int pitch) override {
    dsp::model::DecimateBlock(destination, source, pitch);
  }
  void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                     int sourceStride, int sourceSkip) override {
    dsp::model::DecimatePlane(destination, source, width, height, sourceStride, sourceSkip);
  }
  int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* b, int pitch, int nx, int ny,
                             int* x, int* y) override {
    return dsp::model::SearchWindow8x4Stride2(window, b, pitch, nx, ny, x, y);
  }
  int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* b, int pitch, int nx, int ny,
                               int* x, int* y, int threshold) override {
    return dsp::model::SearchWindow4x4Threshold(window, b, pitch, nx, ny, x, y, threshold);
  }
};

// An N 15, M 3 sequence of 352x288 pictures moving (5, -3) pels a picture; every coded picture.
std::vector<CodedPicture> Encode(dsp::CMotionEstimationCore* core, int length = 7) {
  EncoderSettings s = MeSettings(352, 288, 15, 3);
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  const int tw = 352 + 256;
  static const std::vector<uint8_t> texture = MakeTexture(tw, 288 + 256, 23);
  MeSession session(s, new CMPEG2MotionEstimator(core));
  for (int d = 0; d < length; ++d) {
    session.Feed(session.NewPicture(d), false, [&](uint8_t* luma, int stride) {
      SampleTexture(texture, tw, 16, 200, 10 * d + 1, -6 * d, luma, stride, 352, 288);
    });
  }
  session.Estimator().FlushQueue();
  return session.Encoder().coded;
}

dsp::CMotionEstimationCore* DefaultCore() {
  dsp::CMotionEstimationCore* core = nullptr;
  EXPECT_TRUE(dsp::CreateMotionEstimationCore(&core));
  return core;
}

TEST(Variants, EqualTheScalarModelOfTheVariant) {
  const std::vector<CodedPicture> model = Encode(new VariantModelCore);
  const uint32_t cpu = dsp::GetCpuFeatures();
  // The MMX and integer-SSE classes are not built; the SSE2 and SSE3 classes follow the
  // documented two-step roundings and variant searches.
  for (const uint32_t word : {dsp::kCpuSse2 | dsp::kCpuIntegerSse, dsp::kCpuSse3 | dsp::kCpuSse2}) {
    if ((cpu & word) != word) continue;
    dsp::CMotionEstimationCore* core = nullptr;
    ASSERT_TRUE(dsp::CreateMotionEstimationCore(&core, word));
    ExpectSameCoding(Encode(core), model, word & dsp::kCpuSse3 ? "SSE3" : "SSE2");
  }
}

// Four estimators on four threads share nothing: each gives what one alone gives.
TEST(MeThreads, FourEstimatorsAtOnce) {
  const std::vector<CodedPicture> alone = Encode(DefaultCore(), 4);
  std::vector<std::vector<CodedPicture>> results(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &results] { results[t] = Encode(DefaultCore(), 4); });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t) ExpectSameCoding(results[t], alone, "thread " + std::to_string(t));
}

// Every estimator owns its block of decimated planes; only a sub-encoder (the shared-block
// flag with a sub-encoder index) takes its owner's, handed over explicitly, and never frees it.
// A sharer that was handed nothing fails Init instead of reading another encoder's block.
TEST(DecimatedBlock, OwnedByEachEstimatorAndSharedOnlyWhenHandedOver) {
  const EncoderSettings s = MeSettings(352, 288, 15, 3);
  CMPEG2MotionEstimator owner;
  CMPEG2MotionEstimator other;
  ASSERT_TRUE(owner.Init(&s, nullptr));
  ASSERT_TRUE(other.Init(&s, nullptr));
  ASSERT_EQ(owner.DecimationMode(), 4);
  ASSERT_NE(owner.DecimatedBlock(), nullptr);
  ASSERT_NE(other.DecimatedBlock(), nullptr);
  EXPECT_NE(owner.DecimatedBlock(), other.DecimatedBlock());

  // The shared-block flag without a sub-encoder index keeps a block of its own.
  CMPEG2MotionEstimator flagOnly;
  flagOnly.SetModeFlags(ME_MODE_SHARED_BLOCK);
  ASSERT_TRUE(flagOnly.Init(&s, nullptr));
  EXPECT_NE(flagOnly.DecimatedBlock(), owner.DecimatedBlock());

  CMPEG2MotionEstimator unhanded;
  unhanded.SetModeFlags(ME_MODE_SHARED_BLOCK | 0x100);
  EXPECT_FALSE(unhanded.Init(&s, nullptr));

  {
    CMPEG2MotionEstimator sharer;
    sharer.SetModeFlags(ME_MODE_SHARED_BLOCK | 0x200);
    sharer.SetSharedDecimatedBlock(owner.DecimatedBlock());
    ASSERT_TRUE(sharer.Init(&s, nullptr));
    EXPECT_EQ(sharer.DecimatedBlock(), owner.DecimatedBlock());
    sharer.Close();
  }
  // The owner's block outlives the sharer (the address sanitizer would report a free).
  owner.DecimatedBlock()[0] = 1;
  EXPECT_EQ(owner.DecimatedBlock()[0], 1);
}

}  // namespace
}  // namespace orx::venc::test
