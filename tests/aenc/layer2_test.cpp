// Layer II coding and the psychoacoustic model, driven directly.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "aenc/layer2/layer2_allocation.h"
#include "aenc/layer2/layer2_crc.h"
#include "aenc/layer2/layer2_tables.h"
#include "aenc/psy/fast_power.h"
#include "aenc/psy/psy_tables.h"
#include "aenc/psy/psychoacoustic_model.h"
#include "tests/aenc/memory_bitstream.h"

namespace orx::test {
namespace {

using aenc::AudioEncoderConfig;
using aenc::kScalefactorB1;

std::vector<int16_t> Noise(size_t count, int amplitude, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<int16_t> out(count);
  for (auto& s : out) s = static_cast<int16_t>(static_cast<int>(random() % (2 * amplitude + 1)) - amplitude);
  return out;
}

// Noise in both channels of one frame, as the model takes it.
struct StereoFrame {
  alignas(16) int16_t pcm[2][1152];
};
StereoFrame NoiseFrame(int amplitude, unsigned seed) {
  std::vector<int16_t> noise = Noise(2304, amplitude, seed);
  StereoFrame frame;
  std::copy(noise.begin(), noise.begin() + 1152, frame.pcm[0]);
  std::copy(noise.begin() + 1152, noise.end(), frame.pcm[1]);
  return frame;
}

// Bits of a frame spent by the allocation: header, allocation fields, scfsi, scalefactors and
// samples, from the work area after EncodeFrame.
int SpentBits(const aenc::CMPEGAudioEncoder& e) {
  const aenc::MpegWorkArea& w = *e.mpegWork.get();
  int bits = 32 + e.crcBits;
  for (int sb = 0; sb < e.sblimit; ++sb) {
    for (int ch = 0; ch < e.channels; ++ch) {
      bits += e.allocTable->rows[sb].nbal;
      uint32_t a = w.allocation[sb][ch];
      if (a == 0) continue;
      const aenc::Layer2AllocEntry& entry = e.allocTable->rows[sb].entries[a];
      bits += 2 + 6 * aenc::kScalefactorsPerScfsi[w.scfsi[sb][ch]] + 12 * entry.codewords * entry.bits;
    }
  }
  return bits;
}

TEST(AencLayer2, SilentFrameStillSpendsItsBits) {
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  EncoderPtr e = MakeEncoder(config);
  MemoryBitstream out;
  e->Init(&out);
  std::vector<int16_t> silence(2304, 0);
  e->EncodeFrame(silence.data());
  const aenc::MpegWorkArea& w = *e->mpegWork.get();
  int allocated = 0;
  for (int sb = 0; sb < e->sblimit; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      for (int p = 0; p < 3; ++p) EXPECT_EQ(w.scalefactor[sb][ch][p], 63u);
      allocated += w.allocation[sb][ch] != 0;
    }
  }
  EXPECT_GT(allocated, 0);
  // Whatever is left after the allocation is zero fill, up to exactly the nominal size.
  int spent = SpentBits(*e);
  EXPECT_LE(spent, 384 * 8);
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].size(), 384u);
  for (int bit = spent; bit < 384 * 8; ++bit)
    ASSERT_EQ(out.frames[0][static_cast<size_t>(bit / 8)] >> (7 - bit % 8) & 1, 0) << bit;
}

TEST(AencLayer2, NoisyFramesFillTheirNominalSize) {
  struct Case {
    int rate, channels, bitrate;
  } cases[] = {{48000, 2, 128000}, {44100, 1, 96000}, {48000, 2, 64000}, {22050, 2, 64000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " " << c.channels << " " << c.bitrate);
    AudioEncoderConfig config = Layer2Config(c.rate, c.channels, c.bitrate);
    EncoderPtr e = MakeEncoder(config);
    MemoryBitstream out;
    e->Init(&out);
    std::vector<int16_t> pcm = Noise(1152 * static_cast<size_t>(c.channels), 12000, 3);
    for (int frame = 0; frame < 3; ++frame) {
      e->EncodeFrame(pcm.data());
      size_t nominal = static_cast<size_t>(e->frameBytes + e->padding);
      ASSERT_EQ(out.frames.back().size(), nominal);
      int spent = SpentBits(*e);
      EXPECT_LE(spent, static_cast<int>(nominal * 8));
      // Greedy allocation: hardly more than one step's worth of bits is left.
      EXPECT_GT(spent, static_cast<int>(nominal * 8) - 400);
      const aenc::MpegWorkArea& w = *e->mpegWork.get();
      for (int sb = e->sblimit; sb < 32; ++sb) EXPECT_EQ(w.allocation[sb][0] | w.allocation[sb][1], 0u);
    }
  }
}

