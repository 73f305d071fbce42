#pragma once
// CMotionSearch: the search state of one picture and the block-matching steps that work on
// it: the per-macroblock decision between forward, backward and interpolated prediction, the
// search of one direction, the coarse search modes on decimated planes, the full-pel,
// half-pel and quarter-pel refinements, and the row pass with spatial and temporal vector
// prediction. CMPEG2MotionEstimator carries one as its search state; each worker of the
// threaded estimator carries its own copy, filled from the picture's AccConfig.
//
// Positions are absolute: the top-left sample of the block in the reference, full-pel unless
// said otherwise. Vectors are in half-pel units (quarter-pel for the quarter-pel steps).
#include <cstdint>
#include <memory>

#include "venc/common/picture.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::venc {

// One entry of a predictor row buffer: the centre predictor and the vector chosen.
struct PredictorEntry {
  int32_t predictorX;
  int32_t predictorY;
  int32_t vectorX;
  int32_t vectorY;
};

// The temporal vector prediction of one macroblock (index within the picture).
class ITemporalSource {
 public:
  virtual void Predict(int mbIndex, int* x, int* y) const = 0;

 protected:
  ~ITemporalSource() = default;
};

class CMotionSearch {
 public:
  struct Window {
    int x0, y0, x1, y1;  // inclusive
  };
  struct Position {
    int x, y;
    friend bool operator==(Position a, Position b) { return a.x == b.x && a.y == b.y; }
  };
  // What one macroblock row adds to the picture's statistics.
  struct RowTotals {
    int32_t costTotal;  // 1 + the chosen costs of the inter macroblocks
    int32_t intraSum;   // intra activity of the macroblocks turned intra
    int32_t intraCount;
  };

  CMotionSearch() = default;
  CMotionSearch(const CMotionSearch&) = delete;
  CMotionSearch& operator=(const CMotionSearch&) = delete;

  // Predictor row buffers for pictures of up to `columns` macroblock columns; false when they
  // cannot be had.
  bool AllocateRowBuffers(int columns);

  // ---- one macroblock ----
  // Searches the macroblock at (x, y) in the directions that are on and chooses its mode
  // into `mb` (flags, cost, both vectors); answers the vector bias of the choice.
  int DecideBMode(int x, int y, MBInfo* mb);
  // One direction: the best position (half-pel, or full-pel doubled) in `plane`, searched
  // around the centre predictor and tested against the argument predictor (px, py half-pel).
  // Without the search step the position passed in (full-pel) is where the refinements start.
  int SearchMB(const uint8_t* plane, int x, int y, int px, int py, Position* position);

  // ---- coarse search modes (window: the local window; position in/out, full-pel) ----
  void SearchHierarchical4to1(const Window& window, Position* position);  // mode 4
  // Mode 6: exhaustive field and frame search; with `second`, 128 for field prediction (the
  // position then the top field's, second the bottom field's), else 0.
  int SearchField(const uint8_t* plane, int pitch, const Window& window, Position* position,
                  Position* second);
  void SearchHierarchical2(const Window& window, Position* position);  // mode 8
  void SearchHierarchical(const uint8_t* plane, int pitch, const Window& window,
                          Position* position);  // mode 10
  // The core's block on one field (pitch 2 x stride); position y in field rows.
  void SearchHierarchicalField(const Window& window, Position* position);

  // ---- refinements ----
  // Full-pel window or cross around the position; answers the new cost.
  int SearchWindow(Position* position, const Window& window, int cost, const uint8_t* plane);
  // Half-pel refinement: position full-pel in, half-pel out; prediction in half-pel.
  int RefineHalfPel(Position* position, int cost, const Window& window, const uint8_t* plane,
                    int pitch, int predictedX, int predictedY);
  // Quarter-pel refinements: position full-pel in, quarter-pel out; prediction in
  // quarter-pel. The core's block is the 16x16 block, an 8x8 block, a 16x8 half or the
  // 8x16 halves.
  int RefineSubPel(Position* position, int cost, const uint8_t* plane, int pitch, int predictedX,
                   int predictedY);
  int RefineSubPel8x8(Position* position, int cost, const uint8_t* plane, int pitch, int predictedX,
                      int predictedY);
  int RefineSubPel16x8(Position* position, int cost, const uint8_t* plane, int pitch,
                       int predictedX, int predictedY);
  int RefineSubPel8x16(Position* position, int cost, const uint8_t* plane, int pitch,
                       int predictedX, int predictedY);

