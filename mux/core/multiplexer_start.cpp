// Stream start: pack size, VBR or CBR, buffer bounds, the mux rate and the container header.
#include <algorithm>

#include "mux/core/multiplexer.h"

namespace orx::mux {
namespace {

constexpr uint32_t kAudioBound = 32;  // in 128-byte units
constexpr uint32_t kDvdMinimumRate = 1260000;
constexpr uint32_t kFixedRate = 10000000;

}  // namespace

void CMultiplexer::StartStream() {
  const bool videoRunning = Running(videoState_);
  const bool audioRunning = Running(audioState_);
  const uint32_t type = config_.muxType;

  // CMultiplexer::StartStream, the stream set-up once the inputs are known:
  // 1-3: pack layout and system header contents by container.
  vbr_ = videoRunning && (noVbvDelay_ || videoBytesPerSecond_ >= 1250000);
  packConfig_ = PackConfig{};
  packConfig_.packSize = 2048;
  packConfig_.mpeg2 = videoRunning && videoCodec_ != kVideoMpeg1;
  packConfig_.audioStreamId = config_.audioClass != kAudioClassMpeg ? kPrivateStream1Id : kMpegAudioStreamId;
  packConfig_.privateTail = type == kMuxGenericPrivateTail;
  packConfig_.videoStreamType = videoCodec_ == kVideoMpeg4 ? 0x10 : 2;
  SystemHeaderInfo& system = packConfig_.systemHeader;
  system.fixedFlag = !vbr_;
  system.packetRateRestriction = 1;
  system.allVideo = type == kMuxDvd;
  system.allAudio = type == kMuxDvd;
  system.videoCount = static_cast<int32_t>(config_.videoPresent);
  system.audioCount = static_cast<int32_t>(config_.audioPresent);
  system.videoLock = 1;
  system.audioLock = 1;
  switch (type) {
    case kMuxTransport:
      packConfig_.packSize = kTsPacketSize;
      packConfig_.transport = 1;
      break;
    case kMuxVcd:
      vbr_ = false;
      packConfig_.packSize = 2324;
      packConfig_.endZeroBytes = 20;
      system.fixedFlag = 0;
      break;
    case kMuxSvcd:
      packConfig_.packSize = 2324;
      break;
    case kMuxAsf:
      packConfig_.packSize = AsfPacketSize();
      break;
    case kMuxAvi: case kMuxMp4: case kMuxMp4Portable: case kMuxQuickTime:
      packConfig_.packSize = 4096;
      break;
    default:
      break;
  }
  if (type == kMuxTransport || type == kMuxSvcd || type == kMuxDvd || type == kMuxDvdLargeBuffer || type == kMuxAvi || type == kMuxAsf ||
      IsMp4()) {
    vbr_ = true;
    packConfig_.mpeg2 = 1;
    system.fixedFlag = 0;
  }

  // 4: payload and overhead per pack.
  PackLengths lengths = ComputeLayout(packConfig_);
  if (type == kMuxVcd) {
    lengths.audioPesHeader += 2;
    lengths.audioPayload -= 2;
  }
  videoPayload_ = lengths.videoPayload;
  audioPayload_ = lengths.audioPayload;
  videoOverhead_ = lengths.packHeader + lengths.videoPesHeader - 8;
  audioOverhead_ = lengths.packHeader + lengths.audioPesHeader - 8;

  // 5: buffer bounds and the mux rate R.
  uint32_t headerRate = 0;
  system.audioScale = 0;
  system.audioBound = kAudioBound;
  system.videoScale = 1;
  if (type == kMuxVcd) {
    system.videoBound = 46;
    system.cspsFlag = 1;
    videoMargin_ = 6144;
    clockRate_ = packConfig_.packSize * 75;
    headerRate = (packConfig_.packSize + 28) * 75;
  } else {
    videoMargin_ = packConfig_.mpeg2 ? std::max<uint32_t>(videoBytesPerSecond_ / 125, 6144) : 6144;
    system.videoBound = (vbvSize_ + 1023 + videoMargin_) >> 10;
    if (type == kMuxSvcd) system.videoBound = std::max<uint32_t>(system.videoBound, 230);
    if (type == kMuxDvd) system.videoBound = std::max<uint32_t>(system.videoBound, 232);
    if (type == kMuxDvdLargeBuffer) system.videoBound = 460;
    uint64_t packsVideo = 0;
    uint64_t packsAudio = 0;
    if (videoRunning)
      packsVideo = (videoBytesPerSecond_ + 2 * lengths.systemHeader - 1 + 3ull * videoPayload_) / videoPayload_;
    if (audioRunning) packsAudio = (audioBytesPerSecond_ + audioPayload_ - 1ull) / audioPayload_;
    const uint64_t packs = packsVideo + packsAudio + (packsVideo + packsAudio + 49) / 50;
    uint64_t rate = type == kMuxAsf ? AsfHeaderRate() : packConfig_.packSize * packs + 49;
    rate = std::max<uint64_t>(rate / 50 * 50, 50);
    if (type == kMuxSvcd) rate = std::max<uint64_t>(rate, packConfig_.packSize * 150ull);
    if (type == kMuxDvd) rate = std::max<uint64_t>(rate, kDvdMinimumRate);
    if (type == kMuxDvdLargeBuffer || IsMp4()) rate = kFixedRate;
    clockRate_ = static_cast<uint32_t>(std::min<uint64_t>(rate, 0xFFFFFFFFull / 50 * 50));
    headerRate = clockRate_;
    const double ratio = static_cast<double>(clockRate_) / (packConfig_.mpeg2 ? 562500.0 : 625000.0);
    system.cspsFlag = static_cast<double>(packs) <= 300.0 * std::max(1.0, ratio) ? 1 : 0;
  }
  system.rate = headerRate;

  // 6: counters and the pack buffer.
  SetConfig(packConfig_);
  SetSampleLength(0);
  bytesWritten_ = 0;
  extraBytes_ = 0;
  outputBytes_ = 0;
  hold_ = false;
  audioBytesPacked_ = 0;
  videoSampleOffset_ = 0;
  audioSampleOffset_ = 0;
  audioStd_ = true;
  videoStd_ = true;
  sequenceEndSeen_ = false;
  std::fill_n(videoTail_, 4, uint8_t{0xFF});
  desc_.muxRate = headerRate;
  if (desc_.data == nullptr) desc_.data = config_.bitStream->GetBuffer(packConfig_.packSize);

  // 7-9: time base, the container's leading packs, the first pack.
  Interleave(true);
  if (type == kMuxVcd) {
    WriteSystemHeaderPack(true);
    WriteSystemHeaderPack(false);
  } else if (type == kMuxSvcd) {
    desc_.position = 0;
    desc_.kind = nextStream_ == kStreamAudio ? kPackAudio : kPackVideo;
    BeginPack(desc_, true, type);
    AddSystemHeader();
    FlushPack();
  }
  if (type == kMuxTransport || type == kMuxTablesThenProgram) WriteTsTables();
  // MP4, AVI and ASF files open no pack: their samples go out whole after the file header.
  if (IsMp4()) {
    StartMp4();
  } else if (type == kMuxAvi) {
    WriteAviHeader();
  } else if (type == kMuxAsf) {
    WriteAsfHeader();
  } else {
    StartPack();
  }
  if (state_ == kMuxProbing) state_ = kMuxRunning;
}

PmtSpec CMultiplexer::MakePmtSpec() const {
  PmtSpec spec;
  switch (videoCodec_) {
    case kVideoMpeg2: spec.videoStreamType = 0x02; break;
    case kVideoMpeg4: spec.videoStreamType = 0x10; break;
    case kVideoH264: spec.videoStreamType = 0x1B; break;
    default: spec.videoStreamType = 0x01; break;
  }
  if (width_ < 720) {
    spec.levelCode = 10;
  } else if (width_ == 1440) {
    spec.levelCode = 6;
  } else if (width_ <= 1440) {
    spec.levelCode = 8;
  } else {
    spec.levelCode = 4;
  }
  spec.audioLayerCode = 0;
  switch (audioKind_) {
    case kAudioLpcm: spec.audioStreamType = 0x8B; break;
    case kAudioMpegLayer12: spec.audioStreamType = 0x04; spec.audioLayerCode = 2; break;
    case kAudioMpegLayer3: spec.audioStreamType = 0x04; spec.audioLayerCode = 1; break;
    case kAudioAc3: spec.audioStreamType = 0x81; break;
    case kAudioAac: spec.audioStreamType = 0x0F; break;
    default: spec.audioStreamType = 0x03; break;
  }
  spec.frameRateValue = frameRateDen_ ? frameRateNum_ / frameRateDen_ : 0;
  spec.hasVideo = config_.videoPresent;
  spec.hasAudio = config_.audioPresent;
  spec.pcrPid = config_.videoPresent ? kVideoPid : kAudioPid;
  return spec;
}

void CMultiplexer::WriteTsTables() {
  desc_.kind = kPackVideo;
  desc_.position = 0;
  desc_.muxRate = clockRate_;
  audioCounter_ = videoCounter_ = patCounter_ = pmtCounter_ = 0;
  pcrSent_ = false;
  WriteTablesNow();
}

}  // namespace orx::mux
