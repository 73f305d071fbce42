// 60 s of 1080p H.264 (x264) and 48 kHz stereo AAC, made once by ffmpeg, written as a QuickTime
// file by CMultiplexer into memory, against `ffmpeg -c copy -f mov` of the same streams. The
// video is fed the way our encoder delivers it: every NAL unit in its own buffer, the first of
// each picture marked and timed; the audio one raw AAC block per buffer. Every time is user CPU
// time (ffmpeg's from its -benchmark line), the best of three runs; the figure of interest is
// the speed ratio to ffmpeg printed at the end (the system asks for at least 1.0).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mux/core/mux_interfaces.h"
#include "tests/support/cpu_time.h"

namespace {

using namespace orx::mux;

constexpr int kSeconds = 60;
constexpr int kFrameRate = 25;
constexpr int kRuns = 3;

bool Run(const std::vector<std::string>& argv, std::string& err) {
  int errPipe[2];
  if (pipe(errPipe) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(errPipe[1], 2);
    close(errPipe[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(errPipe[1]);
  char chunk[65536];
  ssize_t n;
  while ((n = read(errPipe[0], chunk, sizeof chunk)) > 0) err.append(chunk, static_cast<size_t>(n));
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Buffer {
  size_t at, size;
  uint32_t flags;
  double time;
};

// Every NAL unit its own buffer (from its start code on); an access unit begins at its
// delimiter. The first picture's buffers up to its first slice go as one, as the component
// hands the multiplexer the codec header in front of the first picture.
std::vector<Buffer> SplitVideo(const std::vector<uint8_t>& es) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= es.size(); ++i) {
    if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) {
      starts.push_back(i > 0 && es[i - 1] == 0 ? i - 1 : i);
      i += 2;
    }
  }
  std::vector<Buffer> buffers;
  int pictures = 0;
  bool firstSliceSeen = false;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1] : es.size();
    const size_t header = starts[k] + (es[starts[k] + 2] == 1 ? 3 : 4);
    const uint32_t type = es[header] & 0x1F;
    if (!firstSliceSeen && buffers.size() == 1 && type != 1 && type != 5 && type != 9) {
      buffers[0].size = end - buffers[0].at;  // still ahead of the first slice
      continue;
    }
    Buffer buffer{starts[k], end - starts[k], 0, 0};
    if (type == 9) {
      buffer.flags = kSampleTimeValid | kSamplePictureStart;
      buffer.time = static_cast<double>(pictures++) / kFrameRate;
    }
    if (!firstSliceSeen && buffers.size() == 1 && (type == 1 || type == 5)) {
      buffers[0].size = end - buffers[0].at;
      firstSliceSeen = true;
      continue;
    }
    buffers.push_back(buffer);
  }
  return buffers;
}

// Raw blocks of an ADTS stream.
std::vector<Buffer> SplitAudio(const std::vector<uint8_t>& adts) {
  std::vector<Buffer> frames;
  for (size_t at = 0; at + 7 <= adts.size();) {
    const size_t length = (adts[at + 3] & 3u) << 11 | adts[at + 4] << 3 | adts[at + 5] >> 5;
    const size_t header = (adts[at + 1] & 1) ? 7 : 9;
    if (length <= header) break;
    frames.push_back({at + header, length - header, kSampleTimeValid, frames.size() * 1024.0 / 48000});
    at += length;
  }
  return frames;
}

class MemoryOutput final : public IMuxBitStream {
 public:
  explicit MemoryOutput(size_t capacity) { file.reserve(capacity); }
  uint8_t* GetBuffer(uint32_t size) override {
    buffer_.resize(std::max<size_t>(size, kMinBitStreamBuffer));
    return buffer_.data();
  }
  uint8_t* Write(MuxWriteDesc* desc, uint32_t count) override {
    if (desc->kind == kWriteSeekThenWrite) {
      std::memcpy(file.data() + desc->position, desc->data, count);
    } else {
      file.insert(file.end(), desc->data, desc->data + count);
    }
    return buffer_.data();
  }
  void Reset() override {}
  std::vector<uint8_t> file;

 private:
  std::vector<uint8_t> buffer_;
};

