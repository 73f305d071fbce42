#pragma once
// The objects of an ASF file, written as plain functions over a little-endian byte buffer: the
// header object's parts (file properties, header extension with language list, metadata and
// extended stream properties, stream properties), the data object's header and the simple
// index; and the small computations they share (aspect ratio, time per frame, the file time).
#include <cstddef>
#include <cstdint>

#include "mux/asf/asf_guids.h"
#include "mux/avi/riff_buffer.h"
#include "mux/parse/mux_formats.h"

namespace orx::mux {

inline constexpr size_t kAsfHeaderObjectSize = 30;
inline constexpr size_t kAsfFilePropertiesSize = 104;
inline constexpr size_t kAsfDataObjectHeaderSize = 50;
inline constexpr size_t kAsfExtendedStreamPropertiesSize = 88;

// Offsets of patched fields inside the objects (from the object's GUID).
inline constexpr size_t kAsfFileSizeAt = 40;
inline constexpr size_t kAsfDataPacketsAt = 56;
inline constexpr size_t kAsfPlayDurationAt = 64;
inline constexpr size_t kAsfSendDurationAt = 72;
inline constexpr size_t kAsfPrerollAt = 80;
inline constexpr size_t kAsfFlagsAt = 88;
inline constexpr size_t kAsfExtendedBitrateAt = 40;     // data bitrate ... maximum object size
inline constexpr size_t kAsfExtendedMaxObjectAt = 64;

struct AsfFileProperties {
  uint64_t creationDate = 0;  // 100 ns units since 1601-01-01 UTC
  uint32_t prerollMs = 0;
  uint32_t packetSize = 0;
  uint32_t maxBitrate = 0;
};

struct AsfExtendedStream {
  uint32_t streamNumber = 0;
  uint32_t bitrate = 0;      // bits per second
  uint32_t bufferMs = 0;
  uint32_t maxObjectSize = 65536;
  uint64_t timePerFrame = 0;  // 100 ns
};

struct AsfVideoStream {
  int32_t codec = -1;  // VideoKind
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t aspectX = 0;
  uint32_t aspectY = 0;
  const uint8_t* codecPrivate = nullptr;
  uint32_t codecPrivateLength = 0;
};

struct AsfAudioStream {
  uint32_t streamNumber = 0;
  uint32_t kind = 0;  // AudioKind
  const MuxAudioFormat* format = nullptr;
  uint32_t bytesPerSecond = 0;
  bool audioSpread = false;
};

struct AsfIndexEntry {
  uint32_t packet = 0;
  uint16_t count = 0;
};

void WriteAsfGuid(RiffBuffer& out, const AsfGuid& guid);
// The header object's own 30 bytes; its size is patched by the caller.
void WriteAsfHeaderObjectStart(RiffBuffer& out, uint32_t objects);
void WriteAsfFileProperties(RiffBuffer& out, const AsfFileProperties& properties);
void WriteAsfLanguageList(RiffBuffer& out);
// One metadata record of a 32-bit word.
void AddAsfMetadataDword(RiffBuffer& object, uint32_t streamNumber, const char* name, uint32_t value);
// The metadata object with the aspect ratio records of the video stream.
void WriteAsfMetadata(RiffBuffer& out, uint32_t streamNumber, uint32_t aspectX, uint32_t aspectY);
void WriteAsfExtendedStreamProperties(RiffBuffer& out, const AsfExtendedStream& stream);
void WriteAsfVideoStreamProperties(RiffBuffer& out, const AsfVideoStream& video);
void WriteAsfAudioStreamProperties(RiffBuffer& out, const AsfAudioStream& audio);
void WriteAsfDataObjectHeader(RiffBuffer& out, uint64_t size, uint64_t packets);
void WriteAsfSimpleIndex(RiffBuffer& out, const AsfIndexEntry* entries, uint32_t count, uint32_t maxPacketCount);

// The video compression code by codec: "DIVX", "WMV3" ("WMVA" when the codec-private bytes are
// an advanced-profile sequence header), "WVC1", "H264" or "MPEG".
const char* AsfVideoCompression(int32_t codec, const uint8_t* codecPrivate, uint32_t length);
// The picture aspect as the metadata gives it: reduced, then halved (rounding up) and reduced
// again while either value is 100 or more; a value below 1 makes both 1.
void AsfAspectRatio(uint32_t aspectX, uint32_t aspectY, uint32_t width, uint32_t height, uint32_t& x, uint32_t& y);
// Average time per frame in 100 ns; the 29.97 Hz neighbourhood is written as 666666.
uint64_t AsfTimePerFrame(double frameRate);
// Now, in 100 ns units since 1601-01-01 UTC.
uint64_t AsfFileTimeNow();
// A double to the nearest 64-bit and 32-bit integer (halves away from zero).
int64_t AsfRoundToInt64(double value);
int32_t AsfRoundToInt32(double value);

}  // namespace orx::mux
