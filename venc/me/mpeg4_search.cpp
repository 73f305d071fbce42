// CMPEG4Search: quarter-pel search of one direction, of one field, and the per-macroblock
// choice between the forward and backward candidates.
#include "venc/me/mpeg4_search.h"

#include <algorithm>
#include <cstdlib>

#include "venc/common/median.h"
#include "venc/me/motion_estimator.h"

namespace orx::venc {

namespace {

inline const uint8_t* At(const uint8_t* plane, int pitch, int x, int y) {
  return plane + static_cast<ptrdiff_t>(y) * pitch + x;
}

inline bool Inside(const CMotionSearch::Window& w, CMotionSearch::Position p) {
  return p.x >= w.x0 && p.x <= w.x1 && p.y >= w.y0 && p.y <= w.y1;
}

// The coarse modes that have a field-decimated plane to search.
inline bool HasFieldPlane(int searchMode) { return searchMode == 4 || searchMode == 8; }

}  // namespace

int CMPEG4Search::Penalty(Position found, int px, int py, int x4, int y4) const {
  return (found.x != px + x4 ? s_.vectorPenalty : 0) + (found.y != py + y4 ? s_.vectorPenalty : 0);
}

int CMPEG4Search::SearchMB(const uint8_t* plane, int x, int y, int px, int py,
                           Position* position) {
  CMotionSearch& s = s_;
  const Window full{std::max(x - s.rangeX, s.minX), std::max(y - s.rangeY, s.minY),
                    std::min(s.maxX, x + s.rangeX), std::min(s.maxY, y + s.rangeY)};
  int w = s.windowHalfWidth;
  int h = s.windowHalfHeight;
  // Fast motion in P pictures: the local window doubles beyond six half-sizes (quarter-pel).
  if (s.pictureType == PICTURE_P) {
    if (std::abs(s.centreX) > 6 * w) w *= 2;
    if (std::abs(s.centreY) > 6 * h) h *= 2;
  }
  const Position centre{std::clamp(x + s.centreX / 4, full.x0, std::max(full.x0, full.x1)),
                        std::clamp(y + s.centreY / 4, full.y0, std::max(full.y0, full.y1))};
  *position = centre;
  if (s.noSearch != 0) {
    const int cost = static_cast<int>(s.core->Sad16Prefetch(At(plane, s.stride, centre.x, centre.y)));
    *position = {4 * centre.x, 4 * centre.y};
    return cost;
  }
  const Window local{std::max(centre.x - w, full.x0), std::max(centre.y - h, full.y0),
                     std::min(centre.x + w, full.x1), std::min(centre.y + h, full.y1)};
  switch (s.searchMode) {
    case 4:
      s.SearchHierarchical4to1(local, position);
      break;
    case 6:
      s.SearchField(s.primaryPlane, s.stride, local, position, nullptr);
      break;
    case 8:
      s.SearchHierarchical2(local, position);
      break;
    case 10:
      s.SearchHierarchical(s.primaryPlane, s.stride, local, position);
      break;
    default:
      break;
  }
  int cost = static_cast<int>(s.core->Sad16Prefetch(At(plane, s.stride, position->x, position->y)));
  if ((s.searchModeWord & 1) != 0 && 4 * cost > s.intraThreshold) {
    cost = s.SearchWindow(position, full, cost, plane);
  }
  const Position argument{x + px / 4, y + py / 4};
  if (Inside(full, argument) && !(argument == *position)) {
    const int c = static_cast<int>(s.core->Sad16(At(plane, s.stride, argument.x, argument.y)));
    if (c <= cost + s.vectorPenalty) {
      cost = c;
      *position = argument;
    }
  }
  if (s.subPelWord != 0 && cost >= 129 &&
      cost - cost / 4 < s.currentMbInfo->intraActivity + s.intraThreshold) {
    return s.RefineSubPel(position, cost, plane, s.stride, px + 4 * x, py + 4 * y);
  }
  *position = {4 * position->x, 4 * position->y};
  return cost;
}

int CMPEG4Search::SearchMBField(const uint8_t* plane, int x, int pairTop, int parity, int px,
                                int py, Position* position) {
  CMotionSearch& s = s_;
  const int fieldPitch = 2 * s.stride;
  // Frame rows y of the field block's first sample; the block covers rows y .. y + 30. Both
  // fields of the pair's own rows are always inside.
  const Window full{std::max(x - s.rangeX, s.minX), std::max(pairTop - s.rangeY, s.minY),
                    std::min(s.maxX, x + s.rangeX), std::min(s.maxY - 16, pairTop + s.rangeY + 1)};
  const int w = s.windowHalfWidth;
  const int h = 2 * (s.windowHalfHeight / 2);  // half the height in field rows
  auto clampInto = [](const Window& win, Position p) {
    return Position{std::clamp(p.x, win.x0, std::max(win.x0, win.x1)),
                    std::clamp(p.y, win.y0, std::max(win.y0, win.y1))};
  };
  const Position centre =
      clampInto(full, {x + s.centreX / 4, ((pairTop + s.centreY / 4) & ~1) | parity});
  *position = centre;
  auto quarter = [&](Position p) { return Position{4 * p.x, 8 * (p.y >> 1) + (p.y & 1)}; };
  if (s.noSearch != 0) {
    const int cost = static_cast<int>(s.core->Sad16Prefetch(At(plane, s.stride, centre.x, centre.y)));
    *position = quarter(centre);
    return cost;
  }
  const Window local{std::max(centre.x - w, full.x0), std::max(centre.y - h, full.y0),
                     std::min(centre.x + w, full.x1), std::min(centre.y + h, full.y1)};
  if (HasFieldPlane(s.searchMode)) s.SearchHierarchicalField(local, position);
  // A field row at frame row y starts y rows down; its rows are two frame rows apart.
  int cost = static_cast<int>(s.core->Sad16Prefetch(At(plane, s.stride, position->x, position->y)));
  if ((s.searchModeWord & 1) != 0 && 4 * cost > s.intraThreshold) {
    // The window pass on the field of the position: field rows at twice the pitch.
    const int q = position->y & 1;
    const Window field{full.x0, (full.y0 - q + 1) >> 1, full.x1, (full.y1 - q) >> 1};
    Position f{position->x, position->y >> 1};
    const int savedStride = s.stride;
    s.stride = fieldPitch;
    cost = s.SearchWindow(&f, field, cost, plane + static_cast<ptrdiff_t>(q) * savedStride);
    s.stride = savedStride;
    *position = {f.x, 2 * f.y + q};
  }
  const Position argument{x + px / 4, ((pairTop + py / 4) & ~1) | parity};
  if (Inside(full, argument) && !(argument == *position)) {
    const int c = static_cast<int>(s.core->Sad16(At(plane, s.stride, argument.x, argument.y)));
    if (c <= cost + s.vectorPenalty) {
      cost = c;
      *position = argument;
    }
  }
  if (s.subPelWord != 0 && cost >= 129 &&
      cost - cost / 4 < s.currentMbInfo->intraActivity + s.intraThreshold) {
    const int q = position->y & 1;
    Position f{position->x, position->y >> 1};
    cost = s.RefineSubPel(&f, cost, plane + static_cast<ptrdiff_t>(q) * s.stride, fieldPitch,
                          px + 4 * x, py / 2 + 2 * pairTop);
    *position = {f.x, 2 * f.y + q};
    return cost;
  }
  *position = quarter(*position);
  return cost;
}

int CMPEG4Search::SearchMBCandidates(int x, int y, MBInfo* mb) {
  CMotionSearch& s = s_;
  s.currentMbInfo = mb;
  const int x4 = 4 * x;
  const int y4 = 4 * y;
  auto vectorOf = [&](Position p) {
    return PackedMV{static_cast<int16_t>(p.x - x4), static_cast<int16_t>(p.y - y4)};
  };
  if (s.pictureType == PICTURE_P) {
    Position found{};
    const int cost = SearchMB(s.forwardPlane, x, y, s.forwardPredX, s.forwardPredY, &found);
    mb->mv[0].forward = vectorOf(found);
    mb->interCost = cost;
    mb->flags = MBINFO_FORWARD;  // also for a zero vector
    return Penalty(found, s.forwardPredX, s.forwardPredY, x4, y4) >> 1;
  }
  int f;
  int b;
  int biasB;
  Position positionF{x4, y4};
  Position positionB{x4, y4};
  if (s.forwardSearch) {
    f = SearchMB(s.forwardPlane, x, y, s.forwardPredX, s.forwardPredY, &positionF);
    b = COST_NO_BACKWARD;
    biasB = BIAS_MISSING_DIRECTION;
  } else if (s.backwardSearch) {
    // The forward pass ran when the picture entered the queue.
    f = mb->interCost;
    positionF = {x4 + mb->mv[0].forward.x, y4 + mb->mv[0].forward.y};
    b = SearchMB(s.backwardPlane, x, y, s.backwardPredX, s.backwardPredY, &positionB);
    biasB = Penalty(positionB, s.backwardPredX, s.backwardPredY, x4, y4) >> 1;
  } else {
    f = COST_NO_FORWARD;
    b = COST_NO_BACKWARD;
    biasB = 0;
  }
  const int biasF = Penalty(positionF, s.forwardPredX, s.forwardPredY, x4, y4) >> 1;
  mb->mv[0].forward = vectorOf(positionF);
  mb->mv[0].backward = vectorOf(positionB);
  if (f + biasF + 9 >= b + biasB) {
    mb->flags = MBINFO_BACKWARD;
    mb->interCost = b;
    return biasB;
  }
  mb->flags = MBINFO_FORWARD;
  mb->interCost = f;
  return biasF;
}

PackedMV CMPEG4Search::FieldPositionToVector(int x, int pairTop, Position position) {
  // Quarter field rows from the pair's field block, stored in frame units (twice).
  return PackedMV{static_cast<int16_t>(position.x - 4 * x),
                  static_cast<int16_t>(((position.y >> 1) - 2 * pairTop) * 2)};
}

int CMPEG4Search::SearchMBCandidatesField(int x, int y, MBInfo* mb) {
  CMotionSearch& s = s_;
  s.currentMbInfo = mb;
  const int parity = (y >> 4) & 1;  // the bottom macroblock of a pair holds the bottom field
  const int pairTop = y - 16 * parity;
  auto penalty = [&](PackedMV v, int px, int py) {
    return (v.x != px ? s.vectorPenalty : 0) + (v.y != py ? s.vectorPenalty : 0);
  };
  auto otherParity = [&](Position p) { return (p.y & 1) != parity; };
  if (s.pictureType == PICTURE_P) {
    Position found{};
    const int cost =
        SearchMBField(s.forwardPlane, x, pairTop, parity, s.forwardPredX, s.forwardPredY, &found);
    const PackedMV v = FieldPositionToVector(x, pairTop, found);
    mb->mv[0].forward = v;
    mb->interCost = cost;
    mb->flags = MBINFO_FORWARD | (otherParity(found) ? MBINFO_FIELD_REF_FORWARD : 0);
    return penalty(v, s.forwardPredX, s.forwardPredY) >> 1;
  }
  int f;
  int b;
  int biasB;
  PackedMV vf{};
  PackedMV vb{};
  uint32_t forwardField = 0;
  uint32_t backwardField = 0;
  if (s.forwardSearch) {
    Position found{};
    f = SearchMBField(s.forwardPlane, x, pairTop, parity, s.forwardPredX, s.forwardPredY, &found);
    vf = FieldPositionToVector(x, pairTop, found);
    forwardField = otherParity(found) ? MBINFO_FIELD_REF_FORWARD : 0;
    b = COST_NO_BACKWARD;
    biasB = BIAS_MISSING_DIRECTION;
  } else if (s.backwardSearch) {
    f = mb->interCost;
    vf = mb->mv[0].forward;
    forwardField = mb->flags & MBINFO_FIELD_REF_FORWARD;
    Position found{};
    b = SearchMBField(s.backwardPlane, x, pairTop, parity, s.backwardPredX, s.backwardPredY,
                      &found);
    vb = FieldPositionToVector(x, pairTop, found);
    backwardField = otherParity(found) ? MBINFO_FIELD_REF_BACKWARD : 0;
    biasB = penalty(vb, s.backwardPredX, s.backwardPredY) >> 1;
  } else {
    f = COST_NO_FORWARD;
    b = COST_NO_BACKWARD;
    biasB = 0;
  }
  const int biasF = penalty(vf, s.forwardPredX, s.forwardPredY) >> 1;
  mb->mv[0].forward = vf;
  mb->mv[0].backward = vb;
  // No margin for the field candidates: a tie stays forward.
  if (f + biasF > b + biasB) {
    mb->flags = MBINFO_BACKWARD | backwardField;
    mb->interCost = b;
    return biasB;
  }
  mb->flags = MBINFO_FORWARD | forwardField;
  mb->interCost = f;
  return biasF;
}

namespace {

bool IsIntra(const MBInfo& mb) { return (mb.flags & MBINFO_INTRA) != 0; }
bool IsZero(PackedMV v) { return v.x == 0 && v.y == 0; }

PackedMV Median(PackedMV a, PackedMV b, PackedMV c) {
  return {static_cast<int16_t>(Median3(a.x, b.x, c.x)),
          static_cast<int16_t>(Median3(a.y, b.y, c.y))};
}

}  // namespace

PackedMV MedianForwardPredictor(const MBInfo* a, const MBInfo& b, const MBInfo& c) {
  const PackedMV zero{};
  const PackedMV vb = b.mv[0].forward;
  const PackedMV vc = c.mv[0].forward;
  if (a == nullptr) return IsIntra(b) ? zero : vb;
  const PackedMV va = a->mv[0].forward;
  if (IsIntra(*a)) {
    if (IsIntra(b)) return IsIntra(c) ? zero : vc;
    if (!IsZero(vb)) return IsIntra(c) ? vb : Median(zero, vb, vc);
    return zero;
  }
  if (IsIntra(b)) {
    if (IsZero(va)) return zero;
    return IsIntra(c) ? va : Median(va, zero, vc);
  }
  if (!IsZero(va) && !IsZero(vb)) return IsIntra(c) ? Median(va, vb, zero) : Median(va, vb, vc);
  return zero;
}

CMotionSearch::RowTotals CMPEG4Search::EstimateRow(MBInfo* first, int row, bool firstOfRun,
                                                  const ITemporalSource* temporal,
                                                  bool fieldMacroblocks) {
  CMotionSearch& s = s_;
  CMotionSearch::RowTotals totals{1, 0, 0};
  s.forwardPredX = s.forwardPredY = s.backwardPredX = s.backwardPredY = 0;
  const int columns = s.mbCols;
  for (int c = 0; c < columns; ++c) {
    MBInfo& mb = first[c];
    if (s.rowPredictor) s.PredictCentre(row, c, firstOfRun, temporal);
    // After the first row: the median of the left, upper and upper-right macroblocks (the
    // upper-left in the last column); in the first row the left macroblock's vector.
    if (!firstOfRun) {
      const MBInfo* above = first - columns;
      const MBInfo& upperRight = c + 1 < columns ? above[c + 1] : above[std::max(c - 1, 0)];
      const PackedMV p =
          MedianForwardPredictor(c > 0 ? &first[c - 1] : nullptr, above[c], upperRight);
      s.forwardPredX = p.x;
      s.forwardPredY = p.y;
    }
    const uint32_t field = mb.flags & MBINFO_FIELD;
    const uint8_t* pointer = s.currentRow + 16 * c;
    int bias;
    if (fieldMacroblocks && field != 0) {
      // The bottom macroblock of a pair holds the pair's bottom field rows.
      if ((row & 1) != 0) pointer -= static_cast<ptrdiff_t>(15) * s.stride;
      s.currentMb = pointer;
      s.core->SetBlock(pointer, 2 * s.stride);
      bias = SearchMBCandidatesField(16 * c, 16 * row, &mb);
    } else {
      s.currentMb = pointer;
      s.core->SetBlock(pointer, s.stride);
      bias = SearchMBCandidates(16 * c, 16 * row, &mb);
    }
    mb.flags |= MBINFO_PART_16X16 | field;
    bias -= s.vectorPenalty;
    if (s.rowPredictor) {
      s.KeepRowVector(row, c, s.storedVector == 0 ? mb.mv[0].forward : mb.mv[0].backward);
    }
    const int activity = mb.intraActivity;
    const int cost = mb.interCost;
    if (s.intraDecisions && (int64_t{bias} + cost > int64_t{s.intraThreshold} + activity ||
                             (cost >= 7169 && 4 * int64_t{cost} > 3 * int64_t{activity}))) {
      mb.flags = (mb.flags & ~MBINFO_BIDIRECTIONAL) | MBINFO_INTRA;
      s.forwardPredX = s.forwardPredY = s.backwardPredX = s.backwardPredY = 0;
      totals.intraSum += activity;
      totals.intraCount += 1;
      continue;
    }
    totals.costTotal += cost;
    if ((mb.flags & MBINFO_BIDIRECTIONAL) != MBINFO_BACKWARD) {
      const PackedMV v = mb.mv[0].forward;
      s.forwardPredX = v.x;
      s.forwardPredY = v.y;
      s.maxForwardX = std::max(s.maxForwardX, std::abs(int{v.x}));
      s.maxForwardY = std::max(s.maxForwardY, std::abs(int{v.y}));
    }
    if ((mb.flags & MBINFO_BACKWARD) != 0) {
      const PackedMV v = mb.mv[0].backward;
      s.backwardPredX = v.x;
      s.backwardPredY = v.y;
      s.maxBackwardX = std::max(s.maxBackwardX, std::abs(int{v.x}));
      s.maxBackwardY = std::max(s.maxBackwardY, std::abs(int{v.y}));
    }
  }
  return totals;
}

}  // namespace orx::venc
