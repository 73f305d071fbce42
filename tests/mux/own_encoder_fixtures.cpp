#include "tests/mux/own_encoder_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "media/media_codes.h"
#include "tests/aenc/aenc_driver.h"
#include "tests/support/test_paths.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"

namespace orx::mux::test {
namespace {

// A delivered data buffer as one sample: timed when the encoder put a time on it.
EsSample SampleOf(const std::vector<uint8_t>& data, uint32_t flags, uint64_t timestamp) {
  EsSample sample;
  sample.bytes = data;
  sample.timed = (flags & QVA_BUFFLAG_TIMESTAMP) != 0;
  sample.timeMs = sample.timed ? static_cast<int64_t>(timestamp) : 0;
  sample.key = (flags & QVA_BUFFLAG_SYNCPOINT) != 0;
  return sample;
}

std::string WriteFixture(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = orx::test::MakeTempDir("mux-own") + "/" + name;
  EXPECT_TRUE(WriteBytes(path, bytes)) << path;
  return path;
}

}  // namespace

EsFixture OurMpeg2Video(int width, int height, uint32_t framesPer1000s, int frames, uint32_t bitRate) {
  using namespace orx::venc::test;
  EsFixture fixture;
  VencLibrary library;
  if (!library.Loaded()) {
    ADD_FAILURE() << "libqvavenc.so: " << library.Error();
    return fixture;
  }
  // Two fields per frame that move apart, so the pictures are truly interlaced.
  const std::string fieldRate = framesPer1000s == 29970 ? "60000/1001" : std::to_string(framesPer1000s / 500);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const SourceVideo source =
      LavfiSource("testsrc2=size=" + size + ":rate=" + fieldRate + ",tinterlace=mode=interleave_top", width, height,
                  frames);
  if (source.frames < frames) {
    ADD_FAILURE() << "no lavfi source of " << frames << " frames";
    return fixture;
  }
  HostEncode setup;
  setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                             framesPer1000s);
  setup.output = Mpeg2Format(static_cast<uint32_t>(width), static_cast<uint32_t>(height), framesPer1000s, bitRate);
  setup.params = ExportParams(15, 3, bitRate, 0);
  setup.frameMs = 1000000.0 / framesPer1000s;
  const HostResult result = EncodeThroughHost(library, setup, frames, source.FrameBytes(),
                                              [&](int i, uint8_t* out) { source.Read(i, out); });
  EXPECT_TRUE(result.ended) << "the video encoder gave no end marker";
  EXPECT_TRUE(result.errors.empty()) << "the video encoder reported " << result.errors.size() << " errors";
  for (const VencSink::Output& output : result.outputs) {
    if (output.flags & QVA_BUFFLAG_FORMAT) {
      if (fixture.format.empty()) fixture.format = output.data;
    } else if (!output.data.empty()) {
      fixture.samples.push_back(SampleOf(output.data, output.flags, output.timestamp));
    }
  }
  fixture.bytes = result.stream;
  fixture.path = WriteFixture("video.m2v", fixture.bytes);
  return fixture;
}

namespace {

// A tone coded by libqvaaenc.so as `subtype` at 48 kHz stereo and `bitrate`.
EsFixture OurMpegAudio(double seconds, uint32_t subtype, uint32_t bitrate, const char* name) {
  using namespace orx::test;
  EsFixture fixture;
  AencLibrary library;
  Pcm pcm;
  if (!library.Loaded() || !MakeTone(1000.0, 48000, 2, seconds, pcm)) return fixture;
  AudioSink sink;
  {
    AencInstance encoder(library, sink);
    EXPECT_EQ(encoder.Open(PcmType(48000, 2), CodedType(subtype, bitrate)), QVA_SUCCESS);
    // 100 ms pieces, each stamped with its time, as an export's audio arrives.
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
    const size_t total = pcm.samples.size() * sizeof(int16_t);
    constexpr size_t kPiece = 48000 / 10 * 2 * sizeof(int16_t);
    for (size_t at = 0; at < total; at += kPiece) {
      const auto length = static_cast<uint32_t>(std::min(kPiece, total - at));
      EXPECT_EQ(encoder.Push(bytes + at, length, QVA_BUFFLAG_TIMESTAMP, at / kPiece * 100), QVA_SUCCESS);
    }
    EXPECT_EQ(encoder.PushEnd(), QVA_SUCCESS);
    EXPECT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS)) << "the audio encoder gave no end marker";
    EXPECT_EQ(encoder.ErrorStatus(), QVA_SUCCESS);
  }
  for (const OutputSink::Delivery& delivered : sink.Deliveries()) {
    if (delivered.flags & QVA_BUFFLAG_FORMAT) {
      if (fixture.format.empty()) fixture.format = delivered.data;
    } else if (!(delivered.flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) && !delivered.data.empty()) {
      fixture.samples.push_back(SampleOf(delivered.data, delivered.flags, delivered.timestamp));
    }
  }
  fixture.bytes = sink.Stream();
  fixture.path = WriteFixture(name, fixture.bytes);
  return fixture;
}

}  // namespace

EsFixture OurMp2Audio(double seconds) { return OurMpegAudio(seconds, QVA_MSUBTYPE_MPA2, 192000, "audio.mp2"); }

EsFixture OurMp3Audio(double seconds) { return OurMpegAudio(seconds, QVA_MSUBTYPE_MPA3, 128000, "audio.mp3"); }

}  // namespace orx::mux::test
