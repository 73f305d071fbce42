#include "plugin/settings/legacy_record.h"

#include <cstring>
#include <string>

#include "platform/host_sdk/utf16_text.h"

namespace orx::plugin {

void ConvertRecordToNarrow(uint32_t /*reserved*/, const WideSettingsRecord* wide,
                           NarrowSettingsRecord* narrow) {
  std::memcpy(narrow->head, wide->head, sizeof(narrow->head));
  const char16_t* source = wide->secondText ? wide->secondText : wide->text;
  std::string text = host_sdk::Utf16ToUtf8Bounded(source, 4096, sizeof(narrow->text) - 1);
  std::memset(narrow->text, 0, sizeof(narrow->text));
  std::memcpy(narrow->text, text.data(), text.size());
  std::memcpy(narrow->tail, wide->tail, sizeof(narrow->tail));
}

void ConvertRecordToWide(const host_sdk::StandardParameters* host,
                         const NarrowSettingsRecord* narrow, WideSettingsRecord* wide) {
  std::memcpy(wide->head, narrow->head, sizeof(wide->head));
  size_t length = strnlen(narrow->text, sizeof(narrow->text));
  std::u16string text = host_sdk::Utf8ToUtf16(std::string(narrow->text, length));
  char16_t* block = nullptr;
  if (host && host->utilities && host->utilities->memory && host->utilities->memory->NewPtr) {
    block = static_cast<char16_t*>(host->utilities->memory->NewPtr((length + 1) * 2));
  }
  if (block) {
    std::memcpy(block, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  }
  wide->text = block;
  std::memcpy(wide->tail, narrow->tail, sizeof(wide->tail));
}

}  // namespace orx::plugin
