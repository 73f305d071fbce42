#pragma once
// What the AVI writer keeps while a file is written: the pending video frame, the standard,
// super and legacy indexes of both streams, the counts and the positions of every field patched
// at the end. Every allocation is owned here, so a file abandoned half way frees it all too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mux/avi/avi_chunks.h"

namespace orx::mux {

// The three limits of the writer. Tests lower them so that the segment and index paths run on
// small files.
struct AviLimits {
  uint64_t segmentBytes = 0x3F000000;  // bytes of one RIFF segment before an "AVIX" one begins
  uint32_t stdIndexEntries = 8000;     // entries of one standard index chunk
  uint32_t legacyEntries = 0x80000;    // entries of the legacy index of the first segment
  uint32_t superIndexEntries = kAviSuperIndexSlots;  // standard index chunks per stream

  // The limits in force: the test's, else the environment's (ORX_TEST_AVI_LIMITS = "segment
  // bytes,index entries,legacy entries,super-index entries", which reaches the component's own
  // copy of this library), else the defaults.
  static AviLimits Current();
  // Test hook: these limits from now on; a null pointer returns to the environment's.
  static void SetForTest(const AviLimits* limits);
};

struct AviStreamIndex {
  std::vector<AviStdIndexEntry> entries;  // pending standard-index entries
  std::vector<AviSuperIndexEntry> super;  // standard index chunks written
  uint64_t baseOffset = 0;
  uint32_t largestChunk = 0;              // header included
  uint32_t superDuration = 0;             // duration already covered by the super index
  AviStrlPositions positions;
};

struct AviFileState {
  AviLimits limits;
  std::vector<uint8_t> frame;  // the pending video frame, behind room for its chunk header
  bool framePending = false;
  std::vector<uint8_t> scratch;  // an audio chunk being written
  uint32_t audioScale = 1;
  AviStreamIndex video;
  AviStreamIndex audio;
  std::vector<AviLegacyEntry> legacy;
  uint32_t videoFrames = 0;
  uint32_t audioLength = 0;  // bytes, or sample frames for LPCM
  uint32_t extraSegments = 0;
  uint64_t riffBytes = 0;     // bytes of the current segment's "movi" list, its fourcc included
  uint64_t riffAt = 0;        // the current "RIFF" header
  uint64_t moviAt = 0;        // the current "movi" list header
  uint64_t avihAt = 0;
  uint64_t dmlhAt = 0;
  uint64_t firstMoviAt = 0;   // the first segment's "movi" fourcc, legacy offsets count from it
  double latestVideoTime = 0;
  bool superIndexFull = false;  // a stream used its last super-index slot
};

}  // namespace orx::mux