TEST(AencLayer2, MonoAllocationPaysEachFieldOnce) {
  AudioEncoderConfig config = Layer2Config(48000, 1, 96000);
  EncoderPtr e = MakeEncoder(config);
  float smr[2][32];
  uint32_t scfsi[32][2] = {};
  uint32_t allocation[32][2] = {};
  for (int sb = 0; sb < 32; ++sb) smr[0][sb] = smr[1][sb] = 30.0f - sb;
  int bits = 288 * 8;
  int left = e->Layer2Allocate(smr, &scfsi[0][0], &allocation[0][0], bits);
  int spent = 32;
  for (int sb = 0; sb < e->sblimit; ++sb) {
    spent += e->allocTable->rows[sb].nbal;
    EXPECT_EQ(allocation[sb][1], 0u);
    if (uint32_t a = allocation[sb][0]) {
      const aenc::Layer2AllocEntry& entry = e->allocTable->rows[sb].entries[a];
      spent += 2 + 6 * 3 + 12 * entry.codewords * entry.bits;
    }
  }
  EXPECT_EQ(spent + left, bits);
  EXPECT_GE(left, 0);
}

TEST(AencLayer2, ScalefactorIndexByBinarySearch) {
  AudioEncoderConfig config = Layer2Config(48000, 1, 192000);
  EncoderPtr e = MakeEncoder(config);
  struct Case {
    float peak;
    uint32_t index;
  } cases[] = {
      {2.5f, 0},                            // above 2.0: the largest scalefactor
      {1.6f, 0},                            // above B1[1] = 1.587
      {kScalefactorB1[1], 1},               // equal to a scalefactor: that index
      {1.0f, 3},
      {0.5f, 6},
      {kScalefactorB1[40] * 1.0001f, 39},   // just above B1[40]
      {1.0e-7f, 62},
      {0.0f, 63},                           // silence
  };
  for (const Case& c : cases) {
    alignas(64) float subband[2][36][32] = {};
    for (int sb = 0; sb < 32; ++sb) subband[0][5][sb] = (sb % 2 ? -1 : 1) * c.peak;  // part 0
    uint32_t scf[32][2][3];
    e->Layer2ScaleFactors(&subband[0][0][0], &scf[0][0][0]);
    for (int sb = 0; sb < e->sblimit; ++sb) {
      EXPECT_EQ(scf[sb][0][0], c.index) << c.peak;
      EXPECT_EQ(scf[sb][0][1], 63u);
    }
  }
}

TEST(AencLayer2, ScfsiFollowsTheTransmissionPatterns) {
  AudioEncoderConfig config = Layer2Config(48000, 1, 192000);
  EncoderPtr e = MakeEncoder(config);
  struct Case {
    uint32_t in[3];
    uint32_t scfsi;
    uint32_t out[3];
  } cases[] = {
      {{10, 20, 30}, 0, {10, 20, 30}},  // both steps large: all three sent
      {{10, 10, 10}, 2, {10, 10, 10}},  // equal: one sent
      {{10, 11, 12}, 2, {10, 10, 10}},  // small rises: the first (largest scalefactor)
      {{12, 11, 10}, 2, {10, 10, 10}},  // small falls: the last
      {{20, 10, 12}, 3, {20, 10, 10}},  // class 4 then 1: pattern 122
      {{20, 10, 5}, 0, {20, 10, 5}},    // 4, 4: 123
      {{5, 10, 11}, 3, {5, 10, 10}},    // 0, 1: 122
      {{5, 10, 8}, 3, {5, 8, 8}},       // 0, 3: 133
      {{10, 12, 4}, 1, {10, 10, 4}},    // 1, 4: 113
      {{10, 12, 11}, 2, {10, 10, 10}},  // 1, 3: 444, the smaller outer index
      {{12, 10, 20}, 2, {10, 10, 10}},  // 3, 0: 222
      {{12, 10, 9}, 2, {9, 9, 9}},      // 3, 3: 333
  };
  for (const Case& c : cases) {
    uint32_t scf[32][2][3] = {};
    uint32_t scfsi[32][2] = {};
    for (int sb = 0; sb < 30; ++sb) std::copy(c.in, c.in + 3, scf[sb][0]);
    e->Layer2SelectScfsi(&scf[0][0][0], &scfsi[0][0]);
    EXPECT_EQ(scfsi[0][0], c.scfsi) << c.in[0] << " " << c.in[1] << " " << c.in[2];
    EXPECT_EQ(scf[0][0][0], c.out[0]);
    EXPECT_EQ(scf[0][0][1], c.out[1]);
    EXPECT_EQ(scf[0][0][2], c.out[2]);
  }
}

