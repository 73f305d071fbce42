#include "tests/venc/mbenc/stream_tools.h"

#include <fstream>
#include <sstream>

#include "tests/support/process.h"

namespace orx::venc::test {
namespace {

// The text after "[name @ 0x...] " of a log line, or "" when the line has no such prefix.
std::string AfterContext(const std::string& line, const std::string& context) {
  const size_t at = line.find("[" + context + " @ ");
  if (at == std::string::npos) return "";
  const size_t end = line.find("] ", at);
  return end == std::string::npos ? "" : line.substr(end + 2);
}

}  // namespace

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

bool DecodeStrict(const std::string& path, orx::test::RawVideo& out, std::string* log) {
  orx::test::DecodeOptions options;
  options.inputArgs = {"-err_detect", "explode", "-idct", "simple", "-f", "mpegvideo"};
  return orx::test::DecodeVideo(path, out, options, log);
}

bool DecodeStrictMpeg4(const std::string& path, orx::test::RawVideo& out, std::string* log) {
  orx::test::DecodeOptions options;
  options.inputArgs = {"-err_detect", "explode", "-idct", "simple", "-f", "m4v"};
  return orx::test::DecodeVideo(path, out, options, log);
}

bool DecodeStrictH264(const std::string& path, orx::test::RawVideo& out, std::string* log) {
  orx::test::DecodeOptions options;
  options.inputArgs = {"-err_detect", "explode", "-f", "h264"};
  return orx::test::DecodeVideo(path, out, options, log);
}

namespace {

std::vector<TraceField> ParseTrace(const std::string& text) {
  std::vector<TraceField> fields;
  std::istringstream in(text);
  std::string line;
  int packet = -1;
  std::string section;
  while (std::getline(in, line)) {
    const std::string entry = AfterContext(line, "trace_headers");
    if (entry.empty()) continue;
    if (entry.rfind("Packet:", 0) == 0) {
      ++packet;
      continue;
    }
    const size_t eq = entry.rfind(" = ");
    if (eq == std::string::npos) {
      section = entry;
      continue;
    }
    std::istringstream parts(entry.substr(0, eq));
    std::string offset, name;
    parts >> offset >> name;
    fields.push_back({packet, section, name, std::stoll(entry.substr(eq + 3))});
  }
  return fields;
}

}  // namespace

std::vector<TraceField> TraceHeaders(const std::string& path, std::string* log) {
  // The trace filter rejects mpeg1video; named as mpeg2video the parser reads MPEG-1 too.
  const orx::test::ProcessResult r = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-hide_banner", "-nostdin", "-loglevel", "debug",
       "-c:v", "mpeg2video", "-f", "mpegvideo", "-i", path, "-c", "copy", "-bsf:v",
       "trace_headers", "-f", "null", "-"});
  if (log) *log = r.err;
  return ParseTrace(r.err);
}

std::vector<TraceField> TraceH264Headers(const std::string& path, std::string* log) {
  const orx::test::ProcessResult r = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-hide_banner", "-nostdin", "-loglevel", "debug",
       "-f", "h264", "-i", path, "-c", "copy", "-bsf:v", "trace_headers", "-f", "null", "-"});
  if (log) *log = r.err;
  return ParseTrace(r.err);
}

std::vector<int64_t> FieldValues(const std::vector<TraceField>& fields, const std::string& name,
                                 const std::string& section) {
  std::vector<int64_t> values;
  for (const TraceField& f : fields) {
    if (f.name == name && (section.empty() || f.section == section)) values.push_back(f.value);
  }
  return values;
}

namespace {

// Runs ffmpeg's macroblock-type debug output over the stream and collects the grids, keeping
// `keep` characters of every three-character cell.
std::vector<MbTypePicture> ReadMbTypeGrids(const std::string& path, const std::string& format,
                                           const std::vector<std::string>& contexts, size_t keep,
                                           bool skipProbing, std::string* log) {
  const orx::test::ProcessResult r = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-hide_banner", "-nostdin", "-loglevel", "debug",
       "-debug", "mb_type", "-threads", "1", "-f", format, "-i", path, "-f", "null", "-"});
  if (log) *log = r.err;
  std::vector<MbTypePicture> pictures;
  std::istringstream in(r.err);
  std::string line;
  bool inGrid = false;
  // The H.264 decoder already decodes (and reports) pictures while the input is probed.
  bool probing = skipProbing;
  while (std::getline(in, line)) {
    if (probing) {
      probing = line.find("Opening an output file") == std::string::npos;
      continue;
    }
    const size_t frame = line.find("New frame, type: ");
    if (frame != std::string::npos) {
      pictures.push_back({line[frame + 17], {}});
      inGrid = true;
      continue;
    }
    if (!inGrid) continue;
    std::string cells;
    for (const std::string& context : contexts) {
      if (cells.empty()) cells = AfterContext(line, context);
    }
    // Grid rows are cells of three characters from the grid's alphabet; anything else ends
    // the grid.
    while (!cells.empty() && (cells.back() == '\r' || cells.back() == '\n')) cells.pop_back();
    if (cells.empty() || cells.size() % 3 != 0 ||
        cells.find_first_not_of(" iIdDgGSPA><X+-|=?") != std::string::npos) {
      inGrid = false;
      continue;
    }
    std::string row;
    for (size_t i = 0; i < cells.size(); i += 3) row.append(cells, i, keep);
    pictures.back().rows.push_back(row);
  }
  return pictures;
}

}  // namespace

std::vector<MbTypePicture> DebugMbTypes(const std::string& path, std::string* log) {
  return ReadMbTypeGrids(path, "mpegvideo", {"mpeg2video", "mpeg1video"}, 1, false, log);
}

std::vector<MbTypePicture> DebugMbTypesH264(const std::string& path, std::string* log) {
  return ReadMbTypeGrids(path, "h264", {"h264"}, 2, true, log);
}

}  // namespace orx::venc::test
