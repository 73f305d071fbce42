#pragma once
// A test-only reader of H.264 CAVLC residual blocks, written from the standard's parsing
// process for residual_block_cavlc: coeff_token, the trailing-one signs, level_prefix and
// level_suffix with the suffixLength rule, total_zeros and run_before. The code words come
// from the code-table CSVs in tests/data/h264 (the standard's tables), never from the encoder's
// data files.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orx::venc::test {

// Bits of a byte string, most significant first.
class BitReader {
 public:
  explicit BitReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int Bit();
  uint32_t Bits(int n);
  uint32_t Ue();
  int32_t Se();
  size_t Position() const { return position_; }
  size_t Size() const { return 8 * bytes_.size(); }
  bool Overrun() const { return overrun_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  bool overrun_ = false;
};

// One row of a code-table CSV: its symbol columns and its code word as a bit string.
struct CsvCode {
  std::map<std::string, std::string> columns;
  std::string bits;
};
// The rows of tests/data/h264/<name>.
std::vector<CsvCode> ReadH264CodeCsv(const std::string& name);

struct CavlcBlockRead {
  bool ok = false;
  std::string error;
  std::vector<int> levels;  // by scan position, maxNumCoeff entries
  int totalCoeff = 0;
  int trailingOnes = 0;
  int largestSuffixLength = 0;  // the largest suffixLength a level was read with
  int escapes = 0;              // levels read with level_prefix 15
};

class CavlcBlockReader {
 public:
  CavlcBlockReader();
  // nC class 0..3, or 4 for chroma DC (4 coefficients); maxNumCoeff 16, 15 or 4.
  CavlcBlockRead Read(BitReader& bits, int ncClass, int maxNumCoeff) const;
  // One level with the given suffixLength (level_prefix, level_suffix, levelCode), as for a
  // level that is not the first after fewer than three trailing ones.
  static int ReadLevel(BitReader& bits, int suffixLength, bool firstAfterFewTrailingOnes);

 private:
  // Reads bits until they match one code of the table; answers its symbol or -1.
  template <class Key>
  static bool Match(BitReader& bits, const std::map<std::string, Key>& codes, Key* out);

  std::map<std::string, std::pair<int, int>> coeffToken_[5];  // -> (TotalCoeff, TrailingOnes)
  std::map<std::string, int> totalZeros_[16];
  std::map<std::string, int> totalZerosChromaDc_[4];
  std::map<std::string, int> runBefore_[8];
};

}  // namespace orx::venc::test
