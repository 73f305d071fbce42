// The search steps of CMotionSearch: the coarse modes on decimated planes (4, 8, 10), the
// exhaustive field and frame search (6), the field search of field macroblocks, the full-pel
// window or cross, and the half-pel refinement. Every search keeps the first minimum in its
// scan order and moves only on a strictly smaller cost.
#include <algorithm>

#include "venc/me/motion_search.h"

namespace orx::venc {

namespace {

// Start of the 16-bit cost searches: larger than any 16x16 SAD.
constexpr uint32_t kNoCost = 0x10000;
constexpr int kThreshold4to1 = 32;
constexpr int kThresholdRowPairs = 40;

inline const uint8_t* At(const uint8_t* plane, int pitch, int x, int y) {
  return plane + static_cast<ptrdiff_t>(y) * pitch + x;
}

}  // namespace

void CMotionSearch::SearchHierarchical4to1(const Window& window, Position* position) {
  const int x = position->x;
  const int y = position->y;
  core->DecimateBlock(scratch, currentMb, stride);
  // 4:1 level.
  const int pitch4 = decimatedStride >> 1;
  const int x0 = (window.x0 + 3) >> 2;
  const int x1 = window.x1 >> 2;
  const int y0 = (window.y0 + 3) >> 2;
  const int y1 = window.y1 >> 2;
  Position centre{x >> 1, y >> 1};
  if (x1 - x0 + 1 > 1 && y1 - y0 + 1 > 1) {
    const int sx = std::min((x + 2) >> 2, x1) - x0;
    const int sy = std::min((y + 2) >> 2, y1) - y0;
    int rx = sx;
    int ry = sy;
    core->SearchWindow4x4Threshold(At(decimated + offset4to1, pitch4, x0, y0), scratch, pitch4,
                                   x1 - x0 + 1, y1 - y0 + 1, &rx, &ry, kThreshold4to1);
    if (rx != sx || ry != sy) centre = {2 * (x0 + rx), 2 * (y0 + ry)};
  }
  // 2:1 level: a small window around the centre.
  const int wx0 = std::max(centre.x - 1, (window.x0 + 1) >> 1);
  const int wx1 = std::min(centre.x + 2, window.x1 >> 1);
  const int wy0 = std::max(centre.y - 1, (window.y0 + 1) >> 1);
  const int wy1 = std::min(centre.y + 2, window.y1 >> 1);
  if (wx1 < wx0 || wy1 < wy0) return;  // no even position in the window
  int rx = std::clamp(centre.x - wx0, 0, wx1 - wx0);
  int ry = std::clamp(centre.y - wy0, 0, wy1 - wy0);
  core->SearchWindow8x4Stride2(At(decimated + offset2to1, decimatedStride, wx0, wy0), scratch,
                               decimatedStride, wx1 - wx0 + 1, wy1 - wy0 + 1, &rx, &ry);
  const Position found{2 * (wx0 + rx), 2 * (wy0 + ry)};
  // The even part of the given position found again: keep its odd full-pel position.
  if (found.x == (x & ~1) && found.y == (y & ~1)) return;
  *position = {std::clamp(found.x, window.x0, window.x1),
               std::clamp(found.y, window.y0, window.y1)};
}

void CMotionSearch::SearchHierarchical2(const Window& window, Position* position) {
  core->DecimateBlock(scratch, currentMb, stride);
  const int x0 = window.x0 >> 1;
  const int x1 = window.x1 >> 1;
  const int y0 = window.y0 >> 1;
  const int y1 = window.y1 >> 1;
  int rx = std::clamp((position->x >> 1) - x0, 0, x1 - x0);
  int ry = std::clamp((position->y >> 1) - y0, 0, y1 - y0);
  core->SearchWindow8x4Stride2(At(decimated + offset2to1, decimatedStride, x0, y0), scratch,
                               decimatedStride, x1 - x0 + 1, y1 - y0 + 1, &rx, &ry);
  Position found{2 * (x0 + rx), 2 * (y0 + ry)};
  if (found.x < window.x0) found.x += 1;
  if (found.y < window.y0) found.y += 1;
  *position = found;
}

void CMotionSearch::SearchHierarchical(const uint8_t* plane, int pitch, const Window& window,
                                       Position* position) {
  core->DecimateBlock(scratch, currentMb, stride);
  const int x0 = (window.x0 + 1) >> 1;
  const int x1 = window.x1 >> 1;
  const int y0 = (window.y0 + 3) >> 2;
  const int y1 = window.y1 >> 2;
  const Position entry = *position;
  Position centre = entry;
  if (x1 - x0 + 1 > 1 && y1 - y0 + 1 > 1) {
    const int sx = std::min((entry.x + 1) >> 1, x1) - x0;
    const int sy = std::min((entry.y + 2) >> 2, y1) - y0;
    int rx = sx;
    int ry = sy;
    core->SearchWindowRowPairs(At(decimated + offset2to1, decimatedStride, x0, y0), scratch,
                               decimatedStride, x1 - x0 + 1, y1 - y0 + 1, &rx, &ry,
                               kThresholdRowPairs);
    if (rx != sx || ry != sy) centre = {2 * (x0 + rx), 4 * (y0 + ry) + 2};
  }
  // Full-pel refinement around the centre; an empty range collapses to its lower end.
  const int xa = std::max(centre.x - 1, window.x0);
  const int xb = std::max(xa, std::min(centre.x + 1, window.x1));
  const int ya = std::max(centre.y - 2, window.y0);
  const int yb = std::max(ya, std::min(centre.y + 3, window.y1));
  uint32_t best = core->Sad16(At(plane, pitch, entry.x, entry.y));
  for (int cx = xa; cx <= xb; ++cx) {
    for (int cy = ya; cy <= yb; ++cy) {
      const uint32_t c = core->Sad16(At(plane, pitch, cx, cy));
      if (c < best) {
        best = c;
        *position = {cx, cy};
      }
    }
  }
}

int CMotionSearch::SearchField(const uint8_t* plane, int pitch, const Window& window,
                               Position* position, Position* second) {
  const uint8_t* mb = currentMb;
  uint32_t topBest = kNoCost;
  uint32_t bottomBest = kNoCost;
  uint32_t frameBest = kNoCost;
  Position top = *position;
  Position bottom = *position;
  Position frame = *position;
  for (int y = window.y0; y <= window.y1; ++y) {
    for (int x = window.x0; x <= window.x1; ++x) {
      core->SetFieldTop(mb, pitch);
      const uint32_t t = core->Sad16(At(plane, pitch, x, y));
      core->SetFieldBottom(mb, pitch);
      const uint32_t b = core->Sad16(At(plane, pitch, x, y + 1));
      if (t < topBest) {
        topBest = t;
        top = {x, y};
      }
      if (b < bottomBest) {
        bottomBest = b;
        bottom = {x, y + 1};
      }
      if (t + b < frameBest) {
        frameBest = t + b;
        frame = {x, y};
      }
    }
  }
  core->SetBlock(mb, stride);
  *position = frame;
  if (second == nullptr) return 0;
  // Field prediction only when the two fields beat the frame by more than 256.
  if (topBest + bottomBest + 256 >= frameBest) {
    *second = {frame.x, frame.y + 1};
    return 0;
  }
  *position = top;
  *second = bottom;
  return 128;
}

void CMotionSearch::SearchHierarchicalField(const Window& window, Position* position) {
  core->DecimateBlock(scratch, core->block, core->stride);
  const int x0 = (window.x0 + 1) >> 1;
  const int x1 = window.x1 >> 1;
  const int y0 = (window.y0 + 1) >> 1;
  const int y1 = window.y1 >> 1;
  if (x1 < x0 || y1 < y0) return;
  const int y = position->y;
  const int sx = std::clamp(((position->x + 1) >> 1) - x0, 0, x1 - x0);
  const int sy = std::clamp((y & 1) + 2 * (y >> 2) - y0, 0, y1 - y0);
  int rx = sx;
  int ry = sy;
  core->SearchWindow8x4Stride4(At(decimated + offsetField, decimatedStride, x0, y0), scratch,
                               decimatedStride, x1 - x0 + 1, y1 - y0 + 1, &rx, &ry);
  if (rx == sx && ry == sy) return;
  const int v = y0 + ry;
  *position = {std::clamp(2 * (x0 + rx), window.x0, window.x1),
               std::clamp((v & 1) + 4 * (v >> 1), window.y0, window.y1)};
}

int CMotionSearch::SearchWindow(Position* position, const Window& window, int cost,
                                const uint8_t* plane) {
  uint32_t best = static_cast<uint32_t>(cost);
  const Position origin = *position;
  auto consider = [&](int x, int y) {
    const uint32_t c = core->Sad16(At(plane, stride, x, y));
    if (c < best) {
      best = c;
      *position = {x, y};
    }
  };
  if (searchModeWord >= 0x1000000) {
    const int hw = static_cast<int>((searchModeWord >> 24) & 15);
    const int hh = static_cast<int>(searchModeWord >> 28);
    for (int y = std::max(origin.y - hh, window.y0); y <= std::min(origin.y + hh, window.y1); ++y) {
      for (int x = std::max(origin.x - hw, window.x0); x <= std::min(origin.x + hw, window.x1);
           ++x) {
        consider(x, y);
      }
    }
    return static_cast<int>(best);
  }
  // Cross: left, right, then one row up or down at the column chosen.
  if (origin.x - 1 >= window.x0) consider(origin.x - 1, origin.y);
  if (origin.x + 1 <= window.x1) consider(origin.x + 1, origin.y);
  const int x = position->x;
  if (origin.y > window.y0 && origin.y < window.y1) {
    int direction = 0;
    const uint32_t c =
        static_cast<uint32_t>(core->RefineFullPelVert(At(plane, stride, x, origin.y), &direction));
    if (c < best) {
      best = c;
      *position = {x, origin.y + direction};
    }
  } else if (origin.y == window.y0 && origin.y < window.y1) {
    consider(x, origin.y + 1);
  } else if (origin.y == window.y1 && origin.y > window.y0) {
    consider(x, origin.y - 1);
  }
  return static_cast<int>(best);
}

int CMotionSearch::ExhaustiveHalfPel(Position* position, int cost, const Window& window,
                                     const uint8_t* plane, int pitch) {
  const int hw = static_cast<int>((subPelWord >> 24) & 15);
  const int hh = static_cast<int>(subPelWord >> 28);
  const Position centre{2 * position->x, 2 * position->y};
  const bool fullPelDone = (searchModeWord & 1) != 0;
  uint32_t best = static_cast<uint32_t>(cost);
  Position found = centre;
  for (int y = std::max(centre.y - hh, 2 * window.y0); y <= std::min(centre.y + hh, 2 * window.y1);
       ++y) {
    for (int x = std::max(centre.x - hw, 2 * window.x0);
         x <= std::min(centre.x + hw, 2 * window.x1); ++x) {
      if (fullPelDone && (x & 1) == 0 && (y & 1) == 0) continue;
      const uint32_t c = core->SadHalfPel16(At(plane, pitch, x >> 1, y >> 1), x & 1, y & 1);
      if (c < best) {
        best = c;
        found = {x, y};
      }
    }
  }
  *position = found;
  return static_cast<int>(best);
}

int CMotionSearch::RefineHalfPel(Position* position, int cost, const Window& window,
                                 const uint8_t* plane, int pitch, int predictedX, int predictedY) {
  if ((subPelWord & 2) != 0 || (subPelWord & 0xFF000000u) != 0) {
    return ExhaustiveHalfPel(position, cost, window, plane, pitch);
  }
  const int h = vectorPenalty >> 1;
  const int x = position->x;
  const int y = position->y;
  int hx = 2 * x;
  int hy = 2 * y;
  // The running cost carries the bonus of every component equal to the prediction.
  int c = cost - (hx == predictedX ? h : 0) - (hy == predictedY ? h : 0);
  const int rowBias = hy == predictedY ? h : 0;
  const uint8_t* at = At(plane, pitch, x, y);
  // Horizontal step.
  int candidate = 0;
  int candidateCost = 0;
  bool tried = true;
  if (x > window.x0 && x < window.x1) {
    const int predictedDirection = predictedX == hx - 1 ? -1 : predictedX == hx + 1 ? 1 : 0;
    int direction = 0;
    candidateCost = core->RefineHalfPelHorz(at, &direction, predictedDirection, h);
    candidate = hx + direction;
  } else if (x == window.x0 && x < window.x1) {
    candidate = hx + 1;
    candidateCost =
        static_cast<int>(core->SadHalfPel16(at, 1, 0)) - (candidate == predictedX ? h : 0);
  } else if (x == window.x1 && x > window.x0) {
    candidate = hx - 1;
    candidateCost =
        static_cast<int>(core->SadHalfPel16(at - 1, 1, 0)) - (candidate == predictedX ? h : 0);
  } else {
    tried = false;
  }
  if (tried && candidateCost - rowBias < c) {
    c = candidateCost - rowBias;
    hx = candidate;
  }
  // Vertical step at the column chosen.
  const int halfX = hx & 1;
  const uint8_t* column = At(plane, pitch, hx >> 1, y);
  const int columnBias = hx == predictedX ? h : 0;
  tried = true;
  if (y > window.y0 && y < window.y1) {
    const int predictedDirection = predictedY == hy - 1 ? -1 : predictedY == hy + 1 ? 1 : 0;
    int direction = 0;
    candidateCost = core->RefineHalfPelVert(column, halfX, &direction, predictedDirection, h);
    candidate = hy + direction;
  } else if (y == window.y0 && y < window.y1) {
    candidate = hy + 1;
    candidateCost =
        static_cast<int>(core->SadHalfPel16(column, halfX, 1)) - (candidate == predictedY ? h : 0);
  } else if (y == window.y1 && y > window.y0) {
    candidate = hy - 1;
    candidateCost = static_cast<int>(core->SadHalfPel16(column - pitch, halfX, 1)) -
                    (candidate == predictedY ? h : 0);
  } else {
    tried = false;
  }
  if (tried && candidateCost - columnBias < c) {
    c = candidateCost - columnBias;
    hy = candidate;
  }
  *position = {hx, hy};
  return c + (hx == predictedX ? h : 0) + (hy == predictedY ? h : 0);
}

}  // namespace orx::venc
