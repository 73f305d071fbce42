// The Layer III coder's pieces: tables against their CSV, the MDCT against its formula, the
// bit counting, table choice and region rules, the reservoir, and the writers read back.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "aenc/core/aligned_block.h"
#include "aenc/layer3/layer3_mdct_table.h"
#include "aenc/layer3/layer3_state.h"
#include "aenc/layer3/layer3_tables.h"
#include "aenc/simd/mpeg_audio_encoder_variants.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/layer3_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/aenc/code_table_csv.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

using aenc::CMPEGAudioEncoder;
using aenc::Layer3GranuleRecord;

std::string Mp3DataDir() { return CodeTableDir("mp3"); }

std::vector<std::vector<std::string>> ReadCsv(const std::string& name) { return ReadCodeTableCsv(Mp3DataDir(), name); }

// Code lengths read from the CSV alone: [code table][x][y], count1 [A/B][index].
struct CsvLengths {
  std::map<int, std::map<std::pair<int, int>, int>> pairs;
  int linbits[32] = {};
  int codeTable[32] = {};
  int count1[2][16] = {};
};
const CsvLengths& Lengths() {
  static CsvLengths lengths = [] {
    CsvLengths l;
    for (const auto& r : ReadCsv("huffman-pairs.csv"))
      l.pairs[std::stoi(r[0])][{std::stoi(r[1]), std::stoi(r[2])}] = std::stoi(r[3]);
    for (const auto& r : ReadCsv("huffman-table-select.csv")) {
      const int t = std::stoi(r[0]);
      l.codeTable[t] = r[1].empty() ? 0 : std::stoi(r[1]);
      l.linbits[t] = r[2].empty() ? 0 : std::stoi(r[2]);
    }
    for (const auto& r : ReadCsv("count1-quads.csv")) {
      const int index = 8 * std::stoi(r[2]) + 4 * std::stoi(r[3]) + 2 * std::stoi(r[4]) + std::stoi(r[5]);
      l.count1[r[0] == "B"][index] = std::stoi(r[6]);
    }
    return l;
  }();
  return lengths;
}

// Bits of `values` with table t, from the CSV: code lengths, signs, linbits.
int CsvBits(const std::vector<int32_t>& values, int t) {
  const CsvLengths& l = Lengths();
  int bits = 0;
  for (size_t i = 0; i < values.size(); i += 2) {
    int x = values[i], y = values[i + 1];
    if (l.linbits[t]) {
      if (x >= 15) bits += l.linbits[t], x = 15;
      if (y >= 15) bits += l.linbits[t], y = 15;
    }
    bits += l.pairs.at(l.codeTable[t]).at({x, y}) + (x != 0) + (y != 0);
  }
  return bits;
}

