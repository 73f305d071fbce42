#pragma once
// The three media type records that describe a stream to a pin. They cross library
// boundaries and travel inside format-change buffers, so their byte layout is fixed
// (little-endian, no pointers): sizes and offsets are asserted below.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/record_layout.h"

// The 16 bytes every media type record starts with.
struct MediaTypeHeader {
  uint32_t size;  // byte size of the full record, or 16 for a header-only record
  uint32_t MType;
  uint32_t subtype;
  uint32_t MFlags;
};
static_assert(sizeof(MediaTypeHeader) == 16);

inline constexpr uint32_t kMediaTypeHeaderSize = 16;

struct VideoMediaType {
  uint32_t size;  // 156
  uint32_t MType;  // QVA_MTYPE_VIDEO
  uint32_t subtype;
  uint32_t MFlags;
  uint32_t VideoFlags;
  uint32_t FrameRate;  // frames per 1000 s (29970 for 29.97 fps)
  // A subtype code ahead of each size pair: a default output format carries the stream's
  // subtype in both; no consumer reads them.
  uint32_t sizeSubtype;
  uint32_t width;
  uint32_t height;
  uint32_t PARh;  // pixel aspect, horizontal
  uint32_t PARv;  // pixel aspect, vertical
  uint32_t secondSizeSubtype;  // ahead of the second size pair, as sizeSubtype
  // The size a consumer is to produce; a consumer takes width (height) when it is 0.
  uint32_t secondWidth;
  uint32_t secondHeight;
  uint32_t secondPARh;  // pixel aspect of the second size
  uint32_t secondPARv;
  uint32_t BitrateAverage;  // bit/s
  uint32_t BitrateMax;  // bit/s
  uint32_t FormatID;
  uint32_t reserved76[3];
  uint32_t codecPrivateLength;  // bytes used in codecPrivate, at most 64
  uint8_t codecPrivate[64];  // an encoded format's sequence header
};

struct AudioMediaType {
  uint32_t size;  // 136
  uint32_t MType;  // QVA_MTYPE_AUDIO
  uint32_t subtype;
  uint32_t MFlags;
  uint32_t AudioFlags;  // QVA_AUDIOFLAG_*
  uint32_t ModeFlags;  // QVA_AUDIOMODE_SBR
  uint32_t SamplRate;  // samples per second
  uint16_t BitsPerSample;
  uint16_t Channels;
  uint32_t Bitrate;  // bit/s
  uint32_t Framesize;
  uint32_t Length;  // milliseconds
  uint32_t reserved44;
  uint16_t Layer;
  uint16_t Emphasis;
  // Read by the multiplexer and the audio encoder in place of Bitrate when not 0.
  uint32_t secondBitrate;
  uint32_t FormatID;
  uint32_t reserved60[2];
  uint32_t codecPrivateLength;
  uint8_t codecPrivate[64];
};

// The 64-bit fields at +20 and +28 are only 4-aligned, hence the packing: copy them by value,
// never take their address or bind a reference to them.
#pragma pack(push, 4)
struct StreamMediaType {
  uint32_t size;  // 160
  uint32_t MType;  // container code
  uint32_t subtype;
  uint32_t MFlags;
  uint32_t StreamFlags;
  uint64_t LenInBytes;
  uint64_t LenInTime;  // milliseconds
  uint32_t BitrateAverage;
  uint32_t BitrateMax;
  uint32_t reserved44;
  uint64_t Start;  // milliseconds
  uint64_t End;  // milliseconds
  uint64_t currentTime;  // milliseconds
  uint64_t currentPosition;  // bytes
  uint32_t BlockSize;
  uint32_t DataOffset;
  uint32_t IndexOffset;
  uint32_t reserved92[17];
};
#pragma pack(pop)

// A receiver applies a record it was given (size word first): below 16 bytes it refuses the
// record with status 29 (buffer too small); from 16 up to below the full size it takes only
// the header and keeps its other fields; at the full size or more it takes the whole record.
inline constexpr uint32_t kMediaTypeTooSmall = 29;

template <class Record>
uint32_t ApplyReceivedMediaType(Record& target, const void* received) {
  uint32_t size;
  std::memcpy(&size, received, sizeof size);
  if (size < kMediaTypeHeaderSize) return kMediaTypeTooSmall;
  std::memcpy(static_cast<void*>(&target), received,
              size >= sizeof(Record) ? sizeof(Record) : kMediaTypeHeaderSize);
  return 0;
}

