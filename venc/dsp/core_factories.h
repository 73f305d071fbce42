#pragma once
// The factories: each builds the deepest variant class that the CPU feature word allows.
// On allocation failure they store null and answer false.
#include <cstdint>

#include "venc/dsp/mb_core.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/dsp/preproc_core.h"

namespace orx::dsp {

// CMBCoreXMM3 with kCpuSse3, else CMBCoreXMM2 with kCpuSse2, else CMBCoreXMM with
// kCpuIntegerSse, else CMBCoreMMX.
bool CreateMBCore(CMBCore** core);
bool CreateMBCore(CMBCore** core, uint32_t features);
// The same choice over the motion-estimation classes.
bool CreateMotionEstimationCore(CMotionEstimationCore** core);
bool CreateMotionEstimationCore(CMotionEstimationCore** core, uint32_t features);
// CPreprocCoreXMM2 with kCpuSse2, else CPreprocCoreXMM with kCpuIntegerSse, else CPreprocCoreMMX.
bool CreatePreprocCore(CPreprocCore** core);
bool CreatePreprocCore(CPreprocCore** core, uint32_t features);

}  // namespace orx::dsp
