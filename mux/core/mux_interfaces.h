#pragma once
// The multiplexer's interfaces: the object the component drives and the bit stream it writes
// through, with the configuration and sample records they exchange.
#include <cstdint>

#include "mux/parse/mux_formats.h"
#include "mux/syntax/mux_write_desc.h"

namespace orx::mux {

enum MuxType : uint32_t {
  kMuxGenericPrivateTail = 0,  // generic program stream, each pack ending with a private-stream-1 packet
  kMuxGeneric = 1,
  kMuxTransport = 2,
  kMuxVcd = 3,
  kMuxSvcd = 4,
  kMuxTablesThenProgram = 5,   // program stream after PAT and PMT in 2048-byte blocks
  kMuxDvd = 6,
  kMuxAvi = 7,
  kMuxAsf = 8,
  kMuxDvdLargeBuffer = 9,      // DVD form with a 460 KB video buffer bound
  kMuxMp4 = 10,
  kMuxMp4Portable = 11,
  kMuxQuickTime = 12,
};

enum MuxAudioClass : uint32_t {
  kAudioClassMpeg = 0,
  kAudioClassLpcm = 1,
  kAudioClassAc3 = 2,
  kAudioClassWma = 3,
  kAudioClassAac = 4,
};

// Stream ids of the multiplexer (the component's pins are numbered the other way round).
enum MuxStream : uint32_t { kStreamAudio = 0, kStreamVideo = 1, kStreamNone = 5 };

// Video codec hint of the configuration.
enum MuxCodecHint : uint32_t { kHintDetect = 0, kHintWmv9 = 1, kHintVc1 = 2, kHintH264 = 3 };

class IMuxBitStream {
 public:
  // The write buffer: at least size bytes and at least kMinBitStreamBuffer.
  virtual uint8_t* GetBuffer(uint32_t size) = 0;
  // Writes count bytes of desc->data (kind 3: seeks to desc->position first); answers the
  // buffer to fill next.
  virtual uint8_t* Write(MuxWriteDesc* desc, uint32_t count) = 0;
  virtual void Reset() = 0;

 protected:
  ~IMuxBitStream() = default;
};

// The largest single header write of the container writers.
inline constexpr uint32_t kMinBitStreamBuffer = 4262;

struct MuxConfig {
  uint32_t audioPresent = 0;
  uint32_t videoPresent = 0;
  uint32_t muxType = kMuxDvd;
  IMuxBitStream* bitStream = nullptr;
  uint64_t maxFileSize = 0;  // 0: no limit
  uint32_t audioClass = kAudioClassMpeg;
  MuxAudioFormat* audioFormat = nullptr;
  uint32_t videoCodecHint = kHintDetect;
  MuxVideoFormat* videoFormat = nullptr;
};

enum MuxSampleFlags : uint32_t {
  kSampleEndOfStream = 0x1,
  kSampleTimeValid = 0x4,
  // The input buffer began a picture (the video encoder marks the first buffer of each one).
  kSamplePictureStart = 0x800,
};

struct MuxSampleDesc {
  const uint8_t* data = nullptr;
  uint32_t flags = 0;
  double time = 0;  // seconds
  uint32_t length = 0;
};

class IMultiplexer {
 public:
  virtual bool Open(const MuxConfig* config) = 0;
  // Destroys the object.
  virtual bool Release() = 0;
  virtual uint32_t NextStream() = 0;
  // Answers the bytes of the sample taken so far; the caller offers the rest again.
  virtual uint32_t Write(uint32_t stream, const MuxSampleDesc* sample) = 0;
  virtual bool Close() = 0;
  // Why the multiplexer stopped writing (a status code, 4 when it could not get memory), or 0.
  virtual uint32_t Failure() const = 0;

 protected:
  virtual ~IMultiplexer() = default;
};

IMultiplexer* NewMultiplexer();

}  // namespace orx::mux
