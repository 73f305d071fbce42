#pragma once
// A plain model of the bit writer: the stream as a string of bits, escaped units kept apart
// and escaped at the end by the straightforward rule. Tests compare the writer's bytes with it.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::venc::test {

// ISO/IEC 14496-10 emulation prevention done the plain way: a 0x03 before every byte of 0..3
// that follows two zero bytes of the output, starting with no zero bytes before the data.
std::vector<uint8_t> ReferenceEscape(const std::vector<uint8_t>& payload);

class BitModel {
 public:
  void Put(uint64_t value, int n);  // the n low bits, most significant first
  void Align();                     // zero bits to a byte boundary
  void Stuff();                     // 0 then ones to a byte boundary
  void Ue(uint64_t v);              // Exp-Golomb ue(v)
  // A final flush: pad with zero bits and end the current unit.
  void Flush();
  // A final flush, then an escaped unit that starts with startWord (none for 0xFFFFFFFF).
  void BeginUnit(uint32_t startWord);

  // Bits so far (escape bytes of the open unit not counted).
  size_t BitCount() const;
  std::vector<uint8_t> Bytes() const;

 private:
  struct Segment {
    bool escaped = false;
    std::vector<uint8_t> startCode;
    std::string bits;
  };
  std::vector<Segment> segments_ = {Segment{}};
};

}  // namespace orx::venc::test
