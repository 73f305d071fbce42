// CPreprocessor: set-up, the whole-picture road (ProcessPicture) and the row road
// (ProcessQueuedPicture), with the noise filter, comb repair, border padding and the macroblock
// analysis they share.
#include "venc/core/preprocessor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "venc/common/frame_store.h"
#include "venc/dsp/core_factories.h"
#include "venc/me/motion_estimator.h"

namespace orx::venc {
namespace {

constexpr int kLineStoreRows = 40;
// Bytes of the row-buffer block per column of the conversion width: two stores of 40 lines and
// two filter lines.
constexpr int kBlockBytesPerColumn = 2 * kLineStoreRows + 2;
constexpr uint32_t kChromaBlack = 0x80808080u;

int RoundToInt(double v) { return static_cast<int>(std::lround(v)); }

// The fifteen motion statistics words, from the intra cost sum to the forward distance.
void CopyMotionStatistics(CPicture* to, const CPicture* from) {
  to->intraCostSum = from->intraCostSum;
  to->interCostSum = from->interCostSum;
  to->intraActivitySum = from->intraActivitySum;
  to->intraMbCount = from->intraMbCount;
  to->minDeviationSum = from->minDeviationSum;
  to->fieldMbCount = from->fieldMbCount;
  to->fieldActivitySum = from->fieldActivitySum;
  to->minRowDeviationSum = from->minRowDeviationSum;
  to->minRowCostTotal = from->minRowCostTotal;
  to->sceneChange = from->sceneChange;
  to->maxForwardX = from->maxForwardX;
  to->maxForwardY = from->maxForwardY;
  to->maxBackwardX = from->maxBackwardX;
  to->maxBackwardY = from->maxBackwardY;
  to->forwardDistance = from->forwardDistance;
}

// A repeated macroblock: the linked picture's measures, its flags reduced to the field bit (kept
// only in a picture that is not progressive) and the intra bit.
void CopyMacroblockMeasures(MBInfo* to, const MBInfo& from, bool progressive) {
  to->intraActivity = from.intraActivity;
  to->interCost = from.intraActivity;
  to->minBlockDeviation = from.minBlockDeviation;
  to->flags = (progressive ? 0u : (from.flags & MBINFO_FIELD)) | MBINFO_INTRA;
}

void ClearMacroblock(MBInfo* mb) {
  *mb = MBInfo{};
  mb->flags = MBINFO_INTRA;
}

// The row sums of one macroblock row into the picture: intra cost and smallest-deviation sums,
// and the smallest row totals (0 counts as unset).
void AddRowSums(CPicture* picture, int activity, int deviation, bool keepMinimum) {
  picture->intraCostSum += activity;
  picture->minDeviationSum += deviation;
  if (!keepMinimum) return;
  if (picture->minRowCostTotal == 0 || activity < picture->minRowCostTotal) picture->minRowCostTotal = activity;
  if (picture->minRowDeviationSum == 0 || deviation < picture->minRowDeviationSum) {
    picture->minRowDeviationSum = deviation;
  }
}

}  // namespace

bool CPreprocessor::Init(const EncoderSettings* settings, CMotionEstimator* estimator) {
  Free();
  settings_ = settings;
  estimator_ = estimator;
  lineWidth_ = settings->codedWidth * (settings->horizontalHalving != 0 ? 2 : 1);
  const size_t line = static_cast<size_t>(lineWidth_);
  const size_t bytes = (std::max<size_t>(line * kBlockBytesPerColumn, 1) + 63) & ~size_t{63};
  block_ = static_cast<uint8_t*>(std::aligned_alloc(64, bytes));
  if (block_ != nullptr) {
    std::memset(block_, 0, bytes);
    lumaLines_ = block_;
    chromaLines_ = lumaLines_ + line * kLineStoreRows;
    lumaFilterLine_ = chromaLines_ + line * kLineStoreRows;
    chromaFilterLine_ = lumaFilterLine_ + line;
  }
  noiseLevel_ = 100.0;
  measuredNoise_ = 4.0;
  lastNoise_ = 4.0;
  measurementPicture_ = 0;
  previousSource_ = -1;
  if (!dsp::CreatePreprocCore(&core_)) core_ = nullptr;
  return block_ != nullptr && core_ != nullptr;
}

bool CPreprocessor::Finish() {
  Free();
  return true;
}

void CPreprocessor::Free() {
  std::free(block_);
  block_ = lumaLines_ = chromaLines_ = lumaFilterLine_ = chromaFilterLine_ = nullptr;
  delete core_;
  core_ = nullptr;
}

void CPreprocessor::RowWindow(int* first, int* end) const {
  *first = 0;
  *end = settings_->mbRows;
  if ((flags_ & PREPROC_ROW_WINDOW) == 0) return;
  *first = std::min(static_cast<int>(flags_ & 0xFF), settings_->mbRows);
  *end = std::min(*first + static_cast<int>(flags_ >> 24), settings_->mbRows);
}

bool CPreprocessor::RowWhollyInBorder(int row) const {
  const EncoderSettings& s = *settings_;
  return 16 * (row + 1) <= s.borderY || 16 * row >= s.codedHeight - s.borderY;
}

bool CPreprocessor::RowInsideBorders(int row) const {
  const EncoderSettings& s = *settings_;
  return 16 * row >= s.borderY && 16 * (row + 1) <= s.codedHeight - s.borderY;
}

CPreprocessor::NoiseFilter CPreprocessor::PlanNoiseFilter(const CPicture* picture) const {
  const EncoderSettings& s = *settings_;
  NoiseFilter f;
  if (s.noiseFilterMode != 1 && s.noiseFilterMode != 2) return f;
  f.mode = s.noiseFilterMode;
  const int base = std::clamp(RoundToInt(1.25 * s.pelRateToBits), 2, 127);
  const double level = s.noiseFilterLevel;
  int strength = RoundToInt((noiseLevel_ - 100.0) * (0.001 * level + 0.0075));
  int t = 0;
  if (f.mode == 2) {
    const int d = picture->displayNumber;
    f.measure = d == 0 || d > measurementPicture_ + 10;
    if (d != 0) {
      strength = std::max(strength, RoundToInt((0.0025 * level + 0.125) * measuredNoise_));
      t = std::clamp(RoundToInt((0.01 * level + 0.25) * measuredNoise_), 0, 127);
    }
  }
  f.strength = std::min(std::max(strength, base), 127);
  if (f.mode == 2) {
    const int a = std::min((t + 7) >> 4, 15);
    const int b = std::min((t >> 1) + 5, 127 - a);
    const int d = std::min((t >> 2) + 5, 127 - ((a + 1) >> 1));
    f.threshold = a;
    f.limit = b;
    f.gain = b > 0 ? std::min((t + 512) * 64, 49152) / b : 0;
    f.chromaLimit = d;
    f.chromaGain = d > 0 ? std::min((t + 1024) * 32, 49152) / d : 0;
    f.bounded = t >= 1;
  }
  return f;
}

void CPreprocessor::ConvertBand(const InputConversion& in, CPicture* picture, int firstRow, int rows, bool resample,
                                bool continuation) {
  const EncoderSettings& s = *settings_;
  uint8_t* luma = picture->srcLuma + static_cast<ptrdiff_t>(firstRow) * s.stride;
  uint8_t* chroma = picture->srcChroma + static_cast<ptrdiff_t>(firstRow / 2) * s.stride;
  if (!resample) {
    ConvertRow(in, luma, chroma, 0, firstRow, s.codedWidth, rows, s.stride);
    return;
  }
  const int vs = in.verticalMode == 2 ? 2 : 1;
  ConvertRow(in, lumaLines_, chromaLines_, 0, firstRow * vs, lineWidth_, rows * vs, lineWidth_);
  ResampleRows(in, luma, chroma, s.stride, s.codedWidth, rows, continuation, 0);
}

void CPreprocessor::FilterNoise(CPicture* picture, int row, const NoiseFilter& f, const uint8_t* previousLuma,
                                const uint8_t* previousChroma) {
  const EncoderSettings& s = *settings_;
  const int half = (s.codedWidth / 2) & ~15;
  int x0 = 0;
  int x1 = s.codedWidth;
  if (s.noiseFilterRegion == 1) x1 = half;
  if (s.noiseFilterRegion == 2) x0 = half;
  if (s.noiseFilterRegion == 3 && row >= s.mbRows / 2) return;
  if (s.noiseFilterRegion == 4 && row < s.mbRows / 2) return;
  const int width = x1 - x0;
  if (width < 32) return;
  // Field-wise on an interlaced picture: the vertical neighbours of the same field. Rows whose
  // neighbours lie outside the picture are left alone (the frame buffers have no rows there).
  const int reach = picture->framePredFrameDct != 0 ? 1 : 2;
  const int stride = s.stride;
  auto filterRows = [&](uint8_t* plane, const uint8_t* previous, int first, int count, int planeRows, bool chroma) {
    const int y0 = std::max(first, reach);
    const int y1 = std::min(first + count, planeRows - reach);
    if (y1 <= y0) return;
    uint8_t* start = plane + static_cast<ptrdiff_t>(y0) * stride + x0;
    const ptrdiff_t offset = start - plane;
    if (chroma) {
      if (f.bounded && previous != nullptr) {
        core_->MedianFilterStep2Alt(start, previous + offset, width, y1 - y0, reach * stride, stride, f.strength,
                                    (f.threshold + 1) >> 1, f.chromaLimit, f.chromaGain);
      } else {
        core_->MedianFilterStep2(start, width, y1 - y0, reach * stride, stride, f.strength);
      }
    } else if (f.bounded && previous != nullptr) {
      core_->MedianFilterBounded(start, previous + offset, width, y1 - y0, reach * stride, stride, f.strength,
                                 f.threshold, f.limit, f.gain);
    } else {
      core_->MedianFilter(start, width, y1 - y0, reach * stride, stride, f.strength);
    }
  };
  filterRows(picture->srcLuma, previousLuma, 16 * row, 16, s.codedHeight, false);
  filterRows(picture->srcChroma, previousChroma, 8 * row, 8, s.codedHeight / 2, true);
}

void CPreprocessor::RepairCombs(CPicture* picture, int row, int combOrder) {
  const EncoderSettings& s = *settings_;
  const int stride = s.stride;
  const int width = s.codedWidth;
  const bool firstBand = row == 0;
  const bool lastBand = row == s.mbRows - 1;
  for (int plane = 0; plane < 2; ++plane) {
    uint8_t* base = plane == 0 ? picture->srcLuma : picture->srcChroma;
    uint8_t* carry = plane == 0 ? lumaFilterLine_ : chromaFilterLine_;
    const int band = plane == 0 ? 16 : 8;
    uint8_t* bandStart = base + static_cast<ptrdiff_t>(band * row) * stride;
    switch (combOrder) {
      case 3:
        // Every row softened with its neighbours, the carry holding the unfiltered row above.
        if (firstBand) {
          std::memcpy(carry, base, static_cast<size_t>(width));
          core_->FilterCombRowsWithTop(base, width, stride, band - 1, carry);
        } else {
          core_->FilterCombRowsWithTop(bandStart - stride, width, stride, lastBand ? band - 1 : band, carry);
        }
        break;
      case 2:
        // The first field folded between the rows of the second.
        if (firstBand) {
          core_->NoiseGateRow(base + stride, base, width);
          core_->FilterCombRows(base + stride, width, stride, band - 2);
        } else {
          core_->FilterCombRows(bandStart - stride, width, stride, band);
        }
        break;
      case 1:
        // The second field folded between the rows of the first.
        if (lastBand) {
          core_->FilterCombRows(bandStart, width, stride, band - 2);
          uint8_t* last = bandStart + static_cast<ptrdiff_t>(band - 1) * stride;
          core_->NoiseGateRow(last - stride, last, width);
        } else {
          core_->FilterCombRows(bandStart, width, stride, band);
        }
        break;
      default:
        break;
    }
  }
}

void CPreprocessor::PadRow(CPicture* picture, int row) {
  const EncoderSettings& s = *settings_;
  if (paddingCore_ == nullptr || (s.padX <= 0 && s.padY <= 0)) return;
  const int stride = s.stride;
  uint8_t* luma = picture->srcLuma + static_cast<ptrdiff_t>(16 * row) * stride;
  uint8_t* chroma = picture->srcChroma + static_cast<ptrdiff_t>(8 * row) * stride;
  if (s.padX > 0) {
    paddingCore_->PadBordersHorizontal(luma, s.codedWidth, stride, 16);
    paddingCore_->PadChromaBordersHorizontal(chroma, s.codedWidth, stride, 8);
  }
  if (s.padY <= 0) return;
  const int length = s.codedWidth + 2 * s.padX;
  auto padPlane = [&](uint8_t* plane, int rows, int padRows) {
    uint8_t* top = plane - s.padX;
    uint8_t* last = top + static_cast<ptrdiff_t>(rows - 1) * stride;
    if (row == 0) paddingCore_->PadBordersVertical(top - static_cast<ptrdiff_t>(padRows) * stride, top, length,
                                                   padRows, stride - length);
    if (row == s.mbRows - 1) paddingCore_->PadBordersVertical(last + stride, last, length, padRows, stride - length);
  };
  padPlane(picture->srcLuma, s.codedHeight, s.padY);
  padPlane(picture->srcChroma, s.codedHeight / 2, s.padY / 2);
}

void CPreprocessor::AnalyseMpegMacroblock(MBInfo* mb, const uint8_t* luma, int stride, bool progressive,
                                          CPicture* picture) {
  *mb = MBInfo{};
  int smallest = 0;
  if (!progressive && core_->FieldFrameDifference(luma, stride) >= 8) {
    mb->flags = MBINFO_INTRA | MBINFO_FIELD;
    mb->intraActivity = core_->BlockDeviation(luma, luma + stride, 2 * stride, &smallest, nullptr);
    picture->fieldActivitySum += mb->intraActivity;
    picture->fieldMbCount += 1;
  } else {
    mb->flags = MBINFO_INTRA;
    mb->intraActivity = core_->BlockDeviation(luma, luma + 8 * stride, stride, &smallest, nullptr);
  }
  mb->minBlockDeviation = smallest;
}

void CPreprocessor::AnalyseH264Pair(CPicture* picture, int upperRow, RowSums* upperSums, RowSums* lowerSums) {
  const EncoderSettings& s = *settings_;
  const int stride = s.stride;
  for (int col = 0; col < s.mbCols; ++col) {
    MBInfo* upper = picture->mbInfo + static_cast<size_t>(upperRow) * s.mbCols + col;
    MBInfo* lower = upper + s.mbCols;
    const uint8_t* top = picture->srcLuma + static_cast<ptrdiff_t>(16 * upperRow) * stride + 16 * col;
    const uint8_t* bottom = top + static_cast<ptrdiff_t>(16) * stride;
    *upper = MBInfo{};
    *lower = MBInfo{};
    int smallestUpper = 0;
    int smallestLower = 0;
    if (core_->FieldFrameDifference(top, stride) + core_->FieldFrameDifference(bottom, stride) < 16) {
      upper->flags = MBINFO_PART_16X16 | MBINFO_INTRA;
      lower->flags = MBINFO_INTRA;
      upper->intraActivity = core_->SubBlockMeans4x4(top, stride, &smallestUpper, nullptr);
      lower->intraActivity = core_->SubBlockMeans4x4(bottom, stride, &smallestLower, nullptr);
    } else {
      // A field pair: the upper macroblock takes the first field's 16 lines, the lower the second's.
      upper->flags = MBINFO_PART_16X16 | MBINFO_INTRA | MBINFO_FIELD;
      lower->flags = MBINFO_INTRA | MBINFO_FIELD;
      upper->intraActivity = core_->SubBlockMeans4x4(top, 2 * stride, &smallestUpper, nullptr);
      lower->intraActivity = core_->SubBlockMeans4x4(top + stride, 2 * stride, &smallestLower, nullptr);
      picture->fieldMbCount += 2;
      picture->fieldActivitySum += upper->intraActivity + lower->intraActivity;
    }
    upper->minBlockDeviation = smallestUpper;
    lower->minBlockDeviation = smallestLower;
    upperSums->activity += upper->intraActivity;
    upperSums->deviation += smallestUpper;
    lowerSums->activity += lower->intraActivity;
    lowerSums->deviation += smallestLower;
  }
}

void CPreprocessor::AnalyseRow(CPicture* picture, int row, RowSums* sums) {
  const EncoderSettings& s = *settings_;
  const int stride = s.stride;
  MBInfo* first = picture->mbInfo + static_cast<size_t>(row) * s.mbCols;
  if (RowWhollyInBorder(row)) {
    for (int col = 0; col < s.mbCols; ++col) ClearMacroblock(first + col);
    return;
  }
  const bool progressive = picture->framePredFrameDct != 0;
  const uint8_t* luma = picture->srcLuma + static_cast<ptrdiff_t>(16 * row) * stride;
  for (int col = 0; col < s.mbCols; ++col) {
    MBInfo* mb = first + col;
    if (s.codec == CODEC_H264) {
      *mb = MBInfo{};
      int smallest = 0;
      mb->flags = MBINFO_PART_16X16 | MBINFO_INTRA;
      mb->intraActivity = core_->SubBlockMeans4x4(luma + 16 * col, stride, &smallest, nullptr);
      mb->minBlockDeviation = smallest;
    } else {
      AnalyseMpegMacroblock(mb, luma + 16 * col, stride, progressive, picture);
    }
    sums->activity += mb->intraActivity;
    sums->deviation += mb->minBlockDeviation;
  }
}

void CPreprocessor::ApplyFewFieldRule(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  if (s.codec != CODEC_MPEG1 && s.codec != CODEC_MPEG2 && s.codec != CODEC_KALDER) return;
  if (picture->framePredFrameDct != 0) return;
  const int macroblocks = s.mbCols * s.mbRows;
  const int limit = picture->pictureType == PICTURE_I ? macroblocks / 16 : macroblocks / 8;
  if (picture->fieldMbCount > limit) return;
  picture->framePredFrameDct = 1;
  for (int i = 0; i < macroblocks; ++i) {
    MBInfo& mb = picture->mbInfo[i];
    if ((mb.flags & MBINFO_FIELD) == 0) continue;
    mb.flags = MBINFO_INTRA;
    mb.intraActivity = std::max(mb.intraActivity, 3 * (mb.minBlockDeviation + 310));
  }
  picture->fieldMbCount = 0;
}

void CPreprocessor::CopyLinkedMeasures(CPicture* picture, int firstRow, int rows) const {
  const EncoderSettings& s = *settings_;
  const CPicture* linked = picture->linkedPicture;
  const bool progressive = picture->framePredFrameDct != 0;
  for (int i = firstRow * s.mbCols; i < (firstRow + rows) * s.mbCols; ++i) {
    if (linked != nullptr) {
      CopyMacroblockMeasures(&picture->mbInfo[i], linked->mbInfo[i], progressive);
    } else {
      picture->mbInfo[i].flags = MBINFO_INTRA;
    }
  }
}

void CPreprocessor::UpdateNoiseEstimate(const CPicture* picture, const NoiseFilter& f) {
  const EncoderSettings& s = *settings_;
  const int64_t deviation = picture->minDeviationSum;
  const int64_t area = static_cast<int64_t>(s.mbCols) * (s.mbRows - s.borderY / 8);
  if (area > 0) {
    const double perMacroblock = static_cast<double>(((deviation * f.strength) >> 9) + deviation) / area;
    noiseLevel_ += 0.1 * (perMacroblock - noiseLevel_);
  }
  const bool apart = measuredNoise_ <= 0.1 * lastNoise_ || measuredNoise_ >= 10.0 * lastNoise_;
  if (picture->displayNumber == 0 || apart) {
    measuredNoise_ = lastNoise_;
  } else {
    measuredNoise_ += 0.1 * (lastNoise_ - measuredNoise_);
  }
}

void CPreprocessor::ProcessPicture(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  InputConversion in;
  SetupInput(&in, picture, s.cropX, s.cropY);
  if (in.combFieldOrder != 0 || in.verticalMode != 0) picture->framePredFrameDct = 1;
  const bool drive = (flags_ & PREPROC_NO_ESTIMATOR) == 0 && estimator_ != nullptr;
  if (drive) estimator_->BeginPicture(picture);

  const NoiseFilter filter = PlanNoiseFilter(picture);
  const CFrameStore* store = picture->store;
  FrameBufferPair previous{nullptr, nullptr};
  if (previousSource_ >= 0 && previousSource_ != picture->sourceBufferIndex && store != nullptr) {
    previous = store->GetFrameBuffer(previousSource_);
  }
  if (previous.luma == nullptr) previousSource_ = -1;

  int first = 0;
  int end = 0;
  RowWindow(&first, &end);
  if (picture->repeatIndex != 0 && picture->linkedPicture != nullptr) {
    // A repeated picture shares its linked picture's source: its measures are copied.
    CopyLinkedMeasures(picture, 0, s.mbRows);
    CopyMotionStatistics(picture, picture->linkedPicture);
  } else {
    // The sums start from zero also when the estimator's picture start does not run.
    picture->intraCostSum = picture->minDeviationSum = picture->fieldMbCount = 0;
    picture->fieldActivitySum = picture->minRowDeviationSum = picture->minRowCostTotal = 0;
    noiseSum_ = 0;
    noiseCount_ = 0;
    const bool lookAhead = filter.mode != 0 || in.combFieldOrder != 0;
    const bool resample = in.horizontalHalving != 0 || in.verticalMode == 2;
    const bool interlaced = picture->framePredFrameDct == 0;
    const int noiseFirstRow = s.borderY < 20 ? 0 : (s.borderY - 4) / 16;
    const int noiseEndRow = s.mbRows - s.borderY / 16;
    const int skip = (s.borderX + 24) / 16;
    int pendingRow = -1;  // an H.264 upper row waiting for its pair
    RowSums pendingSums;
    for (int row = first; row < end; ++row) {
      // The filters read a few rows below their band: with them, conversion runs four rows ahead.
      int bandStart = 16 * row;
      int bandEnd = 16 * (row + 1);
      if (lookAhead) {
        if (row != first) bandStart += 4;
        if (row != end - 1) bandEnd = std::min(bandEnd + 4, s.codedHeight);
      }
      ConvertBand(in, picture, bandStart, bandEnd - bandStart, resample, row != first);

      if (filter.measure && RowInsideBorders(row) && s.mbCols - 2 * skip >= 1) {
        const uint8_t* band = picture->srcLuma + static_cast<ptrdiff_t>(16 * row) * s.stride + 16 * skip;
        noiseSum_ += core_->NeighbourhoodStats(band, s.mbCols - 2 * skip, interlaced ? 2 * s.stride : s.stride);
        noiseCount_ += 1;
      }
      if (filter.mode != 0 && filter.strength > 0 && row >= noiseFirstRow && row < noiseEndRow) {
        FilterNoise(picture, row, filter, previous.luma, previous.chroma);
      }
      if (in.combFieldOrder != 0 && !RowWhollyInBorder(row)) RepairCombs(picture, row, in.combFieldOrder);
      if (picture->overlay != nullptr) {
        BlendOverlay(picture->srcLuma + static_cast<ptrdiff_t>(16 * row) * s.stride,
                     picture->srcChroma + static_cast<ptrdiff_t>(8 * row) * s.stride, 0, 16 * row, s.codedWidth, 16,
                     s.stride, *picture->overlay);
      }
      PadRow(picture, row);

      // Macroblock analysis; H.264 pairs of an interlaced picture are measured on the odd row.
      const bool keep = RowInsideBorders(row);
      if (s.codec == CODEC_H264 && interlaced && !RowWhollyInBorder(row)) {
        if (pendingRow < 0 && row + 1 < end) {
          pendingRow = row;
          pendingSums = RowSums{};
          continue;
        }
        if (pendingRow >= 0) {
          RowSums lower;
          AnalyseH264Pair(picture, pendingRow, &pendingSums, &lower);
          AddRowSums(picture, pendingSums.activity, pendingSums.deviation, RowInsideBorders(pendingRow));
          AddRowSums(picture, lower.activity, lower.deviation, keep);
          pendingRow = -1;
          continue;
        }
      }
      RowSums sums;
      AnalyseRow(picture, row, &sums);
      AddRowSums(picture, sums.activity, sums.deviation, keep);
    }
    picture->interCostSum = picture->intraCostSum;
    picture->intraActivitySum = picture->intraCostSum;
    picture->intraMbCount = s.mbCols * (end - first);
    ApplyFewFieldRule(picture);
    if (noiseCount_ > 0) {
      measurementPicture_ = picture->displayNumber;
      lastNoise_ = static_cast<double>(noiseSum_) / noiseCount_;
    }
  }

  if (drive) estimator_->ProcessPicture(picture);
  if (filter.mode != 0) UpdateNoiseEstimate(picture, filter);
  previousSource_ = picture->sourceBufferIndex;
  if (drive) estimator_->EndPicture(picture);
}

void CPreprocessor::ProcessQueuedPicture(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  InputConversion in;
  SetupInput(&in, picture, s.cropX, s.cropY);
  if (picture->copyMode != COPY_NONE && picture->linkedPicture != nullptr) {
    CopyMotionStatistics(picture, picture->linkedPicture);
  }
  if (in.fieldOrder != 0 || in.verticalMode != 0) picture->framePredFrameDct = 1;
  estimator_->BeginPicture(picture);

  const int hs = in.horizontalHalving != 0 ? 2 : 1;
  const int vs = in.verticalMode == 2 ? 2 : 1;
  const bool resample = hs == 2 || vs == 2;
  const bool progressive = picture->framePredFrameDct != 0;
  // The block-ordered row buffer: the row's luma macroblocks (256 bytes each), then its chroma
  // macroblocks (128 bytes each).
  uint8_t* rowLuma = picture->srcLuma;
  uint8_t* rowChroma = rowLuma + static_cast<size_t>(256) * s.mbCols;
  int first = 0;
  int end = 0;
  RowWindow(&first, &end);
  for (int row = first; row < end; ++row) {
    MBInfo* mbRow = picture->mbInfo + static_cast<size_t>(row) * s.mbCols;
    RowSums sums;
    bool analysed = false;
    if (picture->copyMode != COPY_NONE) {
      CopyLinkedMeasures(picture, row, 1);
    } else {
      for (int col = 0; col < s.mbCols; ++col) {
        uint8_t* luma = rowLuma + 256 * col;
        uint8_t* chroma = rowChroma + 128 * col;
        int outside;
        if (resample) {
          outside = ConvertRow(in, lumaLines_, chromaLines_, 16 * col * hs, 16 * row * vs, 16 * hs, 16 * vs, 16 * hs);
          ResampleRows(in, luma, chroma, 16, 16, 16, row != first, 16 * col * hs);
        } else {
          outside = ConvertRow(in, luma, chroma, 16 * col, 16 * row, 16, 16, 16);
        }
        uint8_t* lumaCarry = lumaFilterLine_ + 16 * col;
        uint8_t* chromaCarry = chromaFilterLine_ + 16 * col;
        if (outside != 0) {
          ClearMacroblock(mbRow + col);
          if (in.fieldOrder != 0) {
            core_->FillRows(lumaCarry, 16, 1, 16, 0);
            core_->FillRows(chromaCarry, 16, 1, 16, kChromaBlack);
          }
          continue;
        }
        if (in.fieldOrder != 0) {
          if (row == first) {
            core_->NoiseGate16(lumaCarry, luma);
            core_->NoiseGate16(chromaCarry, chroma);
          }
          core_->FilterCombBlock16(lumaCarry, luma, 8);
          core_->FilterCombBlock16(chromaCarry, chroma, 4);
        }
        if (picture->overlay != nullptr) {
          BlendOverlay(luma, chroma, 16 * col, 16 * row, 16, 16, 16, *picture->overlay);
        }
        AnalyseMpegMacroblock(mbRow + col, luma, 16, progressive, picture);
        sums.activity += mbRow[col].intraActivity;
        sums.deviation += mbRow[col].minBlockDeviation;
        analysed = true;
      }
    }
    AddRowSums(picture, sums.activity, sums.deviation, analysed);
    estimator_->ProcessRow(picture, row);
  }
  estimator_->EndPicture(picture);
}

}  // namespace orx::venc
