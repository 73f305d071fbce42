#pragma once
// The built-in moving picture: what `orx-export --pattern` renders and what the tests
// regenerate to measure an export against. Planar 4:2:0, Y then Cb then Cr, chroma planes of
// (W + 1) / 2 x (H + 1) / 2. Samples stay in 60..190 (luma) and 103..153 (chroma), inside the
// colours that studio-range BGRA can carry, so a round trip through any host pixel format
// loses only rounding.
#include <cstddef>
#include <cstdint>

namespace orx::support {

size_t TestPatternFrameBytes(int width, int height);

// Writes frame `index` of a width x height pattern into planes (TestPatternFrameBytes bytes).
void RenderTestPattern(int width, int height, int64_t index, uint8_t* planes);

}  // namespace orx::support
