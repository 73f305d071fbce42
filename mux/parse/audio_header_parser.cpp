#include "mux/parse/es_parsers.h"
#include "mux/parse/es_tables.h"

namespace orx::mux {

bool ParseMpegAudioHeader(const uint8_t* data, size_t length, AudioHeaderInfo& out) {
  for (size_t i = 0; i + 3 <= length; ++i) {
    if (data[i] != 0xFF || (data[i + 1] & 0xF0) != 0xF0) continue;
    const uint32_t id = (data[i + 1] >> 3) & 1;
    const uint32_t layerBits = (data[i + 1] >> 1) & 3;
    const uint32_t index = data[i + 2] >> 4;
    if (layerBits == 0 || index == 0 || index == 15) continue;
    out.syncOffset = static_cast<uint32_t>(i);
    out.bitRate = MpegAudioBitRateKbps(id, layerBits, index) * 1000;
    out.audioKind = layerBits == 1 ? kAudioMpegLayer3 : kAudioMpegLayer12;
    return true;
  }
  return false;
}

bool ParseAc3Header(const uint8_t* data, size_t length, AudioHeaderInfo& out) {
  out.audioKind = kAudioAc3;
  out.frameCount = 0;
  bool found = false;
  size_t i = 0;
  while (i + 2 <= length) {
    if (data[i] != 0x0B || data[i + 1] != 0x77) {
      ++i;
      continue;
    }
    if (i + 5 > length) {
      // A sync word whose header lies beyond this piece still starts a frame here.
      if (!found) out.syncOffset = static_cast<uint32_t>(i);
      ++out.frameCount;
      break;
    }
    const uint32_t sampleRateCode = data[i + 4] >> 6;
    const uint32_t frameSizeCode = data[i + 4] & 0x3F;
    if (sampleRateCode >= 3 || frameSizeCode >= kAc3FrameSizeCodes) {
      ++i;
      continue;
    }
    if (!found) {
      found = true;
      out.syncOffset = static_cast<uint32_t>(i);
      out.bitRate = Ac3BitRateKbps(frameSizeCode) * 1000;
    }
    ++out.frameCount;
    i += 2 * static_cast<size_t>(Ac3FrameWords(sampleRateCode, frameSizeCode));
  }
  return found;
}

bool ParseAdtsHeader(const uint8_t* data, size_t length, AudioHeaderInfo& out) {
  // The 12-bit sync, either identifier (MPEG-4 or MPEG-2 AAC) and layer 0.
  for (size_t i = 0; i + 3 <= length; ++i) {
    if (data[i] != 0xFF || (data[i + 1] & 0xF6) != 0xF0) continue;
    const uint32_t profile = data[i + 2] >> 6;
    const uint32_t samplingIndex = (data[i + 2] >> 2) & 15;
    if (profile > 2 || samplingIndex >= 12) continue;
    out.syncOffset = static_cast<uint32_t>(i);
    out.bitRate = kAacSampleRates[samplingIndex] * 6;
    out.audioKind = kAudioAac;
    return true;
  }
  return false;
}

uint32_t AacSamplingIndex(uint32_t sampleRate) {
  uint32_t best = 0;
  uint32_t bestDistance = UINT32_MAX;
  for (uint32_t i = 0; i < 12; ++i) {
    const uint32_t rate = kAacSampleRates[i];
    const uint32_t distance = rate > sampleRate ? rate - sampleRate : sampleRate - rate;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

uint16_t BuildAacSpecificConfig(uint32_t channels, uint32_t sampleRate) {
  return static_cast<uint16_t>(0x1000 | AacSamplingIndex(sampleRate) << 7 | (channels & 15) << 3);
}

}  // namespace orx::mux
