#include "venc/core/encoder_lock.h"

#include <set>

namespace orx::venc {
namespace {

std::recursive_mutex& SetupMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// Guarded by the set-up lock.
std::set<int>& HeldNumbers() {
  static std::set<int> numbers;
  return numbers;
}

}  // namespace

bool SetupEncoderLock(bool create) {
  // Touching the mutex makes it exist before any encoder thread races for it.
  if (create) SetupMutex();
  return true;
}

EncoderSetupLock::EncoderSetupLock() { SetupMutex().lock(); }
EncoderSetupLock::~EncoderSetupLock() { SetupMutex().unlock(); }

int TakeInstanceNumber() {
  EncoderSetupLock hold;
  std::set<int>& held = HeldNumbers();
  int number = 0;
  while (held.count(number) != 0) ++number;
  held.insert(number);
  return number;
}

bool ReturnInstanceNumber(int number) {
  EncoderSetupLock hold;
  std::set<int>& held = HeldNumbers();
  const size_t before = held.size();
  held.erase(number);
  return before <= 1;
}

int LiveEncoderCount() {
  EncoderSetupLock hold;
  return static_cast<int>(HeldNumbers().size());
}

}  // namespace orx::venc
