#pragma once
// Collects what every library in the test process writes to the host's log (debug lines,
// message boxes): the test executable exports the hook the libraries look for.
#include <chrono>
#include <string>

namespace orx::test {

class HostLogCapture {
 public:
  HostLogCapture();   // starts a capture (one at a time)
  ~HostLogCapture();  // ends it
  HostLogCapture(const HostLogCapture&) = delete;
  HostLogCapture& operator=(const HostLogCapture&) = delete;

  std::string Text() const;
  void Clear();
  // Waits until the text holds `line`; false when the time ran out first.
  bool WaitFor(const std::string& line, std::chrono::milliseconds timeout) const;
};

}  // namespace orx::test
