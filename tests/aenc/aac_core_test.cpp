// The AAC coder's pieces: tables against their CSV, the transform against its formula, the
// rate loop, the codebook choice and the writers, read back bit by bit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "aenc/aac/aac_codebook_choice.h"
#include "aenc/aac/aac_state.h"
#include "aenc/aac/aac_tables.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/aenc/code_table_csv.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

using aenc::AacWorkArea;
using aenc::CMPEGAudioEncoder;

std::string AacDataDir() { return CodeTableDir("aac"); }

std::vector<std::vector<std::string>> ReadCsv(const std::string& name) { return ReadCodeTableCsv(AacDataDir(), name); }

TEST(AacTables, MatchTheirCsv) {
  if (!std::filesystem::exists(AacDataDir())) GTEST_SKIP() << "no AAC tables at " << AacDataDir();
  auto rates = ReadCsv("sampling-frequency-index.csv");
  ASSERT_GE(rates.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(aenc::kAacSampleRates[i], std::stoul(rates[i][1])) << i;
    EXPECT_EQ(aenc::kAacBandCounts[i], std::stoi(rates[i][2])) << i;
  }
  int bandsSeen[12] = {};
  for (const auto& r : ReadCsv("swb-offset-long.csv")) {
    const int index = std::stoi(r[0]), band = std::stoi(r[2]);
    if (index >= 12) continue;
    EXPECT_EQ(aenc::kAacSwbOffsets[index][band], std::stoi(r[3])) << index << " " << band;
    EXPECT_EQ(aenc::kAacSwbOffsets[index][band + 1], std::stoi(r[4])) << index << " " << band;
    ++bandsSeen[index];
  }
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(bandsSeen[i], aenc::kAacBandCounts[i]);
    for (int b = aenc::kAacBandCounts[i]; b < 52; ++b) EXPECT_EQ(aenc::kAacSwbOffsets[i][b], 1024);
  }
  int total = 0;
  for (int book = 1; book <= 11; ++book) {
    char name[40];
    std::snprintf(name, sizeof name, "spectrum-codebook-%02d.csv", book);
    auto rows = ReadCsv(name);
    ASSERT_EQ(aenc::kAacCodebookStart[book] - aenc::kAacCodebookStart[book - 1], rows.size()) << book;
    for (const auto& r : rows) {
      const int index = std::stoi(r[0]);
      const std::string& bits = r.back();
      const aenc::AacCode code = aenc::AacCodebook(book)[index];
      EXPECT_EQ(code.length, bits.size()) << book << " " << index;
      EXPECT_EQ(code.code, std::stoul(bits, nullptr, 2)) << book << " " << index;
      // The row's own values index it as the coder does.
      const int dimension = book <= 4 ? 4 : 2;
      int32_t values[4];
      for (int j = 0; j < dimension; ++j) values[j] = std::stoi(r[1 + j]);
      const aenc::AacCodeword word = dimension == 4 ? aenc::AacQuadCodeword(book, values) : aenc::AacPairCodeword(book, values);
      EXPECT_EQ(word.code, code.code) << book << " " << index;
      ++total;
    }
  }
  EXPECT_EQ(total, aenc::kAacSpectrumCodeCount);
  for (const auto& r : ReadCsv("scalefactor-codebook.csv")) {
    if (std::stoi(r[1]) != 0) continue;
    EXPECT_EQ(aenc::kAacScalefactorZero.length, r.back().size());
    EXPECT_EQ(aenc::kAacScalefactorZero.code, std::stoul(r.back(), nullptr, 2));
  }
}

EncoderPtr AacEncoder(int rate = 48000, int channels = 2, int bitrate = 128000, bool adts = false,
                      uint32_t mask = 0x31) {
  aenc::AudioEncoderConfig config = AacConfig(rate, channels, bitrate, adts);
  return MakeEncoder(config, mask);
}

