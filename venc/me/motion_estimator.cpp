// CMotionEstimator: held pictures, the per-picture estimation set-ups (ranges, temporal
// predictors, f_codes) and the drivers that hand pictures to the macroblock encoder.
#include "venc/common/profiling.h"
#include "venc/me/motion_estimator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "venc/me/f_code.h"
#include "venc/common/frame_store.h"
#include "venc/mbenc/mb_encoder.h"

namespace orx::venc {

CMotionEstimator::~CMotionEstimator() { ReleasePictures(); }

bool CMotionEstimator::Init(const EncoderSettings* settings, CMBEncoder* encoder) {
  settings_ = settings;
  encoder_ = encoder;
  ReleasePictures();
  gopStart_ = firstAnchor_ = gopFields_ = promotionDisplay_ = repeatFieldCount_ = 0;
  plannedP_ = plannedB_ = 0;
  h264RestartDisplay_ = 0;
  parity_ = 0;
  intraRequest_ = false;
  return true;
}

void CMotionEstimator::Close() { ReleasePictures(); }

void CMotionEstimator::ReleasePictures() {
  for (int i = 0; i < queueCount_; ++i) {
    queue_[i]->Release();
    queue_[i] = nullptr;
  }
  queueCount_ = 0;
  if (olderAnchor_ != nullptr) olderAnchor_->Release();
  if (newerAnchor_ != nullptr) newerAnchor_->Release();
  olderAnchor_ = newerAnchor_ = nullptr;
}

void CMotionEstimator::ClearMBInfo(MBInfo* first, int vectorIndex, int count, uint32_t flags) {
  if (settings_->codec == CODEC_H264) flags |= MBINFO_PART_16X16;
  for (int i = 0; i < count; ++i) {
    MBInfo& mb = first[i];
    mb.flags = flags;
    mb.intraActivity = 0;
    mb.interCost = 0;
    if (vectorIndex == 0) {
      mb.mv[0].forward = {};
    } else {
      mb.mv[0].backward = {};
    }
  }
}

void CMotionEstimator::SetCurrentPicture(CPicture* picture) {
  currentSource_ = picture->srcLuma;
  codedWidth_ = settings_->codedWidth;
  codedHeight_ = settings_->codedHeight;
  codedStride_ = settings_->stride;
  pictureType_ = picture->pictureType;
  progressivePicture_ = picture->framePredFrameDct != 0;
  mpeg4BPicture_ = settings_->codec == CODEC_MPEG4 && picture->pictureType == PICTURE_B;
  currentPicture_ = picture;
  mvCodeLength_ = picture->mvCodeLength;
}

void CMotionEstimator::EstimateWholePicture(CPicture* picture) {
  const CPicture* forward = picture->forwardRef;
  const CPicture* backward = picture->backwardRef;
  forwardSearchPlane_ = forward != nullptr ? forward->srcLuma : nullptr;
  forwardReconPlane_ = forward != nullptr ? forward->reconLuma : nullptr;
  backwardSearchPlane_ = backward != nullptr ? backward->srcLuma : nullptr;
  backwardReconPlane_ = backward != nullptr ? backward->reconLuma : nullptr;
  SetCurrentPicture(picture);
  SetupPicture();
  ProfileTimerStart(profileInstance_, kProfileSlotMotionSearch);
  EstimatePicture(picture->mbInfo);
  ProfileTimerStop(profileInstance_, kProfileSlotMotionSearch);
  FinishPicture();
}

void CMotionEstimator::ScaleSearchRange(CPicture* picture) {
  if (olderAnchor_ == nullptr) return;
  const int t = std::clamp(picture->displayNumber - olderAnchor_->displayNumber, 1, 3);
  const int rx = settings_->searchRangeX;
  const int ry = settings_->searchRangeY;
  const int m = settings_->anchorDistance;
  int x;
  int y;
  if (picture->pictureType == PICTURE_P) {
    x = rx * (t + 1) / 4;
    y = ry * (t + 1) / 4;
  } else {
    x = rx * (m + 1) / 4;
    y = ry * (m + 1) / 4;
    if (m >= 3) {
      x >>= 1;
      y >>= 1;
    } else {
      x = 2 * x / 3;
      y = 2 * y / 3;
    }
  }
  const int w = settings_->codedWidth;
  const int h = settings_->codedHeight;
  int cx = (w * t) >> 3;
  if (4 * cx > w) cx = w >> 2;
  int cy = (h * t) >> 3;
  if (4 * cy > h) cy = h >> 2;
  rangeX_ = std::min(x, cx);
  rangeY_ = std::min(y, cy);
}

void CMotionEstimator::SetAnchorFCodes(CPicture* picture) const {
  const int codec = settings_->codec;
  if (codec != CODEC_MPEG1 && codec != CODEC_MPEG4) {
    picture->forwardFCodeX = GetFCode(picture->maxForwardX);
    picture->forwardFCodeY = GetFCode(picture->maxForwardY);
    return;
  }
  int f = GetFCode(std::max(picture->maxForwardX, picture->maxForwardY));
  if (codec == CODEC_MPEG4) f = std::max(f, 2);
  picture->forwardFCodeX = picture->forwardFCodeY = f;
}

void CMotionEstimator::SetBFCodes(CPicture* picture) const {
  SetAnchorFCodes(picture);
  const int codec = settings_->codec;
  if (codec != CODEC_MPEG1 && codec != CODEC_MPEG4) {
    picture->backwardFCodeX = GetFCode(picture->maxBackwardX);
    picture->backwardFCodeY = GetFCode(picture->maxBackwardY);
    return;
  }
  int f = GetFCode(std::max(picture->maxBackwardX, picture->maxBackwardY));
  if (codec == CODEC_MPEG4) f = std::max(f, 2);
  picture->backwardFCodeX = picture->backwardFCodeY = f;
}

void CMotionEstimator::EstimateAnchor(CPicture* picture) {
  searchParams_ = settings_->searchParams[0];
  backwardSearch_ = false;
  rangeX_ = rangeY_ = 0;
  picture->backwardFCodeX = picture->backwardFCodeY = FCODE_NONE;
  ClearTemporalPredictor();
  if (picture->pictureType == PICTURE_P) {
    forwardSearch_ = true;
    picture->forwardFCodeX = picture->forwardFCodeY = 2;
    if (picture->copyMode == COPY_FORWARD) {
      ClearMBInfo(picture->mbInfo, 0, MacroblockCount(), 0);
      picture->intraMbCount = 0;
      picture->interCostSum = 1;
      picture->intraActivitySum = 0;
      picture->minRowCostTotal = 0;
      return;
    }
    ScaleSearchRange(picture);
  } else {
    forwardSearch_ = false;
    picture->forwardFCodeX = picture->forwardFCodeY = FCODE_NONE;
  }
  if (searchParams_.noSearch == 0) {
    const int n = queueCount_;
    if (n >= 1 && queue_[n - 1]->repeatGroup == 0) {
      // The last queued B picture lies next to this one: its vectors decide alone.
      const CPicture* last = queue_[n - 1];
      if (last->sceneChange == 0) {
        temporal_.arrayA = temporal_.arrayB = last->mbInfo;
        temporal_.scaleA = static_cast<int32_t>((1.0 + 1.0 / n) * 65536.0);
      } else {
        temporal_.arrayA = temporal_.arrayB = picture->mbInfo;
      }
    } else if (olderAnchor_ != nullptr && olderAnchor_->repeatGroup == 0 &&
               olderAnchor_->sceneChange == 0) {
      temporal_.arrayA = olderAnchor_->mbInfo;
      temporal_.arrayB = picture->mbInfo;
      temporal_.scaleA = 53084;  // 0.81
    } else {
      temporal_.arrayA = temporal_.arrayB = picture->mbInfo;
    }
    if (picture->pictureType == PICTURE_I) {
      temporal_.scaleA = (temporal_.scaleA * 3) >> 2;
      temporal_.scaleB = (temporal_.scaleB * 3) >> 2;
    }
  }
  EstimateWholePicture(picture);
  if (picture->pictureType == PICTURE_P) SetAnchorFCodes(picture);
}

void CMotionEstimator::EstimateQueuedB(CPicture* picture) {
  searchParams_ = settings_->searchParams[1];
  rangeX_ = rangeY_ = 0;
  forwardSearch_ = !(settings_->closedGops != 0 && picture->displayNumber < firstAnchor_);
  backwardSearch_ = false;
  ClearTemporalPredictor();
  picture->forwardFCodeX = picture->forwardFCodeY = 2;
  picture->backwardFCodeX = picture->backwardFCodeY = 2;
  if (picture->copyMode == COPY_FORWARD) {
    ClearMBInfo(picture->mbInfo, 0, MacroblockCount(), MBINFO_FORWARD);
    picture->interCostSum = picture->intraActivitySum = picture->intraMbCount = 0;
    picture->minRowCostTotal = 0;
    return;
  }
  if (picture->copyMode == COPY_BACKWARD) return;
  ScaleSearchRange(picture);
  if (picture->repeatGroup != 0) searchParams_.noSearch = 1;
  if (searchParams_.noSearch == 0) {
    const int i = queueCount_;
    if (i == 0) {
      if (olderAnchor_ != nullptr && olderAnchor_->repeatGroup == 0) {
        temporal_.arrayA = olderAnchor_->mbInfo;
        temporal_.arrayB = picture->mbInfo;
        if (olderAnchor_->sceneChange == 0) {
          temporal_.scaleA = 65536 / settings_->anchorDistance;
        }
      } else {
        temporal_.arrayA = temporal_.arrayB = picture->mbInfo;
      }
    } else {
      const CPicture* previous = queue_[i - 1];
      temporal_.arrayA = temporal_.arrayB = previous->mbInfo;
      if (previous->sceneChange == 0) {
        temporal_.scaleA = static_cast<int32_t>((1.0 + 1.0 / i) * 65536.0);
      }
    }
  }
  EstimateWholePicture(picture);
}

void CMotionEstimator::EstimateBPicture(int queueIndex, CPicture* newAnchor) {
  CPicture* picture = queue_[queueIndex];
  const EncoderSettings& s = *picture->settings;
  searchParams_ = s.searchParams[1];
  rangeX_ = s.searchRangeX;
  rangeY_ = s.searchRangeY;
  forwardSearch_ = false;
  backwardSearch_ = true;
  ClearTemporalPredictor();
  temporal_.storedVector = 1;
  if (picture->copyMode == COPY_FORWARD) return;
  if (picture->copyMode == COPY_BACKWARD) {
    ClearMBInfo(picture->mbInfo, 1, MacroblockCount(), MBINFO_BACKWARD);
    picture->interCostSum = picture->intraActivitySum = picture->intraMbCount = 0;
    picture->minRowCostTotal = 0;
    return;
  }
  if (searchParams_.noSearch == 0) {
    const int n = queueCount_;
    const int i = queueIndex;
    if (picture->sceneChange != 0) {
      if (i >= 1 && queue_[i - 1]->sceneChange != 0 && newAnchor->sceneChange != 0) {
        const int k = n - i;
        temporal_.arrayB = picture->mbInfo;
        temporal_.arrayA = queue_[i - 1]->mbInfo;
        temporal_.vectorA = 1;
        temporal_.scaleA = static_cast<int32_t>(65536.0 / (k + 1) * k);
      } else {
        temporal_.arrayA = temporal_.arrayB = picture->mbInfo;
      }
    } else {
      // Half from the picture's own forward vectors, half from the anchor side, both turned
      // round to point at the new anchor.
      temporal_.arrayA = picture->mbInfo;
      temporal_.scaleA = ((i - n) * 32768) / (i + 1);
      if (newAnchor->pictureType == PICTURE_I) {
        temporal_.arrayB = queue_[n - 1]->mbInfo;
        const float nf = static_cast<float>(n);
        temporal_.scaleB = static_cast<int32_t>((1.0f / nf + 1.0f) * -32768.0f *
                                                static_cast<float>(n - i) / (1.0f + nf));
      } else {
        temporal_.arrayB = newAnchor->mbInfo;
        temporal_.scaleB = ((i - n) * 32768) / (n + 1);
        if (newAnchor->sceneChange != 0) temporal_.scaleA = temporal_.scaleB = 0;
      }
    }
  }
  EstimateWholePicture(picture);
  SetBFCodes(picture);
}

// ---- whole-picture driver ----

void CMotionEstimator::ProcessPicture(CPicture* picture) {
  picture->sceneChange = 0;
  if (picture->pictureType != PICTURE_B) {
    ProcessAnchor(picture);
    return;
  }
  // The queue is full only when M is larger than the checks allow: the B pictures waiting are
  // coded against the last of them as their anchor, so none is lost.
  if (queueCount_ == kMaxQueuedB) FlushQueue();
  queue_[queueCount_] = picture;
  picture->AddRef();
  picture->forwardRef = olderAnchor_;
  picture->backwardRef = nullptr;
  EstimateQueuedB(picture);
  queueCount_ += 1;
  const EncoderSettings& s = *settings_;
  const int bc = s.borderX >> 4;
  const int br = s.borderY >> 4;
  const int ma = MacroblockCount() - 2 * ((s.mbRows - 2 * br) * bc + br * s.mbCols);
  if (picture->repeatGroup == 0 && picture->intraMbCount > ma - ma / 8 &&
      4 * int64_t{picture->interCostSum} > 3 * int64_t{picture->intraCostSum} &&
      (modeFlags_ & ME_MODE_NO_SCENE_CHANGE) == 0) {
    picture->sceneChange = 1;
  }
}

void CMotionEstimator::PromoteToIntra(CPicture* picture) {
  const int count = MacroblockCount();
  for (int i = 0; i < count; ++i) {
    MBInfo& mb = picture->mbInfo[i];
    mb.flags = (mb.flags & MBINFO_FIELD) | MBINFO_INTRA;
  }
  picture->interCostSum = picture->intraActivitySum = picture->intraCostSum;
  picture->minRowCostTotal = 4 * picture->minRowDeviationSum;
  picture->forwardFCodeX = picture->forwardFCodeY = FCODE_NONE;
  picture->intraMbCount = count;
  picture->forwardRef = nullptr;
  picture->pictureType = PICTURE_I;
  const int d = picture->displayNumber;
  ReplanAroundIntra(d);
  gopFields_ += picture->repeatFirstField;
  ApplyFieldLimit(d);
  FillGopInfo(picture);
  promotionDisplay_ = d;
}

// The queued B pictures leave the old GOP: each becomes all intra.
void CMotionEstimator::CutQueuedPictures(CPicture* picture) {
  const int count = MacroblockCount();
  for (int q = 0; q < queueCount_; ++q) {
    CPicture* b = queue_[q];
    b->intraMbCount = count;
    b->interCostSum = b->intraCostSum;
    for (int i = 0; i < count; ++i) {
      MBInfo& mb = b->mbInfo[i];
      mb.flags = (mb.flags & ~MBINFO_FORWARD) | MBINFO_INTRA;
      mb.interCost = COST_NO_FORWARD;
      mb.mv[0].forward = {};
      mb.mv[0].backward = {};
    }
  }
  picture->closedGop = 1;
}

void CMotionEstimator::ProcessAnchor(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  const uint32_t sceneFlag = (modeFlags_ & ME_MODE_NO_SCENE_CHANGE) == 0 ? 1 : 0;
  bool allQueuedCut = true;
  if (olderAnchor_ != nullptr && olderAnchor_->sceneChange != 0) {
    allQueuedCut = false;
  } else {
    for (int i = 0; i < queueCount_; ++i) {
      if (queue_[i]->sceneChange == 0 || queue_[i]->copyMode == COPY_FORWARD) {
        allQueuedCut = false;
      }
    }
  }
  picture->forwardRef = picture->pictureType == PICTURE_P ? olderAnchor_ : nullptr;
  picture->backwardRef = nullptr;
  EstimateAnchor(picture);

  const int bc = s.borderX >> 4;
  const int br = s.borderY >> 4;
  const int ma = MacroblockCount() - 2 * ((s.mbRows - 2 * br) * bc + br * s.mbCols);
  const int d = picture->displayNumber;
  bool promoted = false;
  if (picture->repeatGroup == 0 && picture->intraMbCount > ma - ma / 8 &&
      4 * int64_t{picture->interCostSum} > 3 * int64_t{picture->intraCostSum}) {
    if (picture->pictureType == PICTURE_I && (!allQueuedCut || queueCount_ == 0)) {
      if (olderAnchor_ != nullptr) {
        // A scene change when the intra cost sums differ by 25 %.
        const int64_t a = int64_t{olderAnchor_->intraCostSum} + ma;
        const int64_t b = int64_t{picture->intraCostSum} + ma;
        picture->sceneChange = (5 * b <= 4 * a || 5 * a <= 4 * b) ? sceneFlag : 0;
      } else {
        picture->sceneChange = sceneFlag;
      }
    } else {
      picture->sceneChange = sceneFlag;
    }
    const int m = s.anchorDistance;
    const int minDistance = s.sceneChangeMinDistance;
    if (picture->pictureType == PICTURE_P && sceneFlag != 0 && minDistance != 0 &&
        d - firstAnchor_ > minDistance &&
        10 * int64_t{picture->interCostSum} >
            9 * int64_t{picture->intraCostSum} + 64 * int64_t{ma} &&
        (s.closedGops != 0 ? (allQueuedCut && m >= 1) : m > 0)) {
      PromoteToIntra(picture);
      promoted = true;
    }
  }
  if (promoted) {
    if ((allQueuedCut || picture->closedGop != 0) && picture->gopStart != 0) {
      CutQueuedPictures(picture);
    }
  } else if (picture->pictureType == PICTURE_I && picture->gopStart != 0 && queueCount_ > 0 &&
             picture->repeatGroup == 0 &&
             ((picture->closedGop == 0 && allQueuedCut) ||
              (replannedForRequest_ && picture->closedGop != 0))) {
    // A requested I picture of a closed GOP takes the queued pictures with it, as a
    // promotion does.
    if (picture->closedGop == 0) promotionDisplay_ = d;
    CutQueuedPictures(picture);
  }
  replannedForRequest_ = false;

  const bool encode = (modeFlags_ & ME_MODE_SKIP_ENCODER) != ME_MODE_SKIP_ENCODER;
  if (encode) encoder_->EncodePicture(picture, s.gopLength >= 2 ? this : nullptr);
  for (int i = 0; i < queueCount_; ++i) {
    CPicture* b = queue_[i];
    b->forwardRef = olderAnchor_;
    b->backwardRef = picture;
    EstimateBPicture(i, picture);
    if (encode) encoder_->EncodePicture(b, nullptr);
  }
  for (int i = 0; i < queueCount_; ++i) {
    queue_[i]->Release();
    queue_[i] = nullptr;
  }
  queueCount_ = 0;
  if (olderAnchor_ != nullptr) olderAnchor_->Release();
  olderAnchor_ = picture;
  picture->AddRef();
}

// The re-planned anchor takes the anchor buffers of the parity rule. Its pixels move from the
// B picture's source buffer into the anchor's, because the next queued B picture takes that
// B buffer again while this anchor is still a reference.
void CMotionEstimator::TakeAnchorBuffers(CPicture* picture) {
  if (picture->copyMode != COPY_NONE) parity_ -= 1;
  const int source = parity_ & 1;
  if (picture->copyMode == COPY_NONE && picture->sourceBufferIndex != source &&
      picture->store != nullptr && picture->srcLuma != nullptr) {
    const CFrameStore& store = *picture->store;
    const FrameBufferPair from = store.GetFrameBuffer(picture->sourceBufferIndex);
    const FrameBufferPair to = store.GetFrameBuffer(source);
    if (from.luma != nullptr && to.luma != nullptr) {
      std::memcpy(to.luma - store.LumaOffset(), from.luma - store.LumaOffset(), store.FrameSize());
      picture->SetSourceBuffer(source);
    }
  }
  picture->SetReconBuffer((parity_ & 1) + 2);
  parity_ += 1;
}

void CMotionEstimator::ReplanAsAnchor(CPicture* last, CPicture* const* queued, int queuedCount) {
  const int d = last->displayNumber;
  if (d - firstAnchor_ >= 0) {
    last->pictureType = PICTURE_P;
  } else {
    // The I picture of its GOP never came: this picture becomes it.
    last->pictureType = PICTURE_I;
    firstAnchor_ = d;
    for (int i = 0; i < queuedCount; ++i) {
      if (queued[i]->displayNumber >= gopStart_) FillGopInfo(queued[i]);
    }
  }
  if (last->copyMode == COPY_BACKWARD) last->copyMode = COPY_NONE;
  FillGopInfo(last);
  TakeAnchorBuffers(last);
  last->sceneChange = 0;
}

void CMotionEstimator::FlushQueue() {
  if (queueCount_ == 0) return;
  queueCount_ -= 1;
  CPicture* last = queue_[queueCount_];
  queue_[queueCount_] = nullptr;
  ReplanAsAnchor(last, queue_, queueCount_);
  ProcessAnchor(last);
  last->Release();  // the queue's reference; the anchor slot holds its own
}

// ---- row driver ----

void CMotionEstimator::BeginPicture(CPicture* picture) {
  picture->intraCostSum = picture->interCostSum = picture->intraActivitySum = 0;
  picture->intraMbCount = picture->minDeviationSum = picture->fieldMbCount = 0;
  picture->fieldActivitySum = picture->minRowDeviationSum = picture->minRowCostTotal = 0;
  picture->sceneChange = 0;
  picture->maxForwardX = picture->maxForwardY = picture->maxBackwardX = 0;
  picture->maxBackwardY = picture->forwardDistance = 0;
  mvCodeLength_ = picture->mvCodeLength;
  const EncoderSettings& s = *settings_;
  if (s.reorderPictures == 0) return;
  const int f = s.codec == CODEC_MPEG4 ? 2 : 1;
  if (picture->pictureType != PICTURE_B) {
    if (olderAnchor_ != nullptr) olderAnchor_->Release();
    olderAnchor_ = newerAnchor_;
    newerAnchor_ = picture;
    picture->AddRef();
  }
  rangeX_ = rangeY_ = 0;
  picture->forwardRef = picture->backwardRef = nullptr;
  switch (picture->pictureType) {
    case PICTURE_I:
      searchParams_ = s.searchParams[0];
      forwardSearch_ = backwardSearch_ = false;
      picture->forwardFCodeX = picture->forwardFCodeY = FCODE_NONE;
      picture->backwardFCodeX = picture->backwardFCodeY = FCODE_NONE;
      break;
    case PICTURE_P:
      searchParams_ = s.searchParams[1];
      picture->forwardRef = olderAnchor_;
      forwardSearch_ = true;
      backwardSearch_ = false;
      picture->forwardFCodeX = picture->forwardFCodeY = f;
      picture->backwardFCodeX = picture->backwardFCodeY = FCODE_NONE;
      break;
    default:
      searchParams_ = s.searchParams[1];
      picture->forwardRef = olderAnchor_;
      picture->backwardRef = newerAnchor_;
      forwardSearch_ = !(s.closedGops != 0 && picture->displayNumber < firstAnchor_);
      backwardSearch_ = true;
      picture->forwardFCodeX = picture->forwardFCodeY = f;
      picture->backwardFCodeX = picture->backwardFCodeY = f;
      break;
  }
  const CPicture* forward = picture->forwardRef;
  const CPicture* backward = picture->backwardRef;
  forwardSearchPlane_ = forwardReconPlane_ = forward != nullptr ? forward->reconLuma : nullptr;
  backwardSearchPlane_ = backwardReconPlane_ = backward != nullptr ? backward->reconLuma : nullptr;
  SetCurrentPicture(picture);
  ClearTemporalPredictor();
  SetupPicture();
  encoder_->BeginPicture(picture);
}

void CMotionEstimator::ProcessRow(CPicture* picture, int row) {
  const int columns = settings_->mbCols;
  MBInfo* first = picture->mbInfo + row * columns;
  switch (picture->copyMode) {
    case COPY_NONE:
      currentSource_ = picture->srcLuma;
      EstimateRow(first, row);
      break;
    case COPY_BACKWARD:
      ClearMBInfo(first, 1, columns, MBINFO_BACKWARD);
      break;
    default:
      ClearMBInfo(first, 0, columns, picture->pictureType == PICTURE_B ? MBINFO_FORWARD : 0);
      break;
  }
  encoder_->NextRow();
}

void CMotionEstimator::EndPicture(CPicture* picture) {
  if (settings_->reorderPictures == 0) return;
  FinishPicture();
  encoder_->EndPicture(picture);
}

}  // namespace orx::venc
