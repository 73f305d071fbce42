#include <gtest/gtest.h>

#include "support/y4m.h"
#include "tests/support/test_paths.h"

namespace orx::support {
namespace {

TEST(Y4m, WriteThenReadBack) {
  std::string dir = orx::test::MakeTempDir("y4m");
  Y4mHeader h;
  h.width = 6;  // odd chroma widths round up
  h.height = 4;
  h.rateNum = 30000;
  h.rateDen = 1001;
  h.interlace = 't';
  h.aspectNum = 10;
  h.aspectDen = 11;
  ASSERT_EQ(h.FrameBytes(), 6u * 4 + 2 * 3 * 2);
  std::vector<uint8_t> a(h.FrameBytes()), b(h.FrameBytes());
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = static_cast<uint8_t>(i * 7);
    b[i] = static_cast<uint8_t>(255 - i);
  }
  Y4mWriter w;
  ASSERT_TRUE(w.Open(dir + "/clip.y4m", h));
  ASSERT_TRUE(w.WriteFrame(a.data(), a.size()));
  ASSERT_TRUE(w.WriteFrame(b.data(), b.size()));
  EXPECT_FALSE(w.WriteFrame(b.data(), b.size() - 1));  // wrong size refused
  ASSERT_TRUE(w.Close());

  Y4mReader r;
  ASSERT_TRUE(r.Open(dir + "/clip.y4m")) << r.error();
  EXPECT_EQ(r.header().width, 6);
  EXPECT_EQ(r.header().height, 4);
  EXPECT_EQ(r.header().rateNum, 30000);
  EXPECT_EQ(r.header().rateDen, 1001);
  EXPECT_EQ(r.header().interlace, 't');
  EXPECT_EQ(r.header().aspectNum, 10);
  std::vector<uint8_t> frame;
  ASSERT_TRUE(r.ReadFrame(frame));
  EXPECT_EQ(frame, a);
  ASSERT_TRUE(r.ReadFrame(frame));
  EXPECT_EQ(frame, b);
  EXPECT_FALSE(r.ReadFrame(frame));
  EXPECT_EQ(r.error(), "");  // a clean end
}

TEST(Y4m, HeaderParsing) {
  struct Row {
    const char* line;
    bool ok;
    int w, h;
    Y4mChroma chroma;
  };
  const Row rows[] = {
      {"YUV4MPEG2 W720 H480 F30000:1001 Ip A10:11 C420jpeg XYSCSS=420JPEG", true, 720, 480, Y4mChroma::k420},
      {"YUV4MPEG2 W320 H240 F15:1 C422", true, 320, 240, Y4mChroma::k422},
      {"YUV4MPEG2 W16 H16 F25:1 C444", true, 16, 16, Y4mChroma::k444},
      {"YUV4MPEG2 W16 H16 F25:1", true, 16, 16, Y4mChroma::k420},
      {"YUV4MPEG2 W16 H16 F25:1 C420p10", false, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W0 H16 F25:1", false, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W16 H16 F25:0", false, 0, 0, Y4mChroma::k420},
      {"MPEG2 W16 H16", false, 0, 0, Y4mChroma::k420},
  };
  for (const Row& row : rows) {
    Y4mHeader h;
    std::string error;
    EXPECT_EQ(ParseY4mHeader(row.line, h, &error), row.ok) << row.line << " " << error;
    if (row.ok) {
      EXPECT_EQ(h.width, row.w);
      EXPECT_EQ(h.height, row.h);
      EXPECT_EQ(h.chroma, row.chroma);
    }
  }
}

TEST(Y4m, TruncatedFrameIsAnError) {
  std::string dir = orx::test::MakeTempDir("y4m");
  std::string path = dir + "/short.y4m";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("YUV4MPEG2 W4 H2 F25:1\nFRAME\nabc", f);
  std::fclose(f);
  Y4mReader r;
  ASSERT_TRUE(r.Open(path));
  std::vector<uint8_t> frame;
  EXPECT_FALSE(r.ReadFrame(frame));
  EXPECT_EQ(r.error(), "truncated frame");
}

}  // namespace
}  // namespace orx::support
