#include "mux/mp4/mp4_boxes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mux/core/mux_interfaces.h"
#include "mux/parse/es_info.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

// The user type of the portable-player boxes follows their four-letter name.
constexpr uint8_t kPortableUuidTail[12] = {0x21, 0xD2, 0x4F, 0xCE, 0xBB, 0x88, 0x69, 0x5C, 0xFA, 0xC9, 0xC7, 0x40};
constexpr uint32_t kMatrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
constexpr uint32_t kHandlerNameField = 30;
constexpr uint32_t kCompressorNameField = 32;
constexpr uint32_t kResolution72Dpi = 0x00480000;

// Descriptor tags of the elementary-stream descriptor.
constexpr uint32_t kEsDescriptorTag = 3;
constexpr uint32_t kDecoderConfigTag = 4;
constexpr uint32_t kDecoderSpecificTag = 5;
constexpr uint32_t kSyncLayerConfigTag = 6;
constexpr uint32_t kObjectTypeMpeg4Visual = 0x20;
constexpr uint32_t kObjectTypeAac = 0x40;
constexpr uint32_t kEsStreamVisual = 0x11;  // visual stream, upstream 0, reserved 1
constexpr uint32_t kEsStreamAudio = 0x15;   // audio stream, upstream 0, reserved 1
constexpr uint32_t kAacBufferPerChannel = 768;

void PortableUuid(Mp4Buffer& out, const char* name) {
  out.FourCC(name);
  out.Bytes(kPortableUuidTail, sizeof(kPortableUuidTail));
}

void Matrix(Mp4Buffer& out) {
  for (uint32_t value : kMatrix) out.U32(value);
}

// A descriptor tag and its length: one byte when it fits, else the four-byte expanded form.
void Descriptor(Mp4Buffer& out, uint32_t tag, uint32_t length) {
  out.U8(tag);
  if (length < 0x80) {
    out.U8(length);
    return;
  }
  out.U8(0x80 | ((length >> 21) & 0x7F));
  out.U8(0x80 | ((length >> 14) & 0x7F));
  out.U8(0x80 | ((length >> 7) & 0x7F));
  out.U8(length & 0x7F);
}

uint32_t DescriptorHeaderSize(uint32_t length) { return length < 0x80 ? 2 : 5; }

uint32_t RoundToU32(double value) { return static_cast<uint32_t>(std::llround(value)); }

}  // namespace

void WriteMp4Ftyp(Mp4Buffer& out, uint32_t muxType, uint64_t mediaSize) {
  const size_t box = out.OpenBox("ftyp");
  const bool small = mediaSize < kMp4LargeMediaSize;
  switch (muxType) {
    case kMuxMp4Portable:
      out.FourCC("MSNV");
      out.U32(0x01000021);
      out.FourCC("MSNV");
      out.FourCC("isom");
      break;
    case kMuxQuickTime:
      out.FourCC("qt  ");
      out.U32(0);
      out.FourCC("qt  ");
      break;
    default:
      out.FourCC("isom");
      out.U32(0);
      out.FourCC("isom");
      break;
  }
  if (small) {
    out.FourCC("mp42");
    out.FourCC("qt  ");
  }
  out.CloseBox(box);
}

void WriteMp4ProfileBox(Mp4Buffer& out, const Mp4ProfileInfo& info) {
  const size_t box = out.OpenBox("uuid");
  PortableUuid(out, "PROF");
  out.U32(0);  // version and flags
  out.U32(3);  // entries
  const size_t file = out.OpenBox("FPRF");
  out.Zeros(12);
  out.CloseBox(file);

  const uint32_t audioKbps = info.audioBytesPerSecond / 125;
  const size_t audio = out.OpenBox("APRF");
  out.U32(0);
  out.U32(2);
  out.FourCC("mp4a");
  out.U32(0x0000020F);
  out.U32(0);
  out.U32(audioKbps);
  out.U32(audioKbps);
  out.U32(info.audioSampleRate);
  out.U32(2);
  out.CloseBox(audio);

  const uint32_t videoKbps = info.videoBytesPerSecond / 125;
  const uint32_t rate = RoundToU32(info.frameRate * 65536.0);
  const size_t video = out.OpenBox("VPRF");
  out.U32(0);
  out.U32(1);
  out.FourCC("mp4v");
  out.U32(0x00000103);
  out.U32(0);
  out.U32(videoKbps);
  out.U32(videoKbps);
  out.U32(rate);
  out.U32(rate);
  out.U32(info.width << 16 | (info.height & 0xFFFF));
  out.U32(0x00010001);
  out.CloseBox(video);
  out.CloseBox(box);
}

