#pragma once
// Reads an ASF file back on its own terms: the file properties, the data object's packets with
// every payload, the padding and whether the sizes add up to the packet size, and the simple
// index. Independent of the writer's code: it parses the bytes as the format lays them out.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::mux::test {

struct AsfPayloadRead {
  uint32_t stream = 0;
  bool key = false;
  uint32_t object = 0;
  uint32_t offset = 0;
  uint32_t objectSize = 0;
  uint32_t presentation = 0;  // ms
  uint32_t length = 0;
};

struct AsfPacketRead {
  uint64_t at = 0;
  bool errorCorrection = false;
  bool multiple = false;
  bool wordPadding = false;
  uint32_t padding = 0;
  uint32_t sendTime = 0;
  std::vector<AsfPayloadRead> payloads;
};

struct AsfIndexRead {
  uint32_t packet = 0;
  uint32_t count = 0;
};

struct AsfFileRead {
  std::string error;  // empty when the whole file parsed and every packet added up
  uint32_t packetSize = 0;
  uint64_t fileSize = 0;
  uint64_t creationDate = 0;
  uint64_t filePropertiesPackets = 0;
  uint64_t preroll = 0;
  uint32_t flags = 0;
  uint64_t dataPackets = 0;
  bool audioSpread = false;  // a stream properties object names audio spread
  std::vector<AsfPacketRead> packets;
  std::vector<AsfIndexRead> index;
  bool hasIndex = false;
};

AsfFileRead WalkAsf(const std::vector<uint8_t>& bytes);

// The 16 bytes a file holds for a GUID in its textual form.
std::vector<uint8_t> AsfGuidBytes(const std::string& text);

}  // namespace orx::mux::test
