#include "mux/syntax/pack_layout.h"

#include <algorithm>
#include <cstring>

namespace orx::mux {
namespace {

// The 6 PCR bytes: 33-bit base, 6 reserved bits, 9-bit extension.
void WritePcr(uint8_t* buffer, uint64_t scr27MHz) {
  const uint64_t base = scr27MHz / 300;
  const uint32_t extension = static_cast<uint32_t>(scr27MHz % 300);
  buffer[0] = static_cast<uint8_t>(base >> 25);
  buffer[1] = static_cast<uint8_t>(base >> 17);
  buffer[2] = static_cast<uint8_t>(base >> 9);
  buffer[3] = static_cast<uint8_t>(base >> 1);
  buffer[4] = static_cast<uint8_t>((base & 1) << 7 | 0x7E | ((extension >> 8) & 1));
  buffer[5] = static_cast<uint8_t>(extension);
}

void FillRest(uint8_t* buffer, size_t from, size_t end) {
  if (end > from) std::memset(buffer + from, 0xFF, end - from);
}

}  // namespace

PackLengths CPackLayout::ComputeLayout(const PackConfig& config) {
  PackLengths lengths;
  const bool transport = config.transport != 0;
  // A transport packet's 4-byte header plays the part of the pack header.
  lengths.packHeader = transport ? 4 : static_cast<uint32_t>(PackHeaderLength(config.mpeg2 != 0));
  lengths.systemHeader = transport ? 0 : static_cast<uint32_t>(SystemHeaderLength(config.systemHeader));
  PesHeaderSpec spec;
  spec.mpeg2 = config.mpeg2;
  spec.streamId = kVideoStreamId;
  spec.hasPts = 1;
  spec.hasDts = 1;
  lengths.videoPesHeader = static_cast<uint32_t>(PesHeaderLength(spec));
  spec.hasDts = 0;
  spec.streamId = config.audioStreamId;
  lengths.audioPesHeader = static_cast<uint32_t>(PesHeaderLength(spec));
  spec.streamId = kPrivateStream1Id;
  lengths.privatePesHeader = static_cast<uint32_t>(PesHeaderLength(spec));
  lengths.videoPayload = config.packSize - lengths.videoPesHeader - lengths.packHeader;
  lengths.audioPayload =
      config.packSize - config.endZeroBytes - lengths.audioPesHeader - lengths.packHeader;
  if (config.privateTail) {
    spec.hasPts = 0;
    const uint32_t tail = static_cast<uint32_t>(PesHeaderLength(spec)) + 4;
    lengths.videoPayload -= tail;
    lengths.audioPayload -= tail;
  }
  return lengths;
}

PesHeaderSpec CPackLayout::PesSpecFor(uint32_t kind, bool withTimestamps) const {
  PesHeaderSpec spec;
  spec.mpeg2 = config_.mpeg2;
  spec.hasStd = stdFlag_ ? 1 : 0;
  if (kind == kPackVideo) {
    spec.streamId = kVideoStreamId;
    spec.stdScale = config_.systemHeader.videoScale;
    spec.stdSize = config_.systemHeader.videoBound;
    spec.hasPts = withTimestamps ? 1 : (timestampSet_ ? 1 : 0);
    spec.hasDts = withTimestamps ? 1 : (timestampSet_ && hasDts_ ? 1 : 0);
  } else if (kind == kPackAudio) {
    spec.streamId = config_.audioStreamId;
    spec.stdScale = config_.systemHeader.audioScale;
    spec.stdSize = config_.systemHeader.audioBound;
    spec.hasPts = withTimestamps ? 1 : (timestampSet_ ? 1 : 0);
  } else {
    spec.streamId = kPrivateStream2Id;
    spec.hasStd = 0;
  }
  spec.pts = pts_;
  spec.dts = dts_;
  return spec;
}

void CPackLayout::WritePrivateTail() {
  PesHeaderSpec spec;
  spec.mpeg2 = config_.mpeg2;
  spec.streamId = kPrivateStream1Id;
  const size_t headerLength = PesHeaderLength(spec);
  spec.pesLength = static_cast<uint32_t>(headerLength - 2);
  end_ -= headerLength + 4;
  WritePesHeader(buffer_ + end_, spec);
  std::memset(buffer_ + end_ + headerLength, 0, 4);
}

void CPackLayout::BeginPack(const MuxWriteDesc& desc, bool stdFlag, uint32_t /*muxType*/,
                            bool withPcr) {
  buffer_ = desc.data;
  kind_ = desc.kind;
  scr_ = desc.position;
  stdFlag_ = stdFlag;
  timestampSet_ = false;
  hasDts_ = false;
  systemHeaderAdded_ = false;
  if (config_.transport) {
    pesPresent_ = sampleRemaining_ <= 0 || stdFlag;
    continuityCounter_ = desc.continuityCounter & 15;
    withPcr_ = withPcr;
    WriteTsPacketHeader(buffer_, kind_ == kPackVideo ? kVideoPid : kAudioPid, pesPresent_,
                        continuityCounter_);
    writePos_ = 4 + (withPcr ? 8 : 0);
    end_ = kTsPacketSize;
  } else {
    pesPresent_ = true;
    withPcr_ = false;
    writePos_ = WritePackHeader(buffer_, config_.mpeg2 != 0, desc.position, desc.muxRate, 0);
    end_ = config_.packSize;
    if (kind_ == kPackAudio && config_.endZeroBytes) {
      end_ -= config_.endZeroBytes;
      std::memset(buffer_ + end_, 0, config_.endZeroBytes);
    }
    if (config_.privateTail) WritePrivateTail();
  }
  pesStart_ = writePos_;
  if (pesPresent_) writePos_ += PesHeaderLength(PesSpecFor(kind_, true));
  payloadStart_ = writePos_;
}

void CPackLayout::AddSystemHeader() {
  if (config_.transport || systemHeaderAdded_ || PayloadWritten() != 0) return;
  const size_t length = SystemHeaderLength(config_.systemHeader);
  if (FreeSpace() < length) return;
  // The PES header is not written yet: the system header takes the front of its room.
  WriteSystemHeader(buffer_ + pesStart_, config_.systemHeader);
  pesStart_ += length;
  payloadStart_ += length;
  writePos_ += length;
  systemHeaderAdded_ = true;
}

void CPackLayout::InsertHeaderStuffing(uint32_t count) {
  if (count == 0 || FreeSpace() < count) return;
  std::memmove(buffer_ + payloadStart_ + count, buffer_ + payloadStart_, PayloadWritten());
  payloadStart_ += count;
  writePos_ += count;
}

void CPackLayout::SetSampleLength(uint32_t length) {
  sampleLength_ = length;
  sampleRemaining_ = static_cast<int32_t>(length);
}

void CPackLayout::SetTimestamps(bool hasDts, uint64_t pts, uint64_t dts) {
  if (timestampSet_) return;
  timestampSet_ = true;
  hasDts_ = hasDts;
  pts_ = pts;
  dts_ = dts;
}

void CPackLayout::AppendPayload(const uint8_t* bytes, size_t count, bool sampleBytes) {
  count = std::min<size_t>(count, FreeSpace());
  if (bytes) {
    std::memcpy(buffer_ + writePos_, bytes, count);
  } else {
    std::memset(buffer_ + writePos_, 0, count);
  }
  writePos_ += count;
  if (sampleBytes) sampleRemaining_ -= static_cast<int32_t>(count);
}

void CPackLayout::ReserveEndCode() {
  if (FreeSpace() < 4) return;
  end_ -= 4;
  WriteEndCode(buffer_ + end_);
}

bool CPackLayout::FinishPack() {
  const bool hadPayload = PayloadWritten() > 0;
  if (config_.transport) {
    FinishTransportPacket(hadPayload);
    return hadPayload;
  }
  if (!hadPayload) {
    writePos_ = pesStart_;
    const size_t free = end_ - writePos_;
    if (free < 7) {
      std::memset(buffer_ + writePos_, 0, free);
    } else {
      WritePaddingPacket(buffer_ + writePos_, free);
    }
    return false;
  }
  size_t free = end_ - writePos_;
  if (free > 0 && free <= 7) {
    InsertHeaderStuffing(static_cast<uint32_t>(free));
    free = 0;
  }
  PesHeaderSpec spec = PesSpecFor(kind_, false);
  spec.stuffing = 0;
  spec.stuffing = static_cast<uint32_t>(payloadStart_ - pesStart_ - PesHeaderLength(spec));
  spec.pesLength = static_cast<uint32_t>(writePos_ - pesStart_ - 6);
  WritePesHeader(buffer_ + pesStart_, spec);
  if (free > 0) WritePaddingPacket(buffer_ + writePos_, free);
  return true;
}

void CPackLayout::FinishTransportPacket(bool hadPayload) {
  if (!hadPayload) {
    // Nothing to carry: a null packet keeps the stream's packet count without touching a PID.
    WriteTsPacketHeader(buffer_, kNullPid, false, 0);
    FillRest(buffer_, 4, kTsPacketSize);
    return;
  }
  if (pesPresent_) {
    PesHeaderSpec spec = PesSpecFor(kind_, false);
    spec.stuffing = 0;
    const size_t ownLength = PesHeaderLength(spec);
    spec.stuffing = static_cast<uint32_t>(payloadStart_ - pesStart_ - ownLength);
    // Video: unbounded length 0. Audio: every byte after the length field.
    const size_t headerDataLength = ownLength - 9 + spec.stuffing;
    const size_t audioLength = 3 + headerDataLength + sampleLength_;
    spec.pesLength = kind_ == kPackVideo || audioLength > 0xFFFF ? 0 : static_cast<uint32_t>(audioLength);
    WritePesHeader(buffer_ + pesStart_, spec);
  }
  const size_t contentStart = 4 + (withPcr_ ? 8 : 0);
  const size_t adaptation = (withPcr_ ? 8 : 0) + (end_ - writePos_);
  if (adaptation == 0) return;
  std::memmove(buffer_ + 4 + adaptation, buffer_ + contentStart, writePos_ - contentStart);
  buffer_[3] = static_cast<uint8_t>(0x30 | continuityCounter_);
  buffer_[4] = static_cast<uint8_t>(adaptation - 1);
  if (adaptation == 1) return;
  buffer_[5] = withPcr_ ? 0x10 : 0x00;
  size_t at = 6;
  if (withPcr_) {
    WritePcr(buffer_ + at, scr_);
    at += 6;
  }
  FillRest(buffer_, at, 4 + adaptation);
}

void CPackLayout::WritePaddingOnlyPack(const MuxWriteDesc& desc, uint32_t /*muxType*/) {
  buffer_ = desc.data;
  kind_ = desc.kind;
  if (config_.transport) {
    WriteTsPacketHeader(buffer_, kNullPid, false, 0);
    FillRest(buffer_, 4, kTsPacketSize);
    return;
  }
  const size_t at = WritePackHeader(buffer_, config_.mpeg2 != 0, desc.position, desc.muxRate, 0);
  end_ = config_.packSize;
  if (config_.privateTail) WritePrivateTail();
  WritePaddingPacket(buffer_ + at, end_ - at);
  writePos_ = pesStart_ = payloadStart_ = end_;
}

bool CPackLayout::WriteSystemHeaderOnlyPack(const MuxWriteDesc& desc) {
  SystemHeaderInfo info = config_.systemHeader;
  if (desc.kind == kPackVideo) {
    info.audioCount = 0;
    if (info.videoCount <= 0) return false;
  } else {
    info.videoCount = 0;
    if (info.audioCount <= 0) return false;
  }
  buffer_ = desc.data;
  kind_ = desc.kind;
  size_t at = WritePackHeader(buffer_, config_.mpeg2 != 0, desc.position, desc.muxRate, 0);
  at += WriteSystemHeader(buffer_ + at, info);
  WritePaddingPacket(buffer_ + at, config_.packSize - at);
  writePos_ = pesStart_ = payloadStart_ = end_ = config_.packSize;
  return true;
}

bool CPackLayout::WriteNavPack(const MuxWriteDesc& desc, const NavInfo& nav) {
  if (config_.systemHeader.videoCount <= 0) return false;
  buffer_ = desc.data;
  kind_ = kPackNav;
  size_t at = WritePackHeader(buffer_, config_.mpeg2 != 0, desc.position, desc.muxRate, 0);
  SystemHeaderInfo info = config_.systemHeader;
  info.allVideo = 1;
  info.allAudio = 1;
  info.videoCount = 1;
  info.audioCount = 1;
  info.private1Entry = 1;
  info.private1Scale = 0;
  info.private1Bound = 0;
  info.private2Entry = 1;
  info.private2Scale = 0;
  info.private2Bound = 0;
  at += WriteSystemHeader(buffer_ + at, info);

  PesHeaderSpec spec;
  spec.mpeg2 = 1;
  spec.streamId = kPrivateStream2Id;
  spec.pesLength = 980;  // presentation control information
  at += WritePesHeader(buffer_ + at, spec);
  uint8_t* pci = buffer_ + at;
  std::memset(pci, 0, 980);
  pci[5] = static_cast<uint8_t>(nav.category << 6);
  for (int i = 0; i < 4; ++i) {
    pci[13 + i] = static_cast<uint8_t>(nav.startPtm >> (24 - 8 * i));
    pci[17 + i] = static_cast<uint8_t>(nav.endPtm >> (24 - 8 * i));
  }
  at += 980;
  spec.pesLength = 1018;  // data search information
  at += WritePesHeader(buffer_ + at, spec);
  std::memset(buffer_ + at, 0, 1018);
  buffer_[at] = 0x01;
  at += 1018;
  const size_t free = config_.packSize > at ? config_.packSize - at : 0;
  if (free >= 6) {
    WritePaddingPacket(buffer_ + at, free);
  } else if (free > 0) {
    std::memset(buffer_ + at, 0, free);
  }
  writePos_ = pesStart_ = payloadStart_ = end_ = config_.packSize;
  return true;
}

void CPackLayout::WritePatPacket(const MuxWriteDesc& desc, uint32_t version) {
  uint8_t* buffer = desc.data;
  WriteTsPacketHeader(buffer, kPatPid, true, desc.continuityCounter);
  const size_t at = 4 + WritePat(buffer + 4, version);
  FillRest(buffer, at, config_.packSize);
}

void CPackLayout::WritePmtPacket(const MuxWriteDesc& desc, const PmtSpec& spec) {
  uint8_t* buffer = desc.data;
  WriteTsPacketHeader(buffer, kPmtPid, true, desc.continuityCounter);
  const size_t at = 4 + WritePmt(buffer + 4, spec);
  FillRest(buffer, at, config_.packSize);
}

void CPackLayout::WritePcrOnlyPacket(const MuxWriteDesc& desc, uint32_t pid) {
  uint8_t* buffer = desc.data;
  WriteTsPacketHeader(buffer, pid, false, desc.continuityCounter);
  buffer[3] = static_cast<uint8_t>(0x20 | (desc.continuityCounter & 15));
  buffer[4] = 183;
  buffer[5] = 0x10;
  WritePcr(buffer + 6, desc.position);
  FillRest(buffer, 12, kTsPacketSize);
}

}  // namespace orx::mux
