#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

// Size, aspect, bit rate and frame rate of a coded stream whose headers the multiplexer does
// not read (H.264, WMV9/VC-1) come from the configured video format.
void TakeFormat(const MuxVideoFormat& format, VideoEsInfo& out) {
  out.seqHeaderFound = 1;
  out.width = static_cast<int32_t>(format.width);
  out.height = static_cast<int32_t>(format.height);
  out.aspectX = static_cast<int32_t>(format.aspectX);
  out.aspectY = static_cast<int32_t>(format.aspectY);
  out.bitRate = static_cast<int32_t>(format.bitrate);
  out.frameRateNum = static_cast<int32_t>(format.frameRateNum);
  out.frameRateDen = format.frameRateDen;
  out.vbvSize = out.bitRate / 8;
}

void SetCodedDefaults(int32_t kind, uint32_t profileLevel, VideoEsInfo& out) {
  out = VideoEsInfo{};
  out.seqHeaderFound = 0;
  out.kind = kind;
  out.headerLength = 0;
  out.pictureOffset = 0;
  out.bitRate = 8000000;
  out.pictureType = kPictureI;
  out.vbvDelay = kVbvDelayUnknown;
  out.vbvSize = 262144;
  out.temporalRef = 0;
  out.profileLevel = profileLevel;
}

}  // namespace

bool ParseH264PictureType(const uint8_t* data, size_t length, VideoEsInfo& out,
                          const MuxVideoFormat* format) {
  SetCodedDefaults(kVideoH264, 0, out);
  if (data == nullptr) return false;
  for (size_t i = 0; i + 4 <= length; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
    switch (data[i + 3]) {
      case 0x01:
        out.pictureType = kPictureB;
        return true;
      case 0x21: case 0x41: case 0x61:
        out.pictureType = kPictureP;
        return true;
      case 0x25: case 0x27: case 0x65: case 0x67:
        if (format) TakeFormat(*format, out);
        out.pictureType = kPictureI;
        return true;
      default:
        break;
    }
  }
  return false;
}

bool ParseVc1SequenceHeader(const uint8_t* data, size_t length, VideoEsInfo& out) {
  if (data == nullptr || length == 0) return false;
  out.seqHeaderFound = 1;
  if (length >= 6 && data[1] == 0 && data[2] == 0 && data[3] == 1 && data[4] == 0x0F) {
    // Advanced profile sequence header after one leading byte; interlace is bit 1 of byte 10.
    if (length < 11) return false;
    const uint32_t profile = data[5] >> 6;
    const uint32_t level = (data[5] >> 3) & 7;
    out.profileLevel = profile << 4 | level;
    if (data[10] & 0x40) out.profileLevel |= 0x800;
    return true;
  }
  if (length < 4) return false;
  out.profileLevel = static_cast<uint32_t>(data[0] >> 6) << 4;
  if (data[3] & 0x80) out.profileLevel |= 0x200;
  if (data[3] & 0x02) out.profileLevel |= 0x100;
  return true;
}

bool ParseVc1PictureType(const uint8_t* data, size_t length, VideoEsInfo& out,
                         const MuxVideoFormat* format) {
  SetCodedDefaults(kVideoWmv9, 16, out);
  if (format) {
    TakeFormat(*format, out);
    ParseVc1SequenceHeader(format->privateData, format->privateSize, out);
  }
  if (data == nullptr || length == 0) return false;
  // Reads the picture header's leading bits without running past the sample.
  size_t bit = 0;
  bool truncated = false;
  auto next = [&]() -> uint32_t {
    if (bit >= length * 8) {
      truncated = true;
      return 0;
    }
    const uint32_t value = (data[bit >> 3] >> (7 - (bit & 7))) & 1u;
    ++bit;
    return value;
  };
  if (((out.profileLevel >> 4) & 3) == 3) {
    out.kind = kVideoVc1;
    if (out.profileLevel & 0x800) {
      if (next()) next();  // frame coding mode: 0, or 1x
    }
    if (next() == 0) {
      out.pictureType = kPictureP;
    } else if (next() == 0) {
      out.pictureType = kPictureB;
    } else if (next() == 0) {
      out.pictureType = kPictureI;
    } else {
      out.pictureType = kPictureB;
    }
  } else {
    bit = 2 + ((out.profileLevel & 0x200) ? 1 : 0) + ((out.profileLevel & 0x100) ? 1 : 0);
    if (out.profileLevel & 0x400) {
      if (next()) {
        out.pictureType = kPictureP;
      } else {
        out.pictureType = next() ? kPictureI : kPictureB;
      }
    } else {
      out.pictureType = next() ? kPictureP : kPictureI;
    }
  }
  return !truncated;
}

}  // namespace orx::mux
