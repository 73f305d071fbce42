#pragma once
// An encoder output for tests that drive the encoder without the component: it collects the
// areas in order; the undelivered tail (the sequence end) is taken at the end. It keeps each
// picture's presentation time stamp in coding order.
#include <cstdint>
#include <vector>

#include "venc/common/video_bit_stream.h"

namespace orx::venc::test {

class CollectingBitStream final : public IVideoBitStream {
 public:
  uint8_t* GetWritePointer() override {
    HandOn();
    area_.assign(4096 + 2048 + 8, 0);
    return area_.data();
  }
  void SetTimeStamps(int64_t, int64_t presentation, int, int) override { stamps.push_back(presentation); }
  void Advance(uint8_t*, int bytes) override { used_ += static_cast<size_t>(bytes); }
  void Deliver() override { HandOn(); }
  std::vector<uint8_t> Collected() {
    HandOn();
    return stream_;
  }
  std::vector<int64_t> stamps;

 private:
  void HandOn() {
    stream_.insert(stream_.end(), area_.begin(), area_.begin() + static_cast<long>(used_));
    used_ = 0;
  }
  std::vector<uint8_t> area_;
  size_t used_ = 0;
  std::vector<uint8_t> stream_;
};

}  // namespace orx::venc::test
