// CVideoEncoder::EncodeFrame: one input picture becomes one or more CPictures (a lead picture and
// a repeat group), each planned and handed to the preprocessor; and the drain at the end of a
// sequence.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "venc/core/preprocessor.h"
#include "venc/common/profiling.h"
#include "venc/core/video_encoder.h"
#include "venc/me/motion_estimator.h"

namespace orx::venc {
namespace {

int64_t RoundMs(double ms) { return static_cast<int64_t>(std::llround(ms)); }

// Bytes of one input frame (or field) of a kind.
size_t InputFrameBytes(uint32_t fourcc, int width, int height) {
  const size_t area = static_cast<size_t>(width) * height;
  if (fourcc == FOURCC_YUY2 || fourcc == FOURCC_UYVY) return 2 * area;
  return area + 2 * (static_cast<size_t>(width / 2) * (height / 2));
}

}  // namespace

void CVideoEncoder::FillPicture(CPicture* picture, const EncodeFrameRequest& request, int64_t timeStamp) const {
  picture->SetLink(nullptr);
  picture->inputData = request.data;
  picture->inputDataWord = request.dataWord;
  picture->inputFourcc = request.fourcc;
  picture->inputWidth = request.width;
  picture->inputHeight = request.height;
  picture->pictureMark = (request.flags & ENCODE_PICTURE_MARK) != 0 && request.dataWord != 0 ? 1 : 0;
  picture->pictureWord = request.pictureWord;
  picture->overlay = request.overlay;
  picture->forwardRef = picture->backwardRef = nullptr;
  picture->timeStamp = timeStamp;
  picture->userDataCount = 0;
  picture->repeatGroup = picture->repeatIndex = picture->repeatRemaining = 0;
}

void CVideoEncoder::KeepQueuedInput(CPicture* picture, int slot) {
  const size_t bytes = InputFrameBytes(picture->inputFourcc, picture->inputWidth, picture->inputHeight);
  const uint8_t* second = reinterpret_cast<const uint8_t*>(picture->inputDataWord);
  std::vector<uint8_t>& copy = queuedInput_[slot];
  copy.resize(second != nullptr ? 2 * bytes : bytes);
  if (picture->inputData != nullptr) std::memcpy(copy.data(), picture->inputData, bytes);
  picture->inputData = copy.data();
  if (second != nullptr) {
    std::memcpy(copy.data() + bytes, second, bytes);
    picture->inputDataWord = reinterpret_cast<uintptr_t>(copy.data() + bytes);
  }
}

bool CVideoEncoder::PassPlannedPicture(CPicture* picture, bool* anchorPassed) {
  if (settings_.reorderPictures != 0) {
    if (picture->pictureType == PICTURE_B) {
      if (queuedCount_ >= kMaxQueuedB) return false;
      picture->AddRef();
      KeepQueuedInput(picture, queuedCount_);
      queuedB_[queuedCount_++] = picture;
      return true;
    }
    preprocessor_->ProcessQueuedPicture(picture);
    for (int i = 0; i < queuedCount_; ++i) {
      preprocessor_->ProcessQueuedPicture(queuedB_[i]);
      queuedB_[i]->Release();
      queuedB_[i] = nullptr;
    }
    queuedCount_ = 0;
    *anchorPassed = true;
    return true;
  }
  preprocessor_->ProcessPicture(picture);
  *anchorPassed = true;
  return true;
}

int CVideoEncoder::EncodeFrame(const EncodeFrameRequest* request) {
  if (request == nullptr || store_ == nullptr || estimator_ == nullptr || preprocessor_ == nullptr) return 0;
  ProfileTimerStart(instance_, kProfileSlotEncodeFrame);
  EncoderSettings& s = settings_;
  const EncodeFrameRequest& r = *request;

  // CVideoEncoder::EncodeFrame, one input picture into the encoder:
  // 1. The request's field flags.
  int progressive = (r.flags & ENCODE_PROGRESSIVE_FRAME) != 0 ? 1 : 0;
  int topFirst = (r.flags & ENCODE_TOP_FIELD_FIRST) != 0 ? 1 : 0;
  int repeatFirst = (r.flags & ENCODE_REPEAT_FIRST_FIELD) != 0 ? 1 : 0;
  int fieldRepeat = (r.flags & ENCODE_FIELD_REPEAT_ONE) != 0 ? 1 : 0;
  const bool noB = (r.flags & ENCODE_NO_B_PICTURE) != 0;
  const int repeats = std::max(r.repeatCount, 0);
  int n = repeats;
  int userLeft = r.userData != nullptr ? std::max(r.userDataCount, 0) : 0;
  const uint16_t* user = r.userData;
  int64_t ts = r.timeStamp;

  // 2. Restart: counters and the start frame number (time stamps are in ms). The number is the
  // frame's own count at the sequence's real rate, rounded: the time code packs it (and counts
  // drop-frame labels itself), and a stamp cut to whole ms lies up to 1 ms early. (The rate
  // rounded up to 30 counted 29.97 Hz frames 0.1 % fast, a frame ahead every 1000 frames on top
  // of the drop-frame labels, and the cut stamp of frame 13 gave frame 12.)
  if ((r.flags & ENCODE_RESTART) != 0) {
    displayCounter_ = repeatCounter_ = 0;
    s.startFrameNumber = static_cast<int32_t>(std::llround(s.frameRate * static_cast<double>(ts) / 1000.0));
  }
  // 3. Pulldown.
  if ((r.flags & ENCODE_FIELD_REPEAT_MINUS_ONE) != 0) {
    fieldRepeat = -1;
  } else if (progressive == 0 && s.pulldownMode != 0) {
    if (fieldRepeat == 0) fieldRepeat = s.pulldownMode == 2 ? 3 : 1;
    progressive = 1;
  }
  // 4. A progressive sequence has progressive frames only.
  if (s.progressiveSequence != 0) {
    progressive = 1;
    topFirst = 0;
    repeatFirst = 0;
  } else if (progressive == 0) {
    repeatFirst = 0;
  }

  auto takeUserWord = [&](CPicture* picture) {
    if (userLeft > 0 && picture->userDataCount < 4) {
      picture->userData[picture->userDataCount++] = *user++;
      --userLeft;
    }
  };
  const double frameMs = 1000.0 / s.frameRate;
  bool anchorPassed = false;
  int result = 1;
  auto finish = [&](int answer) {
    ProfileTimerStop(instance_, kProfileSlotEncodeFrame);
    return answer;
  };

  // 5. A lead picture of its own before a repeat group.
  if (n > 0 && repeatFirst == 0 && s.verticalMode == 0 && (r.flags & ENCODE_PROGRESSIVE_FRAME) == 0 &&
      fieldRepeat >= 0) {
    CPicture* picture = nullptr;
    if (!store_->GetPicture(&picture)) return finish(0);
    FillPicture(picture, r, ts);
    picture->progressiveFrame = progressive;
    picture->topFieldFirst = topFirst;
    picture->repeatFirstField = 0;
    picture->fieldRepeatCode = topFirst != 0 ? 1 : 2;
    picture->displayNumber = displayCounter_++;
    ts += RoundMs(frameMs);
    takeUserWord(picture);
    estimator_->DecidePictureType(picture, false);
    const bool passed = PassPlannedPicture(picture, &anchorPassed);
    picture->Release();
    if (!passed) return finish(0);
    n -= 1;
    fieldRepeat = topFirst != 0 ? 2 : 1;
  }

  // 6. The repeat group: n + 1 pictures sharing the first one's source.
  if (progressive == 0 && fieldRepeat == 0 && n > 0) fieldRepeat = 1;
  CPicture* groupFirst = nullptr;
  bool ok = true;
  for (int k = 0; k <= n; ++k) {
    CPicture* picture = nullptr;
    if (!store_->GetPicture(&picture)) {
      ok = false;
      break;
    }
    FillPicture(picture, r, ts);
    if (groupFirst == nullptr) {
      groupFirst = picture;
      groupFirst->AddRef();  // held until the group is done
    } else {
      picture->SetLink(groupFirst);
    }
    picture->progressiveFrame = progressive;
    picture->topFieldFirst = topFirst;
    picture->repeatFirstField = repeatFirst;
    picture->fieldRepeatCode = fieldRepeat;
    picture->displayNumber = displayCounter_++;
    picture->repeatGroup = n != 0 ? 1 : 0;
    picture->repeatIndex = k;
    picture->repeatRemaining = n - k;
    ts += RoundMs(repeatFirst != 0 ? 1.5 * frameMs : frameMs);
    takeUserWord(picture);
    if (userLeft > 0 && ((topFirst != 0 && repeatFirst != 0) || kFrameRateTable[s.frameRateIndex].rateX1000 <= 24000)) {
      takeUserWord(picture);
    }
    if (repeatFirst != 0) topFirst ^= 1;
    repeatFirst = 0;
    estimator_->DecidePictureType(picture, noB);
    ok = PassPlannedPicture(picture, &anchorPassed);
    picture->Release();
    if (!ok) break;
  }
  if (groupFirst != nullptr) groupFirst->Release();
  if (!ok) return finish(0);

  // 8. The answer: how far the queued pictures got.
  repeatCounter_ += repeats;
  if (queuedCount_ > 0) result = anchorPassed ? 4 : 3;
  return finish(result);
}

int CVideoEncoder::Drain() {
  if (estimator_ == nullptr || preprocessor_ == nullptr) return 0;
  if (settings_.reorderPictures == 0) {
    const int queued = estimator_->QueuedCount();
    estimator_->FlushQueue();
    return queued;
  }
  if (queuedCount_ == 0) return 0;
  // The row road: the last queued B picture becomes the anchor the others wait for.
  const int coded = queuedCount_;
  CPicture* last = queuedB_[--queuedCount_];
  queuedB_[queuedCount_] = nullptr;
  estimator_->ReplanAsAnchor(last, queuedB_, queuedCount_);
  preprocessor_->ProcessQueuedPicture(last);
  for (int i = 0; i < queuedCount_; ++i) {
    preprocessor_->ProcessQueuedPicture(queuedB_[i]);
    queuedB_[i]->Release();
    queuedB_[i] = nullptr;
  }
  queuedCount_ = 0;
  last->Release();
  return coded;
}

}  // namespace orx::venc
