#pragma once
// The host's own group and parameter identifiers that the exporter uses.

namespace orx::host_sdk {

inline constexpr char ADBETopParamGroup[] = "ADBETopParamGroup";
inline constexpr char ADBEAudienceTabGroup[] = "ADBEAudienceTabGroup";
inline constexpr char ADBEVideoTabGroup[] = "ADBEVideoTabGroup";
inline constexpr char ADBEBasicVideoGroup[] = "ADBEBasicVideoGroup";
inline constexpr char ADBEVideoCodecGroup[] = "ADBEVideoCodecGroup";
inline constexpr char ADBEAudioTabGroup[] = "ADBEAudioTabGroup";
inline constexpr char ADBEAudioCodecGroup[] = "ADBEAudioCodecGroup";
inline constexpr char ADBEBasicAudioGroup[] = "ADBEBasicAudioGroup";

inline constexpr char ADBEVideoWidth[] = "ADBEVideoWidth";
inline constexpr char ADBEVideoHeight[] = "ADBEVideoHeight";
inline constexpr char ADBEVideoFPS[] = "ADBEVideoFPS";
inline constexpr char ADBEAudioCodec[] = "ADBEAudioCodec";
inline constexpr char ADBEAudioRatePerSecond[] = "ADBEAudioRatePerSecond";
inline constexpr char ADBEAudioNumChannels[] = "ADBEAudioNumChannels";

}  // namespace orx::host_sdk
