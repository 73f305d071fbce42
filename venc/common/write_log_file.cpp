#include "venc/common/write_log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace orx::venc {

int WriteLogFile(const char* format, ...) {
  std::string path;
  if (!platform::RegistryReadString(kEncoderRegistryKey, "LogFilePath", path) || path.empty())
    return kLogNotConfigured;
  char text[1024 + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  const size_t length = std::strlen(text);

  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return kLogFileFailed;
  ssize_t written = ::write(fd, text, length);
  ::close(fd);
  return written == static_cast<ssize_t>(length) ? kLogWritten : kLogFileFailed;
}

}  // namespace orx::venc
