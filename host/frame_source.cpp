#include "host/frame_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/test_pattern.h"

namespace orx::host {
namespace {

// One line of at most 4096 characters without its line break; false at the end or when longer.
bool ReadLine(FILE* file, std::string& line) {
  line.clear();
  for (int c; (c = std::fgetc(file)) != EOF;) {
    if (c == '\n') return true;
    if (line.size() > 4096) return false;
    line.push_back(static_cast<char>(c));
  }
  return false;
}

}  // namespace

FrameSource::~FrameSource() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (fd_ >= 0) ::close(fd_);
}

bool FrameSource::OpenY4m(const std::string& path, std::string& error) {
  int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = "cannot read " + path + ": " + std::strerror(EISDIR);
    return false;
  }
  // The header (and, for a regular file, the index) through a buffered reader of the one
  // descriptor; a regular file's frames are then read at their offsets.
  FILE* file = ::fdopen(regular ? ::dup(fd) : fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  std::string why;
  if (!ReadLine(file, line) || !support::ParseY4mHeader(line, header_, &why)) {
    std::fclose(file);
    if (regular) ::close(fd);
    error = path + " is not a Y4M file" + (why.empty() ? "" : ": " + why);
    return false;
  }
  if (header_.chroma != support::Y4mChroma::k420) {
    std::fclose(file);
    if (regular) ::close(fd);
    error = path + ": only 4:2:0 Y4M files are read (convert with ffmpeg -pix_fmt yuv420p)";
    return false;
  }
  frameBytes_ = header_.FrameBytes();
  width_ = header_.width;
  height_ = header_.height;
  patternFrames_ = 0;
  offsets_.clear();
  if (!regular) {
    stream_ = file;
    return true;
  }
  while (ReadLine(file, line)) {
    if (line.compare(0, 5, "FRAME") != 0) {
      std::fclose(file);
      ::close(fd);
      error = path + ": damaged frame header after frame " + std::to_string(offsets_.size());
      return false;
    }
    long at = std::ftell(file);
    // A last frame cut short is not a frame.
    if (at < 0 || at + static_cast<int64_t>(frameBytes_) > st.st_size) break;
    offsets_.push_back(at);
    if (std::fseek(file, static_cast<long>(frameBytes_), SEEK_CUR) != 0) break;
  }
  std::fclose(file);
  if (offsets_.empty()) {
    ::close(fd);
    error = path + " has no frames";
    return false;
  }
  fd_ = fd;
  return true;
}

void FrameSource::UsePattern(int width, int height, int64_t frames) {
  width_ = width;
  height_ = height;
  frameBytes_ = support::TestPatternFrameBytes(width, height);
  offsets_.clear();
  patternFrames_ = frames;
}

bool FrameSource::ReadStreamed(int64_t index, uint8_t* out) const {
  std::lock_guard<std::mutex> lock(streamMutex_);
  std::string line;
  while (!streamEnded_ && index >= windowFirst_ + static_cast<int64_t>(window_.size())) {
    // A stream that ends, cleanly or cut short, ends the sequence's new frames there.
    if (!ReadLine(stream_, line) || line.compare(0, 5, "FRAME") != 0) {
      streamEnded_ = true;
      break;
    }
    std::vector<uint8_t> frame(frameBytes_);
    if (std::fread(frame.data(), 1, frameBytes_, stream_) != frameBytes_) {
      streamEnded_ = true;
      break;
    }
    window_.push_back(std::move(frame));
    if (static_cast<int64_t>(window_.size()) > kStreamWindow) {
      window_.pop_front();
      ++windowFirst_;
    }
  }
  if (window_.empty()) return false;
  // Past the stream's end: its last frame; before the window: its first.
  int64_t at = index - windowFirst_;
  if (at < 0) at = 0;
  if (at >= static_cast<int64_t>(window_.size())) at = static_cast<int64_t>(window_.size()) - 1;
  std::memcpy(out, window_[static_cast<size_t>(at)].data(), frameBytes_);
  return true;
}

bool FrameSource::Read(int64_t index, uint8_t* out) const {
  if (index < 0) index = 0;
  if (streamed()) return ReadStreamed(index, out);
  if (frameCount() == 0) return false;
  if (index >= frameCount()) index = frameCount() - 1;
  if (offsets_.empty()) {
    support::RenderTestPattern(width_, height_, index, out);
    return true;
  }
  size_t done = 0;
  while (done < frameBytes_) {
    ssize_t n = ::pread(
        fd_, out + done, frameBytes_ - done,
        static_cast<off_t>(offsets_[static_cast<size_t>(index)] + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace orx::host
