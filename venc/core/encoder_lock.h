#pragma once
// The encoder library's process-wide set-up lock and its live-encoder count. The lock
// serialises instance numbering, the GPU set-up and shutdown and the count across every
// encoder of the process (of this library copy).
#include <mutex>

namespace orx::venc {

// 1 (true) creates the set-up lock, 0 deletes it: QVACompLibInit and QVACompLibRelease. The
// lock itself lives for the whole process, so an encoder made or released outside those calls
// (a test, or a library released with encoders alive) still finds it; the answer is true.
bool SetupEncoderLock(bool create);

// Holds the set-up lock for its lifetime. Re-entrant on one thread.
class EncoderSetupLock {
 public:
  EncoderSetupLock();
  ~EncoderSetupLock();
  EncoderSetupLock(const EncoderSetupLock&) = delete;
  EncoderSetupLock& operator=(const EncoderSetupLock&) = delete;
};

// Under the set-up lock: the lowest instance number no live encoder holds; the live count grows
// by one. (Numbering by the live count alone gives two live encoders the same number after an
// earlier one is released, and numbers pick profiling slots and GPU devices.)
int TakeInstanceNumber();
// Under the set-up lock: frees the number and lowers the live count; true when no encoder is
// left alive (the count was 1, or already 0), when the caller shuts the GPU down.
bool ReturnInstanceNumber(int number);
int LiveEncoderCount();

}  // namespace orx::venc
