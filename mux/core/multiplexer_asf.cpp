// ASF files: the header object, fixed-size data packets carrying the payloads of video and
// audio media objects (one video object per picture), and the simple index with one entry per
// second; at the end the header's sizes, counts and durations are patched.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "framework/qva_status.h"
#include "mux/core/multiplexer.h"
#include "mux/mp4/mp4_index.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

constexpr size_t kObjectReserve = 1u << 20;
constexpr size_t kHoldReserve = 4096;
// A video object beyond this is refused rather than gathered.
constexpr size_t kLargestObject = 256u << 20;
constexpr uint32_t kPrerollBaseMs = 125;
constexpr uint32_t kMultiplePayloadHeader = 17;
constexpr uint32_t kSinglePayloadHeader = 15;
constexpr uint32_t kMaxPayloadsPerPacket = 63;
// Length-type flags: multiple payloads (bit 0), padding length as a byte (01) or word (10) in
// bits 3-4. Property flags: byte replicated-data length, dword offset, byte object number, byte
// stream number.
constexpr uint8_t kMultiplePayloads = 0x01;
constexpr uint8_t kPaddingByte = 0x08;
constexpr uint8_t kPaddingWord = 0x10;
constexpr uint8_t kPropertyFlags = 0x5D;
constexpr uint8_t kWordPayloadLengths = 0x80;
constexpr uint8_t kKeyFrameStream = 0x80;

void PutU16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void CMultiplexer::FailAsf(uint32_t status) {
  if (failure_ == 0) failure_ = status;
  state_ = kMuxStopped;
  videoState_ = kStreamAbsent;
  audioState_ = kStreamAbsent;
  asf_ = AsfFileState{};
}

uint32_t CMultiplexer::AsfPacketSize() const {
  // Audio-only WMA: packets sized for the first audio frame, one frame or a few per packet.
  const uint32_t length = audioSampleLength_;
  if (Running(videoState_) || audioKind_ != kAudioOther || length == 0 || length + 29 >= 4096) return 4096;
  if (length >= 2000) return length + 29;
  uint32_t size = length + 30;
  while (size < 2048) size += length + 17;
  return size;
}

uint32_t CMultiplexer::AsfHeaderRate() const {
  uint64_t sum = 0;
  if (Running(audioState_)) sum += audioBytesPerSecond_;
  if (Running(videoState_)) sum += videoBytesPerSecond_;
  const uint64_t rate = (sum / packConfig_.packSize + 1) * 80 + sum;
  return static_cast<uint32_t>(std::min<uint64_t>(rate, 0xFFFFFFFFull));
}

