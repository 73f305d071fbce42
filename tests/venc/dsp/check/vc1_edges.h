#pragma once
// Edges for the VC-1 deblocking checks: lines of eight samples P1..P8 across an edge, drawn in
// segments of four so that the threshold and activity tests pass and fail in about equal
// numbers, and so that the third line of a segment often differs from the other three (it
// alone decides whether they are filtered).
#include <cstdint>

#include "tests/venc/dsp/check/harness.h"

namespace orx::dsp::check {

// Draws `lines` lines; P1 of line i is at p1 + i * lineStep, Pk at (k - 1) * sampleStep on.
void DrawEdges(Rng& rng, uint8_t* p1, int lineStep, int sampleStep, int lines, int pquant);

}  // namespace orx::dsp::check
