#pragma once
// Elementary-stream fixtures made by ffmpeg at test time, split into samples in decode order
// with the millisecond time stamps the engine would give them.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::mux::test {

struct EsSample {
  std::vector<uint8_t> bytes;
  int64_t timeMs = 0;
  bool key = false;
  char pictureType = 0;  // 'I', 'P', 'B' from ffprobe, for video split by probe
  // False for a piece that continues the sample before it, as our encoders deliver a picture
  // over several buffers with the time on the first.
  bool timed = true;
};

struct EsFixture {
  std::string path;
  std::vector<uint8_t> bytes;
  std::vector<EsSample> samples;
  std::vector<uint8_t> format;  // the format record its encoder sent; empty for ffmpeg-made ones
};

// Runs ffmpeg (-v error -y, then args, then the output path) once per process and name, in a
// fixture folder; fails the test when ffmpeg fails.
std::string MakeEsFile(const std::string& name, const std::vector<std::string>& args);

std::vector<uint8_t> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// MPEG-1/2 video split at picture starts (sequence and GOP headers ride with the following
// picture); PTS from the GOP position and temporal_reference.
std::vector<EsSample> SplitMpegVideo(const std::vector<uint8_t>& es, double frameRate);
// Any video ES split at ffprobe's packets (decode order), PTS from ffprobe's display order.
std::vector<EsSample> SplitVideoByProbe(const std::string& path, double frameRate);
// Audio frames at ffprobe's packets, each frame lasting frameSeconds.
std::vector<EsSample> SplitAudioByProbe(const std::string& path, double frameSeconds);
// Raw PCM cut into pieces of `bytes` bytes.
std::vector<EsSample> SplitPcm(const std::vector<uint8_t>& pcm, size_t bytes, uint32_t bytesPerSecond);

// Ready-made fixtures of the test tables.
EsFixture Mpeg2Video(int width, int height, const std::string& rate, int frames,
                     const std::vector<std::string>& extraArgs = {});
EsFixture Mpeg1Video(int width, int height, const std::string& rate, int frames, const std::string& bitRate);
EsFixture Mp2Audio(int sampleRate, int bitRateK, double seconds);
EsFixture Ac3Audio(double seconds);
// Big-endian 16-bit stereo PCM at 48 kHz, as the multiplexer takes it.
EsFixture PcmAudioBigEndian(double seconds);

}  // namespace orx::mux::test
