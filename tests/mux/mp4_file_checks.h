#pragma once
// Reading back an MP4 or QuickTime file we wrote: what ffprobe, ffmpeg and faad say of it
// against the streams that went in, and a walk over its boxes.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/mux/mp4_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"

namespace orx::mux::test {

struct Mp4Expectation {
  std::string majorBrand;
  const H264Stream* video = nullptr;  // null: no video track
  const AacStream* audio = nullptr;   // null: no audio track
};
// Adds a failure for every way the file differs from what went in.
void CheckMp4File(const std::string& path, const Mp4Expectation& expect);

// What an export's encoders send qvacmux for these streams (null: the pin is not connected),
// for the output type of MP4 targets. The H.264 format carries the header (avcC or our
// encoder's Annex B form) as its codec-private bytes.
ComponentRun MakeMp4ComponentRun(const H264Stream* video, bool avcC, const AacStream* audio);

// The core's run of the same streams for a container type; the video samples (when given) are
// put in `videoSamples`, led by the header sample the component makes of an avcC record.
CoreRun MakeMp4CoreRun(uint32_t muxType, const H264Stream* video, const AacStream* audio,
                       std::vector<EsSample>& videoSamples);
// Runs it; the file's bytes (the first segment), or empty after a failure.
std::vector<uint8_t> RunMp4Core(const CoreRun& run);

// Creation and modification times zeroed (mvhd, tkhd, mdhd), so two runs compare.
std::vector<uint8_t> WithoutTimes(std::vector<uint8_t> bytes);

// The boxes of a file, by path: "moov/trak[1]/mdia" (the index picks among boxes of one type).
struct Mp4Box {
  std::string type;
  size_t offset = 0;
  size_t size = 0;
  size_t payload = 0;  // offset of the contents (after size, type and a 64-bit size)
  std::vector<Mp4Box> children;
};
struct Mp4BoxTree {
  std::vector<Mp4Box> top;
  // The type of the i-th top-level box, or "" when there is none.
  std::string Path(size_t i) const { return i < top.size() ? top[i].type : ""; }
  const Mp4Box* Find(const std::string& path) const;
  // The children's types separated by spaces.
  std::string ChildTypes(const std::string& path) const;
};
Mp4BoxTree ReadMp4Boxes(const std::vector<uint8_t>& bytes);
uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t at);

// ffprobe's packets of one stream: presentation time (ms) and key flag, in file order.
struct ProbedPacket {
  double ptsMs = 0;
  bool key = false;
};
std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream);
std::map<std::string, std::string> ProbeFormat(const std::string& path);

}  // namespace orx::mux::test
