#include "tests/mux/asf_walk.h"

#include <algorithm>
#include <cstring>

namespace orx::mux::test {
namespace {

uint64_t Load(const std::vector<uint8_t>& b, uint64_t at, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | (at + i < b.size() ? b[at + i] : 0);
  return value;
}

bool IsGuid(const std::vector<uint8_t>& b, uint64_t at, const char* text) {
  const std::vector<uint8_t> guid = AsfGuidBytes(text);
  return at + 16 <= b.size() && std::equal(guid.begin(), guid.end(), b.begin() + static_cast<long>(at));
}

constexpr const char* kHeader = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
constexpr const char* kData = "75B22636-668E-11CF-A6D9-00AA0062CE6C";
constexpr const char* kSimpleIndex = "33000890-E5B1-11CF-89F4-00A0C90349CB";
constexpr const char* kFileProperties = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
constexpr const char* kStreamProperties = "B7DC0791-A9B7-11CF-8EE6-00C00C205365";
constexpr const char* kAudioSpread = "BFC3CD50-618F-11CF-8BB2-00AA00B4E220";

// Sizes of the length fields by their 2-bit type.
int FieldBytes(uint32_t type) { return type == 3 ? 4 : static_cast<int>(type); }

bool ReadPacket(const std::vector<uint8_t>& b, uint64_t at, uint32_t size, AsfPacketRead& packet, std::string& error) {
  uint64_t p = at;
  packet.at = at;
  if (b[p] & 0x80) {
    packet.errorCorrection = true;
    p += 1 + (b[p] & 0x0F);
  }
  const uint32_t flags = b[p];
  const uint32_t properties = b[p + 1];
  p += 2;
  packet.multiple = flags & 1;
  const uint32_t paddingType = (flags >> 3) & 3;
  if ((flags >> 5) & 3 || (flags >> 1) & 3) {
    error = "packet length or sequence present";
    return false;
  }
  packet.wordPadding = paddingType == 2;
  packet.padding = static_cast<uint32_t>(Load(b, p, FieldBytes(paddingType)));
  p += FieldBytes(paddingType);
  packet.sendTime = static_cast<uint32_t>(Load(b, p, 4));
  p += 6;
  const int replicatedBytes = FieldBytes(properties & 3);
  const int offsetBytes = FieldBytes((properties >> 2) & 3);
  const int objectBytes = FieldBytes((properties >> 4) & 3);
  const int streamBytes = FieldBytes((properties >> 6) & 3);
  uint32_t count = 1;
  int lengthBytes = 0;
  if (packet.multiple) {
    count = b[p] & 0x3F;
    lengthBytes = FieldBytes(b[p] >> 6);
    ++p;
  }
  for (uint32_t i = 0; i < count; ++i) {
    AsfPayloadRead payload;
    const uint32_t stream = static_cast<uint32_t>(Load(b, p, streamBytes));
    payload.stream = stream & 0x7F;
    payload.key = (stream & 0x80) != 0;
    p += streamBytes;
    payload.object = static_cast<uint32_t>(Load(b, p, objectBytes));
    p += objectBytes;
    payload.offset = static_cast<uint32_t>(Load(b, p, offsetBytes));
    p += offsetBytes;
    const uint32_t replicated = static_cast<uint32_t>(Load(b, p, replicatedBytes));
    p += replicatedBytes;
    if (replicated >= 8) {
      payload.objectSize = static_cast<uint32_t>(Load(b, p, 4));
      payload.presentation = static_cast<uint32_t>(Load(b, p + 4, 4));
    }
    p += replicated;
    if (packet.multiple) {
      payload.length = static_cast<uint32_t>(Load(b, p, lengthBytes));
      p += lengthBytes;
    } else {
      const uint64_t end = at + size - packet.padding;
      payload.length = end > p ? static_cast<uint32_t>(end - p) : 0;
    }
    p += payload.length;
    packet.payloads.push_back(payload);
  }
  if (p + packet.padding != at + size) {
    error = "packet at " + std::to_string(at) + " does not add up: " + std::to_string(p + packet.padding - at) +
            " bytes of " + std::to_string(size);
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> AsfGuidBytes(const std::string& text) {
  std::string hex;
  for (char c : text)
    if (c != '-') hex += c;
  std::vector<uint8_t> raw;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) raw.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  if (raw.size() != 16) return {};
  return {raw[3], raw[2], raw[1], raw[0], raw[5], raw[4], raw[7], raw[6],
          raw[8], raw[9], raw[10], raw[11], raw[12], raw[13], raw[14], raw[15]};
}

AsfFileRead WalkAsf(const std::vector<uint8_t>& b) {
  AsfFileRead file;
  if (!IsGuid(b, 0, kHeader)) {
    file.error = "no header object";
    return file;
  }
  const uint64_t headerSize = Load(b, 16, 8);
  // The header's objects.
  for (uint64_t at = 30; at + 24 <= headerSize;) {
    const uint64_t size = Load(b, at + 16, 8);
    if (size < 24) break;
    if (IsGuid(b, at, kFileProperties)) {
      file.fileSize = Load(b, at + 40, 8);
      file.creationDate = Load(b, at + 48, 8);
      file.filePropertiesPackets = Load(b, at + 56, 8);
      file.preroll = Load(b, at + 80, 8);
      file.flags = static_cast<uint32_t>(Load(b, at + 88, 4));
      file.packetSize = static_cast<uint32_t>(Load(b, at + 92, 4));
    }
    if (IsGuid(b, at, kStreamProperties) && IsGuid(b, at + 40, kAudioSpread)) file.audioSpread = true;
    at += size;
  }
  const uint64_t dataAt = headerSize;
  if (!IsGuid(b, dataAt, kData) || file.packetSize == 0) {
    file.error = "no data object or packet size";
    return file;
  }
  const uint64_t dataSize = Load(b, dataAt + 16, 8);
  file.dataPackets = Load(b, dataAt + 40, 8);
  if (dataAt + dataSize > b.size() || (dataSize - 50) % file.packetSize != 0) {
    file.error = "data object size " + std::to_string(dataSize) + " is not whole packets";
    return file;
  }
  for (uint64_t at = dataAt + 50; at < dataAt + dataSize; at += file.packetSize) {
    AsfPacketRead packet;
    if (!ReadPacket(b, at, file.packetSize, packet, file.error)) return file;
    file.packets.push_back(packet);
  }
  const uint64_t indexAt = dataAt + dataSize;
  if (IsGuid(b, indexAt, kSimpleIndex)) {
    file.hasIndex = true;
    const uint32_t count = static_cast<uint32_t>(Load(b, indexAt + 52, 4));
    for (uint32_t i = 0; i < count; ++i)
      file.index.push_back({static_cast<uint32_t>(Load(b, indexAt + 56 + 6 * i, 4)),
                            static_cast<uint32_t>(Load(b, indexAt + 60 + 6 * i, 2))});
  }
  return file;
}

}  // namespace orx::mux::test
