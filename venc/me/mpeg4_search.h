#pragma once
// CMPEG4Search: the MPEG-4 style search of one macroblock on a CMotionSearch state, shared by
// the MPEG-4 style estimator (on its own state) and the workers of the threaded estimator (on
// their private copies). Vectors are quarter-pel; the window doubles for fast P motion at six
// half-sizes; the refinement is the quarter-pel step. Field macroblocks of interlaced H.264
// pictures are searched on one field of the reference at a time.
//
// Field positions are frame rows of the first sample of the 16-row field block: y & 1 is the
// reference field's parity and y >> 1 its field row; quarter-pel field results carry the
// parity in bit 0 and the quarter field row above it (2 x quarter row + parity).
#include <cstdint>

#include "venc/common/picture.h"
#include "venc/me/motion_search.h"

namespace orx::venc {

// The forward predictor of the MPEG-4 style row pass from the left (a, null in the first
// column), upper (b) and upper-right (c) macroblocks; intra neighbours count as absent.
PackedMV MedianForwardPredictor(const MBInfo* a, const MBInfo& b, const MBInfo& c);

class CMPEG4Search {
 public:
  using Position = CMotionSearch::Position;
  using Window = CMotionSearch::Window;

  explicit CMPEG4Search(CMotionSearch& state) : s_(state) {}

  // One direction of the macroblock at (x, y): the position found in quarter-pel, its cost.
  // (px, py) is the vector predictor in quarter-pel.
  int SearchMB(const uint8_t* plane, int x, int y, int px, int py, Position* position);
  // One direction of a field macroblock whose pair starts at frame row pairTop and whose own
  // field has parity `parity`: x quarter-pel, y the field form above. (px, py) in frame units.
  int SearchMBField(const uint8_t* plane, int x, int pairTop, int parity, int px, int py,
                    Position* position);

  // The per-macroblock decision with the estimator's predictors: vectors into mv[0], cost and
  // flags (8 forward, 4 backward) into `mb`; answers the vector bias of the choice. The core's
  // block must be the macroblock (pitch stride).
  int SearchMBCandidates(int x, int y, MBInfo* mb);
  // The same for a field macroblock of macroblock row y / 16 (the core's block: the
  // macroblock's field rows, pitch 2 x stride). Vertical vectors are stored in frame units;
  // flags 0x1000 / 0x4000 mark a reference field of the other parity.
  int SearchMBCandidatesField(int x, int y, MBInfo* mb);

  // The MPEG-4 style pass over macroblock row `row` (first: its first record; the state's
  // current row pointer set): the centre and forward predictors, the decision (field
  // macroblocks on one field when fieldMacroblocks), the 16x16 partition bit, the intra rule,
  // the vector ranges and the row's totals.
  CMotionSearch::RowTotals EstimateRow(MBInfo* first, int row, bool firstOfRun,
                                       const ITemporalSource* temporal, bool fieldMacroblocks);

 private:
  int Penalty(Position found, int px, int py, int x4, int y4) const;
  // The frame-unit vector of a quarter-pel field position from the pair's field block.
  static PackedMV FieldPositionToVector(int x, int pairTop, Position position);

  CMotionSearch& s_;
};

}  // namespace orx::venc
