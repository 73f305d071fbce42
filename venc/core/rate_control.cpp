// Rate control: set-up, bit-rate and GOP planning, end-of-picture accounting with stuffing,
// and the VBV model. The quantiser choices are in rate_control_quant.cpp.
#include "venc/core/rate_control.h"

#include <algorithm>
#include <cmath>

#include "venc/common/debug_printf.h"
#include "venc/core/rounding.h"

namespace orx::venc {
namespace {

bool Searches(const SearchParams& search) { return search.noSearch == 0 && search.searchMode != 0; }

}  // namespace

bool CRateControl::Init(EncoderSettings* settings, IRateControlOutput* output,
                        RateControlStatistics* stats) {
  // CRateControl::Init, the sequence set-up of the rate controller:
  // 1. The links, the geometry and the rates the settings give.
  settings_ = settings;
  output_ = output;
  stats_ = stats;
  if (stats_ != nullptr) *stats_ = {};
  reorder_ = settings->reorderPictures != 0;
  bitRate_ = settings->maxBitRate;
  frameRate_ = SequenceFrameRate(*settings);
  mbCols_ = settings->mbCols;
  mbRows_ = settings->mbRows;
  mbCount_ = mbCols_ * mbRows_;
  codec_ = settings->codec;
  // 2. Bits per picture; the decoding clock and the stream's bit counts start at 0.
  bitsPerPicture_ = bitRate_ / frameRate_;
  decodingTime_ = previousDecodingTime_ = 0;
  bitsWritten_ = virtualStuffing_ = 0;
  lastAnchorDuration_ = 0;
  firstPicture_ = true;
  twoFrameRate_ = RoundToInt(2.0 * frameRate_);
  // 3. The decoder buffer starts at the initial fullness, after the start-up delay.
  vbvSize_ = static_cast<int64_t>(settings->vbvBufferSize) << 14;
  const double vbvBits = static_cast<double>(vbvSize_);
  int64_t initial = RoundToInt64(settings->vbvInitialFullness * vbvBits);
  if (settings->vbvInitialFullness <= 0.0f) initial = RoundToInt64(0.75 * vbvBits);
  decodingTime_ = static_cast<int64_t>(360000.0 * static_cast<double>(initial) / bitRate_);
  fullness_ = static_cast<double>(initial);
  s1_ = s2_ = 0.75;
  // 4. The buffer ratios, the activity flag and the variable-rate accounting.
  const double pixels = static_cast<double>(mbCount_) * 256.0;
  r0_ = std::clamp(12.0 * pixels / vbvBits + 1.0, 2.0, 16.0);
  r1_ = std::clamp(2.0 * pixels / vbvBits, 0.4, 0.75);
  activityOn_ = settings->activityStrength > 0.01f;
  mode_ = settings->variableBitRate;
  vbrTarget_ = bitRate_;
  vbrPictureTarget_ = bitsPerPicture_;
  deviation_ = trend_ = lastValue_ = deviationBound_ = 0;
  gain_ = 0;
  // 5. Planning interval (in GOPs), counter and period (in pictures).
  const int n = settings->gopLength;
  planInterval_ = n <= 1 ? RoundToInt(frameRate_ * 0.5) : RoundToInt(frameRate_ / n);
  planCounter_ = planInterval_ / 2 - 1;
  planPeriod_ = settings->anchorDistance + RoundToInt(frameRate_);
  lastPlanDisplay_ = 0;
  // 6. A variable rate sets its target; the quantiser bounds follow the bits per pixel.
  if (mode_ > 0) {
    if (settings->bitRate < 2) settings->bitRate = settings->maxBitRate;
    SetBitRate(settings, settings->bitRate);
  }
  TuneWeights(settings);
  // 7. The complexity model.
  bToIntra_ = 0.5;
  smoothedActivity_ = 1600;
  estimate_[PICTURE_I] = mbCount_ * 1600.0;
  estimate_[PICTURE_P] = mbCount_ * 1500.0;
  estimate_[PICTURE_B] = mbCount_ * 1000.0;
  stored_[PICTURE_I] = mbCount_ * 1600.0;
  stored_[PICTURE_P] = mbCount_ * 1200.0;
  stored_[PICTURE_B] = mbCount_ * 800.0;
  X_ = mbCount_ * 1600.0;
  intraRatio_ = 0;
  motion_ = 400;
  mostlyIntra_ = false;
  headerBits_ = codec_ == CODEC_MPEG1 ? 72 : codec_ == CODEC_MPEG4 ? 80 : 144;
  std::fill(std::begin(planned_), std::end(planned_), 0);
  std::fill(std::begin(coded_), std::end(coded_), 0);
  planned_[PICTURE_I] = 1;
  pictureQuant_ = previousQuant_ = qScale_;
  rowQuant_ = 2 * (RoundToInt(qScale_) / 2);
  rowQuantF_ = static_cast<float>(qScale_);
  return true;
}

void CRateControl::SetBitRate(EncoderSettings* settings, int requested) {
  // CRateControl::SetBitRate, a new variable-rate target:
  // 1. The rate within 32000 and the peak; a constant-rate controller becomes variable.
  const double b = std::max(std::min(requested, settings->maxBitRate), 32000);
  if (mode_ == 0) {
    mode_ = 1;
    settings->variableBitRate = 1;
  }
  settings->bitRate = static_cast<int32_t>(b);
  settings->pelRateToBits =
      static_cast<double>(settings->codedWidth) * settings->codedHeight * frameRate_ / b;
  // 2. Bits per pixel and the variable-rate target.
  const double bpp = std::max(1.0 / settings->pelRateToBits, 0.1);
  vbrTarget_ = b;
  const double vbvBits = static_cast<double>(vbvSize_);
  if (b < 0.95 * bitRate_) {
    // 3. A real variable rate.
    vbrPictureTarget_ = b / frameRate_;
    const double h = std::max(vbvBits / 2.0, std::min(b, bitRate_ - b));
    gain_ = 1.0 / (10.0 * h);
    deviationBound_ = std::max(10.0 / gain_, 2.0 * vbvBits + 60.0 * bitRate_);
    double k = 5.0;
    double cap = 32.0;
    if (settings->gopLength >= 2 && settings->anchorDistance >= 1) {
      if (settings->codec <= CODEC_KALDER) {
        k = 4.0;
        cap = 24.0;
      } else if (settings->codec <= CODEC_VC1) {
        k = 3.5;
        cap = 20.0;
      } else {
        k = 3.0;
        cap = 18.0;
      }
    }
    vbrStart_ = std::min(std::max(static_cast<double>(RoundToInt(k / bpp - 0.5)), 4.0), cap);
  } else {
    // 4. Close to the peak.
    double s = (settings->codec <= CODEC_KALDER ? 4.0 : 3.0) / std::min(bpp, 4.0);
    s = std::min(s, 8.0);
    s = s < 2.0 ? std::max(2.0 * s, 2.0) : std::max(s, 4.0);
    vbrStart_ = s;
    gain_ = 0;
    deviationBound_ = 0;
  }
  // 5. The variable-rate quantiser starts from its start value; the accounting restarts.
  vbrBase_ = vbrStart_;
  vbrQuant_ = vbrBase_;
  deviation_ = trend_ = lastValue_ = 0;
  lastPlanDisplay_ = 0;
}

void CRateControl::TuneWeights(const EncoderSettings* settings) {
  const int n = settings->gopLength;
  const int m = settings->anchorDistance;
  const SearchParams& first = settings->searchParams[0];
  // CRateControl::TuneWeights, the quantiser bounds from the bits per pixel:
  // 1. The weight w: bits per pixel, raised for searches that refine.
  double bpp = 1.0 / settings->pelRateToBits;
  double w = bpp;
  if (n > 1 && bpp < 0.4 && Searches(first)) {
    w += 0.01;
    if (first.subPel != 0) w += 0.01;
    if (m > 1) {
      w += 0.01;
      if (settings->searchParams[1].subPel != 0) w += 0.01;
    }
  }
  if (settings->codec > CODEC_KALDER && settings->useMpegQuant != 0) w *= 1.1;
  // 2. Interlaced pictures without pulldown weigh less.
  if (settings->progressiveSequence == 0 && settings->pulldownMode == 0) {
    w *= 0.9;
    bpp *= 0.9;
  }
  // 3. The divisor d by codec and GOP structure.
  double d = settings->codec >= CODEC_VC1 ? 4.275 : settings->codec >= CODEC_MPEG4 ? 4.5 : 5.0;
  if (n > 0 && m > 0) {
    d *= (settings->progressiveSequence != 0 || settings->pulldownMode != 0) ? 0.81 : 0.9;
  }
  // 4. The quantiser bounds.
  qScale_ = std::clamp(d / w, 4.0, 40.0);
  qStart_ = RoundToInt(std::min(0.6 * d / w, qScale_ - 2.0) / 2.0) * 2.0;
  qStart_ = std::min(std::max(qStart_, bpp >= 1.0 ? 2.0 : 4.0), 12.0);
  qLow_ = std::clamp(static_cast<double>(RoundToInt(1.1 * d / bpp + 1.0)), 8.0, 16.0);
  qMax_ = std::clamp(RoundToInt((1.8 * d / bpp + 2.0) / 2.0) * 2.0, 12.0, 40.0);
  qScaleCopy_ = qScale_;
  // 5. Searching, refining GOPs start lower.
  if (n > 1 && m > 0 && Searches(first) && first.subPel != 0) {
    qStart_ = std::min(qStart_, 8.0);
    if (settings->codec > CODEC_KALDER && settings->useMpegQuant != 0) qLow_ = std::min(qLow_, 12.0);
  }
  // 6. A variable rate's quantiser base follows the new start.
  if (gain_ != 0) {
    vbrBase_ = std::max(qStart_ + 2.0, vbrBase_);
    vbrQuant_ = vbrBase_;
    vbrStart_ = qStart_;
  }
}

void CRateControl::StartGop(CPicture* picture, uint32_t pPictures, uint32_t bPictures) {
  planned_[PICTURE_I] = 1;
  planned_[PICTURE_P] = static_cast<int>(pPictures);
  planned_[PICTURE_B] = static_cast<int>(bPictures);
  std::fill(std::begin(coded_), std::end(coded_), 0);
  if (mode_ > 0) {
    planCounter_ += 1;
    if (planCounter_ >= planInterval_) {
      PlanPicture(picture);
      planCounter_ = 0;
    }
  }
}

void CRateControl::PlanPicture(CPicture* picture) {
  if (gain_ == 0) return;
  // CRateControl::PlanPicture, the variable-rate planning:
  // 1. The planning value t and its change against the trend.
  const double t = gain_ * deviation_;
  const double dt = t - trend_;
  // 2. Far below the target the start quantiser drops, and the deviation is pulled back.
  if (t >= -8.0) {
    qStart_ = vbrStart_;
  } else {
    const double headroom = std::min(bitRate_ - vbrTarget_, vbrTarget_);
    deviation_ += std::min(headroom * 0.25, -0.01 * deviation_);
    const double start = vbrStart_;
    qStart_ = std::max({std::min(start, 4.0), start / 2.0, start - 4.0});
    if (t > -10.0) qStart_ = (t / 2.0 + 5.0) * (start - qStart_) + qStart_;
  }
  // 3. Lower limit.
  const double base = vbrBase_;
  double lo;
  if (t >= 0.0) {
    const double upper = std::max(qLow_, base);
    lo = t < 1.0 ? base + (upper - base) * t : upper;
  } else if (t >= -1.0) {
    lo = base;
  } else if (t > -2.0) {
    lo = base - (t + 1.0) * (qStart_ - base);
  } else {
    lo = qStart_;
  }
  // 4. The VBR quantiser follows the spending.
  double v = vbrQuant_;
  const bool spendingLow = (t < -0.25 && dt < 0 && t < lastValue_ && trend_ < -0.1) ||
                           (t < -1.0 && trend_ < -0.95 && dt < 0) ||
                           (t < 0 && dt < 0 && v > base + 1.0 && v > qLow_);
  const bool spendingHigh = (t > 0.5 && dt > 0 && t > lastValue_ && trend_ > 0.25) ||
                            (t > 1.0 && trend_ > 0.95 && dt > 0) ||
                            (t > -2.0 && dt > 0.2 && v < base);
  if (spendingLow) {
    if (t < -0.5 && v > base + 0.1) {
      v *= 0.98;
    } else if (v > qStart_) {
      v *= 0.99;
    }
  } else if (spendingHigh) {
    v *= (dt > 0.1 || t > 1.0) ? 1.02 : 1.01;
  }
  vbrQuant_ = std::min(std::max(v, lo), qMax_);
  // 5. The trend follows t; the last value and the planned picture are kept.
  trend_ += dt / 4.0;
  lastValue_ = t;
  lastPlanDisplay_ = picture != nullptr ? picture->displayNumber : 0;
}

void CRateControl::EndPicture(CPicture* picture) {
  const int type = picture->pictureType;
  // CRateControl::EndPicture, the accounting after a picture is written (steps 1-3 only for a
  // picture coded without a copy mode):
  if (picture->copyMode == COPY_NONE) {
    // 1. With reordering the complexities come from the picture just coded.
    if (reorder_) {
      stored_[type] = picture->interCostSum + 1.0;
      if (picture->displayNumber == 0 && X_ < picture->intraCostSum) {
        const double scale = std::max(X_ / (picture->intraCostSum + 1.0), 0.9);
        stored_[PICTURE_P] *= scale;
        stored_[PICTURE_B] *= scale;
      }
      X_ = picture->intraCostSum + 1.0;
      motion_ = std::min(4.0 * picture->minRowDeviationSum,
                         static_cast<double>(picture->minRowCostTotal)) /
                mbCols_;
      if (picture->displayNumber == 0) smoothedActivity_ = X_ / mbCount_;
    }
    // 2. The average quantiser the picture really used.
    if (quantChanged_ && quantCount_ > 0) {
      pictureQuant_ = quantSum_ / quantCount_;
      picture->stats.quantiser = static_cast<float>(pictureQuant_);
    }
    qScale_ = picture->displayNumber == 0 ? pictureQuant_ : qScale_ + 0.1 * (pictureQuant_ - qScale_);
    // 3. The complexity the picture showed.
    const double bits = static_cast<double>(output_->PictureBits());
    const double c = quantCount_ > 0 ? bits * pictureQuant_ * mbCount_ / quantCount_ : 0.0;
    if (quantCount_ * 2 >= mbCount_) {
      if (type == PICTURE_I) {
        const double limit = 500.0 * mbCount_;
        intraRatio_ = (X_ >= limit || intraRatio_ <= 0) ? c / X_
                                                        : ((limit - X_) * intraRatio_ + c) / limit;
      } else {
        double weight = type == PICTURE_P ? 0.75 : 0.5;
        if (mostlyIntra_) weight = type == PICTURE_P ? 0.5 : 0.25;
        estimate_[type] += weight * (c - estimate_[type]);
      }
    }
  }
  // 4. Stuffing up to the minimum picture size.
  int64_t pictureBits = output_->PictureBits();
  if (pictureBits < minPictureBits_) {
    const int64_t bytes = (minPictureBits_ - pictureBits + 7) / 8;
    if (mode_ == 0 && codec_ <= CODEC_KALDER) {
      for (int64_t i = 0; i < bytes; ++i) output_->PutBits(0, 8);
      if (stats_ != nullptr) stats_->stuffingBytes += static_cast<uint32_t>(bytes);
      pictureBits = output_->PictureBits();
    } else {
      virtualStuffing_ += 8 * bytes;
      pictureBits += 8 * bytes;
    }
  }
  // 5. The stream's bits and the GOP's coded pictures.
  bitsWritten_ = output_->StreamBits();
  coded_[type] += 1;
  // 6. Variable rate: the deviation from the target, a repeated field earning half a picture.
  if (mode_ > 0) {
    double target = vbrPictureTarget_;
    if (picture->repeatFirstField != 0) target *= 1.5;
    deviation_ += static_cast<double>(pictureBits) - target;
    if (deviationBound_ > 0) deviation_ = std::clamp(deviation_, -deviationBound_, deviationBound_);
  }
}

int CRateControl::CheckVbv(CPicture* picture) {
  // CRateControl::CheckVbv, the decoder-buffer model at each picture:
  // 1. Display duration in 1/90000 s.
  const bool repeat = picture->repeatFirstField != 0;
  double duration = 90000.0 / frameRate_;
  if (repeat) {
    if (settings_->progressiveSequence == 0) {
      duration = 135000.0 / frameRate_;
    } else {
      duration = (picture->topFieldFirst != 0 ? 270000.0 : 180000.0) / frameRate_;
    }
  }
  lastDuration_ = RoundToInt(duration);
  // 2. Anchors are decoded one anchor period later than they are shown.
  double advance = duration;
  if (picture->pictureType != PICTURE_B) {
    advance = firstPicture_ ? duration : lastAnchorDuration_;
    lastAnchorDuration_ = duration;
  }
  firstPicture_ = false;
  const int64_t delivered = bitsWritten_ + virtualStuffing_;
  // 3. The previous picture had to be complete when it was removed.
  const double atPrevious =
      static_cast<double>(previousDecodingTime_) * bitRate_ / 360000.0 - static_cast<double>(delivered);
  if (atPrevious < 0) {
    if (stats_ != nullptr) stats_->vbvUnderflows += 1;
    if (settings_->quietChecks == 0) {
      DebugPrintf(
          "vbv_delay underflow (%d bits)! (decoding_time=%.1f, t_EOP=%.1f, frame_number=%d, "
          "avg_q=%.1f/%.1f)\n",
          static_cast<int>(-atPrevious), previousDecodingTime_ / 4.0,
          static_cast<double>(delivered) * 90000.0 / bitRate_, picture->displayNumber,
          pictureQuant_, qScale_);
    }
  }
  // 4. The decoder buffer's fullness at this picture's decoding time.
  fullness_ = static_cast<double>(decodingTime_) * bitRate_ / 360000.0 - static_cast<double>(delivered);
  // 5. vbv_delay from the arrival of this picture's start code.
  int vbvDelay = 65535;
  if (mode_ == 0) {
    const int64_t before = output_->StreamBits() + virtualStuffing_;
    const int64_t arrived = (before + 7) / 8 * 8 + 32;
    const int64_t delay = RoundToInt64(static_cast<double>(decodingTime_) / 4.0) -
                          static_cast<int64_t>(static_cast<double>(arrived) * 90000.0 / bitRate_);
    vbvDelay = static_cast<int>(std::clamp<int64_t>(delay, 0, 65534));
  }
  // 6. The decoding clock moves on.
  previousDecodingTime_ = decodingTime_;
  decodingTime_ += RoundToInt64(4.0 * advance);
  // 7. Overflow is only reported.
  if (fullness_ > static_cast<double>(vbvSize_) && settings_->quietChecks == 0) {
    DebugPrintf("vbv_delay overflow!\n");
  }
  return vbvDelay;
}

int CRateControl::GetVbvDelay() {
  return static_cast<int>(std::clamp(fullness_, 0.0, static_cast<double>(vbvSize_)));
}

}  // namespace orx::venc