void CMultiplexer::WriteAsfHeader() {
  // WriteAsfHeader:
  // 1. Buffers, packet duration, counters.
  asf_ = AsfFileState{};
  const uint32_t packetSize = packConfig_.packSize;
  asf_.packetSize = packetSize;
  if (!Mp4IndexChain::MayAllocate(0)) {
    FailAsf(QVA_ERR_NOMEMORY);
    return;
  }
  try {
    asf_.object.reserve(kObjectReserve);
    asf_.held.bytes.reserve(kHoldReserve);
    asf_.index.reserve(kAsfIndexSlots);
    asf_.packet.reserve(packetSize + 1);
  } catch (const std::bad_alloc&) {
    FailAsf(QVA_ERR_NOMEMORY);
    return;
  }
  desc_.kind = kWriteVideoPack;
  desc_.position = 0;
  desc_.muxRate = clockRate_;
  asf_.packetDuration = std::min<uint32_t>(static_cast<uint32_t>(uint64_t{packetSize} * 1000 / clockRate_), 125);
  asf_.preroll = kPrerollBaseMs;
  asf_.hasVideo = Running(videoState_);
  asf_.hasAudio = Running(audioState_);
  asf_.audioStreamNumber = asf_.hasVideo ? 2 : 1;
  asf_.errorCorrection = asf_.hasAudio && audioKind_ == kAudioOther && audioSampleLength_ + 29 <= packetSize;

  // 2-3. Header object and file properties.
  const uint64_t base = bytesWritten_;
  RiffBuffer header;
  WriteAsfHeaderObjectStart(header, 2 + (asf_.hasVideo ? 1 : 0) + (asf_.hasAudio ? 1 : 0));
  asf_.filePropertiesAt = base + header.Size();
  WriteAsfFileProperties(header, {AsfFileTimeNow(), asf_.preroll, packetSize, clockRate_ * 8});
  // 4. Header extension: language list, metadata, one extended stream properties object per stream.
  const size_t extension = header.Size();
  WriteAsfGuid(header, kAsfHeaderExtensionObject);
  header.U64(0);
  WriteAsfGuid(header, kAsfReserved1);
  header.U16(6);
  header.U32(0);
  WriteAsfLanguageList(header);
  if (asf_.hasVideo) {
    uint32_t x = 1, y = 1;
    AsfAspectRatio(aspectX_, aspectY_, width_, height_, x, y);
    WriteAsfMetadata(header, 1, x, y);
    asf_.videoExtendedAt = base + header.Size();
    WriteAsfExtendedStreamProperties(
        header, {1, videoBytesPerSecond_ * 8, asf_.preroll, 65536, AsfTimePerFrame(frameRate_)});
  }
  if (asf_.hasAudio) {
    asf_.audioExtendedAt = base + header.Size();
    WriteAsfExtendedStreamProperties(header, {asf_.audioStreamNumber, audioBytesPerSecond_ * 8, asf_.preroll, 65536, 0});
  }
  const uint32_t extensionData = static_cast<uint32_t>(header.Size() - extension - 46);
  header.PatchU32(extension + 16, extensionData + 46);
  header.PatchU32(extension + 42, extensionData);
  // 5-6. Stream properties.
  if (asf_.hasVideo) {
    WriteAsfVideoStreamProperties(header, {videoCodec_, width_, height_, aspectX_, aspectY_, codecPrivate_,
                                           codecPrivateLength_});
  }
  if (asf_.hasAudio) {
    WriteAsfAudioStreamProperties(
        header, {asf_.audioStreamNumber, audioKind_, config_.audioFormat, audioBytesPerSecond_, asf_.errorCorrection});
  }
  header.PatchU32(16, static_cast<uint32_t>(header.Size()));
  // 7. The data object's header; everything goes out at once.
  asf_.dataAt = base + header.Size();
  WriteAsfDataObjectHeader(header, kAsfDataObjectHeaderSize, 0);
  AppendFileBytes(header.Data(), header.Size(), kWriteVideoPack, 0);
  // 8. The time base, the send-time offset and the preroll.
  Interleave(true);
  asf_.held.time = timeBase_;
  asf_.sendTimeOffset = static_cast<uint32_t>(ScrMilliseconds());
  const bool videoFirst = !asf_.hasAudio || (asf_.hasVideo && firstVideoTime_ <= audioTime_);
  asf_.firstMediaTime = videoFirst ? firstVideoTime_ : audioTime_;
  asf_.preroll = static_cast<uint32_t>(std::max<int64_t>(AsfRoundToInt64((asf_.firstMediaTime - timeBase_) * 1000), 0)) +
                 kPrerollBaseMs;
}

uint32_t CMultiplexer::AsfPresentationMs(double time) const {
  return static_cast<uint32_t>(std::max<int64_t>(AsfRoundToInt64((time - timeBase_) * 1000), 0) + kPrerollBaseMs);
}

void CMultiplexer::StartAsfPacket(uint32_t bytesLeft) {
  std::vector<uint8_t>& packet = asf_.packet;
  packet.clear();
  if (asf_.errorCorrection) packet.insert(packet.end(), {0x82, 0x00, 0x00});
  const uint32_t room = asf_.packetSize - (asf_.errorCorrection ? 3 : 0);
  asf_.multiple = bytesLeft + 44 < room;
  packet.push_back(static_cast<uint8_t>(kPaddingByte | (asf_.multiple ? kMultiplePayloads : 0)));
  packet.push_back(kPropertyFlags);
  packet.push_back(0);  // padding length
  PutU32(packet, asf_.sendTime);
  packet.push_back(static_cast<uint8_t>(asf_.packetDuration));
  packet.push_back(static_cast<uint8_t>(asf_.packetDuration >> 8));
  asf_.payloadFlagsAt = 0;
  asf_.payloads = 0;
}

