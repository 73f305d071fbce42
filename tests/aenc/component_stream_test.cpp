// The AENC component coding streams through libqvaaenc.so, loaded by name as the engine loads it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include "engine/transcode/tengine.h"
#include "media/media_codes.h"
#include "media/media_params.h"
#include "tests/aenc/aenc_driver.h"
#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/layer3_test_support.h"
#include "tests/aenc/memory_bitstream.h"
#include "tests/support/host_log_capture.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

constexpr uint32_t kEndMarker = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS;  // 0x210000

// Frames the core codes from the same samples: the reference for what the component sends.
std::vector<std::vector<uint8_t>> CoreFrames(const std::vector<int16_t>& samples, int channels, int bitrate) {
  aenc::AudioEncoderConfig config = Layer2Config(48000, channels, bitrate);
  EncoderPtr encoder = MakeEncoder(config);
  MemoryBitstream out;
  encoder->Init(&out);
  size_t frame = 1152 * static_cast<size_t>(channels);
  for (size_t at = 0; at + frame <= samples.size(); at += frame) encoder->EncodeFrame(&samples[at]);
  return out.frames;
}

TEST(AencComponent, InputIsCutIntoWholeFrames) {
  struct Case {
    const char* name;
    std::vector<uint32_t> pushes;  // bytes per buffer
    std::vector<size_t> framesAfter;
  } cases[] = {
      {"4608 bytes make one frame", {4608}, {1}},
      {"10000 bytes make two frames and carry 392 samples", {10000, 3824, 4608}, {2, 3, 4}},
      {"a short buffer is carried whole", {1000, 1000, 2608}, {0, 0, 1}},
      {"an odd length drops its last byte", {4609, 4609, 4608}, {1, 2, 3}},
  };
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  Pcm source = NoisePcm(1152 * 6, 2, 1);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(source.samples.data());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AudioSink sink;
    AencInstance aenc(library, sink);
    ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000)), QVA_SUCCESS);
    std::vector<int16_t> taken;  // the samples the component sees (odd last bytes dropped)
    size_t at = 0;
    for (size_t i = 0; i < c.pushes.size(); ++i) {
      ASSERT_EQ(aenc.Push(bytes + at, c.pushes[i]), QVA_SUCCESS);
      for (size_t b = 0; b + 1 < c.pushes[i]; b += 2) {
        int16_t sample;
        std::memcpy(&sample, bytes + at + b, 2);
        taken.push_back(sample);
      }
      at += c.pushes[i];
      ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, c.framesAfter[i] + 1));  // + the format change
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // in which a frame too many would show
      EXPECT_EQ(sink.FrameCount(), c.framesAfter[i]) << "after buffer " << i;
    }
    std::vector<std::vector<uint8_t>> expected = CoreFrames(taken, 2, 128000);
    std::vector<uint8_t> joined;
    for (const auto& frame : expected) joined.insert(joined.end(), frame.begin(), frame.end());
    EXPECT_EQ(sink.Stream(), joined);
  }
}

TEST(AencComponent, OnlyTheFirstFrameOfABufferCarriesItsTimeStamp) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000)), QVA_SUCCESS);
  Pcm pcm = NoisePcm(1152 * 3, 2, 2);
  ASSERT_EQ(aenc.Push(pcm.samples.data(), 4608 * 3, QVA_BUFFLAG_TIMESTAMP, 1234), QVA_SUCCESS);
  ASSERT_EQ(aenc.PushEnd(QVA_BUFFLAG_EOI | QVA_BUFFLAG_TIMESTAMP, nullptr, 0, 5678), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(kEndMarker));
  std::vector<OutputSink::Delivery> frames, markers;
  for (const auto& b : sink.Deliveries()) {
    if ((b.flags & kEndMarker) == kEndMarker) markers.push_back(b);
    if (!(b.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS))) frames.push_back(b);
  }
  // Three frames, then the delay frame, which the end buffer's time stamp goes with.
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].flags, QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP);
  EXPECT_EQ(frames[0].timestamp, 1234u);
  EXPECT_EQ(frames[1].flags, QVA_BUFFLAG_AUDIO);
  EXPECT_EQ(frames[2].flags, QVA_BUFFLAG_AUDIO);
  EXPECT_EQ(frames[3].flags, QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP);
  EXPECT_EQ(frames[3].timestamp, 5678u);
  // The component's end marker: empty, 0x210000 and the end buffer's time stamp.
  ASSERT_EQ(markers.size(), 1u);
  EXPECT_EQ(markers[0].flags, kEndMarker | QVA_BUFFLAG_TIMESTAMP);
  EXPECT_EQ(markers[0].timestamp, 5678u);
  EXPECT_TRUE(markers[0].data.empty());
}

