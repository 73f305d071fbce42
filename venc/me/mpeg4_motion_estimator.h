#pragma once
// CMPEG4MotionEstimator: the MPEG-4 style estimator of H.264 and the VC-1 advanced profile.
// It searches in quarter-pel units with the median vector predictor of the left, upper and
// upper-right macroblocks, searches field macroblocks of interlaced H.264 pictures on one field
// of the reference, and may be restricted to a band of macroblock rows (mode flag 0x100000
// with the first row in the low byte and the row count in the top byte). Progressive H.264 P
// and B pictures go to the partition search instead: the H.264 vector predictor from the
// neighbour tables, vector costs in bits times lambda, 16x8 and 8x16 partitions of P
// macroblocks when the settings' estimatorFlags ask for them, and the spatial direct
// candidate of B macroblocks.
#include <cstdint>

#include "venc/me/mpeg2_motion_estimator.h"
#include "venc/me/mpeg4_search.h"

namespace orx::venc {

// estimatorFlags bits of the H.264 partition search.
inline constexpr uint32_t kEstimatorSearch16x8 = 1u << 1;
inline constexpr uint32_t kEstimatorSearch8x16 = 1u << 2;
inline constexpr uint32_t kEstimatorMerge8x16 = 1u << 18;  // equal 8x16 halves become 16x16

// The H.264 neighbour tables: for each 4x4 block (in the H.264 block order) of a macroblock,
// ((dy x columns + dx) << 4) + the neighbour's block index, (dx, dy) the neighbour
// macroblock's offset. Table C holds 0 where the neighbour lies in the macroblock to the right.
enum NeighbourTableIndex : int { kNeighbourA = 0, kNeighbourB, kNeighbourC, kNeighbourD };
void BuildNeighbourTables(int mbCols, int16_t tables[4][16]);

class CMPEG4MotionEstimator : public CMPEG2MotionEstimator {
 public:
  CMPEG4MotionEstimator();
  explicit CMPEG4MotionEstimator(dsp::CMotionEstimationCore* core);
  ~CMPEG4MotionEstimator() override;

  // The base set-up, then the neighbour tables for H.264; false (with a debug line) when they
  // cannot be had.
  bool Init(const EncoderSettings* settings, CMBEncoder* encoder) override;
  void Close() override;
  void EstimatePicture(MBInfo* mbInfo) override;

  int SearchMB(const uint8_t* plane, int x, int y, int px, int py, Position* position) {
    return search_.SearchMB(plane, x, y, px, py, position);
  }
  int SearchMBCandidates(int x, int y, MBInfo* mb) { return search_.SearchMBCandidates(x, y, mb); }
  int SearchMBCandidatesField(int x, int y, MBInfo* mb) {
    return search_.SearchMBCandidatesField(x, y, mb);
  }

  // ---- H.264 ----
  // The predictors of the partition whose first and upper-right 4x4 blocks are given (block
  // order), for the forward direction and, when bidirectional, the backward one; the 16x16
  // call (0, 5) also writes the macroblock's predictor words and the direct candidate.
  void StoreVectors(MBInfo* mb, int column, int topLeftBlock, int topRightBlock,
                    bool bidirectional);
  // Picture loop of the partition search.
  void EstimatePartitions(MBInfo* mbInfo);
  // The decision of one macroblock (core block set); answers the vector bias.
  int DecideMBPartition(int x, int y, MBInfo* mb);

  // Neighbourhood of the current macroblock (the picture loop sets it; tests may too).
  struct Neighbourhood {
    bool upperRow = false;
    bool upperRight = false;
    bool upperLeft = false;
    bool field = false;
    MBInfo* picture = nullptr;     // the picture's MBInfo array
    const MBInfo* colocated = nullptr;  // the backward reference's record of this macroblock
  };
  Neighbourhood& CurrentNeighbourhood() { return here_; }

  // Results of StoreVectors (quarter-pel).
  struct DirectionPrediction {
    PackedMV predictor{};
    PackedMV a{}, b{}, c{};
    int refA = -1, refB = -1, refC = -1;
  };
  const DirectionPrediction& ForwardPrediction() const { return forward_; }
  const DirectionPrediction& BackwardPrediction() const { return backward_; }
  int DirectIndex(int direction) const { return directIndex_[direction]; }
  PackedMV DirectVector(int direction) const { return directVector_[direction]; }
  bool SkipUsesPredictor() const { return skipRule_ != 0; }
  const int16_t* NeighbourTable(NeighbourTableIndex which) const {
    return neighbourTables_ == nullptr ? nullptr : neighbourTables_[which];
  }
  // The vector cost of a quarter-pel difference: bits of both components times lambda.
  int VectorCost(int dx, int dy) const;

 protected:
  // A row inside the top or bottom border: zero vectors, cost 0, forward (or backward in a B
  // picture without the forward search), the 16x16 partition.
  void FillBorderRow4(MBInfo* first);

  CMPEG4Search search_{*this};

  // The neighbour tables' allocation; a test may fail it.
  using NeighbourTableSet = int16_t (*)[16];  // four tables of 16 entries
  virtual NeighbourTableSet AllocateNeighbourTables();

 private:
  struct PartitionResult;
  void EstimateFramePicture(MBInfo* mbInfo);
  void EstimateIntraPicture(MBInfo* mbInfo);
  bool InBand(int row) const;
  void NeighbourStep(MBInfo* mb, int column, int topLeft, int topRight, int direction, int ref,
                     DirectionPrediction* out, bool firstBlock);
  int SearchMBQuarterPel(const uint8_t* plane, int x, int y, int px, int py, bool splits,
                         PartitionResult* result);
  int CrossWithVectorCost(const uint8_t* plane, const Window& window, int px4, int py4, int x,
                          int y, Position* position, int cost);
  int SearchHalf(const uint8_t* plane, bool horizontalSplit, int half, const Window& full,
                 const Position& start16, int x, int y, PackedMV predictor, Position* found);
  int DirectCost(int x, int y, const MBInfo& mb, int forwardCost, int backwardCost,
                 PackedMV forwardVector, PackedMV backwardVector);
  int BitsOf(int d) const;

  int16_t (*neighbourTables_)[16] = nullptr;
  Neighbourhood here_;
  DirectionPrediction forward_;
  DirectionPrediction backward_;
  int directIndex_[2] = {-1, -1};
  PackedMV directVector_[2] = {};
  uint32_t skipRule_ = 0;
};

}  // namespace orx::venc