uint32_t CMultiplexer::GetAsfPacketSpace() const {
  if (asf_.packet.empty()) return asf_.packetSize;
  const uint32_t header = asf_.multiple ? kMultiplePayloadHeader : kSinglePayloadHeader;
  const uint32_t used = static_cast<uint32_t>(asf_.packet.size()) + header + 1;
  return used < asf_.packetSize ? asf_.packetSize - used : 0;
}

void CMultiplexer::AddAsfPayload(const uint8_t* data, uint32_t n, uint32_t streamByte, uint32_t objectNumber,
                                 double time) {
  const uint32_t presentation = AsfPresentationMs(time);
  uint64_t firstPacket = asf_.packetsWritten;
  bool started = false;
  uint32_t placed = 0;
  while (placed < n) {
    // 1. An empty packet takes the held audio payload first.
    if (asf_.packet.empty()) {
      StartAsfPacket(n - placed);
      if (asf_.held.held) PlaceHeldAsfPayload();
    }
    // 2. The payload header by packet kind.
    uint32_t header = kSinglePayloadHeader;
    if (asf_.multiple) {
      header = kMultiplePayloadHeader;
      if (asf_.payloadFlagsAt == 0) {
        asf_.payloadFlagsAt = asf_.packet.size();
        asf_.packet.push_back(kWordPayloadLengths);
      }
      if (asf_.payloads >= kMaxPayloadsPerPacket) {
        FlushAsfPacket();
        continue;
      }
    } else if (asf_.payloads > 0) {
      FlushAsfPacket();
      continue;
    }
    // 3. The header and at least one byte must fit.
    const size_t used = asf_.packet.size();
    if (used + header + 1 > asf_.packetSize) {
      FlushAsfPacket();
      continue;
    }
    const uint32_t piece = std::min<uint32_t>(n - placed, static_cast<uint32_t>(asf_.packetSize - used - header));
    if (!started) {
      firstPacket = asf_.packetsWritten;
      started = true;
    }
    std::vector<uint8_t>& packet = asf_.packet;
    packet.push_back(static_cast<uint8_t>(streamByte));
    packet.push_back(static_cast<uint8_t>(objectNumber));
    PutU32(packet, placed);
    packet.push_back(8);
    PutU32(packet, n);
    PutU32(packet, presentation);
    if (asf_.multiple) {
      packet.push_back(static_cast<uint8_t>(piece));
      packet.push_back(static_cast<uint8_t>(piece >> 8));
    }
    packet.insert(packet.end(), data + placed, data + placed + piece);
    placed += piece;
    ++asf_.payloads;
    if (asf_.multiple) packet[asf_.payloadFlagsAt] = static_cast<uint8_t>(kWordPayloadLengths | asf_.payloads);
  }
  // 4. A key-frame object fills the index slots up to its time.
  if (streamByte == (kKeyFrameStream | 1u)) {
    const int64_t fromStart = static_cast<int64_t>(presentation) - asf_.preroll;
    if (fromStart >= 0) {
      const uint64_t last = static_cast<uint64_t>(fromStart + 999) / 1000;
      const uint32_t span = static_cast<uint32_t>(asf_.packetsWritten - firstPacket + 1);
      while (asf_.index.size() <= last && asf_.index.size() < kAsfIndexSlots) {
        asf_.index.push_back({static_cast<uint32_t>(firstPacket), static_cast<uint16_t>(std::min<uint32_t>(span, 0xFFFF))});
        asf_.largestIndexSpan = std::max(asf_.largestIndexSpan, span);
      }
    }
  }
}

void CMultiplexer::PlaceHeldAsfPayload() {
  AsfHeldPayload held = std::move(asf_.held);
  asf_.held = AsfHeldPayload{};
  asf_.held.time = held.time;
  AddAsfPayload(held.bytes.data(), static_cast<uint32_t>(held.bytes.size()), held.streamByte, held.objectNumber,
                held.time);
  held.bytes.clear();
  asf_.held.bytes = std::move(held.bytes);  // keeps the buffer's room
}

