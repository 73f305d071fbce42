// The H.264 CAVLC residual coder. Levels are coded through seven process-wide tables (one per
// suffixLength) that turn every level below the escape range into one read; coeff_token,
// total_zeros and run_before come from the code tables generated from the standard's tables
// (the .inc files beside this one).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/debug_output.h"
#include "venc/mbenc/h264_encoder.h"

namespace orx::venc {
namespace {

struct CoeffTokenRow {
  int ncClass, totalCoeff, trailingOnes, length;
  uint32_t code;
};
struct TotalZerosRow {
  int chromaDc, totalCoeff, totalZeros, length;
  uint32_t code;
};
struct RunBeforeRow {
  int zerosLeftClass, runBefore, length;
  uint32_t code;
};

constexpr CoeffTokenRow kCoeffTokenRows[] = {
#include "venc/mbenc/h264_coeff_token.inc"
};
constexpr TotalZerosRow kTotalZerosRows[] = {
#include "venc/mbenc/h264_total_zeros.inc"
};
constexpr RunBeforeRow kRunBeforeRows[] = {
#include "venc/mbenc/h264_run_before.inc"
};

// The rows indexed by their symbols (length 0 where the standard has no code).
struct StaticTables {
  CavlcCode coeffToken[5][17][4] = {};
  CavlcCode totalZeros[16][16] = {};  // [TotalCoeff][total_zeros], 4x4 blocks
  CavlcCode totalZerosChromaDc[4][4] = {};
  CavlcCode runBefore[8][15] = {};  // [min(zerosLeft, 7)][run_before]
};

constexpr StaticTables MakeStaticTables() {
  StaticTables t{};
  for (const CoeffTokenRow& r : kCoeffTokenRows) {
    t.coeffToken[r.ncClass][r.totalCoeff][r.trailingOnes] = {r.code, r.length};
  }
  for (const TotalZerosRow& r : kTotalZerosRows) {
    if (r.chromaDc) {
      t.totalZerosChromaDc[r.totalCoeff][r.totalZeros] = {r.code, r.length};
    } else {
      t.totalZeros[r.totalCoeff][r.totalZeros] = {r.code, r.length};
    }
  }
  for (const RunBeforeRow& r : kRunBeforeRows) {
    t.runBefore[r.zerosLeftClass][r.runBefore] = {r.code, r.length};
  }
  return t;
}

constexpr StaticTables kTables = MakeStaticTables();

constexpr int kThreshold[kLevelTableCount] = {0, 3, 6, 12, 24, 48, 32768};

int LevelRange(int suffixLength) {
  return suffixLength == 0 ? 16 : (15 << (suffixLength - 1)) + 1;
}

// The level tables: never freed, built once.
uint32_t gLevelTables[kLevelTableCount][kLevelTableWords];
std::once_flag gLevelTablesOnce;
std::atomic<int> gLevelTableBuilds{0};

void BuildLevelTablesOnce() {
  for (int n = 0; n < kLevelTableCount; ++n) {
    uint32_t* t = gLevelTables[n];
    const int range = LevelRange(n);
    t[kLevelThreshold] = static_cast<uint32_t>(kThreshold[n]);
    t[kLevelThreshold2] = static_cast<uint32_t>(2 * kThreshold[n]);
    t[kLevelRange] = static_cast<uint32_t>(range);
    t[kLevelRange2] = static_cast<uint32_t>(2 * range - 2);
    for (int level = -range + 1; level < range; ++level) {
      if (level == 0) continue;  // never coded
      const int a = std::abs(level);
      const int s = level < 0 ? 1 : 0;
      int length;
      uint32_t code;
      if (n == 0 && a < 8) {
        length = 2 * a - 1 + s;  // level_prefix 2a - 2 + s, then the 1
        code = 1;
      } else if (n == 0) {
        length = 19;  // level_prefix 14 and a 4-bit suffix
        code = static_cast<uint32_t>(16 + 2 * (a - 8) + s);
      } else {
        length = ((a - 1) >> (n - 1)) + n + 1;
        code = (1u << n) | (static_cast<uint32_t>((a - 1) & ((1 << (n - 1)) - 1)) << 1) |
               static_cast<uint32_t>(s);
      }
      t[kLevelEntryBase + level] = (code << (32 - length)) | static_cast<uint32_t>(length);
    }
  }
  gLevelTableBuilds.fetch_add(1, std::memory_order_relaxed);
}

// The encoder's write position, kept in locals while a block is written: codes are ORed into
// the current word and the next, which are zero beyond the written bits.
class WordCursor {
 public:
  WordCursor(uint32_t* word, int freeBits) : word_(word), freeBits_(freeBits) {}
  void Put(uint32_t value, int n) {
    if (n == 0) return;
    if (n < freeBits_) {
      freeBits_ -= n;
      *word_ |= value << freeBits_;
    } else {
      const int rest = n - freeBits_;
      *word_ |= value >> rest;
      ++word_;
      word_[1] = 0;
      freeBits_ = 32 - rest;
      if (rest != 0) *word_ = value << freeBits_;
    }
  }
  // A left-aligned code of n bits.
  void PutLeft(uint32_t aligned, int n) { Put(aligned >> (32 - n), n); }
  uint32_t* Word() const { return word_; }
  int FreeBits() const { return freeBits_; }

