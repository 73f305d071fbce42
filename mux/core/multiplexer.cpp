#include "mux/core/multiplexer.h"

#include <cmath>

namespace orx::mux {

IMultiplexer* NewMultiplexer() { return new CMultiplexer(); }

bool CMultiplexer::Open(const MuxConfig* config) {
  if (config == nullptr || config->bitStream == nullptr) return false;
  if (config->maxFileSize >> 63) return false;
  if (config->audioPresent > 1 || config->videoPresent > 1) return false;
  if (config->audioPresent == 0 && config->videoPresent == 0) return false;
  if (state_ == kMuxProbing || state_ == kMuxRunning) return false;
  switch (config->muxType) {
    case kMuxGenericPrivateTail: case kMuxGeneric: case kMuxTransport: case kMuxVcd:
    case kMuxSvcd: case kMuxTablesThenProgram: case kMuxDvd: case kMuxDvdLargeBuffer:
    case kMuxAvi: case kMuxAsf: case kMuxMp4: case kMuxMp4Portable: case kMuxQuickTime:
      break;
    default:
      return false;
  }
  // The LPCM substream header codes 16-bit samples at 48 or 96 kHz only; any other rate would
  // play at the wrong speed.
  if (config->audioPresent && config->audioClass == kAudioClassLpcm && config->audioFormat) {
    const MuxAudioFormat& format = *config->audioFormat;
    if (format.sampleRate != 48000 && format.sampleRate != 96000) return false;
    if (format.bitsPerSample != 16 && format.bitsPerSample != 0) return false;
    if (format.channels < 1 || format.channels > 8) return false;
  }
  config_ = *config;
  switch (config_.videoCodecHint) {
    case kHintWmv9: videoCodec_ = kVideoWmv9; break;
    case kHintVc1: videoCodec_ = kVideoVc1; break;
    case kHintH264: videoCodec_ = kVideoH264; break;
    default: videoCodec_ = -1; break;
  }
  timeBase_ = 0;
  nextAnchorDts_ = 0;
  lastVideoPts_ = 0;
  audioTime_ = 0;
  desc_ = MuxWriteDesc{};
  vbvSize_ = 229376;
  codecPrivateLength_ = 0;
  failure_ = 0;
  state_ = kMuxProbing;
  videoState_ = config_.videoPresent ? kStreamWaiting : kStreamAbsent;
  audioState_ = config_.audioPresent ? kStreamWaiting : kStreamAbsent;
  return true;
}

bool CMultiplexer::Release() {
  delete this;
  return true;
}

uint32_t CMultiplexer::NextStream() {
  uint32_t pick = kStreamNone;
  if (state_ == kMuxProbing) {
    if (videoState_ == kStreamWaiting) {
      pick = kStreamVideo;
    } else if (audioState_ == kStreamWaiting) {
      pick = kStreamAudio;
    }
  } else if (state_ == kMuxRunning) {
    pick = nextStream_;
    if (audioState_ == kStreamAbsent && pick == kStreamAudio)
      pick = videoState_ == kStreamAbsent ? kStreamNone : kStreamVideo;
    if (videoState_ == kStreamAbsent && pick == kStreamVideo)
      pick = audioState_ == kStreamAbsent ? kStreamNone : kStreamAudio;
  }
  currentStream_ = pick;
  return pick;
}

uint32_t CMultiplexer::Write(uint32_t stream, const MuxSampleDesc* sample) {
  if (sample == nullptr) return 0;
  currentStream_ = stream;
  // The probe answers for itself: a sample that started the stream is offered again and then
  // written at the scheduler's pick.
  if (state_ == kMuxProbing) return Probe(stream, *sample);
  if (state_ != kMuxRunning) return sample->length;
  if (stream != kStreamAudio && stream != kStreamVideo) return sample->length;
  const uint32_t streamState = stream == kStreamVideo ? videoState_ : audioState_;
  if (streamState != kStreamRunning) return sample->length;
  if (IsMp4()) return WriteMp4Sample(stream, *sample);
  if (config_.muxType == kMuxAvi) return WriteAviSample(stream, *sample);
  if (config_.muxType == kMuxAsf) return WriteAsfSample(stream, *sample);
  if (sample->flags & kSampleEndOfStream) return EndStream(stream, true, sample->length);
  return WriteMpegSample(stream, *sample);
}

bool CMultiplexer::Close() {
  state_ = kMuxClosed;
  return true;
}

double CMultiplexer::ScrSeconds() const {
  return static_cast<double>(ClockBytes()) / clockRate_ + timeBase_;
}

uint64_t CMultiplexer::Scr27MHz() const { return ClockBytes() * 540000 / (clockRate_ / 50); }

int64_t CMultiplexer::ScrMilliseconds() const {
  return static_cast<int64_t>(ClockBytes() * 20 / (clockRate_ / 50));
}

double CMultiplexer::FieldSeconds() const {
  const bool dvdForm = config_.muxType == kMuxDvd || config_.muxType == kMuxDvdLargeBuffer;
  if (!dvdForm || frameRateNum_ == 0 || frameRateDen_ == 0) return 0.0;
  return static_cast<double>(frameRateDen_) / (2.0 * frameRateNum_);
}

double CMultiplexer::SnapVideoTime(double time) const {
  const double field = FieldSeconds();
  return field > 0.0 ? std::round(time / field) * field : time;
}

uint64_t CMultiplexer::Pts90kHz(double time) const {
  // A time meant to fall on a tick (a field boundary, say) may come out a hair below it.
  const int64_t ticks = static_cast<int64_t>(std::floor((time - timeBase_) * 90000.0 + 1e-6));
  return static_cast<uint64_t>(ticks) & 0x1FFFFFFFFull;
}

}  // namespace orx::mux