void CMultiplexer::QueueAsfPayload(const uint8_t* data, uint32_t n, uint32_t streamByte, uint32_t objectNumber,
                                   double time) {
  if (asf_.held.held) {
    if (GetAsfPacketSpace() < asf_.held.bytes.size()) FlushAsfPacket();
    asf_.held.objectNumber = objectNumber - 1;
    PlaceHeldAsfPayload();
  }
  if (!asf_.packet.empty() && GetAsfPacketSpace() < 2) FlushAsfPacket();
  if (!asf_.packet.empty() && n > GetAsfPacketSpace()) {
    if (n > kHoldReserve) {
      AddAsfPayload(data, n, streamByte, objectNumber, time);
      return;
    }
    asf_.held.bytes.assign(data, data + n);
    asf_.held.held = true;
    asf_.held.streamByte = streamByte;
    asf_.held.objectNumber = objectNumber;
    asf_.held.time = time;
    return;
  }
  AddAsfPayload(data, n, streamByte, objectNumber, time);
}

void CMultiplexer::FlushAsfPacket() {
  std::vector<uint8_t>& packet = asf_.packet;
  if (packet.empty()) return;
  const size_t flagsAt = asf_.errorCorrection ? 3 : 0;
  const size_t paddingAt = flagsAt + 2;
  uint32_t padding = asf_.packetSize - static_cast<uint32_t>(packet.size());
  if (padding >= 256) {
    // A word padding length: the bytes after it move one on.
    packet[flagsAt] = static_cast<uint8_t>((packet[flagsAt] & ~0x18) | kPaddingWord);
    packet.insert(packet.begin() + static_cast<std::ptrdiff_t>(paddingAt) + 1, 0);
    if (asf_.payloadFlagsAt != 0) ++asf_.payloadFlagsAt;
    padding = asf_.packetSize - static_cast<uint32_t>(packet.size());
    PutU16(packet.data() + paddingAt, padding);
  } else {
    packet[paddingAt] = static_cast<uint8_t>(padding);
  }
  packet.resize(asf_.packetSize, 0);
  AppendFileBytes(packet.data(), packet.size(), kWriteVideoPack, Scr27MHz());
  ++asf_.packetsWritten;
  packet.clear();
  // The next packet's send time: the clock, or earlier when a stream's data is due sooner.
  int64_t next = ScrMilliseconds() - asf_.sendTimeOffset;
  if (asf_.hasAudio) next = std::min<int64_t>(next, AsfRoundToInt64((asf_.held.time - timeBase_) * 1000));
  if (asf_.hasVideo) next = std::min<int64_t>(next, AsfRoundToInt64((videoSendTime_ - timeBase_) * 1000));
  asf_.sendTime = static_cast<uint32_t>(std::max<int64_t>(next, 0));
}

void CMultiplexer::CompleteAsfVideoObject() {
  if (!asf_.objectPending) return;
  ++asf_.videoObjects;
  const uint32_t size = static_cast<uint32_t>(asf_.object.size());
  asf_.largestVideoObject = std::max(asf_.largestVideoObject, size);
  AddAsfPayload(asf_.object.data(), size, asf_.objectKey ? (kKeyFrameStream | 1u) : 1u, asf_.videoObjects,
                asf_.objectTime);
  asf_.object.clear();
  asf_.objectPending = false;
}

