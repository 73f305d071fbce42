#pragma once
// The user's choices in the plug-in's list parameters: the container (ORXMultiplexerContainer),
// the video codec (ORXVideoCodec) and the audio codec (ADBEAudioCodec). The values are the ones
// the parameters carry, which the export state, the exporter instance and the transcode
// configuration keep as plain words.
#include <cstdint>

namespace orx::plugin {

enum class ContainerChoice : int32_t {
  kElementary = 0,        // "None (Elementary)": the streams go to separate files
  kMpeg2Program = 1,      // "Mpeg2 (Program)"
  kMp4 = 2,               // "MPEG-4 (.mp4)"
  kQuickTime = 3,         // "Quicktime (.mov)"
  kAsf = 4,               // offered by no file type; the target stream rule takes it for ASF
  kF4v = 6,               // "F4V"
  kEncoreCompatible = 7,  // "None (Encore Compatible)": an elementary video stream
};

enum class VideoCodecChoice : int32_t {
  kMpeg2 = 0,
  kMpeg4 = 1,  // MPEG-4 Part 2
  kH264 = 2,
  kWmv9 = 3,
  kWmv9Advanced = 4,
  kVc1 = 5,
  kDivx = 6,
};

enum class AudioCodecChoice : int32_t {
  kPcm = 0,
  kMpegLayer2 = 1,
  kMpegLayer3 = 2,
  kWma = 3,
  kAac = 4,
};

// The choice a parameter value or a kept word names; a value outside the list stays itself.
template <class Choice>
constexpr Choice ChoiceOf(int64_t value) {
  return static_cast<Choice>(value);
}

// The value a parameter and the kept words carry for a choice.
template <class Choice>
constexpr int32_t ChoiceValue(Choice choice) {
  return static_cast<int32_t>(choice);
}

}  // namespace orx::plugin
