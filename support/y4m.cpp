#include "support/y4m.h"

#include <cstdlib>
#include <sstream>

namespace orx::support {
namespace {

bool ParseRatio(const std::string& text, int& num, int& den) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + colon) return false;
  long d = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || n < 0 || d < 0 || n > 0x7FFFFFFF || d > 0x7FFFFFFF) return false;
  num = static_cast<int>(n);
  den = static_cast<int>(d);
  return true;
}

bool ChromaFromTag(const std::string& tag, Y4mChroma& chroma) {
  // 8-bit sample formats only.
  if (tag == "420jpeg" || tag == "420paldv" || tag == "420mpeg2" || tag == "420") chroma = Y4mChroma::k420;
  else if (tag == "422") chroma = Y4mChroma::k422;
  else if (tag == "444") chroma = Y4mChroma::k444;
  else if (tag == "mono") chroma = Y4mChroma::kMono;
  else return false;
  return true;
}

}  // namespace

int Y4mHeader::ChromaWidth() const {
  switch (chroma) {
    case Y4mChroma::k420:
    case Y4mChroma::k422: return (width + 1) / 2;
    case Y4mChroma::k444: return width;
    case Y4mChroma::kMono: return 0;
  }
  return 0;
}

int Y4mHeader::ChromaHeight() const {
  switch (chroma) {
    case Y4mChroma::k420: return (height + 1) / 2;
    case Y4mChroma::k422:
    case Y4mChroma::k444: return height;
    case Y4mChroma::kMono: return 0;
  }
  return 0;
}

size_t Y4mHeader::FrameBytes() const {
  return LumaBytes() + 2 * static_cast<size_t>(ChromaWidth()) * ChromaHeight();
}

bool ParseY4mHeader(const std::string& line, Y4mHeader& out, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::istringstream in(line);
  std::string word;
  if (!(in >> word) || word != "YUV4MPEG2") return fail("not a YUV4MPEG2 stream");
  Y4mHeader h;
  while (in >> word) {
    const char tag = word[0];
    const std::string value = word.substr(1);
    switch (tag) {
      case 'W': h.width = std::atoi(value.c_str()); break;
      case 'H': h.height = std::atoi(value.c_str()); break;
      case 'F':
        if (!ParseRatio(value, h.rateNum, h.rateDen) || h.rateNum == 0 || h.rateDen == 0)
          return fail("bad frame rate " + value);
        break;
      case 'A':
        if (!ParseRatio(value, h.aspectNum, h.aspectDen)) return fail("bad aspect " + value);
        break;
      case 'I':
        if (value.size() != 1 || std::string("ptbm").find(value[0]) == std::string::npos)
          return fail("bad interlace " + value);
        h.interlace = value[0];
        break;
      case 'C':
        if (!ChromaFromTag(value, h.chroma)) return fail("unsupported colour space " + value);
        h.colorspace = value;
        break;
      default: break;  // X comments and unknown tags
    }
  }
  if (h.width <= 0 || h.height <= 0 || h.width > 16384 || h.height > 16384)
    return fail("bad frame size");
  out = h;
  return true;
}

std::string FormatY4mHeader(const Y4mHeader& h) {
  std::ostringstream out;
  out << "YUV4MPEG2 W" << h.width << " H" << h.height << " F" << h.rateNum << ':' << h.rateDen
      << " I" << h.interlace << " A" << h.aspectNum << ':' << h.aspectDen << " C" << h.colorspace;
  return out.str();
}

Y4mReader::~Y4mReader() { Close(); }

void Y4mReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool Y4mReader::Open(const std::string& path) {
  Close();
  error_.clear();
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    error_ = "cannot open " + path;
    return false;
  }
  std::string line;
  int c;
  while ((c = std::fgetc(file_)) != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    if (line.size() > 4096) break;
  }
  if (c != '\n' || !ParseY4mHeader(line, header_, &error_)) {
    if (error_.empty()) error_ = "bad stream header";
    Close();
    return false;
  }
  return true;
}

bool Y4mReader::ReadFrame(std::vector<uint8_t>& frame) {
  error_.clear();
  if (!file_) {
    error_ = "not open";
    return false;
  }
  std::string line;
  int c;
  while ((c = std::fgetc(file_)) != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    if (line.size() > 4096) break;
  }
  if (c == EOF && line.empty()) return false;  // clean end
  if (c != '\n' || line.rfind("FRAME", 0) != 0) {
    error_ = "bad frame header";
    return false;
  }
  frame.resize(header_.FrameBytes());
  if (std::fread(frame.data(), 1, frame.size(), file_) != frame.size()) {
    error_ = "truncated frame";
    return false;
  }
  return true;
}

Y4mWriter::~Y4mWriter() { Close(); }

bool Y4mWriter::Open(const std::string& path, const Y4mHeader& header) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  header_ = header;
  std::string line = FormatY4mHeader(header) + "\n";
  return std::fwrite(line.data(), 1, line.size(), file_) == line.size();
}

bool Y4mWriter::WriteFrame(const uint8_t* planes, size_t bytes) {
  if (!file_ || bytes != header_.FrameBytes()) return false;
  static const char kFrame[] = "FRAME\n";
  return std::fwrite(kFrame, 1, 6, file_) == 6 && std::fwrite(planes, 1, bytes, file_) == bytes;
}

bool Y4mWriter::Close() {
  if (!file_) return true;
  bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

}  // namespace orx::support
