// MPEG scheduling: which stream is written next, when packs go out, the SCR of every pack and
// the PTS/DTS of every sample.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "mux/core/multiplexer.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

constexpr double kAudioBoundBytes = 32 * 128;
// In a transport stream the clock never jumps further than this without a packet, so the PCR
// keeps its 100 ms spacing.
constexpr double kTransportMaxJump = 0.025;

}  // namespace

void CMultiplexer::Interleave(bool setTimeBase) {
  const double rate = clockRate_;
  const bool audioRunning = Running(audioState_);
  const bool videoRunning = Running(videoState_);
  if (!audioRunning && !videoRunning) return;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  if (audioRunning) {
    x1 = audioTime_ - (static_cast<double>(audioSampleLength_) - audioSamplePacked_ + audioOverhead_) / rate;
    x2 = audioTime_ - (kAudioBoundBytes - audioPayload_ - audioSamplePacked_) / audioBytesPerSecond_ -
         (static_cast<double>(audioPayload_) + audioOverhead_) / rate;
  }
  if (videoRunning) {
    if (noVbvDelay_) {
      y1 = y2 = videoSendTime_ - (static_cast<double>(vbvSize_) + videoMargin_) / rate;
    } else {
      y1 = videoSendTime_ + static_cast<double>(videoSamplePacked_) / videoBytesPerSecond_ - videoOverhead_ / rate;
      y2 = y1 - videoMargin_ / rate + static_cast<double>(videoPayload_) / videoBytesPerSecond_ -
           videoPayload_ / rate;
    }
  }
  if (setTimeBase) {
    if (config_.muxType == kMuxSvcd && videoRunning) {
      timeBase_ = y2;
      nextStream_ = kStreamVideo;
      return;
    }
    timeBase_ = !videoRunning ? x2 : !audioRunning ? y2 : std::min(x2, y2);
    // On the field grid too (earlier, never later), so that video times on it give PTS on it.
    if (const double field = FieldSeconds(); videoRunning && field > 0.0)
      timeBase_ = std::floor(timeBase_ / field) * field;
  }
  double offset = 0;
  if (noVbvDelay_ && audioRunning && videoRunning)
    offset = (lastVideoPts_ - audioTime_) + (x1 - y1) + 0.125;

  for (;;) {
    const double now = ScrSeconds();
    const bool audioDue = audioRunning && now >= x2;
    const bool videoDue = videoRunning && now >= y2;
    if (audioDue && (!videoDue || y1 + offset >= x1)) {
      nextStream_ = kStreamAudio;
      return;
    }
    if (videoDue) {
      nextStream_ = kStreamVideo;
      return;
    }
    if (hold_ && !audioRunning) {
      nextStream_ = kStreamVideo;
      return;
    }
    if (hold_ && audioRunning) {
      nextStream_ = videoRunning && y1 + offset < x1 ? kStreamVideo : kStreamAudio;
      return;
    }
    if (!vbr_) {
      WritePaddingPack();
      continue;
    }
    double target = audioRunning && videoRunning ? std::min(x2, y2) : audioRunning ? x2 : y2;
    if (IsTransport() && target - now > kTransportMaxJump) {
      extraBytes_ += static_cast<uint64_t>(std::llrint(kTransportMaxJump * rate));
      if (TransportClockPacketDue()) {
        WriteTablesNow();
        WritePcrOnlyNow();
      }
      continue;
    }
    // At least one byte, so the loop always moves the clock on.
    extraBytes_ += static_cast<uint64_t>(std::max<long long>(std::llrint((target - now) * rate + 0.5), 1));
  }
}

