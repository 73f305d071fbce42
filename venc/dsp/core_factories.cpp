#include "venc/dsp/core_factories.h"

#include <new>

#include "venc/dsp/cpu_features.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/preproc_core_variants.h"

namespace orx::dsp {
namespace {

// Stores the new object (null when allocation failed) and answers whether there is one.
template <typename Base>
bool Store(Base** out, Base* object) {
  *out = object;
  return object != nullptr;
}

}  // namespace

bool CreateMBCore(CMBCore** core) { return CreateMBCore(core, GetCpuFeatures()); }

bool CreateMBCore(CMBCore** core, uint32_t features) {
  if (features & kCpuSse3) return Store<CMBCore>(core, new (std::nothrow) CMBCoreXMM3);
  if (features & kCpuSse2) return Store<CMBCore>(core, new (std::nothrow) CMBCoreXMM2);
  if (features & kCpuIntegerSse) return Store<CMBCore>(core, new (std::nothrow) CMBCoreXMM);
  return Store<CMBCore>(core, new (std::nothrow) CMBCoreMMX);
}

bool CreateMotionEstimationCore(CMotionEstimationCore** core) {
  return CreateMotionEstimationCore(core, GetCpuFeatures());
}

bool CreateMotionEstimationCore(CMotionEstimationCore** core, uint32_t features) {
  using Base = CMotionEstimationCore;
  if (features & kCpuSse3) return Store<Base>(core, new (std::nothrow) CMotionEstimationCoreXMM3);
  if (features & kCpuSse2) return Store<Base>(core, new (std::nothrow) CMotionEstimationCoreXMM2);
  if (features & kCpuIntegerSse) {
    return Store<Base>(core, new (std::nothrow) CMotionEstimationCoreXMM);
  }
  return Store<Base>(core, new (std::nothrow) CMotionEstimationCoreMMX);
}

bool CreatePreprocCore(CPreprocCore** core) { return CreatePreprocCore(core, GetCpuFeatures()); }

bool CreatePreprocCore(CPreprocCore** core, uint32_t features) {
  if (features & kCpuSse2) return Store<CPreprocCore>(core, new (std::nothrow) CPreprocCoreXMM2);
  if (features & kCpuIntegerSse) {
    return Store<CPreprocCore>(core, new (std::nothrow) CPreprocCoreXMM);
  }
  return Store<CPreprocCore>(core, new (std::nothrow) CPreprocCoreMMX);
}

}  // namespace orx::dsp
