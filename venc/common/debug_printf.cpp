#include "venc/common/debug_printf.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "platform/debug_output.h"

namespace orx::venc {

void DebugPrintf(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length < 0) return;
  const size_t kept = static_cast<size_t>(length) < sizeof text ? length : sizeof text - 1;
  orx::platform::DebugOutput(std::string_view(text, kept));
}

}  // namespace orx::venc