  // ---- row pass ----
  // Clears the predictor row buffers and the centre predictor: a new run of rows begins.
  void BeginRows();
  // The steps of the whole-picture pass for macroblock row `row` (first: its first record):
  // the centre predictor (temporal: the temporal source, or null), the decision, the intra
  // rule, the row's vector ranges and totals. `firstOfRun` takes the temporal prediction
  // alone as the centre, as the row buffers then hold nothing of this run.
  RowTotals EstimateMacroblockRow(MBInfo* first, int row, bool firstOfRun,
                                  const ITemporalSource* temporal);
  // The centre predictor of macroblock c of `row` (the first step of the row pass), kept as
  // the entry's predictor in the row buffer.
  void PredictCentre(int row, int c, bool firstOfRun, const ITemporalSource* temporal);
  // The vector the row buffer keeps for macroblock c of `row`.
  void KeepRowVector(int row, int c, PackedMV vector);
  // A row inside the top or bottom border: zero vectors, cost 0, no search.
  void FillBorderRow(MBInfo* first, int row);

  // ---- state ----
  dsp::CMotionEstimationCore* core = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  int mbCols = 0;
  int mbRows = 0;
  int intraThreshold = 0;  // I
  int vectorPenalty = 0;   // T
  int searchMode = 0;      // active mode: 0, 4, 6, 8 or 10
  uint32_t searchModeWord = 0;
  uint32_t subPelWord = 0;
  int noSearch = 0;
  int predictorWord = 0;
  int windowHalfWidth = 0;
  int windowHalfHeight = 0;
  int rangeX = 0;  // full-pel
  int rangeY = 0;
  int minX = 0;  // allowed block positions
  int minY = 0;
  int maxX = 0;
  int maxY = 0;
  int pictureType = 0;
  bool forwardSearch = false;
  bool backwardSearch = false;
  bool rowPredictor = false;              // centre predictors from the row buffers
  // The steps of SearchMB (the job kinds of the accelerator's workers): the coarse search from
  // the centre predictor, or else the macroblock's own vector as the start; the refinements.
  bool searchStep = true;
  bool refineStep = true;
  // Each macroblock's vectors predict the next one's in the row; off, the predictors stay 0.
  bool chainPredictors = true;
  bool intraDecisions = true;             // the intra rule applies
  int storedVector = 0;                   // the vector the row buffers keep: 0 forward, 1 backward
  const uint8_t* forwardPlane = nullptr;  // reconstructed references
  const uint8_t* backwardPlane = nullptr;
  const uint8_t* primaryPlane = nullptr;  // the reference source searched by modes 6 and 10
  const uint8_t* currentRow = nullptr;    // the source of the current macroblock row
  const uint8_t* currentMb = nullptr;
  MBInfo* currentMbInfo = nullptr;
  // Decimated planes of the reference (2:1 stride; plane origins inside the block).
  const uint8_t* decimated = nullptr;
  int decimatedStride = 0;
  int decimatedRows = 0;
  int offset2to1 = 0;
  int offset4to1 = 0;
  int offsetField = 0;
  // Predictors (half-pel).
  int centreX = 0;
  int centreY = 0;
  int forwardPredX = 0;
  int forwardPredY = 0;
  int backwardPredX = 0;
  int backwardPredY = 0;
  // Largest vector components chosen (half-pel).
  int maxForwardX = 0;
  int maxForwardY = 0;
  int maxBackwardX = 0;
  int maxBackwardY = 0;

  // The decimated current macroblock (packed 8x8) and the sub-pel cost sets.
  alignas(64) uint8_t scratch[128] = {};
  alignas(16) uint16_t subPelSums[16] = {};

 private:
  using SubPelFn = int (dsp::CMotionEstimationCore::*)(const uint8_t*, uint16_t*, int*, int, int);
  using SubPelYFn = int (dsp::CMotionEstimationCore::*)(const uint8_t*, int, uint16_t*, int*, int,
                                                        int);
  int RefineQuarterPel(Position* position, int cost, const uint8_t* plane, int pitch,
                       int predictedX, int predictedY, int bonus, SubPelFn horizontal,
                       SubPelYFn vertical);
  int ExhaustiveHalfPel(Position* position, int cost, const Window& window, const uint8_t* plane,
                        int pitch);
  int Penalty(Position found, int px, int py, int x2, int y2) const;
  // The full-pel position a vector (half-pel) points at from the block at (x, y).
  static Position StartPosition(int x, int y, PackedMV vector);

  std::unique_ptr<PredictorEntry[]> rowBuffer_[2];
  int rowBufferColumns_ = 0;
};

}  // namespace orx::venc
