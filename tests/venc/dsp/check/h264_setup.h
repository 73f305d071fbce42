#pragma once
// What the H.264 checks give a macroblock core before its kernels run: the quantiser records of
// an H.264 sequence (built once) with one record made current, and a scratch area.
#include <cstdint>

#include "venc/dsp/mb_core.h"

namespace orx::dsp::check {

// Points the core at the process's H.264 records, makes record (internalQp 0..39, kind 0..2)
// current and gives the core a scratch area when it has none.
void PrepareH264Core(CMBCore& core, int internalQp, int kind);

// Levels as the encoder makes them: `count` row-major residual blocks of 8-bit differences
// transformed and quantised by the plain class with the given record, from word `start` on.
// Word 0 of each block keeps its unquantised transform DC when start is 1.
void QuantisedLevels(int16_t* blocks, int count, const int16_t* residuals, int internalQp, int kind,
                     int start);

}  // namespace orx::dsp::check
