#pragma once
// What the MP4 and QuickTime writer keeps while a file is written: the two tracks' indexes and
// counts, the access unit being gathered, the H.264 parameter sets and the audio sample sizes.
// Every allocation is owned here, so a stream abandoned before its movie box frees it all too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mux/mp4/mp4_index.h"

namespace orx::mux {

struct Mp4TrackState {
  Mp4IndexChain index;
  uint32_t samples = 0;
  uint64_t end = 0;  // file offset just after the track's last sample
};

struct Mp4FileState {
  static constexpr size_t kNoOpenNal = static_cast<size_t>(-1);

  Mp4TrackState video;
  Mp4TrackState audio;
  uint32_t headerLength = 0;  // bytes before the first media byte
  uint32_t creationTime = 0;  // seconds since 1904-01-01 UTC

  // The access unit being gathered: NAL units with 4-byte lengths for H.264, else the bytes.
  std::vector<uint8_t> accessUnit;
  uint32_t pictureType = 0;   // 0 until a sample of the unit tells it
  bool unitTimed = false;
  double unitTime = 0;        // seconds, the unit's first time stamp
  size_t openNalAt = kNoOpenNal;  // the length field of the NAL still open in accessUnit
  bool droppingNal = false;   // the open NAL is left out of the sample (it continues into the next)
  bool firstTimeKnown = false;
  double firstTime = 0;       // the first unit's time: presentation times count from it

  std::vector<uint8_t> sps;
  std::vector<uint8_t> pps;

  bool videoTimeValid = false;
  double videoTime = 0;
  uint32_t smallestAudio = 0xFFFFFFFFu;
  uint32_t largestAudio = 0;
  uint32_t audioSinceVideo = 0;
};

}  // namespace orx::mux
