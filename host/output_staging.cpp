#include "host/output_staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orx::host {
namespace {

// The plug-in's own two-pass files take these endings after the stem of the path it writes.
const char* const kPlugInEndings[] = {"tmp", "pcm", "mpa", "mp3", "wma", "aac", "raw"};
constexpr size_t kSignalPaths = 1 + sizeof(kPlugInEndings) / sizeof(kPlugInEndings[0]);
constexpr size_t kSignalPathBytes = 4096;

// What a signal handler removes: written before an export starts, read only by the handler.
char g_signalPaths[kSignalPaths][kSignalPathBytes];
std::atomic<bool> g_signalPathsSet{false};

void PublishForSignals(const std::string& staging, const std::string& stem) {
  g_signalPathsSet = false;
  if (staging.size() + 1 > kSignalPathBytes || stem.size() + 6 > kSignalPathBytes) return;
  std::memcpy(g_signalPaths[0], staging.c_str(), staging.size() + 1);
  for (size_t i = 1; i < kSignalPaths; ++i) {
    std::string path = stem + "." + kPlugInEndings[i - 1];
    std::memcpy(g_signalPaths[i], path.c_str(), path.size() + 1);
  }
  g_signalPathsSet = true;
}

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

void DiscardStagedOutputFromSignal() {
  if (!g_signalPathsSet.load()) return;
  for (size_t i = 0; i < kSignalPaths; ++i) ::unlink(g_signalPaths[i]);
}

OutputStaging::~OutputStaging() { Discard(); }

bool OutputStaging::Prepare(const std::string& output, std::string& error) {
  Discard();
  output_ = output;
  struct stat st {};
  if (::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = "the output " + output + " exists and is not a regular file (" +
            (S_ISDIR(st.st_mode) ? "a folder" : S_ISFIFO(st.st_mode) ? "a FIFO" : "a device") +
            "): it is never written over";
    return false;
  }
  size_t slash = output.rfind('/');
  folder_ = slash == std::string::npos ? std::string() : output.substr(0, slash + 1);
  std::string name = output.substr(folder_.size());
  if (name.empty()) {
    error = "the output " + output + " names a folder, not a file";
    return false;
  }
  // The extension as the plug-in finds it: after the name's last dot.
  size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string(".part") : name.substr(dot);
  outputStem_ = dot == std::string::npos ? name : name.substr(0, dot);
  std::string pattern = folder_ + "." + outputStem_ + ".orx-XXXXXX" + extension;
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkstemps(buffer.data(), static_cast<int>(extension.size()));
  if (fd < 0) {
    error = "cannot write the output " + output + ": " + Reason(errno);
    return false;
  }
  // The output gets the permissions a newly created file would have.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  staging_ = buffer.data();
  stagingStem_ = staging_.substr(folder_.size(), staging_.size() - folder_.size() - extension.size());
  active_ = true;
  PublishForSignals(staging_, folder_ + stagingStem_);
  return true;
}

std::vector<std::string> OutputStaging::StagedSiblings() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder_.empty() ? "." : folder_.c_str());
  if (dir == nullptr) return names;
  std::string prefix = stagingStem_ + ".";
  std::string stagingName = staging_.substr(folder_.size());
  while (struct dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != stagingName && name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool OutputStaging::Commit(std::string& error) {
  if (!active_) {
    error = "nothing was staged for " + output_;
    return false;
  }
  // The files beside the output first, the output last: once it bears its name, all is there.
  for (const std::string& name : StagedSiblings()) {
    std::string target = folder_ + outputStem_ + name.substr(stagingStem_.size());
    if (::rename((folder_ + name).c_str(), target.c_str()) != 0) {
      error = "cannot move the export's file into place as " + target + ": " + Reason(errno);
      Discard();
      return false;
    }
  }
  if (::rename(staging_.c_str(), output_.c_str()) != 0) {
    error = "cannot move the export into place as " + output_ + ": " + Reason(errno);
    Discard();
    return false;
  }
  active_ = false;
  g_signalPathsSet = false;
  return true;
}

void OutputStaging::Discard() {
  if (!active_) return;
  g_signalPathsSet = false;
  for (const std::string& name : StagedSiblings()) ::unlink((folder_ + name).c_str());
  ::unlink(staging_.c_str());
  active_ = false;
}

}  // namespace orx::host