TEST(AencLayer2, AllocationHeapTieOrder) {
  aenc::Layer2AllocNode nodes[5];
  for (int i = 0; i < 5; ++i) nodes[i] = {0, i, 0, false, 1.0f};
  aenc::Layer2AllocHeap heap;
  heap.Build(nodes, 5);
  // Equal keys: the parent stays in front; a removed top is replaced by the last element, which
  // stays there.
  std::vector<int> order;
  while (!heap.Empty()) {
    order.push_back(heap.Top().subband);
    heap.RemoveTop();
    heap.SiftDown(0);
  }
  EXPECT_EQ(order, (std::vector<int>{0, 4, 3, 2, 1}));
  // Equal children: the left one moves up.
  aenc::Layer2AllocNode three[3] = {{0, 0, 0, false, 2.0f}, {0, 1, 0, false, 1.0f}, {0, 2, 0, false, 1.0f}};
  heap.Build(three, 3);
  EXPECT_EQ(heap.Top().subband, 1);
}

TEST(AencLayer2, Crc16MatchesTheCheckValue) {
  uint32_t crc = 0xFFFF;
  for (char c : std::string("123456789")) aenc::Crc16Update(static_cast<uint8_t>(c), 8, crc);
  EXPECT_EQ(crc, 0xAEE7u);  // CRC-16 with polynomial 0x8005, initial 0xFFFF, no reflection
}

// A model that keeps what MaskingThreshold was handed.
class ObservedModel : public aenc::CPsychoacousticModel {
 public:
  void MaskingThreshold(float* smrOut, const float* lsb, int32_t tonalHead, int32_t noiseHead,
                        int bitrateKbps, int sblimitIn) override {
    std::copy(lsb, lsb + sblimitIn, lastLsb);
    lastKbps = bitrateKbps;
    aenc::CPsychoacousticModel::MaskingThreshold(smrOut, lsb, tonalHead, noiseHead, bitrateKbps,
                                                 sblimitIn);
  }
  float lastLsb[32] = {};
  int lastKbps = 0;
};

aenc::MpegHeaderWords Header48k(int channels, int bitrateIndex, int psyMode = 1, int bandwidth = 24000) {
  return {1, 2, bitrateIndex, 1, channels, 27, bandwidth, psyMode};
}

TEST(AencModel, FirstBlockStartsWith192ZeroSamples) {
  ObservedModel model;
  aenc::MpegHeaderWords header = Header48k(1, 8);
  model.InitModel(header);
  alignas(16) int16_t pcm[2][1152] = {};
  std::vector<int16_t> noise = Noise(1152, 8000, 5);
  std::copy(noise.begin(), noise.end(), pcm[0]);
  float smr[2][32];
  float levels[2][32] = {};
  model.Analyze(pcm, levels, smr, header);
  // The block: 192 zeros, then the frame's first 832 samples, Hann-windowed; powers per bin.
  for (int sb = 0; sb < 27; ++sb) {
    double sum = 0;
    for (int k = 16 * sb; k < 16 * sb + 16; ++k) {
      double re = 0, im = 0;
      for (int n = 192; n < 1024; ++n) {
        double w = 0.5 * (1 - std::cos(2 * M_PI * n / 1024)) * std::sqrt(8.0 / 3.0) / 1024 / 32768;
        re += noise[static_cast<size_t>(n - 192)] * w * std::cos(2 * M_PI * k * n / 1024);
        im -= noise[static_cast<size_t>(n - 192)] * w * std::sin(2 * M_PI * k * n / 1024);
      }
      sum += std::max(re * re + im * im, 1e-20) * 1073741824.0;
    }
    EXPECT_NEAR(model.lastLsb[sb], 10 * std::log10(sum), 0.01) << sb;
  }
  EXPECT_EQ(model.lastKbps, 128);
}

TEST(AencModel, AbsoluteThresholdDrops12DbFrom96KbitPerChannel) {
  aenc::CPsychoacousticModel model;
  model.InitModel(Header48k(2, 8));
  float lsb[32];
  std::fill(lsb, lsb + 32, 60.0f);
  float below[32], at[32];
  // No maskers: the threshold is the absolute threshold alone.
  model.MaskingThreshold(below, lsb, aenc::kListEnd, aenc::kListEnd, 95, 27);
  model.MaskingThreshold(at, lsb, aenc::kListEnd, aenc::kListEnd, 96, 27);
  // Per subband: the smallest absolute threshold of its lines plus 0.01, at full and at 12 dB
  // less (the walk stops before the last line, whose own threshold closes the table).
  int checked = 0;
  for (int sb = 0; sb < 27; ++sb) {
    double full = 1073741824.0, lowered = 1073741824.0;
    for (int i = 1; i < model.lineCount - 1; ++i) {
      if (model.lines[i].bin / 16 != sb) continue;
      full = std::min(full, model.lines[i].ltqPower + 0.01);
      lowered = std::min(lowered, model.lines[i].ltqPower * 0.06309573 + 0.01);
    }
    EXPECT_NEAR(at[sb] - below[sb], 10 * std::log10(full / lowered), 0.01) << sb;
    checked += at[sb] - below[sb] > 11.9f;
  }
  EXPECT_GE(checked, 3);  // where the threshold is well above 0.01, the whole 12 dB
}