TEST(AacKernels, MdctMatchesTheDirectFormula) {
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  std::mt19937 random(7);
  for (int trial = 0; trial < 3; ++trial) {
    int16_t previous[1024], current[1024];
    for (int i = 0; i < 1024; ++i) {
      previous[i] = static_cast<int16_t>(random());
      current[i] = static_cast<int16_t>(trial == 2 ? 8000 * std::sin(i * 0.05) : static_cast<int16_t>(random()));
    }
    float out[2048];
    e->AacMdct(out, current, previous);
    // out[1024..2047] still holds the second half of the windowed input; rebuild all of it.
    float windowed[2048];
    for (int n = 0; n < 1024; ++n) {
      windowed[n] = e->aacWork->window[n] * static_cast<float>(previous[n]);
      windowed[1024 + n] = e->aacWork->window[1024 + n] * static_cast<float>(current[n]);
    }
    double fast[1024];
    e->AacMdctTransform(windowed, fast);
    double worst = 0, peak = 0, worstFloat = 0;
    for (int k = 0; k < 1024; ++k) {
      long double sum = 0;
      for (int n = 0; n < 2048; ++n)
        sum += static_cast<long double>(windowed[n]) * std::cos(2.0L * M_PIl / 2048 * (n + 512.5L) * (k + 0.5L));
      const double direct = static_cast<double>(2 * sum);
      peak = std::max(peak, std::fabs(direct));
      worst = std::max(worst, std::fabs(direct - fast[k]));
      worstFloat = std::max(worstFloat, std::fabs(direct - out[k]));
    }
    EXPECT_LT(worst / peak, 1e-9) << trial;
    EXPECT_LT(worstFloat / peak, 1e-6) << trial;  // the float coefficients: rounding only
  }
}

TEST(AacKernels, Fft512MatchesAPlainDft) {
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(-1, 1);
  double data[512][2];
  std::complex<double> input[512];
  for (int n = 0; n < 512; ++n) {
    data[n][0] = unit(random);
    data[n][1] = unit(random);
    input[n] = {data[n][0], data[n][1]};
  }
  CMPEGAudioEncoder::AacFft512(&data[0][0], &e->aacWork->twiddles[0][0]);
  double worst = 0;
  for (int k = 0; k < 512; ++k) {
    std::complex<double> sum = 0;
    for (int n = 0; n < 512; ++n) sum += input[n] * std::polar(1.0, -2 * M_PI * n * k / 512);
    const double* got = data[e->aacWork->bitReverse[k]];
    worst = std::max(worst, std::abs(sum - std::complex<double>(got[0], got[1])));
  }
  EXPECT_LT(worst, 1e-11);
}

// Writes through the encoder's bit writer into a buffer and answers the bytes.
struct Capture {
  explicit Capture(CMPEGAudioEncoder& e) : encoder(e), bytes(8192, 0) {
    e.frameStart = e.writePtr = bytes.data();
    e.bitsLeft = 8;
  }
  int Bits() const { return encoder.AacBitsWritten(); }
  CMPEGAudioEncoder& encoder;
  std::vector<uint8_t> bytes;
};

TEST(AacCoder, WorkedCases) {
  // 48 kHz stereo at 128 kbit/s: frame size, padding, reservoir, bandwidth and cutoff.
  aenc::AudioEncoderConfig config = AacConfig(48000, 2, 128000, false);
  EncoderPtr e = MakeEncoder(config);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->id, 3);
  EXPECT_EQ(e->samplingIndex, 3);
  EXPECT_EQ(e->bitrateIndex, 64000);
  EXPECT_EQ(e->frameBytes, 341);
  EXPECT_EQ(e->frameRemainder, 16000);
  EXPECT_EQ(e->aacState->reservoirMax, 1194);
  EXPECT_EQ(e->bandwidth, 18200);
  EXPECT_EQ(e->bandwidth * 1024 / (e->sampleRate / 2), 776);
  EXPECT_EQ(e->sblimit, 49);
  EXPECT_EQ(config.frameSamples, 2048u);
  EXPECT_EQ(config.maxFrameBytes, 1540u);
  EXPECT_FLOAT_EQ(e->aacState->avgGain, 100.0f);

  // The sampling index: nearest, and midway between 44100 and 48000 the higher frequency.
  struct IndexCase { int rate; int index; } indexCases[] = {
      {46050, 3}, {46049, 4}, {46051, 3}, {44100, 4}, {96000, 0}, {8000, 11}, {7000, 11}, {11025, 10}, {100000, 0}};
  for (auto c : indexCases) EXPECT_EQ(CMPEGAudioEncoder::AacSamplingIndex(c.rate), c.index) << c.rate;

  // The frame size cap: 768 bytes per channel and no padding.
  aenc::AudioEncoderConfig high = AacConfig(8000, 1, 512000, false);
  EncoderPtr capped = MakeEncoder(high);
  ASSERT_TRUE(capped);
  EXPECT_EQ(capped->frameBytes, 768);
  EXPECT_EQ(capped->frameRemainder, 0);
  EXPECT_EQ(capped->aacState->reservoirMax, 0);

  // Helpers without a caller.
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::AacStepFromGain(100), 1.0f);
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::AacStepFromGain(116), 0.125f);
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::AacStepFromGain(84), 8.0f);
  {
    Capture c(*e);
    e->PutBits(0x5, 3);
    e->PutBits(0x1FFF, 13);
    e->PutBits(1, 1);
    EXPECT_EQ(c.Bits(), 17);
  }

  // Escapes: 16 is five zero bits, 8191 the longest (21 bits).
  EXPECT_EQ(aenc::AacEscapeBits(16), 5);
  EXPECT_EQ(aenc::AacEscapeBits(31), 5);
  EXPECT_EQ(aenc::AacEscapeBits(32), 7);
  EXPECT_EQ(aenc::AacEscapeBits(8191), 21);
  {
    Capture c(*e);
    e->WriteAacEscape(16);
    EXPECT_EQ(c.Bits(), 5);
    EXPECT_EQ(c.bytes[0], 0);
  }
  {
    Capture c(*e);
    e->WriteAacEscape(-8191);
    EXPECT_EQ(c.Bits(), 21);
    BitReader r(c.bytes);
    EXPECT_EQ(r.Read(9), 0x1FEu);   // eight ones and the zero
    EXPECT_EQ(r.Read(12), 4095u);   // 8191 - 4096
  }
}

