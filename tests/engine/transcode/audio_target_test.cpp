// An audio-only target through the transcode engine with the real libqvaaenc.so: AAC written as
// an elementary file carries ADTS headers that decoders open, and an output format the audio
// encoder refuses fails the engine's set-up instead of leaving it on its default coding.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/catalogue/component_loader.h"
#include "engine/transcode/tengine.h"
#include "media/media_codes.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/engine/catalogue/loader_test_support.h"
#include "tests/engine/transcode/tengine_test_support.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

class AudioTarget : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    std::filesystem::copy_file(std::filesystem::path(LibraryDir()) / "libqvaaenc.so",
                               std::filesystem::path(folder_) / "libqvaaenc.so",
                               std::filesystem::copy_options::overwrite_existing);
    CompSetLibPath(folder_.c_str(), kLibPathNarrow);
  }

  static QVATengineConfig AudioOnly(uint32_t subtype) {
    QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, 720, 480, 720, 480);
    config.videoEnabled = 0;
    config.targetAudio.subtype = subtype;
    config.targetAudio.Bitrate = 128000;
    return config;
  }
};

TEST_F(AudioTarget, AacElementaryFileCarriesAdts) {
  EngineDriver driver(AudioOnly(QVA_MSUBTYPE_AAC), MakeTarget(QVA_MTYPE_AUDIO, QVA_MSUBTYPE_AAC));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  Pcm tone;
  ASSERT_TRUE(MakeTone(1000, 48000, 2, 1.0, tone));
  const size_t block = 1600 * 2;  // 1/30 s of stereo samples
  for (size_t at = 0; at < tone.samples.size(); at += block) {
    const size_t count = std::min(block, tone.samples.size() - at);
    ComponentBuffer buffer{};
    buffer.flags = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_EXTERNAL;
    buffer.data = reinterpret_cast<uint8_t*>(&tone.samples[at]);
    buffer.timestamp = at / 2 * 1000 / 48000;
    buffer.capacity = buffer.length = static_cast<uint32_t>(count * 2);
    ASSERT_EQ(QVATengine_DeliverAudio(driver.engine, &buffer, 0, nullptr, QVA_INFINITE), QVA_SUCCESS);
  }
  driver.EndAudio();
  ASSERT_TRUE(driver.WaitForSinkEnd(30000));
  driver.Finish();
  const std::vector<uint8_t> stream = driver.sink.Stream();
  EXPECT_FALSE(AdtsFrameSizes(stream).empty()) << "the elementary file is not ADTS";
  DecoderVerdict v = DecodeWithBoth(stream, MakeTempDir("aac") + "/engine.aac");
  EXPECT_TRUE(v.ffmpegClean) << v.log;
  EXPECT_TRUE(v.faadClean) << v.log;
  const int lag = AlignmentLag(tone, v.decoded, 3000);
  EXPECT_GE(SnrDb(tone, v.decoded, lag, 2048, tone.Frames() - 2048), 30.0);
}

// Before, the refusal was dropped and qvaaenc coded its default Layer II into the file.
TEST_F(AudioTarget, RefusedOutputFormatFailsTheRun) {
  EngineDriver driver(AudioOnly(QVA_MSUBTYPE_WMA), MakeTarget(QVA_MTYPE_AUDIO, QVA_MSUBTYPE_WMA));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  EXPECT_EQ(driver.Run(), QVA_ERR_FORMAT);
}

}  // namespace
}  // namespace orx::test
