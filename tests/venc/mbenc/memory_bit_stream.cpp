#include "tests/venc/mbenc/memory_bit_stream.h"

#include <algorithm>
#include <cstring>

namespace orx::venc::test {

void MemoryBitStream::HandOnCurrent() {
  if (current_ < 0) return;
  Area& area = areas_[static_cast<size_t>(current_)];
  stream_.insert(stream_.end(), area.bytes.get(), area.bytes.get() + area.used);
  area.used = 0;
}

uint8_t* MemoryBitStream::GetWritePointer() {
  ++writePointerCalls_;
  if (writePointerCalls_ == failCall_) return nullptr;
  // The previous area is handed on when it holds data; a fresh area takes the next block.
  if (current_ >= 0 && areas_[static_cast<size_t>(current_)].used > 0) HandOnCurrent();
  // Only the current area is kept; an old one is checked before it goes.
  if (current_ >= 0) {
    guardsIntact_ = guardsIntact_ && GuardIntact(areas_.back());
    areas_.clear();
  }
  Area area;
  area.bytes = std::make_unique<uint8_t[]>(kAreaBytes + kGuardBytes);
  std::memset(area.bytes.get(), 0xEE, kAreaBytes);
  std::memset(area.bytes.get() + kAreaBytes, kGuardValue, kGuardBytes);
  areas_.push_back(std::move(area));
  current_ = static_cast<int>(areas_.size()) - 1;
  return areas_.back().bytes.get();
}

void MemoryBitStream::SetTimeStamps(int64_t stampA, int64_t stampB, int pictureType, int) {
  PictureRecord record;
  record.stampA = stampA;
  record.stampB = stampB;
  record.pictureType = pictureType;
  record.start = stream_.size();
  if (current_ >= 0) record.start += areas_[static_cast<size_t>(current_)].used;
  pictures_.push_back(record);
}

void MemoryBitStream::Advance(uint8_t* pointer, int bytes) {
  advanceSizes_.push_back(bytes);
  if (current_ < 0 || bytes < 0) {
    protocolKept_ = false;
    return;
  }
  Area& area = areas_[static_cast<size_t>(current_)];
  if (pointer != area.bytes.get() + area.used || area.used + static_cast<size_t>(bytes) > kAreaBytes) {
    protocolKept_ = false;
    return;
  }
  area.used += static_cast<size_t>(bytes);
}

void MemoryBitStream::Deliver() {
  ++deliverCalls_;
  HandOnCurrent();
  if (!pictures_.empty() && !pictures_.back().delivered) {
    pictures_.back().end = stream_.size();
    pictures_.back().delivered = true;
  }
}

std::vector<uint8_t> MemoryBitStream::Undelivered() const {
  if (current_ < 0) return {};
  const Area& area = areas_[static_cast<size_t>(current_)];
  return std::vector<uint8_t>(area.bytes.get(), area.bytes.get() + area.used);
}

std::vector<uint8_t> MemoryBitStream::AllBytes() const {
  std::vector<uint8_t> all = stream_;
  const std::vector<uint8_t> rest = Undelivered();
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

bool MemoryBitStream::GuardIntact(const Area& area) {
  const uint8_t* guard = area.bytes.get() + kAreaBytes;
  return std::all_of(guard, guard + kGuardBytes, [](uint8_t b) { return b == kGuardValue; });
}

bool MemoryBitStream::GuardsIntact() const {
  return guardsIntact_ && std::all_of(areas_.begin(), areas_.end(), GuardIntact);
}

}  // namespace orx::venc::test
