#pragma once
// The 23 element formats of GCX resources and how a program reads and writes their texels:
// 8- and 16-bit channels are normalised (unsigned to 0..1, signed to -1..1), floats are taken
// as stored, 32-bit integers as raw words. Reads give four 32-bit words (float bits for the
// normalised and float formats); a one-channel texel gives its value in all four.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orx::gcxsoft {

enum class ChannelKind : uint8_t { kUnorm8, kSnorm8, kUnorm16, kSnorm16, kUint32, kSint32, kFloat32, kFloat64 };

struct TexelFormat {
  ChannelKind kind;
  uint8_t channels;      // 1, 2 or 4
  uint8_t channelBytes;  // 1, 2, 4 or 8
  uint32_t ElementBytes() const { return uint32_t{channels} * channelBytes; }
};

inline constexpr uint32_t kTexelFormatCount = 23;

// nullptr for a code outside 0..22.
const TexelFormat* FindTexelFormat(uint32_t code);

// Reads the texel at element address `texel` into four words.
void ReadTexel(const TexelFormat& format, const uint8_t* texel, uint32_t out[4]);
// Writes four words (float bits for the normalised and float formats) to the texel; a format
// with fewer channels keeps the first ones.
void WriteTexel(const TexelFormat& format, uint8_t* texel, const uint32_t in[4]);

// The stored integer of a normalised write: the value times the scale, plus 0.5, rounded to
// float, then floored and clamped to lo..hi.
inline int32_t NormalisedStore(float value, double scale, int32_t lo, int32_t hi) {
  if (std::isnan(value)) return 0;
  float t = static_cast<float>(static_cast<double>(value) * scale + 0.5);
  double v = std::floor(static_cast<double>(t));
  if (v < lo) return lo;
  if (v > hi) return hi;
  return static_cast<int32_t>(v);
}

}  // namespace orx::gcxsoft
