#include "tests/venc/core/mpeg2_stream_reader.h"

#include <fstream>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::venc::test {

std::vector<PictureHeader> ReadPictureHeaders(const std::vector<uint8_t>& es) {
  std::vector<PictureHeader> pictures;
  for (size_t i = 0; i + 8 < es.size(); ++i) {
    if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) continue;
    const uint8_t code = es[i + 3];
    // A sequence header, GOP header, picture or sequence end starts after the previous picture.
    if ((code == 0xB3 || code == 0xB8 || code == 0x00 || code == 0xB7) && !pictures.empty() &&
        pictures.back().dataEnd == 0) {
      pictures.back().dataEnd = static_cast<int64_t>(i) * 8;
    }
    if (code == 0x00) {
      // temporal_reference (10), picture_coding_type (3), vbv_delay (16).
      const uint32_t bits = (uint32_t{es[i + 4]} << 24) | (uint32_t{es[i + 5]} << 16) |
                            (uint32_t{es[i + 6]} << 8) | es[i + 7];
      pictures.push_back({static_cast<int64_t>(i + 4) * 8, 0, static_cast<int>((bits >> 3) & 0xFFFF), -1});
    } else if (code == 0xB5 && (es[i + 4] >> 4) == 8 && !pictures.empty()) {
      // Picture coding extension: f_codes (16), intra_dc_precision (2), picture_structure (2),
      // top_field_first, frame_pred_frame_dct, concealment_motion_vectors, q_scale_type.
      pictures.back().qScaleType = (es[i + 7] >> 4) & 1;
    }
  }
  if (!pictures.empty() && pictures.back().dataEnd == 0) {
    pictures.back().dataEnd = static_cast<int64_t>(es.size()) * 8;
  }
  return pictures;
}

std::vector<VbvPicture> VbvPictures(const std::vector<PictureHeader>& headers) {
  std::vector<VbvPicture> pictures;
  for (const PictureHeader& h : headers) pictures.push_back({h.startCodeEnd, h.dataEnd, h.vbvDelay});
  return pictures;
}

std::vector<StartCode> StartCodesOf(const std::vector<uint8_t>& es) {
  std::vector<StartCode> codes;
  for (size_t i = 0; i + 3 < es.size(); ++i) {
    if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) codes.push_back({i, es[i + 3]});
  }
  return codes;
}

int CountStartCodes(const std::vector<uint8_t>& es, uint8_t code) {
  int count = 0;
  for (const StartCode& c : StartCodesOf(es)) count += c.code == code ? 1 : 0;
  return count;
}

std::vector<SequenceHeaderFields> SequenceHeadersOf(const std::vector<uint8_t>& es) {
  std::vector<SequenceHeaderFields> headers;
  for (const StartCode& c : StartCodesOf(es)) {
    const size_t i = c.position;
    if (c.code != 0xB3 || i + 12 > es.size()) continue;
    // horizontal_size (12), vertical_size (12), aspect (4), frame rate code (4), bit_rate_value (18),
    // marker (1), vbv_buffer_size_value (10).
    headers.push_back({(es[i + 4] << 4) | (es[i + 5] >> 4), ((es[i + 5] & 15) << 8) | es[i + 6],
                       (es[i + 8] << 10) | (es[i + 9] << 2) | (es[i + 10] >> 6),
                       ((es[i + 10] & 31) << 5) | (es[i + 11] >> 3)});
  }
  return headers;
}

HeaderTrace TraceHeaders(const std::string& path) {
  HeaderTrace trace;
  const orx::test::ProcessResult run =
      orx::test::RunProcess({orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "trace", "-i", path, "-c", "copy",
                             "-bsf:v", "trace_headers", "-f", "null", "-"});
  trace.ok = run.exitCode == 0;
  if (!trace.ok) trace.log = run.err;
  std::istringstream lines(run.err);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("[trace_headers") == std::string::npos) continue;
    const size_t eq = line.rfind(" = ");
    if (eq == std::string::npos) continue;
    std::istringstream fields(line.substr(line.find(']') + 1));
    std::string position, name;
    fields >> position >> name;
    const int value = std::stoi(line.substr(eq + 3));
    if (name == "sequence_header_code") {
      trace.sequenceHeaders += 1;
    } else if (name == "picture_coding_type") {
      trace.pictureTypes += value == 1 ? 'I' : value == 2 ? 'P' : value == 3 ? 'B' : '?';
    } else if (name == "progressive_sequence") {
      trace.progressiveSequence.push_back(value);
    } else if (name == "profile_and_level_indication") {
      trace.profileAndLevel.push_back(value);
    } else if (name == "bit_rate_value") {
      trace.bitRateValue.push_back(value);
    } else if (name == "bit_rate_extension") {
      trace.bitRateExtension.push_back(value);
    } else if (name == "top_field_first") {
      trace.topFieldFirst.push_back(value);
    } else if (name == "progressive_frame") {
      trace.progressiveFrame.push_back(value);
    } else if (name == "closed_gop") {
      trace.closedGop.push_back(value);
    } else if (name == "drop_frame_flag") {
      trace.dropFrame.push_back(value);
    }
  }
  // The first sequence header is also printed as the stream's extradata.
  return trace;
}

std::vector<std::string> GopTimeCodes(const std::string& path) {
  const orx::test::ProcessResult run = orx::test::RunProcess(
      {orx::test::RequireProgram("ffprobe"), "-v", "error", "-show_frames", "-show_entries", "frame_side_data=timecode",
       "-of", "default=noprint_wrappers=1", path});
  std::vector<std::string> codes;
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("timecode=", 0) == 0) codes.push_back(line.substr(9));
  }
  return codes;
}

std::string WriteStreamFile(const std::vector<uint8_t>& stream, const std::string& tag, const std::string& name) {
  const std::string path = orx::test::MakeTempDir(tag) + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                              static_cast<std::streamsize>(stream.size()));
  return path;
}

bool EndsWithSequenceEnd(const std::vector<uint8_t>& stream) {
  const size_t n = stream.size();
  return n >= 4 && stream[n - 4] == 0 && stream[n - 3] == 0 && stream[n - 2] == 1 && stream[n - 1] == 0xB7;
}

}  // namespace orx::venc::test
