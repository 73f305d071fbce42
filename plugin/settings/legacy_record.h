#pragma once
// The two forms of a settings record of the plug-in's previous generation, with its text as
// UTF-16 behind a pointer or as narrow text in place. Nothing in the system calls the
// converters; the head's contents are not interpreted.
#include <cstdint>

#include "platform/host_sdk/entry.h"

namespace orx::plugin {

struct WideSettingsRecord {
  uint8_t head[630];
  const char16_t* text;
  const char16_t* secondText;  // preferred when set
  uint8_t tail[28];
};

struct NarrowSettingsRecord {
  uint8_t head[630];
  uint8_t notWritten[6];
  char text[256];
  uint8_t tail[28];
};

void ConvertRecordToNarrow(uint32_t reserved, const WideSettingsRecord* wide,
                           NarrowSettingsRecord* narrow);
// The UTF-16 text is allocated through the host's memory functions.
void ConvertRecordToWide(const host_sdk::StandardParameters* host,
                         const NarrowSettingsRecord* narrow, WideSettingsRecord* wide);

}  // namespace orx::plugin