void CMultiplexer::StartPack() {
  bool stdFlag;
  if (nextStream_ == kStreamAudio) {
    stdFlag = audioStd_;
    audioStd_ = false;
    desc_.kind = kPackAudio;
  } else {
    stdFlag = videoStd_;
    videoStd_ = false;
    desc_.kind = kPackVideo;
  }
  if (IsTransport()) desc_.continuityCounter = desc_.kind == kPackAudio ? audioCounter_ : videoCounter_;

  if (vbr_ && bytesWritten_ > 0) {
    const int64_t nowMs = ScrMilliseconds();
    const int64_t videoLead = static_cast<int64_t>(nextAnchorDts_ * 1000.0) - nowMs;
    const int64_t audioLead = static_cast<int64_t>(audioTime_ * 1000.0) - nowMs;
    const bool videoRunning = Running(videoState_);
    const bool audioRunning = Running(audioState_);
    const bool allLate = (!videoRunning || videoLead <= 99) && (!audioRunning || audioLead <= 99);
    const bool someNear = (videoRunning && videoLead <= 300) || (audioRunning && audioLead <= 300);
    if (allLate) {
      hold_ = true;
    } else if (someNear) {
      hold_ = false;
    } else {
      hold_ = false;
      extraBytes_ += packConfig_.packSize;
    }
  }

  bool withPcr = false;
  if (IsTransport()) PrepareTransportPacket(withPcr);
  desc_.position = Scr27MHz();
  BeginPack(desc_, stdFlag, config_.muxType, withPcr);
  packOpen_ = true;

  switch (config_.muxType) {
    case kMuxVcd:
      if (desc_.kind == kPackAudio && !stdFlag) InsertHeaderStuffing(2);
      break;
    case kMuxSvcd:
    case kMuxTransport:
      break;
    default:
      if (bytesWritten_ == 0) AddSystemHeader();
      break;
  }
  if (desc_.kind != kPackAudio) return;
  if (config_.audioClass == kAudioClassLpcm) {
    WriteLpcmHeader();
  } else if (config_.audioClass == kAudioClassAc3) {
    if (FreeSpace() & 1) InsertHeaderStuffing(1);
    static constexpr uint8_t kAc3Header[4] = {0x80, 0x00, 0x00, 0x00};
    AppendPayload(kAc3Header, sizeof(kAc3Header), false);
  }
}

// The 7-byte LPCM substream header: frame count, first-access-unit pointer and frame number
// for the audio bytes that this pack will carry.
void CMultiplexer::WriteLpcmHeader() {
  InsertHeaderStuffing((FreeSpace() + 1) & 7);
  const uint64_t frame = lpcmFrameSize_;
  const uint64_t packed = audioBytesPacked_;
  const uint64_t partial = (packed + frame - 1) % frame;
  const uint64_t toBoundary = frame - partial - 1;
  const uint64_t free = FreeSpace();
  uint8_t* header = audioSubstreamHeader_;
  header[3] = static_cast<uint8_t>(toBoundary + 4);
  header[2] = static_cast<uint8_t>((frame - partial + 3) >> 8);
  header[1] = static_cast<uint8_t>(free + frame >= toBoundary + 8 ? (free + frame - toBoundary - 8) / frame : 0);
  header[4] = static_cast<uint8_t>((header[4] & 0xE0) | (((packed + frame - 1) / frame) % 20));
  AppendPayload(header, 7, false);
  if (audioSampleOffset_ > 0) {
    const double time = (static_cast<double>(audioSampleOffset_) + toBoundary) / audioBytesPerSecond_ + audioTime_;
    SetTimestamps(false, Pts90kHz(time), 0);
  }
}

bool CMultiplexer::StartSample(uint32_t stream, const MuxSampleDesc& sample) {
  const bool timeValid = (sample.flags & kSampleTimeValid) != 0;
  if (stream == kStreamVideo) {
    VideoEsInfo info;
    if (!timeValid || !ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat))
      return true;
    navCategory_ = (sample.flags >> 4) & 3;
    if (config_.maxFileSize && outputBytes_ >= config_.maxFileSize && info.seqHeaderFound) {
      EndStream(stream, false, sample.length);
      return false;
    }
    const bool bPicture = info.pictureType == kPictureB;
    const double time = SnapVideoTime(sample.time);
    double dtsTime = time;
    if (!bPicture) {
      dtsTime = nextAnchorDts_;
      nextAnchorDts_ = time;
    }
    lastVideoPts_ = time;
    videoSamplePacked_ = 0;
    videoSendTime_ = dtsTime;
    if (info.vbvDelay != kVbvDelayUnknown)
      videoSendTime_ -= static_cast<double>(info.pictureOffset) / videoBytesPerSecond_ + info.vbvDelay / 90000.0;
    if (config_.muxType != kMuxVcd && info.seqHeaderFound) {
      nextStream_ = kStreamVideo;
      if (PayloadWritten() > 0) {
        FlushPack();
        StartPack();
      }
      const bool navForm = (config_.muxType == kMuxDvd || config_.muxType == kMuxDvdLargeBuffer) &&
                           packConfig_.packSize == 2048;
      // DVD authoring finds each video object unit by its navigation pack, so every group of
      // pictures of the DVD forms starts with one.
      if (navForm) {
        videoStd_ = StdFlag();
        lastNavCategory_ = navCategory_;
        NavInfo nav;
        nav.category = navCategory_;
        nav.startPtm = static_cast<uint32_t>(Pts90kHz(dtsTime));
        nav.endPtm = nav.startPtm + 45045;
        WriteNavPackNow(nav);
        StartPack();
      }
      if (config_.muxType != kMuxSvcd && !IsTransport()) AddSystemHeader();
    }
    SetTimestamps(!bPicture, Pts90kHz(time), Pts90kHz(dtsTime));
    return true;
  }
  if (config_.maxFileSize && videoState_ != kStreamRunning && outputBytes_ >= config_.maxFileSize &&
      (videoState_ != kStreamStopped || lastVideoPts_ <= sample.time)) {
    EndStream(stream, false, sample.length);
    return false;
  }
  audioSampleLength_ = sample.length;
  audioSamplePacked_ = 0;
  audioTime_ = timeValid ? sample.time : audioTime_ + static_cast<double>(sample.length) / audioBytesPerSecond_;
  SetTimestamps(false, Pts90kHz(audioTime_), 0);
  return true;
}

