#pragma once
// The plug-in's own group and parameter identifiers (the host's are in the host SDK).

namespace orx::plugin {

inline constexpr char ORXBasicMultiplexerGroup[] = "ORXBasicMultiplexerGroup";
inline constexpr char ORXAdvancedVideoGroup[] = "ORXAdvancedVideoGroup";
inline constexpr char ORXOptions[] = "ORXOptions";
inline constexpr char Settings[] = "Settings";

inline constexpr char ORXMultiplexerContainer[] = "ORXMultiplexerContainer";
inline constexpr char ORXMuxHelpButton[] = "ORXMuxHelpButton";
inline constexpr char ORXVideoCodec[] = "ORXVideoCodec";
inline constexpr char ORXQuality[] = "ORXQuality";
inline constexpr char ORXTVStandard[] = "ORXTVStandard";
inline constexpr char ORXVideoDimension[] = "ORXVideoDimension";
inline constexpr char ORXVideoAspect[] = "ORXVideoAspect";
inline constexpr char ORXAverageBitrate[] = "ORXAverageBitrate";
inline constexpr char ORXKeyframeSpacing[] = "ORXKeyframeSpacing";
inline constexpr char ORXSubKeySpacing[] = "ORXSubKeySpacing";
inline constexpr char ORXScaler[] = "ORXScaler";
inline constexpr char ORXVideoHelpButton[] = "ORXVideoHelpButton";
inline constexpr char ORXAudioSampleSize[] = "ORXAudioSampleSize";
inline constexpr char ORXAudioBitRate[] = "ORXAudioBitRate";
inline constexpr char ORXAudioHelpButton[] = "ORXAudioHelpButton";
inline constexpr char ORXLogFile[] = "ORXLogFile";
inline constexpr char ORXNumEncoders[] = "ORXNumEncoders";
inline constexpr char ORXNumGPUs[] = "ORXNumGPUs";

}  // namespace orx::plugin