TEST(AacCoder, BandMaximaPickTheirCodebooks) {
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  struct Case { int32_t largest; std::vector<int> books; } cases[] = {
      {1, {1, 2, 3}}, {2, {3, 4, 5}}, {3, {5, 6, 7}}, {4, {5, 6, 7}}, {7, {7, 8, 9}},
      {8, {9, 10}}, {12, {9, 10}}, {13, {11}}, {16, {11}}, {8191, {11}}};
  for (const Case& c : cases) {
    int32_t q[1024] = {};
    float x[1024];
    for (int i = 0; i < 1024; ++i) x[i] = i % 3 ? 1.0f : -1.0f;
    q[40] = c.largest;  // band 10 at 48 kHz: lines 40..47
    x[40] = -1.0f;
    q[41] = 1;
    uint8_t books[52] = {};
    e->AacSectionBits(books, q, x);
    EXPECT_NE(std::find(c.books.begin(), c.books.end(), books[10]), c.books.end()) << c.largest;
    for (int b = 0; b < e->sblimit; ++b) {
      if (b != 10) {
        EXPECT_EQ(books[b], 0) << b;
      }
    }
    EXPECT_EQ(q[40], -c.largest);  // the sign of its coefficient
  }
}

// Reads the section data of one channel: the codebook of each band.
std::vector<int> ReadSections(BitReader& r, int bands) {
  std::vector<int> books;
  while (static_cast<int>(books.size()) < bands) {
    const int book = static_cast<int>(r.Read(4));
    int length = 0, piece;
    do {
      piece = static_cast<int>(r.Read(5));
      length += piece;
    } while (piece == 31);
    books.insert(books.end(), length, book);
  }
  return books;
}

TEST(AacCoder, SectionRunsOf31And32Bands) {
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  for (int run : {30, 31, 32, 49}) {
    uint8_t books[52] = {};
    for (int b = 0; b < e->sblimit; ++b) books[b] = b < run ? 1 : 2;
    Capture c(*e);
    e->WriteAacSectionData(books);
    BitReader r(c.bytes);
    std::vector<int> pieces;
    r.Read(4);
    pieces.push_back(static_cast<int>(r.Read(5)));
    if (pieces.back() == 31) pieces.push_back(static_cast<int>(r.Read(5)));
    const std::vector<int> expected = run == 31 ? std::vector<int>{31, 0}
                                      : run == 32 ? std::vector<int>{31, 1}
                                      : run == 30 ? std::vector<int>{30}
                                                  : std::vector<int>{31, 18};
    EXPECT_EQ(pieces, expected) << run;
    BitReader again(c.bytes);
    std::vector<int> read = ReadSections(again, e->sblimit);
    EXPECT_EQ(read, std::vector<int>(books, books + e->sblimit)) << run;
    EXPECT_EQ(static_cast<size_t>(c.Bits()), again.Position()) << run;
  }
}

