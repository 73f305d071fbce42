// Ending streams and programs, and the whole packs the scheduler hands to the bit stream.
#include <algorithm>

#include "mux/core/multiplexer.h"

namespace orx::mux {

uint32_t CMultiplexer::EndStream(uint32_t stream, bool endOfStream, uint32_t length) {
  currentStream_ = stream;
  EndVideoSequence();
  if (stream == kStreamVideo) {
    videoState_ = endOfStream ? kStreamAbsent : kStreamStopped;
    videoSampleOffset_ = 0;
  } else {
    audioState_ = endOfStream ? kStreamAbsent : kStreamStopped;
    audioSampleOffset_ = 0;
  }
  const uint32_t otherState = stream == kStreamVideo ? audioState_ : videoState_;
  if (Running(otherState)) {
    Interleave(false);
    StartPack();
  } else {
    WriteProgramEnd();
  }
  return endOfStream ? length : 0;
}

void CMultiplexer::EndVideoSequence() {
  // Only MPEG-1 and MPEG-2 video have a sequence end code; other codecs end as they are.
  const bool mpegVideo = videoCodec_ == kVideoMpeg1 || videoCodec_ == kVideoMpeg2;
  if (currentStream_ == kStreamVideo && !sequenceEndSeen_ && mpegVideo) {
    static constexpr uint8_t kSequenceEnd[4] = {0x00, 0x00, 0x01, 0xB7};
    MakePackFor(kStreamVideo);
    const uint32_t first = std::min<uint32_t>(FreeSpace(), 4);
    AppendPayload(kSequenceEnd, first, false);
    if (first < 4) {
      FlushPack();
      nextStream_ = kStreamVideo;
      StartPack();
      AppendPayload(kSequenceEnd + first, 4 - first, false);
    }
    sequenceEndSeen_ = true;
  }
  if (config_.muxType == kMuxVcd) {
    if (!packOpen_) StartPack();
    if (CurrentKind() == kPackVideo && (PayloadWritten() & 1)) {
      if (FreeSpace() < 1) {
        FlushPack();
        StartPack();
      }
      AppendPayload(nullptr, 1, false);
    }
    if (FreeSpace() < 4) {
      FlushPack();
      StartPack();
    }
    if (CurrentKind() == kPackAudio && PayloadWritten() > 0 && !(PayloadWritten() & 1)) InsertHeaderStuffing(1);
    ReserveEndCode();
    FlushPack();
    return;
  }
  if (packOpen_ && PayloadWritten() > 0) FlushPack();
}

void CMultiplexer::WriteProgramEnd() {
  const uint32_t type = config_.muxType;
  if (type != kMuxGenericPrivateTail && type != kMuxVcd && !IsTransport()) {
    desc_.kind = kPackVideo;
    desc_.position = Scr27MHz();
    BeginPack(desc_, false, type);
    packOpen_ = true;
    ReserveEndCode();
    FlushPack();
  }
  packOpen_ = false;
  if (videoState_ == kStreamStopped || audioState_ == kStreamStopped) {
    // The size limit ended this segment: the bit stream learns it, and a new one is probed.
    desc_.data = config_.bitStream->Write(&desc_, 0);
    state_ = kMuxProbing;
    if (videoState_ == kStreamStopped) videoState_ = kStreamWaiting;
    if (audioState_ == kStreamStopped) audioState_ = kStreamWaiting;
  } else {
    state_ = kMuxClosed;
  }
}

void CMultiplexer::WritePack() {
  desc_.data = config_.bitStream->Write(&desc_, packConfig_.packSize);
  outputBytes_ += packConfig_.packSize;
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  packOpen_ = false;
}

void CMultiplexer::FlushPack() {
  const bool carriedPayload = FinishPack();
  const uint32_t kind = desc_.kind;
  WritePack();
  if (IsTransport() && carriedPayload) {
    uint32_t& counter = kind == kPackAudio ? audioCounter_ : videoCounter_;
    counter = (counter + 1) & 15;
  }
}

void CMultiplexer::WritePaddingPack() {
  desc_.kind = config_.videoPresent ? kPackVideo : kPackAudio;
  desc_.position = Scr27MHz();
  WritePaddingOnlyPack(desc_, config_.muxType);
  WritePack();
}

void CMultiplexer::WriteSystemHeaderPack(bool video) {
  desc_.kind = video ? kPackVideo : kPackAudio;
  desc_.position = Scr27MHz();
  if (WriteSystemHeaderOnlyPack(desc_)) WritePack();
}

void CMultiplexer::WriteNavPackNow(const NavInfo& nav) {
  desc_.kind = kWriteNavPack;
  desc_.position = Scr27MHz();
  if (WriteNavPack(desc_, nav)) WritePack();
}

}  // namespace orx::mux
