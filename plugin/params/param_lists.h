#pragma once
// The value lists of the exporter parameters: the fixed lists per file type and the four
// builders that depend on other parameters' current values.
#include <cstdint>

#include "plugin/params/export_choices.h"

namespace orx::plugin {

class ParamAccess;
struct ExporterInstance;

// Packs a frame size the way ORXVideoDimension holds it.
constexpr int32_t PackDimension(uint32_t width, uint32_t height) {
  return static_cast<int32_t>((width << 16) | height);
}

void BuildContainerList(const ParamAccess& params, uint32_t fileType);
void BuildVideoCodecList(const ParamAccess& params, uint32_t fileType);
// Fills the TV standard list and hides the parameter for 'F4V_'.
void BuildTvStandardList(const ParamAccess& params, uint32_t fileType);
void BuildAudioCodecList(const ParamAccess& params, uint32_t fileType, ContainerChoice container,
                         uint32_t showOnGui);
void BuildChannelList(const ParamAccess& params, uint32_t fileType);
void BuildAudioBitRateList(const ParamAccess& params);
void BuildKeyframeList(const ParamAccess& params);
// Entries from the keyframe spacing N; answers the last entry's value.
int32_t BuildSubkeyList(const ParamAccess& params, int32_t keyframeSpacing);
void BuildScalerList(const ParamAccess& params);
void BuildSampleSizeList(const ParamAccess& params);
void BuildEncoderCountList(const ParamAccess& params);
void BuildGpuCountList(const ParamAccess& params, uint32_t processorCount);

int BuildDimensionList(const ParamAccess& params);
int BuildFrameRateList(const ParamAccess& params, const ExporterInstance& instance,
                       uint32_t fileType);
int BuildAudioRateList(const ParamAccess& params, uint32_t fileType);
int BuildAspectList(const ParamAccess& params, uint32_t fileType);

// Stores a help button's topic in its private data.
void StoreHelpTopic(const ParamAccess& params, const char* button, int32_t topic);

// Sets a parameter's hidden and disabled flags, keeping its value and range.
void SetParamVisibility(const ParamAccess& params, const char* id, bool hidden, bool disabled);

}  // namespace orx::plugin