// A frame's time stamp is the time of its first sample: a frame that begins with samples carried
// from earlier buffers is stamped earlier than the buffer that completes it, by the carried
// samples (it was stamped with that buffer's time, and a program stream's audio ran up to a
// frame late). 48 kHz stereo: 1152 sample frames are 24 ms.
TEST(AencComponent, AFrameIsStampedWithTheTimeOfItsFirstSample) {
  struct Case {
    const char* name;
    std::vector<uint32_t> pushes;  // sample frames per buffer, stamped with the time of their first
    bool endStamped;               // an end buffer stamped with the time after the last sample
    std::vector<uint64_t> stamps;  // of the coded frames that carry one, in order
  } cases[] = {
      {"a frame begun in the buffer before", {1728, 1152}, false, {1000, 1024}},
      {"a buffer too short for a frame", {1000, 1152}, false, {1000}},
      {"the end's frame of carried samples", {1752}, true, {1000, 1024}},
  };
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AudioSink sink;
    AencInstance aenc(library, sink);
    ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000)), QVA_SUCCESS);
    uint64_t position = 0;  // sample frames pushed
    Pcm pcm = NoisePcm(8192, 2, 3);
    for (uint32_t frames : c.pushes) {
      uint64_t time = 1000 + (position * 1000 + 24000) / 48000;
      ASSERT_EQ(aenc.Push(&pcm.samples[position * 2], frames * 4, QVA_BUFFLAG_TIMESTAMP, time), QVA_SUCCESS);
      position += frames;
    }
    uint64_t endTime = 1000 + (position * 1000 + 24000) / 48000;
    ASSERT_EQ(aenc.PushEnd(QVA_BUFFLAG_EOI | (c.endStamped ? QVA_BUFFLAG_TIMESTAMP : 0u), nullptr, 0, endTime),
              QVA_SUCCESS);
    ASSERT_TRUE(sink.WaitFor(kEndMarker));
    std::vector<uint64_t> stamps;
    for (const auto& b : sink.Deliveries()) {
      bool frame = !(b.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS));
      if (frame && (b.flags & QVA_BUFFLAG_TIMESTAMP)) stamps.push_back(b.timestamp);
    }
    EXPECT_EQ(stamps, c.stamps);
  }
}

TEST(AencComponent, CodingsAndRatesOfTheStream) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  struct Case {
    const char* name;
    int rate;
    uint32_t subtype;
    int id;  // header ID bit
  } cases[] = {
      {"0x10 as Layer II", 48000, 0x10, 1},
      {"22050 Hz as MPEG-2 Layer II", 22050, QVA_MSUBTYPE_MPA2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pcm tone;
    ASSERT_TRUE(MakeTone(2.5 * c.rate / 64, c.rate, 2, 0.5, tone));
    StreamRequest request;
    request.rate = c.rate;
    request.subtype = c.subtype;
    request.bitrate = 96000;
    std::vector<uint8_t> stream = EncodeThroughComponent(library, tone, request);
    ASSERT_GT(stream.size(), 4u);
    EXPECT_EQ(stream[1] >> 3 & 1, c.id);
    EXPECT_EQ(stream[1] >> 1 & 3, 2);  // layer bits 10: Layer II
    std::string path = MakeTempDir("aenc") + "/out.mp2";
    ASSERT_TRUE(WriteBytes(path, stream));
    Pcm decoded;
    std::string log;
    ASSERT_TRUE(DecodeAudio(path, decoded, &log)) << log;
    EXPECT_EQ(decoded.rate, c.rate);
    EXPECT_EQ(decoded.Frames(), ExpectedFrames(tone.Frames()) * 1152);
  }
}

