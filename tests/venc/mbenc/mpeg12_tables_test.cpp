// The MPEG-1/2 code tables: each is a prefix code (Kraft sum at most 1), the two coefficient
// tables cover the same pairs, and the built lookup tables agree with their text rows.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "venc/mbenc/mpeg12_tables.h"

namespace orx::venc::test {
namespace {

std::string Bits(uint32_t code, int length) {
  std::string s;
  for (int i = length - 1; i >= 0; --i) s.push_back(((code >> i) & 1) ? '1' : '0');
  return s;
}

std::string Bits(const VlcCode& c) { return Bits(c.code, c.length); }

// Fails with the offending pair when one code is a prefix of another; answers the Kraft sum.
double CheckPrefixCode(const std::vector<std::string>& codes, const std::string& table) {
  double kraft = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    kraft += 1.0 / static_cast<double>(1ull << codes[i].size());
    for (size_t j = 0; j < codes.size(); ++j) {
      if (i != j && codes[j].rfind(codes[i], 0) == 0) {
        ADD_FAILURE() << table << ": " << codes[i] << " is a prefix of " << codes[j];
      }
    }
  }
  return kraft;
}

std::vector<std::string> AcCodes(std::span<const AcCodeRow> rows, const std::string& endOfBlock) {
  std::vector<std::string> codes = {endOfBlock, Bits(kDctEscape)};
  for (const AcCodeRow& row : rows) {
    const std::string code = Bits(ParseCodeString(row.code));
    codes.push_back(code + "0");
    codes.push_back(code + "1");
  }
  return codes;
}

TEST(Mpeg12Tables, EveryTableIsAPrefixCode) {
  const Mpeg12Tables& t = GetMpeg12Tables();
  struct Table {
    std::string name;
    std::vector<std::string> codes;
  };
  std::vector<Table> tables;
  std::vector<std::string> luma, chroma;
  for (const DcSizeRow& row : DcSizeLumaRows()) luma.push_back(Bits(ParseCodeString(row.code)));
  for (const DcSizeRow& row : DcSizeChromaRows()) chroma.push_back(Bits(ParseCodeString(row.code)));
  tables.push_back({"B.12", luma});
  tables.push_back({"B.13", chroma});
  tables.push_back({"B.14", AcCodes(DctTableZeroRows(), Bits(kEndOfBlockZero))});
  tables.push_back({"B.15", AcCodes(DctTableOneRows(), Bits(kEndOfBlockOne))});
  // In the first position of a non-intra block, 1s replaces end_of_block and 11s.
  std::vector<std::string> first = {"10", "11"};
  for (const std::string& code : AcCodes(DctTableZeroRows(), "")) {
    if (!code.empty() && code.rfind("11", 0) != 0) first.push_back(code);
  }
  tables.push_back({"B.14 first coefficient", first});
  std::vector<std::string> increments = {Bits(kMacroblockEscape)};
  for (int n = 1; n <= 33; ++n) increments.push_back(Bits(t.addressIncrement[n]));
  tables.push_back({"B.1", increments});
  for (int type = 0; type < 3; ++type) {
    std::vector<std::string> codes;
    for (const VlcCode& c : t.macroblockType[type]) {
      if (c.length) codes.push_back(Bits(c));
    }
    tables.push_back({"B." + std::to_string(2 + type), codes});
  }
  std::vector<std::string> patterns;
  for (const VlcCode& c : t.codedBlockPattern) patterns.push_back(Bits(c));
  tables.push_back({"B.9", patterns});
  // Motion codes with their sign bits, 0..16 (B.10) and 0..32 (the MPEG-4 continuation).
  for (int limit : {16, 32}) {
    std::vector<std::string> motion = {Bits(t.motionCode[0])};
    for (int m = 1; m <= limit; ++m) {
      motion.push_back(Bits(t.motionCode[m]) + "0");
      motion.push_back(Bits(t.motionCode[m]) + "1");
    }
    tables.push_back({"motion codes to " + std::to_string(limit), motion});
  }
  for (const Table& table : tables) {
    SCOPED_TRACE(table.name);
    EXPECT_LE(CheckPrefixCode(table.codes, table.name), 1.0);
  }
  EXPECT_EQ(tables[4].codes.size(), 3u + 2 * 110) << "1s, 11s dropped, escape and 110 rows";
}

TEST(Mpeg12Tables, BothCoefficientTablesCoverTheSamePairs) {
  std::set<std::pair<int, int>> zero, one;
  for (const AcCodeRow& row : DctTableZeroRows()) zero.insert({row.run, row.level});
  for (const AcCodeRow& row : DctTableOneRows()) one.insert({row.run, row.level});
  EXPECT_EQ(zero.size(), 111u);
  EXPECT_EQ(zero, one);
}

TEST(Mpeg12Tables, BuiltEntriesCarryCodeSignAndLength) {
  const Mpeg12Tables& t = GetMpeg12Tables();
  struct Case {
    const uint32_t* table;
    int level;
    int run;
    std::string bits;  // code and sign
  };
  const Case cases[] = {
      {t.acTableZero, 1, 0, "110"},    {t.acTableZero, -1, 1, "0111"},
      {t.acTableZero, 40, 0, "0000000000100000"}, {t.acTableZero, -1, 31, "00000000000110111"},
      {t.acTableOne, 1, 0, "100"},     {t.acTableOne, -15, 0, "111111111"},
      {t.acTableZero, 41 - 1, 1, ""},  // no code for run 1 level 40: escape
  };
  for (const Case& c : cases) {
    const uint32_t entry = c.table[AcIndex(c.level, c.run)];
    if (c.bits.empty()) {
      EXPECT_EQ(entry, 0u);
      continue;
    }
    EXPECT_EQ(Bits(PackedBits(entry), static_cast<int>(PackedLength(entry))), c.bits)
        << "level " << c.level << " run " << c.run;
  }
  // DC: size code then the differential (one's complement style for negatives).
  EXPECT_EQ(Bits(PackedBits(t.dcLuma[2047]), PackedLength(t.dcLuma[2047])), "100");
  EXPECT_EQ(Bits(PackedBits(t.dcChroma[2047]), PackedLength(t.dcChroma[2047])), "00");
  EXPECT_EQ(Bits(PackedBits(t.dcLuma[2047 - 5]), PackedLength(t.dcLuma[2047 - 5])), "101010");
  EXPECT_EQ(Bits(PackedBits(t.dcLuma[2047 + 2047]), PackedLength(t.dcLuma[2047 + 2047])),
            "111111111" "11111111111");
  EXPECT_EQ(Bits(PackedBits(t.dcChroma[0]), PackedLength(t.dcChroma[0])),
            "1111111111" "00000000000");
}

}  // namespace
}  // namespace orx::venc::test
