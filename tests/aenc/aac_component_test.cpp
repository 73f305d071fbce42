// AAC through the AENC component of libqvaaenc.so: refused formats, lost frames, the reported
// format, raw frames into MP4, and two instances on two threads (its end of stream is in the
// table of component_stream_test.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "media/media_codes.h"
#include "media/media_params.h"
#include "tests/aenc/aac_test_support.h"
#include "tests/aenc/aenc_driver.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

constexpr uint32_t kEndMarker = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS;

// The raw data blocks of 48 kHz stereo at 128 kbit/s, one per output buffer.
std::vector<std::vector<uint8_t>> RawFrames(AencLibrary& library, const Pcm& pcm) {
  AudioSink sink;
  AencInstance aenc(library, sink);
  EXPECT_EQ(aenc.Open(PcmType(48000, 2), CodedType(QVA_MSUBTYPE_AAC, 128000)), QVA_SUCCESS);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
  const uint32_t total = static_cast<uint32_t>(pcm.samples.size() * 2);
  for (uint32_t at = 0; at < total; at += 48000) EXPECT_EQ(aenc.Push(bytes + at, std::min(48000u, total - at)), QVA_SUCCESS);
  EXPECT_EQ(aenc.PushEnd(), QVA_SUCCESS);
  EXPECT_TRUE(sink.WaitFor(kEndMarker));
  std::vector<std::vector<uint8_t>> frames;
  for (const auto& b : sink.Deliveries()) {
    if ((b.flags & QVA_BUFFLAG_AUDIO) && !(b.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS)) && !b.data.empty())
      frames.push_back(b.data);
  }
  return frames;
}

// Rates the header cannot name (and more than two channels) are refused at the open with 40:
// before, the header and band layout took the nearest rate while frame size and bandwidth
// followed the real one.
TEST(AacComponent, RatesOutsideTheTableAreRefused) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  struct Case { int rate; uint16_t channels; } cases[] = {{47000, 2}, {11000, 1}, {48000, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels");
    AudioSink sink;
    AencInstance aenc(library, sink);
    AudioMediaType input = PcmType(static_cast<uint32_t>(c.rate), c.channels);
    ASSERT_EQ(aenc.SetFormats(input, CodedType(QVA_MSUBTYPE_AAC, 128000)), QVA_SUCCESS);
    ASSERT_EQ(aenc.Start(), QVA_SUCCESS);
    aenc.PushFormat(input);
    Pcm pcm = NoisePcm(4096, c.channels, 3);
    aenc.Push(pcm.samples.data(), static_cast<uint32_t>(pcm.samples.size() * 2));
    EXPECT_TRUE(aenc.WaitForError());
    EXPECT_EQ(aenc.ErrorStatus(), QVA_ERR_FORMAT);
    EXPECT_EQ(sink.FrameCount(), 0u);
  }
  // Every table rate opens.
  for (int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000}) {
    AudioSink sink;
    AencInstance aenc(library, sink);
    ASSERT_EQ(aenc.Open(PcmType(static_cast<uint32_t>(rate), 1), CodedType(QVA_MSUBTYPE_AAC, 64000)), QVA_SUCCESS);
    Pcm pcm = NoisePcm(2048, 1, 3);
    ASSERT_EQ(aenc.Push(pcm.samples.data(), 4096), QVA_SUCCESS);
    EXPECT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, 2)) << rate;
    EXPECT_EQ(aenc.ErrorStatus(), 0) << rate;
  }
}

TEST(AacComponent, ReportedFormatIsAacWithoutCodecPrivateData) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  uint32_t adts = 7;
  EXPECT_EQ(aenc.Methods().QVAComp_SetParam(aenc.instance, QVA_PARAM_AUDIOENCODER_ADTS, &adts, 4), QVA_ERR_BADARG);
  EXPECT_EQ(aenc.Methods().QVAComp_GetParam(aenc.instance, QVA_PARAM_AUDIOENCODER_ADTS, &adts, 4), QVA_SUCCESS);
  EXPECT_EQ(adts, 0u);  // raw data blocks unless asked
  ASSERT_EQ(aenc.Open(PcmType(44100, 2), CodedType(QVA_MSUBTYPE_AAC, 128000)), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_FORMAT));
  AudioMediaType asked{};
  asked.size = sizeof asked;
  ASSERT_EQ(aenc.Methods().QVAComp_GetFormat(aenc.instance, 1, 0, &asked), QVA_SUCCESS);
  EXPECT_EQ(asked.subtype, QVA_MSUBTYPE_AAC);
  EXPECT_EQ(asked.SamplRate, 44100u);
  EXPECT_EQ(asked.Channels, 2u);
  EXPECT_EQ(asked.Bitrate, 128000u);
  EXPECT_EQ(asked.codecPrivateLength, 0u);  // the multiplexer builds the decoder configuration
  Pcm pcm = NoisePcm(2048, 2, 6);
  ASSERT_EQ(aenc.Push(pcm.samples.data(), 8192), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, 2));
  std::vector<uint8_t> first = sink.Deliveries().back().data;
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0] >> 5, 1) << "a raw data block starts with its channel pair element";
}