double TimeOurs(const std::vector<uint8_t>& video, const std::vector<Buffer>& pictures,
                const std::vector<uint8_t>& audio, const std::vector<Buffer>& frames, size_t& written) {
  double best = 1e30;
  // One output for all runs: after the first its memory is the process's already, so the best
  // run times the writer rather than the system lending fresh pages.
  MemoryOutput out(video.size() + audio.size() + (16u << 20));
  for (int run = 0; run < kRuns; ++run) {
    out.file.clear();
    MuxVideoFormat videoFormat;
    videoFormat.width = 1920;
    videoFormat.height = 1080;
    videoFormat.aspectX = 16;
    videoFormat.aspectY = 9;
    videoFormat.frameRateNum = kFrameRate * 1000;
    videoFormat.frameRateDen = 1000;
    MuxAudioFormat audioFormat;
    MuxConfig config;
    config.videoPresent = config.audioPresent = 1;
    config.muxType = kMuxQuickTime;
    config.bitStream = &out;
    config.audioClass = kAudioClassAac;
    config.audioFormat = &audioFormat;
    config.videoCodecHint = kHintH264;
    config.videoFormat = &videoFormat;
    IMultiplexer* mux = NewMultiplexer();
    const double start = orx::test::UserCpuSeconds();
    mux->Open(&config);
    size_t next[2] = {0, 0};
    bool ended[2] = {false, false};
    const std::vector<Buffer>* lists[2] = {&frames, &pictures};
    const std::vector<uint8_t>* bytes[2] = {&audio, &video};
    while (!ended[0] || !ended[1]) {
      uint32_t stream = mux->NextStream();
      if (stream == kStreamNone || ended[stream]) stream = ended[kStreamVideo] ? kStreamAudio : kStreamVideo;
      MuxSampleDesc sample;
      if (next[stream] == lists[stream]->size()) {
        sample.flags = kSampleEndOfStream;
        mux->Write(stream, &sample);
        ended[stream] = true;
        continue;
      }
      const Buffer& buffer = (*lists[stream])[next[stream]];
      sample.data = bytes[stream]->data() + buffer.at;
      sample.length = static_cast<uint32_t>(buffer.size);
      sample.flags = buffer.flags;
      sample.time = buffer.time;
      if (mux->Write(stream, &sample) >= sample.length) ++next[stream];
    }
    mux->Close();
    mux->Release();
    best = std::min(best, orx::test::UserCpuSeconds() - start);
    written = out.file.size();
  }
  return best;
}

double TimeFfmpeg(const std::string& video, const std::string& audio, const std::string& output) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    std::string err;
    if (!Run({"ffmpeg", "-nostdin", "-benchmark", "-y", "-f", "h264", "-framerate", std::to_string(kFrameRate), "-i",
              video, "-i", audio, "-c", "copy", "-f", "mov", output},
             err)) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", err.c_str());
      std::exit(1);
    }
    const size_t at = err.find("utime=");
    if (at == std::string::npos) std::exit(1);
    best = std::min(best, std::atof(err.c_str() + at + 6));
  }
  return best;
}

}  // namespace

int main() {
  char dir[] = "/tmp/mux_speed_XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string video = std::string(dir) + "/video.h264";
  const std::string audio = std::string(dir) + "/audio.aac";
  const std::string seconds = std::to_string(kSeconds);
  std::string err;
  if (!Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
            "testsrc2=size=1920x1080:rate=" + std::to_string(kFrameRate), "-t", seconds, "-c:v", "libx264",
            "-preset", "ultrafast", "-b:v", "8M", "-x264-params", "aud=1", "-f", "h264", video},
           err) ||
      !Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-ac", "2", "-t",
            seconds, "-c:a", "aac", "-b:a", "128k", "-f", "adts", audio},
           err)) {
    std::fprintf(stderr, "cannot make the input streams: %s\n", err.c_str());
    return 1;
  }
  const std::vector<uint8_t> videoBytes = ReadFile(video);
  const std::vector<uint8_t> audioBytes = ReadFile(audio);
  const std::vector<Buffer> pictures = SplitVideo(videoBytes);
  const std::vector<Buffer> frames = SplitAudio(audioBytes);
  size_t written = 0;
  const double ours = TimeOurs(videoBytes, pictures, audioBytes, frames, written);
  const double ffmpeg = TimeFfmpeg(video, audio, std::string(dir) + "/reference.mov");
  Run({"rm", "-rf", dir}, err);
  std::printf("%d s of 1080p H.264 (%.1f MB, %zu buffers) and AAC (%zu blocks), user seconds (best of %d):\n",
              kSeconds, videoBytes.size() / 1e6, pictures.size(), frames.size(), kRuns);
  std::printf("  ffmpeg -c copy -f mov           %7.3f s\n", ffmpeg);
  std::printf("  CMultiplexer, QuickTime         %7.3f s   (%zu bytes)   speed vs ffmpeg %.2f\n", ours, written,
              ffmpeg / ours);
  return 0;
}
