#include "aenc/layer2/layer2_tables.h"

#include <initializer_list>

namespace orx::aenc {
namespace {

constexpr float B1(int i) {
  // 2^(1 - i/3) by exact powers of two times 2^0, 2^(-1/3) or 2^(-2/3).
  constexpr double kThirds[3] = {1.0, 0.79370052598409973738, 0.62996052494743658238};
  double value = 2.0 * kThirds[i % 3];
  for (int k = 0; k < i / 3; ++k) value *= 0.5;
  return static_cast<float>(value);
}

}  // namespace

const float kScalefactorB1[64] = {
    B1(0),  B1(1),  B1(2),  B1(3),  B1(4),  B1(5),  B1(6),  B1(7),  B1(8),  B1(9),  B1(10),
    B1(11), B1(12), B1(13), B1(14), B1(15), B1(16), B1(17), B1(18), B1(19), B1(20), B1(21),
    B1(22), B1(23), B1(24), B1(25), B1(26), B1(27), B1(28), B1(29), B1(30), B1(31), B1(32),
    B1(33), B1(34), B1(35), B1(36), B1(37), B1(38), B1(39), B1(40), B1(41), B1(42), B1(43),
    B1(44), B1(45), B1(46), B1(47), B1(48), B1(49), B1(50), B1(51), B1(52), B1(53), B1(54),
    B1(55), B1(56), B1(57), B1(58), B1(59), B1(60), B1(61), B1(62), 1.0e-20f};

// D' = C' - 1 for every class.
const Layer2QuantClass kLayer2QuantClasses[17] = {
    {3, 2, 5, true, 0.75, -0.25, 7.00f},
    {5, 4, 7, true, 0.625, -0.375, 11.00f},
    {7, 4, 3, false, 0.875, -0.125, 16.00f},
    {9, 8, 10, true, 0.5625, -0.4375, 20.84f},
    {15, 8, 4, false, 0.9375, -0.0625, 25.28f},
    {31, 16, 5, false, 0.96875, -0.03125, 31.59f},
    {63, 32, 6, false, 0.984375, -0.015625, 37.75f},
    {127, 64, 7, false, 0.9921875, -0.0078125, 43.84f},
    {255, 128, 8, false, 0.99609375, -0.00390625, 49.89f},
    {511, 256, 9, false, 0.998046875, -0.001953125, 55.93f},
    {1023, 512, 10, false, 0.9990234375, -0.0009765625, 61.96f},
    {2047, 1024, 11, false, 0.99951171875, -0.00048828125, 67.98f},
    {4095, 2048, 12, false, 0.999755859375, -0.000244140625, 74.01f},
    {8191, 4096, 13, false, 0.9998779296875, -0.0001220703125, 80.03f},
    {16383, 8192, 14, false, 0.99993896484375, -0.00006103515625, 86.05f},
    {32767, 16384, 15, false, 0.999969482421875, -0.000030517578125, 92.01f},
    {65535, 32768, 16, false, 0.9999847412109375, -0.0000152587890625, 98.01f},
};

namespace {

// Rows of one table: `count` subbands with `nbal` allocation bits and the quantization classes of
// allocation indices 1, 2, ...
struct RowGroup {
  int count;
  int nbal;
  std::initializer_list<int> classes;
};

constexpr Layer2AllocTable BuildTable(const char* name, std::initializer_list<RowGroup> groups) {
  Layer2AllocTable table{name, 0, {}};
  int sb = 0;
  for (const RowGroup& group : groups) {
    for (int n = 0; n < group.count; ++n, ++sb) {
      Layer2AllocRow& row = table.rows[sb];
      row.nbal = group.nbal;
      int a = 1;
      for (int quantClass : group.classes) {
        const Layer2QuantClass& q = kLayer2QuantClasses[quantClass];
        row.entries[a++] = {q.steps, q.msb, q.bits, static_cast<uint8_t>(q.grouped ? 1 : 3),
                            static_cast<uint8_t>(quantClass)};
      }
    }
  }
  table.sblimit = sb;
  return table;
}

}  // namespace

const Layer2AllocTable kAllocTableB2a = BuildTable(
    "B.2a", {{3, 4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
             {8, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}},
             {12, 3, {0, 1, 2, 3, 4, 5, 16}},
             {4, 2, {0, 1, 16}}});

const Layer2AllocTable kAllocTableB2b = BuildTable(
    "B.2b", {{3, 4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
             {8, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}},
             {12, 3, {0, 1, 2, 3, 4, 5, 16}},
             {7, 2, {0, 1, 16}}});

const Layer2AllocTable kAllocTableB2c = BuildTable(
    "B.2c", {{2, 4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
             {6, 3, {0, 1, 3, 4, 5, 6, 7}}});

const Layer2AllocTable kAllocTableB2d = BuildTable(
    "B.2d", {{2, 4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
             {10, 3, {0, 1, 3, 4, 5, 6, 7}}});

const Layer2AllocTable kAllocTableLsf = BuildTable(
    "LSF B.1", {{4, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
                {7, 3, {0, 1, 3, 4, 5, 6, 7}},
                {19, 2, {0, 1, 3}}});

const Layer2AllocTable* SelectAllocTable(int id, int sampleRate, int bitrateKbps, int channels) {
  if (id == 0) return &kAllocTableLsf;
  int perChannel = bitrateKbps / (channels > 1 ? channels : 1);
  if ((sampleRate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
    return &kAllocTableB2a;
  if (sampleRate != 48000 && perChannel >= 96) return &kAllocTableB2b;
  if (sampleRate != 32000 && perChannel <= 48) return &kAllocTableB2c;
  return &kAllocTableB2d;
}

const int kScalefactorsPerScfsi[4] = {3, 2, 1, 2};

}  // namespace orx::aenc
