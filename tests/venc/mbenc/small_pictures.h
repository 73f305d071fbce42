#pragma once
// Small test clips drawn by a formula, and the settings of short encodes of them.
#include <cstdint>
#include <functional>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/recording_encoder.h"

namespace orx::venc::test {

// plane 0 luma, 1 Cb, 2 Cr; (x, y) in that plane's samples.
using PixelFormula = std::function<uint8_t(int frame, int plane, int x, int y)>;
orx::test::RawVideo DrawVideo(int width, int height, int frames, const PixelFormula& pixel);

// A busy texture that every quantiser leaves coefficients in.
uint8_t Texture(int frame, int plane, int x, int y);

// An encode of `video` with a recording encoder of the codec's class.
EncodeSetup RecordedSetup(int codec, const orx::test::RawVideo& video, int n, int m, int q,
                          std::vector<MacroblockRecord>* log, CoreCounters* counters);

}  // namespace orx::venc::test
