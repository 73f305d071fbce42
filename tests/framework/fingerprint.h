#pragma once
// An order-sensitive fingerprint of bytes, eight at a time, for tests that move data through
// queues and components.
#include <cstdint>
#include <cstring>

namespace orx::test {

inline uint64_t Fingerprint(uint64_t sum, const uint8_t* data, size_t size) {
  constexpr uint64_t kPrime = 1099511628211ull;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    sum = (sum ^ word) * kPrime;
  }
  for (; i < size; ++i) sum = (sum ^ data[i]) * kPrime;
  return sum;
}

}  // namespace orx::test
