// Every processor variant against the plain kernels on random inputs, and the factories.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <typeinfo>

#include "aenc/layer2/layer2_tables.h"
#include "aenc/simd/mpeg_audio_encoder_variants.h"
#include "aenc/simd/psychoacoustic_model_variants.h"
#include "aenc/simd/resampler_mmx.h"
#include "aenc/simd/audio_factories.h"
#include "aenc/simd/scalar_conversions.h"
#include "platform/cpuid.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/memory_bitstream.h"

namespace orx::test {
namespace {

using aenc::AudioEncoderConfig;
using aenc::CMPEGAudioEncoder;

constexpr uint32_t kVariantMasks[] = {0x00, 0x04, 0x08, 0x20};  // _MMX, _XMM, _SSE, _SSE2
constexpr uint32_t kGuard = 0xDEADBEEF;

// A plain encoder and one variant built from the same configuration.
struct Pair {
  CMPEGAudioEncoder* base;
  EncoderPtr variant;
  ~Pair() { base->Release(); }
};

std::unique_ptr<Pair> MakePair(AudioEncoderConfig config, uint32_t mask) {
  AudioEncoderConfig copy = config;
  auto pair = std::unique_ptr<Pair>(new Pair{new CMPEGAudioEncoder(&copy, 0), MakeEncoder(config, mask)});
  return pair;
}

// Output words with guards on both sides, filled with garbage.
template <typename T>
struct Guarded {
  explicit Guarded(size_t count) : words(count + 32) {
    std::fill(words.begin(), words.end(), static_cast<T>(kGuard));
  }
  T* data() { return words.data() + 16; }
  bool GuardsIntact(size_t count) const {
    for (size_t i = 0; i < 16; ++i) {
      if (words[i] != static_cast<T>(kGuard) || words[16 + count + i] != static_cast<T>(kGuard)) return false;
    }
    return true;
  }
  std::vector<T> words;
};

void CheckPolyphaseWindow(Pair& p, std::mt19937& random) {
  alignas(64) int16_t history[512], window[512];
  for (int i = 0; i < 512; ++i) {
    history[i] = static_cast<int16_t>(random());
    window[i] = static_cast<int16_t>(random());
  }
  history[0] = history[1] = window[0] = window[1] = -32768;  // the pair sum that wraps
  for (int count : {8, 32, 64}) {
    Guarded<int32_t> a(64), b(64);
    p.base->PolyphaseWindow(history, window, a.data(), count);
    p.variant->PolyphaseWindow(history, window, b.data(), count);
    ASSERT_TRUE(b.GuardsIntact(static_cast<size_t>(count)));
    ASSERT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(int32_t) * static_cast<size_t>(count)));
  }
}

void CheckDeinterleave(Pair& p, std::mt19937& random) {
  std::vector<int16_t> in(2304);
  for (auto& s : in) s = static_cast<int16_t>(random());
  for (int channels : {1, 2}) {
    Guarded<int16_t> la(1152), ra(1152), lb(1152), rb(1152);
    p.base->DeinterleavePcm(in.data(), la.data(), ra.data(), 1152, channels);
    p.variant->DeinterleavePcm(in.data(), lb.data(), rb.data(), 1152, channels);
    ASSERT_TRUE(lb.GuardsIntact(1152) && rb.GuardsIntact(1152));
    ASSERT_EQ(la.words, lb.words);
    ASSERT_EQ(ra.words, rb.words);
  }
}

void RandomSubbands(float* subband, std::mt19937& random) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int i = 0; i < 2 * 36 * 32; ++i) {
    int scale = static_cast<int>(random() % 70);  // magnitudes from 4 down to silence
    float value = unit(random) * std::ldexp(4.0f, -scale / 3);
    if (random() % 17 == 0) value = aenc::kScalefactorB1[random() % 64] * (random() % 2 ? 1 : -1);
    if (scale >= 66) value = 0;
    subband[i] = value;
  }
}

