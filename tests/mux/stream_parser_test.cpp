// The stream framer: elementary streams fed in arbitrary pieces come out as whole frames and
// pictures (each smaller than the framer's 8 KB buffer), equal to ffprobe's split.
#include <gtest/gtest.h>

#include "mux/parse/stream_parser.h"
#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {
namespace {

std::vector<StreamParserOutput> FeedInPieces(IStreamParser& parser, const std::vector<uint8_t>& es, size_t piece,
                                             std::vector<std::vector<uint8_t>>& units) {
  std::vector<StreamParserOutput> outputs;
  for (size_t at = 0; at <= es.size(); at += piece) {
    StreamParserInput input;
    input.data = es.data() + at;
    input.length = static_cast<uint32_t>(std::min(piece, es.size() - at));
    input.flags = kParserTimeValid | (at + piece >= es.size() ? kParserEndOfInput : 0u);
    input.time = at;
    StreamParserOutput output;
    for (int guard = 0; guard < 1000; ++guard) {
      const bool got = parser.Parse(&input, output);
      if (got) {
        outputs.push_back(output);
        units.emplace_back(output.data, output.data + output.length);
      }
      if (!got && input.consumed == input.length) break;
    }
  }
  StreamParserOutput output;
  while (parser.Parse(nullptr, output)) {
    outputs.push_back(output);
    units.emplace_back(output.data, output.data + output.length);
  }
  return outputs;
}

TEST(StreamParser, FramesAudioAndVideo) {
  struct Case {
    const char* name;
    uint32_t kind;
    EsFixture fixture;
  };
  const Case cases[] = {{"mp2", 0, Mp2Audio(48000, 192, 0.5)},
                        {"ac3", 0, Ac3Audio(0.5)},
                        {"mpeg2", 1, Mpeg2Video(176, 144, "25", 12, {"-b:v", "300k", "-maxrate", "400k"})}};
  for (const Case& c : cases) {
    for (size_t piece : {997u, 4096u, 20000u}) {
      IStreamParser* parser = NewStreamParser();
      parser->Init(c.kind, 0);
      std::vector<std::vector<uint8_t>> units;
      const auto outputs = FeedInPieces(*parser, c.fixture.bytes, piece, units);
      ASSERT_EQ(units.size(), c.fixture.samples.size()) << c.name << " " << piece;
      for (size_t i = 0; i < units.size(); ++i) EXPECT_TRUE(units[i] == c.fixture.samples[i].bytes) << c.name << " " << i;
      if (c.kind == 1) {
        EXPECT_EQ(outputs[0].flags & 0x300, kParserPictureI);
        EXPECT_EQ(outputs[1].flags & 0x300, uint32_t{kParserPictureP});
        EXPECT_EQ(outputs[2].flags & 0x300, uint32_t{kParserPictureB});
      }
      // The first unit takes the first stamp; a unit starting where no new stamp arrived has none.
      EXPECT_TRUE(outputs[0].flags & kParserTimeValid) << c.name;
      parser->Release();
    }
  }
}

TEST(StreamParser, PassThrough) {
  IStreamParser* parser = NewStreamParser();
  parser->Init(7, 0);
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  StreamParserInput input;
  input.data = bytes;
  input.length = 5;
  StreamParserOutput output;
  ASSERT_TRUE(parser->Parse(&input, output));
  EXPECT_EQ(std::vector<uint8_t>(output.data, output.data + output.length), std::vector<uint8_t>(bytes, bytes + 5));
  EXPECT_FALSE(parser->Parse(nullptr, output));
  parser->Release();
}

}  // namespace
}  // namespace orx::mux::test
