#pragma once
// Drives CMultiplexer directly, as the component's pump would, into an in-memory bit stream,
// and reads back what it wrote with ffprobe, ffmpeg and dvdauthor.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mux/core/mux_interfaces.h"
#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {

class MemoryBitStream final : public IMuxBitStream {
 public:
  uint8_t* GetBuffer(uint32_t size) override;
  uint8_t* Write(MuxWriteDesc* desc, uint32_t count) override;
  void Reset() override { buffer_.clear(); }

  // Output so far; a write of no bytes starts a new segment (the size limit's signal).
  std::vector<std::vector<uint8_t>> segments = {{}};
  std::vector<MuxWriteDesc> writes;

 private:
  std::vector<uint8_t> buffer_;
};

// Feeds both sample lists in the order the multiplexer asks for them, each stream ended by an
// end-of-stream sample. Answers false when the multiplexer stops taking samples.
bool FeedMultiplexer(IMultiplexer& mux, const std::vector<EsSample>* video, const std::vector<EsSample>* audio);

// Opens a CMultiplexer for the given type and formats, feeds it and closes it.
struct CoreRun {
  uint32_t muxType = 6;
  uint32_t audioClass = kAudioClassMpeg;
  uint32_t codecHint = kHintDetect;
  uint64_t maxFileSize = 0;
  MuxVideoFormat videoFormat;
  MuxAudioFormat audioFormat;
  const std::vector<EsSample>* video = nullptr;
  const std::vector<EsSample>* audio = nullptr;
};
bool RunCore(const CoreRun& run, MemoryBitStream& out);

// The walk over a program stream of fixed pack size.
struct ProgramStreamWalk {
  size_t packs = 0;
  bool everyPackStartsWithBa = true;
  bool scrNeverDecreases = true;
  bool firstPackHasSystemHeader = false;
  std::vector<uint8_t> firstSystemHeaderEntries;  // stream id, P-STD bytes...
  uint32_t muxRate = 0;                            // bytes per second of the first pack
  uint32_t systemRateBound = 0;                    // bytes per second
  size_t endCodes = 0;
  std::vector<uint64_t> scr27MHz;
};
ProgramStreamWalk WalkProgramStream(const std::vector<uint8_t>& bytes, size_t packSize);

// ffmpeg -i file -map <map> -c copy -f <format> -: the stream's elementary bytes.
std::vector<uint8_t> CopyStream(const std::string& path, const std::string& map, const std::string& format);
// ffmpeg -v error -i file -f null -: what it prints (empty for a clean stream).
std::string DecodeErrors(const std::string& path);
// The PTS (ms) of the packets of one stream, in file order.
std::vector<double> ProbePacketPts(const std::string& path, const std::string& stream);
// The time one stream's packets cover (first PTS to the end of the last packet), in seconds.
double ProbeStreamSeconds(const std::string& path, const std::string& stream);
// dvdauthor -o dir -t file, then -T: every "ERR:" line, or why it could not run.
std::string DvdauthorErrors(const std::string& path, const std::string& videoFormat);

std::vector<uint8_t> Concatenate(const std::vector<EsSample>& samples);

}  // namespace orx::mux::test