void WriteMp4MdatHeader(Mp4Buffer& out, uint64_t mediaSize) {
  if (mediaSize < kMp4LargeMediaSize) {
    out.U32(static_cast<uint32_t>(mediaSize + 8));
    out.FourCC("mdat");
    return;
  }
  out.U32(1);
  out.FourCC("mdat");
  out.U64(mediaSize + 16);
}

void WriteMp4FileHeader(Mp4Buffer& out, uint32_t muxType, const Mp4ProfileInfo& info, uint64_t mediaSize) {
  WriteMp4Ftyp(out, muxType, mediaSize);
  if (muxType == kMuxMp4Portable) WriteMp4ProfileBox(out, info);
  WriteMp4MdatHeader(out, mediaSize);
}

void WriteMp4Mvhd(Mp4Buffer& out, uint32_t creationTime, uint32_t duration, uint32_t nextTrackId) {
  const size_t box = out.OpenFullBox("mvhd", 0, 0);
  out.U32(creationTime);
  out.U32(creationTime);
  out.U32(kMp4MovieTimescale);
  out.U32(duration);
  out.U32(0x00010000);  // rate 1.0
  out.U16(0x0100);      // volume 1.0
  out.Zeros(10);
  Matrix(out);
  out.Zeros(24);
  out.U32(nextTrackId);
  out.CloseBox(box);
}

void WriteMp4Tkhd(Mp4Buffer& out, uint32_t creationTime, uint32_t trackId, uint32_t duration, uint32_t volume,
                  uint32_t width, uint32_t height) {
  const size_t box = out.OpenFullBox("tkhd", 0, 7);  // enabled, in movie, in preview
  out.U32(creationTime);
  out.U32(creationTime);
  out.U32(trackId);
  out.U32(0);
  out.U32(duration);
  out.Zeros(8);
  out.U16(0);  // layer
  out.U16(0);  // alternate group
  out.U16(volume);
  out.U16(0);
  Matrix(out);
  out.U32(width << 16);
  out.U32(height << 16);
  out.CloseBox(box);
}

void WriteMp4Edts(Mp4Buffer& out, uint32_t segmentDuration, uint32_t mediaTime) {
  const size_t edts = out.OpenBox("edts");
  const size_t elst = out.OpenFullBox("elst", 0, 0);
  out.U32(1);
  out.U32(segmentDuration);
  out.U32(mediaTime);
  out.U32(0x00010000);  // rate 1.0
  out.CloseBox(elst);
  out.CloseBox(edts);
}

void WriteMp4Mdhd(Mp4Buffer& out, uint32_t creationTime, uint32_t timescale, uint32_t duration) {
  const size_t box = out.OpenFullBox("mdhd", 0, 0);
  out.U32(creationTime);
  out.U32(creationTime);
  out.U32(timescale);
  out.U32(duration);
  out.U16(kMp4LanguageUndetermined);
  out.U16(0);
  out.CloseBox(box);
}

void WriteMp4Hdlr(Mp4Buffer& out, const char* handler, const char* name, bool quickTime) {
  const size_t box = out.OpenFullBox("hdlr", 0, 0);
  out.U32(0);
  out.FourCC(handler);
  out.Zeros(12);
  const size_t length = std::min<size_t>(std::strlen(name), kHandlerNameField - 1);
  if (quickTime) out.U8(static_cast<uint32_t>(length));
  out.Bytes(reinterpret_cast<const uint8_t*>(name), length);
  out.Zeros(kHandlerNameField - length - (quickTime ? 1 : 0));
  out.CloseBox(box);
}

void WriteMp4Vmhd(Mp4Buffer& out) {
  const size_t box = out.OpenFullBox("vmhd", 0, 0);
  out.Zeros(8);  // graphics mode and colour
  out.CloseBox(box);
}

