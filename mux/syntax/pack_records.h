#pragma once
// Records that describe the system-layer structures the multiplexer writes.
#include <cstdint>

namespace orx::mux {

// Contents of a system header. Scales are the P-STD buffer scale bit: 1 for 1024-byte units,
// 0 for 128-byte units.
struct SystemHeaderInfo {
  uint32_t rate = 0;  // bytes per second
  uint32_t fixedFlag = 0;
  uint32_t cspsFlag = 0;
  uint32_t packetRateRestriction = 0;
  uint32_t allVideo = 0;  // one 0xB9 entry instead of one per video stream
  int32_t videoCount = 0;
  uint32_t videoLock = 0;
  uint32_t videoScale = 0;
  uint32_t videoBound = 0;
  uint32_t allAudio = 0;  // one 0xB8 entry instead of one per audio stream
  int32_t audioCount = 0;
  uint32_t audioLock = 0;
  uint32_t audioScale = 0;
  uint32_t audioBound = 0;
  uint32_t private1Entry = 0;
  uint32_t private1Scale = 0;
  uint32_t private1Bound = 0;
  uint32_t private2Entry = 0;
  uint32_t private2Scale = 0;
  uint32_t private2Bound = 0;
};

struct PackConfig {
  uint32_t packSize = 0;      // bytes per pack (188 in a transport stream)
  uint32_t mpeg2 = 0;         // 1 MPEG-2 syntax, 0 MPEG-1
  uint32_t privateTail = 0;   // every pack ends with an empty private-stream-1 packet
  uint32_t endZeroBytes = 0;  // zero bytes reserved at the end of each audio pack
  uint32_t audioStreamId = 0xC0;
  uint32_t videoStreamType = 2;
  uint32_t transport = 0;     // 188-byte transport packets instead of packs
  SystemHeaderInfo systemHeader;
};

struct PesHeaderSpec {
  uint32_t mpeg2 = 1;
  uint32_t streamId = 0;
  uint32_t hasStd = 0;
  uint32_t hasPts = 0;
  uint32_t hasDts = 0;
  uint32_t stdScale = 0;
  uint32_t stdSize = 0;
  uint64_t pts = 0;  // 90 kHz
  uint64_t dts = 0;
  uint32_t stuffing = 0;
  uint32_t pesLength = 0;
};

struct PmtSpec {
  uint32_t frameRateValue = 0;  // whole frames per second
  uint32_t levelCode = 8;
  uint32_t audioStreamType = 0x04;
  uint32_t audioLayerCode = 2;
  uint32_t videoStreamType = 0x02;
  uint32_t pcrPid = 0;
  uint32_t hasVideo = 1;
  uint32_t hasAudio = 1;
};

struct NavInfo {
  uint32_t category = 0;
  uint32_t startPtm = 0;  // 90 kHz
  uint32_t endPtm = 0;
};

// Transport packet identifiers.
inline constexpr uint32_t kPatPid = 0x0000;
inline constexpr uint32_t kPmtPid = 0x01D0;
inline constexpr uint32_t kVideoPid = 0x1DE0;
inline constexpr uint32_t kAudioPid = 0x1D10;
inline constexpr uint32_t kNullPid = 0x1FFF;
inline constexpr uint32_t kTsPacketSize = 188;

// Stream ids.
inline constexpr uint32_t kVideoStreamId = 0xE0;
inline constexpr uint32_t kMpegAudioStreamId = 0xC0;
inline constexpr uint32_t kPrivateStream1Id = 0xBD;
inline constexpr uint32_t kPaddingStreamId = 0xBE;
inline constexpr uint32_t kPrivateStream2Id = 0xBF;

}  // namespace orx::mux
