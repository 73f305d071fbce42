#include "mux/avi/avi_chunks.h"

#include <cstdio>
#include <numeric>

#include "mux/parse/es_info.h"

namespace orx::mux {

// The wave format of MPEG audio: tag 0x0050 with its 22 extra bytes for Layers I and II,
// 0x0055 with its 12 for Layer III. AVI and ASF write it alike.
void WriteMpegWaveFormat(RiffBuffer& out, uint32_t kind, uint32_t channels, uint32_t rate,
                         uint32_t bytesPerSecond) {
  if (kind != kAudioMpegLayer3) {
    out.U16(0x0050);
    out.U16(channels);
    out.U32(rate);
    out.U32(bytesPerSecond);
    out.U16(1);
    out.U16(0);
    out.U16(22);
    out.U16(2);                          // head layer
    out.U32(bytesPerSecond * 8);         // head bit rate
    out.U16(channels > 1 ? 1 : 8);       // stereo or one channel
    out.Zeros(14);                       // mode extension, emphasis, flags, two PTS words
    return;
  }
  out.U16(0x0055);
  out.U16(channels);
  out.U32(rate);
  out.U32(bytesPerSecond);
  out.U16(1);
  out.U16(0);
  out.U16(12);
  out.U16(1);  // id
  out.U32(0);  // flags
  out.U16(1);  // block size
  out.U16(1);  // frames per block
  out.U16(0);  // codec delay
}
namespace {

constexpr uint32_t kAvihFlags = 0x810;  // has an index, trust the chunk type
constexpr const char* kSoftwareFormat = "Pelkor %s";
constexpr const char* kSoftwareVersion = "9.14.0.60629";

void WriteFourCCWord(RiffBuffer& out, const char* code) { out.FourCC(code); }

// A wave format: the 18-byte record and its extra bytes, by audio kind.
void WriteWaveFormat(RiffBuffer& out, const AviAudioStream& audio) {
  const MuxAudioFormat* format = audio.format;
  const uint32_t channels = format ? format->channels : 2;
  const uint32_t rate = format ? format->sampleRate : 48000;
  switch (audio.kind) {
    case kAudioLpcm: {
      const uint32_t scale = AviAudioScale(audio);
      out.U16(1);
      out.U16(channels);
      out.U32(rate);
      out.U32(scale * rate);
      out.U16(scale);
      out.U16(16);
      out.U16(0);
      return;
    }
    case kAudioMpegLayer12:
    case kAudioMpegLayer3:
      WriteMpegWaveFormat(out, audio.kind, channels, rate, audio.bytesPerSecond);
      return;
    default:
      break;
  }
  if (format == nullptr) {
    out.U16(0);
    out.U16(channels);
    out.U32(rate);
    out.U32(channels * rate * 2);
    out.U16(channels * 2);
    out.U16(16);
    out.U16(0);
    return;
  }
  const uint32_t extra = format->extraSize <= sizeof(format->extra) ? format->extraSize : 0;
  out.U16(format->formatTag);
  out.U16(format->channels);
  out.U32(format->sampleRate);
  out.U32(format->bitrate / 8);
  out.U16(format->blockAlign);
  out.U16(format->bitsPerSample);
  out.U16(extra);
  out.Bytes(format->extra, extra);
}

void WriteReserve(RiffBuffer& out, AviStrlPositions& positions) {
  positions.junk = out.OpenChunk("JUNK");
  out.Zeros(kAviSuperIndexReserve);
  out.CloseChunk(positions.junk);
}

}  // namespace

const char* AviVideoHandler(int32_t codec) {
  switch (codec) {
    case kVideoMpeg4: return "DIVX";
    case kVideoWmv9: return "WMV3";
    case kVideoH264: return "H264";
    default: return "MPEG";
  }
}

uint32_t AviAudioScale(const AviAudioStream& audio) {
  if (audio.kind != kAudioLpcm) return 1;
  return audio.format ? audio.format->channels * 2 : 4;
}

size_t WriteAvih(RiffBuffer& out, const AviMainHeader& header) {
  const size_t at = out.OpenChunk("avih");
  out.U32(header.microsPerFrame);
  out.U32(0);  // maximum bytes per second
  out.U32(0);  // padding granularity
  out.U32(kAvihFlags);
  out.U32(header.totalFrames);
  out.U32(0);  // initial frames
  out.U32(header.streams);
  out.U32(0);  // suggested buffer size
  out.U32(header.width);
  out.U32(header.height);
  out.Zeros(16);
  out.CloseChunk(at);
  return at;
}

AviStrlPositions WriteAviVideoStrl(RiffBuffer& out, const AviVideoStream& video) {
  AviStrlPositions positions;
  const size_t list = out.OpenList("strl");
  const char* handler = AviVideoHandler(video.codec);
  positions.strh = out.OpenChunk("strh");
  out.FourCC("vids");
  WriteFourCCWord(out, handler);
  out.U32(0);  // flags
  out.U16(0);  // priority
  out.U16(0);  // language
  out.U32(0);  // initial frames
  out.U32(video.rateDen);
  out.U32(video.rateNum);
  out.U32(0);  // start
  out.U32(0);  // length, patched
  out.U32(0);  // suggested buffer size, patched
  out.U32(10000);
  out.U32(0);  // sample size
  out.U16(0);
  out.U16(0);
  out.U16(video.width);
  out.U16(video.height);
  out.CloseChunk(positions.strh);

  // The pixels per metre carry the picture aspect, reduced to lowest terms.
  uint32_t xPels = (video.aspectY * video.width + 8) >> 4;
  uint32_t yPels = (video.aspectX * video.height + 8) >> 4;
  const uint32_t divisor = std::gcd(xPels, yPels);
  if (divisor > 1) {
    xPels /= divisor;
    yPels /= divisor;
  }
  const size_t strf = out.OpenChunk("strf");
  out.U32(40);
  out.U32(video.width);
  out.U32(video.height);
  out.U16(1);
  out.U16(24);
  WriteFourCCWord(out, handler);
  out.U32(video.width * video.height * 3);
  out.U32(xPels);
  out.U32(yPels);
  out.U32(0);
  out.U32(0);
  out.CloseChunk(strf);
  WriteReserve(out, positions);
  out.CloseChunk(list);
  return positions;
}

AviStrlPositions WriteAviAudioStrl(RiffBuffer& out, const AviAudioStream& audio) {
  AviStrlPositions positions;
  const size_t list = out.OpenList("strl");
  const uint32_t scale = AviAudioScale(audio);
  const uint32_t sampleRate = audio.format ? audio.format->sampleRate : 48000;
  uint32_t rate = sampleRate;
  if (audio.kind == kAudioLpcm) rate = scale * sampleRate;
  if (audio.kind == kAudioMpegLayer12 || audio.kind == kAudioMpegLayer3) rate = audio.bytesPerSecond;
  positions.strh = out.OpenChunk("strh");
  out.FourCC("auds");
  out.U32(0);  // handler
  out.U32(0);  // flags
  out.U16(0);  // priority
  out.U16(0);  // language
  out.U32(1);  // initial frames
  out.U32(scale);
  out.U32(rate);
  out.U32(0);  // start
  out.U32(0);  // length, patched
  out.U32(0);  // suggested buffer size, patched
  out.U32(0xFFFFFFFFu);
  out.U32(scale);
  out.Zeros(8);
  out.CloseChunk(positions.strh);
  const size_t strf = out.OpenChunk("strf");
  WriteWaveFormat(out, audio);
  out.CloseChunk(strf);
  WriteReserve(out, positions);
  out.CloseChunk(list);
  return positions;
}

size_t WriteAviOdml(RiffBuffer& out, uint32_t totalFrames) {
  const size_t list = out.OpenList("odml");
  const size_t dmlh = out.OpenChunk("dmlh");
  out.U32(totalFrames);
  out.Zeros(244);
  out.CloseChunk(dmlh);
  out.CloseChunk(list);
  return dmlh;
}

void WriteAviInfo(RiffBuffer& out) {
  char text[64];
  const int length = std::snprintf(text, sizeof(text), kSoftwareFormat, kSoftwareVersion);
  const size_t list = out.OpenList("INFO");
  const size_t isft = out.OpenChunk("ISFT");
  out.Bytes(reinterpret_cast<const uint8_t*>(text), static_cast<size_t>(length) + 1);
  out.CloseChunk(isft);
  out.CloseChunk(list);
}

void WriteAviStdIndex(RiffBuffer& out, const char* indexId, const char* chunkId, uint64_t baseOffset,
                      const AviStdIndexEntry* entries, uint32_t count) {
  const size_t at = out.OpenChunk(indexId);
  out.U16(2);  // longs per entry
  out.U8(0);   // sub-type
  out.U8(1);   // index of chunks
  out.U32(count);
  out.FourCC(chunkId);
  out.U64(baseOffset);
  out.U32(0);
  for (uint32_t i = 0; i < count; ++i) {
    out.U32(entries[i].offset + 8);  // the data, after the chunk header
    out.U32(entries[i].size);
  }
  out.CloseChunk(at);
}

void WriteAviSuperIndex(RiffBuffer& out, const char* chunkId, const AviSuperIndexEntry* entries, uint32_t count) {
  const size_t at = out.OpenChunk("indx");
  out.U16(4);  // longs per entry
  out.U8(0);   // sub-type
  out.U8(0);   // index of indexes
  out.U32(count);
  out.FourCC(chunkId);
  out.Zeros(12);
  for (uint32_t i = 0; i < kAviSuperIndexSlots; ++i) {
    const AviSuperIndexEntry entry = i < count ? entries[i] : AviSuperIndexEntry{};
    out.U64(entry.offset);
    out.U32(entry.size);
    out.U32(entry.duration);
  }
  out.CloseChunk(at);
}

void WriteAviIdx1(RiffBuffer& out, const AviLegacyEntry* entries, uint32_t count, const char* audioChunkId) {
  const size_t at = out.OpenChunk("idx1");
  for (uint32_t i = 0; i < count; ++i) {
    const bool audio = (entries[i].offset & kAviAudioEntry) != 0;
    out.FourCC(audio ? audioChunkId : "00dc");
    out.U32((entries[i].size & kAviNotKeyFrame) ? 0 : 0x10);
    out.U32(entries[i].offset & ~kAviAudioEntry);
    out.U32(entries[i].size & ~kAviNotKeyFrame);
  }
  out.CloseChunk(at);
}

}  // namespace orx::mux