TEST(Layer3Tables, MatchTheirCsv) {
  if (!std::filesystem::exists(Mp3DataDir())) GTEST_SKIP() << "no Layer III tables at " << Mp3DataDir();
  int pairRows = 0;
  for (const auto& r : ReadCsv("huffman-pairs.csv")) {
    const int table = std::stoi(r[0]), x = std::stoi(r[1]), y = std::stoi(r[2]);
    const aenc::Layer3HuffmanTable& t = aenc::kLayer3HuffmanTables[table];
    ASSERT_NE(t.codes, nullptr) << table;
    ASSERT_LT(x, t.size);
    const uint32_t entry = t.codes[x * t.size + y];
    EXPECT_EQ(aenc::HuffmanLength(entry), static_cast<int>(r[5].size())) << table << " " << x << " " << y;
    EXPECT_EQ(aenc::HuffmanCode(entry), std::stoul(r[5], nullptr, 2)) << table << " " << x << " " << y;
    ++pairRows;
  }
  EXPECT_EQ(pairRows, 1378);
  for (const auto& r : ReadCsv("huffman-table-select.csv")) {
    const int t = std::stoi(r[0]);
    const aenc::Layer3HuffmanTable& table = aenc::kLayer3HuffmanTables[t];
    if (r[1].empty()) {
      EXPECT_EQ(table.codes, nullptr) << t;
      continue;
    }
    EXPECT_EQ(table.codes, aenc::kLayer3HuffmanTables[std::stoi(r[1])].codes) << t;
    EXPECT_EQ(table.linbits, std::stoi(r[2])) << t;
    EXPECT_EQ(table.size - 1, std::stoi(r[3])) << t;
  }
  int quadRows = 0;
  for (const auto& r : ReadCsv("count1-quads.csv")) {
    const int index = 8 * std::stoi(r[2]) + 4 * std::stoi(r[3]) + 2 * std::stoi(r[4]) + std::stoi(r[5]);
    const uint32_t entry = aenc::kLayer3Count1Codes[std::stoi(r[1])][index];
    EXPECT_EQ(aenc::HuffmanLength(entry), static_cast<int>(r[8].size())) << r[0] << index;
    EXPECT_EQ(aenc::HuffmanCode(entry), std::stoul(r[8], nullptr, 2)) << r[0] << index;
    ++quadRows;
  }
  EXPECT_EQ(quadRows, 32);
  const int rowRates[6] = {22050, 24000, 16000, 44100, 48000, 32000};
  for (const char* kind : {"long", "short"}) {
    const bool isLong = kind[0] == 'l';
    int seen = 0;
    for (const auto& r : ReadCsv(std::string("sfb-") + kind + ".csv")) {
      const int rate = std::stoi(r[0]), band = std::stoi(r[3]);
      const int row = static_cast<int>(std::find(rowRates, rowRates + 6, rate) - rowRates);
      if (row == 6) continue;  // rates outside the two standards' tables
      const uint16_t* bounds = isLong ? aenc::kLayer3SfbBoundsLong[row] : aenc::kLayer3SfbBoundsShort[row];
      EXPECT_EQ(bounds[band], std::stoi(r[4])) << kind << " " << rate << " " << band;
      EXPECT_EQ(bounds[band + 1], std::stoi(r[5])) << kind << " " << rate << " " << band;
      ++seen;
    }
    EXPECT_EQ(seen, isLong ? 6 * 22 : 6 * 13) << kind;
  }
}

EncoderPtr Layer3Encoder(int rate, int channels, int bitrate, uint32_t mask = 0x31) {
  aenc::AudioEncoderConfig config = Layer3Config(rate, channels, bitrate);
  return MakeEncoder(config, mask);
}

TEST(Layer3Kernels, MdctAgainstTheDirectFormula) {
  EncoderPtr base = Layer3Encoder(48000, 2, 128000, 0x00);  // _MMX: the plain MDCT
  EncoderPtr sse = Layer3Encoder(48000, 2, 128000, 0x31);
  ASSERT_TRUE(base && sse);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  double worstBase = 0, worstSse = 0;
  for (int trial = 0; trial < 200; ++trial) {
    float z[36], plain[18], packed[18];
    for (float& v : z) v = sample(random) * (trial % 3 == 0 ? 1e-3f : 1.0f);
    base->Layer3Mdct(z, plain);
    sse->Layer3Mdct(z, packed);
    for (int k = 0; k < 18; ++k) {
      double direct = 0;
      for (int n = 0; n < 36; ++n)
        direct += std::cos(M_PI / 72 * (2 * n + 19) * (2 * k + 1)) * std::sin(M_PI / 36 * (n + 0.5)) / 9 * z[n];
      worstBase = std::max(worstBase, std::fabs(plain[k] - direct));
      worstSse = std::max(worstSse, double(std::fabs(packed[k] - plain[k])));
    }
  }
  // Single-precision sums of 36 products of magnitude below 1/9: within a few float steps of 4.
  EXPECT_LT(worstBase, 2e-6);
  EXPECT_LT(worstSse, 2e-6);  // the packed order of the same products
}

