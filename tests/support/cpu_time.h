#pragma once
// CPU time this process has used so far, for benchmarks that compare their own work with a
// reference run in the same process (or with a child's time reported the same way).
#include <sys/resource.h>

#include <cstdlib>
#include <string>

namespace orx::test {

// User-mode seconds only: the time spent in our own code.
inline double UserCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

// User plus system seconds: what a multi-threaded run costs the machine as a whole.
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The user seconds of an `ffmpeg -benchmark` run, from the "utime=" of its standard error;
// negative when the line is missing.
inline double FfmpegBenchmarkUserSeconds(const std::string& standardError) {
  const size_t at = standardError.find("utime=");
  return at == std::string::npos ? -1.0 : std::atof(standardError.c_str() + at + 6);
}

}  // namespace orx::test
