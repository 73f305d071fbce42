// The H.264 macroblock analysis and writer on small pictures: the tables they read against the
// standard's CSV files, and the edge cases of the picture loop, the macroblock layer, vector
// prediction and the intra and inter coders.
#include <gtest/gtest.h>

#include <string>

#include "tests/venc/mbenc/h264_cavlc_reader.h"
#include "venc/mbenc/h264_mb_tables.h"

namespace orx::venc::test {
namespace {

TEST(H264MacroblockTables, MatchTheCsvFiles) {
  int rows = 0;
  for (const CsvCode& r : ReadH264CodeCsv("cbp-to-codenum.csv")) {
    const int cbp = std::stoi(r.columns.at("cbp"));
    EXPECT_EQ(H264CbpCodeNum(cbp, true), std::stoul(r.columns.at("intra_code_num_cat12"))) << cbp;
    EXPECT_EQ(H264CbpCodeNum(cbp, false), std::stoul(r.columns.at("inter_code_num_cat12"))) << cbp;
    ++rows;
  }
  EXPECT_EQ(rows, 48);
  rows = 0;
  for (const CsvCode& r : ReadH264CodeCsv("chroma-qp.csv")) {
    const int qpi = std::stoi(r.columns.at("qpi"));
    if (qpi >= 12) {
      EXPECT_EQ(H264ChromaQp(qpi - 12), std::stoi(r.columns.at("qpc")) - 12) << qpi;
      ++rows;
    }
  }
  EXPECT_EQ(rows, 40);
}

}  // namespace
}  // namespace orx::venc::test