TEST(Layer3Kernels, TableIsBuiltOnceAndShared) {
  float fresh[18][36];
  aenc::BuildMdctTable(fresh);
  const float (*shared)[36] = aenc::Layer3MdctTable();
  EXPECT_EQ(shared, aenc::Layer3MdctTable());
  EXPECT_EQ(std::memcmp(fresh, shared, sizeof fresh), 0);
  // Init leaves it alone: the same address and contents afterwards.
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  MemoryBitstream out;
  e->Init(&out);
  EXPECT_EQ(aenc::Layer3MdctTable(), shared);
}

TEST(Layer3Kernels, EncodeFrameRestoresMxcsr) {
  EncoderPtr encoder = Layer3Encoder(44100, 2, 128000);
  MemoryBitstream out;
  encoder->Init(&out);
  Pcm noise = NoisePcm(1152 * 3, 2, 5);
  const unsigned saved = _mm_getcsr();
  int frame = 0;
  for (unsigned before : {0x1F80u, 0x1FC0u, 0x1F80u | 0x2000u}) {
    _mm_setcsr(before);
    encoder->EncodeFrame(&noise.samples[static_cast<size_t>(frame++) * 2304]);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after & ~0x3Fu, before) << std::hex << before;
  }
}

TEST(Layer3Kernels, HelpersWithoutACaller) {
  EXPECT_EQ(CMPEGAudioEncoder::Layer3Step(0), 1.0f);
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::Layer3Step(16), 0.125f);
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::Layer3Step(-16), 8.0f);
  EXPECT_FLOAT_EQ(CMPEGAudioEncoder::Layer3Step(4), static_cast<float>(std::pow(2.0, -0.75)));
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  MemoryBitstream out;
  e->Init(&out);
  EXPECT_EQ(e->MainDataBitsWritten(), 0);
  e->PutMainDataBits(0x5, 3);
  EXPECT_EQ(e->MainDataBitsWritten(), 3);
  e->PutMainDataBits(0x1234, 14);
  EXPECT_EQ(e->MainDataBitsWritten(), 17);
  e->FlushMainData(1);
  EXPECT_EQ(e->MainDataBitsWritten(), 9);
}

// One granule's quantized values, all zero but those given.
std::vector<int32_t> Granule(std::initializer_list<std::pair<int, int>> lines) {
  std::vector<int32_t> ix(576, 0);
  for (auto [at, value] : lines) ix[static_cast<size_t>(at)] = value;
  return ix;
}

// Values whose costs with tables a and b tie, found among random pair lists of magnitudes up to
// `largest` (each list holds `largest` at least once).
std::vector<int32_t> FindTie(int a, int b, int largest, unsigned seed, int c = -1) {
  std::mt19937 random(seed);
  for (int attempt = 0; attempt < 200000; ++attempt) {
    const int pairs = 1 + static_cast<int>(random() % 6);
    std::vector<int32_t> v(static_cast<size_t>(2 * pairs));
    for (int32_t& x : v) x = static_cast<int32_t>(random() % (largest + 1));
    v[random() % v.size()] = largest;
    const int ca = CsvBits(v, a), cb = CsvBits(v, b);
    if (ca != cb) continue;
    if (c >= 0 && CsvBits(v, c) != ca) continue;
    return v;
  }
  return {};
}