void CheckScaleFactors(Pair& p, std::mt19937& random) {
  alignas(64) float subband[2 * 36 * 32];
  RandomSubbands(subband, random);
  Guarded<uint32_t> a(192), b(192);
  std::fill(a.data(), a.data() + 192, 0u);
  std::fill(b.data(), b.data() + 192, 0u);
  p.base->Layer2ScaleFactors(subband, a.data());
  p.variant->Layer2ScaleFactors(subband, b.data());
  ASSERT_TRUE(b.GuardsIntact(192));
  ASSERT_EQ(a.words, b.words);
}

void CheckQuantize(Pair& p, std::mt19937& random) {
  const aenc::CMPEGAudioEncoder& e = *p.base;
  uint32_t scf[32][2][3], allocation[32][2] = {};
  alignas(64) float subband[2][36][32] = {};
  for (int sb = 0; sb < e.sblimit; ++sb) {
    for (int ch = 0; ch < e.channels; ++ch) {
      allocation[sb][ch] = random() % (1u << e.allocTable->rows[sb].nbal);
      for (int part = 0; part < 3; ++part) {
        uint32_t index = random() % 63;
        scf[sb][ch][part] = index;
        float limit = aenc::kScalefactorB1[index];
        std::uniform_real_distribution<float> within(-limit, limit);
        for (int t = 12 * part; t < 12 * part + 12; ++t) {
          float x = within(random);
          int pick = static_cast<int>(random() % 8);
          if (pick == 0) x = limit;   // a sample equal to its scalefactor
          if (pick == 1) x = -limit;
          if (pick == 2) x = 0;
          subband[ch][t][sb] = x;
        }
      }
    }
  }
  Guarded<uint32_t> a(2304), b(2304);
  p.base->Layer2Quantize(&scf[0][0][0], &subband[0][0][0], &allocation[0][0], a.data());
  p.variant->Layer2Quantize(&scf[0][0][0], &subband[0][0][0], &allocation[0][0], b.data());
  ASSERT_TRUE(b.GuardsIntact(2304));
  ASSERT_EQ(a.words, b.words);
  // Every code is a valid one of its class: never the all-ones code.
  const uint32_t* code = a.data();
  for (int group = 0; group < 12; ++group) {
    for (int sb = 0; sb < e.sblimit; ++sb) {
      for (int ch = 0; ch < e.channels; ++ch) {
        if (allocation[sb][ch] == 0) continue;
        uint16_t steps = e.allocTable->rows[sb].entries[allocation[sb][ch]].steps;
        for (int s = 0; s < 3; ++s) ASSERT_LT(*code++, steps);
      }
    }
  }
}

void CheckMatrix(Pair& p, std::mt19937& random) {
  int32_t sums[64];
  for (auto& s : sums) s = static_cast<int32_t>(random() % 2000000000) - 1000000000;
  float a[32], b[32];
  p.base->PolyphaseMatrix(sums, a);
  p.variant->PolyphaseMatrix(sums, b);
  double scale = 0;
  for (int32_t s : sums) scale += std::fabs(s) / 17179869184.0;
  // Packed single precision in another order: equal up to float rounding of the largest terms.
  for (int k = 0; k < 32; ++k) ASSERT_NEAR(a[k], b[k], scale * 2e-6) << k;
}

// Spectra as the AAC and Layer III quantizers see them: |X|^(3/4) from silence to full scale.
std::vector<float> RandomXr34(std::mt19937& random, int count) {
  std::vector<float> xr34(static_cast<size_t>(count));
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (auto& v : xr34) v = random() % 5 == 0 ? 0.0f : std::pow(unit(random), 3.0f) * 1.6e6f;
  return xr34;
}

bool IsSse(const CMPEGAudioEncoder& e) { return dynamic_cast<const aenc::CMPEGAudioEncoder_SSE*>(&e) != nullptr; }

