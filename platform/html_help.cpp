#include "platform/html_help.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "platform/debug_output.h"

namespace orx::platform {
namespace {

std::mutex g_mutex;
HtmlHelpCaptureFn g_capture = nullptr;
void* g_captureContext = nullptr;
int g_helpWindow = 0;  // its address stands for the help window

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void* HtmlHelp(void* /*owner*/, const std::string& path, uint32_t command, const char* keyword) {
  HtmlHelpRecord record;
  record.command = command;
  size_t split = path.find("::");
  record.file = path.substr(0, split);
  size_t hash = path.find('#', split == std::string::npos ? 0 : split);
  if (hash != std::string::npos) record.anchor = path.substr(hash + 1);
  if (command == kHelpKeywordLookup && keyword != nullptr) record.keyword = keyword;
  record.answered = FileExists(record.file);

  std::string line = "[help] ";
  line += command == kHelpKeywordLookup ? "keyword lookup " : "display ";
  line += record.file;
  if (!record.anchor.empty()) line += " anchor " + record.anchor;
  if (!record.keyword.empty()) line += " keyword \"" + record.keyword + "\"";
  line += record.answered ? "\n" : " (no help file)\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  HostLog(line);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_capture) g_capture(g_captureContext, record);
  }
  return record.answered ? &g_helpWindow : nullptr;
}

void SetHtmlHelpCapture(HtmlHelpCaptureFn fn, void* context) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = fn;
  g_captureContext = context;
}

}  // namespace orx::platform