TEST(Layer3Cases, TheCoderRules) {
  if (!std::filesystem::exists(Mp3DataDir())) GTEST_SKIP() << "no Layer III tables";
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  ASSERT_TRUE(e);
  MemoryBitstream out;
  e->Init(&out);
  auto choose = [&e](const std::vector<int32_t>& v, int* bits = nullptr) {
    int table = -1;
    const int b = e->SelectHuffmanTable(v.data(), static_cast<int>(v.size()), &table);
    if (bits) *bits = b;
    return table;
  };

  // Ties between tables of one group: the later one (3 over 2, 6 over 5, 15 over 13); among
  // three, 8 over 7 and 9 over the better of those; in the linbits families the first.
  struct Tie {
    const char* name;
    int a, b, largest, expected, third = -1;
  } ties[] = {
      {"3 over 2", 2, 3, 2, 3},
      {"6 over 5", 5, 6, 3, 6},
      {"15 over 13", 13, 15, 10, 15},
      {"8 over 7", 7, 8, 5, 8},
      {"9 over 7 and 8 alike", 7, 9, 4, 9, 8},
      {"12 over 11", 11, 12, 7, 12},
      {"16 over 24 (first family)", 16, 24, 15, 16},
  };
  for (const Tie& t : ties) {
    SCOPED_TRACE(t.name);
    std::vector<int32_t> v = FindTie(t.a, t.b, t.largest, 11, t.third);
    ASSERT_FALSE(v.empty()) << "no tie found";
    // Only when no other table of the group is cheaper does the tie decide.
    int bits = 0;
    const int chosen = choose(v, &bits);
    if (bits == CsvBits(v, t.a)) EXPECT_EQ(chosen, t.expected);
    else EXPECT_LT(bits, CsvBits(v, t.a));
  }

  // Every choice is the cheapest of its group by the CSV's lengths, on random lists.
  std::mt19937 random(3);
  for (int trial = 0; trial < 2000; ++trial) {
    const int largest = static_cast<int>(random() % 40);
    std::vector<int32_t> v(2 + 2 * (random() % 8));
    for (int32_t& x : v) x = static_cast<int32_t>(random() % (largest + 1));
    int bits = 0;
    const int table = choose(v, &bits);
    int top = 0;
    for (int32_t x : v) top = std::max(top, x);
    if (top == 0) {
      EXPECT_EQ(table, 0);
      continue;
    }
    EXPECT_EQ(bits, CsvBits(v, table)) << table;
    std::vector<int> group = top == 1 ? std::vector<int>{1}
                             : top == 2 ? std::vector<int>{2, 3}
                             : top == 3 ? std::vector<int>{5, 6}
                             : top <= 5 ? std::vector<int>{7, 8, 9}
                             : top <= 7 ? std::vector<int>{10, 11, 12}
                             : top <= 14 ? std::vector<int>{13, 15}
                                         : std::vector<int>{};
    if (top >= 15) {
      auto first = [top](int from, int to, int fallback) {
        for (int t = from; t <= to; ++t) {
          const int reach = Lengths().linbits[t] ? (1 << Lengths().linbits[t]) - 1 : 0;
          if (top - 15 <= reach) return t;
        }
        return fallback;
      };
      group = {first(15, 22, 23), first(24, 30, 31)};
    }
    int best = 1 << 30;
    for (int t : group) best = std::min(best, CsvBits(v, t));
    EXPECT_EQ(bits, best) << "largest " << top;
  }

  // A region of values of exactly 15 takes table 15 (no linbits) when that is cheapest.
  {
    std::vector<int32_t> fifteen;
    for (const std::vector<int32_t>& candidate : {std::vector<int32_t>{15, 15, 15, 0, 1, 15},
                                                  std::vector<int32_t>{15, 14, 13, 15, 12, 11},
                                                  std::vector<int32_t>{15, 1, 2, 3, 15, 4}}) {
      if (CsvBits(candidate, 15) < CsvBits(candidate, 24)) {
        fifteen = candidate;
        break;
      }
    }
    ASSERT_FALSE(fifteen.empty());
    int bits = 0;
    EXPECT_EQ(choose(fifteen, &bits), 15);
    EXPECT_EQ(bits, CsvBits(fifteen, 15));
  }

  // A gain whose largest code exceeds 8191 is rejected.
  {
    aenc::Layer3WorkArea& w = *e->l3Work.get();
    Layer3GranuleRecord r{};
    bool fits = true;
    std::fill(std::begin(w.xr34), std::end(w.xr34), 0.0f);
    w.xr34[100] = 8191.2f;
    e->Layer3TryGain(0, w.ix[0][0], r, &fits);
    EXPECT_TRUE(fits);
    w.xr34[100] = 8192.6f;
    e->Layer3TryGain(0, w.ix[0][0], r, &fits);
    EXPECT_FALSE(fits);
  }

  // Region subdivision for every boundary index j: the table's counts, lowered only where their
  // boundaries would pass the end of the big values.
  {
    const uint8_t table[23][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 1},
                                  {1, 2}, {2, 2}, {2, 3}, {2, 3}, {3, 4}, {3, 4}, {3, 4}, {4, 5},
                                  {4, 5}, {4, 6}, {5, 6}, {5, 6}, {5, 7}, {6, 7}, {6, 7}};
    const uint16_t* bounds = aenc::kLayer3SfbBoundsLong[4];
    for (int j = 1; j <= 22; ++j) {
      const int v = bounds[j];  // big values ending on boundary j
      std::vector<int32_t> ix(576, 0);
      for (int i = 0; i < v; ++i) ix[static_cast<size_t>(i)] = 2;
      Layer3GranuleRecord r{};
      e->Layer3CountBits(ix.data(), r);
      ASSERT_EQ(static_cast<int>(2 * r.bigValues), v) << j;
      EXPECT_EQ(r.region0Count, table[j][0]) << "j " << j;
      EXPECT_EQ(r.region1Count, table[j][1]) << "j " << j;
    }
    // j = 0 only for an empty big-values region: no regions, no tables.
    Layer3GranuleRecord r{};
    std::vector<int32_t> silent(576, 0);
    EXPECT_EQ(e->Layer3CountBits(silent.data(), r), 0);
    EXPECT_EQ(r.bigValues, 0u);
    EXPECT_EQ(r.region0Count + r.region1Count + r.tableSelect[0] + r.tableSelect[1] + r.tableSelect[2], 0u);
    // Lowered: v = 10 at 48 kHz gives j = 3 (boundary 12) and (0, 0) from the table; v = 26 gives
    // j = 6 (boundary 30), (1, 1) whose region 1 ends at 12 <= 26.
    std::vector<int32_t> ix(576, 0);
    for (int i = 0; i < 26; ++i) ix[static_cast<size_t>(i)] = 3;
    e->Layer3CountBits(ix.data(), r);
    EXPECT_EQ(r.region0Count, 1u);
    EXPECT_EQ(r.region1Count, 1u);
  }

  // big_values of one pair: region 0 runs to the first boundary (4 lines), so its count covers
  // the count1 lines too; the writer fills what it did not write with 1-bits.
  {
    std::vector<int32_t> ix = Granule({{0, 2}, {2, 1}, {3, 1}, {5, 1}});
    Layer3GranuleRecord r{};
    const int bits = e->Layer3CountBits(ix.data(), r);
    EXPECT_EQ(r.bigValues, 1u);
    EXPECT_EQ(r.count1, 1u);
    // Region 0 is lines 0..3 (table 2 or 3 over 2, 0, 1, 1), region 1 lines 4..7 (table 1
    // over 0, 1, 0, 0), then the quadruple (1, 1, 0, 1) and its three signs.
    EXPECT_EQ(r.tableSelect[1], 1u);
    const int region = CsvBits({2, 0, 1, 1}, static_cast<int>(r.tableSelect[0])) + CsvBits({0, 1, 0, 0}, 1);
    const int quad = r.count1TableSelect ? 4 : Lengths().count1[0][8 + 4 + 1];
    EXPECT_EQ(bits, region + quad + 3);
    // Written: the pair (2, 0) and the quadruple; the rest of part2_3_length is 1-bits.
    aenc::Layer3WorkArea& w = *e->l3Work.get();
    std::copy(ix.begin(), ix.end(), w.ix[0][0]);
    for (int i = 0; i < 576; ++i) w.xr[0][0][i] = ix[static_cast<size_t>(i)] ? 1.0f : 0.0f;
    r.part23Length = static_cast<uint32_t>(bits);
    e->stageIndex = 0;
    e->stageBitsLeft = 8;
    e->stage[0] = 0;
    const int start = e->MainDataBitsWritten();
    e->Layer3WriteGranule(w.ix[0][0], w.xr[0][0], r);
    const int written = e->MainDataBitsWritten() - start;
    EXPECT_EQ(written, CsvBits({2, 0}, static_cast<int>(r.tableSelect[0])) + quad + 3);
    EXPECT_LT(written, bits);
  }
}

