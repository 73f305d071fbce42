#include "venc/mbenc/mpeg4_tables.h"

#include <cassert>
#include <cstdlib>
#include <iterator>
#include <mutex>

namespace orx::venc {
namespace {

constexpr Mpeg4TcoefRow kTcoefRows[] = {
#include "venc/mbenc/mpeg4_tcoef_rows.inc"
};
constexpr Mpeg4DcSizeRow kDcSizeRows[] = {
#include "venc/mbenc/mpeg4_dc_size_rows.inc"
};
constexpr Mpeg4MbCodeRow kMbCodeRows[] = {
#include "venc/mbenc/mpeg4_mb_code_rows.inc"
};
constexpr uint8_t kScans[3][64] = {
#include "venc/mbenc/mpeg4_scans.inc"
};
constexpr uint8_t kDefaultMatrices[2][64] = {
#include "venc/mbenc/mpeg4_default_matrices.inc"
};
static_assert(std::size(kTcoefRows) == 102);
static_assert(std::size(kDcSizeRows) == 26);

uint32_t Packed(uint32_t code, int length) {
  return (code << (32 - length)) | static_cast<uint32_t>(length);
}

int BitLength(int v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

void StoreTcoef(uint32_t* entries, int levelLimit, int runStride, int run, int level, uint32_t code,
                int length) {
  entries[(level + levelLimit) * runStride + run] = Packed(code << 1, length + 1);
  entries[(-level + levelLimit) * runStride + run] = Packed((code << 1) | 1, length + 1);
}

void BuildTables(Mpeg4Tables& t) {
  // DC: size code, then the differential (ones' complement when negative), then a marker bit
  // above size 8.
  VlcCode sizeCode[2][13] = {};
  for (const Mpeg4DcSizeRow& row : kDcSizeRows) {
    int length = 0;
    ParseBitString(row.code, &sizeCode[row.component][row.size].code, &length);
    sizeCode[row.component][row.size].length = static_cast<uint8_t>(length);
  }
  for (int d = -kMpeg4DcLimit; d <= kMpeg4DcLimit; ++d) {
    const int size = BitLength(std::abs(d));
    const uint32_t extra = d >= 0 ? static_cast<uint32_t>(d) : static_cast<uint32_t>(d + (1 << size) - 1);
    for (int c = 0; c < 2; ++c) {
      const VlcCode& s = sizeCode[c][size];
      uint32_t code = (s.code << size) | extra;
      int length = s.length + size;
      if (size > 8) {
        code = (code << 1) | 1;
        ++length;
      }
      VlcCode& entry = (c == 0 ? t.dcLuma : t.dcChroma)[d + kMpeg4DcLimit];
      entry.code = code;
      entry.length = static_cast<uint8_t>(length);
    }
  }

  t.intra[0] = {t.intraNotLast, 27, 14, 16, kLmaxIntra, 15, kRmaxIntra, 27, 0};
  t.intra[1] = {t.intraLast, 8, 20, 32, kLmaxIntraLast, 21, kRmaxIntraLast, 8, 1};
  t.inter[0] = {t.interNotLast, 12, 26, 32, kLmaxInter, 27, kRmaxInter, 12, 0};
  t.inter[1] = {t.interLast, 3, 40, 64, kLmaxInterLast, 41, kRmaxInterLast, 3, 1};
  for (const Mpeg4TcoefRow& row : kTcoefRows) {
    uint32_t code = 0;
    int length = 0;
    ParseBitString(row.code, &code, &length);
    const Mpeg4TcoefTable& intra = t.intra[row.intraLast];
    StoreTcoef(const_cast<uint32_t*>(intra.entries), intra.levelLimit, intra.runStride, row.intraRun,
               row.intraLevel, code, length);
    const Mpeg4TcoefTable& inter = t.inter[row.interLast];
    StoreTcoef(const_cast<uint32_t*>(inter.entries), inter.levelLimit, inter.runStride, row.interRun,
               row.interLevel, code, length);
  }

  for (const Mpeg4MbCodeRow& row : kMbCodeRows) {
    VlcCode code;
    int length = 0;
    ParseBitString(row.code, &code.code, &length);
    code.length = static_cast<uint8_t>(length);
    if (row.table == 0) {
      t.mcbpcIntra[row.cbpc + (row.type == 4 ? 4 : 0)] = code;
    } else if (row.table == 1) {
      t.mcbpcP[row.type][row.cbpc] = code;
    } else {
      t.cbpy[row.type] = code;
    }
  }
}

}  // namespace

std::span<const Mpeg4TcoefRow> Mpeg4TcoefRows() { return kTcoefRows; }
std::span<const Mpeg4DcSizeRow> Mpeg4DcSizeRows() { return kDcSizeRows; }
std::span<const Mpeg4MbCodeRow> Mpeg4MbCodeRows() { return kMbCodeRows; }

const uint8_t* Mpeg4ScanRaster(Mpeg4Scan scan) { return kScans[scan]; }
const uint8_t* Mpeg4DefaultIntraMatrix() { return kDefaultMatrices[0]; }
const uint8_t* Mpeg4DefaultNonIntraMatrix() { return kDefaultMatrices[1]; }

void ParseBitString(const char* text, uint32_t* value, int* length) {
  uint32_t v = 0;
  int n = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c != '0' && *c != '1') continue;
    v = (v << 1) | static_cast<uint32_t>(*c - '0');
    ++n;
  }
  *value = v;
  *length = n;
}

