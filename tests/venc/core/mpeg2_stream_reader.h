#pragma once
// Reading back an MPEG-2 video elementary stream for the tests: the picture headers a VBV check
// needs (read here), and the header fields ffmpeg's trace_headers filter prints, the GOP time
// codes ffprobe reports and the decoded pictures (read by ffmpeg, the independent oracle).
#include <cstdint>
#include <string>
#include <vector>

#include "tests/venc/core/vbv_checker.h"

namespace orx::venc::test {

// What the picture headers carry: the stream position after each picture start code, where its
// data ends, vbv_delay and q_scale_type (-1 without a coding extension).
struct PictureHeader {
  int64_t startCodeEnd;
  int64_t dataEnd;
  int vbvDelay;
  int qScaleType;
};
std::vector<PictureHeader> ReadPictureHeaders(const std::vector<uint8_t>& es);
std::vector<VbvPicture> VbvPictures(const std::vector<PictureHeader>& headers);

// Every start code of a stream in order: its position (of the 00 00 01) and its code byte
// (0xB3 sequence header, 0xB8 GOP, 0x00 picture, 0x01-0xAF slice of that macroblock row + 1,
// 0xB7 sequence end).
struct StartCode {
  size_t position;
  uint8_t code;
};
std::vector<StartCode> StartCodesOf(const std::vector<uint8_t>& es);
int CountStartCodes(const std::vector<uint8_t>& es, uint8_t code);

// What a sequence header (its start code at `position`) says: size, bit_rate_value (400 bit/s)
// and vbv_buffer_size_value (16384 bits).
struct SequenceHeaderFields {
  int width;
  int height;
  int bitRateValue;
  int vbvBufferSizeValue;
};
std::vector<SequenceHeaderFields> SequenceHeadersOf(const std::vector<uint8_t>& es);

// The header fields of ffmpeg's trace_headers, in stream order.
struct HeaderTrace {
  std::string pictureTypes;  // coding order: I, P, B
  std::vector<int> progressiveSequence;  // per sequence extension
  std::vector<int> topFieldFirst;  // per picture coding extension
  std::vector<int> progressiveFrame;
  std::vector<int> closedGop;  // per GOP header
  std::vector<int> dropFrame;
  int sequenceHeaders = 0;
  std::vector<int> profileAndLevel;
  std::vector<int> bitRateValue;  // per sequence header, 400 bit/s units
  std::vector<int> bitRateExtension;  // per sequence extension
  bool ok = false;
  std::string log;
};
HeaderTrace TraceHeaders(const std::string& path);

// "hh:mm:ss;ff" / "hh:mm:ss:ff" per GOP, as ffprobe prints the frames' GOP time code side data.
std::vector<std::string> GopTimeCodes(const std::string& path);

std::string WriteStreamFile(const std::vector<uint8_t>& stream, const std::string& tag, const std::string& name);
bool EndsWithSequenceEnd(const std::vector<uint8_t>& stream);

}  // namespace orx::venc::test
