#include "tests/venc/mbenc/h264_cavlc_reader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/test_paths.h"

namespace orx::venc::test {

int BitReader::Bit() {
  if (position_ >= 8 * bytes_.size()) {
    overrun_ = true;
    return 0;
  }
  const int b = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
  ++position_;
  return b;
}

uint32_t BitReader::Bits(int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | static_cast<uint32_t>(Bit());
  return v;
}

uint32_t BitReader::Ue() {
  int zeros = 0;
  while (Bit() == 0 && !overrun_ && zeros < 32) ++zeros;
  return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Bits(zeros));
}

int32_t BitReader::Se() {
  const uint32_t k = Ue();
  return (k & 1) ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
}

std::vector<CsvCode> ReadH264CodeCsv(const std::string& name) {
  std::ifstream in(orx::test::SourceDir() + "/tests/data/h264/" + name);
  std::vector<CsvCode> rows;
  std::string line;
  std::vector<std::string> header;
  auto split = [](const std::string& text) {
    std::vector<std::string> cells;
    std::stringstream s(text);
    std::string cell;
    while (std::getline(s, cell, ',')) cells.push_back(cell);
    return cells;
  };
  if (!std::getline(in, line)) return rows;
  header = split(line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::string> cells = split(line);
    CsvCode row;
    for (size_t i = 0; i < header.size() && i < cells.size(); ++i) row.columns[header[i]] = cells[i];
    row.bits = row.columns["code_bin"];
    rows.push_back(row);
  }
  return rows;
}

CavlcBlockReader::CavlcBlockReader() {
  for (const CsvCode& r : ReadH264CodeCsv("coeff-token.csv")) {
    const int cls = std::stoi(r.columns.at("nc_class"));
    if (cls > 4) continue;
    coeffToken_[cls][r.bits] = {std::stoi(r.columns.at("total_coeff")),
                                std::stoi(r.columns.at("trailing_ones"))};
  }
  for (const CsvCode& r : ReadH264CodeCsv("total-zeros-4x4.csv")) {
    totalZeros_[std::stoi(r.columns.at("total_coeff"))][r.bits] = std::stoi(r.columns.at("total_zeros"));
  }
  for (const CsvCode& r : ReadH264CodeCsv("total-zeros-chroma-dc-420.csv")) {
    totalZerosChromaDc_[std::stoi(r.columns.at("total_coeff"))][r.bits] =
        std::stoi(r.columns.at("total_zeros"));
  }
  for (const CsvCode& r : ReadH264CodeCsv("run-before.csv")) {
    runBefore_[std::stoi(r.columns.at("zeros_left_class"))][r.bits] = std::stoi(r.columns.at("run_before"));
  }
}

template <class Key>
bool CavlcBlockReader::Match(BitReader& bits, const std::map<std::string, Key>& codes, Key* out) {
  std::string word;
  while (word.size() < 32 && !bits.Overrun()) {
    word.push_back(bits.Bit() ? '1' : '0');
    const auto it = codes.find(word);
    if (it != codes.end()) {
      *out = it->second;
      return true;
    }
  }
  return false;
}

int CavlcBlockReader::ReadLevel(BitReader& bits, int suffixLength, bool firstAfterFewTrailingOnes) {
  int levelPrefix = 0;
  while (bits.Bit() == 0 && !bits.Overrun()) ++levelPrefix;
  int levelSuffixSize = suffixLength;
  if (levelPrefix == 14 && suffixLength == 0) levelSuffixSize = 4;
  if (levelPrefix >= 15) levelSuffixSize = levelPrefix - 3;
  const int levelSuffix = levelSuffixSize > 0 ? static_cast<int>(bits.Bits(levelSuffixSize)) : 0;
  int levelCode = (std::min(15, levelPrefix) << suffixLength) + levelSuffix;
  if (levelPrefix >= 15 && suffixLength == 0) levelCode += 15;
  if (levelPrefix >= 16) levelCode += (1 << (levelPrefix - 3)) - 4096;
  if (firstAfterFewTrailingOnes) levelCode += 2;
  return levelCode % 2 == 0 ? (levelCode + 2) >> 1 : (-levelCode - 1) >> 1;
}

CavlcBlockRead CavlcBlockReader::Read(BitReader& bits, int ncClass, int maxNumCoeff) const {
  CavlcBlockRead r;
  r.levels.assign(static_cast<size_t>(maxNumCoeff), 0);
  std::pair<int, int> token;
  if (!Match(bits, coeffToken_[ncClass], &token)) {
    r.error = "no coeff_token matches";
    return r;
  }
  r.totalCoeff = token.first;
  r.trailingOnes = token.second;
  if (r.totalCoeff > maxNumCoeff) {
    r.error = "TotalCoeff above maxNumCoeff";
    return r;
  }
  std::vector<int> level(static_cast<size_t>(r.totalCoeff));
  if (r.totalCoeff > 0) {
    int suffixLength = r.totalCoeff > 10 && r.trailingOnes < 3 ? 1 : 0;
    for (int i = 0; i < r.totalCoeff; ++i) {
      if (i < r.trailingOnes) {
        level[static_cast<size_t>(i)] = bits.Bit() ? -1 : 1;
        continue;
      }
      r.largestSuffixLength = std::max(r.largestSuffixLength, suffixLength);
      int prefixZeros = 0;
      {
        BitReader peek = bits;
        while (peek.Bit() == 0 && !peek.Overrun()) ++prefixZeros;
      }
      if (prefixZeros >= 15) ++r.escapes;
      const int value = ReadLevel(bits, suffixLength, i == r.trailingOnes && r.trailingOnes < 3);
      level[static_cast<size_t>(i)] = value;
      if (suffixLength == 0) suffixLength = 1;
      if (std::abs(value) > (3 << (suffixLength - 1)) && suffixLength < 6) ++suffixLength;
    }
    int zerosLeft = 0;
    if (r.totalCoeff < maxNumCoeff) {
      const bool found = ncClass == 4
          ? Match(bits, totalZerosChromaDc_[r.totalCoeff], &zerosLeft)
          : Match(bits, totalZeros_[r.totalCoeff], &zerosLeft);
      if (!found) {
        r.error = "no total_zeros matches";
        return r;
      }
    }
    std::vector<int> run(static_cast<size_t>(r.totalCoeff), 0);
    for (int i = 0; i < r.totalCoeff - 1; ++i) {
      if (zerosLeft > 0) {
        int runBefore = 0;
        if (!Match(bits, runBefore_[std::min(zerosLeft, 7)], &runBefore)) {
          r.error = "no run_before matches";
          return r;
        }
        run[static_cast<size_t>(i)] = runBefore;
      }
      zerosLeft -= run[static_cast<size_t>(i)];
      if (zerosLeft < 0) {
        r.error = "run_before beyond total_zeros";
        return r;
      }
    }
    run[static_cast<size_t>(r.totalCoeff - 1)] = zerosLeft;
    int coeffNum = -1;
    for (int i = r.totalCoeff - 1; i >= 0; --i) {
      coeffNum += run[static_cast<size_t>(i)] + 1;
      if (coeffNum >= maxNumCoeff) {
        r.error = "coefficient beyond the block";
        return r;
      }
      r.levels[static_cast<size_t>(coeffNum)] = level[static_cast<size_t>(i)];
    }
  }
  if (bits.Overrun()) {
    r.error = "read past the end";
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace orx::venc::test
