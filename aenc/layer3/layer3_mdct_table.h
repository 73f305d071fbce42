#pragma once
// The process-wide Layer III MDCT table: T[k][n] = cos(pi / 72 (2n + 19)(2k + 1)) x
// sin(pi / 36 (n + 0.5)) / 9, the window and the transform's scale folded in.
namespace orx::aenc {

constexpr int kLayer3MdctLines = 18;
constexpr int kLayer3MdctInputs = 36;

// Fills `table` with T; Layer3MdctTable calls it once for the process.
void BuildMdctTable(float (*table)[kLayer3MdctInputs]);
// The finished table, built on the first call (safe on any number of threads at once).
const float (*Layer3MdctTable())[kLayer3MdctInputs];

}  // namespace orx::aenc
