#pragma once
// Collects the text the encoder core writes to the debugger output during a test.
#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace orx::venc::test {

class DebugCapture {
 public:
  DebugCapture() { orx::platform::SetDebugCapture(&Append, this); }
  ~DebugCapture() { orx::platform::SetDebugCapture(nullptr, nullptr); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  const std::string& Text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  static void Append(void* context, std::string_view text) {
    static_cast<DebugCapture*>(context)->text_.append(text);
  }
  std::string text_;
};

}  // namespace orx::venc::test
