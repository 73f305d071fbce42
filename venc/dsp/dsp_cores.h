#pragma once
// The DSP cores of the video encoder: the three core interfaces, their factories and the CPU
// feature word that chooses the variants.
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"
#include "venc/dsp/mb_core.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/dsp/preproc_core.h"
#include "venc/dsp/quant_tables.h"