static_assert(sizeof(VideoMediaType) == 156);
ORX_ASSERT_FIELD(VideoMediaType, size, 0);
ORX_ASSERT_FIELD(VideoMediaType, MType, 4);
ORX_ASSERT_FIELD(VideoMediaType, subtype, 8);
ORX_ASSERT_FIELD(VideoMediaType, MFlags, 12);
ORX_ASSERT_FIELD(VideoMediaType, VideoFlags, 16);
ORX_ASSERT_FIELD(VideoMediaType, FrameRate, 20);
ORX_ASSERT_FIELD(VideoMediaType, sizeSubtype, 24);
ORX_ASSERT_FIELD(VideoMediaType, width, 28);
ORX_ASSERT_FIELD(VideoMediaType, height, 32);
ORX_ASSERT_FIELD(VideoMediaType, PARh, 36);
ORX_ASSERT_FIELD(VideoMediaType, PARv, 40);
ORX_ASSERT_FIELD(VideoMediaType, secondSizeSubtype, 44);
ORX_ASSERT_FIELD(VideoMediaType, secondWidth, 48);
ORX_ASSERT_FIELD(VideoMediaType, secondHeight, 52);
ORX_ASSERT_FIELD(VideoMediaType, secondPARh, 56);
ORX_ASSERT_FIELD(VideoMediaType, secondPARv, 60);
ORX_ASSERT_FIELD(VideoMediaType, BitrateAverage, 64);
ORX_ASSERT_FIELD(VideoMediaType, BitrateMax, 68);
ORX_ASSERT_FIELD(VideoMediaType, FormatID, 72);
ORX_ASSERT_FIELD(VideoMediaType, reserved76, 76);
ORX_ASSERT_FIELD(VideoMediaType, codecPrivateLength, 88);
ORX_ASSERT_FIELD(VideoMediaType, codecPrivate, 92);

static_assert(sizeof(AudioMediaType) == 136);
ORX_ASSERT_FIELD(AudioMediaType, size, 0);
ORX_ASSERT_FIELD(AudioMediaType, MType, 4);
ORX_ASSERT_FIELD(AudioMediaType, subtype, 8);
ORX_ASSERT_FIELD(AudioMediaType, MFlags, 12);
ORX_ASSERT_FIELD(AudioMediaType, AudioFlags, 16);
ORX_ASSERT_FIELD(AudioMediaType, ModeFlags, 20);
ORX_ASSERT_FIELD(AudioMediaType, SamplRate, 24);
ORX_ASSERT_FIELD(AudioMediaType, BitsPerSample, 28);
ORX_ASSERT_FIELD(AudioMediaType, Channels, 30);
ORX_ASSERT_FIELD(AudioMediaType, Bitrate, 32);
ORX_ASSERT_FIELD(AudioMediaType, Framesize, 36);
ORX_ASSERT_FIELD(AudioMediaType, Length, 40);
ORX_ASSERT_FIELD(AudioMediaType, reserved44, 44);
ORX_ASSERT_FIELD(AudioMediaType, Layer, 48);
ORX_ASSERT_FIELD(AudioMediaType, Emphasis, 50);
ORX_ASSERT_FIELD(AudioMediaType, secondBitrate, 52);
ORX_ASSERT_FIELD(AudioMediaType, FormatID, 56);
ORX_ASSERT_FIELD(AudioMediaType, reserved60, 60);
ORX_ASSERT_FIELD(AudioMediaType, codecPrivateLength, 68);
ORX_ASSERT_FIELD(AudioMediaType, codecPrivate, 72);

static_assert(sizeof(StreamMediaType) == 160);
ORX_ASSERT_FIELD(StreamMediaType, size, 0);
ORX_ASSERT_FIELD(StreamMediaType, MType, 4);
ORX_ASSERT_FIELD(StreamMediaType, subtype, 8);
ORX_ASSERT_FIELD(StreamMediaType, MFlags, 12);
ORX_ASSERT_FIELD(StreamMediaType, StreamFlags, 16);
ORX_ASSERT_FIELD(StreamMediaType, LenInBytes, 20);
ORX_ASSERT_FIELD(StreamMediaType, LenInTime, 28);
ORX_ASSERT_FIELD(StreamMediaType, BitrateAverage, 36);
ORX_ASSERT_FIELD(StreamMediaType, BitrateMax, 40);
ORX_ASSERT_FIELD(StreamMediaType, reserved44, 44);
ORX_ASSERT_FIELD(StreamMediaType, Start, 48);
ORX_ASSERT_FIELD(StreamMediaType, End, 56);
ORX_ASSERT_FIELD(StreamMediaType, currentTime, 64);
ORX_ASSERT_FIELD(StreamMediaType, currentPosition, 72);
ORX_ASSERT_FIELD(StreamMediaType, BlockSize, 80);
ORX_ASSERT_FIELD(StreamMediaType, DataOffset, 84);
ORX_ASSERT_FIELD(StreamMediaType, IndexOffset, 88);
ORX_ASSERT_FIELD(StreamMediaType, reserved92, 92);
