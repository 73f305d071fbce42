#include "host/export_file_suite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <map>
#include <mutex>

#include "platform/host_sdk/utf16_text.h"

namespace orx::host {
namespace {

using namespace host_sdk;

struct ExportFile {
  std::string path;
  int64_t failWrite = 0;
  int fd = -1;
  ExportFileStatistics stats;
};

std::mutex g_mutex;
std::map<FileObject, ExportFile> g_files;
FileObject g_lastObject = 0;

int32_t Open(FileObject object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end()) return kSuiteErrorNotFound;
  ExportFile& f = it->second;
  if (f.fd >= 0) ::close(f.fd);
  f.fd = ::open(f.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (f.fd < 0) {
    f.stats.error = errno;
    return kSuiteErrorBadArgument;
  }
  ++f.stats.opens;
  return 0;
}

int32_t Close(FileObject object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end()) return kSuiteErrorNotFound;
  if (it->second.fd < 0) return kSuiteErrorBadArgument;
  ::close(it->second.fd);
  it->second.fd = -1;
  ++it->second.stats.closes;
  return 0;
}

int32_t GetPlatformPath(FileObject object, int32_t* length, char16_t* path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end() || length == nullptr || path == nullptr) return kSuiteErrorBadArgument;
  std::u16string wide = Utf8ToUtf16(it->second.path);
  if (wide.size() >= static_cast<size_t>(kTextChars)) return kSuiteErrorBadArgument;
  CopyToUtf16(path, kTextChars, it->second.path);
  *length = static_cast<int32_t>(wide.size());
  return 0;
}

int32_t Seek(FileObject object, int64_t position, int64_t* newPosition, int32_t mode) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end() || it->second.fd < 0) return kSuiteErrorBadArgument;
  int whence = mode == 0 ? SEEK_SET : mode == 1 ? SEEK_CUR : SEEK_END;
  off_t at = ::lseek(it->second.fd, static_cast<off_t>(position), whence);
  if (at < 0) return kSuiteErrorBadArgument;
  if (newPosition != nullptr) *newPosition = at;
  ++it->second.stats.seeks;
  return 0;
}

int32_t Write(FileObject object, const void* data, int32_t bytes) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end() || it->second.fd < 0 || bytes < 0 || (data == nullptr && bytes > 0)) {
    return -1;
  }
  ExportFile& f = it->second;
  ++f.stats.writes;
  if (f.failWrite > 0 && f.stats.writes == f.failWrite) {
    f.stats.failed = true;
    return -1;
  }
  const char* p = static_cast<const char*>(data);
  for (int32_t done = 0; done < bytes;) {
    ssize_t n = ::write(f.fd, p + done, static_cast<size_t>(bytes - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      f.stats.failed = true;
      f.stats.error = n < 0 ? errno : ENOSPC;
      return -1;
    }
    done += static_cast<int32_t>(n);
  }
  f.stats.bytes += bytes;
  return 0;
}

const ExportFileSuite kSuite{&Open, &Close, &GetPlatformPath, &Seek, &Write};

}  // namespace

FileObject NewExportFileObject(const std::string& path, int64_t failWrite) {
  std::lock_guard<std::mutex> lock(g_mutex);
  FileObject object = ++g_lastObject;
  ExportFile& f = g_files[object];
  f.path = path;
  f.failWrite = failWrite;
  return object;
}

void ForgetExportFileObjects() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto& [object, f] : g_files) {
    if (f.fd >= 0) ::close(f.fd);
  }
  g_files.clear();
}

ExportFileStatistics ExportFileStatisticsOf(FileObject object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(object);
  if (it == g_files.end()) return {};
  ExportFileStatistics s = it->second.stats;
  s.open = it->second.fd >= 0;
  return s;
}

const ExportFileSuite* ExportFileSuiteTable() { return &kSuite; }

}  // namespace orx::host
