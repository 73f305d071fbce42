#include "support/audio_clip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace orx::support {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

float DecodeSample(const uint8_t* p, uint16_t format, int bytes) {
  if (format == kFormatFloat) {
    float f;
    uint32_t bits = Le32(p);
    std::memcpy(&f, &bits, sizeof f);
    return std::isfinite(f) ? f : 0.0f;
  }
  switch (bytes) {
    case 1:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 2:
      return static_cast<int16_t>(Le16(p)) / 32768.0f;
    case 3: {
      int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) |
                                       (static_cast<uint32_t>(p[1]) << 16) |
                                       (static_cast<uint32_t>(p[2]) << 24)) >>
                  8;
      return static_cast<float>(v / 8388608.0);
    }
    default:
      return static_cast<float>(static_cast<int32_t>(Le32(p)) / 2147483648.0);
  }
}

// Skips forward: a seek where the file allows one, else reading (a pipe).
bool SkipBytes(FILE* file, long bytes) {
  if (std::fseek(file, bytes, SEEK_CUR) == 0) return true;
  char block[4096];
  while (bytes > 0) {
    size_t n = std::fread(block, 1, static_cast<size_t>(std::min<long>(bytes, sizeof block)), file);
    if (n == 0) return false;
    bytes -= static_cast<long>(n);
  }
  return true;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

float AudioClip::At(int64_t frame, int channel) const {
  if (channels <= 0 || frame < 0 || frame >= frames()) return 0.0f;
  if (channel >= channels) channel = channels - 1;
  return samples[static_cast<size_t>(frame) * channels + channel];
}

bool ReadWavFile(const std::string& path, AudioClip& clip, std::string& error) {
  // Opened once and read forward: standard input ("-") and FIFOs work as files do.
  std::unique_ptr<FILE, FileCloser> file(path == "-" ? ::fdopen(::dup(STDIN_FILENO), "rb")
                                                     : std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t riff[12];
  if (std::fread(riff, 1, 12, file.get()) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    error = path + " is not a WAV file";
    return false;
  }
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  bool haveFormat = false;
  for (;;) {
    uint8_t head[8];
    if (std::fread(head, 1, 8, file.get()) != 8) break;
    uint32_t size = Le32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      uint8_t fmt[40] = {};
      if (size < 16 || size > sizeof fmt || std::fread(fmt, 1, size, file.get()) != size) {
        error = path + " has a damaged format chunk";
        return false;
      }
      format = Le16(fmt);
      channels = Le16(fmt + 2);
      rate = Le32(fmt + 4);
      bits = Le16(fmt + 14);
      // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes name the coding.
      if (format == kFormatExtensible && size >= 26) format = Le16(fmt + 24);
      haveFormat = true;
      if (size & 1) std::fgetc(file.get());
      continue;
    }
    if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) break;
      bool pcm = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
      bool usable = pcm || (format == kFormatFloat && bits == 32);
      if (!usable) {
        error = path + ": only PCM (8 to 32 bits) or 32-bit float WAV files are read";
        return false;
      }
      if (channels == 0 || channels > 8) {
        error = path + ": " + std::to_string(channels) + " channels (1 to 8 are read)";
        return false;
      }
      if (rate == 0 || rate > 768000) {
        error = path + ": a sample rate of " + std::to_string(rate) + " Hz (1 to 768000 are read)";
        return false;
      }
      int bytes = bits / 8;
      size_t frameBytes = static_cast<size_t>(bytes) * channels;
      // A streamed file may give 0 or 0xFFFFFFFF as the size: read to the end then.
      std::vector<uint8_t> data;
      uint8_t block[65536];
      size_t want = (size == 0 || size == 0xFFFFFFFFu) ? SIZE_MAX : size;
      while (data.size() < want) {
        size_t n = std::fread(block, 1, std::min(sizeof block, want - data.size()), file.get());
        if (n == 0) break;
        data.insert(data.end(), block, block + n);
      }
      size_t frames = data.size() / frameBytes;
      clip.sampleRate = static_cast<int>(rate);
      clip.channels = channels;
      clip.samples.resize(frames * channels);
      for (size_t i = 0; i < frames * channels; ++i) {
        clip.samples[i] = DecodeSample(data.data() + i * bytes, format, bytes);
      }
      return true;
    }
    // Skip any other chunk (padded to an even size). The sum is taken in 64 bits: in 32 a size
    // of 0xFFFFFFFF wrapped to a skip of 0, and the chunk's own bytes were read as chunks.
    const long skip = static_cast<long>(size) + static_cast<long>(size & 1);
    if (!SkipBytes(file.get(), skip)) break;
  }
  error = path + (haveFormat ? " has no data chunk" : " has no format chunk");
  return false;
}

float ToneSample(double hz, double sampleRate, int64_t frame) {
  constexpr double kTwoPi = 6.28318530717958647692;
  return static_cast<float>(0.5 * std::sin(kTwoPi * hz * static_cast<double>(frame) / sampleRate));
}

}  // namespace orx::support
