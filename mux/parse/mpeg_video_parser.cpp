// The MPEG start-code scanner behind ParseVideoHeader: MPEG-1 and MPEG-2 sequence, extension
// and picture headers, and the MPEG-4 Part 2 visual object sequence, video object layer and
// VOP headers.
#include <cmath>

#include "mux/parse/bit_reader.h"
#include "mux/parse/es_parsers.h"
#include "mux/parse/es_tables.h"

namespace orx::mux {
namespace {

enum class ScanMode { kDetect, kMpeg2, kMpeg4 };

struct ScanState {
  ScanMode mode;
  uint32_t bitRateValue = 0;  // 18-bit value with the 12-bit extension above it, units of 400
  uint32_t bufferValue = 0;   // 10-bit value with the 8-bit extension above it, units of 2048 bytes
  uint32_t aspectCode = 0;
};

bool IsStartCode(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// Sequence header: the start code is at `at`, its fields follow.
bool ReadSequenceHeader(const uint8_t* data, size_t length, size_t at, ScanState& state,
                        VideoEsInfo& out) {
  BitReader bits(data, length, (at + 4) * 8);
  out.width = static_cast<int32_t>(bits.Get(12));
  out.height = static_cast<int32_t>(bits.Get(12));
  state.aspectCode = bits.Get(4);
  const FrameRate rate = Mpeg2FrameRate(bits.Get(4));
  state.bitRateValue = bits.Get(18);
  bits.Skip(1);
  state.bufferValue = bits.Get(10);
  bits.Skip(1);  // constrained parameters
  if (bits.Get(1)) bits.Skip(64 * 8);  // intra quantiser matrix
  if (bits.Get(1)) bits.Skip(64 * 8);  // non-intra quantiser matrix
  if (!bits.Ok()) return false;
  out.seqHeaderFound = 1;
  out.kind = state.mode == ScanMode::kMpeg2 ? kVideoMpeg2 : kVideoMpeg1;
  out.frameRateNum = rate.num;
  out.frameRateDen = rate.den;
  out.aspectX = 4;
  out.aspectY = 3;
  if (state.aspectCode >= 1) {
    out.aspectX = out.width;
    out.aspectY = static_cast<int32_t>(std::lround(Mpeg1PelAspect(state.aspectCode) * out.height));
  }
  out.headerLength = static_cast<int32_t>(bits.ByteEnd());
  return true;
}

// Sequence extension; other extensions are passed over. False on a truncated extension or a
// sequence extension without a sequence header before it.
bool ReadExtension(const uint8_t* data, size_t length, size_t at, ScanState& state,
                   VideoEsInfo& out) {
  BitReader bits(data, length, (at + 4) * 8);
  const uint32_t extensionId = bits.Get(4);
  if (!bits.Ok()) return false;
  if (extensionId != 1) return true;
  if (!out.seqHeaderFound) return false;
  const uint32_t profileLevel = bits.Get(8);
  bits.Skip(1 + 2 + 2 + 2);  // progressive, chroma format, size extensions
  const uint32_t bitRateExtension = bits.Get(12);
  bits.Skip(1);
  const uint32_t bufferExtension = bits.Get(8);
  bits.Skip(1 + 2 + 5);  // low delay, frame rate extension
  if (!bits.Ok()) return false;
  out.kind = kVideoMpeg2;
  out.profileLevel = profileLevel;
  state.bitRateValue |= bitRateExtension << 18;
  state.bufferValue |= bufferExtension << 10;
  out.headerLength = static_cast<int32_t>(at + 10);
  switch (state.aspectCode) {
    case 1: out.aspectX = out.width; out.aspectY = out.height; break;
    case 2: out.aspectX = 4; out.aspectY = 3; break;
    case 3: out.aspectX = 16; out.aspectY = 9; break;
    case 4: out.aspectX = 221; out.aspectY = 100; break;
    default: break;
  }
  return true;
}

// Visual object sequence: profile byte, then a visual object whose type 1 (video) switches to
// MPEG-4 mode.
bool ReadVisualObjectSequence(const uint8_t* data, size_t length, size_t at, ScanState& state,
                              VideoEsInfo& out) {
  if (at + 9 > length || !IsStartCode(data + at + 5) || data[at + 8] != 0xB5) return true;
  BitReader bits(data, length, (at + 4) * 8);
  const uint32_t profile = bits.Get(8);
  bits.Skip(32);
  const uint32_t hasIdentifier = bits.Get(1);
  if (hasIdentifier) bits.Skip(4 + 3);
  const uint32_t objectType = bits.Get(4);
  if (!bits.Ok()) return false;
  out.profileLevel = profile;
  if (objectType == 1) state.mode = ScanMode::kMpeg4;
  return true;
}

void DefaultRatesByProfile(uint32_t profileLevel, VideoEsInfo& out) {
  switch (profileLevel) {
    case 1: case 2: case 3: case 0xF1: case 0xF2:
      out.bitRate = 384000; out.vbvSize = 81920; break;
    case 0xF3: out.bitRate = 768000; out.vbvSize = 81920; break;
    case 0xF4: out.bitRate = 3000000; out.vbvSize = 163840; break;
    case 0xF7: out.bitRate = 1500000; out.vbvSize = 133120; break;
    default: out.bitRate = 8000000; out.vbvSize = 229376; break;
  }
}

// Video object layer; `at` is the video object layer start code.
bool ReadVideoObjectLayer(const uint8_t* data, size_t length, size_t at,
                          const MuxVideoFormat* format, VideoEsInfo& out) {
  out.seqHeaderFound = 1;
  out.kind = kVideoMpeg4;
  DefaultRatesByProfile(out.profileLevel, out);
  const bool formatRateKnown = format && format->frameRateNum != 0 && format->frameRateDen != 0;
  out.frameRateNum = formatRateKnown ? static_cast<int32_t>(format->frameRateNum) : 30000;
  out.frameRateDen = formatRateKnown ? format->frameRateDen : 1001;
  out.width = format ? static_cast<int32_t>(format->width) : 720;
  out.height = format ? static_cast<int32_t>(format->height) : 480;

  BitReader bits(data, length, (at + 4) * 8);
  bits.Skip(1 + 8);  // random accessible, object type indication
  uint32_t verid = 1;
  if (bits.Get(1)) {
    verid = bits.Get(4);
    bits.Skip(3);
  }
  const uint32_t aspectCode = bits.Get(4);
  int32_t parX = 1;
  int32_t parY = 1;
  switch (aspectCode) {
    case 2: parX = 12; parY = 11; break;
    case 3: parX = 10; parY = 11; break;
    case 4: parX = 16; parY = 11; break;
    case 5: parX = 40; parY = 33; break;
    case 15:
      parX = static_cast<int32_t>(bits.Get(8));
      parY = static_cast<int32_t>(bits.Get(8));
      break;
    default: break;
  }
  if (bits.Get(1)) {  // vol_control_parameters
    bits.Skip(2 + 1);  // chroma format, low delay
    if (bits.Get(1)) {  // vbv_parameters
      const uint32_t rateHigh = bits.Get(15);
      bits.Skip(1);
      const uint32_t rateLow = bits.Get(15);
      bits.Skip(1);
      const uint32_t bufferHigh = bits.Get(15);
      bits.Skip(1);
      const uint32_t bufferLow = bits.Get(3);
      bits.Skip(11 + 1 + 15 + 1);  // vbv occupancy
      out.bitRate = static_cast<int32_t>((rateHigh << 15 | rateLow) * 400u);
      out.vbvSize = static_cast<int32_t>((bufferHigh * 8 | bufferLow) * 2048u);
    }
  }
  const uint32_t shape = bits.Get(2);
  if (shape == 3 && verid != 1) bits.Skip(4);
  bits.Skip(1);
  const uint32_t resolution = bits.Get(16);
  bits.Skip(1);
  if (bits.Get(1)) {  // fixed_vop_rate
    unsigned incrementBits = 1;
    while (resolution > 1 && (1u << incrementBits) < resolution) ++incrementBits;
    const uint32_t increment = bits.Get(incrementBits);
    if (increment > 0) {
      out.frameRateNum = static_cast<int32_t>(resolution);
      out.frameRateDen = increment;
    }
  } else if (formatRateKnown && resolution > 0) {
    // The format's rate over the stream's time resolution; a resolution too coarse for that
    // fraction keeps the format's own pair rather than a zero denominator.
    const uint64_t denominator = static_cast<uint64_t>(resolution) * format->frameRateDen / format->frameRateNum;
    if (denominator > 0) {
      out.frameRateNum = static_cast<int32_t>(resolution);
      out.frameRateDen = static_cast<uint32_t>(denominator);
    }
  }
  if (shape == 0) {
    bits.Skip(1);
    out.width = static_cast<int32_t>(bits.Get(13));
    bits.Skip(1);
    out.height = static_cast<int32_t>(bits.Get(13));
    bits.Skip(1);
  }
  if (!bits.Ok()) return false;
  if (parX == 0) parX = 1;
  if (parY == 0) parY = 1;
  out.aspectX = parX * ((out.width + 8) >> 4);
  out.aspectY = ((out.height + 8) >> 4) * parY;
  ReduceFraction(out.aspectX, out.aspectY);
  out.headerLength = static_cast<int32_t>(bits.ByteEnd());
  return true;
}

bool ScanMpeg(const uint8_t* data, size_t length, VideoEsInfo& out, int codec,
              const MuxVideoFormat* format) {
  ScanState state{codec == kVideoMpeg2 ? ScanMode::kMpeg2
                  : codec == kVideoMpeg4 ? ScanMode::kMpeg4
                                         : ScanMode::kDetect};
  out = VideoEsInfo{};
  out.kind = codec;
  for (size_t i = 0; i + 4 <= length; ++i) {
    if (!IsStartCode(data + i)) continue;
    const uint8_t code = data[i + 3];
    const bool mpeg4 = state.mode == ScanMode::kMpeg4;
    if (code == 0x00 && !mpeg4) {
      if (i + 8 > length) return false;
      BitReader bits(data, length, (i + 4) * 8);
      out.temporalRef = static_cast<int32_t>(bits.Get(10));
      out.pictureType = static_cast<int32_t>(bits.Get(3));
      out.vbvDelay = bits.Get(16);
      out.pictureOffset = static_cast<int32_t>(i + 4);
      out.bitRate = static_cast<int32_t>(state.bitRateValue * 400u);
      out.vbvSize = static_cast<int32_t>(state.bufferValue * 2048u);
      return true;
    }
    if (code == 0xB0) {
      if (!ReadVisualObjectSequence(data, length, i, state, out)) return false;
    } else if (code == 0xB3) {
      if (!mpeg4) {
        if (!ReadSequenceHeader(data, length, i, state, out)) return false;
      } else if (out.headerLength == 0) {
        out.headerLength = static_cast<int32_t>(i);
      }
    } else if (code == 0xB5 && !mpeg4) {
      if (!ReadExtension(data, length, i, state, out)) return false;
    } else if (code == 0xB6 && mpeg4) {
      if (i + 8 > length) return false;
      out.temporalRef = 0;
      out.pictureType = static_cast<int32_t>(data[i + 4] >> 6) + 1;
      out.vbvDelay = kVbvDelayUnknown;
      out.pictureOffset = static_cast<int32_t>(i + 4);
      if (out.headerLength == 0) out.headerLength = static_cast<int32_t>(i);
      return true;
    } else if (mpeg4 && code <= 0x1F && i + 8 <= length && IsStartCode(data + i + 4) &&
               (data[i + 7] & 0xF0) == 0x20) {
      if (i + 24 > length) return false;
      if (!ReadVideoObjectLayer(data, length, i + 4, format, out)) return false;
      i += 7;
    }
  }
  return false;
}

}  // namespace

bool ParseVideoHeader(const uint8_t* data, size_t length, VideoEsInfo& out, int codec,
                      const MuxVideoFormat* format) {
  if (data == nullptr) return false;
  if (codec == kVideoWmv9 || codec == kVideoVc1) return ParseVc1PictureType(data, length, out, format);
  if (codec == kVideoH264) return ParseH264PictureType(data, length, out, format);
  return ScanMpeg(data, length, out, codec, format);
}

}  // namespace orx::mux
