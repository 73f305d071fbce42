#pragma once
// Stand-in for the HTML Help control. Each request is written to standard error and to the
// host's log with its file, anchor and keyword. A display request answers a window when the
// help file (the part of the path before "::") exists, else none.
#include <cstdint>
#include <string>

namespace orx::platform {

inline constexpr uint32_t kHelpDisplayTopic = 0x0;
inline constexpr uint32_t kHelpKeywordLookup = 0x13;  // associative-link lookup

// path: "file::/topic.htm#anchor"; keyword only for the lookup.
void* HtmlHelp(void* owner, const std::string& path, uint32_t command, const char* keyword);

struct HtmlHelpRecord {
  uint32_t command;
  std::string file;     // before "::"
  std::string anchor;   // after '#', "" when none
  std::string keyword;  // lookups only
  bool answered;        // a window was answered
};
using HtmlHelpCaptureFn = void (*)(void* context, const HtmlHelpRecord& record);
void SetHtmlHelpCapture(HtmlHelpCaptureFn fn, void* context);

}  // namespace orx::platform
