// A stream that uses every codeword of every spectral codebook, written by the encoder's writers
// and read back by both decoders.
#include <gtest/gtest.h>

#include <random>

#include "aenc/aac/aac_state.h"
#include "aenc/aac/aac_tables.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

// The values of entry `index` of codebook `book`, as the codebook's index formula lays them out.
std::vector<int32_t> EntryValues(int book, int index) {
  switch (book) {
    case 1:
    case 2:
      return {index / 27 - 1, index / 9 % 3 - 1, index / 3 % 3 - 1, index % 3 - 1};
    case 3:
    case 4:
      return {index / 27, index / 9 % 3, index / 3 % 3, index % 3};
    case 5:
    case 6:
      return {index / 9 - 4, index % 9 - 4};
    case 7:
    case 8:
      return {index / 8, index % 8};
    case 9:
    case 10:
      return {index / 13, index % 13};
    default:
      return {index / 17, index % 17};
  }
}

TEST(AacStream, EveryCodewordDecodes) {
  aenc::AudioEncoderConfig config = AacConfig(48000, 2, 128000, true);
  EncoderPtr e = MakeEncoder(config);
  ASSERT_TRUE(e);
  std::mt19937 random(9);
  std::vector<uint8_t> stream;
  for (int book = 1; book <= 11; ++book) {
    const int entries = aenc::kAacCodebookStart[book] - aenc::kAacCodebookStart[book - 1];
    const bool isUnsigned = book == 3 || book == 4 || book >= 7;
    for (int c = 0; c < 2; ++c) {
      int32_t* q = e->aacWork->quantized[c];
      std::fill(q, q + 1024, 0);
      int at = 0;
      for (int i = 0; i < entries; ++i) {
        const int index = c == 0 ? i : entries - 1 - i;  // the second channel in reverse order
        for (int32_t v : EntryValues(book, index)) {
          if (book == 11 && v == 16) v = 16 + static_cast<int32_t>(random() % 200);  // escaped
          if (isUnsigned && v != 0 && random() % 2) v = -v;
          q[at++] = v;
        }
      }
      ASSERT_LE(at, 1024);
      std::fill(e->aacState->codebooks[c], e->aacState->codebooks[c] + 52, static_cast<uint8_t>(book));
      e->aacState->globalGain[c] = 100;
    }
    // Once to measure, once with the frame's length in its header.
    std::vector<uint8_t> frame(8192, 0);
    for (int pass = 0; pass < 2; ++pass) {
      const int bytes = pass == 0 ? 0 : (e->AacBitsWritten() + 7) / 8;
      std::fill(frame.begin(), frame.end(), 0);
      e->frameStart = e->writePtr = frame.data();
      e->bitsLeft = 8;
      e->WriteAacRawDataBlock(bytes);
    }
    frame.resize(static_cast<size_t>(e->AacBitsWritten() + 7) / 8);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  EXPECT_EQ(AdtsFrameSizes(stream).size(), 11u);
  DecoderVerdict v = DecodeWithBoth(stream, MakeTempDir("aac") + "/codewords.aac");
  EXPECT_TRUE(v.ffmpegClean) << v.log;
  EXPECT_TRUE(v.faadClean) << v.log;
  EXPECT_EQ(v.decoded.Frames(), 11u * 1024);
}

}  // namespace
}  // namespace orx::test