// Raw data blocks (the multiplexed road) in an MP4 decode as AAC; the ADTS form copied into MP4
// decodes to exactly the samples of the ADTS file.
TEST(AacComponent, RawAndAdtsFormsInMp4) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  Pcm speech;
  ASSERT_TRUE(MakeSpeech(48000, 2, 2.0, speech));
  StreamRequest request;
  request.subtype = QVA_MSUBTYPE_AAC;
  request.chunkBytes = 48000;
  request.adts = 1;
  std::vector<uint8_t> adtsStream = EncodeThroughComponent(library, speech, request);
  std::vector<size_t> sizes = AdtsFrameSizes(adtsStream);
  ASSERT_FALSE(sizes.empty());
  const std::string dir = MakeTempDir("aac");
  ASSERT_TRUE(WriteBytes(dir + "/adts.aac", adtsStream));
  ProcessResult copy = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", dir + "/adts.aac", "-c:a", "copy",
                                   dir + "/adts.mp4"});
  ASSERT_EQ(copy.exitCode, 0) << copy.err;
  Pcm fromAdts, fromMp4;
  std::string log;
  ASSERT_TRUE(DecodeAudio(dir + "/adts.aac", fromAdts, &log)) << log;
  ASSERT_TRUE(DecodeAudio(dir + "/adts.mp4", fromMp4, &log)) << log;
  EXPECT_EQ(ProbeStream(dir + "/adts.mp4", "a:0")["codec_name"], "aac");
  ASSERT_EQ(fromAdts.samples.size(), fromMp4.samples.size());
  EXPECT_EQ(fromAdts.samples, fromMp4.samples);

  // The raw frames, framed by the test with headers of its own and copied into MP4: as many
  // frames, decoding close to the ADTS form (the frames differ: the header's bits are not spent
  // on the spectrum).
  std::vector<uint8_t> reframed;
  for (const std::vector<uint8_t>& frame : RawFrames(library, speech)) {
    const size_t length = frame.size() + 7;
    const uint8_t header[7] = {0xFF, 0xF1, static_cast<uint8_t>(0x40 | (3 << 2)), static_cast<uint8_t>(0x80 | (length >> 11)),
                               static_cast<uint8_t>(length >> 3), static_cast<uint8_t>((length & 7) << 5 | 0x1F), 0xFC};
    reframed.insert(reframed.end(), header, header + 7);
    reframed.insert(reframed.end(), frame.begin(), frame.end());
  }
  EXPECT_EQ(AdtsFrameSizes(reframed).size(), sizes.size());
  ASSERT_TRUE(WriteBytes(dir + "/raw.aac", reframed));
  copy = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", dir + "/raw.aac", "-c:a", "copy", dir + "/raw.mp4"});
  ASSERT_EQ(copy.exitCode, 0) << copy.err;
  Pcm fromRaw;
  ASSERT_TRUE(DecodeAudio(dir + "/raw.mp4", fromRaw, &log)) << log;
  EXPECT_EQ(ProbeStream(dir + "/raw.mp4", "a:0")["codec_name"], "aac");
  ASSERT_EQ(fromRaw.samples.size(), fromAdts.samples.size());
  const double snr = SnrDb(fromAdts, fromRaw, 0, 0, fromAdts.Frames());
  EXPECT_GE(snr, 25.0);
  std::printf("raw against ADTS form: %.1f dB\n", snr);
}

// Two AAC components on two worker threads code the same samples into the same bytes as one.
TEST(AencThreads, TwoAacComponentsMatchOneAtATime) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  Pcm pcm = NoisePcm(1024 * 10, 2, 7);
  StreamRequest request;
  request.subtype = QVA_MSUBTYPE_AAC;
  request.adts = 1;
  ExpectSameBytesOnTwoThreads([&] { return EncodeThroughComponent(library, pcm, request); });
}

}  // namespace
}  // namespace orx::test
