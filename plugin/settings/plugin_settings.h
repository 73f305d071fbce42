#pragma once
// The plug-in's machine settings in the registry, outside the host's parameter store.
#include <cstdint>

namespace orx::plugin {

enum class RegRoot { kCurrentUser, kLocalMachine };

inline constexpr char kPluginKey[] = "Software\\ORX\\AdobePluginCS4";
inline constexpr char kValueShowOnGui[] = "ShowOnGUI";
inline constexpr char kValueGpuFlags[] = "GPUFlags";
inline constexpr char kValueSourceScaler[] = "SourceScaler";
inline constexpr char kValueStatsLevel[] = "StatsLevel";
inline constexpr char kValueStatsHistory[] = "StatsHistory";
inline constexpr char kValueInstallPath[] = "InstallPath";

// The older key of the plug-in's previous generation.
inline constexpr char kLegacyKey[] = "Software\\ORX\\AdobePluginCS3";
inline constexpr char kValueInstances[] = "instances";
inline constexpr char kValueScaling[] = "scaling";
inline constexpr char kValueOutFileName[] = "outfilename";
inline constexpr char kValueSubkeySpace[] = "subkeyspace";
inline constexpr char kValueScalingMode[] = "scalingmode";

// 1 written, 0 failed.
int RegWriteDword(RegRoot root, const char* key, const char* name, uint32_t value);
// 1 when the value exists as a DWORD (written to out), else 0 with out unchanged.
int RegReadDword(RegRoot root, const char* key, const char* name, uint32_t* out);
int RegWriteString(RegRoot root, const char* key, const char* name, const char* text);
// 1 when the value exists as a string and fits with its terminator into size bytes.
int RegReadString(RegRoot root, const char* key, const char* name, char* buffer, uint32_t size);

// Bits of "ShowOnGUI": the exporters to register and the option parameters to show or enable.
inline constexpr uint32_t kShowEncoderCount = 0x1;      // ORXNumEncoders is shown
inline constexpr uint32_t kShowGpuCount = 0x2;          // ORXNumGPUs is shown
inline constexpr uint32_t kShowLogFile = 0x4;           // ORXLogFile is shown
inline constexpr uint32_t kShowOptionGroup = kShowEncoderCount | kShowGpuCount | kShowLogFile;  // none: no group
inline constexpr uint32_t kEnableEncoderCount = 0x100;
inline constexpr uint32_t kEnableGpuCount = 0x200;
inline constexpr uint32_t kEnableLogFile = 0x400;
inline constexpr uint32_t kShowMpeg2Exporters = 1u << 17;  // 'MPG2' and 'MP2B'
inline constexpr uint32_t kShowH264Exporters = 1u << 18;   // 'H264' and '264B'
inline constexpr uint32_t kShowExporterBits = 0xFFFF0000u;  // bits 16-31: none set takes the default
inline constexpr uint32_t kOfferPcmAudio = 0x1000000;
// What a missing value (and, at start-up, one without exporter bits) stands for; 0x10 has no
// reader.
inline constexpr uint32_t kShowOnGuiDefault = kShowMpeg2Exporters | 0x10;  // 0x20010

// "ShowOnGUI" of the plug-in's key, or fallback when it is missing.
uint32_t ReadShowOnGui(uint32_t fallback);

}  // namespace orx::plugin
