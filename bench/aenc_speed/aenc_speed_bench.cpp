// 60 s of 48 kHz stereo speech (the alsa-utils recordings, looped) coded as Layer II at
// 192 kbit/s: the _SSE2 encoder with psyMode 1 (what the component runs), with psyMode 0, and the
// plain class with psyMode 1, against `ffmpeg -c:a mp2` on the same samples; then as AAC-LC at
// 128 kbit/s, the _SSE2 encoder and the plain class against `ffmpeg -c:a aac`; then as MPEG-1
// Layer III at 128 kbit/s against `ffmpeg -c:a libmp3lame` (CBR). Every time is user CPU time
// (ffmpeg's from its -benchmark line), the best of three runs; the figures of interest are the
// speed ratios to ffmpeg (the system asks for at least 0.5 for Layer II and Layer III, 1.0 for
// AAC).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/simd/audio_factories.h"
#include "tests/support/cpu_time.h"

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 60;
constexpr int kBitrate = 192000;
constexpr int kAacBitrate = 128000;
constexpr int kMp3Bitrate = 128000;
constexpr int kRuns = 3;

// Runs a program (no shell), returns what it wrote to standard output and standard error.
bool Run(const std::vector<std::string>& argv, std::string& out, std::string& err) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  // ffmpeg's diagnostics are short; read standard output fully, then standard error.
  char chunk[65536];
  ssize_t n;
  while ((n = read(outPipe[0], chunk, sizeof chunk)) > 0) out.append(chunk, static_cast<size_t>(n));
  while ((n = read(errPipe[0], chunk, sizeof chunk)) > 0) err.append(chunk, static_cast<size_t>(n));
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MakeSpeech(std::vector<int16_t>& pcm) {
  const char* names[] = {"Front_Center", "Front_Left", "Front_Right", "Rear_Center",
                         "Rear_Left", "Rear_Right", "Side_Left", "Side_Right"};
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error"};
  std::string filter;
  for (int ch = 0; ch < 2; ++ch) {
    for (int i = 0; i < 8; ++i) {
      args.insert(args.end(), {"-i", std::string("/usr/share/sounds/alsa/") + names[(i + 3 * ch) % 8] + ".wav"});
      filter += "[" + std::to_string(8 * ch + i) + ":a]";
    }
    filter += "concat=n=8:v=0:a=1,aloop=loop=-1:size=2e9,atrim=duration=" + std::to_string(kSeconds) +
              "[c" + std::to_string(ch) + "];";
  }
  filter += "[c0][c1]join=inputs=2:channel_layout=stereo[out]";
  args.insert(args.end(), {"-filter_complex", filter, "-map", "[out]", "-f", "s16le", "-ar",
                           std::to_string(kRate), "-ac", "2", "-"});
  std::string out, err;
  if (!Run(args, out, err)) {
    std::fprintf(stderr, "cannot make the speech input (alsa-utils recordings): %s\n", err.c_str());
    return false;
  }
  pcm.resize(out.size() / 2);
  std::memcpy(pcm.data(), out.data(), pcm.size() * 2);
  return true;
}

class CountingBitstream : public orx::aenc::IAudioBitstream {
 public:
  uint8_t* GetBuffer() override { return buffer_; }
  void Commit(uint32_t bytes) override { total += bytes; }
  size_t total = 0;

 private:
  uint8_t buffer_[4096];
};

// Best user time of kRuns encodes of the whole input.
double TimeOurs(const std::vector<int16_t>& pcm, uint32_t mask, int psyMode, bool plainClass, bool aac = false,
                bool mp3 = false) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    orx::aenc::AudioEncoderConfig config;
    config.sampleRate = kRate;
    config.codec = aac ? orx::aenc::kCodecAacLc : orx::aenc::kCodecMpegAudio;
    config.layer = aac ? 0 : mp3 ? 3 : 2;
    config.psyMode = static_cast<uint32_t>(psyMode);
    config.bitrate = aac ? kAacBitrate : mp3 ? kMp3Bitrate : kBitrate;
    orx::aenc::CMPEGAudioEncoder* encoder = nullptr;
    if (plainClass) {
      encoder = new orx::aenc::CMPEGAudioEncoder(&config, 0);
    } else if (!orx::aenc::NewMPEGAudioEncoderForMask(&encoder, &config, mask)) {
      std::exit(1);
    }
    CountingBitstream out;
    encoder->Init(&out);
    double start = orx::test::UserCpuSeconds();
    const size_t frame = config.frameSamples;
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) encoder->EncodeFrame(&pcm[at]);
    best = std::min(best, orx::test::UserCpuSeconds() - start);
    encoder->Release();
  }
  return best;
}

