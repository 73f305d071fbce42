#pragma once
// H.264 and AAC elementary streams made by ffmpeg at test time and cut the way our encoders
// deliver them: every NAL unit in its own buffer behind 00 00 00 01, the first buffer of each
// picture marked and timed; AAC raw blocks (the ADTS headers cut off), one per buffer. Also the
// readers that take back what ffmpeg copies out of a file we wrote.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {

struct H264Options {
  int width = 720;
  int height = 480;
  const char* rate = "30000/1001";
  int frames = 30;
  int bFrames = 2;        // between anchors; no B pyramid
  bool intraOnly = false;
};

struct H264Stream {
  std::string path;
  int width = 0;
  int height = 0;
  double frameRate = 0;
  uint32_t framesPer1000s = 0;  // the video format's frame rate
  std::vector<EsSample> buffers;                  // one NAL unit each, as our encoder delivers them
  std::vector<int64_t> pictureTimesMs;            // decode order
  std::vector<bool> idr;                          // decode order
  std::vector<std::vector<uint8_t>> slices;       // slice NAL units (without start codes), decode order
  std::vector<uint8_t> sps, pps;
  std::vector<uint8_t> annexBHeader;  // access-unit delimiter, SPS, PPS behind 3-byte start codes
  std::vector<uint8_t> avcC;          // the same parameter sets as an avcC record
};
H264Stream MakeH264Stream(const H264Options& options);

struct AacStream {
  std::string path;
  int sampleRate = 48000;
  int channels = 2;
  int bitRate = 128000;
  std::vector<EsSample> frames;  // raw blocks
};
AacStream MakeAacStream(int sampleRate, int channels, int kbps, double seconds);

// NAL units of an Annex B stream (without start codes).
std::vector<std::vector<uint8_t>> AnnexBNalUnits(const std::vector<uint8_t>& stream);
// Only the slices among them.
std::vector<std::vector<uint8_t>> SliceNalUnits(const std::vector<uint8_t>& stream);
// The raw blocks of an ADTS stream.
std::vector<std::vector<uint8_t>> AdtsPayloads(const std::vector<uint8_t>& stream);

}  // namespace orx::mux::test
