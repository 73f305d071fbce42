#include "mux/syntax/pack_syntax.h"

#include <cstring>

namespace orx::mux {
namespace {

void WriteStdField(uint8_t* buffer, uint32_t prefix, uint32_t scale, uint32_t size) {
  buffer[0] = static_cast<uint8_t>(prefix << 6 | (scale & 1) << 5 | ((size >> 8) & 0x1F));
  buffer[1] = static_cast<uint8_t>(size);
}

void Put16(uint8_t* buffer, uint32_t value) {
  buffer[0] = static_cast<uint8_t>(value >> 8);
  buffer[1] = static_cast<uint8_t>(value);
}

void Put32(uint8_t* buffer, uint32_t value) {
  buffer[0] = static_cast<uint8_t>(value >> 24);
  buffer[1] = static_cast<uint8_t>(value >> 16);
  buffer[2] = static_cast<uint8_t>(value >> 8);
  buffer[3] = static_cast<uint8_t>(value);
}

struct SystemHeaderEntry {
  uint32_t streamId;
  uint32_t scale;
  uint32_t bound;
};

size_t CollectEntries(const SystemHeaderInfo& info, SystemHeaderEntry* entries) {
  size_t count = 0;
  if (info.allVideo && info.videoCount > 0) {
    entries[count++] = {0xB9, info.videoScale, info.videoBound};
  } else {
    for (int32_t i = 0; i < info.videoCount && i < 16; ++i)
      entries[count++] = {0xE0u + static_cast<uint32_t>(i), info.videoScale, info.videoBound};
  }
  if (info.allAudio && info.audioCount > 0) {
    entries[count++] = {0xB8, info.audioScale, info.audioBound};
  } else {
    for (int32_t i = 0; i < info.audioCount && i < 32; ++i)
      entries[count++] = {0xC0u + static_cast<uint32_t>(i), info.audioScale, info.audioBound};
  }
  if (info.private1Entry) entries[count++] = {kPrivateStream1Id, info.private1Scale, info.private1Bound};
  if (info.private2Entry) entries[count++] = {kPrivateStream2Id, info.private2Scale, info.private2Bound};
  return count;
}

}  // namespace

void CPackSyntax::WriteTimestamp(uint8_t* buffer, uint32_t prefix, uint64_t value) {
  buffer[0] = static_cast<uint8_t>(prefix << 4 | ((value >> 29) & 0x0E) | 1);
  buffer[1] = static_cast<uint8_t>(value >> 22);
  buffer[2] = static_cast<uint8_t>((value >> 14) | 1);
  buffer[3] = static_cast<uint8_t>(value >> 7);
  buffer[4] = static_cast<uint8_t>((value << 1) | 1);
}

size_t CPackSyntax::WritePackHeader(uint8_t* buffer, bool mpeg2, uint64_t scr27MHz, uint32_t rate,
                                    uint32_t stuffing) {
  const uint64_t base = scr27MHz / 300;
  const uint64_t extension = scr27MHz % 300;
  const uint32_t muxRate = (rate + 49) / 50;
  Put32(buffer, 0x000001BA);
  if (!mpeg2) {
    WriteTimestamp(buffer + 4, 2, base);
    buffer[9] = static_cast<uint8_t>(0x80 | (muxRate >> 15));
    buffer[10] = static_cast<uint8_t>(muxRate >> 7);
    buffer[11] = static_cast<uint8_t>(muxRate << 1 | 1);
    return 12;
  }
  buffer[4] = static_cast<uint8_t>(0x44 | ((base >> 27) & 0x38) | ((base >> 28) & 3));
  buffer[5] = static_cast<uint8_t>(base >> 20);
  buffer[6] = static_cast<uint8_t>(((base >> 12) & 0xF8) | 4 | ((base >> 13) & 3));
  buffer[7] = static_cast<uint8_t>(base >> 5);
  buffer[8] = static_cast<uint8_t>((base << 3) | 4 | ((extension >> 7) & 3));
  buffer[9] = static_cast<uint8_t>(extension << 1 | 1);
  buffer[10] = static_cast<uint8_t>(muxRate >> 14);
  buffer[11] = static_cast<uint8_t>(muxRate >> 6);
  buffer[12] = static_cast<uint8_t>(muxRate << 2 | 3);
  buffer[13] = static_cast<uint8_t>(0xF8 | (stuffing & 7));
  std::memset(buffer + 14, 0xFF, stuffing & 7);
  return 14 + (stuffing & 7);
}

size_t CPackSyntax::SystemHeaderLength(const SystemHeaderInfo& info) {
  SystemHeaderEntry entries[52];
  return 12 + 3 * CollectEntries(info, entries);
}

size_t CPackSyntax::WriteSystemHeader(uint8_t* buffer, const SystemHeaderInfo& info) {
  SystemHeaderEntry entries[52];
  const size_t count = CollectEntries(info, entries);
  const uint32_t rateBound = (info.rate + 49) / 50;
  Put32(buffer, 0x000001BB);
  Put16(buffer + 4, static_cast<uint32_t>(6 + 3 * count));
  buffer[6] = static_cast<uint8_t>(0x80 | (rateBound >> 15));
  buffer[7] = static_cast<uint8_t>(rateBound >> 7);
  buffer[8] = static_cast<uint8_t>(rateBound << 1 | 1);
  buffer[9] = static_cast<uint8_t>((static_cast<uint32_t>(info.audioCount) & 0x3F) << 2 |
                                   (info.fixedFlag & 1) << 1 | (info.cspsFlag & 1));
  buffer[10] = static_cast<uint8_t>((info.audioLock & 1) << 7 | (info.videoLock & 1) << 6 | 0x20 |
                                    (static_cast<uint32_t>(info.videoCount) & 0x1F));
  buffer[11] = static_cast<uint8_t>((info.packetRateRestriction & 1) << 7 | 0x7F);
  for (size_t i = 0; i < count; ++i) {
    buffer[12 + 3 * i] = static_cast<uint8_t>(entries[i].streamId);
    WriteStdField(buffer + 13 + 3 * i, 3, entries[i].scale, entries[i].bound);
  }
  return 12 + 3 * count;
}

size_t CPackSyntax::PesHeaderLength(const PesHeaderSpec& spec) {
  if (spec.streamId == kPrivateStream2Id || spec.streamId == 0xBC) return 6;
  if (spec.mpeg2) {
    if (spec.streamId == kPaddingStreamId) return 6;
    return 9 + 5 * (spec.hasPts + spec.hasDts) + 3 * spec.hasStd + spec.stuffing;
  }
  return 7 + spec.stuffing + 2 * spec.hasStd + 4 * spec.hasPts + 5 * spec.hasDts;
}

size_t CPackSyntax::WritePesHeader(uint8_t* buffer, const PesHeaderSpec& spec) {
  Put32(buffer, 0x00000100 | (spec.streamId & 0xFF));
  Put16(buffer + 4, spec.pesLength);
  if (spec.streamId == kPrivateStream2Id || spec.streamId == 0xBC) return 6;
  size_t at = 6;
  if (spec.mpeg2) {
    if (spec.streamId == kPaddingStreamId) return 6;
    buffer[6] = 0x81;
    buffer[7] = static_cast<uint8_t>(((spec.hasPts & 1) << 1 | (spec.hasDts & 1)) << 6 | (spec.hasStd & 1));
    buffer[8] = static_cast<uint8_t>(5 * (spec.hasPts + spec.hasDts) + 3 * spec.hasStd + spec.stuffing);
    at = 9;
    if (spec.hasPts) {
      WriteTimestamp(buffer + at, spec.hasDts ? 3 : 2, spec.pts);
      at += 5;
    }
    if (spec.hasDts) {
      WriteTimestamp(buffer + at, 1, spec.dts);
      at += 5;
    }
    if (spec.hasStd) {
      buffer[at++] = 0x1E;
      WriteStdField(buffer + at, 1, spec.stdScale, spec.stdSize);
      at += 2;
    }
    std::memset(buffer + at, 0xFF, spec.stuffing);
    return at + spec.stuffing;
  }
  std::memset(buffer + at, 0xFF, spec.stuffing);
  at += spec.stuffing;
  if (spec.hasStd) {
    WriteStdField(buffer + at, 1, spec.stdScale, spec.stdSize);
    at += 2;
  }
  if (spec.hasPts) {
    WriteTimestamp(buffer + at, spec.hasDts ? 3 : 2, spec.pts);
    at += 5;
    if (spec.hasDts) {
      WriteTimestamp(buffer + at, 1, spec.dts);
      at += 5;
    }
  } else {
    buffer[at++] = 0x0F;
  }
  return at;
}

size_t CPackSyntax::WritePaddingPacket(uint8_t* buffer, size_t total) {
  Put32(buffer, 0x000001BE);
  Put16(buffer + 4, static_cast<uint32_t>(total - 6));
  std::memset(buffer + 6, 0xFF, total - 6);
  return total;
}

size_t CPackSyntax::WriteEndCode(uint8_t* buffer) {
  Put32(buffer, 0x000001B9);
  return 4;
}

size_t CPackSyntax::WriteTsPacketHeader(uint8_t* buffer, uint32_t pid, bool unitStart,
                                        uint32_t continuityCounter) {
  buffer[0] = 0x47;
  buffer[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F));
  buffer[2] = static_cast<uint8_t>(pid);
  buffer[3] = static_cast<uint8_t>(0x10 | (continuityCounter & 0x0F));
  return 4;
}