void CheckQuantizeSpectrum(Pair& p, std::mt19937& random) {
  for (int count : {576, 1024}) {
    std::vector<float> xr34 = RandomXr34(random, count);
    // Steps that put the largest codes between about 1 and 16000 (beyond 8191 a gain is rejected).
    const float step = 0.01f * std::pow(2.0f, -static_cast<float>(random() % 80) * 0.1875f);
    Guarded<int32_t> a(static_cast<size_t>(count)), b(static_cast<size_t>(count));
    const uint32_t orA = p.base->QuantizeSpectrum(xr34.data(), a.data(), step, count);
    const uint32_t orB = p.variant->QuantizeSpectrum(xr34.data(), b.data(), step, count);
    ASSERT_TRUE(b.GuardsIntact(static_cast<size_t>(count)));
    uint32_t orModel = 0;
    for (int i = 0; i < count; ++i) {
      const int32_t base = a.data()[i], got = b.data()[i];
      ASSERT_GE(base, 0);
      if (!IsSse(*p.variant)) {
        ASSERT_EQ(got, base) << i;
        continue;
      }
      // The SSE formula in scalar single precision: bit-equal.
      const float v = xr34[static_cast<size_t>(i)] * step + aenc::QuantizeOffsetSse(i);
      const int32_t model = static_cast<int32_t>(v);
      orModel |= static_cast<uint32_t>(model);
      ASSERT_EQ(got, model) << i;
      // Against the plain kernel: one apart at most, and only next to a rounding threshold.
      if (got != base) {
        ASSERT_EQ(got, base + 1) << i;
        const double scaled = double(xr34[static_cast<size_t>(i)]) * step - 0.0946 - 0.00125 * (i / 2);
        const double below = (base + 0.5) - scaled;  // distance below the threshold crossed
        ASSERT_LE(below, 0.00125 + 1e-6 * std::max(1.0, scaled)) << i << " " << scaled;
      }
    }
    ASSERT_EQ(orB, IsSse(*p.variant) ? orModel : orA);
  }
}

void CheckPowThreeQuarters(Pair& p, std::mt19937& random) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> in(1024);
  for (auto& v : in) v = unit(random) * std::ldexp(1.0f, static_cast<int>(random() % 28));
  in[0] = 0;
  in[1] = -0.0f;
  Guarded<float> a(1024), b(1024);
  p.base->PowThreeQuarters(a.data(), in.data(), 1024);
  p.variant->PowThreeQuarters(b.data(), in.data(), 1024);
  ASSERT_TRUE(b.GuardsIntact(1024));
  // Single precision throughout in the SSE kernel: within a few float roundings.
  for (int i = 0; i < 1024; ++i) ASSERT_NEAR(b.data()[i], a.data()[i], std::fabs(a.data()[i]) * 4e-7f) << i;
}

void CheckBandMaxAbs(Pair& p, std::mt19937& random) {
  for (int count : {4, 16, 32, 96}) {
    std::vector<int32_t> qa(static_cast<size_t>(count));
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      qa[static_cast<size_t>(i)] = random() % 3 == 0 ? 0 : static_cast<int32_t>(random() % (random() % 2 ? 14 : 8192));
      x[static_cast<size_t>(i)] = (random() % 2 ? -1.0f : 1.0f) * static_cast<float>(random() % 100);
      if (random() % 9 == 0) x[static_cast<size_t>(i)] = random() % 2 ? -0.0f : 0.0f;
    }
    std::vector<int32_t> qb = qa;
    EXPECT_EQ(p.base->AacBandMaxAbs(qa.data(), x.data(), count), p.variant->AacBandMaxAbs(qb.data(), x.data(), count));
    ASSERT_EQ(qa, qb);
  }
}

void CheckLayer3Mdct(Pair& p, std::mt19937& random) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  float z[36];
  const float scale = std::ldexp(1.0f, -static_cast<int>(random() % 20));
  for (float& v : z) v = unit(random) * scale;
  Guarded<float> a(18), b(18);
  p.base->Layer3Mdct(z, a.data());
  p.variant->Layer3Mdct(z, b.data());
  ASSERT_TRUE(b.GuardsIntact(18));
  // The same 36 products summed in another order: within a few roundings of sums below 4 x scale.
  for (int k = 0; k < 18; ++k) ASSERT_NEAR(b.data()[k], a.data()[k], 4 * scale * 3e-7f) << k;
}

