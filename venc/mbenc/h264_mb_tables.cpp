#include "venc/mbenc/h264_mb_tables.h"

#include <algorithm>

#include "venc/mbenc/h264_encoder.h"

namespace orx::venc {
namespace {

// QPc of every qPI, generated from the standard's table.
constexpr uint8_t kChromaQp[52] = {
#include "venc/mbenc/h264_chroma_qp.inc"
};

struct CbpCodeNums {
  uint8_t intra;
  uint8_t inter;
};
constexpr CbpCodeNums kCbpCodeNums[48] = {
#include "venc/mbenc/h264_cbp_codenum.inc"
};

}  // namespace

const uint8_t kH264IntraQpTable[48] = {0,  2,  3,  3,  3,  4,  4,  5,  5,  6,  6,  7,  8,  9,  10, 11,
                                       12, 13, 15, 16, 18, 20, 22, 25, 27, 30, 33, 37, 40, 44, 48, 53,
                                       57, 62, 67, 73, 78, 83, 88, 93, 95, 95, 95, 95, 95, 95, 95, 95};

int H264ChromaQp(int internalQp) {
  const int qp = std::clamp(internalQp, 0, 39) + kH264QpOffset;
  return kChromaQp[qp] - kH264QpOffset;
}

uint32_t H264CbpCodeNum(int codedBlockPattern, bool intra) {
  const CbpCodeNums& n = kCbpCodeNums[std::clamp(codedBlockPattern, 0, 47)];
  return intra ? n.intra : n.inter;
}

}  // namespace orx::venc