// Runs frames of silence and answers the records and reservoir after each.
TEST(Layer3Cases, ReservoirAndSilence) {
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->frameBytes, 384);
  MemoryBitstream out;
  e->Init(&out);
  std::vector<int16_t> silence(2304, 0);
  e->EncodeFrame(silence.data());
  const aenc::Layer3State& st = *e->l3State;
  EXPECT_EQ(st.maxReservoirBits, 4088);
  // A silent granule: nothing coded, every table 0; each of the four keeps its mean of
  // (3072 - 288) / 2 / 2 = 696 bits in the reservoir.
  for (const auto& granule : st.granules) {
    for (const Layer3GranuleRecord& r : granule) {
      EXPECT_EQ(r.part23Length, 0u);
      EXPECT_EQ(r.bigValues + r.count1 + r.tableSelect[0] + r.tableSelect[1] + r.tableSelect[2], 0u);
    }
  }
  EXPECT_EQ(st.reservoirBits, 4 * 696);
  // The second frame overflows the reservoir: the excess is stuffed into the first record.
  e->EncodeFrame(silence.data());
  EXPECT_EQ(st.reservoirBits, 4088);
  EXPECT_EQ(st.granules[0][0].part23Length, 2u * 4 * 696 - 4088);
  EXPECT_EQ(st.granules[0][1].part23Length + st.granules[1][0].part23Length + st.granules[1][1].part23Length, 0u);
  for (int f = 0; f < 4; ++f) e->EncodeFrame(silence.data());
  e->EndOfStream();
  ASSERT_EQ(out.frames.size(), 6u);
  for (const auto& frame : out.frames) EXPECT_EQ(frame.size(), 384u);
  // The header and side information are 288 bits; every frame's main_data_begin points into the
  // reservoir (0 for the first).
  BitReader first(out.frames[0]);
  first.Read(32);
  EXPECT_EQ(first.Read(9), 0u);
  BitReader second(out.frames[1]);
  second.Read(32);
  EXPECT_EQ(second.Read(9), 4u * 696 / 8);
}

