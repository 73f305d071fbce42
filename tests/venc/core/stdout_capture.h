#pragma once
// Captures what the process (every library in it) writes to standard output while it lives: the
// encoder's console lines.
#include <unistd.h>

#include <cstdio>
#include <string>

namespace orx::venc::test {

class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    saved_ = dup(1);
    file_ = std::tmpfile();
    dup2(fileno(file_), 1);
  }
  ~StdoutCapture() {
    if (file_ != nullptr) Finish();
  }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string Finish() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    std::rewind(file_);
    std::string text;
    char chunk[512];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) text.append(chunk, n);
    std::fclose(file_);
    file_ = nullptr;
    return text;
  }

 private:
  int saved_ = -1;
  std::FILE* file_ = nullptr;
};

inline int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace orx::venc::test
