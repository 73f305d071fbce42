#pragma once
// Clipping helpers of the plain macroblock core. The plain kernels clip inline with them; the
// SIMD variants saturate instead.
#include <cstdint>

namespace orx::dsp {

// 0 below 0, 255 above 255.
inline int ClipToByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// low below low, else high above high, else v.
inline int ClampToRange(int v, int high, int low) { return v < low ? low : v > high ? high : v; }

// The sample range of the inverse DCT, -256..255.
inline int ClampIdctSample(int v) { return ClampToRange(v, 255, -256); }

}  // namespace orx::dsp
