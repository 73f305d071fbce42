#pragma once
// The small tables of the H.264 macroblock analysis and writer: the intra thresholds by
// internal QP, the chroma QP of a luma QP and the coded_block_pattern code numbers.
#include <cstdint>

namespace orx::venc {

// Indexed by the internal QP (0..39, eight more entries of 95 follow): the intra 16x16
// threshold of the picture loop and the chroma residual threshold of the intra chroma coder.
extern const uint8_t kH264IntraQpTable[48];

// The chroma internal QP of a luma internal QP 0..39 (chroma_qp_index_offset 0).
int H264ChromaQp(int internalQp);

// ue(v) code number of coded_block_pattern (luma bits 0..3 + 16 x chroma part 0..2) for an
// Intra_4x4 or an inter macroblock.
uint32_t H264CbpCodeNum(int codedBlockPattern, bool intra);

}  // namespace orx::venc