// Without a format-change buffer the encoder is opened from the formats set on the pins: the
// input format, not the output one, describes the samples.
TEST(AencComponent, StreamWithoutFormatChangeIsCodedFromTheInputFormat) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  ASSERT_EQ(aenc.SetFormats(PcmType(44100, 1), CodedType(QVA_MSUBTYPE_MPA2, 96000)), QVA_SUCCESS);
  ASSERT_EQ(aenc.Start(), QVA_SUCCESS);
  Pcm tone;
  ASSERT_TRUE(MakeTone(1722.65625, 44100, 1, 0.5, tone));
  ASSERT_EQ(aenc.Push(tone.samples.data(), static_cast<uint32_t>(tone.samples.size() * 2)), QVA_SUCCESS);
  ASSERT_EQ(aenc.PushEnd(), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(kEndMarker));
  std::string path = MakeTempDir("aenc") + "/noformat.mp2";
  ASSERT_TRUE(WriteBytes(path, sink.Stream()));
  Pcm decoded;
  std::string log;
  ASSERT_TRUE(DecodeAudio(path, decoded, &log)) << log;
  EXPECT_EQ(decoded.rate, 44100);
  EXPECT_EQ(decoded.channels, 1);
  EXPECT_GE(SnrDb(tone, decoded, AlignmentLag(tone, decoded, 1500), 2048, tone.Frames() - 2048), 40.0);
}

TEST(AencComponent, UncodableRateStopsTheWorkerAtTheFormatChange) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  AudioMediaType input = PcmType(11025, 2);
  ASSERT_EQ(aenc.SetFormats(input, CodedType(QVA_MSUBTYPE_MPA2, 64000)), QVA_SUCCESS);
  ASSERT_EQ(aenc.Start(), QVA_SUCCESS);
  aenc.PushFormat(input);
  Pcm pcm = NoisePcm(1152 * 2, 2, 3);
  aenc.Push(pcm.samples.data(), 4608);
  EXPECT_TRUE(aenc.WaitForError());
  EXPECT_EQ(aenc.ErrorStatus(), QVA_ERR_FORMAT);
  EXPECT_EQ(sink.FrameCount(), 0u);
}

// Layer III codes 32, 44.1 and 48 kHz only (its frames carry MPEG-1 side information): 22.05 kHz
// is refused with 40 at the output format, and at the open when the input brings the rate; Layer
// II still takes it.
TEST(AencComponent, Layer3RefusesTheLowerRates) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  {
    AudioSink sink;
    AencInstance aenc(library, sink);
    AudioMediaType output = CodedType(QVA_MSUBTYPE_MPA3, 96000);
    output.SamplRate = 22050;
    EXPECT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 1, 0, &output), QVA_ERR_FORMAT);
    output.SamplRate = 44100;
    EXPECT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 1, 0, &output), QVA_SUCCESS);
  }
  {
    AudioSink sink;
    AencInstance aenc(library, sink);
    // The output first (no rate known yet), then the input's rate.
    AudioMediaType output = CodedType(QVA_MSUBTYPE_MPA3, 96000);
    ASSERT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 1, 0, &output), QVA_SUCCESS);
    AudioMediaType input = PcmType(22050, 2);
    ASSERT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 0, 0, &input), QVA_SUCCESS);
    ASSERT_EQ(aenc.Start(), QVA_SUCCESS);
    aenc.PushFormat(input);
    Pcm pcm = NoisePcm(1152 * 2, 2, 3);
    aenc.Push(pcm.samples.data(), 4608);
    EXPECT_TRUE(aenc.WaitForError());
    EXPECT_EQ(aenc.ErrorStatus(), QVA_ERR_FORMAT);
    EXPECT_EQ(sink.FrameCount(), 0u);
  }
  {
    AudioSink sink;
    AencInstance aenc(library, sink);
    ASSERT_EQ(aenc.Open(PcmType(22050, 2), CodedType(QVA_MSUBTYPE_MPA2, 96000)), QVA_SUCCESS);
    Pcm pcm = NoisePcm(1152 * 2, 2, 3);
    ASSERT_EQ(aenc.Push(pcm.samples.data(), 9216), QVA_SUCCESS);
    EXPECT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, 2));
  }
}

