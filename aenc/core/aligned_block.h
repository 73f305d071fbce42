#pragma once
// A zeroed, 64-byte aligned heap block whose allocation is checked: the SIMD kernels read the
// work areas in aligned rows, and an encoder whose blocks failed reports it instead of crashing.
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace orx::aenc {

// Test seam: the next `count` allocations succeed, the following ones fail (a negative count
// turns the injection off again).
void FailAlignedAllocationsAfter(int count);
void* AllocateAlignedZeroed(size_t bytes);

template <typename T>
class AlignedBlock {
 public:
  AlignedBlock() = default;
  ~AlignedBlock() { std::free(data_); }
  AlignedBlock(const AlignedBlock&) = delete;
  AlignedBlock& operator=(const AlignedBlock&) = delete;

  bool Allocate(size_t count) {
    std::free(data_);
    data_ = static_cast<T*>(AllocateAlignedZeroed(count * sizeof(T)));
    bytes_ = data_ ? count * sizeof(T) : 0;
    return data_ != nullptr;
  }
  void Clear() {
    if (data_) std::memset(static_cast<void*>(data_), 0, bytes_);
  }
  T* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  T* data_ = nullptr;
  size_t bytes_ = 0;
};

}  // namespace orx::aenc
