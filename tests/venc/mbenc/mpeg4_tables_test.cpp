// The MPEG-4 code tables and coders: the compiled tables against the CSV files they are
// generated from, the structure of each code (prefix-free, Kraft sum), the escape limits
// against a derivation from the TCOEF rows, and the bit strings of single calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"
#include "tests/venc/mbenc/test_encoders.h"
#include "venc/mbenc/mpeg4_tables.h"

namespace orx::venc::test {
namespace {

std::string Bits(uint32_t code, int length) {
  std::string s;
  for (int i = length - 1; i >= 0; --i) s.push_back(((code >> i) & 1) ? '1' : '0');
  return s;
}
std::string Bits(const VlcCode& c) { return Bits(c.code, c.length); }
std::string PackedString(uint32_t entry) { return Bits(PackedBits(entry), static_cast<int>(PackedLength(entry))); }

// Rows of a CSV file of tests/data/mpeg4 as column -> value maps.
std::vector<std::map<std::string, std::string>> Csv(const std::string& name) {
  std::ifstream in(orx::test::SourceDir() + "/tests/data/mpeg4/" + name);
  EXPECT_TRUE(in) << name;
  std::string line;
  std::getline(in, line);
  std::vector<std::string> header;
  std::stringstream hs(line);
  for (std::string f; std::getline(hs, f, ',');) header.push_back(f);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::map<std::string, std::string> row;
    std::stringstream ls(line);
    std::string f;
    for (size_t i = 0; i < header.size(); ++i) {
      if (!std::getline(ls, f, ',')) f.clear();
      row[header[i]] = f;
    }
    rows.push_back(row);
  }
  return rows;
}

double KraftSum(const std::vector<std::string>& codes, const std::string& table) {
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

TEST(Mpeg4Tables, MatchTheCsvFiles) {
  const Mpeg4Tables& t = GetMpeg4Tables();
  for (const bool intra : {true, false}) {
    const std::string file = intra ? "tcoef-intra.csv" : "tcoef-inter.csv";
    int coded = 0;
    for (const auto& row : Csv(file)) {
      if (row.at("kind") == "escape") {
        EXPECT_EQ(row.at("code_bin"), Bits(kMpeg4Escape)) << file;
        continue;
      }
      const int last = std::stoi(row.at("last")), run = std::stoi(row.at("run")), level = std::stoi(row.at("level"));
      const Mpeg4TcoefTable& table = intra ? t.intra[last] : t.inter[last];
      EXPECT_EQ(PackedString(table.Entry(level, run)), row.at("code_bin") + "0") << file << " " << last << "/" << run << "/" << level;
      EXPECT_EQ(PackedString(table.Entry(-level, run)), row.at("code_bin") + "1");
      ++coded;
    }
    EXPECT_EQ(coded, 102) << file;
  }
  for (const auto& row : Csv("dct-dc-size.csv")) {
    const int size = std::stoi(row.at("dc_size"));
    if (size > 11) continue;  // differentials stop at 2047
    const VlcCode* dc = row.at("component") == "luma" ? t.dcLuma : t.dcChroma;
    const int d = size == 0 ? 0 : 1 << (size - 1);  // the smallest differential of the size
    const std::string bits = Bits(dc[d + kMpeg4DcLimit]);
    EXPECT_EQ(bits.substr(0, row.at("code_bin").size()), row.at("code_bin")) << row.at("component") << " " << size;
    EXPECT_EQ(bits.size(), row.at("code_bin").size() + size + (size > 8 ? 1 : 0));
  }
  for (const auto& row : Csv("mcbpc-i.csv")) {
    if (row.at("mb_type") == "stuffing") continue;
    const int index = std::stoi(row.at("cbpc")) + (row.at("mb_type") == "4" ? 4 : 0);
    EXPECT_EQ(Bits(t.mcbpcIntra[index]), row.at("code_bin"));
  }
  for (const auto& row : Csv("mcbpc-p.csv")) {
    if (row.at("mb_type") == "stuffing" || row.at("used_by") == "h263") continue;
    EXPECT_EQ(Bits(t.mcbpcP[std::stoi(row.at("mb_type"))][std::stoi(row.at("cbpc"))]), row.at("code_bin"));
  }
  for (const auto& row : Csv("cbpy.csv")) EXPECT_EQ(Bits(t.cbpy[std::stoi(row.at("cbpy_intra"))]), row.at("code_bin"));
  // The motion codes 0..32 that MPEG-4 vectors use (the MPEG-1/2 table continued).
  const Mpeg12Tables& m = GetMpeg12Tables();
  for (const auto& row : Csv("mvd.csv")) {
    const int code = std::stoi(row.at("motion_code"));
    if (code < 0) continue;
    const std::string bits = row.at("code_bin");
    EXPECT_EQ(Bits(m.motionCode[code]), code == 0 ? bits : bits.substr(0, bits.size() - 1)) << code;
  }
  for (const auto& row : Csv("scan-8x8.csv")) {
    const int p = std::stoi(row.at("idx"));
    EXPECT_EQ(Mpeg4ScanRaster(kScanZigzag)[p], std::stoi(row.at("zigzag_rowmajor")));
    EXPECT_EQ(Mpeg4ScanRaster(kScanAlternateHorizontal)[p], std::stoi(row.at("alt_horizontal_rowmajor")));
    EXPECT_EQ(Mpeg4ScanRaster(kScanAlternateVertical)[p], std::stoi(row.at("alt_vertical_rowmajor")));
  }
  for (const auto& row : Csv("default-quant-matrix.csv")) {
    const uint8_t* matrix = row.at("matrix") == "intra" ? Mpeg4DefaultIntraMatrix() : Mpeg4DefaultNonIntraMatrix();
    EXPECT_EQ(matrix[std::stoi(row.at("rowmajor"))], std::stoi(row.at("value")));
  }
}

TEST(Mpeg4Tables, EveryCodeIsPrefixFree) {
  std::map<std::string, std::vector<std::string>> codes;
  for (const Mpeg4TcoefRow& row : Mpeg4TcoefRows()) {
    uint32_t v;
    int n;
    ParseBitString(row.code, &v, &n);
    codes["TCOEF"].push_back(Bits(v, n) + "0");
    codes["TCOEF"].push_back(Bits(v, n) + "1");
  }
  codes["TCOEF"].push_back(Bits(kMpeg4Escape));
  for (const Mpeg4DcSizeRow& row : Mpeg4DcSizeRows()) {
    uint32_t v;
    int n;
    ParseBitString(row.code, &v, &n);
    codes[row.component == 0 ? "DC luminance" : "DC chrominance"].push_back(Bits(v, n));
  }
  const Mpeg4Tables& t = GetMpeg4Tables();
  for (const VlcCode& c : t.mcbpcIntra) codes["MCBPC I"].push_back(Bits(c));
  codes["MCBPC I"].push_back("000000001");  // stuffing
  for (const auto& type : t.mcbpcP) {
    for (const VlcCode& c : type) codes["MCBPC P"].push_back(Bits(c));
  }
  codes["MCBPC P"].push_back("000000001");
  for (const VlcCode& c : t.cbpy) codes["CBPY"].push_back(Bits(c));
  codes["B mb_type"] = {"1", "01", "001", "0001"};
  codes["modb"] = {"1", "01", "00"};
  codes["dquant"] = {"00", "01", "10", "11"};
  codes["dbquant"] = {"0", "10", "11"};
  const std::map<std::string, double> kraft = {
      {"TCOEF", 511.0 / 512},       {"DC luminance", 2047.0 / 2048}, {"DC chrominance", 4095.0 / 4096},
      {"MCBPC I", 505.0 / 512},     {"MCBPC P", 511.0 / 512},        {"CBPY", 31.0 / 32},
      {"B mb_type", 15.0 / 16},     {"modb", 1.0},                   {"dquant", 1.0},
      {"dbquant", 1.0}};
  for (const auto& [name, list] : codes) {
    EXPECT_DOUBLE_EQ(KraftSum(list, name), kraft.at(name)) << name;
  }
}

TEST(Mpeg4Tables, EscapeLimitsFollowFromTheRows) {
  // Largest level per run and largest run per level of each of the four tables.
  std::map<std::pair<int, int>, int> lmax[2][2], rmax[2][2];  // [intra][last]
  for (const Mpeg4TcoefRow& row : Mpeg4TcoefRows()) {
    int& li = lmax[1][row.intraLast][{row.intraRun, 0}];
    li = std::max(li, row.intraLevel);
    int& ri = rmax[1][row.intraLast][{row.intraLevel, 0}];
    ri = std::max(ri, row.intraRun);
    int& le = lmax[0][row.interLast][{row.interRun, 0}];
    le = std::max(le, row.interLevel);
    int& re = rmax[0][row.interLast][{row.interLevel, 0}];
    re = std::max(re, row.interRun);
  }
  const Mpeg4Tables& t = GetMpeg4Tables();
  for (int intra = 0; intra < 2; ++intra) {
    for (int last = 0; last < 2; ++last) {
      const Mpeg4TcoefTable& table = intra ? t.intra[last] : t.inter[last];
      SCOPED_TRACE(std::string(intra ? "intra" : "inter") + (last ? " last" : " not last"));
      ASSERT_EQ(static_cast<size_t>(table.lmaxCount), lmax[intra][last].size());
      for (int run = 0; run < table.lmaxCount; ++run) EXPECT_EQ(table.lmax[run], (lmax[intra][last][{run, 0}])) << run;
      ASSERT_EQ(static_cast<size_t>(table.rmaxCount), rmax[intra][last].size());
      for (int level = 1; level <= table.rmaxCount; ++level) {
        EXPECT_EQ(table.rmax[level - 1], (rmax[intra][last][{level, 0}])) << level;
      }
    }
  }
}

// An encoder whose picture body is a script.
class ScriptEncoder : public InjectableEncoder<CMBEncoder_MPEG4_H263> {
 public:
  std::function<void(ScriptEncoder&)> body;
  void EncodePictureBody(CPicture*) override { body(*this); }
};

std::string BitsOf(const std::function<void(ScriptEncoder&)>& write) {
  EncoderRig<ScriptEncoder> rig(CODEC_MPEG4, 64, 32);
  EXPECT_TRUE(rig.Init());
  uint64_t from = 0, to = 0;
  rig.encoder.body = [&](ScriptEncoder& e) {
    e.AlignToByte();
    from = e.GetBitPosition();
    write(e);
    to = e.GetBitPosition();
  };
  CPicture picture;
  std::vector<MBInfo> mbs(8);
  picture.settings = &rig.settings;
  picture.pictureType = PICTURE_I;
  picture.progressiveFrame = 1;
  picture.mbInfo = mbs.data();
  rig.encoder.EncodePicture(&picture, nullptr);
  rig.encoder.FlushBits(true);
  const std::vector<uint8_t> bytes = rig.output.AllBytes();
  std::string s;
  for (uint64_t i = from; i < to; ++i) s.push_back(((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0');
  return s;
}

std::string EscapeBits(uint32_t (*escape)(int, int, int*), int level, int run) {
  int length = 0;
  const uint32_t code = escape(level, run, &length);
  return Bits(code >> (32 - length), length);
}

std::string TcoefBits(const Mpeg4TcoefTable& table, int level, int run) { return PackedString(table.Entry(level, run)); }

TEST(Mpeg4Coders, BitStringsOfSingleCalls) {
  const Mpeg4Tables& t = GetMpeg4Tables();
  const std::string escape = "0000011";
  struct Case {
    const char* name;
    std::function<std::string()> call;
    std::string bits;
  };
  const auto dc = [](int component, int d) {
    return [component, d] {
      return BitsOf([&](ScriptEncoder& e) {
        int16_t block[64] = {};
        e.WriteIntraBlockMpeg4(block, e.scan_, 0, d, component);
      });
    };
  };
  const auto notCoded = [](int n) { return [n] { return BitsOf([&](ScriptEncoder& e) { e.WriteNotCodedRun(n); }); }; };
  const Case cases[] = {
      {"DC luminance 0", dc(0, 0), "011"},
      {"DC chrominance 0", dc(1, 0), "11"},
      {"DC luminance -1", dc(0, -1), "11" "0"},
      {"DC luminance 255", dc(0, 255), "0000001" "11111111"},
      {"DC luminance -255", dc(0, -255), "0000001" "00000000"},
      {"DC luminance 256, marker", dc(0, 256), "00000001" "100000000" "1"},
      {"DC luminance -256, marker", dc(0, -256), "00000001" "011111111" "1"},
      {"DC chrominance 2047, marker", dc(2, 2047), "00000000001" "11111111111" "1"},
      {"DC chrominance -2047, marker", dc(2, -2047), "00000000001" "00000000000" "1"},
      {"DC luminance 2047, marker", dc(0, 2047), "0000000001" "11111111111" "1"},
      {"intra level 28 at run 0: mode 1", [] { return EscapeBits(Mpeg4EscapeIntra, 28, 0); },
       escape + "0" + "10" + "0"},
      {"inter run 30 level 1: mode 2", [&] { return EscapeBits(Mpeg4EscapeInter, 1, 30); },
       escape + "10" + TcoefBits(t.inter[0], 1, 3)},
      {"inter last run 10 level 2: mode 1", [&] { return EscapeBits(Mpeg4EscapeInterLast, -2, 10); },
       escape + "0" + TcoefBits(t.inter[1], -1, 10)},
      {"level 300: mode 3", [] { return EscapeBits(Mpeg4EscapeInter, 300, 5); },
       escape + "11" + "0" + "000101" + "1" + "000100101100" + "1"},
      {"level -2047 last: mode 3", [] { return EscapeBits(Mpeg4EscapeIntraLast, -2047, 63); },
       escape + "11" + "1" + "111111" + "1" + "100000000001" + "1"},
      {"not coded 1", notCoded(1), "0"},
      {"not coded 31", notCoded(31), std::string(30, '1') + "0"},
      {"not coded 32", notCoded(32), std::string(31, '1') + "0"},
      {"not coded 33", notCoded(33), std::string(32, '1') + "0"},
      {"not coded 40", notCoded(40), std::string(39, '1') + "0"},
      {"not coded 63", notCoded(63), std::string(62, '1') + "0"},
      {"not coded 64", notCoded(64), std::string(63, '1') + "0"},
      {"B forward and backward, cbp 0", [] {
         return BitsOf([](ScriptEncoder& e) { e.WriteMbTypeAndPattern(PICTURE_B, MBINFO_BIDIRECTIONAL, 0); });
       }, "01" "01"},
      {"B backward, cbp 0x21", [] {
         return BitsOf([](ScriptEncoder& e) { e.WriteMbTypeAndPattern(PICTURE_B, MBINFO_BACKWARD, 0x21); });
       }, "00" "001" "100001"},
      {"B direct, zero delta", [] {
         return BitsOf([](ScriptEncoder& e) { e.WriteMbTypeAndPattern(PICTURE_B, MBINFO_DIRECT, 0); });
       }, "1"},
      {"B direct with a delta", [] {
         return BitsOf([](ScriptEncoder& e) {
           e.WriteMbTypeAndPattern(PICTURE_B, MBINFO_DIRECT | MBINFO_BIDIRECTIONAL, 0);
         });
       }, "01" "1"},
      {"I intra, cbp 0x3F, ac_pred", [] {
         return BitsOf([](ScriptEncoder& e) { e.WriteMbTypeAndPattern(PICTURE_I, MBINFO_INTRA | MBINFO_AC_PRED, 0x3F); });
       }, "011" "1" "11"},
      {"P inter with quantiser, cbp 0x3C (CBPY of the inverted pattern)", [] {
         return BitsOf([](ScriptEncoder& e) { e.WriteMbTypeAndPattern(PICTURE_P, MBINFO_QUANT, 0x3C); });
       }, "011" "0011"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.bits) << c.name;
}

// When both the level-offset and the run-offset escape exist with the same length, the
// run-offset one (mode 2) is written; every such tie of the four tables is checked.
TEST(Mpeg4Coders, EscapeTiesGoToModeTwo) {
  const Mpeg4Tables& t = GetMpeg4Tables();
  int ties = 0;
  for (int intra = 0; intra < 2; ++intra) {
    for (int last = 0; last < 2; ++last) {
      const Mpeg4TcoefTable& table = intra ? t.intra[last] : t.inter[last];
      for (int run = 0; run < 64; ++run) {
        for (int level = 1; level <= 60; ++level) {
          if (table.Entry(level, run) != 0) continue;
          const bool mode1 = run < table.lmaxCount && level <= 2 * table.lmax[run];
          const bool mode2 = level <= table.rmaxCount && run <= 2 * table.rmax[level - 1] + 1;
          if (!mode1 || !mode2) continue;
          const uint32_t e1 = table.Entry(level - table.lmax[run], run);
          const uint32_t e2 = table.Entry(level, run - table.rmax[level - 1] - 1);
          if (e1 == 0 || e2 == 0 || PackedLength(e1) + 8 != PackedLength(e2) + 9) continue;
          ++ties;
          int length = 0;
          const uint32_t code = Mpeg4Escape(table, level, run, &length);
          EXPECT_EQ(Bits(code >> (32 - length), length), "000001110" + PackedString(e2)) << intra << last << run << level;
        }
      }
    }
  }
  EXPECT_GT(ties, 0);
}

}  // namespace
}  // namespace orx::venc::test
