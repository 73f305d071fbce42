#pragma once
// What an export pass asks the engine for: the target video and audio subtypes of the
// exporter's codec choices, and the target stream type of the container choice.
#include <cstdint>

#include "media/media_type.h"
#include "plugin/params/export_choices.h"

namespace orx::plugin {

uint32_t VideoSubtypeForChoice(VideoCodecChoice choice);
uint32_t AudioSubtypeForChoice(AudioCodecChoice choice);

// All zero but the major type and the subtype. videoEnabled and audioEnabled are the
// configuration's enables; videoSubtype and audioSubtype the target subtypes.
StreamMediaType TargetStreamType(ContainerChoice container, bool videoEnabled, bool audioEnabled,
                                 uint32_t videoSubtype, uint32_t audioSubtype);

}  // namespace orx::plugin