// Best user time of ffmpeg coding the first `seconds` of the input (all of it when 0).
double TimeFfmpeg(const std::string& input, int seconds, const char* codec = "mp2", int bitrate = kBitrate) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    std::string out, err;
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-benchmark", "-f", "s16le", "-ar",
                                     std::to_string(kRate), "-ac", "2", "-i", input};
    if (seconds > 0) args.insert(args.end(), {"-t", std::to_string(seconds)});
    args.insert(args.end(), {"-c:a", codec, "-b:a", std::to_string(bitrate), "-f", "null", "-"});
    if (!Run(args, out, err)) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", err.c_str());
      std::exit(1);
    }
    size_t at = err.find("utime=");
    if (at == std::string::npos) std::exit(1);
    best = std::min(best, std::atof(err.c_str() + at + 6));
  }
  return best;
}

}  // namespace

int main() {
  std::vector<int16_t> pcm;
  if (!MakeSpeech(pcm)) return 1;
  char input[] = "/tmp/aenc_speed_XXXXXX";
  int fd = mkstemp(input);
  if (fd < 0 || write(fd, pcm.data(), pcm.size() * 2) != static_cast<ssize_t>(pcm.size() * 2)) return 1;
  close(fd);

  double ffmpeg = TimeFfmpeg(input, 0);
  // ffmpeg's user time includes its start (loading its libraries): one second of input shows it.
  double ffmpegOneSecond = TimeFfmpeg(input, 1);
  double ffmpegCoding = (ffmpeg - ffmpegOneSecond) * kSeconds / (kSeconds - 1);
  double sse2 = TimeOurs(pcm, 0x31, 1, false);
  double sse2Fixed = TimeOurs(pcm, 0x31, 0, false);
  double plain = TimeOurs(pcm, 0, 1, true);
  double ffmpegAac = TimeFfmpeg(input, 0, "aac", kAacBitrate);
  double ffmpegAacOneSecond = TimeFfmpeg(input, 1, "aac", kAacBitrate);
  double ffmpegAacCoding = (ffmpegAac - ffmpegAacOneSecond) * kSeconds / (kSeconds - 1);
  double aacSse2 = TimeOurs(pcm, 0x31, 1, false, true);
  double aacPlain = TimeOurs(pcm, 0, 1, true, true);
  double ffmpegMp3 = TimeFfmpeg(input, 0, "libmp3lame", kMp3Bitrate);
  double ffmpegMp3OneSecond = TimeFfmpeg(input, 1, "libmp3lame", kMp3Bitrate);
  double ffmpegMp3Coding = (ffmpegMp3 - ffmpegMp3OneSecond) * kSeconds / (kSeconds - 1);
  double mp3Sse2 = TimeOurs(pcm, 0x31, 1, false, false, true);
  double mp3Plain = TimeOurs(pcm, 0, 1, true, false, true);
  unlink(input);

  std::printf("%d s of 48 kHz stereo speech at %d kbit/s, user seconds (best of %d):\n", kSeconds,
              kBitrate / 1000, kRuns);
  std::printf("  ffmpeg -c:a mp2                 %7.3f s\n", ffmpeg);
  std::printf("  _SSE2, psyMode 1                %7.3f s   speed vs ffmpeg %.2f\n", sse2, ffmpeg / sse2);
  std::printf("  _SSE2, psyMode 0                %7.3f s   speed vs ffmpeg %.2f\n", sse2Fixed, ffmpeg / sse2Fixed);
  std::printf("  plain class, psyMode 1          %7.3f s   _SSE2 is %.2fx faster\n", plain, plain / sse2);
  std::printf("ffmpeg without its start-up: %.3f s; _SSE2 psyMode 1 against that: %.2f\n", ffmpegCoding,
              ffmpegCoding / sse2);
  std::printf("AAC-LC at %d kbit/s, user seconds (best of %d):\n", kAacBitrate / 1000, kRuns);
  std::printf("  ffmpeg -c:a aac                 %7.3f s\n", ffmpegAac);
  std::printf("  _SSE2                           %7.3f s   speed vs ffmpeg %.2f\n", aacSse2, ffmpegAac / aacSse2);
  std::printf("  plain class                     %7.3f s   _SSE2 is %.2fx faster\n", aacPlain, aacPlain / aacSse2);
  std::printf("ffmpeg aac without its start-up: %.3f s; _SSE2 against that: %.2f\n", ffmpegAacCoding,
              ffmpegAacCoding / aacSse2);
  std::printf("MPEG-1 Layer III at %d kbit/s, user seconds (best of %d):\n", kMp3Bitrate / 1000, kRuns);
  std::printf("  ffmpeg -c:a libmp3lame          %7.3f s\n", ffmpegMp3);
  std::printf("  _SSE2                           %7.3f s   speed vs ffmpeg %.2f\n", mp3Sse2, ffmpegMp3 / mp3Sse2);
  std::printf("  plain class                     %7.3f s   _SSE2 is %.2fx faster\n", mp3Plain, mp3Plain / mp3Sse2);
  std::printf("ffmpeg libmp3lame without its start-up: %.3f s; _SSE2 against that: %.2f\n", ffmpegMp3Coding,
              ffmpegMp3Coding / mp3Sse2);
  return 0;
}
