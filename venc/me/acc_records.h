#pragma once
// The records a threaded estimator shares with the workers of the encode accelerator: one
// exchange entry per macroblock, written by the estimator before a band is posted and read by
// the worker that estimates the band, and one statistics record per job, written by the worker
// and summed into the picture by the estimator.
#include <cstdint>

#include "media/record_layout.h"

namespace orx::venc {

// MbExchangeEntry::directions bits.
inline constexpr uint16_t EXCHANGE_FORWARD = 1;
inline constexpr uint16_t EXCHANGE_BACKWARD = 2;

struct MbExchangeEntry {
  uint16_t index;  // running macroblock number within the picture
  uint16_t directions;  // EXCHANGE_FORWARD | EXCHANGE_BACKWARD: the searches that are on
  // Temporal vector predictors (half-pel); only the direction the estimator keeps is filled.
  int16_t forwardPredX;
  int16_t forwardPredY;
  int16_t backwardPredX;
  int16_t backwardPredY;
  uint16_t intraActivity;  // low 16 bits of the preprocessor's intra activity
  uint16_t reserved[13];
};
static_assert(sizeof(MbExchangeEntry) == 40);
ORX_ASSERT_FIELD(MbExchangeEntry, index, 0);
ORX_ASSERT_FIELD(MbExchangeEntry, directions, 2);
ORX_ASSERT_FIELD(MbExchangeEntry, forwardPredX, 4);
ORX_ASSERT_FIELD(MbExchangeEntry, forwardPredY, 6);
ORX_ASSERT_FIELD(MbExchangeEntry, backwardPredX, 8);
ORX_ASSERT_FIELD(MbExchangeEntry, backwardPredY, 10);
ORX_ASSERT_FIELD(MbExchangeEntry, intraActivity, 12);

// What one job adds to its picture; the poster zeroes it.
struct AccBandStats {
  int32_t costSum;  // row totals: 1 + inter costs + intra activity of the intra macroblocks
  int32_t intraActivitySum;  // of the macroblocks turned intra
  int32_t minRowTotal;  // smallest row total of the job
  int32_t intraMbCount;
  // Largest vector components chosen (half-pel; quarter-pel for the MPEG-4 style workers).
  int32_t maxForwardX;
  int32_t maxForwardY;
  int32_t maxBackwardX;
  int32_t maxBackwardY;
  uint32_t reserved[24];
};
static_assert(sizeof(AccBandStats) == 128);
ORX_ASSERT_FIELD(AccBandStats, costSum, 0);
ORX_ASSERT_FIELD(AccBandStats, intraActivitySum, 4);
ORX_ASSERT_FIELD(AccBandStats, minRowTotal, 8);
ORX_ASSERT_FIELD(AccBandStats, intraMbCount, 12);
ORX_ASSERT_FIELD(AccBandStats, maxForwardX, 16);
ORX_ASSERT_FIELD(AccBandStats, maxForwardY, 20);
ORX_ASSERT_FIELD(AccBandStats, maxBackwardX, 24);
ORX_ASSERT_FIELD(AccBandStats, maxBackwardY, 28);

}  // namespace orx::venc
