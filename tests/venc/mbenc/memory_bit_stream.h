#pragma once
// An output for the macroblock encoders that keeps everything in memory: areas of 4096 bytes
// plus escape growth plus copy slack, each followed by guard bytes, handed on in order as the
// real output does. It records per-picture time stamps and boundaries and can answer null on a
// chosen call.
#include <cstdint>
#include <memory>
#include <vector>

#include "venc/common/video_bit_stream.h"

namespace orx::venc::test {

class MemoryBitStream final : public venc::IVideoBitStream {
 public:
  static constexpr size_t kAreaBytes = 4096 + 2048 + 8;
  static constexpr size_t kGuardBytes = 64;
  static constexpr uint8_t kGuardValue = 0xA5;

  struct PictureRecord {
    int64_t stampA = 0;
    int64_t stampB = 0;
    int pictureType = 0;
    size_t start = 0;  // offset in Stream() of the picture's first byte
    size_t end = 0;    // offset after its last byte (at Deliver)
    bool delivered = false;
  };

  uint8_t* GetWritePointer() override;
  void SetTimeStamps(int64_t stampA, int64_t stampB, int pictureType, int reserved) override;
  void Advance(uint8_t* pointer, int bytes) override;
  void Deliver() override;

  // Answers null on the given GetWritePointer call (counted from 1), once.
  void FailOnCall(int call) { failCall_ = call; }

  // Everything handed on (areas that were delivered or followed by another area).
  const std::vector<uint8_t>& Stream() const { return stream_; }
  // The current area's bytes, not yet handed on.
  std::vector<uint8_t> Undelivered() const;
  // Stream() followed by Undelivered().
  std::vector<uint8_t> AllBytes() const;
  const std::vector<PictureRecord>& Pictures() const { return pictures_; }
  const std::vector<int>& AdvanceSizes() const { return advanceSizes_; }
  int WritePointerCalls() const { return writePointerCalls_; }
  int DeliverCalls() const { return deliverCalls_; }
  // Every guard byte untouched and every Advance on the area it was given for.
  bool GuardsIntact() const;
  bool ProtocolKept() const { return protocolKept_; }

 private:
  struct Area {
    std::unique_ptr<uint8_t[]> bytes;
    size_t used = 0;
  };
  void HandOnCurrent();
  static bool GuardIntact(const Area& area);

  std::vector<Area> areas_;
  int current_ = -1;
  std::vector<uint8_t> stream_;
  std::vector<PictureRecord> pictures_;
  std::vector<int> advanceSizes_;
  int writePointerCalls_ = 0;
  int deliverCalls_ = 0;
  int failCall_ = 0;
  bool protocolKept_ = true;
  bool guardsIntact_ = true;
};

}  // namespace orx::venc::test
