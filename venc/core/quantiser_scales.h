#pragma once
// The two quantiser scales with a code table: the MPEG-2 non-linear scale (ISO/IEC 13818-2
// Table 7-6) and the H.264 scale (the quantiser-to-QP table). Linear scales need no table
// (code = q >> 1).
#include <vector>

namespace orx::venc {

// Non-linear: q (0..112) to quantiser_scale_code, and code (0..31) to q. The inverse takes the
// smallest code whose scale is at least q, so a row is never coded finer than planned.
const std::vector<int>& NonLinearQuantToCode();
const std::vector<int>& NonLinearCodeToQuant();

// H.264: q (0..95) to QP through the quantiser-to-QP table, and QP (0..39) to q: the smallest q
// whose QP is at least the code.
const std::vector<int>& H264QuantToCode();
const std::vector<int>& H264CodeToQuant();

}  // namespace orx::venc