void WriteMp4Smhd(Mp4Buffer& out) {
  const size_t box = out.OpenFullBox("smhd", 0, 0);
  out.Zeros(4);  // balance and reserved
  out.CloseBox(box);
}

void WriteMp4Dinf(Mp4Buffer& out) {
  const size_t dinf = out.OpenBox("dinf");
  const size_t dref = out.OpenFullBox("dref", 0, 0);
  out.U32(1);
  const size_t url = out.OpenFullBox("url ", 0, 1);  // the media is in this file
  out.CloseBox(url);
  out.CloseBox(dref);
  out.CloseBox(dinf);
}

void WriteMp4UsmtBox(Mp4Buffer& out) {
  const size_t box = out.OpenBox("uuid");
  PortableUuid(out, "USMT");
  const size_t meta = out.OpenBox("MTDT");
  out.U32(0x00010012);
  out.U32(0x0000000A);
  out.U32(0x55C40000);
  out.U32(0x00000001);
  out.U32(0);
  out.CloseBox(meta);
  out.CloseBox(box);
}

uint32_t Mp4HorizontalResolution(uint32_t width, uint32_t height, uint32_t aspectX, uint32_t aspectY) {
  if (aspectX == 0 || aspectY == 0 || width == 0 || height == 0) return kResolution72Dpi;
  const double value = 4718592.0 * (static_cast<double>(width) * aspectY) / (static_cast<double>(height) * aspectX);
  return RoundToU32(value);
}

void WriteMp4AvcC(Mp4Buffer& out, const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) {
  const size_t box = out.OpenBox("avcC");
  out.U8(1);
  for (size_t i = 1; i <= 3; ++i) out.U8(sps.size() > i ? sps[i] : 0);  // profile, compatibility, level
  out.U8(0xFF);  // 4-byte NAL lengths
  out.U8(sps.empty() ? 0xE0 : 0xE1);
  if (!sps.empty()) {
    out.U16(static_cast<uint32_t>(sps.size()));
    out.Bytes(sps);
  }
  out.U8(pps.empty() ? 0 : 1);
  if (!pps.empty()) {
    out.U16(static_cast<uint32_t>(pps.size()));
    out.Bytes(pps);
  }
  out.CloseBox(box);
}

void WriteMp4VideoEsds(Mp4Buffer& out, const Mp4VideoEntry& entry) {
  const uint32_t cp = static_cast<uint32_t>(entry.codecPrivate.size());
  const uint32_t specific = DescriptorHeaderSize(cp) + cp;
  const uint32_t config = 13 + specific;
  const uint32_t es = 3 + DescriptorHeaderSize(config) + config + 3;
  const size_t box = out.OpenFullBox("esds", 0, 0);
  Descriptor(out, kEsDescriptorTag, es);
  out.U16(0);  // ES id
  out.U8(0);   // flags
  Descriptor(out, kDecoderConfigTag, config);
  out.U8(kObjectTypeMpeg4Visual);
  out.U8(kEsStreamVisual);
  out.U24(entry.bufferSize);
  out.U32(entry.bytesPerSecond * 8);
  out.U32(0);
  Descriptor(out, kDecoderSpecificTag, cp);
  out.Bytes(entry.codecPrivate);
  Descriptor(out, kSyncLayerConfigTag, 1);
  out.U8(2);
  out.CloseBox(box);
}