// Keeps the open pack's kind equal to the stream being written.
void CMultiplexer::MakePackFor(uint32_t stream) {
  const uint32_t kind = stream == kStreamVideo ? kPackVideo : kPackAudio;
  if (packOpen_ && CurrentKind() == kind) return;
  if (packOpen_ && PayloadWritten() > 0) FlushPack();
  nextStream_ = stream;
  StartPack();
}

void CMultiplexer::CountAc3Frames(const uint8_t* bytes, uint32_t count) {
  AudioHeaderInfo info;
  ParseAc3Header(bytes, count, info);
  if (info.frameCount == 0) return;
  uint8_t* header = PayloadStart();
  if (header[1] == 0) {
    const uint32_t pointer = PayloadWritten() + info.syncOffset - count - 3;
    header[2] = static_cast<uint8_t>(pointer >> 8);
    header[3] = static_cast<uint8_t>(pointer);
  }
  header[1] = static_cast<uint8_t>(header[1] + info.frameCount);
}

// An encoder may deliver a picture over several buffers with the time on the first only, so the
// stream's own sequence end code can arrive in an untimed piece, or split over two: whether the
// video ends with one is judged on the bytes written, not on timed samples.
void CMultiplexer::NoteVideoTail(const uint8_t* data, uint32_t count) {
  if (count == 0) return;
  const uint32_t kept = count >= 4 ? 0 : 4 - count;
  std::memmove(videoTail_, videoTail_ + 4 - kept, kept);
  std::memcpy(videoTail_ + kept, data + count - (4 - kept), 4 - kept);
  static constexpr uint8_t kSequenceEnd[4] = {0x00, 0x00, 0x01, 0xB7};
  sequenceEndSeen_ = std::memcmp(videoTail_, kSequenceEnd, 4) == 0;
}

uint32_t CMultiplexer::WriteMpegSample(uint32_t stream, const MuxSampleDesc& sample) {
  const bool video = stream == kStreamVideo;
  MakePackFor(stream);
  const uint32_t position = video ? videoSampleOffset_ : audioSampleOffset_;
  if (position == 0) {
    SetSampleLength(sample.length);
    if (!StartSample(stream, sample)) return 0;
  }
  const uint32_t left = sample.length > position ? sample.length - position : 0;
  const uint32_t count = std::min(left, FreeSpace());
  AppendPayload(sample.data + position, count);
  const uint32_t taken = position + count;
  const bool complete = taken >= sample.length;
  if (video) {
    videoSamplePacked_ += count;
    videoSampleOffset_ = complete ? 0 : taken;
    NoteVideoTail(sample.data + position, count);
  } else {
    audioSamplePacked_ += count;
    audioSampleOffset_ = complete ? 0 : taken;
    audioBytesPacked_ += count;
    if (config_.audioClass == kAudioClassAc3 && count > 0) CountAc3Frames(sample.data + position, count);
  }
  if (FreeSpace() == 0 || (IsTransport() && complete)) {
    FlushPack();
    if (IsTransport() && !complete) {
      nextStream_ = stream;
    } else {
      Interleave(false);
    }
    StartPack();
  }
  return std::min(taken, sample.length);
}

}  // namespace orx::mux
