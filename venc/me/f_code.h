#pragma once

namespace orx::venc {

// The MPEG f_code that covers a vector range (largest component): 1 below 16, one more for
// each doubling, 9 from 2048 on.
int GetFCode(int range);

}  // namespace orx::venc
