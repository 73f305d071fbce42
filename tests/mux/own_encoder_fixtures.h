#pragma once
// Elementary streams made at test time by our own encoders, libqvavenc.so and libqvaaenc.so,
// kept as they delivered them: their format record, then their buffers with their flags and
// times (a picture over several buffers, the time on the first), ready for qvacmux.so's pins.
#include <cstdint>

#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {

// Interlaced MPEG-2 (GOP 15, M 3, closed groups) of a moving lavfi pattern, at 25000 or 29970
// frames per 1000 s.
EsFixture OurMpeg2Video(int width, int height, uint32_t framesPer1000s, int frames, uint32_t bitRate);
// MP2 at 48 kHz stereo, 192 kbit/s, of a tone pushed in timed 100 ms pieces.
EsFixture OurMp2Audio(double seconds);
// MPEG-1 Layer III at 48 kHz stereo, 128 kbit/s, made the same way.
EsFixture OurMp3Audio(double seconds);

}  // namespace orx::mux::test
