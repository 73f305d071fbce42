#include "venc/dsp/core_factories.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <typeinfo>

#include "venc/dsp/cpu_features.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/preproc_core_variants.h"

// The nothrow allocation of this program fails on demand, so the factories' failure path can
// be seen. Other allocations go to the ordinary operator new.
namespace {
std::atomic<bool> g_failNothrowNew{false};
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_failNothrowNew.load()) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace orx::dsp {
namespace {

struct FactoryCase {
  uint32_t features;
  const std::type_info& mb;
  const std::type_info& me;
  const std::type_info& pp;
};

TEST(CoreFactories, ChooseTheDeepestVariantTheWordAllows) {
  const FactoryCase cases[] = {
      {kCpuSse3 | kCpuSse2, typeid(CMBCoreXMM3), typeid(CMotionEstimationCoreXMM3),
       typeid(CPreprocCoreXMM2)},
      {kCpuSse2, typeid(CMBCoreXMM2), typeid(CMotionEstimationCoreXMM2), typeid(CPreprocCoreXMM2)},
      {kCpuIntegerSse, typeid(CMBCoreXMM), typeid(CMotionEstimationCoreXMM),
       typeid(CPreprocCoreXMM)},
      {0, typeid(CMBCoreMMX), typeid(CMotionEstimationCoreMMX), typeid(CPreprocCoreMMX)},
  };
  for (const FactoryCase& c : cases) {
    CMBCore* mb = nullptr;
    CMotionEstimationCore* me = nullptr;
    CPreprocCore* pp = nullptr;
    ASSERT_TRUE(CreateMBCore(&mb, c.features));
    ASSERT_TRUE(CreateMotionEstimationCore(&me, c.features));
    ASSERT_TRUE(CreatePreprocCore(&pp, c.features));
    EXPECT_EQ(typeid(*mb), c.mb) << "word 0x" << std::hex << c.features;
    EXPECT_EQ(typeid(*me), c.me) << "word 0x" << std::hex << c.features;
    EXPECT_EQ(typeid(*pp), c.pp) << "word 0x" << std::hex << c.features;
    delete mb;
    delete me;
    delete pp;
  }
}

TEST(CoreFactories, ProcessWordGivesTheSse2OrSse3Classes) {
  CMBCore* mb = nullptr;
  ASSERT_TRUE(CreateMBCore(&mb));
  bool sse3 = (GetCpuFeatures() & kCpuSse3) != 0;
  EXPECT_EQ(typeid(*mb), sse3 ? typeid(CMBCoreXMM3) : typeid(CMBCoreXMM2));
  delete mb;
}

TEST(CoreFactories, FreshMacroblockCoreHasNoTablesAndNoScratch) {
  CMBCore* mb = nullptr;
  ASSERT_TRUE(CreateMBCore(&mb, kCpuSse2));
  EXPECT_EQ(mb->quantTables, nullptr);
  EXPECT_EQ(mb->scratch, nullptr);
  EXPECT_EQ(mb->currentReciprocals, nullptr);
  EXPECT_EQ(mb->currentDeadZone, nullptr);
  EXPECT_EQ(mb->lumaKernels, nullptr);
  EXPECT_EQ(mb->quantScaleTypeOffset, 0);
  delete mb;
}

TEST(CoreFactories, AllocationFailureGivesFalseAndNull) {
  g_failNothrowNew = true;
  CMBCore* mb = reinterpret_cast<CMBCore*>(1);
  CMotionEstimationCore* me = reinterpret_cast<CMotionEstimationCore*>(1);
  CPreprocCore* pp = reinterpret_cast<CPreprocCore*>(1);
  bool mbMade = CreateMBCore(&mb, kCpuSse2);
  bool meMade = CreateMotionEstimationCore(&me, kCpuSse3);
  bool ppMade = CreatePreprocCore(&pp, 0);
  g_failNothrowNew = false;
  EXPECT_FALSE(mbMade);
  EXPECT_FALSE(meMade);
  EXPECT_FALSE(ppMade);
  EXPECT_EQ(mb, nullptr);
  EXPECT_EQ(me, nullptr);
  EXPECT_EQ(pp, nullptr);
}

TEST(CoreFactoriesDeathTest, PlaceholderSlotAbortsWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CMBCoreMMX core;
  int16_t block[64] = {};
  EXPECT_DEATH(core.ForwardDct(block), "CMBCoreMMX::ForwardDct is not built");
}

}  // namespace
}  // namespace orx::dsp
