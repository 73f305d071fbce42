// The probe: the first video and audio samples give the streams' kinds, rates and timing.
#include <algorithm>
#include <iterator>

#include "mux/core/multiplexer.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {

uint32_t CMultiplexer::Probe(uint32_t stream, const MuxSampleDesc& sample) {
  if (sample.flags & kSampleEndOfStream) {
    if (stream == kStreamAudio) {
      audioState_ = kStreamAbsent;
    } else if (stream == kStreamVideo) {
      videoState_ = kStreamAbsent;
    } else {
      state_ = kMuxStopped;
    }
  } else if (stream == kStreamVideo) {
    if (videoState_ != kStreamWaiting) return 0;  // already probed: offered again once running
    if (!ProbeVideo(sample)) return sample.length;
  } else if (stream == kStreamAudio) {
    if (audioState_ != kStreamWaiting) return 0;
    if (!ProbeAudio(sample)) return sample.length;
  } else {
    state_ = kMuxStopped;
  }
  if (state_ == kMuxStopped) return sample.length;
  if (videoState_ == kStreamWaiting || audioState_ == kStreamWaiting) return 0;
  if (videoState_ != kStreamRunning && audioState_ != kStreamRunning) {
    state_ = kMuxClosed;
    return sample.length;
  }
  StartStream();
  if (audioState_ == kStreamAbsent && nextStream_ == kStreamAudio && videoState_ != kStreamAbsent)
    nextStream_ = kStreamVideo;
  if (videoState_ == kStreamAbsent && nextStream_ == kStreamVideo && audioState_ != kStreamAbsent)
    nextStream_ = kStreamAudio;
  return 0;
}

bool CMultiplexer::ProbeVideo(const MuxSampleDesc& sample) {
  VideoEsInfo info;
  if (!ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat)) return false;
  if (!(sample.flags & kSampleTimeValid) || !info.seqHeaderFound) return false;
  if (info.pictureType != kPictureI && info.kind != kVideoVc1) return false;
  videoCodec_ = info.kind;
  videoBytesPerSecond_ = std::max<uint32_t>(static_cast<uint32_t>(std::max(info.bitRate, 0)) / 8, 1);
  navCategory_ = 0;
  lastNavCategory_ = 0;
  if (info.vbvSize > 0) vbvSize_ = static_cast<uint32_t>(info.vbvSize);
  frameRateNum_ = info.frameRateNum > 0 ? static_cast<uint32_t>(info.frameRateNum) : 30000;
  frameRateDen_ = info.frameRateNum > 0 && info.frameRateDen > 0 ? info.frameRateDen : 1001;
  frameRate_ = static_cast<double>(frameRateNum_) / frameRateDen_;
  const double time = SnapVideoTime(sample.time);
  nextAnchorDts_ = time - (info.temporalRef + 1) / frameRate_;
  firstVideoTime_ = time;
  lastVideoPts_ = time;
  width_ = static_cast<uint32_t>(info.width);
  height_ = static_cast<uint32_t>(info.height);
  aspectX_ = static_cast<uint32_t>(info.aspectX);
  aspectY_ = static_cast<uint32_t>(info.aspectY);
  noVbvDelay_ = info.vbvDelay == kVbvDelayUnknown;
  videoSendTime_ = nextAnchorDts_;
  if (!noVbvDelay_)
    videoSendTime_ -= static_cast<double>(info.pictureOffset) / videoBytesPerSecond_ + info.vbvDelay / 90000.0;
  // ASF keeps the sample's sequence header as the codec-private bytes; it and the MP4 writers
  // take the format's otherwise (the portable form gathers its parameter sets from the stream).
  codecPrivateLength_ = 0;
  const MuxVideoFormat* format = config_.videoFormat;
  const uint32_t headerLength = SequenceHeaderLength(info);
  if (config_.muxType == kMuxAsf && headerLength > 0 && headerLength <= sample.length) {
    codecPrivateLength_ = std::min<uint32_t>(headerLength, sizeof(codecPrivate_));
    std::copy_n(sample.data, codecPrivateLength_, codecPrivate_);
  } else if ((config_.muxType == kMuxMp4 || config_.muxType == kMuxQuickTime || config_.muxType == kMuxAsf) &&
             format != nullptr && format->privateSize > 0) {
    codecPrivateLength_ = std::min<uint32_t>(format->privateSize, std::min<uint32_t>(sizeof(format->privateData),
                                                                                        sizeof(codecPrivate_)));
    std::copy_n(format->privateData, codecPrivateLength_, codecPrivate_);
  }
  videoState_ = kStreamRunning;
  return true;
}