size_t CPackSyntax::WritePat(uint8_t* buffer, uint32_t version) {
  buffer[0] = 0;  // pointer field
  uint8_t* section = buffer + 1;
  section[0] = 0x00;
  Put16(section + 1, 0xB000 | 13);  // syntax indicator, reserved bits, section length
  Put16(section + 3, 0xAABB);
  section[5] = static_cast<uint8_t>(0xC1 | (version & 31) << 1);
  section[6] = 0;
  section[7] = 0;
  Put16(section + 8, 1);
  Put16(section + 10, 0xE000 | kPmtPid);
  Put32(section + 12, Crc32(section, 12));
  return 1 + 16;
}

size_t CPackSyntax::WritePmt(uint8_t* buffer, const PmtSpec& spec) {
  buffer[0] = 0;
  uint8_t* section = buffer + 1;
  size_t at = 12;
  if (spec.hasVideo) {
    section[at] = static_cast<uint8_t>(spec.videoStreamType);
    Put16(section + at + 1, 0xE000 | kVideoPid);
    Put16(section + at + 3, 0xF000 | 5);
    section[at + 5] = 0x02;  // video stream descriptor
    section[at + 6] = 3;
    section[at + 7] = static_cast<uint8_t>(FrameRateCode(spec.frameRateValue) << 3 | 0x02);
    section[at + 8] = static_cast<uint8_t>(0x40 | (spec.levelCode & 0x0F));
    section[at + 9] = 0x5F;  // 4:2:0, no frame-rate extension, reserved bits
    at += 10;
  }
  if (spec.hasAudio) {
    section[at] = static_cast<uint8_t>(spec.audioStreamType);
    Put16(section + at + 1, 0xE000 | kAudioPid);
    Put16(section + at + 3, 0xF000 | 3);
    section[at + 5] = 0x03;  // audio stream descriptor
    section[at + 6] = 1;
    section[at + 7] = static_cast<uint8_t>(0x80 | (spec.audioLayerCode & 3) << 4 | 0x07);
    at += 8;
  }
  const size_t sectionLength = at + 4 - 3;
  section[0] = 0x02;
  Put16(section + 1, static_cast<uint32_t>(0xB000 | sectionLength));
  Put16(section + 3, 1);
  section[5] = 0xC1;
  section[6] = 0;
  section[7] = 0;
  Put16(section + 8, 0xE000 | (spec.pcrPid & 0x1FFF));
  Put16(section + 10, 0xF000);
  Put32(section + at, Crc32(section, at));
  return 1 + at + 4;
}

uint32_t CPackSyntax::FrameRateCode(uint32_t framesPerSecond) {
  switch (framesPerSecond) {
    case 23: return 1;
    case 24: return 2;
    case 25: return 3;
    case 30: return 5;
    case 50: return 6;
    case 59: return 7;
    case 60: return 8;
    default: return 4;
  }
}

uint32_t CPackSyntax::Crc32(const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc ^= static_cast<uint32_t>(data[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

}  // namespace orx::mux