uint32_t CMultiplexer::WriteAsfSample(uint32_t stream, const MuxSampleDesc& sample) {
  const bool end = (sample.flags & kSampleEndOfStream) != 0;
  const bool timed = (sample.flags & kSampleTimeValid) != 0;
  if (stream == kStreamVideo) {
    // Every timed sample that starts a picture begins a media object of its own, B pictures too;
    // untimed pieces continue the picture before them.
    VideoEsInfo info;
    const bool parsed = !end && sample.data != nullptr &&
                        ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat) &&
                        info.pictureType >= kPictureI && info.pictureType <= kPictureS;
    const bool startsPicture = timed && !end && ((sample.flags & kSamplePictureStart) || parsed);
    if (end || startsPicture) CompleteAsfVideoObject();
    if (startsPicture) {
      const bool bPicture = parsed && info.pictureType == kPictureB;
      if (bPicture) {
        videoSendTime_ = sample.time;
      } else {
        videoSendTime_ = nextAnchorDts_;
        nextAnchorDts_ = sample.time;
      }
      lastVideoPts_ = sample.time;
      asf_.objectTime = sample.time;
      asf_.objectKey = parsed && info.pictureType == kPictureI;
    }
    if (end) {
      videoState_ = kStreamAbsent;
    } else if (sample.data != nullptr && sample.length > 0) {
      if (asf_.object.size() + sample.length > kLargestObject) {
        FailAsf(QVA_ERR_NOMEMORY);
        return sample.length;
      }
      try {
        asf_.object.insert(asf_.object.end(), sample.data, sample.data + sample.length);
      } catch (const std::bad_alloc&) {
        FailAsf(QVA_ERR_NOMEMORY);
        return sample.length;
      }
      asf_.objectPending = true;
    }
  } else if (end) {
    audioState_ = kStreamAbsent;
  } else if (sample.data != nullptr && sample.length > 0) {
    if (timed) {
      audioTime_ = sample.time;
    } else if (audioBytesPerSecond_ > 0) {
      audioTime_ += static_cast<double>(audioSampleLength_) / audioBytesPerSecond_;
    }
    audioSampleLength_ = sample.length;
    asf_.largestAudioObject = std::max(asf_.largestAudioObject, sample.length);
    const uint32_t objectNumber = asf_.audioObjects + 1;
    if (asf_.errorCorrection) {
      QueueAsfPayload(sample.data, sample.length, asf_.audioStreamNumber, objectNumber, audioTime_);
    } else {
      AddAsfPayload(sample.data, sample.length, asf_.audioStreamNumber, objectNumber, audioTime_);
    }
    ++asf_.audioObjects;
  }
  if (!Running(videoState_) && !Running(audioState_)) {
    if (asf_.held.held) {
      if (GetAsfPacketSpace() < asf_.held.bytes.size()) FlushAsfPacket();
      PlaceHeldAsfPayload();
    }
    FinishAsf();
    return sample.length;
  }
  Interleave(false);
  if (asf_.held.held && Running(videoState_)) nextStream_ = kStreamVideo;
  return sample.length;
}

void CMultiplexer::FinishAsf() {
  FlushAsfPacket();
  state_ = kMuxClosed;
  const uint64_t indexAt = bytesWritten_;
  if (!asf_.index.empty()) {
    RiffBuffer index;
    WriteAsfSimpleIndex(index, asf_.index.data(), static_cast<uint32_t>(asf_.index.size()), asf_.largestIndexSpan);
    AppendFileBytes(index.Data(), index.Size(), kWriteVideoPack, Scr27MHz());
  }
  const uint64_t position = desc_.position;
  auto patch64 = [&](uint64_t at, uint64_t value) {
    PatchFileU32(at, static_cast<uint32_t>(value));
    PatchFileU32(at + 4, static_cast<uint32_t>(value >> 32));
  };
  const uint64_t fp = asf_.filePropertiesAt;
  patch64(fp + kAsfFileSizeAt, bytesWritten_);
  patch64(fp + kAsfDataPacketsAt, asf_.packetsWritten);
  const double last = std::max(audioTime_, nextAnchorDts_);
  patch64(fp + kAsfPlayDurationAt,
          uint64_t{asf_.preroll} * 10000 + static_cast<uint64_t>(std::max<int64_t>(AsfRoundToInt64(last * 1e7), 0)));
  patch64(fp + kAsfSendDurationAt, uint64_t{asf_.sendTime} * 10000);
  patch64(fp + kAsfPrerollAt, asf_.preroll);
  PatchFileU32(fp + kAsfFlagsAt, 2);
  RiffBuffer data;
  WriteAsfDataObjectHeader(data, indexAt - asf_.dataAt, asf_.packetsWritten);
  PatchFileBytes(asf_.dataAt, data.Data(), data.Size());
  struct Extended {
    bool present;
    uint64_t at;
    uint32_t bitrate;
    uint32_t largest;
  };
  for (const Extended e : {Extended{asf_.hasVideo, asf_.videoExtendedAt, videoBytesPerSecond_ * 8, asf_.largestVideoObject},
                           Extended{asf_.hasAudio, asf_.audioExtendedAt, audioBytesPerSecond_ * 8, asf_.largestAudioObject}}) {
    if (!e.present) continue;
    const uint32_t values[7] = {e.bitrate, asf_.preroll, 0, e.bitrate, asf_.preroll, 0, e.largest};
    uint8_t bytes[28];
    for (int i = 0; i < 7; ++i)
      for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<uint8_t>(values[i] >> (8 * b));
    PatchFileBytes(e.at + kAsfExtendedBitrateAt, bytes, sizeof(bytes));
  }
  desc_.position = position;
  asf_ = AsfFileState{};
}

}  // namespace orx::mux