const Mpeg4Tables& GetMpeg4Tables() {
  static Mpeg4Tables tables;
  static std::once_flag built;
  std::call_once(built, [] { BuildTables(tables); });
  return tables;
}

uint32_t Mpeg4Escape(const Mpeg4TcoefTable& table, int level, int run, int* length) {
  const int magnitude = std::abs(level);
  const uint32_t sign = level < 0 ? 1 : 0;
  constexpr int kMissing = kMpeg4EscapeMode3Bits;
  // Mode 1: the level less the largest level coded at this run.
  uint32_t mode1 = 0;
  int length1 = kMissing;
  if (run < table.lmaxCount && magnitude <= 2 * table.lmax[run]) {
    const int reduced = magnitude - table.lmax[run];
    const uint32_t entry = reduced >= 1 ? table.Entry(sign ? -reduced : reduced, run) : 0;
    if (entry != 0) {
      mode1 = entry;
      length1 = static_cast<int>(PackedLength(entry)) + 8;
    }
  }
  // Mode 2: the run less the largest run coded at this level, less one.
  uint32_t mode2 = 0;
  int length2 = kMissing;
  if (magnitude >= 1 && magnitude <= table.rmaxCount && run <= 2 * table.rmax[magnitude - 1] + 1) {
    const int reduced = run - table.rmax[magnitude - 1] - 1;
    const uint32_t entry = reduced >= 0 ? table.Entry(level, reduced) : 0;
    if (entry != 0) {
      mode2 = entry;
      length2 = static_cast<int>(PackedLength(entry)) + 9;
    }
  }
  const uint32_t escape = kMpeg4Escape.code;
  if (length1 < length2 && length1 < kMissing) {
    *length = length1;
    const uint32_t code = (escape << 1 << (length1 - 8)) | PackedBits(mode1);
    return code << (32 - length1);
  }
  if (length2 < kMissing) {
    *length = length2;
    const uint32_t code = (((escape << 2) | 2) << (length2 - 9)) | PackedBits(mode2);
    return code << (32 - length2);
  }
  // Mode 3: last, run (6 bits), marker, level (12 bits, two's complement), marker.
  assert(run < 64 && level >= -2047 && level <= 2047 && level != 0);
  uint32_t code = (escape << 2) | 3;
  code = (code << 1) | static_cast<uint32_t>(table.last);
  code = (code << 6) | static_cast<uint32_t>(run & 63);
  code = (code << 1) | 1;
  code = (code << 12) | (static_cast<uint32_t>(level) & 0xFFF);
  code = (code << 1) | 1;
  *length = kMpeg4EscapeMode3Bits;
  return code << (32 - kMpeg4EscapeMode3Bits);
}

uint32_t Mpeg4EscapeIntra(int level, int run, int* length) {
  return Mpeg4Escape(GetMpeg4Tables().intra[0], level, run, length);
}
uint32_t Mpeg4EscapeIntraLast(int level, int run, int* length) {
  return Mpeg4Escape(GetMpeg4Tables().intra[1], level, run, length);
}
uint32_t Mpeg4EscapeInter(int level, int run, int* length) {
  return Mpeg4Escape(GetMpeg4Tables().inter[0], level, run, length);
}
uint32_t Mpeg4EscapeInterLast(int level, int run, int* length) {
  return Mpeg4Escape(GetMpeg4Tables().inter[1], level, run, length);
}

}  // namespace orx::venc