TEST(AencModel, SubbandsAboveTheBandwidthGetMinus95) {
  aenc::CPsychoacousticModel model;
  // 15 kHz at 48 kHz: 15000 x 32 / 24000 = 20, so 21 subbands get an SMR.
  aenc::MpegHeaderWords header = Header48k(2, 8, 1, 15000);
  model.InitModel(header);
  EXPECT_EQ(model.subbandLimit, 21);
  StereoFrame frame = NoiseFrame(10000, 9);
  uint32_t scf[32][2][3] = {};
  float smr[2][32];
  model.ComputeSmr(frame.pcm, &scf[0][0][0], smr, header);
  for (int ch = 0; ch < 2; ++ch) {
    for (int sb = 0; sb < 21; ++sb) EXPECT_GT(smr[ch][sb], -60.0f);
    for (int sb = 21; sb < 27; ++sb) EXPECT_EQ(smr[ch][sb], -95.0f);
  }
}

TEST(AencModel, PsyModeZeroGivesTheFixedTable) {
  aenc::CPsychoacousticModel model;
  aenc::MpegHeaderWords header = Header48k(2, 8, 0);
  model.InitModel(header);
  StereoFrame frame = NoiseFrame(20000, 1);
  uint32_t scf[32][2][3] = {};
  float smr[2][32];
  model.ComputeSmr(frame.pcm, &scf[0][0][0], smr, header);
  for (int ch = 0; ch < 2; ++ch) {
    for (int sb = 0; sb < 32; ++sb) EXPECT_EQ(smr[ch][sb], aenc::kFixedSmr[sb]);
  }
  EXPECT_EQ(aenc::kFixedSmr[0], 30.0f);
  EXPECT_EQ(aenc::kFixedSmr[31], -95.0f);
}

TEST(AencModel, HighTonesDoNotMaskLowSubbands) {
  // Bins above the last threshold line (20.25 kHz at 48 kHz) carry the last line's Bark value;
  // read as 0 Bark, a 22 kHz tone would mask the lowest subbands.
  auto lowSmr = [](bool withTone) {
    aenc::CPsychoacousticModel model;
    aenc::MpegHeaderWords header = Header48k(1, 8);
    model.InitModel(header);
    alignas(16) int16_t pcm[2][1152] = {};
    std::vector<int16_t> noise = Noise(1152, 300, 4);
    for (int i = 0; i < 1152; ++i) {
      double tone = withTone ? 16000 * std::sin(2 * M_PI * 22000.0 * i / 48000) : 0;
      pcm[0][i] = static_cast<int16_t>(noise[static_cast<size_t>(i)] + tone);
    }
    uint32_t scf[32][2][3] = {};
    float smr[2][32];
    for (int frame = 0; frame < 2; ++frame) model.ComputeSmr(pcm, &scf[0][0][0], smr, header);
    EXPECT_EQ(model.spectrum[480].z, model.lines[model.lineCount - 1].z);
    return std::vector<float>(smr[0], smr[0] + 4);
  };
  std::vector<float> quiet = lowSmr(false), loud = lowSmr(true);
  for (int sb = 0; sb < 4; ++sb) EXPECT_NEAR(loud[sb], quiet[sb], 1.0) << sb;
}

TEST(AencModel, FastPowerFollowsTheTable) {
  const double* table = aenc::PowerTable();
  EXPECT_DOUBLE_EQ(table[0], -0.5);
  EXPECT_DOUBLE_EQ(table[128], 0.0);
  EXPECT_DOUBLE_EQ(table[256], 1.0);
  for (double x = -30; x <= 100; x += 0.37) {
    double exact = std::pow(10.0, x / 10);
    EXPECT_NEAR(aenc::FastPow10(x) / exact, 1.0, 0.003) << x;
    EXPECT_NEAR(aenc::FastPow10f(static_cast<float>(x)) / exact, 1.0, 0.003) << x;
  }
}

}  // namespace
}  // namespace orx::test
