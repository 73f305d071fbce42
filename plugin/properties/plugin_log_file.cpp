#include "plugin/properties/plugin_log_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/qva_os.h"
#include "plugin/properties/encoder_properties_dialog.h"

namespace orx::plugin {
namespace {

constexpr size_t kLineBytes = 512;

QVATengineConfig* g_owner = nullptr;  // null: the dialog's default configuration

}  // namespace

QVATengineConfig* LogOwner() { return g_owner ? g_owner : &PropertiesDefaultConfig(); }

void SetLogOwner(QVATengineConfig* config) { g_owner = config; }

void LogFile_Open(QVATengineConfig* config) {
  if (config == nullptr || config->logFileHandle != nullptr || config->logFilePath[0] == '\0') {
    return;
  }
  std::string path(config->logFilePath, strnlen(config->logFilePath, sizeof(config->logFilePath)));
  // Appending: the file is created when missing and written at its end.
  QVAHandle handle = QVAOpenFileWrite(path.c_str(), 0);
  if (handle == nullptr) return;  // nothing is logged and nothing reported
  config->logFileHandle = handle;
  LogOwner()->logFileHandle = handle;
}

int LogFile_Close(QVATengineConfig* config) {
  QVATengineConfig* target = config ? config : LogOwner();
  QVAHandle handle = target->logFileHandle;
  if (handle == nullptr) return 0;
  QVATengineConfig* owner = LogOwner();
  if (owner->logFileHandle == handle) owner->logFileHandle = nullptr;
  target->logFileHandle = nullptr;
  QVACloseFile(handle);
  return 0;
}

QVATengineConfig* LogFile_Detach(QVATengineConfig* config) {
  if (config != nullptr) LogFile_Close(config);
  return LogOwner();
}

int LogFile_Write(const char* format, ...) {
  QVAHandle handle = LogOwner()->logFileHandle;
  if (handle == nullptr) return 0;
  char buffer[kLineBytes];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (n < 0) return 0;
  // An over-long text is cut where the buffer ends, never read past it.
  std::string line(buffer, static_cast<size_t>(n) < sizeof(buffer) ? static_cast<size_t>(n)
                                                                     : sizeof(buffer) - 1);
  if (line.size() > 1) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
      // already ends in CR LF
    } else if (line.back() == '\n') {
      line.insert(line.size() - 1, 1, '\r');
    } else {
      line += "\r\n";
    }
    if (line.size() > kLineBytes || static_cast<size_t>(n) >= sizeof(buffer)) {
      line.resize(kLineBytes - 2);
      line += "\r\n";
    }
  }
  uint32_t written = 0;
  if (QVAWriteFile(handle, line.data(), static_cast<uint32_t>(line.size()), &written) != 0) return 0;
  return static_cast<int>(written);
}

}  // namespace orx::plugin
