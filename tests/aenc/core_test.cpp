// The encoder core: frame parameters derived from the configuration, padding, the analysis
// filter bank, the bit writers and the frame header.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "aenc/core/analysis_window.h"
#include "aenc/layer2/layer2_tables.h"
#include "tests/aenc/memory_bitstream.h"

namespace orx::test {
namespace {

using aenc::AudioEncoderConfig;
using aenc::CMPEGAudioEncoder;

struct DerivedCase {
  int rate, channels, bitrate;
  int id, bitrateIndex, sblimit, frameBytes, frameRemainder, bandwidthSubbands, maxFrameBytes;
  const char* table;
};

TEST(AencCore, DerivedFrameParameters) {
  const DerivedCase cases[] = {
      // The worked example: 64 kbit/s per channel at 48 kHz uses B.2a, no padding.
      {.rate = 48000, .channels = 2, .bitrate = 128000, .id = 1, .bitrateIndex = 8, .sblimit = 27, .frameBytes = 384,
       .frameRemainder = 0, .bandwidthSubbands = 26, .maxFrameBytes = 388, .table = "B.2a"},
      {.rate = 44100, .channels = 2, .bitrate = 128000, .id = 1, .bitrateIndex = 8, .sblimit = 27, .frameBytes = 417,
       .frameRemainder = 42300, .bandwidthSubbands = 27, .maxFrameBytes = 420, .table = "B.2a"},
      // Nearest table rate: 100 lies 4 from 96 and 12 from 112; 120 ties 112 and 128.
      {.rate = 48000, .channels = 2, .bitrate = 100000, .id = 1, .bitrateIndex = 6, .sblimit = 8, .frameBytes = 288,
       .frameRemainder = 0, .bandwidthSubbands = 8, .maxFrameBytes = 292, .table = "B.2c"},
      {.rate = 48000, .channels = 2, .bitrate = 120000, .id = 1, .bitrateIndex = 8, .sblimit = 27, .frameBytes = 384,
       .frameRemainder = 0, .bandwidthSubbands = 26, .maxFrameBytes = 388, .table = "B.2a"},
      {.rate = 48000, .channels = 2, .bitrate = 64000, .id = 1, .bitrateIndex = 4, .sblimit = 8, .frameBytes = 192,
       .frameRemainder = 0, .bandwidthSubbands = 8, .maxFrameBytes = 196, .table = "B.2c"},
      // 96 kbit/s or more per channel below 48 kHz: B.2b; low rates at 32 kHz: B.2d.
      {.rate = 32000, .channels = 1, .bitrate = 192000, .id = 1, .bitrateIndex = 10, .sblimit = 30,
       .frameBytes = 864, .frameRemainder = 0, .bandwidthSubbands = 32, .maxFrameBytes = 868, .table = "B.2b"},
      {.rate = 32000, .channels = 2, .bitrate = 96000, .id = 1, .bitrateIndex = 6, .sblimit = 12, .frameBytes = 432,
       .frameRemainder = 0, .bandwidthSubbands = 32, .maxFrameBytes = 436, .table = "B.2d"},
      // Lower sampling frequencies: ID 0 and the one table of ISO/IEC 13818-3.
      {.rate = 22050, .channels = 2, .bitrate = 64000, .id = 0, .bitrateIndex = 8, .sblimit = 30, .frameBytes = 417,
       .frameRemainder = 21150, .bandwidthSubbands = 32, .maxFrameBytes = 420, .table = "LSF B.1"},
      {.rate = 24000, .channels = 1, .bitrate = 32000, .id = 0, .bitrateIndex = 4, .sblimit = 30, .frameBytes = 192,
       .frameRemainder = 0, .bandwidthSubbands = 32, .maxFrameBytes = 196, .table = "LSF B.1"},
  };
  for (const DerivedCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, " << c.bitrate);
    AudioEncoderConfig config = Layer2Config(c.rate, c.channels, c.bitrate);
    EncoderPtr encoder = MakeEncoder(config);
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->id, c.id);
    EXPECT_EQ(encoder->bitrateIndex, c.bitrateIndex);
    EXPECT_EQ(encoder->sblimit, c.sblimit);
    EXPECT_STREQ(encoder->allocTable->name, c.table);
    EXPECT_EQ(encoder->frameBytes, c.frameBytes);
    EXPECT_EQ(encoder->frameRemainder, c.frameRemainder);
    EXPECT_EQ(encoder->paddingAccumulator, -c.frameRemainder);
    EXPECT_EQ(encoder->bandwidthSubbands, c.bandwidthSubbands);
    EXPECT_EQ(config.maxFrameBytes, static_cast<uint32_t>(c.maxFrameBytes));
    EXPECT_EQ(config.frameSamples, static_cast<uint32_t>(1152 * c.channels));
    EXPECT_EQ(encoder->GetAverageStepDb(), 0.0);
  }
}

TEST(AencCore, RateWithoutSamplingCodeIsNotBuilt) {
  for (int rate : {11025, 8000, 96000, 0}) {
    AudioEncoderConfig config = Layer2Config(rate, 2, 128000);
    EXPECT_FALSE(MakeEncoder(config)) << rate;
  }
}

// Frame sizes of `frames` frames of silence on one encoder, across two streams.
std::vector<size_t> FrameSizes(CMPEGAudioEncoder& encoder, int frames) {
  MemoryBitstream out;
  std::vector<int16_t> silence(static_cast<size_t>(1152 * encoder.channels), 0);
  std::vector<size_t> sizes;
  for (int stream = 0; stream < 2; ++stream) {
    encoder.Init(&out);  // the padding accumulator runs on across streams
    for (int i = 0; i < frames / 2; ++i) encoder.EncodeFrame(silence.data());
  }
  for (const auto& frame : out.frames) sizes.push_back(frame.size());
  return sizes;
}

TEST(AencCore, PaddingFollowsTheAccumulator) {
  AudioEncoderConfig config = Layer2Config(44100, 2, 128000, 0);
  EncoderPtr encoder = MakeEncoder(config);
  std::vector<size_t> sizes = FrameSizes(*encoder, 882);
  ASSERT_EQ(sizes.size(), 882u);
  EXPECT_EQ(sizes[0], 418u);  // 2 x 42300 >= 44100: the first frame is padded
  int padded = 0;
  for (size_t size : sizes) {
    ASSERT_TRUE(size == 417 || size == 418);
    padded += size == 418;
  }
  // 42300 / 44100 of the frames, exactly over 441 frames.
  EXPECT_EQ(padded, 2 * 423);
  // The mean over the run is 417.96 bytes; no two unpadded frames follow each other.
  for (size_t i = 1; i < sizes.size(); ++i) EXPECT_FALSE(sizes[i] == 417 && sizes[i - 1] == 417);

  AudioEncoderConfig config48 = Layer2Config(48000, 1, 192000, 0);
  EncoderPtr encoder48 = MakeEncoder(config48);
  for (size_t size : FrameSizes(*encoder48, 20)) EXPECT_EQ(size, 576u);
}

// The frame header fields, read back from a written frame.
struct Header {
  int sync, id, layerBits, protection, bitrateIndex, samplingIndex, padding, mode;
};
Header ReadHeader(const std::vector<uint8_t>& f) {
  uint32_t w = (uint32_t{f[0]} << 24) | (uint32_t{f[1]} << 16) | (uint32_t{f[2]} << 8) | f[3];
  return {int(w >> 20), int(w >> 19 & 1), int(w >> 17 & 3), int(w >> 16 & 1),
          int(w >> 12 & 15), int(w >> 10 & 3), int(w >> 9 & 1), int(w >> 6 & 3)};
}

TEST(AencCore, MonoCodesOneChannelUnderAMonoHeader) {
  AudioEncoderConfig config = Layer2Config(32000, 1, 96000);
  EncoderPtr encoder = MakeEncoder(config);
  MemoryBitstream out;
  encoder->Init(&out);
  std::vector<int16_t> pcm(1152);
  std::mt19937 random(7);
  for (auto& s : pcm) s = static_cast<int16_t>(random() % 2000 - 1000);
  encoder->EncodeFrame(pcm.data());
  const aenc::MpegWorkArea& work = *encoder->mpegWork.get();
  for (int i = 0; i < 1152; ++i) {
    ASSERT_EQ(work.pcm[0][i], pcm[static_cast<size_t>(i)]);
    ASSERT_EQ(work.pcm[1][i], 0);
  }
  for (int sb = 0; sb < 32; ++sb) EXPECT_EQ(work.allocation[sb][1], 0u);
  ASSERT_EQ(out.frames.size(), 1u);
  Header h = ReadHeader(out.frames[0]);
  EXPECT_EQ(h.sync, 0xFFF);
  EXPECT_EQ(h.id, 1);
  EXPECT_EQ(h.layerBits, 2);  // Layer II
  EXPECT_EQ(h.protection, 1);
  EXPECT_EQ(h.bitrateIndex, 6);
  EXPECT_EQ(h.samplingIndex, 2);
  EXPECT_EQ(h.mode, 3);
  EXPECT_EQ(out.frames[0].size(), 432u);
}

// The standard's analysis filter bank in double precision: shift in 32 samples, window with C,
// partial sums Y, matrixing.
class ReferenceFilterBank {
 public:
  void Step(const int16_t* samples, double* out) {
    for (int i = 511; i >= 32; --i) x_[i] = x_[i - 32];
    for (int i = 0; i < 32; ++i) x_[31 - i] = samples[i] / 32768.0;
    double y[64];
    for (int i = 0; i < 64; ++i) {
      y[i] = 0;
      for (int j = 0; j < 8; ++j) y[i] += aenc::kAnalysisWindow[i + 64 * j] * x_[i + 64 * j];
    }
    for (int k = 0; k < 32; ++k) {
      out[k] = 0;
      for (int i = 0; i < 64; ++i) out[k] += std::cos((2 * k + 1) * (i - 16) * M_PI / 64) * y[i];
    }
  }