TEST(AencComponent, ReportedFormatCarriesTheCodingRate) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  ASSERT_EQ(aenc.Open(PcmType(44100, 2), CodedType(QVA_MSUBTYPE_MPA2, 192000)), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_FORMAT));
  std::vector<OutputSink::Delivery> buffers = sink.Deliveries();
  ASSERT_FALSE(buffers.empty());
  ASSERT_GE(buffers[0].data.size(), sizeof(AudioMediaType));
  AudioMediaType sent;
  std::memcpy(&sent, buffers[0].data.data(), sizeof sent);
  AudioMediaType asked{};
  asked.size = sizeof asked;
  ASSERT_EQ(aenc.Methods().QVAComp_GetFormat(aenc.instance, 1, 0, &asked), QVA_SUCCESS);
  for (const AudioMediaType& t : {sent, asked}) {
    EXPECT_EQ(t.subtype, QVA_MSUBTYPE_MPA2);
    EXPECT_EQ(t.SamplRate, 44100u);
    EXPECT_EQ(t.Channels, 2u);
    EXPECT_EQ(t.Bitrate, 192000u);
    EXPECT_EQ(t.secondBitrate, 192000u);  // what the multiplexer reads for some codecs
    EXPECT_EQ(t.codecPrivateLength, 0u);  // no WMA-style record for MPEG audio
  }
}

