// H.264 partition search of CMPEG4MotionEstimator: the picture loop, the macroblock decision
// (P partitions; the forward and backward passes of B macroblocks with the spatial direct
// candidate) and the quarter-pel search of one direction with vector costs and the 16x8 and
// 8x16 split searches.
#include <algorithm>
#include <cstdlib>

#include "venc/me/mpeg4_motion_estimator.h"

namespace orx::venc {

namespace {

inline const uint8_t* At(const uint8_t* plane, int pitch, int x, int y) {
  return plane + static_cast<ptrdiff_t>(y) * pitch + x;
}

inline bool Inside(const CMotionSearch::Window& w, CMotionSearch::Position p) {
  return p.x >= w.x0 && p.x <= w.x1 && p.y >= w.y0 && p.y <= w.y1;
}

// A split that is not searched costs this much, so that it never wins.
constexpr int kSplitOff = 65536;
// The split searches start above this 16x16 cost.
constexpr int kSplitThreshold = 512;
constexpr int kSplitOverhead = 36;
constexpr int kHalfThreshold = 32;
constexpr int kDirectMargin = 32;
constexpr int kBackwardMargin = 9;
constexpr uint32_t kPartitionMask =
    MBINFO_PART_16X16 | MBINFO_PART_16X8 | MBINFO_PART_8X16 | MBINFO_PART_8X8;

}  // namespace

struct CMPEG4MotionEstimator::PartitionResult {
  uint32_t partition = MBINFO_PART_16X16;
  Position position[2] = {};  // quarter-pel: the macroblock's, or the two halves' top-left
};

int CMPEG4MotionEstimator::CrossWithVectorCost(const uint8_t* plane, const Window& window,
                                               int px4, int py4, int, int, Position* position,
                                               int cost) {
  auto vectorCost = [&](Position p) { return VectorCost(4 * p.x - px4, 4 * p.y - py4); };
  int bestSad = cost;
  int best = cost + vectorCost(*position);
  auto consider = [&](int x, int y) {
    if (!Inside(window, {x, y})) return;
    const int sad = static_cast<int>(core->Sad16(At(plane, stride, x, y)));
    const int total = sad + vectorCost({x, y});
    if (total < best) {
      best = total;
      bestSad = sad;
      *position = {x, y};
    }
  };
  const Position origin = *position;
  consider(origin.x - 1, origin.y);
  consider(origin.x + 1, origin.y);
  const int x = position->x;
  consider(x, origin.y - 1);
  consider(x, origin.y + 1);
  return bestSad;
}

int CMPEG4MotionEstimator::SearchHalf(const uint8_t* plane, bool horizontalSplit, int half,
                                      const Window& full, const Position& start16, int x, int y,
                                      PackedMV predictor, Position* found) {
  const int ox = horizontalSplit ? 0 : 8 * half;
  const int oy = horizontalSplit ? 8 * half : 0;
  const int hx = x + ox;
  const int hy = y + oy;
  if (horizontalSplit) {
    if (half == 0) {
      core->SetTopHalf(currentMb, stride);
    } else {
      core->SetBottomHalf(currentMb, stride);
    }
  } else if (half == 0) {
    core->SetBlock(currentMb, stride);
  } else {
    core->SetRightHalf(currentMb, stride);
  }
  auto sad = [&](Position p) {
    const uint8_t* r = At(plane, stride, p.x, p.y);
    return static_cast<int>(horizontalSplit ? core->Sad16Prefetch(r) : core->Sad8(r));
  };
  const Window limits{full.x0 + ox, full.y0 + oy, full.x1 + ox, full.y1 + oy};
  const Window window{std::max(hx - windowHalfWidth, limits.x0),
                      std::max(hy - windowHalfHeight, limits.y0),
                      std::min(hx + windowHalfWidth, limits.x1),
                      std::min(hy + windowHalfHeight, limits.y1)};
  if (window.x1 < window.x0 || window.y1 < window.y0) {
    *found = {start16.x + ox, start16.y + oy};
    return kSplitOff;
  }
  Position p{std::clamp(start16.x + ox, window.x0, window.x1),
             std::clamp(start16.y + oy, window.y0, window.y1)};
  // Coarse step on the plane decimated 4:1 along the split (2:1 across it).
  const int extra = horizontalSplit ? offsetExtraHorz_ : offsetExtraVert_;
  if (extra != 0 && blockAligned_ != nullptr) {
    alignas(16) uint8_t decimated8x8[64];
    alignas(16) uint8_t halves[32];
    core->DecimateBlock(decimated8x8, currentMb, stride);
    const int sx = horizontalSplit ? 2 : 1;  // log2 of the plane's horizontal step
    const int sy = horizontalSplit ? 1 : 2;
    const int pitch = horizontalSplit ? stride4_ : extraVertStride_;
    if (horizontalSplit) {
      core->DecimateBlockHorz(halves, decimated8x8);
    } else {
      core->DecimateBlockVert(halves, decimated8x8);
    }
    const int rx0 = (window.x0 + (1 << sx) - 1) >> sx;
    const int rx1 = window.x1 >> sx;
    const int ry0 = (window.y0 + (1 << sy) - 1) >> sy;
    const int ry1 = window.y1 >> sy;
    if (rx1 >= rx0 && ry1 >= ry0) {
      int rx = std::clamp((p.x >> sx) - rx0, 0, rx1 - rx0);
      int ry = std::clamp((p.y >> sy) - ry0, 0, ry1 - ry0);
      core->SearchWindowThreshold2(At(blockAligned_ + extra, pitch, rx0, ry0), halves + 16 * half,
                                   pitch, rx1 - rx0 + 1, ry1 - ry0 + 1, &rx, &ry, kHalfThreshold);
      const int half4 = horizontalSplit ? 2 : 0;
      const int halfV = horizontalSplit ? 0 : 2;
      p = {std::clamp(((rx0 + rx) << sx) + half4, window.x0, window.x1),
           std::clamp(((ry0 + ry) << sy) + halfV, window.y0, window.y1)};
    }
  }
  int cost = sad(p);
  if (2 * cost > intraThreshold) {
    const int ex = horizontalSplit ? 2 : 1;
    const int ey = horizontalSplit ? 1 : 2;
    const Position centre = p;
    for (int yy = std::max(centre.y - ey, window.y0); yy <= std::min(centre.y + ey, window.y1); ++yy) {
      for (int xx = std::max(centre.x - ex, window.x0); xx <= std::min(centre.x + ex, window.x1);
           ++xx) {
        const int c = sad({xx, yy});
        if (c < cost) {
          cost = c;
          p = {xx, yy};
        }
      }
    }
  }
  const Position argument{hx + predictor.x / 4, hy + predictor.y / 4};
  if (Inside(window, argument) && !(argument == p)) {
    const int c = sad(argument);
    if (c <= cost + vectorPenalty) {
      cost = c;
      p = argument;
    }
  }
  *found = p;
  return cost;
}

int CMPEG4MotionEstimator::SearchMBQuarterPel(const uint8_t* plane, int x, int y, int px, int py,
                                              bool splits, PartitionResult* result) {
  core->SetBlock(currentMb, stride);
  result->partition = MBINFO_PART_16X16;
  // 1. Window, centre and the coarse step of the MPEG-4 style search.
  const Window full{std::max(x - rangeX, minX), std::max(y - rangeY, minY),
                    std::min(maxX, x + rangeX), std::min(maxY, y + rangeY)};
  int w = windowHalfWidth;
  int h = windowHalfHeight;
  if (pictureType == PICTURE_P) {
    if (std::abs(centreX) > 6 * w) w *= 2;
    if (std::abs(centreY) > 6 * h) h *= 2;
  }
  Position position{std::clamp(x + centreX / 4, full.x0, std::max(full.x0, full.x1)),
                    std::clamp(y + centreY / 4, full.y0, std::max(full.y0, full.y1))};
  if (noSearch != 0) {
    const int cost = static_cast<int>(core->Sad16Prefetch(At(plane, stride, position.x, position.y)));
    result->position[0] = {4 * position.x, 4 * position.y};
    return cost;
  }
  const Window local{std::max(position.x - w, full.x0), std::max(position.y - h, full.y0),
                     std::min(position.x + w, full.x1), std::min(position.y + h, full.y1)};
  switch (searchMode) {
    case 4:
      SearchHierarchical4to1(local, &position);
      break;
    case 6:
      SearchField(primaryPlane, stride, local, &position, nullptr);
      break;
    case 8:
      SearchHierarchical2(local, &position);
      break;
    case 10:
      SearchHierarchical(primaryPlane, stride, local, &position);
      break;
    default:
      break;
  }
  int cost = static_cast<int>(core->Sad16Prefetch(At(plane, stride, position.x, position.y)));
  const int px4 = 4 * x + px;
  const int py4 = 4 * y + py;
  // 2. The window pass, weighing each candidate's vector.
  if ((searchModeWord & 1) != 0 && 4 * cost > intraThreshold) {
    if (searchModeWord >= 0x1000000) {
      cost = SearchWindow(&position, full, cost, plane);
    } else {
      cost = CrossWithVectorCost(plane, full, px4, py4, x, y, &position, cost);
    }
  }
  // 3. The predictor itself, whose vector costs least to code.
  const Position argument{x + px / 4, y + py / 4};
  if (Inside(full, argument) && !(argument == position)) {
    const int c = static_cast<int>(core->Sad16(At(plane, stride, argument.x, argument.y))) - 16;
    if (c <= cost + VectorCost(4 * position.x - px4, 4 * position.y - py4)) {
      cost = std::max(c, 0);
      position = argument;
    }
  }
  const int cost16 = cost;
  const int activityLimit = currentMbInfo->intraActivity + intraThreshold;
  const bool refine16 = subPelWord != 0 && cost16 - cost16 / 4 < activityLimit;

  // 4. The split searches (P only; the settings' estimatorFlags switch each on).
  const bool search16x8 = splits && (estimatorFlags_ & kEstimatorSearch16x8) != 0;
  const bool search8x16 = splits && (estimatorFlags_ & kEstimatorSearch8x16) != 0;
  uint32_t chosen = MBINFO_PART_16X16;
  Position halves[2] = {position, position};
  int halfCosts[2] = {0, 0};
  if (cost > kSplitThreshold && (search16x8 || search8x16)) {
    const bool atPredictor = 4 * position.x == px4 && 4 * position.y == py4;
    const int c16 =
        cost + (atPredictor ? 2 * lambdaShifted_ : VectorCost(4 * position.x - px4, 4 * position.y - py4));
    int best = c16;
    auto relative = [&](Position p, int ox, int oy, PackedMV predictor) {
      return VectorCost(4 * (p.x - x - ox) - predictor.x, 4 * (p.y - y - oy) - predictor.y);
    };
    if (search16x8) {
      Position top;
      Position bottom;
      const int ct = SearchHalf(plane, true, 0, full, position, x, y, forward_.b, &top);
      const int cb = SearchHalf(plane, true, 1, full, position, x, y, forward_.a, &bottom);
      const int c = ct + cb + relative(top, 0, 0, forward_.b) + relative(bottom, 0, 8, forward_.a) +
                    kSplitOverhead;
      if (c < best) {
        best = c;
        chosen = MBINFO_PART_16X8;
        halves[0] = top;
        halves[1] = bottom;
        halfCosts[0] = ct;
        halfCosts[1] = cb;
      }
    }
    if (search8x16) {
      Position left;
      Position right;
      const int cl = SearchHalf(plane, false, 0, full, position, x, y, forward_.a, &left);
      const int cr = SearchHalf(plane, false, 1, full, position, x, y, forward_.c, &right);
      const int c = cl + cr + relative(left, 0, 0, forward_.a) + relative(right, 8, 0, forward_.c) +
                    kSplitOverhead;
      if (c < best) {
        best = c;
        chosen = MBINFO_PART_8X16;
        halves[0] = left;
        halves[1] = right;
        halfCosts[0] = cl;
        halfCosts[1] = cr;
      }
    }
    // Halves that found the same vector are one 16x16 partition.
    if (chosen == MBINFO_PART_16X8 && halves[1].x == halves[0].x && halves[1].y == halves[0].y + 8) {
      chosen = MBINFO_PART_16X16;
      position = halves[0];
      cost = halfCosts[0] + halfCosts[1];
    } else if (chosen == MBINFO_PART_8X16 && (estimatorFlags_ & kEstimatorMerge8x16) != 0 &&
               halves[1].x == halves[0].x + 8 && halves[1].y == halves[0].y) {
      chosen = MBINFO_PART_16X16;
      position = halves[0];
      cost = halfCosts[0] + halfCosts[1];
    }
  }

  // 5. Quarter-pel refinement of the partition chosen.
  if (chosen != MBINFO_PART_16X16) {
    const bool horizontal = chosen == MBINFO_PART_16X8;
    const PackedMV predictors[2] = {horizontal ? forward_.b : forward_.a,
                                    horizontal ? forward_.a : forward_.c};
    for (int k = 0; k < 2; ++k) {
      const int ox = horizontal ? 0 : 8 * k;
      const int oy = horizontal ? 8 * k : 0;
      Position p = halves[k];
      if (subPelWord != 0 && halfCosts[k] > 128 && refine16) {
        if (horizontal) {
          if (k == 0) {
            core->SetTopHalf(currentMb, stride);
          } else {
            core->SetBottomHalf(currentMb, stride);
          }
          halfCosts[k] = RefineSubPel16x8(&p, halfCosts[k], plane, stride,
                                          predictors[k].x + 4 * (x + ox), predictors[k].y + 4 * (y + oy));
        } else {
          if (k == 0) {
            core->SetBlock(currentMb, stride);
          } else {
            core->SetRightHalf(currentMb, stride);
          }
          halfCosts[k] = RefineSubPel8x16(&p, halfCosts[k], plane, stride,
                                          predictors[k].x + 4 * (x + ox), predictors[k].y + 4 * (y + oy));
        }
      } else {
        p = {4 * p.x, 4 * p.y};
      }
      halves[k] = p;
    }
    core->SetBlock(currentMb, stride);
    const int dx = horizontal ? 0 : 32;
    const int dy = horizontal ? 32 : 0;
    if (halves[1].x == halves[0].x + dx && halves[1].y == halves[0].y + dy) {
      // Refined into one vector: a 16x16 partition.
      result->position[0] = halves[0];
      return halfCosts[0] + halfCosts[1];
    }
    result->partition = chosen;
    result->position[0] = halves[0];
    result->position[1] = halves[1];
    return halfCosts[0] + halfCosts[1];
  }
  core->SetBlock(currentMb, stride);
  if (refine16 && cost > 128) {
    cost = RefineSubPel(&position, cost, plane, stride, px4, py4);
    result->position[0] = position;
    return cost;
  }
  result->position[0] = {4 * position.x, 4 * position.y};
  return cost;
}

int CMPEG4MotionEstimator::DirectCost(int x, int y, const MBInfo& mb, int forwardCost,
                                      int backwardCost, PackedMV forwardVector,
                                      PackedMV backwardVector) {
  const PackedMV own[2] = {forwardVector, backwardVector};
  const int owned[2] = {forwardCost, backwardCost};
  const uint8_t* planes[2] = {forwardPlane, backwardPlane};
  int costs[2] = {0, 0};
  int used = 0;
  for (int d = 0; d < 2; ++d) {
    if (directIndex_[d] < 0) continue;
    const PackedMV v = directVector_[d];
    if (v == own[d]) {
      costs[d] = owned[d];
    } else {
      const int bx = x + (v.x >> 2);
      const int by = y + (v.y >> 2);
      // A direct vector from a neighbour may point outside the searched limits.
      if (planes[d] == nullptr || bx < minX || bx > maxX || by < minY || by > maxY) {
        return COST_NO_INTERPOLATION;
      }
      costs[d] = static_cast<int>(
          core->SadHalfPel16(At(planes[d], stride, bx, by), (v.x >> 1) & 1, (v.y >> 1) & 1));
    }
    ++used;
  }
  (void)mb;
  if (used == 2) return (costs[0] + costs[1] + 1) >> 1;
  if (used == 1) return directIndex_[0] >= 0 ? costs[0] : costs[1];
  return COST_NO_INTERPOLATION;
}

int CMPEG4MotionEstimator::DecideMBPartition(int x, int y, MBInfo* mb) {
  core->SetBlock(currentMb, stride);
  currentMbInfo = mb;
  const int x4 = 4 * x;
  const int y4 = 4 * y;
  auto bias16 = [&](PackedMV v, PackedMV p) {
    return static_cast<int>((int64_t{BitsOf(v.x - p.x) + BitsOf(v.y - p.y)} * lambda_) >> 17);
  };
  auto differs = [&](PackedMV v, PackedMV p) {
    return (v.x != p.x ? vectorPenalty : 0) + (v.y != p.y ? vectorPenalty : 0);
  };
  struct Direction {
    int cost;
    uint32_t partition;
    PackedMV quadrant[4];
    int bias;
  };
  // One direction's partition search into quadrant vectors with its bias.
  auto run = [&](const uint8_t* plane, const DirectionPrediction& prediction, bool splits) {
    PartitionResult r;
    Direction d{};
    d.cost = SearchMBQuarterPel(plane, x, y, prediction.predictor.x, prediction.predictor.y,
                                splits, &r);
    d.partition = r.partition;
    auto vec = [&](Position p, int ox, int oy) {
      return PackedMV{static_cast<int16_t>(p.x - x4 - 4 * ox), static_cast<int16_t>(p.y - y4 - 4 * oy)};
    };
    if (r.partition == MBINFO_PART_16X8) {
      const PackedMV top = vec(r.position[0], 0, 0);
      const PackedMV bottom = vec(r.position[1], 0, 8);
      d.quadrant[0] = d.quadrant[1] = top;
      d.quadrant[2] = d.quadrant[3] = bottom;
      d.bias = (differs(top, prediction.b) + differs(bottom, prediction.a)) >> 2;
    } else if (r.partition == MBINFO_PART_8X16) {
      const PackedMV left = vec(r.position[0], 0, 0);
      const PackedMV right = vec(r.position[1], 8, 0);
      d.quadrant[0] = d.quadrant[2] = left;
      d.quadrant[1] = d.quadrant[3] = right;
      d.bias = (differs(left, prediction.a) + differs(right, prediction.c)) >> 2;
    } else {
      const PackedMV v = vec(r.position[0], 0, 0);
      for (PackedMV& q : d.quadrant) q = v;
      d.bias = bias16(v, prediction.predictor);
    }
    return d;
  };
  auto storeForward = [&](const Direction& d) {
    for (int q = 0; q < 4; ++q) mb->mv[q].forward = d.quadrant[q];
  };
  auto storeBackward = [&](const Direction& d) {
    for (int q = 0; q < 4; ++q) mb->mv[q].backward = d.quadrant[q];
  };

  if (pictureType == PICTURE_P) {
    const Direction f = run(forwardPlane, forward_, true);
    storeForward(f);
    mb->flags = f.partition | MBINFO_FORWARD;
    mb->interCost = f.cost;
    return f.bias;
  }

  // B macroblocks keep the 16x16 partition: the macroblock layer codes no B partitions.
  Direction f{};
  Direction b{};
  int direct = COST_NO_INTERPOLATION;
  f.partition = b.partition = MBINFO_PART_16X16;
  if (forwardSearch) {
    f = run(forwardPlane, forward_, false);
    b.cost = COST_NO_BACKWARD;
    b.bias = BIAS_MISSING_DIRECTION;
  } else if (backwardSearch) {
    // The forward pass ran when the picture entered the queue.
    f.cost = mb->interCost;
    for (int q = 0; q < 4; ++q) f.quadrant[q] = mb->mv[0].forward;
    f.bias = bias16(mb->mv[0].forward, forward_.predictor);
    b = run(backwardPlane, backward_, false);
    direct = DirectCost(x, y, *mb, f.cost, b.cost, f.quadrant[0], b.quadrant[0]);
  } else {
    f.cost = COST_NO_FORWARD;
    b.cost = COST_NO_BACKWARD;
    b.bias = 0;
  }
  storeForward(f);
  storeBackward(b);
  if (direct != COST_NO_INTERPOLATION && direct <= f.cost + f.bias + kDirectMargin &&
      direct <= b.cost + b.bias + kDirectMargin) {
    uint32_t directions = 0;
    if (directIndex_[0] >= 0) directions |= MBINFO_FORWARD;
    if (directIndex_[1] >= 0) directions |= MBINFO_BACKWARD;
    for (int q = 0; q < 4; ++q) mb->mv[q] = {directVector_[0], directVector_[1]};
    mb->flags = directions | MBINFO_PART_16X16;
    mb->interCost = direct;
    return 0;
  }
  if (f.cost + f.bias + kBackwardMargin >= b.cost + b.bias) {
    mb->flags = MBINFO_PART_16X16 | MBINFO_BACKWARD;
    mb->interCost = b.cost;
    return b.bias >> 1;
  }
  mb->flags = (f.partition & kPartitionMask) | MBINFO_FORWARD;
  mb->interCost = f.cost;
  return f.bias >> 1;
}

void CMPEG4MotionEstimator::EstimatePartitions(MBInfo* mbInfo) {
  centreX = centreY = 0;
  forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
  const bool searchActive = noSearch == 0 && searchModeWord != 0;
  const bool temporalActive = TemporalActive();
  rowPredictor = searchActive && (predictorWord & 1) != 0;
  const ArrayTemporalSource source(temporal_);
  const ITemporalSource* temporal = temporalActive ? &source : nullptr;
  CPicture* picture = currentPicture_;
  const CPicture* backward = picture->backwardRef;
  const MBInfo* colocated = backward != nullptr && backward->mbInfo != nullptr ? backward->mbInfo : mbInfo;
  const int border = settings_->borderY >> 4;
  const bool fieldMacroblocks = !progressivePicture_;
  BeginRows();
  bool firstOfRun = true;
  here_.picture = mbInfo;
  for (int row = 0; row < mbRows; ++row) {
    if (!InBand(row)) continue;
    MBInfo* first = mbInfo + row * mbCols;
    currentRow = currentSource_ + static_cast<ptrdiff_t>(row) * 16 * stride;
    if (row < border || row >= mbRows - border) {
      FillBorderRow4(first);
      picture->interCostSum += 1;
      continue;
    }
    RowTotals totals{1, 0, 0};
    forwardPredX = forwardPredY = backwardPredX = backwardPredY = 0;
    // Rows outside the band hold another pass's records: they are not neighbours.
    const bool upper = row > 0 && InBand(row - 1);
    for (int c = 0; c < mbCols; ++c) {
      MBInfo& mb = first[c];
      const uint32_t field = mb.flags & MBINFO_FIELD;
      here_.field = fieldMacroblocks && field != 0;
      here_.upperRow = upper;
      here_.upperRight = upper && c + 1 < mbCols;
      here_.upperLeft = upper && c > 0;
      here_.colocated = colocated + row * mbCols + c;
      if (rowPredictor) PredictCentre(row, c, firstOfRun, temporal);
      StoreVectors(&mb, c, 0, 5, !forwardSearch);
      int bias;
      if (here_.field) {
        const uint8_t* pointer = currentRow + 16 * c;
        if ((row & 1) != 0) pointer -= static_cast<ptrdiff_t>(15) * stride;
        currentMb = pointer;
        core->SetBlock(pointer, 2 * stride);
        bias = search_.SearchMBCandidatesField(16 * c, 16 * row, &mb);
        mb.flags |= MBINFO_PART_16X16;
      } else {
        currentMb = currentRow + 16 * c;
        bias = DecideMBPartition(16 * c, 16 * row, &mb);
      }
      mb.flags |= field;
      bias -= vectorPenalty;
      if (rowPredictor) {
        KeepRowVector(row, c, storedVector == 0 ? mb.mv[0].forward : mb.mv[0].backward);
      }
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
      if ((mb.flags & MBINFO_BIDIRECTIONAL) != MBINFO_BACKWARD) {
        const int quadrants = (mb.flags & MBINFO_PART_16X16) != 0 ? 1 : 4;
        for (int q = 0; q < quadrants; ++q) {
          const PackedMV v = mb.mv[q].forward;
          maxForwardX = std::max(maxForwardX, std::abs(int{v.x}));
          maxForwardY = std::max(maxForwardY, std::abs(int{v.y}));
        }
        if (quadrants == 1) {
          forwardPredX = mb.mv[0].forward.x;
          forwardPredY = mb.mv[0].forward.y;
        }
      }
      if ((mb.flags & MBINFO_BACKWARD) != 0) {
        const PackedMV v = mb.mv[0].backward;
        backwardPredX = v.x;
        backwardPredY = v.y;
        maxBackwardX = std::max(maxBackwardX, std::abs(int{v.x}));
        maxBackwardY = std::max(maxBackwardY, std::abs(int{v.y}));
      }
    }
    firstOfRun = false;
    const int32_t rowCost = totals.costTotal + totals.intraSum;
    picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
    picture->interCostSum += rowCost;
    picture->intraActivitySum += totals.intraSum;
    picture->intraMbCount += totals.intraCount;
  }
}

}  // namespace orx::venc
