#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "support/audio_clip.h"
#include "tests/support/test_paths.h"

namespace orx::support {
namespace {

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A chunk whose size field says `size`, followed by `body` (a size may claim more than follows).
void AppendChunk(std::vector<uint8_t>& out, const char* id, uint32_t size,
                 const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  Append32(out, size);
  out.insert(out.end(), body.begin(), body.end());
}

// The format chunk of 16-bit stereo PCM at 48 kHz.
std::vector<uint8_t> StereoFormat() {
  return {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0x00, 0xEE, 2, 0, 4, 0, 16, 0};
}

// Skipped chunks: an odd size is padded to an even one, and a size that runs past the end of the
// file leaves no chunk after it (a size of 0xFFFFFFFF once wrapped to a skip of 0, so the chunk's
// own bytes were read as chunks and their "data" taken as the audio).
TEST(AudioClip, ChunksBeforeTheDataAreSkippedByTheirSize) {
  const std::vector<uint8_t> samples = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x20, 0x00, 0xE0};  // 2 frames
  std::vector<uint8_t> data;
  AppendChunk(data, "data", static_cast<uint32_t>(samples.size()), samples);
  struct Row {
    const char* name;
    uint32_t skippedSize;
    std::vector<uint8_t> skippedBody;
    bool readable;
  } rows[] = {
      {"an odd chunk and its pad byte", 3, {'a', 'b', 'c', 0}, true},
      {"a chunk of 0xFFFFFFFF bytes", 0xFFFFFFFFu, data, false},
      {"a chunk of 0xFFFFFFFE bytes", 0xFFFFFFFEu, data, false},
  };
  std::string dir = orx::test::MakeTempDir("wav");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    AppendChunk(body, "fmt ", 16, StereoFormat());
    AppendChunk(body, "LIST", row.skippedSize, row.skippedBody);
    if (row.readable) body.insert(body.end(), data.begin(), data.end());
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    Append32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    const std::string path = dir + "/clip.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

    AudioClip clip;
    std::string error;
    ASSERT_EQ(ReadWavFile(path, clip, error), row.readable) << error;
    if (row.readable) {
      EXPECT_EQ(clip.sampleRate, 48000);
      EXPECT_EQ(clip.channels, 2);
      EXPECT_EQ(clip.samples, (std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f}));
    } else {
      EXPECT_EQ(error, path + " has no data chunk");
    }
  }
}

}  // namespace
}  // namespace orx::support
