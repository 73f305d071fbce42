// Rate control: the picture, row and macroblock quantisers.
#include <algorithm>
#include <cmath>

#include "venc/core/quantiser_scales.h"
#include "venc/core/rate_control.h"
#include "venc/core/rounding.h"

namespace orx::venc {
namespace {

bool Searches(const SearchParams& search) { return search.noSearch == 0 && search.searchMode != 0; }

}  // namespace

int CRateControl::CodeOf(int q) const {
  if (qToCode_ == nullptr) return q >> 1;
  return (*qToCode_)[std::clamp(q, 0, static_cast<int>(qToCode_->size()) - 1)];
}

int CRateControl::QuantOf(int code) const {
  if (codeToQ_ == nullptr) return 2 * code;
  return (*codeToQ_)[std::clamp(code, 0, static_cast<int>(codeToQ_->size()) - 1)];
}

double CRateControl::TargetFullness(int pictureType, double f) const {
  double fT = std::max({f + (pictureType == PICTURE_B ? 0.2 : 0.1), 1.25 * f, r1_});
  if (fT > 0.75) fT = qStart_ + 0.5 < qScale_ ? 0.75 : std::min(fT, 0.9);
  if (codec_ == CODEC_VC1) fT = 0.5 * fT + 0.5;
  return fT;
}

double CRateControl::VbrFloorFactor(double a, double t) {
  double d = 0.25 * std::log10(std::clamp(a / 1600.0, 0.2, 5.0));
  if (d > 0 && t < 0) {
    d = t <= -1.0 ? 0.0 : (t + 1.0) * d;
  } else if (d < 0 && t > 0) {
    d = t >= 1.0 ? 0.0 : (1.0 - t) * d;
  }
  return 1.0 + d;
}

int CRateControl::SpreadRowQuant(double q, int row, int mbRows, const std::vector<int>* qToCode,
                                 int maxQuant) {
  const int v = RoundToInt(q * 128.0);
  int qi;
  int p;
  int step;
  if (qToCode == nullptr) {
    qi = (v >> 7) & ~1;
    p = v & 255;
    step = 2;
  } else {
    qi = v >> 7;
    p = (v & 127) * 2;
    step = 1;
    const int last = static_cast<int>(qToCode->size()) - 1;
    if (qi + 1 < maxQuant && (*qToCode)[std::min(qi + 1, last)] <= (*qToCode)[std::min(qi, last)]) {
      p /= 2;
      step = 2;
    }
  }
  const int k = (mbRows * p + 256) >> 9;
  return (row < k || row > mbRows - k) ? qi + step : qi;
}

void CRateControl::StartPicture(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  const int type = picture->pictureType;
  const int n = s.gopLength;
  const int m = s.anchorDistance;
  const bool variable = mode_ > 0;
  const bool fixed = mode_ < 0;
  const bool inRepeatGroup = picture->repeatGroup != 0;
  pictureType_ = type;
  allowanceA_ = type == PICTURE_I ? 176 : 144;

  // CRateControl::StartPicture, the picture set-up of the rate controller:
  // 1. A variable rate plans again once a planning period has passed.
  if (variable && picture->displayNumber - lastPlanDisplay_ >= planPeriod_) PlanPicture(picture);

  // 2. Complexities: X intra, Y of the picture's type, and the motion level.
  double Y;
  if (!reorder_) {
    X_ = picture->intraCostSum > 0 ? picture->intraCostSum + 1.0
                                   : std::trunc(mbCount_ * smoothedActivity_);
    Y = picture->interCostSum > 0 ? picture->interCostSum + 1.0 : X_;
    motion_ = std::min(4.0 * picture->minRowDeviationSum,
                       static_cast<double>(picture->minRowCostTotal)) /
              mbCols_;
    if (type == PICTURE_P) mostlyIntra_ = picture->intraMbCount > mbCount_ / 2;
  } else {
    Y = stored_[type];
    mostlyIntra_ = false;
  }
  Y = std::min(Y, X_);
  if (intraRatio_ > 0) estimate_[PICTURE_I] = intraRatio_ * X_;

  // 3. Fullness ratio.
  double fullness = fullness_;
  const double gainDeviation = gain_ * deviation_;
  if (variable && gainDeviation >= 3.0) fullness -= (gainDeviation - 3.0) / gain_;
  const double vbvBits = static_cast<double>(vbvSize_);
  const double f = std::clamp(fullness / vbvBits, 0.0, 1.0);

  // 4. Target bits.
  double base = bitsPerPicture_;
  if (variable && deviation_ > 0) {
    if (gainDeviation >= 2.0) {
      base = vbrPictureTarget_;
    } else if (gainDeviation >= 1.0) {
      base = bitsPerPicture_ + (vbrPictureTarget_ - bitsPerPicture_) * (gainDeviation - 1.0);
    }
  }
  const double W = planned_[PICTURE_I] * estimate_[PICTURE_I] +
                   planned_[PICTURE_P] * estimate_[PICTURE_P] +
                   planned_[PICTURE_B] * estimate_[PICTURE_B];
  const double C = coded_[PICTURE_I] * estimate_[PICTURE_I] +
                   coded_[PICTURE_P] * estimate_[PICTURE_P] +
                   coded_[PICTURE_B] * estimate_[PICTURE_B];
  const double G = planned_[PICTURE_I] + planned_[PICTURE_P] + planned_[PICTURE_B];
  const double codedCount = coded_[PICTURE_I] + coded_[PICTURE_P] + coded_[PICTURE_B];
  const double Et = estimate_[type];
  const double U = (C + Et - Y) / W - codedCount / G;
  const double fT = TargetFullness(type, f);
  const double R =
      G * (base + (G * base * U + vbvBits * (f - fT)) / (twoFrameRate_ - G * U)) / W;
  double T = mostlyIntra_ ? std::trunc(R * estimate_[PICTURE_I])
                          : std::trunc(R * std::min(Y, (Y + Et) / 2.0));
  const double headerBitsWritten = static_cast<double>(output_->PictureBits());
  T -= headerBitsWritten;
  T = std::min(T, static_cast<double>(RoundToInt64(fullness_)));
  T = std::min(T, static_cast<double>(RoundToInt64(8.0 * bitsPerPicture_)));
  T = std::max(T, static_cast<double>(RoundToInt64(bitsPerPicture_ / 8.0)));
  const double interval = static_cast<double>(decodingTime_ - previousDecodingTime_);
  minPictureBits_ = static_cast<int64_t>(std::ceil(interval * bitRate_ / 360000.0 -
                                                   (vbvBits - fullness_))) +
                    (RoundToInt64(bitRate_) >> 15) + 32;
  levelB_ = RoundToInt64(fullness_) - 112.0 * mbCount_ - headerBits_;
  levelA_ = levelB_ - (allowanceA_ - kAllowanceB) * static_cast<double>(mbCount_);

  // 5. Base quantiser and the VBR floor.
  double q = std::min(Y / T, 1000.0);
  const double t = lastValue_;
  double a = X_ / mbCount_;
  if (variable) {
    const double floor = VbrFloorFactor(a, t) * vbrQuant_;
    double second = qStart_;
    if ((type == PICTURE_I || type == PICTURE_P) && !inRepeatGroup && n > 1 && m > 1 &&
        Searches(s.searchParams[0]) && qStart_ > 4 && t < 0 && bToIntra_ < 1) {
      const double k = type == PICTURE_I ? 0.5 : 0.25;
      second = std::max(qStart_ * (1.0 - k * (1.0 - bToIntra_) * std::min(-t, 1.0)), 4.0);
    }
    vbrFloor_ = std::min(std::max({floor, second, 2.0}), qMax_);
  }

  // 6. The picture's statistics block.
  picture->stats.fullnessRatio = static_cast<float>(f);
  picture->stats.interComplexity = static_cast<float>(Y / mbCount_);
  picture->stats.intraComplexity = static_cast<float>(a);
  a = std::max(a, 256.0);

  // 7. The smoothed fullness ratios.
  s1_ += (f - s1_) * 0.1;
  s2_ += (f - s2_) * 0.5;

  // 8. Against the buffer trend.
  if (f <= 0.7) {
    const double d = (f + 1.0) * (s1_ - s2_);
    double g = 0;
    if (d > 0) {
      g = (1.3 - f) * d;
    } else if (f >= r1_ / 2.0 && (f >= r1_ || type != PICTURE_I)) {
      g = 5.0 * d;
    }
    g = std::clamp(g, -0.25, 0.2);
    const double p = (g + 1.0) * qScale_;
    if (p > q) {
      q = p;
    } else if (f > 0.3) {
      q += (p - q) * 2.0 * (f - 0.3);
    }
    if (type == PICTURE_B) {
      if (f < 0.4) q *= 1.8 - 2.0 * f;
      if (f < 0.6) q += 1.0;
      if (f < r1_) q += 0.5;
    }
  } else {
    const double cap = variable && gainDeviation > 1.0 ? qScale_ * 1.01 : (1.75 - f) * qScale_;
    q = std::min(q, cap);
    if (f > 0.85 && a < smoothedActivity_ + 1.0 && s1_ < s2_) q = std::min(q, previousQuant_);
    if (q < qStart_ && q < 0.9 * previousQuant_) q = 0.9 * previousQuant_;
  }

  // 9. Lower bounds.
  if (q < qStart_) {
    if (f < 0.9 || qStart_ < previousQuant_) {
      q = qStart_;
    } else {
      q += (1.0 - f) * 10.0 * (qStart_ - q);
      if (qScale_ <= qStart_) q = std::max(q, 0.8 * qScale_);
    }
  }
  if (q < qLow_) {
    if (f < 0.6) {
      q = qLow_;
    } else if (f < 0.75) {
      q += (qLow_ - q) * (0.75 - f) * 6.0;
    }
  }

  // 10. Busy pictures.
  const double busy = a / (smoothedActivity_ + 100.0);
  if (a > smoothedActivity_ + 200.0 && busy > f / 4.0 + 1.0) {
    double share = 0.6 * Y / X_;
    if (variable) share *= vbrTarget_ / bitRate_;
    double busyBase = qScale_;
    if (mode_ != 0 && qScale_ < vbrFloor_ + 2.0) {
      busyBase = std::min(smoothedActivity_ / 1600.0 * qScale_, qScale_);
      share *= 1.0 - 0.2 * f;
    }
    q = std::max(q, std::min((busy - 1.0) * share + 1.0, 8.0) * busyBase);
  }

  // 11. Activity floor.
  double v = std::max((Y + 1.0) * r0_ / (X_ + 1.0), 2.0);
  v = f <= 0.25 ? v * 4.0 : v / f;
  if (a > 2500.0) {
    v *= 0.0004 * a;
  } else if (a < 1600.0) {
    v *= a * 0.0003125 + 0.5;
  }
  q = std::max(q, v);

  // 12-13. Motion, and B pictures after their references.
  if (mode_ != 0 || f < 0.9) {
    if (motion_ > 1000.0) {
      double mLevel = std::min(motion_ / 1000.0, 3.0);
      const double t0 = variable ? 0.9 : 0.75;
      if (f > t0) mLevel = 1.0 + (mLevel - 1.0) * std::max(1.0 - (f - t0) * 6.0, 0.0);
      const double lo = std::max(
          std::min({q / 2.0, a / std::max(smoothedActivity_, 1600.0) * qScale_, qLow_}), qStart_);
      const double scale = (type == PICTURE_I && n > 1) ? 0.4 : (type == PICTURE_P && m > 1) ? 0.6 : 0.8;
      q = std::max(q, mLevel * std::max(v * scale, lo));
    }
    if (type == PICTURE_B) {
      const CPicture* forward = picture->forwardRef;
      const CPicture* backward = picture->backwardRef;
      if (forward != nullptr && backward != nullptr) {
        q = std::max(q, (forward->stats.quantiser + backward->stats.quantiser) / 2.0);
      } else if (forward != nullptr || backward != nullptr) {
        q = std::max(q, static_cast<double>((forward != nullptr ? forward : backward)->stats.quantiser));
      }
    }
  }

  // 14. Groups without B pictures, and the B-to-intra ratio.
  if (!inRepeatGroup) {
    if (n < 2 || m < 2 || !Searches(s.searchParams[0])) {
      if (type == PICTURE_I && n > 4 && m == 1 && a < 5000.0 && q > 4.0 && q > qStart_ &&
          q > qScale_ && f > 0.5) {
        q += (qScale_ - q) * 0.75 * f;
        q = std::max({q, 4.0, qStart_});
      }
    } else if ((type == PICTURE_I || type == PICTURE_P) && bToIntra_ < 0.75 && q > 4.0) {
      q = std::max(q * (1.0 - 0.15 * m * (0.75 - bToIntra_) * f), 4.0);
    }
    if (type == PICTURE_B) {
      bToIntra_ += ((Y + 100.0) / (X_ + 100.0) - bToIntra_) * 0.25;
      bToIntra_ = std::min(bToIntra_, 1.0);
    }
  }

  // 15. The first picture.
  if (picture->displayNumber == 0 && type == PICTURE_I && q > qLow_) q = std::max(q / 2.0, qLow_);

  // 16. A fixed quantiser, or the variable rate's floor.
  if (fixed) {
    q = -mode_;
  } else if (variable) {
    q = std::max(q, vbrFloor_);
  }

  // 17. The scale.
  ChooseScale(picture, q);

  // 18. Coding options.
  SetCodingOptions(picture, q, f, Y);

  // 19. Activity strength, statistics and the smoothed activity.
  activityStrength_ = s.activityStrength / static_cast<float>(7000.0 - (type == PICTURE_B ? 40.0 : 20.0) * q);
  picture->stats.quantiser = static_cast<float>(q);
  picture->stats.vbrFloor = static_cast<float>(vbrFloor_);
  picture->stats.gainDeviation = static_cast<float>(gainDeviation);
  if (!inRepeatGroup) {
    smoothedActivity_ = picture->displayNumber == 0 ? a : smoothedActivity_ + 0.1 * (a - smoothedActivity_);
  }

  // 20. Row plan.
  PlanRows(picture, f);

  // 21. The panic quantiser; the picture's quantiser sums start.
  panicQuant_ = std::max(1.1 * q + 2.0, 0.9 * qScale_);
  quantSum_ = 0;
  quantCount_ = 0;
  quantChanged_ = false;
  accumulatedActivity_ = 0;
  pictureQuant_ = previousQuant_ = q;
}

void CRateControl::ChooseScale(CPicture* picture, double& q) {
  maxQuant_ = 62;
  qToCode_ = codeToQ_ = nullptr;
  picture->qScaleType = 0;
  if (codec_ == CODEC_H264) {
    maxQuant_ = 94;
    qToCode_ = &H264QuantToCode();
    codeToQ_ = &H264CodeToQuant();
  } else if ((codec_ == CODEC_MPEG2 || codec_ == CODEC_KALDER) &&
             (q > 30.0 || (mode_ < 0 && (-mode_ & 1) != 0))) {
    picture->qScaleType = 1;
    maxQuant_ = 112;
    qToCode_ = &NonLinearQuantToCode();
    codeToQ_ = &NonLinearCodeToQuant();
  }
  q = std::clamp(q, 2.0, static_cast<double>(maxQuant_));
}

void CRateControl::SetCodingOptions(CPicture* picture, double q, double f, double Y) {
  const EncoderSettings& s = *settings_;
  const int type = picture->pictureType;
  // Option A: intra_vlc_format.
  int optionA = 0;
  if ((codec_ == CODEC_MPEG2 || codec_ == CODEC_KALDER) && q < 50.0) {
    if (!reorder_) {
      optionA = q * 160.0 * picture->intraMbCount < picture->intraActivitySum;
    } else {
      const double factor = type == PICTURE_I ? 1.0 : type == PICTURE_P ? 0.9 : 0.81;
      optionA = q * 170.0 * mbCount_ < X_ * factor;
    }
  }
  picture->intraVlcFormat = optionA;
  // Option B: alternate_scan for field pictures of an interlaced sequence.
  int optionB = picture->progressiveFrame == 0 && s.progressiveSequence == 0 &&
                picture->fieldRepeatCode < 1;
  if (optionB != 0 && !reorder_) {
    if (type == PICTURE_I) {
      if (picture->fieldActivitySum * 10.0 < picture->intraCostSum * 4.0 &&
          picture->fieldMbCount <= mbCount_ / 4 && Y / mbCount_ < 3000.0 - q) {
        optionB = 0;
      }
    } else if (picture->fieldMbCount == 0 &&
               picture->fieldActivitySum * 128.0 < picture->intraCostSum) {
      bool referenceKeeps = false;
      for (const CPicture* reference : {picture->forwardRef, picture->backwardRef}) {
        if (reference != nullptr &&
            (reference->intraCostSum <= reference->fieldActivitySum * 128.0 ||
             reference->alternateScan != 0)) {
          referenceKeeps = true;
        }
      }
      if (!referenceKeeps) optionB = 0;
    }
  }
  picture->alternateScan = optionB;
  // Option C: intra_dc_precision of very fine, flat MPEG-2 pictures.
  int optionC = 0;
  if (codec_ == CODEC_MPEG2) {
    const bool flat = picture->intraActivitySum < 1000.0 * picture->intraMbCount;
    if ((type != PICTURE_B || q < qStart_) && (f > 0.75 || mode_ < 0) && q < 5.0 &&
        (mode_ <= 0 || lastValue_ <= 0.1) && flat) {
      optionC = 1;
      if (picture->intraActivitySum < 100.0 * picture->intraMbCount && q < 3.0) optionC = 2;
    }
  }
  picture->intraDcPrecision = optionC;
}

void CRateControl::PlanRows(CPicture* picture, double f) {
  const EncoderSettings& s = *settings_;
  const int type = picture->pictureType;
  const double t = lastValue_;
  double budget = 0;
  if (type == PICTURE_I && picture->displayNumber == 0) {
    budget = RoundToInt64(vbrPictureTarget_);
  } else if (mode_ == 0 && 2.0 * mbCount_ + minPictureBits_ > 0) {
    budget = 2.0 * mbCount_ + minPictureBits_;
    if (type != PICTURE_B && s.anchorDistance > 1) budget += 4.0 * mbCount_;
  } else if (mode_ > 0 && t < 0.5 && f > 0.99) {
    const double k = (type == PICTURE_B || s.anchorDistance < 2) ? 0.25 : 0.5;
    budget = t <= -1.0 ? RoundToInt64(k * vbrPictureTarget_ / 2.0)
                       : RoundToInt64(-t * k * vbrPictureTarget_);
    budget = std::min(budget, levelB_ / 4.0);
  }
  budget = std::min(budget, levelB_);
  planLevel1_ = 0;
  planStep1_ = RoundToInt64(budget / mbRows_) + 8.0;
  planLevel2_ = std::max(levelA_ - (type == PICTURE_I ? 40.0 : 16.0) * mbCount_, 1024.0);
  planStep2_ = (type == PICTURE_I ? 208.0 : 156.0) * mbCols_;
  if (codec_ == CODEC_H264 && picture->progressiveFrame == 0) planStep2_ *= 2.0;
}

RowQuantDecision CRateControl::DecideRowQuant(int row) {
  // CRateControl::GetRowQuant's decision, the quantiser of the next macroblock row:
  double q;
  double unrounded;
  if (mode_ < 0) {
    // 1. Fixed quantiser.
    q = std::min(std::max(-mode_, 2), maxQuant_);
    unrounded = rowQuantF_;
  } else {
    // 2. Against the row plan.
    q = pictureQuant_;
    const double bits = static_cast<double>(output_->PictureBits());
    if (row > 0) {
      planLevel1_ += planStep1_;
      planLevel2_ += planStep2_;
      const bool upper = 2 * row < mbRows_;
      const bool ahead = row * X_ <= accumulatedActivity_ * mbRows_;
      const bool behind = accumulatedActivity_ * mbRows_ <= row * X_;
      if (bits > planLevel2_ && !(upper && ahead)) {
        q = std::max(q, panicQuant_);
        quantChanged_ = true;
      } else if (bits >= planLevel1_ || (upper && behind)) {
        // on plan
      } else {
        // Spending too little: one code step finer than the last row.
        int code = CodeOf(rowQuant_);
        if (code > 1) code -= 1;
        q = std::min(static_cast<double>(QuantOf(code)), 0.9 * rowQuant_);
        const double floor = (mode_ > 0 && pictureQuant_ > 4.0) ? 4.0 : 2.0;
        q = std::max(q, floor);
        quantChanged_ = true;
      }
    }
    // 3. Past panic level A the row takes the largest quantiser.
    if (bits > levelA_) {
      q = maxQuant_;
      quantChanged_ = true;
    }
    unrounded = q;
    // 4. Spread over the rows near the picture's edges.
    q = SpreadRowQuant(q, row, mbRows_, qToCode_, maxQuant_);
  }
  // 5. The row's quantiser, with panic level B, and its words.
  int qi = std::min(std::max(static_cast<int>(q), 2), maxQuant_);
  if (levelB_ < static_cast<double>(output_->PictureBits()) + 63.0) qi = maxQuant_;
  rowQuant_ = qi;
  rowQuantF_ = static_cast<float>(unrounded);
  addValue_ = pictureType_ == PICTURE_B ? qi + 1 : 1;
  return {CodeOf(qi), addValue_ + 8 * qi, 8 * qi + 32};
}

MbQuantDecision CRateControl::DecideMbQuant(const MBInfo* mb, int column, int previousCode) {
  int q = rowQuant_;
  bool panic = false;
  if (mode_ >= 0) {
    const double bits = static_cast<double>(output_->PictureBits());
    if (bits > levelA_ || bits > levelB_) {
      panic = bits > levelB_;
      q = maxQuant_;
    } else {
      quantSum_ += rowQuant_;
      quantCount_ += 1;
      // Busy macroblocks take a coarser quantiser, judged with their row neighbours.
      int deviation = mb->minBlockDeviation;
      if (column > 0 && column < mbCols_ - 1) {
        const int neighbours = (mb[-1].minBlockDeviation + mb[1].minBlockDeviation + 1) >> 1;
        deviation = std::max(deviation, neighbours);
      }
      if (deviation > 1024) {
        const double factor = activityStrength_ * (deviation - 1024) + 1.0;
        int raised;
        if (qToCode_ == nullptr) {
          raised = 2 * RoundToInt(rowQuantF_ * factor / 2.0);
        } else {
          raised = QuantOf(CodeOf(RoundToInt(rowQuantF_ * factor)));
        }
        raised = std::min(std::max(raised, 2), maxQuant_);
        q = std::max(raised, rowQuant_);
      }
    }
  }
  int code = CodeOf(q);
  // A step of one below the previous macroblock is not worth the bits of a new quantiser.
  if (code > 4 && code == previousCode - 1 && column > 0) code = previousCode;
  return {code, addValue_ + 8 * q, panic};
}

int CRateControl::GetRowQuant(MBCodingState* position) {
  const RowQuantDecision decision = DecideRowQuant(position->mbY);
  position->interThreshold = decision.quantWord;
  position->rowThreshold = decision.rowWord;
  position->mbQuant = decision.code;
  return decision.code;
}

void CRateControl::UpdateMbQuant(MBInfo* mb, MBCodingState* position) {
  const MbQuantDecision decision = DecideMbQuant(mb, position->mbX, position->mbQuant);
  position->mbQuant = decision.code;
  position->interThreshold = decision.quantWord;
  position->overflow = decision.panic ? 1 : 0;
}

void CRateControl::AccumulateMb(MBInfo* mb) {
  accumulatedActivity_ += mb->intraActivity;
  levelA_ += allowanceA_;
  levelB_ += kAllowanceB;
}

int CRateControl::GetRowBitTarget() { return static_cast<int>(planStep1_); }

int CRateControl::GetActivityQuant(CPicture* picture, bool halfStep, int* spread) {
  const int a = picture->minDeviationSum / std::max(mbCount_, 1) - 1024;
  const double q2 = a > 0 ? (activityStrength_ * a + 1.0) * pictureQuant_ : pictureQuant_;
  const double q = halfStep ? q2 + 0.5 : pictureQuant_;
  const int scaled = RoundToInt(q * 128.0);
  const int result = scaled >> 7;
  if (spread != nullptr) *spread = RoundToInt((scaled & 127) / 128.0 + q2) - result;
  return result;
}

}  // namespace orx::venc