 private:
  double x_[512] = {};
};

TEST(AencCore, AnalysisMatchesTheStandardFilterBank) {
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  auto* base = new CMPEGAudioEncoder(&config, 0);
  ASSERT_TRUE(base->Constructed());
  MemoryBitstream out;
  base->Init(&out);
  std::mt19937 random(11);
  ReferenceFilterBank reference[2];
  double worst = 0;
  for (int step = 0; step < 64; ++step) {  // several turns of the history positions
    for (int ch = 0; ch < 2; ++ch) {
      int16_t samples[32];
      for (auto& s : samples) s = static_cast<int16_t>(static_cast<int>(random() % 65536) - 32768);
      float ours[32];
      double expected[32];
      base->AnalysisStep(samples, ours, ch);
      reference[ch].Step(samples, expected);
      for (int k = 0; k < 32; ++k) worst = std::max(worst, std::fabs(ours[k] - expected[k]));
    }
  }
  // The window is held to 2^-19: the error stays far below the Layer II quantization.
  EXPECT_LT(worst, 2e-4);
  base->Release();
}

TEST(AencCore, WindowCopiesAreRotatedRows) {
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  EncoderPtr encoder = MakeEncoder(config);
  const int16_t* w = encoder->windowTable.get();
  EXPECT_EQ(w[8 * 0 + 4], static_cast<int16_t>(std::trunc(aenc::kAnalysisWindow[256] * 524288.0)));
  EXPECT_EQ(w[8 * 0 + 4], 18759);  // the largest tap, 0.035780907 x 2^19
  for (int m = 1; m < 8; ++m) {
    for (int row = 0; row < 64; ++row) {
      for (int tap = 0; tap < 8; ++tap)
        ASSERT_EQ(w[512 * m + 8 * row + tap], w[8 * row + (tap - m + 8) % 8]);
    }
  }
}

TEST(AencCore, BitWritersAppendMostSignificantFirst) {
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  EncoderPtr encoder = MakeEncoder(config);
  uint8_t bytes[16];
  std::fill(std::begin(bytes), std::end(bytes), 0xFF);
  bytes[0] = 0;
  encoder->writePtr = bytes;
  encoder->bitsLeft = 8;
  encoder->PutBits(0x5, 3);        // 101
  encoder->PutBits(0x1ABCD, 17);   // crosses two byte boundaries
  encoder->PutBits(0, 0);
  encoder->PutBits(0, 45);         // a long zero run
  encoder->PutBits(0xFFFFFFFFu, 32);
  // 101 1 1010 1011 1100 1101, 45 zeros, 32 ones: 97 bits
  const uint8_t expected[] = {0xBA, 0xBC, 0xD0, 0x00, 0x00, 0x00, 0x00,
                              0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0x80};
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
  EXPECT_EQ(encoder->writePtr - bytes, 12);
  EXPECT_EQ(encoder->bitsLeft, 7);

  // Main data: staged, then moved out with the partly filled byte kept.
  uint8_t frame[8] = {};
  encoder->Init(nullptr);
  encoder->PutMainDataBits(0xABC, 12);
  encoder->writePtr = frame;
  encoder->FlushMainData(1);
  EXPECT_EQ(frame[0], 0xAB);
  EXPECT_EQ(encoder->stageIndex, 0);
  EXPECT_EQ(encoder->stageBitsLeft, 4);
  EXPECT_EQ(encoder->stage[0], 0xC0);
  EXPECT_EQ(encoder->stage[1], 0);
}

}  // namespace
}  // namespace orx::test
