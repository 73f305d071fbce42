// libFuzzer target: the host's Y4M reader (header, index and frames) on any bytes, both as a
// file it indexes and as a stream it reads forward.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/frame_source.h"

namespace {

std::string ScratchFile() {
  static const std::string path = "/tmp/orx-fuzz-y4m-" + std::to_string(::getpid()) + ".y4m";
  return path;
}

void ReadSome(const orx::host::FrameSource& source) {
  std::vector<uint8_t> frame(source.frameBytes());
  for (int64_t i : {0, 1, 2, 1000}) source.Read(i, frame.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchFile();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  {
    orx::host::FrameSource source;
    std::string error;
    if (source.OpenY4m(path, error) && source.frameBytes() <= (64u << 20)) ReadSome(source);
  }
  // The same bytes through a pipe: read forward as standard input would be.
  int pipeEnds[2];
  if (size <= 60000 && ::pipe(pipeEnds) == 0) {
    if (size > 0) (void)!::write(pipeEnds[1], data, size);
    ::close(pipeEnds[1]);
    orx::host::FrameSource source;
    std::string error;
    if (source.OpenY4m("/proc/self/fd/" + std::to_string(pipeEnds[0]), error) &&
        source.frameBytes() <= (64u << 20)) {
      ReadSome(source);
    }
    ::close(pipeEnds[0]);
  }
  return 0;
}
