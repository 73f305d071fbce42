#pragma once
// The quantiser-scale to H.264 QP table shared by the H.264 cost constants of motion estimation
// and by the H.264 quantiser scale of rate control.
#include <cstdint>

namespace orx::venc {

inline constexpr int kQuantiserToQpSize = 96;
extern const uint8_t kQuantiserToQp[kQuantiserToQpSize];

// QP of a truncated quantiser scale; indices outside 0..95 are clamped into the table.
int QuantiserToQp(int quantiserScale);

}  // namespace orx::venc
