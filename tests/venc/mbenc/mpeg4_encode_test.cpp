// Whole MPEG-4 Part 2 encodes of ffmpeg lavfi sources through the macroblock encoder with the
// test planner, decoded by ffmpeg: strict decoding, the frame count, every frame against the
// encoder's reconstruction, the presentation times, and the macroblock types ffmpeg reports.
#include <gtest/gtest.h>

#include <string>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/stream_tools.h"
#include "tests/support/orx_test.h"

namespace orx::venc::test {
namespace {

struct Mpeg4Case {
  const char* name;
  EncodeSetup setup;
  bool releaseOnly = false;
};

EncodeSetup Setup(int width, int height, int frames, int n, int m, int q, bool mpegQuant = false) {
  EncodeSetup s = MakeSetup(CODEC_MPEG4, width, height, frames, n, m, q);
  if (mpegQuant) {
    s.adjustSettings = [](EncoderSettings& settings) { settings.useMpegQuant = 1; };
  }
  return s;
}

std::vector<Mpeg4Case> Cases() {
  std::vector<Mpeg4Case> cases;
  cases.push_back({"h263_intra_only", Setup(352, 288, 5, 1, 1, 4)});
  cases.push_back({"h263_ippp", Setup(352, 288, 10, 15, 1, 4)});
  {
    Mpeg4Case c{"h263_ippp_zero_vectors", Setup(352, 288, 4, 15, 1, 4)};
    c.setup.plan.searchRange = 0;
    c.setup.plan.halfPel = false;
    cases.push_back(c);
    Mpeg4Case d{"h263_ippp_q12", Setup(352, 288, 4, 15, 1, 12)};
    cases.push_back(d);
  }
  cases.push_back({"h263_ibbp", Setup(352, 288, 12, 15, 3, 5)});
  cases.push_back({"mpeg_quant_ibbp", Setup(352, 288, 12, 15, 3, 5, true)});
  return cases;
}

void PrintTo(const Mpeg4Case& c, std::ostream* out) { *out << c.name; }

class Mpeg4Encodes : public testing::TestWithParam<Mpeg4Case> {};

TEST_P(Mpeg4Encodes, DecodeToTheReconstruction) {
  const Mpeg4Case& c = GetParam();
  if (c.releaseOnly) ORX_RELEASE_ONLY();
  const EncodeRun run = RunEncode(c.setup);
  ASSERT_TRUE(run.initialised);
  EXPECT_TRUE(run.guardsIntact);
  EXPECT_EQ(run.lostBytes, 0u);
  CheckDecodesToReconstruction(run, c.name);
}

INSTANTIATE_TEST_SUITE_P(Mpeg4, Mpeg4Encodes, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Mpeg4Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orx::venc::test
