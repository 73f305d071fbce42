#include "tests/venc/mbenc/bit_model.h"

namespace orx::venc::test {

std::vector<uint8_t> ReferenceEscape(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  for (uint8_t b : payload) {
    const size_t n = out.size();
    if (n >= 2 && out[n - 1] == 0 && out[n - 2] == 0 && b <= 3) out.push_back(3);
    out.push_back(b);
  }
  return out;
}

void BitModel::Put(uint64_t value, int n) {
  for (int i = n - 1; i >= 0; --i) segments_.back().bits.push_back(((value >> i) & 1) ? '1' : '0');
}

void BitModel::Align() {
  while (segments_.back().bits.size() % 8) segments_.back().bits.push_back('0');
}

void BitModel::Stuff() {
  const size_t k = (8 - segments_.back().bits.size() % 8) % 8;
  if (k == 0) return;
  segments_.back().bits.push_back('0');
  for (size_t i = 1; i < k; ++i) segments_.back().bits.push_back('1');
}

void BitModel::Ue(uint64_t v) {
  int len = 0;
  while (((v + 1) >> (len + 1)) != 0) ++len;
  Put(0, len);
  Put(v + 1, len + 1);
}

void BitModel::Flush() {
  Align();
  segments_.push_back(Segment{});
}

void BitModel::BeginUnit(uint32_t startWord) {
  Flush();
  Segment& unit = segments_.back();
  unit.escaped = true;
  if (startWord != 0xFFFFFFFF) {
    unit.startCode = {uint8_t(startWord >> 24), uint8_t(startWord >> 16), uint8_t(startWord >> 8),
                      uint8_t(startWord)};
  }
}

size_t BitModel::BitCount() const {
  size_t bits = 0;
  for (const Segment& s : segments_) {
    const size_t payloadBits = (s.bits.size() + 7) / 8 * 8;
    bits += 8 * s.startCode.size() + (&s == &segments_.back() ? s.bits.size() : payloadBits);
  }
  return bits;
}

std::vector<uint8_t> BitModel::Bytes() const {
  std::vector<uint8_t> out;
  for (const Segment& s : segments_) {
    std::vector<uint8_t> payload;
    for (size_t i = 0; i < s.bits.size(); i += 8) {
      uint8_t byte = 0;
      for (size_t j = 0; j < 8; ++j) {
        byte = static_cast<uint8_t>(byte << 1);
        if (i + j < s.bits.size() && s.bits[i + j] == '1') byte |= 1;
      }
      payload.push_back(byte);
    }
    out.insert(out.end(), s.startCode.begin(), s.startCode.end());
    const std::vector<uint8_t> body = s.escaped ? ReferenceEscape(payload) : payload;
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

}  // namespace orx::venc::test