void WriteMp4VideoSampleEntry(Mp4Buffer& out, const Mp4VideoEntry& entry) {
  size_t box;
  switch (entry.codec) {
    case kVideoMpeg1: case kVideoMpeg2: box = out.OpenBox("mpeg"); break;
    case kVideoMpeg4: box = out.OpenBox("mp4v"); break;
    case kVideoWmv9: box = out.OpenBox("wmv "); break;
    case kVideoH264: box = out.OpenBox("avc1"); break;
    default:
      box = out.Size();
      out.U32(0);
      out.U32(0);  // VC-1 has no format code of its own here
      break;
  }
  out.Zeros(6);
  out.U16(1);  // data reference index
  out.Zeros(16);
  out.U16(entry.width);
  out.U16(entry.height);
  out.U32(Mp4HorizontalResolution(entry.width, entry.height, entry.aspectX, entry.aspectY));
  out.U32(kResolution72Dpi);
  out.U32(0);
  out.U16(1);  // frames per sample
  static constexpr char kAvcName[] = "AVC Coding";
  if (entry.codec == kVideoH264) {
    out.U8(sizeof(kAvcName) - 1);
    out.Bytes(reinterpret_cast<const uint8_t*>(kAvcName), sizeof(kAvcName) - 1);
    out.Zeros(kCompressorNameField - sizeof(kAvcName));
  } else {
    out.Zeros(kCompressorNameField);
  }
  out.U16(0x0018);  // depth
  out.U16(0xFFFF);  // pre-defined
  if (entry.codec == kVideoMpeg4) WriteMp4VideoEsds(out, entry);
  if (entry.codec == kVideoH264) WriteMp4AvcC(out, entry.sps, entry.pps);
  out.CloseBox(box);
}

void WriteMp4AudioEsds(Mp4Buffer& out, const Mp4AudioEntry& entry, bool quickTime) {
  // The sound description's esds leaves 12 bytes of room in its decoder configuration.
  const uint32_t padding = quickTime ? 12 : 0;
  const uint32_t config = 13 + 4 + padding;
  const uint32_t es = 3 + 2 + config + 3;
  const size_t box = out.OpenFullBox("esds", 0, 0);
  Descriptor(out, kEsDescriptorTag, es);
  out.U16(0);
  out.U8(0);
  Descriptor(out, kDecoderConfigTag, config);
  out.U8(kObjectTypeAac);
  out.U8(kEsStreamAudio);
  out.U24(entry.channels * kAacBufferPerChannel);
  out.U32(entry.bytesPerSecond * 8);
  out.U32(entry.bytesPerSecond * 8);
  Descriptor(out, kDecoderSpecificTag, 2);
  out.U16(BuildAacSpecificConfig(entry.channels, entry.sampleRate));
  out.Zeros(padding);
  Descriptor(out, kSyncLayerConfigTag, 1);
  out.U8(2);
  out.CloseBox(box);
}

void WriteMp4AudioSampleEntry(Mp4Buffer& out, uint32_t muxType, const Mp4AudioEntry& entry) {
  size_t box = out.Size();
  switch (entry.audioKind) {
    case kAudioLpcm: box = out.OpenBox("twos"); break;
    case kAudioMpegLayer3: box = out.OpenBox(".mp3"); break;
    case kAudioAac: box = out.OpenBox("mp4a"); break;
    default:
      out.U32(0);
      if (entry.formatKnown) {
        out.U8('m');
        out.U8('s');
        out.U16(entry.formatTag);
      } else {
        out.U32(0);
      }
      break;
  }
  out.Zeros(6);
  out.U16(1);  // data reference index
  if (entry.audioKind == kAudioAac && muxType == kMuxQuickTime) {
    // A version 1 sound description; the decoder configuration sits in its wave box.
    out.U16(1);  // version
    out.U16(0);  // revision
    out.U32(0);  // vendor
    out.U16(entry.channels);
    out.U16(16);
    out.U16(0xFFFE);  // compression id
    out.U16(0);       // packet size
    out.U32(entry.sampleRate << 16);
    out.U32(1024);  // samples per packet
    out.U32(768);   // bytes per packet
    out.U32(1536);  // bytes per frame
    out.U32(0);     // bytes per sample
    const size_t wave = out.OpenBox("wave");
    const size_t frma = out.OpenBox("frma");
    out.FourCC("mp4a");
    out.CloseBox(frma);
    const size_t mp4a = out.OpenBox("mp4a");
    out.U32(0);
    out.CloseBox(mp4a);
    WriteMp4AudioEsds(out, entry, true);
    out.U32(8);  // terminator
    out.U32(0);
    out.CloseBox(wave);
    out.CloseBox(box);
    return;
  }
  out.Zeros(8);
  out.U16(entry.channels);
  out.U16(16);
  out.U16(0);
  out.U16(0);
  out.U32(entry.sampleRate << 16);
  if (entry.audioKind == kAudioAac) WriteMp4AudioEsds(out, entry, false);
  out.CloseBox(box);
}

}  // namespace orx::mux
