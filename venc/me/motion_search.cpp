// CMotionSearch: the macroblock decision, the search of one direction and the row pass.
#include "venc/me/motion_search.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "venc/me/motion_estimator.h"

namespace orx::venc {

namespace {

// Costs from this value on make the interpolated candidate worth a look only when neither
// single direction is tiny.
constexpr int kSmallestInterpolatedCost = 641;
constexpr int kLargestInterpolatedCost = 65535;

inline const uint8_t* At(const uint8_t* plane, int pitch, int x, int y) {
  return plane + static_cast<ptrdiff_t>(y) * pitch + x;
}

}  // namespace

bool CMotionSearch::AllocateRowBuffers(int columns) {
  // One zero entry on each side of the picture's columns.
  for (auto& buffer : rowBuffer_) {
    buffer.reset(new (std::nothrow) PredictorEntry[static_cast<size_t>(columns) + 2]());
    if (buffer == nullptr) return false;
  }
  rowBufferColumns_ = columns;
  return true;
}

CMotionSearch::Position CMotionSearch::StartPosition(int x, int y, PackedMV vector) {
  return {x + (vector.x >> 1), y + (vector.y >> 1)};
}

int CMotionSearch::Penalty(Position found, int px, int py, int x2, int y2) const {
  return (found.x != px + x2 ? vectorPenalty : 0) + (found.y != py + y2 ? vectorPenalty : 0);
}

int CMotionSearch::DecideBMode(int x, int y, MBInfo* mb) {
  core->SetBlock(currentMb, stride);
  currentMbInfo = mb;
  const int x2 = 2 * x;
  const int y2 = 2 * y;
  if (pictureType == PICTURE_P) {
    Position found = StartPosition(x, y, mb->mv[0].forward);
    const int cost = SearchMB(forwardPlane, x, y, forwardPredX, forwardPredY, &found);
    const PackedMV vector{static_cast<int16_t>(found.x - x2), static_cast<int16_t>(found.y - y2)};
    mb->mv[0].forward = vector;
    mb->interCost = cost;
    if (vector.x == 0 && vector.y == 0) {
      mb->flags = 0;
      return 0;
    }
    mb->flags = MBINFO_FORWARD;
    return Penalty(found, forwardPredX, forwardPredY, x2, y2) >> 1;
  }

  int f;
  int biasF = 0;
  int biasB = 0;
  int penaltyF = 0;
  Position positionF{x2, y2};
  if (forwardSearch) {
    positionF = StartPosition(x, y, mb->mv[0].forward);
    f = SearchMB(forwardPlane, x, y, forwardPredX, forwardPredY, &positionF);
    penaltyF = Penalty(positionF, forwardPredX, forwardPredY, x2, y2);
    biasF = penaltyF >> 1;
  } else if (backwardSearch) {
    // The forward pass ran when the picture entered the queue.
    f = mb->interCost;
    positionF = {x2 + mb->mv[0].forward.x, y2 + mb->mv[0].forward.y};
    penaltyF = Penalty(positionF, forwardPredX, forwardPredY, x2, y2);
  } else {
    f = COST_NO_FORWARD;
    biasB = BIAS_MISSING_DIRECTION;
  }

  int b;
  int bi;
  Position positionB{x2, y2};
  if (backwardSearch) {
    positionB = StartPosition(x, y, mb->mv[0].backward);
    b = SearchMB(backwardPlane, x, y, backwardPredX, backwardPredY, &positionB);
    biasF = forwardSearch ? (biasF + penaltyF) >> 1 : penaltyF >> 1;
    biasB = Penalty(positionB, backwardPredX, backwardPredY, x2, y2) >> 1;
    if (f >= kSmallestInterpolatedCost && f <= kLargestInterpolatedCost &&
        b >= kSmallestInterpolatedCost) {
      const int m = std::min(f, b);
      const int d = std::abs(f - b);
      if (4 * d < m) {
        bi = biasF + biasB + ((d + m) >> 1);
      } else if (5 * d >= 3 * m || biasF + biasB >= m) {
        bi = biasF + biasB + ((f + b) >> 1);
      } else {
        // Within 60 % of each other and the biases leave room: the true interpolated SAD.
        const uint8_t* a = At(forwardPlane, stride, positionF.x >> 1, positionF.y >> 1);
        const uint8_t* c = At(backwardPlane, stride, positionB.x >> 1, positionB.y >> 1);
        bi = biasF + biasB +
             static_cast<int>(core->SadBidirHalfPel16(a, c, positionF.x & 1, positionF.y & 1,
                                                      positionB.x & 1, positionB.y & 1));
      }
    } else {
      bi = COST_INTERPOLATION_SKIPPED;
    }
  } else {
    b = COST_NO_BACKWARD;
    bi = COST_NO_INTERPOLATION;
    biasF = 0;
    biasB = BIAS_MISSING_DIRECTION;
  }

  mb->mv[0].forward = {static_cast<int16_t>(positionF.x - x2),
                       static_cast<int16_t>(positionF.y - y2)};
  mb->mv[0].backward = {static_cast<int16_t>(positionB.x - x2),
                        static_cast<int16_t>(positionB.y - y2)};
  if (f + biasF + 9 < biasB + b && f <= bi + biasB) {
    mb->flags = MBINFO_FORWARD;
    mb->interCost = f;
    return biasF;
  }
  if (b > bi + biasF) {
    mb->flags = MBINFO_BIDIRECTIONAL;
    mb->interCost = bi;
    return biasF + biasB;
  }
  mb->flags = MBINFO_BACKWARD;
  mb->interCost = b;
  return biasB;
}

int CMotionSearch::SearchMB(const uint8_t* plane, int x, int y, int px, int py,
                            Position* position) {
  if (noSearch != 0) {
    *position = {2 * x, 2 * y};
    return static_cast<int>(core->Sad16Prefetch(At(plane, stride, x, y)));
  }
  // CMotionSearch::SearchMB, the search of one macroblock:
  // 1. The full window of the ranges, and the argument predictor in full-pel.
  const Window full{std::max(x - rangeX, minX), std::max(y - rangeY, minY),
                    std::min(maxX, x + rangeX), std::min(maxY, y + rangeY)};
  const Position argument{x + px / 2, y + py / 2};
  // 2. The local window around the centre predictor, wider for fast P motion.
  int w = windowHalfWidth;
  int h = windowHalfHeight;
  if (pictureType == PICTURE_P) {
    if (std::abs(centreX) > 3 * w) w *= 2;
    if (std::abs(centreY) > 3 * h) h *= 2;
  }
  const Position centre{std::clamp(x + centreX / 2, full.x0, std::max(full.x0, full.x1)),
                        std::clamp(y + centreY / 2, full.y0, std::max(full.y0, full.y1))};
  const Window local{std::max(centre.x - w, full.x0), std::max(centre.y - h, full.y0),
                     std::min(centre.x + w, full.x1), std::min(centre.y + h, full.y1)};
  // 3. The coarse search, or the start given.
  if (!searchStep) {
    position->x = std::clamp(position->x, full.x0, std::max(full.x0, full.x1));
    position->y = std::clamp(position->y, full.y0, std::max(full.y0, full.y1));
  } else {
    *position = centre;
  }
  switch (searchStep ? searchMode : 0) {
    case 4:
      SearchHierarchical4to1(local, position);
      break;
    case 6:
      SearchField(primaryPlane, stride, local, position, nullptr);
      break;
    case 8:
      SearchHierarchical2(local, position);
      break;
    case 10:
      SearchHierarchical(primaryPlane, stride, local, position);
      break;
    default:
      break;
  }
  // 4. Its cost in the given reference.
  int cost = static_cast<int>(core->Sad16Prefetch(At(plane, stride, position->x, position->y)));
  // 5. Refinements.
  if (refineStep && (searchModeWord & 16) == 0) {
    if ((searchModeWord & 1) != 0 && 4 * cost > intraThreshold) {
      cost = SearchWindow(position, full, cost, plane);
    }
    if (argument.x >= full.x0 && argument.x <= full.x1 && argument.y >= full.y0 &&
        argument.y <= full.y1 && !(argument == *position)) {
      // A vector equal to the prediction is cheaper to code: it may cost a little more.
      const int c = static_cast<int>(core->Sad16(At(plane, stride, argument.x, argument.y)));
      if (c <= cost + vectorPenalty) {
        cost = c;
        *position = argument;
      }
    }
    if (subPelWord != 0 && cost >= 129 &&
        cost - cost / 4 < currentMbInfo->intraActivity + intraThreshold) {
      return RefineHalfPel(position, cost, full, plane, stride, 2 * x + px, 2 * y + py);
    }
  }
  // 6. Half-pel units.
  position->x *= 2;
  position->y *= 2;
  return cost;
}

void CMotionSearch::BeginRows() {
  for (auto& buffer : rowBuffer_) {
    std::fill(buffer.get(), buffer.get() + rowBufferColumns_ + 2, PredictorEntry{});
  }
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
}

void CMotionSearch::FillBorderRow(MBInfo* first, int row) {
  uint32_t flags = 0;
  if (pictureType != PICTURE_P) flags = forwardSearch ? MBINFO_FORWARD : MBINFO_BACKWARD;
  for (int c = 0; c < mbCols; ++c) {
    MBInfo& mb = first[c];
    mb.flags = flags;
    mb.interCost = 0;
    mb.mv[0].forward = {};
    mb.mv[0].backward = {};
  }
  PredictorEntry* entries = rowBuffer_[row & 1].get() + 1;
  std::fill(entries, entries + mbCols, PredictorEntry{});
}

void CMotionSearch::PredictCentre(int row, int c, bool firstOfRun,
                                  const ITemporalSource* temporal) {
  PredictorEntry* current = rowBuffer_[row & 1].get() + 1;
  const PredictorEntry* previous = rowBuffer_[(row & 1) ^ 1].get() + 1;
  int tx = 0;
  int ty = 0;
  if (temporal != nullptr) temporal->Predict(row * mbCols + c, &tx, &ty);
  if (firstOfRun) {
    centreX = tx;
    centreY = ty;
  } else {
    const PredictorEntry* around[4] = {&current[c - 1], &previous[c - 1], &previous[c],
                                       &previous[c + 1]};
    int sx = 0;
    int sy = 0;
    if (temporal != nullptr) {
      for (const PredictorEntry* e : around) {
        sx += e->predictorX + e->vectorX;
        sy += e->predictorY + e->vectorY;
      }
      centreX = (8 * tx + sx + 7) >> 4;
      centreY = (8 * ty + sy + 7) >> 4;
    } else {
      for (const PredictorEntry* e : around) {
        sx += e->vectorX;
        sy += e->vectorY;
      }
      centreX = (sx + 3) >> 3;
      centreY = (sy + 3) >> 3;
    }
  }
  current[c].predictorX = centreX;
  current[c].predictorY = centreY;
}

void CMotionSearch::KeepRowVector(int row, int c, PackedMV vector) {
  PredictorEntry& entry = rowBuffer_[row & 1][static_cast<size_t>(c) + 1];
  entry.vectorX = vector.x;
  entry.vectorY = vector.y;
}

CMotionSearch::RowTotals CMotionSearch::EstimateMacroblockRow(MBInfo* first, int row,
                                                              bool firstOfRun,
                                                              const ITemporalSource* temporal) {
  RowTotals totals{1, 0, 0};
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const uint8_t* mbPointer = currentRow;
  for (int c = 0; c < mbCols; ++c, mbPointer += 16) {
    MBInfo& mb = first[c];
    if (rowPredictor) PredictCentre(row, c, firstOfRun, temporal);
    currentMb = mbPointer;
    const uint32_t field = mb.flags & MBINFO_FIELD;
    const int bias = DecideBMode(16 * c, 16 * row, &mb) - vectorPenalty;
    mb.flags = (mb.flags & ~MBINFO_FIELD) | field;
    if (rowPredictor) KeepRowVector(row, c, storedVector == 0 ? mb.mv[0].forward : mb.mv[0].backward);
    const int activity = mb.intraActivity;
    const int cost = mb.interCost;
    if (intraDecisions && (int64_t{bias} + cost > int64_t{intraThreshold} + activity ||
                           (cost >= 7169 && 4 * int64_t{cost} > 3 * int64_t{activity}))) {
      mb.flags = (mb.flags & ~MBINFO_BIDIRECTIONAL) | MBINFO_INTRA;
      forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
      totals.intraSum += activity;
      totals.intraCount += 1;
      continue;
    }
    totals.costTotal += cost;
    const PackedMV forward = mb.mv[0].forward;
    const PackedMV backward = mb.mv[0].backward;
    if ((mb.flags & MBINFO_BIDIRECTIONAL) != MBINFO_BACKWARD) {
      if (chainPredictors) {
        forwardPredX = forward.x;
        forwardPredY = forward.y;
      }
      maxForwardX = std::max(maxForwardX, std::abs(int{forward.x}));
      maxForwardY = std::max(maxForwardY, std::abs(int{forward.y}));
    }
    if ((mb.flags & MBINFO_BACKWARD) != 0) {
      if (chainPredictors) {
        backwardPredX = backward.x;
        backwardPredY = backward.y;
      }
      maxBackwardX = std::max(maxBackwardX, std::abs(int{backward.x}));
      maxBackwardY = std::max(maxBackwardY, std::abs(int{backward.y}));
    }
  }
  return totals;
}

}  // namespace orx::venc