 private:
  uint32_t* word_;
  int freeBits_;
};

}  // namespace

void BuildCavlcLevelTables() { std::call_once(gLevelTablesOnce, BuildLevelTablesOnce); }

const uint32_t* CavlcLevelTable(int suffixLength) { return gLevelTables[suffixLength]; }

int CavlcLevelTableBuilds() { return gLevelTableBuilds.load(std::memory_order_relaxed); }

int CavlcLargestEscapedMagnitude(int suffixLength) { return LevelRange(suffixLength) + 2047; }

CavlcCode CoeffTokenCode(int ncClass, int totalCoeff, int trailingOnes) {
  return kTables.coeffToken[ncClass][totalCoeff][trailingOnes];
}

CavlcCode TotalZerosCode(bool chromaDc, int totalCoeff, int totalZeros) {
  return chromaDc ? kTables.totalZerosChromaDc[totalCoeff][totalZeros]
                  : kTables.totalZeros[totalCoeff][totalZeros];
}

CavlcCode RunBeforeCode(int zerosLeft, int runBefore) {
  return kTables.runBefore[zerosLeft < 7 ? zerosLeft : 7][runBefore];
}

void WriteCavlcBlock(CMBEncoder_H264* encoder, const int16_t* levels, const uint32_t* scan,
                     int totalCoeff, int ncClass, int maxIndex) {
  WordCursor out(encoder->wordPtr_, encoder->freeBits_);

  // 1. The non-zero levels in scan order with the zero run before each.
  int value[16];
  int run[16];
  int count = 0;
  int zeros = 0;
  int totalZeros = 0;
  for (int i = 0; i <= maxIndex && count < totalCoeff; ++i) {
    const int level = levels[scan[i]];
    if (level == 0) {
      ++zeros;
      continue;
    }
    value[count] = level;
    run[count] = zeros;
    totalZeros += zeros;
    zeros = 0;
    ++count;
  }
  totalCoeff = count;
  int trailingOnes = 0;
  for (int k = totalCoeff - 1; k >= 0 && trailingOnes < 3; --k) {
    if (value[k] != 1 && value[k] != -1) break;
    ++trailingOnes;
  }

  // 2. coeff_token and the trailing-one signs in one write (last level first).
  const CavlcCode token = kTables.coeffToken[ncClass][totalCoeff][trailingOnes];
  uint32_t signs = 0;
  for (int k = totalCoeff - 1; k >= totalCoeff - trailingOnes; --k) {
    signs = (signs << 1) | (value[k] < 0 ? 1u : 0u);
  }
  out.Put((token.code << trailingOnes) | signs, token.length + trailingOnes);
  if (totalCoeff == 0) {
    encoder->wordPtr_ = out.Word();
    encoder->freeBits_ = out.FreeBits();
    return;
  }

  // 3./4. The other levels, last first.
  int suffixLength = totalCoeff > 10 && trailingOnes < 3 ? 1 : 0;
  bool first = true;
  for (int k = totalCoeff - 1 - trailingOnes; k >= 0; --k) {
    const int level = value[k];
    int coded = level;
    if (first && trailingOnes < 3) coded -= level > 0 ? 1 : -1;
    const uint32_t* table = gLevelTables[suffixLength];
    const int range = static_cast<int>(table[kLevelRange]);
    if (coded > -range && coded < range) {
      const uint32_t entry = table[kLevelEntryBase + coded];
      out.PutLeft(entry & ~31u, static_cast<int>(entry & 31));
    } else {
      int magnitude = std::abs(coded);
      const int largest = range + 2047;
      if (magnitude > largest) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "WriteCavlcBlock: level %d is beyond the escape; clamped to %d\n", coded,
                      coded < 0 ? -largest : largest);
        platform::DebugOutput(line);
        magnitude = largest;
      }
      // level_prefix 15 and the 12-bit level_suffix.
      out.Put(1, 16);
      out.Put(static_cast<uint32_t>(2 * (magnitude - range) + (coded < 0 ? 1 : 0)), 12);
    }
    const int magnitude = std::abs(level);
    if (first) {
      suffixLength = magnitude > 3 ? 2 : 1;
      first = false;
    } else if (magnitude > kThreshold[suffixLength]) {
      ++suffixLength;
    }
  }

  // 5. total_zeros unless the block is full.
  if (totalCoeff <= maxIndex) {
    const CavlcCode tz = ncClass == 4 ? kTables.totalZerosChromaDc[totalCoeff][totalZeros]
                                      : kTables.totalZeros[totalCoeff][totalZeros];
    out.Put(tz.code, tz.length);
  }

  // 6. run_before from the last level back to the second while zeros are left.
  int zerosLeft = totalZeros;
  for (int k = totalCoeff - 1; k >= 1 && zerosLeft > 0; --k) {
    const CavlcCode rb = kTables.runBefore[zerosLeft < 7 ? zerosLeft : 7][run[k]];
    out.Put(rb.code, rb.length);
    zerosLeft -= run[k];
  }

  encoder->wordPtr_ = out.Word();
  encoder->freeBits_ = out.FreeBits();
}

