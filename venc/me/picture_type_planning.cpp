// Picture-type planning of CMotionEstimator: the GOP plan in display order, the GOP fields of
// each picture and the packed time code.
#include <algorithm>
#include <cmath>

#include "venc/me/motion_estimator.h"

namespace orx::venc {

namespace {

// A GOP of standard-definition MPEG-2 may hold at most 36 fields.
constexpr int kMaxGopFields = 36;

}  // namespace

int32_t CMotionEstimator::PackTimeCode(int frames, int repeatFields, double frameRate,
                                       bool dropFrame) {
  int64_t f = int64_t{frames} + (repeatFields >> 1);
  const int fps = std::max(1, static_cast<int>(frameRate + 0.5));
  if (dropFrame) {
    // Drop-frame labels skip numbers 0 and 1 at every minute not divisible by ten, so the
    // labels keep pace with the 29.97 Hz clock.
    const int64_t perTenMinutes = 600 * int64_t{fps} - 18;
    const int64_t perMinute = 60 * int64_t{fps} - 2;
    const int64_t tens = f / perTenMinutes;
    const int64_t rest = f % perTenMinutes;
    f += 18 * tens + (rest > 1 ? 2 * ((rest - 2) / perMinute) : 0);
  }
  const int64_t pictures = f % fps;
  const int64_t s = f / fps;
  const int64_t seconds = s % 60;
  const int64_t minutes = (s / 60) % 60;
  const int64_t hours = (s / 3600) % 24;
  return static_cast<int32_t>(hours << 19 | minutes << 13 | 1 << 12 | seconds << 6 | pictures);
}

void CMotionEstimator::ReplanAtGopStart(int display) {
  const int n = settings_->gopLength;
  const int m = settings_->anchorDistance;
  firstAnchor_ = display;
  plannedP_ = n / m - 1;
  plannedB_ = n - n / m - m + 1;
}

void CMotionEstimator::ApplyFieldLimit(int display) {
  const EncoderSettings& s = *settings_;
  const int n = s.gopLength;
  const int m = s.anchorDistance;
  if (s.streamType != STREAM_TYPE_MPEG2_SD || s.codec != CODEC_MPEG2 || n < 15 || n > 18 || m < 1) {
    return;
  }
  const int t = plannedP_ + plannedB_;
  if (((t + 2) >> 1) + 2 + 2 * t <= kMaxGopFields) return;
  // Counts one repeated field for every second picture still to come.
  const int a = plannedP_ + plannedB_ + gopStart_ - display;
  int total = ((a + 1) >> 1) + gopFields_ + 2 + 2 * ((display - gopStart_) + a);
  while (total > kMaxGopFields) {
    plannedP_ = std::max(plannedP_ - 1, 0);
    plannedB_ = std::max(plannedB_ + 1 - m, 0);
    total -= 2 * m + (m >> 1);
  }
}

// The picture becomes the I anchor of a GOP that starts at the first queued B picture.
void CMotionEstimator::ReplanAroundIntra(int display) {
  const int n = settings_->gopLength;
  const int m = settings_->anchorDistance;
  plannedP_ = n / m - 1;
  plannedB_ = queueCount_ - n / m - m + n + 1;
  firstAnchor_ = display;
  gopStart_ = queueCount_ > 0 ? queue_[0]->displayNumber : display;
  gopFields_ = 0;
  for (int i = 0; i < queueCount_; ++i) gopFields_ += queue_[i]->repeatFirstField;
  for (int i = 0; i < queueCount_; ++i) FillGopInfo(queue_[i]);
}

void CMotionEstimator::DecidePictureType(CPicture* picture, bool forceAnchor) {
  const EncoderSettings& s = *settings_;
  const int n = s.gopLength;
  const int m = s.anchorDistance;
  const int d = picture->displayNumber;
  replannedForRequest_ = false;

  // CMotionEstimator::DecidePictureType, the picture-type planning of one input picture:
  // 1. GOP bookkeeping.
  if (d == 0) {
    gopStart_ = 0;
    firstAnchor_ = 0;
    gopFields_ = 0;
    if (m < 1) {
      plannedP_ = plannedB_ = 0;
    } else {
      ReplanAtGopStart(0);
    }
    h264RestartDisplay_ = 0;
  } else {
    const int k = d - gopStart_;
    const bool h264Restart =
        s.codec == CODEC_H264 && (s.closedGops != 0 || d - h264RestartDisplay_ >= 28);
    if (m < 1) {
      // Every picture is I; a request restarts the GOP here without the division by M.
      if (k >= n || intraRequest_) {
        gopStart_ = firstAnchor_ = d;
        gopFields_ = 0;
        plannedP_ = plannedB_ = 0;
        intraRequest_ = false;
      }
    } else if (intraRequest_ && m >= 2 && !h264Restart) {
      // The request makes this picture the I anchor at once; the queued B pictures join its
      // GOP as its leading pictures.
      ReplanAroundIntra(d);
      replannedForRequest_ = true;
    } else if (k >= plannedP_ + plannedB_ + 1 || intraRequest_) {
      gopStart_ = d;
      firstAnchor_ = d + m - 1;
      gopFields_ = 0;
      plannedP_ = n / m - 1;
      plannedB_ = n - n / m;
      if (h264Restart) {
        firstAnchor_ = d;
        plannedB_ = n - n / m - m + 1;
        h264RestartDisplay_ = d;
      }
    }
  }

  // 2. Type.
  const int e = d - firstAnchor_;
  int type;
  if (m < 1) {
    type = PICTURE_I;
  } else if ((e + m) % m != 0 && !forceAnchor) {
    type = PICTURE_B;
  } else {
    bool intra;
    if (s.intraOnlyAtStart != 0) {
      intra = d == 0 || intraRequest_;
    } else {
      intra = (e + n) % n == 0 || intraRequest_;
    }
    type = intra ? PICTURE_I : PICTURE_P;
    if (intra) intraRequest_ = false;
  }
  picture->pictureType = type;

  // 3. Fields of the GOP.
  gopFields_ += picture->repeatFirstField;

  // 4. The 36-field limit, planned at the GOP's I picture.
  if (type == PICTURE_I && d == firstAnchor_) ApplyFieldLimit(d);

  // 5. Repeated frames.
  picture->copyMode = COPY_NONE;
  if (picture->repeatGroup != 0) {
    const int i = picture->repeatIndex;
    const int r = picture->repeatRemaining;
    if (n < 2) {
      picture->pictureType = (i & 3) != 0 ? PICTURE_P : PICTURE_I;
    } else if (m < 1) {
      picture->pictureType = i % n != 0 ? PICTURE_P : PICTURE_I;
    } else if (picture->pictureType != PICTURE_I) {
      if (e < 0 && d == gopStart_) {
        picture->pictureType = PICTURE_I;
        ReplanAtGopStart(d);
      } else if (e < 0) {
        if (r + e >= 0) picture->copyMode = COPY_BACKWARD;
      } else {
        picture->pictureType = PICTURE_P;
        if (i > 0) picture->copyMode = COPY_FORWARD;
      }
    }
    if (n < 2 || m < 1) {
      if (picture->pictureType == PICTURE_I) {
        gopStart_ = firstAnchor_ = d;
        plannedP_ = n <= 1 ? std::min(r, 3) : std::min(r, n - 1);
        plannedB_ = 0;
      } else {
        picture->copyMode = COPY_FORWARD;
      }
    }
  }

  // 6. GOP fields of the picture.
  FillGopInfo(picture);

  // 7. Frame buffers.
  if (picture->pictureType == PICTURE_B) {
    picture->SetSourceBuffer(s.reorderPictures != 0 ? 4 : 4 + queueCount_);
    const bool keepRecon = s.pictureCallback != nullptr || s.codec == CODEC_H264;
    picture->SetReconBuffer(keepRecon ? m + 3 : -1);
  } else {
    if (picture->copyMode != COPY_NONE) parity_ -= 1;
    picture->SetSourceBuffer(parity_ & 1);
    picture->SetReconBuffer((parity_ & 1) + 2);
    parity_ += 1;
  }

  // 8. A picture of a repeat group shares its linked picture's source.
  if (picture->repeatIndex > 0 && picture->linkedPicture != nullptr) {
    picture->SetSourceBuffer(picture->linkedPicture->sourceBufferIndex);
  }

  // 9. Repeated fields shift the time code.
  if (picture->repeatFirstField != 0) repeatFieldCount_ += 1;
}

void CMotionEstimator::FillGopInfo(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  const int d = picture->displayNumber;
  picture->temporalReference = s.codec == CODEC_H264 ? d - h264RestartDisplay_ : d - gopStart_;
  picture->gopStart = d == firstAnchor_ ? 1 : 0;
  if (picture->gopStart != 0) {
    picture->closedGop = (d == 0 || s.closedGops != 0 || picture->temporalReference == 0) ? 1 : 0;
    const bool dropFrame = s.codec == CODEC_MPEG2 && s.frameRateIndex == 7;
    picture->timeCode =
        PackTimeCode(s.startFrameNumber + gopStart_, repeatFieldCount_, s.frameRate, dropFrame) |
        (dropFrame ? 1 << 24 : 0);
    picture->gopPicturesP = plannedP_;
    picture->gopPicturesB = plannedB_;
  } else {
    // Pictures come back from the pool: no stale flag from an earlier use.
    picture->closedGop = 0;
  }
  picture->framePredFrameDct =
      (s.progressiveSequence != 0 || picture->progressiveFrame != 0 || picture->fieldRepeatCode > 0)
          ? 1
          : 0;
  if (s.codec == CODEC_MPEG4) picture->progressiveFrame = s.progressiveSequence;
  picture->intraVlcFormat = 0;
  picture->qScaleType = 0;
  picture->alternateScan = 0;
  picture->intraDcPrecision = 0;
  if (picture->pictureType == PICTURE_B) {
    picture->decodeTimeStamp = picture->timeStamp;
  } else if (olderAnchor_ != nullptr) {
    picture->decodeTimeStamp = olderAnchor_->timeStamp;
  } else {
    // Time stamps count milliseconds.
    const int64_t period = s.frameRate > 0 ? std::llround(1000.0 / s.frameRate) : 0;
    picture->decodeTimeStamp = picture->timeStamp - period;
  }
}

}  // namespace orx::venc