// The bytes of the sample's sequence header that a decoder configuration keeps. The parser's
// header length ends inside an MPEG-4 video object layer (after its fixed part); a decoder needs
// the whole layer, which runs up to the picture.
uint32_t CMultiplexer::SequenceHeaderLength(const VideoEsInfo& info) const {
  uint32_t headerLength = info.headerLength > 0 ? static_cast<uint32_t>(info.headerLength) : 0;
  if (videoCodec_ == kVideoMpeg4 && info.pictureOffset > info.headerLength &&
      static_cast<uint32_t>(info.pictureOffset) <= sizeof(codecPrivate_))
    headerLength = static_cast<uint32_t>(info.pictureOffset);
  return headerLength;
}

bool CMultiplexer::ProbeAudio(const MuxSampleDesc& sample) {
  if (!(sample.flags & kSampleTimeValid)) return false;
  AudioHeaderInfo info;
  const MuxAudioFormat* format = config_.audioFormat;
  uint32_t syncOffset = 0;
  switch (config_.audioClass) {
    case kAudioClassMpeg:
      if (!ParseMpegAudioHeader(sample.data, sample.length, info)) return false;
      audioBytesPerSecond_ = info.bitRate / 8;
      audioKind_ = info.audioKind;
      syncOffset = info.syncOffset;
      break;
    case kAudioClassAc3:
      if (!ParseAc3Header(sample.data, sample.length, info)) return false;
      audioBytesPerSecond_ = info.bitRate / 8;
      audioKind_ = kAudioAc3;
      syncOffset = info.syncOffset;
      break;
    case kAudioClassLpcm: {
      const uint32_t channels = format ? format->channels : 2;
      const uint32_t rate = format ? format->sampleRate : 48000;
      if ((rate != 48000 && rate != 96000) || channels < 1 || channels > 8) return false;
      audioBytesPerSecond_ = rate * channels * 2;
      lpcmFrameSize_ = audioBytesPerSecond_ / 600;
      std::fill(std::begin(audioSubstreamHeader_), std::end(audioSubstreamHeader_), 0);
      audioSubstreamHeader_[0] = 0xA0;
      audioSubstreamHeader_[4] &= 0x1F;
      audioSubstreamHeader_[5] = static_cast<uint8_t>((rate == 96000 ? 0x10 : 0) | ((channels - 1) & 7));
      audioSubstreamHeader_[6] = 0x80;
      audioKind_ = kAudioLpcm;
      break;
    }
    case kAudioClassAac:
      audioKind_ = kAudioAac;
      if (format) {
        audioBytesPerSecond_ = format->bitrate / 8;
      } else {
        if (!ParseAdtsHeader(sample.data, sample.length, info)) return false;
        audioBytesPerSecond_ = info.bitRate / 8;
      }
      break;
    default:
      audioKind_ = kAudioOther;
      audioBytesPerSecond_ = std::max<uint32_t>(format ? format->bitrate : 0, 1000) / 8;
      break;
  }
  if (audioBytesPerSecond_ == 0) return false;
  audioTime_ = sample.time;
  audioSampleLength_ = sample.length;
  audioSamplePacked_ = syncOffset;
  audioState_ = kStreamRunning;
  return true;
}

}  // namespace orx::mux
