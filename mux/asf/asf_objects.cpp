#include "mux/asf/asf_objects.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <numeric>

#include "mux/avi/avi_chunks.h"
#include "mux/parse/es_info.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

// Seconds from 1601-01-01 to 1970-01-01, both UTC.
constexpr uint64_t kSeconds1601To1970 = 11644473600ull;

void WriteUtf16(RiffBuffer& out, const char* text) {
  for (const char* c = text; *c; ++c) out.U16(static_cast<uint8_t>(*c));
  out.U16(0);
}

void PatchU64(RiffBuffer& out, size_t at, uint64_t value) {
  out.PatchU32(at, static_cast<uint32_t>(value));
  out.PatchU32(at + 4, static_cast<uint32_t>(value >> 32));
}

// An object: GUID and a blank 64-bit size; answers where it starts.
size_t OpenObject(RiffBuffer& out, const AsfGuid& guid) {
  const size_t start = out.Size();
  WriteAsfGuid(out, guid);
  out.U64(0);
  return start;
}

void CloseObject(RiffBuffer& out, size_t start) { PatchU64(out, start + 16, out.Size() - start); }

void WriteWaveFormat(RiffBuffer& out, const AsfAudioStream& audio) {
  const MuxAudioFormat* format = audio.format;
  const uint32_t channels = format ? format->channels : 2;
  const uint32_t rate = format ? format->sampleRate : 48000;
  switch (audio.kind) {
    case kAudioMpegLayer12:
    case kAudioMpegLayer3:
      WriteMpegWaveFormat(out, audio.kind, channels, rate, audio.bytesPerSecond);
      return;
    default:
      break;
  }
  if (format == nullptr) {
    out.U16(1);
    out.U16(channels);
    out.U32(rate);
    out.U32(channels * 2 * rate);
    out.U16(channels * 2);
    out.U16(16);
    out.U16(0);
    return;
  }
  const uint32_t extra = format->extraSize <= sizeof(format->extra) ? format->extraSize : 0;
  out.U16(format->formatTag != 0 ? format->formatTag : 1);
  out.U16(format->channels);
  out.U32(format->sampleRate);
  out.U32(format->formatTag != 0 ? format->bitrate / 8 : format->channels * 2 * format->sampleRate);
  out.U16(format->formatTag != 0 ? format->blockAlign : format->channels * 2);
  out.U16(format->formatTag != 0 ? format->bitsPerSample : 16);
  out.U16(extra);
  out.Bytes(format->extra, extra);
}

uint32_t WaveBlockAlign(const AsfAudioStream& audio) {
  if (audio.format == nullptr) return 4;
  return audio.format->formatTag != 0 ? audio.format->blockAlign : audio.format->channels * 2;
}

}  // namespace

void WriteAsfGuid(RiffBuffer& out, const AsfGuid& guid) { out.Bytes(guid.bytes, sizeof(guid.bytes)); }

void WriteAsfHeaderObjectStart(RiffBuffer& out, uint32_t objects) {
  WriteAsfGuid(out, kAsfHeaderObject);
  out.U64(0);
  out.U32(objects);
  out.U8(1);
  out.U8(2);
}

void WriteAsfFileProperties(RiffBuffer& out, const AsfFileProperties& properties) {
  WriteAsfGuid(out, kAsfFilePropertiesObject);
  out.U64(kAsfFilePropertiesSize);
  out.Zeros(16);  // file id
  out.U64(0);     // file size, patched
  out.U64(properties.creationDate);
  out.U64(0);  // data packets, patched
  out.U64(static_cast<uint64_t>(properties.prerollMs) * 10000);
  out.U64(0);  // send duration, patched
  out.U64(properties.prerollMs);
  out.U32(1);  // flags: broadcast until the file is finished
  out.U32(properties.packetSize);
  out.U32(properties.packetSize);
  out.U32(properties.maxBitrate);
}

void WriteAsfLanguageList(RiffBuffer& out) {
  const size_t at = OpenObject(out, kAsfLanguageListObject);
  out.U16(1);
  out.U8(12);
  WriteUtf16(out, "en-us");
  CloseObject(out, at);
}

void AddAsfMetadataDword(RiffBuffer& object, uint32_t streamNumber, const char* name, uint32_t value) {
  object.U16(0);
  object.U16(streamNumber);
  object.U16(static_cast<uint32_t>(2 * (std::strlen(name) + 1)));
  object.U16(3);  // a 32-bit word
  object.U32(4);
  WriteUtf16(object, name);
  object.U32(value);
}

void WriteAsfMetadata(RiffBuffer& out, uint32_t streamNumber, uint32_t aspectX, uint32_t aspectY) {
  const size_t at = OpenObject(out, kAsfMetadataObject);
  out.U16(2);
  AddAsfMetadataDword(out, streamNumber, "AspectRatioX", aspectX);
  AddAsfMetadataDword(out, streamNumber, "AspectRatioY", aspectY);
  CloseObject(out, at);
}

void WriteAsfExtendedStreamProperties(RiffBuffer& out, const AsfExtendedStream& stream) {
  const size_t at = OpenObject(out, kAsfExtendedStreamPropertiesObject);
  out.U64(0);  // start time
  out.U64(0);  // end time
  out.U32(stream.bitrate);
  out.U32(stream.bufferMs);
  out.U32(0);
  out.U32(stream.bitrate);
  out.U32(stream.bufferMs);
  out.U32(0);
  out.U32(stream.maxObjectSize);
  out.U32(2);  // seekable
  out.U16(stream.streamNumber);
  out.U16(0);  // language index
  out.U64(stream.timePerFrame);
  out.U16(0);  // stream names
  out.U16(0);  // payload extension systems
  CloseObject(out, at);
}

