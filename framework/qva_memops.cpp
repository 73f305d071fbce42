// The framework's fill, copy, move, compare and checksum routines and its hexadecimal text.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "framework/qva_memory.h"

namespace {

bool Overlaps(const void* destination, const void* source, size_t count) {
  auto d = reinterpret_cast<uintptr_t>(destination);
  auto s = reinterpret_cast<uintptr_t>(source);
  return d < s + count && s < d + count;
}

}  // namespace

void QVAMemSet(void* destination, int value, size_t count) {
  if (count != 0) std::memset(destination, value, count);
}

void QVAMemCpy(void* destination, const void* source, size_t count) {
  if (count == 0 || destination == source) return;
  if (!Overlaps(destination, source, count)) {
    std::memcpy(destination, source, count);
    return;
  }
  // Overlapping regions are copied strictly forwards, as the byte loop defines it.
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < count; ++i) d[i] = s[i];
}

void QVAMemCpyFast(void* destination, const void* source, size_t count) {
  const auto d = reinterpret_cast<uintptr_t>(destination);
  const auto s = reinterpret_cast<uintptr_t>(source);
  if (((d | s) & 15) != 0 || Overlaps(destination, source, count)) {
    QVAMemCpy(destination, source, count);
    return;
  }
  auto* out = static_cast<__m128i*>(destination);
  const auto* in = static_cast<const __m128i*>(source);
  for (size_t blocks = count / 64; blocks != 0; --blocks) {
    _mm_prefetch(reinterpret_cast<const char*>(in) + 320, _MM_HINT_NTA);
    __m128i a = _mm_load_si128(in + 0);
    __m128i b = _mm_load_si128(in + 1);
    __m128i c = _mm_load_si128(in + 2);
    __m128i e = _mm_load_si128(in + 3);
    _mm_stream_si128(out + 0, a);
    _mm_stream_si128(out + 1, b);
    _mm_stream_si128(out + 2, c);
    _mm_stream_si128(out + 3, e);
    in += 4;
    out += 4;
  }
  // Streaming stores are weakly ordered: fence them, so a thread handed the copy sees it.
  _mm_sfence();
  const size_t tail = count % 64;
  if (tail != 0) std::memcpy(out, in, tail);
}

void QVAMemMove(void* destination, const void* source, size_t count) {
  if (count != 0 && destination != source) std::memmove(destination, source, count);
}

uint32_t QVAMemCmp(const void* first, const void* second, size_t count) {
  if (count == 0) return 0;
  return std::memcmp(first, second, count) == 0 ? 0u : 1u;
}

uint32_t QVAChecksum(const void* data, size_t length) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= length; i += 4) {
    uint32_t word =
        uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 | uint32_t{bytes[i + 3]} << 24;
    sum ^= word;
  }
  return sum;
}

uint32_t QVAFormatHex(uint32_t value, char* out) {
  for (int i = 0; i < 8; ++i) {
    uint32_t digit = (value >> (28 - 4 * i)) & 0xF;
    out[i] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
  }
  out[8] = '\0';
  return 8;
}

uint32_t BufferQueue_FormatId(uint32_t value, char* out, uint32_t /*digitCap*/) {
  return QVAFormatHex(value, out);
}
