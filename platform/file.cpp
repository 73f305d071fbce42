#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orx::platform {

int OpenFile(const char* path, FileOpenMode mode) {
  if (path == nullptr) return -1;
  constexpr int kCreateMode = 0666;
  switch (mode) {
    case FileOpenMode::kRead:
      return ::open(path, O_RDONLY | O_CLOEXEC);
    case FileOpenMode::kReadWrite:
      return ::open(path, O_RDWR | O_CLOEXEC);
    case FileOpenMode::kWriteTruncate:
      return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kCreateMode);
    case FileOpenMode::kWriteAppend: {
      int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, kCreateMode);
      if (fd >= 0 && ::lseek(fd, 0, SEEK_END) < 0) {
        ::close(fd);
        return -1;
      }
      return fd;
    }
  }
  return -1;
}

void CloseFile(int fd) {
  if (fd >= 0) ::close(fd);
}

bool ReadFile(int fd, void* buffer, uint32_t count, uint32_t* bytesRead) {
  auto* p = static_cast<char*>(buffer);
  uint32_t done = 0;
  bool ok = true;
  while (done < count) {
    ssize_t n = ::read(fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  if (bytesRead) *bytesRead = done;
  return ok;
}

bool WriteFile(int fd, const void* data, uint32_t count, uint32_t* bytesWritten) {
  const auto* p = static_cast<const char*>(data);
  uint32_t done = 0;
  bool ok = true;
  while (done < count) {
    ssize_t n = ::write(fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) {
      ok = false;
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  return ok;
}

bool SeekFile(int fd, uint64_t position, uint64_t* landed) {
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  off_t at = ::lseek(fd, static_cast<off_t>(position), SEEK_SET);
  if (at < 0) return false;
  if (landed) *landed = static_cast<uint64_t>(at);
  return true;
}

bool GetFileSize(int fd, uint64_t* size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

}  // namespace orx::platform