// Random spectra at several loudness levels: the bits the rate loop counts are the bits the
// writers write, and no gain the loop answers quantizes beyond the escape codebook.
TEST(AacCoder, CountedBitsAreWrittenBits) {
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  std::mt19937 random(11);
  for (int trial = 0; trial < 12; ++trial) {
    AacWorkArea& w = *e->aacWork;
    std::normal_distribution<float> noise(0, std::pow(10.0f, static_cast<float>(trial % 6)));
    for (int k = 0; k < 1024; ++k) w.spectrum[0][k] = k < 700 ? noise(random) / (1 + k / 64) : 0;
    if (trial == 5) w.spectrum[0][3] = 1.3e8f;  // a full-scale line: only high gains keep it below 8192
    uint8_t books[52];
    int gain = 0;
    const int target = 200 + 300 * (trial % 4);
    const int bits = e->AacQuantizeChannel(books, &gain, w.spectrum[0], w.quantized[0], target, 0, 6000, 100);
    int32_t largest = 0;
    for (int k = 0; k < 1024; ++k) largest = std::max(largest, std::abs(w.quantized[0][k]));
    EXPECT_LE(largest, 8191) << trial;
    Capture c(*e);
    std::copy(books, books + 52, e->aacState->codebooks[0]);
    e->WriteAacSectionData(books);
    e->WriteAacScaleFactors(books);
    e->WriteAacSpectralData(books, w.quantized[0]);
    EXPECT_EQ(c.Bits(), bits) << trial << " gain " << gain;
  }
}

TEST(AacCoder, GainSearchStopsAt255WithAnAllZeroChannel) {
  // A limit below the cost of an all-zero channel: the search ends at gain 255 with every band
  // coded as zero (before, it raised the gain without end).
  EncoderPtr e = AacEncoder();
  ASSERT_TRUE(e);
  AacWorkArea& w = *e->aacWork;
  std::mt19937 random(5);
  std::normal_distribution<float> noise(0, 3e6f);
  for (int k = 0; k < 1024; ++k) w.spectrum[0][k] = noise(random);
  uint8_t books[52];
  std::fill(books, books + 52, 7);
  int gain = 0;
  const int bits = e->AacQuantizeChannel(books, &gain, w.spectrum[0], w.quantized[0], 0, 0, 0, 100);
  EXPECT_EQ(gain, 255);
  EXPECT_EQ(bits, 14);  // 49 bands of codebook 0: sections of 31 and 18
  for (int b = 0; b < e->sblimit; ++b) EXPECT_EQ(books[b], 0) << b;
  for (int k = 0; k < 1024; ++k) ASSERT_EQ(w.quantized[0][k], 0) << k;
}

// A frame's elements, read back: element ids, gains, sections, and the fill up to the end.
struct ParsedFrame {
  std::vector<int> elements;           // ids in order
  std::vector<std::vector<int>> books;  // per channel
  std::vector<int> fillCounts;          // n of each fill element
  size_t endBit = 0;                    // the bit after END
};

ParsedFrame ParseSilentFrame(const std::vector<uint8_t>& frame, int channels, int bands, bool adts) {
  ParsedFrame p;
  BitReader r(frame);
  if (adts) r.Read(56);
  for (;;) {
    const int id = static_cast<int>(r.Read(3));
    p.elements.push_back(id);
    if (id == 7) break;
    if (id == 0 || id == 1) {
      r.Read(id == 1 ? 5 : 4);
      for (int c = 0; c < channels; ++c) {
        r.Read(8);
        EXPECT_EQ(r.Read(4), 0u);
        EXPECT_EQ(static_cast<int>(r.Read(6)), bands);
        r.Read(1);
        p.books.push_back(ReadSections(r, bands));
        EXPECT_EQ(r.Read(3), 0u);  // silence: no scalefactors, no spectral data
      }
    } else if (id == 6) {
      // n as the writer counts it: below 15 the bytes that follow, else 15 + the escape byte,
      // followed by n - 1 bytes.
      int n = static_cast<int>(r.Read(4));
      if (n == 15) n += static_cast<int>(r.Read(8));
      p.fillCounts.push_back(n);
      const int count = n >= 15 ? n - 1 : n;
      for (int i = 0; i < count; ++i) EXPECT_EQ(r.Read(8), 0u);
    } else {
      ADD_FAILURE() << "element " << id;
      break;
    }
  }
  p.endBit = r.Position();
  return p;
}

TEST(AacCoder, SilenceIsHeadersSectionsAndFill) {
  for (int channels : {2, 1}) {
    EncoderPtr e = AacEncoder(48000, channels, 64000 * channels);
    ASSERT_TRUE(e);
    MemoryBitstream out;
    e->Init(&out);
    std::vector<int16_t> silence(2048, 0);
    for (int f = 0; f < 40; ++f) e->EncodeFrame(silence.data());
    ASSERT_EQ(out.frames.size(), 40u);
    // The first frame has nothing in the reservoir to spend: element headers and sections only
    // (mono: 32 bits of overhead and 14 of sections; stereo: 55 and 28).
    EXPECT_EQ(out.frames[0].size(), channels == 1 ? 6u : 11u);
    bool filled = false;
    for (const auto& frame : out.frames) {
      ParsedFrame p = ParseSilentFrame(frame, channels, e->sblimit, false);
      ASSERT_EQ(p.elements.front(), channels == 2 ? 1 : 0);
      for (const auto& books : p.books) EXPECT_EQ(books, std::vector<int>(e->sblimit, 0));
      EXPECT_EQ((p.endBit + 7) / 8, frame.size());
      filled |= !p.fillCounts.empty();
    }
    EXPECT_TRUE(filled);  // once the reservoir is full, fill keeps it from overflowing
    EXPECT_LE(e->aacState->reservoir, e->aacState->reservoirMax);
    EXPECT_GE(e->aacState->reservoir, e->aacState->reservoirMax - 8);
  }
}

