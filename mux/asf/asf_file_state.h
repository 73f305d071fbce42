#pragma once
// What the ASF writer keeps while a file is written: the data packet being filled, the pending
// video object, the held audio payload, the simple index, and the positions of the objects
// patched at the end. Every allocation is owned here.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mux/asf/asf_objects.h"

namespace orx::mux {

inline constexpr uint32_t kAsfIndexSlots = 0x8000;

struct AsfHeldPayload {
  std::vector<uint8_t> bytes;
  bool held = false;
  uint32_t streamByte = 0;
  uint32_t objectNumber = 0;
  double time = 0;
};

struct AsfFileState {
  uint32_t packetSize = 4096;
  std::vector<uint8_t> packet;  // the data packet being filled
  bool multiple = false;        // it carries multiple payloads
  size_t payloadFlagsAt = 0;    // its payload-flags byte, 0 while absent
  uint32_t payloads = 0;
  uint32_t sendTime = 0;        // ms, of the packet being filled
  uint64_t packetsWritten = 0;

  std::vector<AsfIndexEntry> index;
  uint32_t largestIndexSpan = 0;

  std::vector<uint8_t> object;  // the pending video object
  bool objectKey = false;
  double objectTime = 0;
  bool objectPending = false;
  uint32_t videoObjects = 0;
  uint32_t audioObjects = 0;
  uint32_t largestVideoObject = 0;
  uint32_t largestAudioObject = 0;
  AsfHeldPayload held;

  bool errorCorrection = false;  // audio spread
  uint32_t audioStreamNumber = 1;
  uint32_t sendTimeOffset = 0;  // ms
  uint32_t packetDuration = 0;  // ms
  uint32_t preroll = 125;       // ms
  double firstMediaTime = 0;

  uint64_t filePropertiesAt = 0;
  uint64_t dataAt = 0;
  uint64_t videoExtendedAt = 0;
  uint64_t audioExtendedAt = 0;
  bool hasVideo = false;
  bool hasAudio = false;
};

}  // namespace orx::mux
