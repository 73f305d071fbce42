#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/qva_os.h"
#include "platform/file.h"

namespace {

constexpr size_t kPrintfLimit = 512;

struct FileData {
  int fd;
};

int Descriptor(QVAHandle file) { return static_cast<FileData*>(QVAHandleData(file, nullptr))->fd; }

QVAHandle Open(const char* name, orx::platform::FileOpenMode mode) {
  if (name == nullptr) return nullptr;
  FileData data{orx::platform::OpenFile(name, mode)};
  if (data.fd < 0) return nullptr;
  QVAHandle file = QVAAllocHandle(QVA_HANDLE_FILE, &data, sizeof data);
  if (file == nullptr) orx::platform::CloseFile(data.fd);
  return file;
}

}  // namespace

QVAHandle QVAOpenFileRead(const char* name) { return Open(name, orx::platform::FileOpenMode::kRead); }

QVAHandle QVAOpenFileReadWrite(const char* name) {
  return Open(name, orx::platform::FileOpenMode::kReadWrite);
}

QVAHandle QVAOpenFileWrite(const char* name, uint32_t truncate) {
  return Open(name, truncate != 0 ? orx::platform::FileOpenMode::kWriteTruncate
                                  : orx::platform::FileOpenMode::kWriteAppend);
}

QVAStatus QVAReadFile(QVAHandle file, void* buffer, uint32_t count, uint32_t* bytesRead) {
  if (file == nullptr) return QVA_ERR_BADHANDLE;
  uint32_t got = 0;
  bool ok = orx::platform::ReadFile(Descriptor(file), buffer, count, &got);
  if (bytesRead != nullptr) *bytesRead = got;
  return ok ? QVA_SUCCESS : QVA_ERR_READ;
}

QVAStatus QVAWriteFile(QVAHandle file, const void* data, uint32_t count, uint32_t* bytesWritten) {
  if (file == nullptr) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    return QVA_ERR_UNSUPPORTED;
  }
  uint32_t written = 0;
  bool ok = orx::platform::WriteFile(Descriptor(file), data, count, &written);
  if (bytesWritten != nullptr) *bytesWritten = written;
  return ok ? QVA_SUCCESS : QVA_ERR_WRITE;
}

QVAStatus QVASeekFile(QVAHandle file, uint64_t position) {
  if (file == nullptr) return QVA_ERR_BADHANDLE;
  uint64_t landed = 0;
  if (!orx::platform::SeekFile(Descriptor(file), position, &landed) || landed != position) return QVA_ERR_READ;
  return QVA_SUCCESS;
}

QVAStatus QVAGetFileSize(QVAHandle file, uint64_t* size) {
  if (file == nullptr) return QVA_ERR_BADHANDLE;
  if (size == nullptr) return QVA_ERR_BADARG;
  return orx::platform::GetFileSize(Descriptor(file), size) ? QVA_SUCCESS : QVA_ERR_READ;
}

QVAStatus QVAFilePrintf(QVAHandle file, const char* format, ...) {
  char text[kPrintfLimit + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return QVAWriteFile(file, text, static_cast<uint32_t>(std::strlen(text)), nullptr);
}

QVAStatus QVACloseFile(QVAHandle file) {
  if (file == nullptr) return QVA_ERR_BADHANDLE;
  orx::platform::CloseFile(Descriptor(file));
  return QVAFreeHandleBlock(file);
}
