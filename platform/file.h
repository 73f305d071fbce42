#pragma once
// Files on open/read/write/lseek/fstat. Every descriptor is opened close-on-exec; the sharing
// modes of the original platform have no POSIX meaning and are not modelled.
#include <cstdint>

namespace orx::platform {

enum class FileOpenMode {
  kRead,           // an existing file, read only
  kReadWrite,      // an existing file, read and write
  kWriteTruncate,  // write; an existing file is emptied, a missing one created
  kWriteAppend,    // write; a missing file is created; positioned once at the end, so a later
                   // seek may go back and overwrite (not O_APPEND)
};

// The descriptor, or -1.
int OpenFile(const char* path, FileOpenMode mode);
void CloseFile(int fd);

// Reads up to count bytes (fewer only at the end of the file). False when the system fails.
bool ReadFile(int fd, void* buffer, uint32_t count, uint32_t* bytesRead);
// Writes all count bytes, continuing after short writes. False when the system fails; the
// bytes written before the failure are reported.
bool WriteFile(int fd, const void* data, uint32_t count, uint32_t* bytesWritten);
// Moves to a position from the start; landed receives where the file pointer now is.
bool SeekFile(int fd, uint64_t position, uint64_t* landed);
bool GetFileSize(int fd, uint64_t* size);

}  // namespace orx::platform
