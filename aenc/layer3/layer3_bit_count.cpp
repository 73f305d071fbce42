// Layer III bit counting: the big-values, count1 and zero regions of a quantized granule, the
// region subdivision, and the choice of the cheapest Huffman table per region.
#include <algorithm>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer3/layer3_state.h"
#include "aenc/layer3/layer3_tables.h"

namespace orx::aenc {
namespace {

// (region0_count, region1_count) by the index of the first band boundary at or above the end of
// the big-values region.
constexpr uint8_t kRegionSubdivision[23][2] = {
    {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 1}, {1, 2}, {2, 2}, {2, 3}, {2, 3},
    {3, 4}, {3, 4}, {3, 4}, {4, 5}, {4, 5}, {4, 6}, {5, 6}, {5, 6}, {5, 7}, {6, 7}, {6, 7}};

// Bits of values[0..count) with big-value table `table`: code lengths, sign bits and linbits.
int TableBits(const int32_t* values, int count, int table) {
  const Layer3HuffmanTable& t = kLayer3HuffmanTables[table];
  int bits = 0;
  for (int i = 0; i < count; i += 2) {
    int x = values[i], y = values[i + 1];
    if (t.linbits) {
      if (x >= 15) {
        bits += t.linbits;
        x = 15;
      }
      if (y >= 15) {
        bits += t.linbits;
        y = 15;
      }
    }
    bits += HuffmanLength(t.codes[x * t.size + y]) + (x != 0) + (y != 0);
  }
  return bits;
}

// Whether `table` can code magnitudes up to `largest`.
bool TableCodes(int table, int largest) {
  const Layer3HuffmanTable& t = kLayer3HuffmanTables[table];
  if (!t.codes) return table == 0 && largest == 0;
  if (t.linbits == 0) return largest < t.size;
  return largest - 15 < (1 << t.linbits);
}

// The cheaper of two tables; `second` wins ties only when `laterWinsTies`.
void Cheaper(const int32_t* values, int count, int first, int second, bool laterWinsTies, int* table,
             int* bits) {
  const int a = TableBits(values, count, first);
  const int b = TableBits(values, count, second);
  const bool takeSecond = laterWinsTies ? b <= a : b < a;
  *table = takeSecond ? second : first;
  *bits = takeSecond ? b : a;
}

}  // namespace

int CMPEGAudioEncoder::SelectHuffmanTable(const int32_t* values, int count, int* table, int region) const {
  int largest = 0;
  for (int i = 0; i < count; ++i) largest = std::max(largest, values[i]);
  const int forced = region >= 0 && region < 3 ? layer3ForcedTables[region] : -1;
  if (forced >= 0 && TableCodes(forced, largest)) {
    *table = forced;
    return forced == 0 ? 0 : TableBits(values, count, forced);
  }
  int bits = 0;
  if (largest == 0) {
    *table = 0;
  } else if (largest == 1) {
    *table = 1;
    bits = TableBits(values, count, 1);
  } else if (largest == 2) {
    Cheaper(values, count, 2, 3, true, table, &bits);
  } else if (largest == 3) {
    Cheaper(values, count, 5, 6, true, table, &bits);
  } else if (largest <= 7) {
    // Three tables: 8 over 7 on equal cost, then 9 over the better of those.
    const int first = largest <= 5 ? 7 : 10;
    int better, betterBits;
    Cheaper(values, count, first, first + 1, true, &better, &betterBits);
    const int third = TableBits(values, count, first + 2);
    *table = third <= betterBits ? first + 2 : better;
    bits = std::min(third, betterBits);
  } else if (largest <= 14) {
    Cheaper(values, count, 13, 15, true, table, &bits);
  } else {
    // Values of 15 and more: the first table of each linbits family that reaches the largest
    // value (table 15 codes 15 itself), the cheaper of the two, the first on equal cost.
    int low = 23, high = 31;
    for (int t = 15; t <= 22; ++t) {
      if (TableCodes(t, largest)) {
        low = t;
        break;
      }
    }
    for (int t = 24; t <= 30; ++t) {
      if (TableCodes(t, largest)) {
        high = t;
        break;
      }
    }
    Cheaper(values, count, low, high, false, table, &bits);
  }
  return bits;
}

int CMPEGAudioEncoder::Layer3RegionBits(const int32_t* ix, Layer3GranuleRecord& record) const {
  const int v = static_cast<int>(2 * record.bigValues);
  record.region0Count = record.region1Count = 0;
  record.tableSelect[0] = record.tableSelect[1] = record.tableSelect[2] = 0;
  if (v == 0) return 0;
  const uint16_t* bounds = l3State->sfbBounds;
  int j = 0;
  while (j < 22 && bounds[j] < v) ++j;
  int r0 = kRegionSubdivision[j][0], r1 = kRegionSubdivision[j][1];
  while (r0 > 0 && bounds[r0 + 1] > v) --r0;
  while (r1 > 0 && bounds[r0 + r1 + 2] > v) --r1;
  record.region0Count = static_cast<uint32_t>(r0);
  record.region1Count = static_cast<uint32_t>(r1);
  // A region may reach past v when the counts cannot go lower: its table and its bits then
  // cover lines of the count1 or zero region too (the writer fills the difference).
  const int a = bounds[r0 + 1], b = bounds[r0 + r1 + 2];
  const int ends[4] = {0, a, b, v};
  int bits = 0;
  for (int region = 0; region < 3; ++region) {
    if (ends[region + 1] <= ends[region]) continue;
    int table = 0;
    bits += SelectHuffmanTable(ix + ends[region], ends[region + 1] - ends[region], &table, region);
    record.tableSelect[region] = static_cast<uint32_t>(table);
  }
  return bits;
}

int CMPEGAudioEncoder::Layer3CountBits(const int32_t* ix, Layer3GranuleRecord& record) const {
  int n = kLayer3Lines;
  while (n >= 2 && ix[n - 1] == 0 && ix[n - 2] == 0) n -= 2;
  int quads = 0;
  while (n >= 4 && ix[n - 1] <= 1 && ix[n - 2] <= 1 && ix[n - 3] <= 1 && ix[n - 4] <= 1) {
    n -= 4;
    ++quads;
  }
  record.bigValues = static_cast<uint32_t>(n / 2);
  record.count1 = static_cast<uint32_t>(quads);
  int bits = Layer3RegionBits(ix, record);
  int costA = 0, signs = 0;
  for (int i = n; i < n + 4 * quads; i += 4) {
    const int index = 8 * ix[i] + 4 * ix[i + 1] + 2 * ix[i + 2] + ix[i + 3];
    costA += HuffmanLength(kLayer3Count1Codes[0][index]);
    signs += ix[i] + ix[i + 1] + ix[i + 2] + ix[i + 3];
  }
  const int costB = 4 * quads;
  int select = costA >= costB ? 1 : 0;
  if (layer3ForcedCount1 >= 0) select = layer3ForcedCount1;
  record.count1TableSelect = static_cast<uint32_t>(select);
  return bits + (select ? costB : costA) + signs;
}

}  // namespace orx::aenc