struct KernelCase {
  const char* name;
  std::function<void(Pair&, std::mt19937&)> check;
};

TEST(AencVariants, KernelsMatchThePlainKernels) {
  const KernelCase kernels[] = {
      {"PolyphaseWindow", CheckPolyphaseWindow},
      {"DeinterleavePcm", CheckDeinterleave},
      {"Layer2ScaleFactors", CheckScaleFactors},
      {"Layer2Quantize", CheckQuantize},
      {"PolyphaseMatrix (within float rounding)", CheckMatrix},
      {"QuantizeSpectrum (SSE: its own formula; within one code of the plain)", CheckQuantizeSpectrum},
      {"PowThreeQuarters (within float rounding)", CheckPowThreeQuarters},
      {"Layer3Mdct (within float rounding)", CheckLayer3Mdct},
      {"AacBandMaxAbs", CheckBandMaxAbs},
  };
  const AudioEncoderConfig configs[] = {Layer2Config(48000, 2, 256000), Layer2Config(44100, 1, 192000),
                                        Layer2Config(48000, 2, 64000), Layer2Config(22050, 2, 64000)};
  unsigned seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  for (uint32_t mask : kVariantMasks) {
    for (const AudioEncoderConfig& config : configs) {
      auto pair = MakePair(config, mask);
      for (const KernelCase& kernel : kernels) {
        SCOPED_TRACE(testing::Message() << kernel.name << ", " << typeid(*pair->variant).name()
                                        << ", seed " << seed << ", table " << pair->base->allocTable->name);
        std::mt19937 random(seed);
        for (int trial = 0; trial < 20; ++trial) kernel.check(*pair, random);
      }
    }
  }
}

// Frames of tones over noise, the same for every model.
std::vector<int16_t> ModelInput(int frames, int channels, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<int16_t> pcm(static_cast<size_t>(frames * 1152 * channels));
  for (size_t i = 0; i < pcm.size(); ++i) {
    double t = static_cast<double>(i / static_cast<size_t>(channels)) / 48000.0;
    int ch = static_cast<int>(i % static_cast<size_t>(channels));
    double v = 6000 * std::sin(2 * M_PI * (440 + 300 * ch) * t) + 2000 * std::sin(2 * M_PI * 5200 * t) +
               static_cast<double>(static_cast<int>(random() % 801) - 400);
    pcm[i] = static_cast<int16_t>(v);
  }
  return pcm;
}

TEST(AencVariants, ModelsMatchThePlainModel) {
  for (int channels : {1, 2}) {
    aenc::MpegHeaderWords header{1, 2, channels == 2 ? 10 : 8, 1, channels, 27, 20000, 1};
    aenc::CPsychoacousticModel base;
    aenc::CPsychoacousticModel_SSE sse;
    aenc::CPsychoacousticModel_VORPX vorpx;
    aenc::CPsychoacousticModel* variants[] = {&sse, &vorpx};
    base.InitModel(header);
    for (auto* model : variants) model->InitModel(header);
    std::vector<int16_t> pcm = ModelInput(6, channels, 21);
    double worst[2] = {};
    for (int frame = 0; frame < 6; ++frame) {
      alignas(16) int16_t split[2][1152] = {};
      for (int i = 0; i < 1152; ++i) {
        for (int ch = 0; ch < channels; ++ch)
          split[ch][i] = pcm[static_cast<size_t>((frame * 1152 + i) * channels + ch)];
      }
      uint32_t scf[32][2][3] = {};
      float expected[2][32], got[2][32];
      base.ComputeSmr(split, &scf[0][0][0], expected, header);
      for (int v = 0; v < 2; ++v) {
        variants[v]->ComputeSmr(split, &scf[0][0][0], got, header);
        for (int ch = 0; ch < channels; ++ch) {
          for (int sb = 0; sb < 27; ++sb)
            worst[v] = std::max(worst[v], double(std::fabs(got[ch][sb] - expected[ch][sb])));
        }
      }
    }
    EXPECT_LT(worst[0], 0.05) << "_SSE, " << channels << " channels";
    EXPECT_LT(worst[1], 0.05) << "_VORPX, " << channels << " channels";
  }
}

