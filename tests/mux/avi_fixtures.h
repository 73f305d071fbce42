#pragma once
// Elementary streams for the AVI and ASF files: MPEG-4 Part 2 with B pictures and MP3 made by
// ffmpeg, split the way our encoders deliver samples, and the checks that read an AVI file back
// (ffprobe, ffmpeg, mkvmerge) and walk its chunks.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {

// MPEG-4 Part 2 (GOP 12, two B pictures between anchors) of a lavfi pattern.
EsFixture Mpeg4Video(int width, int height, const std::string& rate, int frames);
// MP3 (libmp3lame) of a tone, stereo, 1152 samples per frame.
EsFixture Mp3Audio(int sampleRate, int bitRateK, double seconds);

// One chunk or list of a RIFF file, in file order, lists descended into.
struct RiffItem {
  std::string id;    // chunk id, or "LIST:<type>" / "RIFF:<type>"
  uint64_t offset = 0;
  uint32_t size = 0;
};
// Walks the top-level RIFF segments and every list in them; answers false on a chunk that runs
// past its parent or the file.
bool WalkRiff(const std::vector<uint8_t>& bytes, std::vector<RiffItem>& items);
size_t CountRiff(const std::vector<RiffItem>& items, const std::string& id);

uint32_t LoadU32(const std::vector<uint8_t>& bytes, uint64_t at);
uint16_t LoadU16(const std::vector<uint8_t>& bytes, uint64_t at);

// mkvmerge -i: the lines naming tracks.
std::vector<std::string> MkvmergeTracks(const std::string& path);

}  // namespace orx::mux::test