TEST(AacCoder, FillElementsReachTheFrameSize) {
  // Fill counts n below 15 use the 4-bit count, 15 and more its escape byte, and more than one
  // element's worth (270 bytes) takes two elements; the frame ends exactly at its size.
  EncoderPtr e = AacEncoder(48000, 1, 64000);
  ASSERT_TRUE(e);
  std::fill(&e->aacState->codebooks[0][0], &e->aacState->codebooks[0][0] + 52, 0);
  std::fill(e->aacWork->quantized[0], e->aacWork->quantized[0] + 1024, 0);
  const int bare = 6;  // SCE of a silent channel and END: 49 bits
  struct Case { int fill; std::vector<int> counts; } cases[] = {
      {0, {}}, {1, {0}}, {15, {14}}, {16, {15}}, {17, {16}}, {270, {256, 12}}, {271, {256, 13}}};
  for (const Case& c : cases) {
    Capture cap(*e);
    e->WriteAacRawDataBlock(bare + c.fill);
    ParsedFrame p = ParseSilentFrame(cap.bytes, 1, e->sblimit, false);
    EXPECT_EQ(p.fillCounts, c.counts) << c.fill;
    EXPECT_EQ(static_cast<int>((p.endBit + 7) / 8), bare + c.fill) << c.fill;
  }
}

TEST(AacCoder, StreamsOnOneEncoderAreIdentical) {
  // Init starts every stream clean: history, reservoir, average gain, padding.
  EncoderPtr e = AacEncoder(44100, 2, 128000, true);
  ASSERT_TRUE(e);
  Pcm tone;
  ASSERT_TRUE(MakeTone(997, 44100, 2, 0.5, tone));
  std::vector<uint8_t> first = EncodePcm(*e, tone, 1);
  EXPECT_EQ(EncodePcm(*e, tone, 1), first);
  EXPECT_EQ(EncodePcm(*e, tone, 1), first);
}

TEST(AacCoder, AverageStepAndFailedAllocations) {
  EncoderPtr e = AacEncoder(48000, 2, 128000);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->GetAverageStepDb(), 0);
  MemoryBitstream out;
  e->Init(&out);
  Pcm tone;
  ASSERT_TRUE(MakeTone(440, 48000, 2, 0.2, tone));
  double sum = 0;
  for (int f = 0; f < 4; ++f) {
    e->EncodeFrame(&tone.samples[static_cast<size_t>(f) * 2048]);
    for (int c = 0; c < 2; ++c) sum += std::pow(2.0, (e->aacState->globalGain[c] - 210) * 0.25);
  }
  EXPECT_NEAR(e->GetAverageStepDb(), 20 * std::log10(sum / 8), 1e-9);

  // Window, history, work area: each failing allocation fails the factory at once.
  for (int allowed = 0; allowed < 3; ++allowed) {
    aenc::AudioEncoderConfig config = AacConfig(48000, 2, 128000);
    aenc::FailAlignedAllocationsAfter(allowed);
    CMPEGAudioEncoder* encoder = reinterpret_cast<CMPEGAudioEncoder*>(1);
    const bool built = aenc::NewMPEGAudioEncoder(&encoder, &config);
    aenc::FailAlignedAllocationsAfter(-1);
    EXPECT_FALSE(built) << allowed;
    EXPECT_EQ(encoder, nullptr);
  }
}

TEST(AacCoder, NoOutputBufferKeepsTheReservoir) {
  EncoderPtr e = AacEncoder(48000, 2, 128000);
  ASSERT_TRUE(e);
  MemoryBitstream out;
  e->Init(&out);
  std::vector<int16_t> silence(2048, 0);
  for (int f = 0; f < 3; ++f) e->EncodeFrame(silence.data());
  const int reservoir = e->aacState->reservoir;
  out.Refuse(true);
  e->EncodeFrame(silence.data());
  EXPECT_EQ(e->aacState->reservoir, reservoir);
  EXPECT_EQ(out.frames.size(), 3u);
}

}  // namespace
}  // namespace orx::test
