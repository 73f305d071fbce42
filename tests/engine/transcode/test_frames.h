#pragma once
// Test frames in the host's pixel formats: random content with the frame id written into the
// top luma rows (so it survives every conversion), stored bottom-up where the format is.
#include <cstdint>
#include <vector>

namespace orx::test {

// Bytes of a frame of the subtype (float VUYA 16 per pixel, BGRA and VUYA 4, YUY2 2, planar 1.5).
uint32_t TestFrameBytes(uint32_t subtype, uint32_t width, uint32_t height);
// Whether the subtype's rows are stored from the bottom.
bool IsBottomUp(uint32_t subtype);
// A frame with random samples (float VUYA values a little outside their range, to reach the
// limits) and the id's stripes in display rows 0..7.
std::vector<uint8_t> MakeTestFrame(uint32_t subtype, uint32_t width, uint32_t height, uint32_t id, uint32_t seed);
// The id read back from a planar 4:2:0 luma plane.
uint32_t ReadTestId(const uint8_t* luma, uint32_t pitch, uint32_t width);

}  // namespace orx::test
