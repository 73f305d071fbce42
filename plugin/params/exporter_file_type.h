#pragma once
// The exporters' four-character file types ('F4V_' is known to every handler but never
// registered).
#include <cstdint>

#include "platform/host_sdk/entry.h"

namespace orx::plugin {

inline constexpr uint32_t kFileTypeMpg2 = host_sdk::FourCc("MPG2");
inline constexpr uint32_t kFileTypeMp2b = host_sdk::FourCc("MP2B");
inline constexpr uint32_t kFileTypeH264 = host_sdk::FourCc("H264");
inline constexpr uint32_t kFileType264b = host_sdk::FourCc("264B");
inline constexpr uint32_t kFileTypeF4v = host_sdk::FourCc("F4V_");
inline constexpr uint32_t kExporterClassId = host_sdk::FourCc("ORX ");

inline bool IsBluRayFileType(uint32_t t) { return t == kFileTypeMp2b || t == kFileType264b; }
inline bool IsMpeg2FileType(uint32_t t) { return t == kFileTypeMpg2 || t == kFileTypeMp2b; }
inline bool IsH264FileType(uint32_t t) { return t == kFileTypeH264 || t == kFileType264b; }

}  // namespace orx::plugin
