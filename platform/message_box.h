#pragma once
// Stand-in for modal message boxes: the text goes to standard error and to the host's log,
// and the call answers as if the user had pressed the box's default button.
#include <cstdint>
#include <string>

namespace orx::platform {

// Button sets and default-button bits of the flags word, as the system passes them.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;

// Answers of a message box.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The button a box with these flags answers when the user presses Enter.
int DefaultMessageBoxAnswer(uint32_t flags);

// Shows (writes) the box and answers its default button.
int MessageBox(void* owner, const char* text, const char* caption, uint32_t flags);

// Tests see every box shown by this library's copy.
struct MessageBoxRecord {
  void* owner;
  std::string text;
  std::string caption;
  uint32_t flags;
};
using MessageBoxCaptureFn = void (*)(void* context, const MessageBoxRecord& record);
void SetMessageBoxCapture(MessageBoxCaptureFn fn, void* context);

}  // namespace orx::platform