TEST(Layer3Cases, MainDataBeginStaysWithinTheReservoir) {
  // Noise and a tone with loud and quiet stretches move the reservoir up and down.
  Pcm input = NoisePcm(48000, 2, 9, 9000);
  for (size_t i = 0; i < input.samples.size(); ++i) {
    if ((i / 20000) % 3 == 1) input.samples[i] = static_cast<int16_t>(input.samples[i] / 64);
  }
  for (int bitrate : {96000, 192000}) {
    EncoderPtr e = Layer3Encoder(48000, 2, bitrate);
    std::vector<uint8_t> stream = EncodePcm(*e, input);
    std::vector<size_t> sizes = MpegFrameSizes(stream);
    ASSERT_FALSE(sizes.empty());
    size_t at = 0;
    int largest = 0, nonZero = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
      std::vector<uint8_t> frame(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + sizes[i]));
      BitReader bits(frame);
      bits.Read(32);
      const int begin = static_cast<int>(bits.Read(9));
      if (i == 0) {
        EXPECT_EQ(begin, 0);
      }
      largest = std::max(largest, begin);
      nonZero += begin != 0;
      at += sizes[i];
    }
    EXPECT_LE(largest, 511);
    EXPECT_GT(nonZero, 0);  // the reservoir is used
    Mp3Verdict v = CheckMp3(stream, MakeTempDir("l3") + "/noise.mp3", false);
    EXPECT_TRUE(v.ffmpegClean) << v.log;
    EXPECT_TRUE(v.mpg123Clean) << v.log;
  }
}

