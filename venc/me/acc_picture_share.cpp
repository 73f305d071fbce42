// The part of CMPEG2MotionEstimator that its threaded forms share: the picture's AccConfig,
// the exchange records of a row, a job record, and the sum of a job's statistics.
#include <algorithm>

#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc {

AccConfig CMPEG2MotionEstimator::AccConfigOfPicture() const {
  const CPicture* picture = currentPicture_;
  AccConfig config{};
  SetAccBufferIndices(*picture, &config);
  config.codedWidth = static_cast<uint32_t>(settings_->codedWidth);
  config.codedHeight = static_cast<uint32_t>(settings_->codedHeight);
  config.stride = static_cast<uint32_t>(stride);
  config.mbCols = static_cast<uint32_t>(mbCols);
  config.mbRows = static_cast<uint32_t>(mbRows);
  config.rangeX = static_cast<uint32_t>(rangeX);
  config.rangeY = static_cast<uint32_t>(rangeY);
  config.windowHalfWidth = static_cast<uint32_t>(windowHalfWidth);
  config.windowHalfHeight = static_cast<uint32_t>(windowHalfHeight);
  config.minX = static_cast<uint32_t>(minX);
  config.minY = static_cast<uint32_t>(minY);
  config.maxX = static_cast<uint32_t>(maxX);
  config.maxY = static_cast<uint32_t>(maxY);
  config.searchMode = static_cast<uint32_t>(searchMode);
  // A picture without intra decisions (MPEG-4 Part 2 B) tells the workers by a threshold of 0.
  config.intraThreshold = intraDecisions ? static_cast<uint32_t>(intraThreshold) : 0;
  config.vectorPenalty = static_cast<uint32_t>(vectorPenalty);
  config.searchModeWord = searchModeWord;
  config.halfPelRefinement = subPelWord;
  config.temporalPredictors = rowPredictor && TemporalActive() ? 1 : 0;
  config.pictureType = static_cast<uint8_t>(pictureType);
  config.directions = static_cast<uint8_t>((backwardSearch ? EXCHANGE_BACKWARD : 0) |
                                           (forwardSearch ? EXCHANGE_FORWARD : 0));
  config.constantOne = 1;
  config.h264Flag = settings_->codec == CODEC_H264 && !progressivePicture_ ? 32 : 0;
  config.decimated = blockAligned_;
  config.decimatedStride = static_cast<uint32_t>(decimatedStride);
  config.decimatedRows = static_cast<uint32_t>(decimatedRows);
  config.plane2to1Offset = static_cast<uint32_t>(offset2to1);
  config.plane4to1Offset = static_cast<uint32_t>(offset4to1);
  return config;
}

void CMPEG2MotionEstimator::FillExchangeRow(MbExchangeEntry* exchange, const MBInfo* mbInfo, int row,
                                               const ITemporalSource* temporal) {
  const uint16_t directions = static_cast<uint16_t>(
      (backwardSearch ? EXCHANGE_BACKWARD : 0) | (forwardSearch ? EXCHANGE_FORWARD : 0));
  for (int c = 0; c < mbCols; ++c) {
    const int i = row * mbCols + c;
    MbExchangeEntry& e = exchange[i];
    e = MbExchangeEntry{};
    e.index = static_cast<uint16_t>(i);
    e.directions = directions;
    e.intraActivity = static_cast<uint16_t>(mbInfo[i].intraActivity);
    if (temporal == nullptr) continue;
    int x = 0;
    int y = 0;
    temporal->Predict(i, &x, &y);
    // The direction the workers read: backward when the backward search is on.
    if (backwardSearch) {
      e.backwardPredX = static_cast<int16_t>(x);
      e.backwardPredY = static_cast<int16_t>(y);
    } else {
      e.forwardPredX = static_cast<int16_t>(x);
      e.forwardPredY = static_cast<int16_t>(y);
    }
  }
}

EncAccJob CMPEG2MotionEstimator::MakeAccJob(uint16_t kind, int firstRow, int rows,
                                            MbExchangeEntry* exchange, MBInfo* mbInfo,
                                            AccBandStats* statistics) const {
  EncAccJob job{};
  job.pictureId = static_cast<uint16_t>(currentPicture_->sourceBufferIndex);
  job.kind = kind;
  job.tag = static_cast<uint16_t>(firstRow * mbCols);
  job.count = static_cast<uint16_t>(rows * mbCols);
  job.state = ACC_JOB_POSTED;
  job.exchange = exchange;
  job.mbInfo = mbInfo;
  job.statistics = statistics;
  return job;
}

void CMPEG2MotionEstimator::AddAccStatistics(const AccBandStats& statistics) {
  CPicture* picture = currentPicture_;
  picture->minRowCostTotal = std::min(picture->minRowCostTotal, statistics.minRowTotal);
  picture->intraActivitySum += statistics.intraActivitySum;
  picture->interCostSum += statistics.costSum;
  picture->intraMbCount += statistics.intraMbCount;
  maxForwardX = std::max(maxForwardX, statistics.maxForwardX);
  maxForwardY = std::max(maxForwardY, statistics.maxForwardY);
  maxBackwardX = std::max(maxBackwardX, statistics.maxBackwardX);
  maxBackwardY = std::max(maxBackwardY, statistics.maxBackwardY);
}

}  // namespace orx::venc