int CoefficientCost(const int16_t* levels, const uint32_t* scan, int totalCoeff, int) {
  static constexpr int kRunCost[16] = {3, 2, 2, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  int cost = 0;
  int seen = 0;
  int zeros = 0;
  for (int i = 0; i < 16 && seen < totalCoeff; ++i) {
    const int level = levels[scan[i]];
    if (level == 0) {
      ++zeros;
      continue;
    }
    cost += level > 1 || level < -1 ? 999999 : kRunCost[zeros];
    zeros = 0;
    ++seen;
  }
  return cost;
}

int CMBEncoder_H264::DecimateBlocks(const MBInfo* mb, const uint8_t* lumaGrid,
                                    const H264BlockEntry* lumaBlocks, uint32_t* mask) {
  // Field scan for field macroblocks of pictures coded as macroblock pairs.
  const bool pairs = state_.picture != nullptr && !state_.picture->progressiveFrame &&
                     !settings_->progressiveSequence;
  const uint32_t* scan = pairs && (mb->flags & MBINFO_FIELD) ? kH264FieldScan : kH264FrameScan;
  int total = 0;
  for (int b8 = 0; b8 < 4; ++b8) {
    int cost = 0;
    bool coded = false;
    for (int i = 0; i < 4; ++i) {
      const int k = 4 * b8 + i;  // block order: 8x8 block b8 holds blocks 4 b8 .. 4 b8 + 3
      const int count = lumaGrid[2 * lumaBlocks[k].gridOffset + 1];
      if (count == 0) continue;
      coded = true;
      cost += CoefficientCost(coefficients_ + 16 * kH264BlockToRaster[k], scan, count, 0);
    }
    if (!coded) continue;
    if (cost < 5) {
      *mask |= 1u << b8;
    } else {
      total += cost;
    }
  }
  return total;
}

}  // namespace orx::venc