// End of input: every sample reaches the decoder, a 10 ms click at the very end included, the
// component pauses, and the same instance then codes the next streams from a clean start. For
// each codec: its frame, and the delay of its decoded output (which is also the silence the
// flush must code after the last samples): Layer II's filter banks, Layer III's filter banks and
// granule of transform overlap, AAC's frame of transform overlap, named kCodecDelaySamples,
// kLayer3CodecDelaySamples and kAacCodecDelaySamples in the component. Layer III streams are
// decoded by mpg123 as well, whose output must hold the click at the same place.
TEST(AencComponent, EndOfStreamCodesTheLastSamples) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  struct Codec {
    const char* name;
    uint32_t subtype;
    size_t frame;
    int delay;
    uint32_t adts;
  };
  const Codec layer2{"Layer II", QVA_MSUBTYPE_MPA2, 1152, 481, 0};
  const Codec aac{"AAC", QVA_MSUBTYPE_AAC, 1024, 1024, 1};
  const Codec layer3{"Layer III", QVA_MSUBTYPE_MPA3, 1152, 1057, 0};
  struct Case {
    const char* name;
    const Codec& codec;
    size_t frames;  // samples per channel
    bool endCarriesPcm;
    uint32_t endFlags;
  } cases[] = {
      {"a tail that is not a multiple of 1152", layer2, 1152 * 12 + 500, false, QVA_BUFFLAG_EOI},
      {"a tail whose padding is shorter than the delay", layer2, 1152 * 12 + 1000, false, QVA_BUFFLAG_EOI},
      {"an end buffer that carries PCM", layer2, 1152 * 12 + 700, true, QVA_BUFFLAG_EOI},
      {"an end of stream without end of input", layer2, 1152 * 12 + 300, false, QVA_BUFFLAG_EOS},
      {"a tail that is not a multiple of 1024", aac, 1024 * 12 + 500, false, QVA_BUFFLAG_EOI},
      {"an end on a frame boundary", aac, 1024 * 12, false, QVA_BUFFLAG_EOI},
      {"an end buffer that carries PCM", aac, 1024 * 12 + 700, true, QVA_BUFFLAG_EOI},
      {"an end of stream without end of input", aac, 1024 * 12 + 300, false, QVA_BUFFLAG_EOS},
      {"a tail that is not a multiple of 1152", layer3, 1152 * 12 + 500, false, QVA_BUFFLAG_EOI},
      {"an end buffer that carries PCM", layer3, 1152 * 12 + 700, true, QVA_BUFFLAG_EOI},
      {"an end of stream without end of input", layer3, 1152 * 12 + 300, false, QVA_BUFFLAG_EOS},
      {"every frame still queued at the end", layer3, 1152 * 2 + 100, false, QVA_BUFFLAG_EOI},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codec.name << ": " << c.name);
    Pcm pcm = NoisePcm(c.frames, 2, 4, 300);
    // The click: 10 ms of a loud 3 kHz burst ending on the last sample.
    for (size_t i = c.frames - 480; i < c.frames; ++i) {
      for (int ch = 0; ch < 2; ++ch)
        pcm.samples[i * 2 + ch] = static_cast<int16_t>(20000 * std::sin(2 * M_PI * 3000 * i / 48000.0));
    }
    AudioSink sink;
    AencInstance aenc(library, sink);
    uint32_t adts = c.codec.adts;  // an elementary file the decoders can open
    ASSERT_EQ(aenc.Methods().QVAComp_SetParam(aenc.instance, QVA_PARAM_AUDIOENCODER_ADTS, &adts, 4), QVA_SUCCESS);
    ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(c.codec.subtype, 192000)), QVA_SUCCESS);
    // The streams after the first start as a caller starts them after an end: with CMD_PLAY,
    // and with a format change (of the same coding).
    std::vector<std::vector<uint8_t>> streams;
    for (int stream = 0; stream < 3; ++stream) {
      sink.Clear();
      if (stream == 1) {
        ASSERT_EQ(aenc.Play(), QVA_SUCCESS);
      } else if (stream == 2) {
        ASSERT_EQ(aenc.PushFormat(PcmType(48000, 2)), QVA_SUCCESS);
      }
      uint32_t total = static_cast<uint32_t>(pcm.samples.size() * 2);
      uint32_t head = c.endCarriesPcm ? total - 3000 : total;
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
      for (uint32_t at = 0; at < head; at += 20000) ASSERT_EQ(aenc.Push(bytes + at, std::min(20000u, head - at)), QVA_SUCCESS);
      ASSERT_EQ(aenc.PushEnd(c.endFlags, bytes + head, total - head), QVA_SUCCESS);
      size_t expected = ExpectedFrames(c.frames, c.codec.frame, static_cast<size_t>(c.codec.delay));
      if (c.endFlags & QVA_BUFFLAG_EOI) {
        ASSERT_TRUE(sink.WaitFor(kEndMarker));
      } else {
        ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, expected));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // in which an end marker would show
        for (const auto& b : sink.Deliveries())
          EXPECT_NE(b.flags & kEndMarker, kEndMarker) << "the component's end marker without 0x4000";
      }
      // The ended stream leaves the component paused (after its last frame): the engine's wait
      // for the end of a graph whose leaf it is (the audio side file's pass) returns at once
      // instead of timing out.
      uint32_t state = aenc.WaitForState(QVA_STATE_PAUSED);
      EXPECT_EQ(state, QVA_STATE_PAUSED);
      EXPECT_NE(state & kTengineWaitMask, 0u);
      EXPECT_EQ(sink.FrameCount(), expected) << "stream " << stream;
      streams.push_back(sink.Stream());
    }
    EXPECT_EQ(streams[0], streams[1]) << "the stream after CMD_PLAY does not start clean";
    EXPECT_EQ(streams[0], streams[2]) << "the stream after a format change does not start clean";

    const bool layer3Stream = c.codec.subtype == QVA_MSUBTYPE_MPA3;
    std::string path = MakeTempDir("aenc") + (c.codec.adts ? "/end.aac" : layer3Stream ? "/end.mp3" : "/end.mp2");
    ASSERT_TRUE(WriteBytes(path, streams[0]));
    std::vector<std::pair<const char*, Pcm>> decodings(1, {"ffmpeg", Pcm{}});
    std::string log;
    ASSERT_TRUE(DecodeAudio(path, decodings[0].second, &log)) << log;
    if (layer3Stream) {
      decodings.push_back({"mpg123", Pcm{}});
      ASSERT_TRUE(DecodeWithMpg123(path, decodings[1].second, &log)) << log;
      EXPECT_EQ(log, "");
    }
    for (const auto& [decoder, decoded] : decodings) {
      SCOPED_TRACE(decoder);
      int lag = AlignmentLag(pcm, decoded, 2000);
      EXPECT_EQ(lag, c.codec.delay);
      double clickSnr = SnrDb(pcm, decoded, lag, c.frames - 480, c.frames);
      EXPECT_GE(clickSnr, 15.0) << "the click at the end is missing from the decoded output";
    }
  }
}

