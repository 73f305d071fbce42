#pragma once
// ffmpeg and ffprobe runs over the streams the tests write: decoding with the strict options,
// the header fields of `trace_headers`, the `-debug mb_type` grid, and picture conversions
// between ffmpeg's planar frames and the encoder's layouts.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"

namespace orx::venc::test {

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Decodes with -xerror -err_detect explode and the simple inverse DCT (a fixed reference).
// MPEG-1 streams are read as MPEG video elementary streams like MPEG-2 ones.
bool DecodeStrict(const std::string& path, orx::test::RawVideo& out, std::string* log = nullptr);
// The same for an MPEG-4 Part 2 elementary stream.
bool DecodeStrictMpeg4(const std::string& path, orx::test::RawVideo& out, std::string* log = nullptr);
// The same for an H.264 Annex B stream.
bool DecodeStrictH264(const std::string& path, orx::test::RawVideo& out, std::string* log = nullptr);

// One field of `-bsf:v trace_headers`: the section heading above it, its name and value, and
// the packet it belongs to (-1 for the extradata).
struct TraceField {
  int packet = -1;
  std::string section;
  std::string name;
  int64_t value = 0;
};
std::vector<TraceField> TraceHeaders(const std::string& path, std::string* log = nullptr);
// The same for an H.264 byte stream (every unit, parameter sets and SEI messages included).
std::vector<TraceField> TraceH264Headers(const std::string& path, std::string* log = nullptr);
// Values of every field of that name (in stream order), optionally only in one section.
std::vector<int64_t> FieldValues(const std::vector<TraceField>& fields, const std::string& name,
                                 const std::string& section = "");

// The `-debug mb_type` grid of every decoded picture, in decoding order: one string per
// macroblock row with one character per macroblock (i intra, S skipped, > forward,
// < backward, X both directions, ...).
struct MbTypePicture {
  char type = '?';  // I, P or B
  std::vector<std::string> rows;
};
std::vector<MbTypePicture> DebugMbTypes(const std::string& path, std::string* log = nullptr);
// The same for an H.264 stream: each cell is the macroblock's type character followed by its
// partition character (' ' 16x16 or intra, '-' 16x8, '|' 8x16, '+' 8x8); the types are
// i (intra 4x4), I (intra 16x16), S (P_Skip), d (B_Skip), D (B_Direct_16x16), > (list 0),
// < (list 1), X (both).
std::vector<MbTypePicture> DebugMbTypesH264(const std::string& path, std::string* log = nullptr);

}  // namespace orx::venc::test
