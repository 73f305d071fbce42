#pragma once
// The median of three signed integers: the estimators' and the macroblock encoders' motion
// vector predictions take it component by component.
#include <algorithm>

namespace orx::venc {

constexpr int Median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

}  // namespace orx::venc
