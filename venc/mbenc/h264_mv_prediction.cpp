// Motion-vector prediction of the H.264 encoder for one reference picture per list: the median
// and directional predictors that the written vector differences are taken against, the
// P_Skip vector and decision, and spatial direct prediction with B_Skip and B_Direct_16x16.
// The encoder never changes a vector: a macroblock is skipped or direct only when its own
// vectors, lists and residual already equal what a decoder infers.
//
// Neighbours are taken at 4x4-block precision (the left macroblock's right column, the block
// row above), so the same code serves whole macroblocks and partitions.
#include <algorithm>

#include "venc/mbenc/h264_encoder.h"

namespace orx::venc {
namespace {

constexpr uint32_t kPartitionBits = MBINFO_PART_16X8 | MBINFO_PART_8X16 | MBINFO_PART_8X8;

// One neighbouring partition of a list: ref -1 when it is missing, intra or does not use the
// list (its vector is then 0).
struct Neighbour {
  bool exists = false;
  int ref = -1;
  PackedMV mv{};
};

// The directional rules of 16x8 and 8x16 partitions.
enum class Shape { kSquare, kUpper16x8, kLower16x8, kLeft8x16, kRight8x16 };

int16_t Median3(int16_t a, int16_t b, int16_t c) {
  return std::min(std::max(a, b), std::max(std::min(a, b), c));
}

int MinPositive(int a, int b) { return a >= 0 && b >= 0 ? std::min(a, b) : std::max(a, b); }

}  // namespace

// The component-wise median of three vectors.
PackedMV MedianMV(PackedMV a, PackedMV b, PackedMV c) {
  return {Median3(a.x, b.x, c.x), Median3(a.y, b.y, c.y)};
}

namespace {

// The predictor of one partition (C already replaced by D where C is missing).
PackedMV PredictVector(Neighbour a, Neighbour b, Neighbour c, int ref, Shape shape) {
  if (!b.exists && !c.exists && a.exists) b = c = a;
  switch (shape) {
    case Shape::kUpper16x8: if (b.ref == ref) return b.mv; break;
    case Shape::kLower16x8: if (a.ref == ref) return a.mv; break;
    case Shape::kLeft8x16: if (a.ref == ref) return a.mv; break;
    case Shape::kRight8x16: if (c.ref == ref) return c.mv; break;
    case Shape::kSquare: break;
  }
  const int matches = (a.ref == ref) + (b.ref == ref) + (c.ref == ref);
  if (matches == 1) return a.ref == ref ? a.mv : b.ref == ref ? b.mv : c.mv;
  return MedianMV(a.mv, b.mv, c.mv);
}

}  // namespace

// The partition covering 4x4 block (x, y) of the current macroblock's surroundings, x in
// -1..4 and y in -1..3 (4x4-block units); decodedInside says whether a block inside the
// current macroblock is already coded.
static Neighbour BlockNeighbour(const CMBEncoder_H264& e, const MBInfo* mb, int mbw, int x, int y,
                                bool left, bool above, bool aboveRight, bool aboveLeft, int list,
                                bool decodedInside, bool pictureB) {
  const MBInfo* n = nullptr;
  int bx = x;
  int by = y;
  bool exists = false;
  if (y < 0) {
    by = 3;
    if (x < 0) {
      exists = aboveLeft;
      n = mb - mbw - 1;
      bx = 3;
    } else if (x > 3) {
      exists = aboveRight;
      n = mb - mbw + 1;
      bx = 0;
    } else {
      exists = above;
      n = mb - mbw;
    }
  } else if (x < 0) {
    exists = left;
    n = mb - 1;
    bx = 3;
  } else if (x <= 3) {
    exists = decodedInside;
    n = mb;
  }
  Neighbour r;
  r.exists = exists;
  if (!exists || (n->flags & MBINFO_INTRA)) return r;
  if (pictureB && !(n->flags & (list == 0 ? MBINFO_FORWARD : MBINFO_BACKWARD))) return r;
  r.ref = 0;
  r.mv = e.QuadrantVector(n, list, 2 * (by >> 1) + (bx >> 1));
  return r;
}

void CMBEncoder_H264::PredictMvP16x16(MBInfo* mb) { PredictMvPartition(mb, 0, 5, 0); }

void CMBEncoder_H264::PredictMvPartition(MBInfo* mb, int firstBlock, int topRightBlock, int) {
  const bool isB = pictureType_ == PICTURE_B;
  const int p = kH264BlockToRaster[firstBlock];
  const int x = p & 3;
  const int y = p >> 2;
  const int tr = kH264BlockToRaster[topRightBlock];
  const int cx = (tr & 3) + 1;
  const int cy = (tr >> 2) - 1;
  const auto at = [&](int bx, int by, bool inside) {
    return BlockNeighbour(*this, mb, mbw_, bx, by, leftAvailable_, aboveAvailable_, aboveRightAvailable_,
                          aboveLeftAvailable_, 0, inside, isB);
  };
  const Neighbour a = at(x - 1, y, true);
  const Neighbour b = at(x, y - 1, true);
  // Top-right blocks inside the macroblock are coded before the partition except those
  // whose top-right lies further right or below (blocks 7, 13, 15 of the block order).
  const bool trInside = !(topRightBlock == 7 || topRightBlock == 13 || topRightBlock == 15);
  Neighbour c = at(cx, cy, trInside);
  if (!c.exists) c = at(x - 1, y - 1, true);

  const uint32_t kind = PartitionKind(mb);
  Shape shape = Shape::kSquare;
  if (kind == MBINFO_PART_16X8) shape = firstBlock == 0 ? Shape::kUpper16x8 : Shape::kLower16x8;
  if (kind == MBINFO_PART_8X16) shape = firstBlock == 0 ? Shape::kLeft8x16 : Shape::kRight8x16;
  const PackedMV predictor = PredictVector(a, b, c, 0, shape);
  const int slot = firstBlock / 4;
  mvPredictors_[slot == 0 ? 0 : slot + 1] = predictor;
  if (firstBlock != 0 || kind != MBINFO_PART_16X16) return;

  // P_Skip: the zero vector where A or B is missing or a still neighbour of reference 0.
  const bool zero = !a.exists || !b.exists || (a.ref == 0 && a.mv == PackedMV{}) ||
                    (b.ref == 0 && b.mv == PackedMV{});
  skipVector_ = zero ? PackedMV{} : predictor;
  if (HasNoCoefficients() && mb->mv[0].forward == skipVector_) mb->flags |= MBINFO_SKIPPED;
}

void CMBEncoder_H264::PredictMvPartitions(MBInfo* mb) {
  switch (PartitionKind(mb)) {
    case MBINFO_PART_16X8:
      PredictMvPartition(mb, 0, 5, 0);
      PredictMvPartition(mb, 8, 13, 0);
      break;
    case MBINFO_PART_8X16:
      PredictMvPartition(mb, 0, 1, 0);
      PredictMvPartition(mb, 4, 5, 0);
      break;
    case MBINFO_PART_8X8:
      PredictMvPartition(mb, 0, 1, 0);
      PredictMvPartition(mb, 4, 5, 0);
      PredictMvPartition(mb, 8, 9, 0);
      PredictMvPartition(mb, 12, 13, 0);
      break;
    default:
      PredictMvPartition(mb, 0, 5, 0);
      break;
  }
}

void CMBEncoder_H264::PredictMvB(MBInfo* mb) {
  Neighbour a[2], b[2], c[2];
  for (int list = 0; list < 2; ++list) {
    const auto at = [&](int bx, int by) {
      return BlockNeighbour(*this, mb, mbw_, bx, by, leftAvailable_, aboveAvailable_, aboveRightAvailable_,
                            aboveLeftAvailable_, list, false, true);
    };
    a[list] = at(-1, 0);
    b[list] = at(0, -1);
    c[list] = at(4, -1);
    if (!c[list].exists) c[list] = at(-1, -1);
    mvPredictors_[list] = PredictVector(a[list], b[list], c[list], 0, Shape::kSquare);
  }

  // Spatial direct: the smallest non-negative reference of the neighbours per list.
  int refs[2];
  for (int list = 0; list < 2; ++list) {
    refs[list] = MinPositive(a[list].ref, MinPositive(b[list].ref, c[list].ref));
    directVectors_[list] = refs[list] >= 0 ? mvPredictors_[list] : PackedMV{};
  }
  if (refs[0] < 0 && refs[1] < 0) {
    refs[0] = refs[1] = 0;
    directVectors_[0] = directVectors_[1] = PackedMV{};
  }
  directRefs_[0] = refs[0];
  directRefs_[1] = refs[1];
  // The co-located macroblock must carry one vector for the whole macroblock, else the
  // decoder's still-block test would differ between its quadrants.
  if (colocated_ == nullptr) return;
  const MBInfo* col = colocated_ + (state_.mbY * mbw_ + state_.mbX);
  if (!(col->flags & MBINFO_INTRA) && !noPartition_ && (col->flags & kPartitionBits)) return;
  const PackedMV colMv = col->mv[0].forward;
  const bool colZero = !(col->flags & MBINFO_INTRA) && !(col->flags & MBINFO_FIELD_REF_FORWARD) &&
                       colMv.x >= -1 && colMv.x <= 1 && colMv.y >= -1 && colMv.y <= 1;
  for (int list = 0; list < 2; ++list) {
    if (colZero && refs[list] == 0) directVectors_[list] = PackedMV{};
  }
  const bool uses0 = (mb->flags & MBINFO_FORWARD) != 0;
  const bool uses1 = (mb->flags & MBINFO_BACKWARD) != 0;
  const bool match = uses0 == (refs[0] >= 0) && uses1 == (refs[1] >= 0) &&
                     (!uses0 || mb->mv[0].forward == directVectors_[0]) &&
                     (!uses1 || mb->mv[0].backward == directVectors_[1]);
  if (!match) return;
  mb->flags |= HasNoCoefficients() ? MBINFO_SKIPPED : MBINFO_DIRECT;
}

}  // namespace orx::venc