TEST(Layer3Cases, AverageStepPerGranuleAndChannel) {
  EncoderPtr e = Layer3Encoder(44100, 2, 128000);
  MemoryBitstream out;
  e->Init(&out);
  EXPECT_EQ(e->GetAverageStepDb(), 0);
  Pcm tone;
  ASSERT_TRUE(MakeTone(440, 44100, 2, 0.2, tone));
  double sum = 0;
  for (int f = 0; f < 3; ++f) {
    e->EncodeFrame(&tone.samples[static_cast<size_t>(f) * 2304]);
    for (const auto& granule : e->l3State->granules) {
      for (const Layer3GranuleRecord& r : granule) sum += std::pow(2.0, (static_cast<int>(r.globalGain) - 210) / 4.0);
    }
  }
  EXPECT_NEAR(e->GetAverageStepDb(), 20 * std::log10(sum / (2 * 2 * 3)), 1e-6);
}

TEST(Layer3Faults, LowerRatesRefusedAndAllocationsChecked) {
  // 16, 22.05 and 24 kHz would carry an MPEG-2 header over MPEG-1 side information.
  for (int rate : {16000, 22050, 24000}) {
    aenc::AudioEncoderConfig config = Layer3Config(rate, 2, 96000);
    EXPECT_FALSE(MakeEncoder(config)) << rate;
    aenc::AudioEncoderConfig layer2 = Layer2Config(rate, 2, 96000);
    EXPECT_TRUE(MakeEncoder(layer2)) << rate;
  }
  // Window, history, MPEG work area, Layer III work area, the model's block: each failing
  // allocation fails the factory at once.
  for (int allowed = 0; allowed < 5; ++allowed) {
    aenc::AudioEncoderConfig config = Layer3Config(48000, 2, 128000);
    aenc::FailAlignedAllocationsAfter(allowed);
    CMPEGAudioEncoder* encoder = reinterpret_cast<CMPEGAudioEncoder*>(1);
    const bool built = aenc::NewMPEGAudioEncoder(&encoder, &config);
    aenc::FailAlignedAllocationsAfter(-1);
    EXPECT_FALSE(built) << allowed;
    EXPECT_EQ(encoder, nullptr);
  }
  // A frame node that cannot be allocated: the frame is refused, nothing half-written.
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  MemoryBitstream out;
  e->Init(&out);
  std::vector<int16_t> silence(2304, 0);
  EXPECT_TRUE(e->EncodeFrame(silence.data()));
  EXPECT_TRUE(e->EncodeFrame(silence.data()));
  e->EndOfStream();  // the nodes are freed
  e->Init(&out);
  e->layer3NodeAllocationsLeft = 0;
  EXPECT_FALSE(e->EncodeFrame(silence.data()));
}

TEST(Layer3Faults, LostFramesKeepTheStreamDecodable) {
  // Without an output buffer a frame is lost, but its main data leaves the stage as planned: the
  // frames after it still point back to the right bytes (those a lost frame carried excepted).
  Pcm tone;
  ASSERT_TRUE(MakeTone(1000, 48000, 2, 1.0, tone));
  EncoderPtr e = Layer3Encoder(48000, 2, 128000);
  MemoryBitstream out;
  e->Init(&out);
  for (size_t f = 0; f + 2304 <= tone.samples.size(); f += 2304) {
    out.Refuse(f / 2304 == 10);
    e->EncodeFrame(&tone.samples[f]);
  }
  out.Refuse(false);
  e->EndOfStream();
  EXPECT_EQ(out.frames.size(), tone.samples.size() / 2304 - 1);
}

// Two encoders starting at once on two threads, before any other in the process, build and
// read the MDCT table safely and write the same bytes as one encoder alone afterwards.
TEST(AencThreads, Layer3EncodersStartingTogether) {
  Pcm input = NoisePcm(1152 * 8, 2, 4);
  auto encode = [&input] {
    aenc::AudioEncoderConfig config = Layer3Config(48000, 2, 128000);
    EncoderPtr encoder = MakeEncoder(config);
    return EncodePcm(*encoder, input);
  };
  std::vector<uint8_t> first, second;
  std::thread a([&] { first = encode(); });
  std::thread b([&] { second = encode(); });
  a.join();
  b.join();
  const std::vector<uint8_t> alone = encode();
  ASSERT_FALSE(alone.empty());
  EXPECT_EQ(first, alone);
  EXPECT_EQ(second, alone);
}

}  // namespace
}  // namespace orx::test
