#pragma once
// What the export will produce: the host renders frames and audio by it.
#include <cstdint>

#include "platform/host_sdk/records.h"

namespace orx::plugin {

struct PixelAspect {
  int32_t num;
  int32_t den;
};

// The display ratio of a frame size, for an aspect parameter that names none (0:0 or 1:1).
PixelAspect DisplayRatioFromSize(int32_t width, int32_t height);
// The pixel aspect class of a frame size and display ratio: 4:3, 1:1 or n:300.
PixelAspect PixelAspectClass(int32_t width, int32_t height, int32_t num, int32_t den);

// Selector 13; 0 always.
int32_t Exporter_QueryOutputSettings(host_sdk::OutputSettingsRecord* record);

}  // namespace orx::plugin
