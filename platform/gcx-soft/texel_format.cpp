#include "platform/gcx-soft/texel_format.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace orx::gcxsoft {
namespace {

using K = ChannelKind;

// Indexed by the format code.
constexpr TexelFormat kFormats[kTexelFormatCount] = {
    {K::kUnorm8, 1, 1},   // 0
    {K::kUnorm8, 2, 1},   // 1
    {K::kUnorm8, 4, 1},   // 2
    {K::kUnorm16, 1, 2},  // 3
    {K::kUnorm16, 2, 2},  // 4
    {K::kUnorm16, 4, 2},  // 5
    {K::kUint32, 4, 4},   // 6
    {K::kSnorm8, 4, 1},   // 7
    {K::kSnorm16, 1, 2},  // 8
    {K::kSnorm16, 2, 2},  // 9
    {K::kSnorm16, 4, 2},  // 10
    {K::kFloat32, 1, 4},  // 11
    {K::kFloat32, 2, 4},  // 12
    {K::kFloat32, 4, 4},  // 13
    {K::kFloat64, 1, 8},  // 14
    {K::kFloat64, 2, 8},  // 15
    {K::kUint32, 1, 4},   // 16
    {K::kUint32, 2, 4},   // 17
    {K::kSnorm8, 1, 1},   // 18
    {K::kSnorm8, 2, 1},   // 19
    {K::kSint32, 1, 4},   // 20
    {K::kSint32, 2, 4},   // 21
    {K::kSint32, 4, 4},   // 22
};

uint32_t FloatWord(double v) { return std::bit_cast<uint32_t>(static_cast<float>(v)); }

uint32_t ReadChannel(K kind, const uint8_t* p) {
  switch (kind) {
    case K::kUnorm8: return FloatWord(p[0] / 255.0);
    case K::kSnorm8: return FloatWord(static_cast<int8_t>(p[0]) / 127.0);
    case K::kUnorm16: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return FloatWord(v / 65535.0);
    }
    case K::kSnorm16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return FloatWord(v / 32767.0);
    }
    case K::kUint32:
    case K::kSint32:
    case K::kFloat32: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case K::kFloat64: {
      double v;
      std::memcpy(&v, p, 8);
      return FloatWord(v);
    }
  }
  return 0;
}

void WriteChannel(K kind, uint8_t* p, uint32_t word) {
  float f = std::bit_cast<float>(word);
  switch (kind) {
    case K::kUnorm8: p[0] = static_cast<uint8_t>(NormalisedStore(f, 255.0, 0, 255)); return;
    case K::kSnorm8: p[0] = static_cast<uint8_t>(static_cast<int8_t>(NormalisedStore(f, 127.0, -127, 127))); return;
    case K::kUnorm16: {
      uint16_t v = static_cast<uint16_t>(NormalisedStore(f, 65535.0, 0, 65535));
      std::memcpy(p, &v, 2);
      return;
    }
    case K::kSnorm16: {
      int16_t v = static_cast<int16_t>(NormalisedStore(f, 32767.0, -32767, 32767));
      std::memcpy(p, &v, 2);
      return;
    }
    case K::kUint32:
    case K::kSint32:
    case K::kFloat32: std::memcpy(p, &word, 4); return;
    case K::kFloat64: {
      double v = f;
      std::memcpy(p, &v, 8);
      return;
    }
  }
}

}  // namespace

const TexelFormat* FindTexelFormat(uint32_t code) { return code < kTexelFormatCount ? &kFormats[code] : nullptr; }

void ReadTexel(const TexelFormat& format, const uint8_t* texel, uint32_t out[4]) {
  if (format.channels == 1) {
    uint32_t v = ReadChannel(format.kind, texel);
    out[0] = out[1] = out[2] = out[3] = v;
    return;
  }
  // Missing channels of a two-channel texel read as 0 and 1.
  out[2] = 0;
  out[3] = format.kind == K::kUint32 || format.kind == K::kSint32 ? 1u : std::bit_cast<uint32_t>(1.0f);
  for (int c = 0; c < format.channels; ++c) out[c] = ReadChannel(format.kind, texel + c * format.channelBytes);
}

void WriteTexel(const TexelFormat& format, uint8_t* texel, const uint32_t in[4]) {
  for (int c = 0; c < format.channels; ++c) WriteChannel(format.kind, texel + c * format.channelBytes, in[c]);
}

}  // namespace orx::gcxsoft