void WriteAsfVideoStreamProperties(RiffBuffer& out, const AsfVideoStream& video) {
  const size_t at = OpenObject(out, kAsfStreamPropertiesObject);
  WriteAsfGuid(out, kAsfVideoMedia);
  WriteAsfGuid(out, kAsfNoErrorCorrection);
  out.U64(0);  // time offset
  out.U32(51 + video.codecPrivateLength);
  out.U32(0);
  out.U16(1);  // stream number 1
  out.U32(0);
  out.U32(video.width);
  out.U32(video.height);
  out.U8(2);
  out.U16(40 + video.codecPrivateLength);
  // The bitmap header.
  uint32_t xPels = (video.aspectY * video.width + 8) >> 4;
  uint32_t yPels = (video.aspectX * video.height + 8) >> 4;
  while (xPels != 0 && yPels != 0 && xPels % 10 == 0 && yPels % 10 == 0) {
    xPels /= 10;
    yPels /= 10;
  }
  out.U32(40 + video.codecPrivateLength);
  out.U32(video.width);
  out.U32(video.height);
  out.U16(1);
  out.U16(24);
  out.FourCC(AsfVideoCompression(video.codec, video.codecPrivate, video.codecPrivateLength));
  out.U32(0);
  out.U32(xPels);
  out.U32(yPels);
  out.U32(0);
  out.U32(0);
  out.Bytes(video.codecPrivate, video.codecPrivateLength);
  CloseObject(out, at);
}

void WriteAsfAudioStreamProperties(RiffBuffer& out, const AsfAudioStream& audio) {
  RiffBuffer wave;
  WriteWaveFormat(wave, audio);
  const size_t at = OpenObject(out, kAsfStreamPropertiesObject);
  WriteAsfGuid(out, kAsfAudioMedia);
  WriteAsfGuid(out, audio.audioSpread ? kAsfAudioSpread : kAsfNoErrorCorrection);
  out.U64(0);
  out.U32(static_cast<uint32_t>(wave.Size()));
  out.U32(audio.audioSpread ? 8 : 0);
  out.U16(audio.streamNumber);
  out.U32(0);
  out.Bytes(wave.Data(), wave.Size());
  if (audio.audioSpread) {
    const uint32_t blockAlign = WaveBlockAlign(audio);
    out.U8(1);  // span
    out.U16(blockAlign);
    out.U16(blockAlign);
    out.U16(1);  // silence data length
    out.U8(0);
  }
  CloseObject(out, at);
}

void WriteAsfDataObjectHeader(RiffBuffer& out, uint64_t size, uint64_t packets) {
  WriteAsfGuid(out, kAsfDataObject);
  out.U64(size);
  out.Zeros(16);  // file id
  out.U64(packets);
  out.U16(0x0101);
}

void WriteAsfSimpleIndex(RiffBuffer& out, const AsfIndexEntry* entries, uint32_t count, uint32_t maxPacketCount) {
  WriteAsfGuid(out, kAsfSimpleIndexObject);
  out.U64(56 + 6ull * count);
  out.Zeros(16);  // file id
  out.U64(10000000);
  out.U32(maxPacketCount);
  out.U32(count);
  for (uint32_t i = 0; i < count; ++i) {
    out.U32(entries[i].packet);
    out.U16(entries[i].count);
  }
}

const char* AsfVideoCompression(int32_t codec, const uint8_t* codecPrivate, uint32_t length) {
  switch (codec) {
    case kVideoMpeg4: return "DIVX";
    case kVideoWmv9: {
      VideoEsInfo info;
      const bool advanced = length >= 5 && codecPrivate[1] == 0 && codecPrivate[2] == 0 && codecPrivate[3] == 1 &&
                            codecPrivate[4] == 0x0F && ParseVc1SequenceHeader(codecPrivate, length, info) &&
                            ((info.profileLevel >> 4) & 3) == 3;
      return advanced ? "WMVA" : "WMV3";
    }
    case kVideoVc1: return "WVC1";
    case kVideoH264: return "H264";
    default: return "MPEG";
  }
}

void AsfAspectRatio(uint32_t aspectX, uint32_t aspectY, uint32_t width, uint32_t height, uint32_t& x, uint32_t& y) {
  uint64_t ax = static_cast<uint64_t>(aspectX) * height;
  uint64_t ay = static_cast<uint64_t>(aspectY) * width;
  auto reduce = [&]() {
    const uint64_t divisor = std::gcd(ax, ay);
    if (divisor > 1) {
      ax /= divisor;
      ay /= divisor;
    }
  };
  reduce();
  while (ax >= 100 || ay >= 100) {
    ax = (ax + 1) >> 1;
    ay = (ay + 1) >> 1;
    reduce();
  }
  if (ax < 1 || ay < 1) ax = ay = 1;
  x = static_cast<uint32_t>(ax);
  y = static_cast<uint32_t>(ay);
}

uint64_t AsfTimePerFrame(double frameRate) {
  if (frameRate <= 0) return 0;
  const int64_t value = AsfRoundToInt64(10000000.0 / frameRate);
  if (value > 666477 && value < 667366) return 666666;
  return static_cast<uint64_t>(value);
}

uint64_t AsfFileTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const int64_t units = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100;
  return static_cast<uint64_t>(units) + kSeconds1601To1970 * 10000000ull;
}

int64_t AsfRoundToInt64(double value) { return static_cast<int64_t>(std::llround(value)); }
int32_t AsfRoundToInt32(double value) { return static_cast<int32_t>(std::lround(value)); }

}  // namespace orx::mux
