// Threads around the macroblock encoders: prediction rows from the accelerator's worker, and
// several encoders set up and run at once on their own threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/small_pictures.h"

namespace orx::venc::test {
namespace {

TEST(Threads, AcceleratedPredictionGivesTheSameStream) {
  struct Case {
    int codec;
    int height;
  };
  for (const Case& c : {Case{CODEC_MPEG1, 96}, Case{CODEC_MPEG2, 96}, Case{CODEC_MPEG2, 16}}) {
    SCOPED_TRACE(std::to_string(c.codec) + " height " + std::to_string(c.height));
    const int codec = c.codec;
    const int rows = c.height / 16;
    const orx::test::RawVideo video = DrawVideo(160, c.height, 8, [](int f, int plane, int x, int y) {
      return Texture(0, plane, x + 2 * f, y + f);  // a pan: real vectors
    });
    EncodeSetup setup;
    setup.codec = codec;
    setup.video = &video;
    setup.plan.gopLength = 15;
    setup.plan.anchorDistance = 3;
    setup.quantiser = 5;
    const EncodeRun cpu = RunEncode(setup);
    setup.accelerated = true;
    const EncodeRun accelerated = RunEncode(setup);
    EXPECT_TRUE(accelerated.stream == cpu.stream);
    int interPictures = 0;
    for (char type : cpu.pictureTypes) interPictures += type != 'I';
    EXPECT_EQ(accelerated.acceleratorJobs, interPictures * rows) << "one job per row";
    EXPECT_LE(accelerated.acceleratorMaxOutstanding, 2);
    EXPECT_EQ(accelerated.acceleratorResets, 8) << "one Reset per picture";
    EXPECT_EQ(accelerated.acceleratorErrors, 0);
    // A job the accelerator refuses: that row is predicted on the encoder's thread.
    setup.refusePredictionJob = [](int row) { return row == 1 || row == 2; };
    const EncodeRun refused = RunEncode(setup);
    EXPECT_TRUE(refused.stream == cpu.stream);
    EXPECT_EQ(refused.acceleratorErrors, 0);
  }
}

TEST(Threads, EightEncodersAtOnce) {
  const orx::test::RawVideo video = DrawVideo(64, 48, 4, Texture);
  const auto encode = [&video](int codec) {
    EncodeSetup setup;
    setup.codec = codec;
    setup.video = &video;
    setup.plan.gopLength = 15;
    setup.plan.anchorDistance = 3;
    setup.callback = false;
    return RunEncode(setup).stream;
  };
  std::vector<std::vector<uint8_t>> streams(8);
  std::vector<const Mpeg12Tables*> tables(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      tables[i] = &GetMpeg12Tables();
      streams[i] = encode(i % 2 ? CODEC_MPEG1 : CODEC_MPEG2);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tables[i], tables[0]) << "one set of tables for the process";
    EXPECT_FALSE(streams[i].empty());
    EXPECT_TRUE(streams[i] == streams[i % 2]) << "encoder " << i;
  }
}

}  // namespace
}  // namespace orx::venc::test
