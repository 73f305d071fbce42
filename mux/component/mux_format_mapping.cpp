#include "mux/component/mux_format_mapping.h"

#include <algorithm>
#include <cstring>

#include "media/media_codes.h"
#include "mux/core/mux_interfaces.h"

namespace orx::mux {

MuxFormatChoice ChooseMuxFormat(uint32_t videoSubtype, uint32_t audioSubtype, bool outputKnown,
                                uint32_t outputMajorType) {
  MuxFormatChoice choice;
  const bool h264 = videoSubtype == 7 || videoSubtype == 8;
  const bool wmvFamily = (videoSubtype & QVA_MSUBTYPE_WM_FAMILY) != 0;
  if (videoSubtype == QVA_MSUBTYPE_MPV4) {
    choice.audioClass = kAudioClassAac;
    choice.codecHint = kHintDetect;
  } else if (h264) {
    choice.audioClass = kAudioClassMpeg;
    choice.codecHint = kHintH264;
  } else if (wmvFamily) {
    choice.audioClass = kAudioClassWma;
    choice.codecHint = videoSubtype == QVA_MSUBTYPE_VC1 ? kHintVc1 : kHintWmv9;
  }
  // The audio subtype overrides the class the video suggests; MPEG audio too, so that it is
  // never framed as AAC or WMA beside MPEG-4 or WMV-family video.
  switch (audioSubtype) {
    case QVA_MSUBTYPE_WMA: choice.audioClass = kAudioClassWma; break;
    case QVA_MSUBTYPE_AC3: choice.audioClass = kAudioClassAc3; break;
    case QVA_MSUBTYPE_AAC: choice.audioClass = kAudioClassAac; break;
    case QVA_MSUBTYPE_PCM: choice.audioClass = kAudioClassLpcm; break;
    case QVA_MSUBTYPE_MPA: case QVA_MSUBTYPE_MPA1: case QVA_MSUBTYPE_MPA2: case QVA_MSUBTYPE_MPA3:
      choice.audioClass = kAudioClassMpeg;
      break;
    default: break;
  }
  if (outputKnown) {
    switch (outputMajorType) {
      case QVA_MTYPE_MPEG2_TS: choice.muxType = kMuxTransport; break;
      case QVA_MTYPE_ASF: choice.muxType = kMuxAsf; break;
      case QVA_MTYPE_AVI: choice.muxType = kMuxAvi; break;
      case QVA_MTYPE_MP4: choice.muxType = kMuxQuickTime; break;
      default: choice.muxType = kMuxDvd; break;
    }
  } else {
    choice.muxType = h264 ? kMuxQuickTime : videoSubtype == QVA_MSUBTYPE_MPV4 ? kMuxMp4 : wmvFamily ? kMuxAsf : kMuxDvd;
  }
  return choice;
}

void TakeVideoFormat(const VideoMediaType& type, MuxVideoFormat& format) {
  if (type.BitrateMax != 0) format.bitrate = type.BitrateMax;
  if (type.FrameRate != 0) {
    format.frameRateNum = type.FrameRate;
    format.frameRateDen = 1000;
  }
  format.aspectX = 4;
  format.aspectY = 3;
  if (type.width != 0 && type.height != 0) {
    format.width = type.width;
    format.height = type.height;
    uint32_t parH = type.secondPARh != 0 ? type.secondPARh : type.PARh;
    uint32_t parV = type.secondPARv != 0 ? type.secondPARv : type.PARv;
    if (parH != 0 && parV != 0) {
      uint64_t x = static_cast<uint64_t>(parH) * type.width;
      uint64_t y = static_cast<uint64_t>(parV) * type.height;
      while (x > 1000 && y > 160) {
        x = (x + 4) / 10;
        y = (y + 4) / 10;
      }
      format.aspectX = static_cast<uint32_t>(x);
      format.aspectY = static_cast<uint32_t>(y);
    }
  }
  format.privateSize = std::min<uint32_t>(type.codecPrivateLength, sizeof(format.privateData));
  std::memcpy(format.privateData, type.codecPrivate, format.privateSize);
}

bool TakeAudioFormat(const AudioMediaType& type, uint32_t audioClass, MuxAudioFormat& format) {
  if (type.codecPrivateLength > sizeof(format.extra)) return false;
  format.formatTag = audioClass == kAudioClassWma ? kWmaFormatTag : 0;
  if (type.secondBitrate != 0) format.bitrate = type.secondBitrate;
  format.channels = type.Channels;
  format.bitsPerSample = type.BitsPerSample != 0 ? type.BitsPerSample : 16;
  format.blockAlign = format.bitsPerSample / 8 * format.channels;
  format.sampleRate = type.SamplRate;
  format.extraSize = type.codecPrivateLength;
  std::memcpy(format.extra, type.codecPrivate, format.extraSize);
  // A WMA private record holds its super-block size at byte 6.
  if (format.extraSize >= 10) {
    format.blockAlign = static_cast<uint32_t>(format.extra[6]) | static_cast<uint32_t>(format.extra[7]) << 8 |
                        static_cast<uint32_t>(format.extra[8]) << 16 | static_cast<uint32_t>(format.extra[9]) << 24;
  }
  return true;
}

uint32_t VideoQueueCountForBitRate(uint32_t bitsPerSecond) { return ((bitsPerSecond >> 15) + 63) >> 6 << 7; }

uint32_t TakeFileUrl(const char* url, char* fileName, size_t capacity) {
  if (url == nullptr || capacity == 0) return 3;
  auto startsWithNoCase = [url](const char* prefix, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      char c = url[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != prefix[i]) return false;
    }
    return true;
  };
  const char* path = url;
  if (startsWithNoCase("file:/", 6)) {
    path += 6;
  } else if (std::strncmp(url, "file:", 5) == 0) {
    path += 5;
  }
  const size_t length = std::strlen(path);
  if (length >= capacity) return 3;
  std::memcpy(fileName, path, length + 1);
  return 0;
}

size_t AvcCToAnnexB(const uint8_t* record, size_t length, uint8_t* out, size_t capacity) {
  if (record == nullptr || out == nullptr) return 0;
  const bool threeByte = length >= 3 && record[0] == 0 && record[1] == 0 && record[2] == 1;
  const bool fourByte = length >= 4 && record[0] == 0 && record[1] == 0 && record[2] == 0 && record[3] == 1;
  if (threeByte || fourByte) {
    if (length > capacity) return 0;
    std::memcpy(out, record, length);
    return length;
  }
  // avcC: version 1, profile, compatibility, level, length size, then the SPS and PPS lists,
  // each set with a 16-bit length; every length is checked against the record.
  if (length < 7 || record[0] != 1) return 0;
  size_t at = 5;
  size_t written = 0;
  for (int list = 0; list < 2; ++list) {
    if (at >= length) return list == 0 ? 0 : written;
    const size_t count = list == 0 ? (record[at] & 0x1F) : record[at];
    ++at;
    for (size_t i = 0; i < count; ++i) {
      if (at + 2 > length) return 0;
      const size_t size = static_cast<size_t>(record[at]) << 8 | record[at + 1];
      at += 2;
      if (size == 0 || at + size > length || written + 4 + size > capacity) return 0;
      static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
      std::memcpy(out + written, kStartCode, 4);
      std::memcpy(out + written + 4, record + at, size);
      written += 4 + size;
      at += size;
    }
  }
  return written;
}

uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

void SwapSampleBytes(uint8_t* data, size_t length) {
  for (size_t i = 0; i + 1 < length; i += 2) std::swap(data[i], data[i + 1]);
}

}  // namespace orx::mux
