#pragma once

namespace orx::venc {

// Divides a and b by the greatest common divisor of |a| and |b|. With a = 0 the result is
// 0 : +-1; both 0 stay as they are.
void ReduceFraction(int* a, int* b);

}  // namespace orx::venc