TEST(AencVariants, EncodeFrameRestoresMxcsr) {
  for (AudioEncoderConfig config : {Layer2Config(48000, 2, 128000), AacConfig(48000, 2, 128000)}) {
  EncoderPtr encoder = MakeEncoder(config, 0x31);
  MemoryBitstream out;
  encoder->Init(&out);
  std::vector<int16_t> pcm = ModelInput(1, 2, 3);
  const unsigned saved = _mm_getcsr();
  for (unsigned before : {0x1F80u, 0x1FC0u, 0x1F80u | 0x2000u}) {  // default, DAZ, round down
    _mm_setcsr(before);
    encoder->EncodeFrame(pcm.data());
    unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after & ~0x3Fu, before) << std::hex << before;  // exception flags may be raised
  }
  EXPECT_EQ(out.frames.size(), 3u);
  }
}

TEST(AencVariants, FactoriesPickTheDeepestVariant) {
  struct Case {
    uint32_t mask;
    const std::type_info& encoder;
    const std::type_info& model;
  } cases[] = {
      {0x31, typeid(aenc::CMPEGAudioEncoder_SSE2), typeid(aenc::CPsychoacousticModel)},
      {0x00, typeid(aenc::CMPEGAudioEncoder_MMX), typeid(aenc::CPsychoacousticModel)},
      {0x04, typeid(aenc::CMPEGAudioEncoder_XMM), typeid(aenc::CPsychoacousticModel)},
      {0x08, typeid(aenc::CMPEGAudioEncoder_SSE), typeid(aenc::CPsychoacousticModel_SSE)},
      {0x02, typeid(aenc::CMPEGAudioEncoder_MMX), typeid(aenc::CPsychoacousticModel_VORPX)},
      {0x2A, typeid(aenc::CMPEGAudioEncoder_SSE2), typeid(aenc::CPsychoacousticModel_SSE)},
  };
  for (const Case& c : cases) {
    AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
    EncoderPtr encoder = MakeEncoder(config, c.mask);
    ASSERT_TRUE(encoder);
    EXPECT_EQ(typeid(*encoder), c.encoder) << std::hex << c.mask;
    EXPECT_EQ(typeid(*encoder->psyModel), c.model) << std::hex << c.mask;
  }
  EXPECT_EQ(QueryProcessorExtensions(), 0x31u);
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  aenc::CMPEGAudioEncoder* built = nullptr;
  ASSERT_TRUE(aenc::NewMPEGAudioEncoder(&built, &config));
  EXPECT_EQ(typeid(*built), typeid(aenc::CMPEGAudioEncoder_SSE2));
  built->Release();
  aenc::CPsychoacousticModel* model = nullptr;
  ASSERT_TRUE(aenc::NewPsychoacousticModel(&model));
  EXPECT_EQ(typeid(*model), typeid(aenc::CPsychoacousticModel));
  delete model;
  EXPECT_FALSE(aenc::NewMPEGAudioEncoder(&built, nullptr));
  EXPECT_EQ(built, nullptr);
}

// The library never asks the processor: a presented processor with MMX alone (which could run
// none of the SSE variants) still gets the constant mask and the SSE2 encoder.
TEST(AencVariants, MaskDoesNotFollowThePresentedProcessor) {
  std::vector<platform::CpuidTableEntry> mmxOnly;
  ASSERT_TRUE(platform::ParseCpuidTable("0 0 1 0 0 0\n1 0 0 0 0 00800000\n", mmxOnly));
  platform::SetCpuidTable(mmxOnly);
  const uint32_t mask = QueryProcessorExtensions();
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  aenc::CMPEGAudioEncoder* built = nullptr;
  const bool made = aenc::NewMPEGAudioEncoder(&built, &config);
  platform::SetCpuidTable({});
  EXPECT_EQ(mask, 0x31u);
  ASSERT_TRUE(made);
  EXPECT_EQ(typeid(*built), typeid(aenc::CMPEGAudioEncoder_SSE2));
  built->Release();
}

