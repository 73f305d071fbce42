// H.264 vector prediction of CMPEG4MotionEstimator: the neighbour tables, the neighbour step
// (the median predictor of the A, B and C neighbours, the P-skip rule, the direct reference
// indices) and StoreVectors with the spatial direct candidate; the vector cost.
#include <algorithm>
#include <bit>
#include <cstdlib>

#include "venc/common/median.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/me/mpeg4_motion_estimator.h"

namespace orx::venc {

namespace {

struct Step {
  int x, y;
};
constexpr Step kSteps[4] = {{-1, 0}, {0, -1}, {1, -1}, {-1, -1}};  // A, B, C, D

// Column bits (block & 5) and row bits (block & 10) of a block index in the H.264 order.
constexpr int kColumnBits = 5;
constexpr int kRowBits = 10;

PackedMV Median(PackedMV a, PackedMV b, PackedMV c) {
  return {static_cast<int16_t>(Median3(a.x, b.x, c.x)),
          static_cast<int16_t>(Median3(a.y, b.y, c.y))};
}

bool IsZero(PackedMV v) { return v.x == 0 && v.y == 0; }

}  // namespace

void BuildNeighbourTables(int mbCols, int16_t tables[4][16]) {
  for (int t = 0; t < 4; ++t) {
    for (int k = 0; k < 16; ++k) {
      const int raster = kH264BlockToRaster[k];
      const int nx = (raster & 3) + kSteps[t].x;
      const int ny = (raster >> 2) + kSteps[t].y;
      const int dx = nx < 0 ? -1 : nx >> 2;
      const int dy = ny < 0 ? -1 : ny >> 2;
      const int block = kH264BlockToRaster[(nx & 3) + 4 * (ny & 3)];
      // The macroblock to the right is never available: 0 marks it.
      const bool rightMacroblock = t == kNeighbourC && dx == 1 && dy == 0;
      tables[t][k] = rightMacroblock ? 0 : static_cast<int16_t>((dy * mbCols + dx) * 16 + block);
    }
  }
}

int CMPEG4MotionEstimator::BitsOf(int d) const {
  // The length of the signed Exp-Golomb code of d: what the picture store's code-length table
  // holds for the differences it covers, for any difference.
  const uint64_t codeNum = d > 0 ? 2 * uint64_t(d) - 1 : 2 * uint64_t(-int64_t{d});
  return 2 * std::bit_width(codeNum + 1) - 1;
}

int CMPEG4MotionEstimator::VectorCost(int dx, int dy) const {
  return static_cast<int>((int64_t{BitsOf(dx) + BitsOf(dy)} * lambda_) >> 16);
}

void CMPEG4MotionEstimator::NeighbourStep(MBInfo* mb, int column, int topLeft, int topRight,
                                          int direction, int ref, DirectionPrediction* out,
                                          bool firstBlock) {
  const int16_t* tableA = neighbourTables_[kNeighbourA];
  const int16_t* tableB = neighbourTables_[kNeighbourB];
  const int16_t* tableC = neighbourTables_[kNeighbourC];
  const int16_t* tableD = neighbourTables_[kNeighbourD];
  const bool hasA = column + (topLeft & kColumnBits) > 0;
  const bool hasB = (topLeft & kRowBits) != 0 || here_.upperRow;
  bool hasC = ((topRight & kRowBits) != 0 || here_.upperRow) &&
              ((topRight & kColumnBits) != kColumnBits || (topRight == 5 && here_.upperRight)) &&
              tableC[topRight] != 0;
  int16_t entryC = tableC[topRight];
  if (!hasC) {
    // The upper-left neighbour stands in; in the top row of the macroblock it lies in the row
    // above, which must exist.
    const bool hasD = !((topLeft != 0 || !here_.upperLeft) &&
                        (topLeft == 0 || column + (topLeft & kColumnBits) == 0)) &&
                      ((topLeft & kRowBits) != 0 || here_.upperRow);
    if (hasD) {
      hasC = true;
      entryC = tableD[topLeft];
    }
  }
  const uint32_t listFlag = direction == 0 ? MBINFO_FORWARD : MBINFO_BACKWARD;
  const uint32_t fieldFlag = direction == 0 ? MBINFO_FIELD_REF_FORWARD : MBINFO_FIELD_REF_BACKWARD;
  auto fetch = [&](bool present, int16_t entry, PackedMV* vector, int* reference) {
    *vector = {};
    *reference = -1;
    if (!present) return;
    const MBInfo& n = mb[entry >> 4];
    if ((n.flags & MBINFO_INTRA) != 0 || (n.flags & listFlag) == 0) return;
    const MBVectorPair& pair = n.mv[(entry & 15) >> 2];
    *vector = direction == 0 ? pair.forward : pair.backward;
    *reference = (n.flags & fieldFlag) != 0 ? 1 : 0;
    if (here_.field) {
      vector->y = static_cast<int16_t>(vector->y / 2 * 2);  // even, toward zero
    } else {
      *reference >>= 1;
    }
  };
  DirectionPrediction& p = *out;
  fetch(hasA, tableA[topLeft], &p.a, &p.refA);
  fetch(hasB, tableB[topLeft], &p.b, &p.refB);
  fetch(hasC, entryC, &p.c, &p.refC);
  if (hasB || hasC) {
    const int matches = (p.refA == ref) + (p.refB == ref) + (p.refC == ref);
    if (matches == 1) {
      p.predictor = p.refA == ref ? p.a : (p.refB == ref ? p.b : p.c);
    } else {
      p.predictor = Median(p.a, p.b, p.c);
    }
  } else {
    p.predictor = p.a;
  }
  if (direction == 0 && hasB && column >= 1) {
    const bool zeroA = p.refA == 0 && IsZero(p.a);
    const bool zeroB = p.refB == 0 && IsZero(p.b);
    skipRule_ = zeroA || zeroB ? 0 : ~0u;
  }
  if (firstBlock) {
    int smallest = -1;
    for (int r : {p.refA, p.refB, p.refC}) {
      if (r >= 0 && (smallest < 0 || r < smallest)) smallest = r;
    }
    directIndex_[direction] = smallest;
  }
}

void CMPEG4MotionEstimator::StoreVectors(MBInfo* mb, int column, int topLeftBlock,
                                         int topRightBlock, bool bidirectional) {
  const int ref = here_.field ? static_cast<int>((mb->flags >> 12) & 1) : 0;
  directVector_[0] = directVector_[1] = {};
  skipRule_ = 0;
  const bool first = topLeftBlock == 0;
  forward_ = {};
  NeighbourStep(mb, column, topLeftBlock, topRightBlock, 0, ref, &forward_, first && bidirectional);
  forwardPredX = forward_.predictor.x;
  forwardPredY = forward_.predictor.y;
  if (first) mb->encoderWords[0] = forward_.predictor.Word();
  if (!bidirectional) return;
  backward_ = {};
  NeighbourStep(mb, column, topLeftBlock, topRightBlock, 1, ref, &backward_, first);
  backwardPredX = backward_.predictor.x;
  backwardPredY = backward_.predictor.y;
  if (!first) return;
  mb->encoderWords[1] = backward_.predictor.Word();

  // The spatial direct candidate.
  const DirectionPrediction* predicted[2] = {&forward_, &backward_};
  for (int d = 0; d < 2; ++d) {
    const int index = directIndex_[d];
    if (index == ref) {
      directVector_[d] = predicted[d]->predictor;
    } else if (index >= 0) {
      DirectionPrediction other;
      NeighbourStep(mb, column, topLeftBlock, topRightBlock, d, index, &other, false);
      directVector_[d] = other.predictor;
    }
  }
  const MBInfo* col = here_.colocated;
  const bool colZero = col != nullptr && (col->flags & MBINFO_INTRA) == 0 &&
                       (col->flags & MBINFO_FIELD_REF_FORWARD) == 0 &&
                       std::abs(int{col->mv[0].forward.x}) <= 1 &&
                       std::abs(int{col->mv[0].forward.y}) <= 1;
  for (int d = 0; d < 2; ++d) {
    if (directIndex_[d] == 0 && colZero) directVector_[d] = {};
  }
  if (directIndex_[0] < 0 && directIndex_[1] < 0) {
    directIndex_[0] = directIndex_[1] = 0;
    directVector_[0] = directVector_[1] = {};
  }
}

}  // namespace orx::venc