TEST(AencComponent, EncoderParameterIsKeptWithoutChangingTheFrames) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  uint32_t params[9] = {36, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(aenc.Methods().QVAComp_SetParam(aenc.instance, 0x40005, params, 35), QVA_ERR_TOOSMALL);
  uint32_t read[9] = {};
  EXPECT_EQ(aenc.Methods().QVAComp_GetParam(aenc.instance, 0x40005, read, 35), QVA_ERR_TOOSMALL);
  EXPECT_EQ(aenc.Methods().QVAComp_GetParam(aenc.instance, 0x40005, read, 36), QVA_SUCCESS);
  EXPECT_EQ(read[0], 36u);
  EXPECT_EQ(read[1], 0u);
  ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(QVA_MSUBTYPE_MPA2, 128000)), QVA_SUCCESS);
  Pcm pcm = NoisePcm(1152 * 2, 2, 5);
  ASSERT_EQ(aenc.Push(pcm.samples.data(), 4608), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, 2));
  EXPECT_EQ(aenc.Methods().QVAComp_SetParam(aenc.instance, 0x40005, params, 36), QVA_SUCCESS);
  ASSERT_EQ(aenc.Push(pcm.samples.data() + 2304, 4608), QVA_SUCCESS);
  ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_AUDIO, 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // in which a frame too many would show
  EXPECT_EQ(sink.FrameCount(), 2u);  // still one frame per 2304 samples
  EXPECT_EQ(aenc.Methods().QVAComp_GetParam(aenc.instance, 0x40005, read, 36), QVA_SUCCESS);
  EXPECT_EQ(0, std::memcmp(read, params, 36));
}

// A coded frame with no output buffer to take it is reported lost and fails the component with
// the sink's answer; nothing reaches the sink.
TEST(AencComponent, FrameWithoutAnOutputBufferIsReportedLost) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  struct Case {
    const char* name;
    uint32_t subtype;
    size_t frames;        // samples per channel of noise made
    uint32_t pushBytes;   // of them pushed: at least one whole frame
  } cases[] = {
      {.name = "Layer II", .subtype = QVA_MSUBTYPE_MPA2, .frames = 1152 * 2, .pushBytes = 4608},
      {.name = "AAC", .subtype = QVA_MSUBTYPE_AAC, .frames = 2048, .pushBytes = 8192},
      // Layer III outputs a frame once its main data is complete: three frames bring one out.
      {.name = "Layer III", .subtype = QVA_MSUBTYPE_MPA3, .frames = 1152 * 3, .pushBytes = 13824},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostLogCapture log;
    AudioSink sink;
    AencInstance aenc(library, sink);
    ASSERT_EQ(aenc.Open(PcmType(48000, 2), CodedType(c.subtype, 128000)), QVA_SUCCESS);
    ASSERT_TRUE(sink.WaitFor(QVA_BUFFLAG_FORMAT));
    sink.RefuseGets(QVA_ERR_NOBUFFERS);
    Pcm pcm = NoisePcm(c.frames, 2, 6);
    ASSERT_EQ(aenc.Push(pcm.samples.data(), c.pushBytes), QVA_SUCCESS);
    EXPECT_TRUE(aenc.WaitForError());
    EXPECT_EQ(aenc.ErrorStatus(), QVA_ERR_NOBUFFERS);
    EXPECT_NE(log.Text().find("coded frame lost"), std::string::npos) << log.Text();
    EXPECT_EQ(sink.FrameCount(), 0u);
  }
}

// Two components on two worker threads code the same samples into the same bytes as one.
TEST(AencThreads, TwoComponentsMatchOneAtATime) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  Pcm pcm = NoisePcm(1152 * 10, 2, 7);
  ExpectSameBytesOnTwoThreads([&] { return EncodeThroughComponent(library, pcm, StreamRequest{}); });
}

}  // namespace
}  // namespace orx::test