TEST(AencVariants, FailedAllocationsFailTheFactory) {
  // Every block of the constructors is checked (window, history, work area, the model's FFT
  // block): failing each one in turn gives no encoder.
  for (int allowed = 0; allowed < 4; ++allowed) {
    AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
    aenc::FailAlignedAllocationsAfter(allowed);
    aenc::CMPEGAudioEncoder* encoder = reinterpret_cast<aenc::CMPEGAudioEncoder*>(1);
    bool built = aenc::NewMPEGAudioEncoder(&encoder, &config);
    aenc::FailAlignedAllocationsAfter(-1);
    EXPECT_FALSE(built) << allowed;
    EXPECT_EQ(encoder, nullptr);
  }
  AudioEncoderConfig config = Layer2Config(48000, 2, 128000);
  EXPECT_TRUE(MakeEncoder(config));
}

}  // namespace
}  // namespace orx::test

namespace orx::test {
namespace {

// The resampler's packed kernels against the plain ones, at random positions and steps over
// random input read from exactly sized buffers, outputs guarded: 16-bit results are the plain
// result or one lower (the missing rounding term); 8-bit results equal (sum >> 6), saturated.
TEST(AencVariants, ResamplerKernelsMatchThePlainKernels) {
  struct Kernel {
    const char* name;
    uint32_t channels, bits;
  };
  const Kernel kernels[] = {{"FilterMono8", 1, 8}, {"FilterStereo8", 2, 8}, {"FilterMono16", 1, 16},
                            {"FilterStereo16", 2, 16}};
  unsigned seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  aenc::CResampler* plain = new aenc::CResampler();
  aenc::IResampler* built = nullptr;
  ASSERT_TRUE(aenc::NewResampler(&built));
  auto* packed = static_cast<aenc::CResampler*>(built);
  EXPECT_EQ(typeid(*packed), typeid(aenc::CResampler_MMX));
  const uint32_t steps[] = {60211, 71331, 98304, 30105, 0x10000, 393216};
  for (const Kernel& kernel : kernels) {
    bool sawLower = false;
    for (int round = 0; round < 400; ++round) {
      SCOPED_TRACE(std::string(kernel.name) + ", seed " + std::to_string(seed) + ", round " + std::to_string(round));
      // Both objects hold the same table: the upsampling one, then the downsampling one.
      if (round % 200 == 0) {
        const bool down = round > 0;
        ASSERT_TRUE(plain->SetRates(down ? 48000 : 44100, down ? 44100 : 48000));
        ASSERT_TRUE(packed->SetRates(down ? 48000 : 44100, down ? 44100 : 48000));
      }
      const uint32_t step = steps[random() % 6];
      const uint32_t position = random() & 0xFFFF;
      const uint32_t count = 1 + random() % 37;
      plain->SetKernelPosition(position, step);
      packed->SetKernelPosition(position, step);
      // Frames -3 .. last + 4, nothing more.
      const uint32_t frames = 3 + static_cast<uint32_t>((position + uint64_t{step} * (count - 1)) >> 16) + 5;
      const uint32_t samples = frames * kernel.channels;
      const bool loud = round % 4 < 2;  // full-scale input drives the sums to saturation
      std::vector<uint8_t> in8(samples);
      std::vector<int16_t> in16(samples);
      for (uint32_t i = 0; i < samples; ++i) {
        in8[i] = static_cast<uint8_t>(loud ? ((random() & 1) ? 255 : 0) : random());
        in16[i] = static_cast<int16_t>(loud ? ((random() & 1) ? 32767 : -32768) : random());
      }
      const size_t outSamples = size_t{count} * kernel.channels;
      Guarded<int16_t> a(outSamples), b(outSamples);
      auto run = [&](aenc::CResampler* r, int16_t* out) {
        const uint32_t lead = 3 * kernel.channels;
        if (kernel.bits == 8) {
          if (kernel.channels == 1) r->FilterMono8(out, in8.data() + lead, count);
          else r->FilterStereo8(out, in8.data() + lead, count);
        } else {
          if (kernel.channels == 1) r->FilterMono16(out, in16.data() + lead, count);
          else r->FilterStereo16(out, in16.data() + lead, count);
        }
      };
      run(plain, a.data());
      run(packed, b.data());
      ASSERT_TRUE(b.GuardsIntact(outSamples));
      for (uint32_t k = 0; k < count; ++k) {
        const uint32_t at = position + step * k;
        const int16_t* taps = packed->table() + 8 * ((at >> 4) & 0xFFF);
        for (uint32_t c = 0; c < kernel.channels; ++c) {
          const size_t i = size_t{k} * kernel.channels + c;
          if (kernel.bits == 16) {
            const int difference = b.data()[i] - a.data()[i];
            ASSERT_TRUE(difference == 0 || difference == -1) << "output " << i << ": " << difference;
            sawLower |= difference == -1;
          } else {
            int32_t sum = 0;
            for (uint32_t j = 0; j < 8; ++j)
              sum += taps[j] * (int32_t{in8[((at >> 16) + j) * kernel.channels + c]} - 128);
            ASSERT_EQ(b.data()[i], std::clamp(sum >> 6, -32768, 32767)) << "output " << i;
          }
        }
      }
    }
    if (kernel.bits == 16) {
      EXPECT_TRUE(sawLower) << kernel.name << ": the rounding term never mattered";
    }
  }
  plain->Release();
  built->Release();
}

TEST(AencVariants, ResamplerFactoryBuildsThePackedClass) {
  for (uint32_t mask : {0x00u, 0x04u, 0x08u, 0x20u, 0x31u}) {
    aenc::IResampler* built = nullptr;
    ASSERT_TRUE(aenc::NewResamplerForMask(&built, mask));
    EXPECT_EQ(typeid(*built), typeid(aenc::CResampler_MMX)) << std::hex << mask;
    built->Release();
  }
  aenc::IResampler* built = nullptr;
  ASSERT_TRUE(aenc::NewResampler(&built));
  EXPECT_EQ(typeid(*built), typeid(aenc::CResampler_MMX));
  built->Release();
}

TEST(AencVariants, ScalarConversions) {
  struct FloatRow {
    const char* name;
    float value;
    int16_t int16;
    int32_t int32;
  };
  const FloatRow floats[] = {
      {"zero", 0.0f, 0, 0},
      {"below a half", 1.49f, 1, 1},
      {"tie to even, down", 2.5f, 2, 2},
      {"tie to even, up", 3.5f, 4, 4},
      {"tie at a half", 0.5f, 0, 0},
      {"negative tie to even", -2.5f, -2, -2},
      {"negative tie, up in magnitude", -3.5f, -4, -4},
      {"negative", -7.6f, -8, -8},
      {"int16 top", 32767.0f, 32767, 32767},
      {"just above int16", 32767.6f, 32767, 32768},
      {"int16 bottom", -32768.0f, -32768, -32768},
      {"below int16", -32768.6f, -32768, -32769},
      {"far above", 1e9f, 32767, 1000000000},
      {"far below", -1e9f, -32768, -1000000000},
      {"above int32", 3e9f, 32767, INT32_MAX},
      {"2^31", 2147483648.0f, 32767, INT32_MAX},
      {"below int32", -3e9f, -32768, INT32_MIN},
      {"NaN", std::nanf(""), 0, 0},
  };
  for (const FloatRow& row : floats) {
    EXPECT_EQ(aenc::FloatToInt16(row.value), row.int16) << row.name;
    EXPECT_EQ(aenc::FloatToInt32(row.value), row.int32) << row.name;
  }
  struct LogRow {
    uint32_t value, log2;
  };
  for (LogRow row : {LogRow{0, 0}, LogRow{1, 0}, LogRow{2, 1}, LogRow{3, 1}, LogRow{4, 2}, LogRow{1023, 9},
                     LogRow{1024, 10}, LogRow{0x80000000u, 31}, LogRow{0xFFFFFFFFu, 31}})
    EXPECT_EQ(aenc::IntegerLog2(row.value), row.log2) << row.value;
}

}  // namespace
}  // namespace orx::test
