// The CAVLC residual coder: named edge cases as bit strings, the code tables against the CSV
// files of the standard's tables, a reader written from the standard's parsing process reading
// back random blocks of every class, the level tables against the levelCode rule, the escape's
// clamp, the decimation cost and the once-per-process build of the level tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/venc/common/debug_capture.h"
#include "tests/venc/mbenc/h264_cavlc_reader.h"
#include "tests/venc/mbenc/h264_dc_stream.h"

namespace orx::venc::test {
namespace {

// An initialised encoder whose written bits the tests read back.
struct CavlcRig {
  H264DcRig rig{64, 64};
  CavlcRig() { EXPECT_TRUE(rig.encoder.Init(&rig.settings, &rig.rateControl)); }
  // Everything written so far, padded to a byte.
  std::vector<uint8_t> Bytes() {
    rig.encoder.FlushBits(true);
    return rig.output.AllBytes();
  }
};

std::string BitString(const std::vector<uint8_t>& bytes, size_t bits) {
  std::string s;
  for (size_t i = 0; i < bits; ++i) s.push_back((bytes[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0');
  return s;
}

// Writes one block on a fresh encoder and answers its bits.
std::string WriteBlockBits(const std::vector<int16_t>& levels, const uint32_t* scan, int ncClass,
                           int maxIndex) {
  CavlcRig r;
  int total = 0;
  for (int i = 0; i <= maxIndex; ++i) total += levels[scan[i]] != 0;
  const uint64_t before = r.rig.encoder.GetBitPosition();
  WriteCavlcBlock(&r.rig.encoder, levels.data(), scan, total, ncClass, maxIndex);
  const uint64_t bits = r.rig.encoder.GetBitPosition() - before;
  return BitString(r.Bytes(), bits);
}

const uint32_t kIdentityScan[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST(H264Cavlc, EdgeCasesWriteTheseBits) {
  BuildCavlcLevelTables();
  struct Case {
    const char* name;
    std::vector<int16_t> levels;  // in scan order
    const uint32_t* scan;
    int ncClass;
    int maxIndex;
    std::string bits;
  };
  std::vector<int16_t> sixteenTwos(16, 2);
  std::string sixteenTwosBits = "0000000000000100" "10";
  for (int i = 0; i < 15; ++i) sixteenTwosBits += "010";
  const std::vector<Case> cases = {
      {.name = "three levels, two trailing ones, zeros between",
       .levels = {0, 3, -1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       .scan = kIdentityScan, .ncClass = 0, .maxIndex = 15,
       // coeff_token(3, 2), signs of 1 and -1, 3 reduced to 2 with suffixLength 0,
       // total_zeros 2 for TotalCoeff 3, run_before 1 (zerosLeft 2), run_before 0 (zerosLeft 1)
       .bits = std::string("0000101") + "01" + "001" + "110" + "01" + "1"},
      {.name = "sixteen levels: no total_zeros",
       .levels = sixteenTwos, .scan = kIdentityScan, .ncClass = 0, .maxIndex = 15,
       .bits = sixteenTwosBits},
      {.name = "chroma DC with four levels: no total_zeros",
       .levels = {1, 0, 1, 0, 1, 0, 1, 0}, .scan = kH264ChromaDcScan, .ncClass = 4, .maxIndex = 3,
       .bits = std::string("0000000") + "000" + "1"},
      {.name = "three trailing ones and a first level of 20: the escape",
       .levels = {20, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       .scan = kIdentityScan, .ncClass = 0, .maxIndex = 15,
       .bits = std::string("000011") + "000" + "0000000000000001" + "000000001000" + "00011"},
      {.name = "empty block",
       .levels = std::vector<int16_t>(16, 0), .scan = kIdentityScan, .ncClass = 2, .maxIndex = 15,
       .bits = "1111"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteBlockBits(c.levels, c.scan, c.ncClass, c.maxIndex), c.bits);
  }
}

TEST(H264Cavlc, TablesMatchTheCsvFiles) {
  int rows = 0;
  for (const CsvCode& r : ReadH264CodeCsv("coeff-token.csv")) {
    const int cls = std::stoi(r.columns.at("nc_class"));
    if (cls > 4) continue;
    const CavlcCode c = CoeffTokenCode(cls, std::stoi(r.columns.at("total_coeff")),
                                       std::stoi(r.columns.at("trailing_ones")));
    EXPECT_EQ(BitString({uint8_t(c.code >> 24), uint8_t(c.code >> 16), uint8_t(c.code >> 8), uint8_t(c.code)}, 32)
                  .substr(32 - static_cast<size_t>(c.length)),
              r.bits);
    ++rows;
  }
  for (const char* name : {"total-zeros-4x4.csv", "total-zeros-chroma-dc-420.csv"}) {
    const bool chromaDc = std::string(name).find("chroma") != std::string::npos;
    for (const CsvCode& r : ReadH264CodeCsv(name)) {
      const CavlcCode c = TotalZerosCode(chromaDc, std::stoi(r.columns.at("total_coeff")),
                                         std::stoi(r.columns.at("total_zeros")));
      ASSERT_EQ(c.length, static_cast<int>(r.bits.size())) << name;
      EXPECT_EQ(c.code, std::stoul(r.bits, nullptr, 2)) << name;
      ++rows;
    }
  }
  for (const CsvCode& r : ReadH264CodeCsv("run-before.csv")) {
    const int cls = std::stoi(r.columns.at("zeros_left_class"));
    const CavlcCode c = RunBeforeCode(cls, std::stoi(r.columns.at("run_before")));
    ASSERT_EQ(c.length, static_cast<int>(r.bits.size()));
    EXPECT_EQ(c.code, std::stoul(r.bits, nullptr, 2));
    ++rows;
  }
  EXPECT_EQ(rows, 262 + 135 + 9 + 42);
}

// Every code of one table row set: prefix-free, and a Kraft sum of at most 1.
void ExpectPrefixFree(const std::vector<CavlcCode>& codes, const std::string& name) {
  SCOPED_TRACE(name);
  double kraft = 0;
  std::vector<std::string> words;
  for (const CavlcCode& c : codes) {
    ASSERT_GT(c.length, 0);
    std::string w;
    for (int i = c.length - 1; i >= 0; --i) w.push_back((c.code >> i) & 1 ? '1' : '0');
    words.push_back(w);
    kraft += std::ldexp(1.0, -c.length);
  }
  EXPECT_LE(kraft, 1.0);
  for (size_t i = 0; i < words.size(); ++i) {
    for (size_t j = 0; j < words.size(); ++j) {
      if (i == j) continue;
      EXPECT_NE(words[j].rfind(words[i], 0), 0u) << words[i] << " prefixes " << words[j];
    }
  }
}

TEST(H264Cavlc, EveryTableIsPrefixFree) {
  for (int cls = 0; cls <= 4; ++cls) {
    std::vector<CavlcCode> codes;
    for (int tc = 0; tc <= (cls == 4 ? 4 : 16); ++tc)
      for (int t1 = 0; t1 <= std::min(3, tc); ++t1) codes.push_back(CoeffTokenCode(cls, tc, t1));
    ExpectPrefixFree(codes, "coeff_token class " + std::to_string(cls));
  }
  for (int tc = 1; tc <= 15; ++tc) {
    std::vector<CavlcCode> codes;
    for (int tz = 0; tz <= 16 - tc; ++tz) codes.push_back(TotalZerosCode(false, tc, tz));
    ExpectPrefixFree(codes, "total_zeros TotalCoeff " + std::to_string(tc));
  }
  for (int tc = 1; tc <= 3; ++tc) {
    std::vector<CavlcCode> codes;
    for (int tz = 0; tz <= 4 - tc; ++tz) codes.push_back(TotalZerosCode(true, tc, tz));
    ExpectPrefixFree(codes, "chroma DC total_zeros TotalCoeff " + std::to_string(tc));
  }
  for (int zl = 1; zl <= 7; ++zl) {
    std::vector<CavlcCode> codes;
    for (int run = 0; run <= (zl < 7 ? zl : 14); ++run) codes.push_back(RunBeforeCode(zl, run));
    ExpectPrefixFree(codes, "run_before zerosLeft " + std::to_string(zl));
  }
}

TEST(H264Cavlc, LevelTablesFollowTheLevelCodeRule) {
  BuildCavlcLevelTables();
  for (int n = 0; n < kLevelTableCount; ++n) {
    const uint32_t* t = CavlcLevelTable(n);
    const int range = static_cast<int>(t[kLevelRange]);
    EXPECT_EQ(range, n == 0 ? 16 : (15 << (n - 1)) + 1);
    EXPECT_EQ(CavlcLargestEscapedMagnitude(n), range + 2047);
    for (int level = -range + 1; level < range; ++level) {
      if (level == 0) continue;
      const uint32_t entry = t[kLevelEntryBase + level];
      const int length = static_cast<int>(entry & 31);
      const uint32_t code = entry >> (32 - length);
      std::vector<uint8_t> bytes(8, 0);
      const uint64_t aligned = uint64_t(code) << (64 - length);
      for (int i = 0; i < 8; ++i) bytes[size_t(i)] = uint8_t(aligned >> (56 - 8 * i));
      BitReader bits(bytes);
      ASSERT_EQ(CavlcBlockReader::ReadLevel(bits, n, false), level) << "suffixLength " << n;
      ASSERT_EQ(bits.Position(), static_cast<size_t>(length)) << "suffixLength " << n << " level " << level;
    }
  }
}

// Levels that climb to suffixLength n before the test level (coding order, last scan position
// first), followed by three trailing ones so that no level is reduced.
std::vector<int16_t> ClimbTo(int n, int testLevel) {
  std::vector<int> coding;
  static constexpr int kClimb[6] = {2, 4, 7, 13, 25, 49};
  if (n == 1) coding.push_back(2);
  for (int k = 1; k < n; ++k) coding.push_back(kClimb[k]);
  coding.push_back(testLevel);
  // Scan order is the reverse of coding order: the test level first, the trailing ones last.
  std::vector<int16_t> levels(16, 0);
  levels[0] = static_cast<int16_t>(testLevel);
  for (size_t i = 1; i < coding.size(); ++i) levels[i] = static_cast<int16_t>(coding[coding.size() - 1 - i]);
  levels[coding.size()] = 1;
  levels[coding.size() + 1] = -1;
  levels[coding.size() + 2] = 1;
  return levels;
}

TEST(H264Cavlc, ReaderReadsBackRandomBlocksOfEveryClass) {
  BuildCavlcLevelTables();
  CavlcBlockReader reader;
  CavlcRig r;
  std::mt19937 rng(20261211);
  struct Written {
    std::vector<int16_t> levels;  // scan order
    int ncClass;
    int maxNumCoeff;
  };
  std::vector<Written> written;
  auto write = [&](const std::vector<int16_t>& levels, int ncClass, int maxNumCoeff) {
    int total = 0;
    for (int i = 0; i < maxNumCoeff; ++i) total += levels[size_t(i)] != 0;
    WriteCavlcBlock(&r.rig.encoder, levels.data(), kIdentityScan, total, ncClass, maxNumCoeff - 1);
    r.rig.encoder.FlushBits(false);
    written.push_back({std::vector<int16_t>(levels.begin(), levels.begin() + maxNumCoeff), ncClass, maxNumCoeff});
  };
  // Random blocks: every class, block size, TotalCoeff and TrailingOnes count.
  for (int cls = 0; cls <= 4; ++cls) {
    for (int maxNum : cls == 4 ? std::vector<int>{4} : std::vector<int>{16, 15}) {
      for (int total = 0; total <= maxNum; ++total) {
        for (int t1 = 0; t1 <= std::min(3, total); ++t1) {
          for (int trial = 0; trial < 6; ++trial) {
            std::vector<int> pos(static_cast<size_t>(maxNum));
            for (int i = 0; i < maxNum; ++i) pos[size_t(i)] = i;
            std::shuffle(pos.begin(), pos.end(), rng);
            pos.resize(static_cast<size_t>(total));
            std::sort(pos.begin(), pos.end());
            std::vector<int16_t> levels(16, 0);
            for (int k = 0; k < total; ++k) {
              int magnitude;
              if (k >= total - t1) {
                magnitude = 1;
              } else if (k == total - t1 - 1 && t1 < 3) {
                magnitude = 2 + static_cast<int>(rng() % 3);  // ends the trailing ones
              } else {
                const int scale = static_cast<int>(rng() % 4);
                magnitude = 1 + static_cast<int>(rng() % (scale == 0 ? 3 : scale == 1 ? 20 : scale == 2 ? 300 : 2062));  // within every table's escape
              }
              levels[size_t(pos[size_t(k)])] = static_cast<int16_t>((rng() & 1) ? magnitude : -magnitude);
            }
            write(levels, cls, maxNum);
          }
        }
      }
    }
  }
  // The escape at R and at R + 2047 of every suffixLength.
  for (int n = 0; n < kLevelTableCount; ++n) {
    for (int extra : {0, 2047}) {
      const int magnitude = CavlcLargestEscapedMagnitude(n) - 2047 + extra;
      write(ClimbTo(n, magnitude), 0, 16);
      write(ClimbTo(n, -magnitude), 0, 16);
    }
  }
  BitReader bits(r.Bytes());
  int largestSuffixLength = 0;
  int escapes = 0;
  for (size_t i = 0; i < written.size(); ++i) {
    const CavlcBlockRead read = reader.Read(bits, written[i].ncClass, written[i].maxNumCoeff);
    ASSERT_TRUE(read.ok) << "block " << i << ": " << read.error;
    std::vector<int> expected(written[i].levels.begin(), written[i].levels.end());
    ASSERT_EQ(read.levels, expected) << "block " << i << " class " << written[i].ncClass;
    largestSuffixLength = std::max(largestSuffixLength, read.largestSuffixLength);
    escapes += read.escapes;
  }
  EXPECT_EQ(largestSuffixLength, 6);
  EXPECT_GE(escapes, 28);
}

TEST(H264Cavlc, LevelsBeyondTheEscapeAreClampedWithADebugLine) {
  BuildCavlcLevelTables();
  CavlcBlockReader reader;
  for (int n : {0, 3, 6}) {
    SCOPED_TRACE(n);
    CavlcRig r;
    DebugCapture capture;
    const int largest = CavlcLargestEscapedMagnitude(n);
    const std::vector<int16_t> levels = ClimbTo(n, largest + 500);
    int total = 0;
    for (int16_t l : levels) total += l != 0;
    WriteCavlcBlock(&r.rig.encoder, levels.data(), kIdentityScan, total, 0, 15);
    BitReader bits(r.Bytes());
    const CavlcBlockRead read = reader.Read(bits, 0, 16);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.levels[0], largest);
    for (size_t i = 1; i < 16; ++i) EXPECT_EQ(read.levels[i], levels[i]);
    EXPECT_NE(capture.Text().find("clamped"), std::string::npos);
  }
}

TEST(H264Cavlc, CoefficientCostAndDecimation) {
  struct Case {
    const char* name;
    std::vector<int16_t> levels;  // scan order
    int cost;
  };
  const std::vector<Case> cases = {
      {.name = "a single 1 after five zeros", .levels = {0, 0, 0, 0, 0, 1}, .cost = 1},
      {.name = "a single 2", .levels = {0, 0, 0, 2}, .cost = 999999},
      {.name = "a 1 at run 0", .levels = {1}, .cost = 3},
      {.name = "1, 0, -1, six zeros, 1", .levels = {1, 0, -1, 0, 0, 0, 0, 0, 0, 1}, .cost = 3 + 2 + 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int16_t> levels = c.levels;
    levels.resize(16, 0);
    int total = 0;
    for (int16_t l : levels) total += l != 0;
    EXPECT_EQ(CoefficientCost(levels.data(), kIdentityScan, total, 0), c.cost);
  }

  // DecimateBlocks: one 8x8 block holding a single 1 at run 0 is zeroed; one with two such
  // 4x4 blocks costs 6 and stays.
  CavlcRig r;
  CMBEncoder_H264& e = r.rig.encoder;
  uint8_t* grid = e.LumaCountGrid();
  int16_t* luma = e.LumaLevels();
  std::fill(luma, luma + 256, 0);
  auto setBlock = [&](int k) {  // block k of the block order: a 1 at scan position 0
    luma[16 * kH264BlockToRaster[k]] = 1;
    grid[2 * e.LumaBlocks(false)[k].gridOffset + 1] = 1;
  };
  setBlock(0);             // 8x8 block 0: cost 3
  setBlock(4);             // 8x8 block 1: cost 3 + 3
  setBlock(5);
  MBInfo mb{};
  uint32_t mask = 0;
  EXPECT_EQ(e.DecimateBlocks(&mb, grid, e.LumaBlocks(false), &mask), 6);
  EXPECT_EQ(mask, 1u);
}

TEST(H264Cavlc, ScansAreTheStandardScansInOurLayouts) {
  // The 4x4 zig-zag and field scans as (column, row) pairs in scan order.
  const int zigzag[16][2] = {{0, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 1}, {2, 0}, {3, 0}, {2, 1},
                             {1, 2}, {0, 3}, {1, 3}, {2, 2}, {3, 1}, {3, 2}, {2, 3}, {3, 3}};
  const int field[16][2] = {{0, 0}, {0, 1}, {1, 0}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3},
                            {2, 0}, {2, 1}, {2, 2}, {2, 3}, {3, 0}, {3, 1}, {3, 2}, {3, 3}};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(kH264FrameScan[i], uint32_t(4 * zigzag[i][0] + zigzag[i][1])) << i;
    EXPECT_EQ(kH264FieldScan[i], uint32_t(4 * field[i][0] + field[i][1])) << i;
    EXPECT_EQ(kH264ChromaFrameScan[i], 2 * kH264FrameScan[i]) << i;
    EXPECT_EQ(kH264ChromaFieldScan[i], 2 * kH264FieldScan[i]) << i;
    EXPECT_EQ(kH264LumaDcFrameScan[i], uint32_t(zigzag[i][0] + 4 * zigzag[i][1])) << i;
    EXPECT_EQ(kH264LumaDcFieldScan[i], uint32_t(field[i][0] + 4 * field[i][1])) << i;
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(kH264ChromaDcScan[i], uint32_t(2 * i));
}

TEST(Threads, H264LevelTablesAreBuiltOnceByEightEncoders) {
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&ok, i] {
      H264DcRig rig(48, 32);
      ok[size_t(i)] = rig.encoder.Init(&rig.settings, &rig.rateControl) ? 1 : 0;
      // Every encoder reads the tables as soon as its set-up returns.
      ok[size_t(i)] &= CavlcLevelTable(6)[kLevelRange] == 481 ? 1 : 0;
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ok[size_t(i)], 1) << i;
  EXPECT_EQ(CavlcLevelTableBuilds(), 1);
}

}  // namespace
}  // namespace orx::venc::test
