// DVD program streams, written by the multiplexer core and through qvacmux.so (to a sink on
// output pin 0 or to a file), read back by ffprobe, ffmpeg and dvdauthor. The elementary streams
// are made by ffmpeg, or by our own video and audio encoders as an export runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "media/media_codes.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/mux/own_encoder_fixtures.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

const std::vector<uint8_t> kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

enum class AudioKind { kNone, kMp2, kAc3, kLpcm };
enum class Driver { kCore, kComponentSink, kComponentFile };
enum class Source { kFfmpeg, kOurEncoders };

struct DvdCase {
  const char* name;
  Driver driver;
  int width;
  int height;
  const char* rate;
  bool video;
  AudioKind audio;
  const char* dvdFormat;  // VIDEO_FORMAT for dvdauthor, or null to skip it
  Source source = Source::kFfmpeg;
};

void PrintTo(const DvdCase& c, std::ostream* os) { *os << c.name; }

// The fixtures of one row and the core run that multiplexes them.
struct DvdInputs {
  EsFixture video;
  EsFixture audio;
  CoreRun run;
  double frameRate = 0;
};

// Our encoders' rows: four groups of pictures, two under the sanitizers.
int OurEncodersFrames() { return kOrxSanitizedBuild ? 30 : 60; }

DvdInputs MakeDvdInputs(const DvdCase& c) {
  DvdInputs in;
  const bool ours = c.source == Source::kOurEncoders;
  in.frameRate = c.height == 576 ? 25.0 : 30000.0 / 1001;
  const int frames = ours ? OurEncodersFrames() : c.height == 576 ? 25 : 30;
  const double seconds = ours ? frames / in.frameRate : 1.0;
  if (c.video && ours) {
    in.video = OurMpeg2Video(c.width, c.height, c.height == 576 ? 25000 : 29970, frames, 6000000);
  } else if (c.video) {
    in.video = Mpeg2Video(c.width, c.height, c.rate, frames);
  }
  in.run.muxType = kMuxDvd;
  switch (c.audio) {
    case AudioKind::kMp2: in.audio = ours ? OurMp2Audio(seconds) : Mp2Audio(48000, 192, seconds); break;
    case AudioKind::kAc3:
      in.audio = Ac3Audio(seconds);
      in.run.audioClass = kAudioClassAc3;
      break;
    case AudioKind::kLpcm:
      in.audio = PcmAudioBigEndian(seconds);
      in.run.audioClass = kAudioClassLpcm;
      break;
    case AudioKind::kNone: break;
  }
  if (c.video) in.run.video = &in.video.samples;
  if (c.audio != AudioKind::kNone) in.run.audio = &in.audio.samples;
  return in;
}

// The same streams as an export gives them to qvacmux.so: MPEG-2 video on pin 0, the audio on
// pin 1 (PCM little-endian, as audio sources deliver it). Our encoders' streams come with the
// format records those encoders sent.
ComponentRun MakeDvdComponentRun(const DvdCase& c, const DvdInputs& in) {
  ComponentRun run;
  run.outputType = QVA_MTYPE_MPEG2_PS;
  if (c.source == Source::kOurEncoders) {
    run.video.format = in.video.format;
    run.video.samples = &in.video.samples;
    run.audio.format = in.audio.format;
    run.audio.samples = &in.audio.samples;
    return run;
  }
  if (c.video) {
    run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV2, static_cast<uint32_t>(c.width),
                                                 static_cast<uint32_t>(c.height), c.height == 576 ? 25000 : 29970,
                                                 8000000));
    run.video.samples = &in.video.samples;
  }
  switch (c.audio) {
    case AudioKind::kMp2: run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000)); break;
    case AudioKind::kAc3: run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_AC3, 48000, 2, 192000)); break;
    case AudioKind::kLpcm:
      run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_PCM, 48000, 2, 1536000));
      run.audio.littleEndian16 = true;
      break;
    case AudioKind::kNone: break;
  }
  if (c.audio != AudioKind::kNone) run.audio.samples = &in.audio.samples;
  return run;
}

std::vector<uint8_t> CoreBytes(const DvdInputs& in) {
  MemoryBitStream out;
  EXPECT_TRUE(RunCore(in.run, out));
  EXPECT_EQ(out.segments.size(), 1u);
  return out.segments[0];
}

class DvdProgramStream : public ::testing::TestWithParam<DvdCase> {};

TEST_P(DvdProgramStream, ReadsBackExactly) {
  const DvdCase& c = GetParam();
  const DvdInputs in = MakeDvdInputs(c);
  // The pictures are the timed video samples (an encoder's further pieces carry no time).
  std::vector<const EsSample*> pictures;
  for (const EsSample& sample : in.video.samples)
    if (sample.timed) pictures.push_back(&sample);
  if (c.video) {
    // The harness's own split (or the encoder's) agrees with ffprobe's picture count.
    auto probe = orx::test::ProbeStream(in.video.path, "v:0", true);
    ASSERT_EQ(std::to_string(pictures.size()), probe["nb_read_frames"]);
  }
  const std::vector<uint8_t> core = CoreBytes(in);
  const std::string path = orx::test::MakeTempDir("dvd") + "/out.mpg";
  std::vector<uint8_t> bytes = core;
  if (c.driver == Driver::kCore) {
    ASSERT_TRUE(WriteBytes(path, bytes));
  } else {
    MuxLibrary library;
    ComponentRun run = MakeDvdComponentRun(c, in);
    if (c.driver == Driver::kComponentFile) run.url = "file:/" + path;  // the prefix is cut
    MuxSink sink;
    ComponentResult result;
    RunComponent(library, run, sink, result);
    ASSERT_EQ(result.setupStatus, 0);
    EXPECT_EQ(result.errorStatus, 0);
    EXPECT_TRUE(result.ended) << "no end of stream reached the sink";
    if (c.driver == Driver::kComponentFile) {
      EXPECT_EQ(sink.DataBuffers(), 0u) << "with a file open nothing goes to output pin 0";
      bytes = ReadBytes(path);
      EXPECT_EQ(result.lengthInBytes, bytes.size());
    } else {
      bytes = sink.Bytes();
      ASSERT_TRUE(WriteBytes(path, bytes));
      EXPECT_EQ(sink.Seeks(), 0u);
      // Each buffer carries its pack's SCR in milliseconds.
      const std::vector<uint64_t> times = sink.Times();
      EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "buffer times go back";
    }
    // The component adds nothing to what the core writes and loses nothing of it.
    if (bytes != core) {
      WriteBytes(path + ".core", core);
      ADD_FAILURE() << "the component wrote " << bytes.size() << " bytes, the core " << core.size() << " (in "
                    << path << ".core)";
    }
  }

  // Pack structure: 2048-byte packs, SCR never decreasing, the DVD system header first.
  ASSERT_EQ(bytes.size() % 2048, 0u);
  const ProgramStreamWalk walk = WalkProgramStream(bytes, 2048);
  EXPECT_TRUE(walk.everyPackStartsWithBa);
  EXPECT_TRUE(walk.scrNeverDecreases);
  ASSERT_TRUE(walk.firstPackHasSystemHeader);
  EXPECT_GE(walk.muxRate, 1260000u);
  EXPECT_GE(walk.systemRateBound, 1260000u);
  const std::vector<uint8_t>& entries = walk.firstSystemHeaderEntries;
  ASSERT_GE(entries.size(), 3u);
  if (c.video) {
    EXPECT_EQ(entries[0], 0xB9);
    EXPECT_GE((entries[1] & 0x1F) << 8 | entries[2], 232);
    EXPECT_EQ(entries[1] & 0x20, 0x20);  // 1024-byte units
  }
  bool audioEntry = false;
  for (size_t i = 0; i + 3 <= entries.size(); i += 3) audioEntry = audioEntry || entries[i] == 0xB8;
  if (c.audio != AudioKind::kNone) {
    EXPECT_TRUE(audioEntry);
  }
  EXPECT_EQ(walk.endCodes, 1u);

  EXPECT_EQ(DecodeErrors(path), "");
  if (c.video) {
    auto probe = orx::test::ProbeStream(path, "v:0");
    EXPECT_EQ(probe["codec_name"], "mpeg2video");
    if (c.source == Source::kOurEncoders) {
      EXPECT_EQ(probe["field_order"], "tt");
    }
    const double inputSeconds = static_cast<double>(pictures.size()) / in.frameRate;
    EXPECT_NEAR(ProbeStreamSeconds(path, "v:0"), inputSeconds, 1.0 / in.frameRate) << "video duration";
    // ffmpeg's streams lack the sequence end code, which the multiplexer then appends; our
    // encoder ends its stream with one, which must not be doubled.
    std::vector<uint8_t> expected = in.video.bytes;
    const bool ended = expected.size() >= 4 && std::equal(kSequenceEnd.begin(), kSequenceEnd.end(), expected.end() - 4);
    EXPECT_EQ(ended, c.source == Source::kOurEncoders);
    if (!ended) expected.insert(expected.end(), kSequenceEnd.begin(), kSequenceEnd.end());
    const std::vector<uint8_t> copied = CopyStream(path, "0:v", "mpeg2video");
    if (copied != expected) {
      WriteBytes(path + ".m2v", copied);
      ADD_FAILURE() << "video does not round-trip: " << copied.size() << " bytes out, " << expected.size()
                    << " expected (in " << path << ".m2v)";
    }
    // Packet PTS equal the harness's stamps (in decode order) to within 1 ms.
    const std::vector<double> pts = ProbePacketPts(path, "v:0");
    ASSERT_EQ(pts.size(), pictures.size());
    const double first = static_cast<double>(pictures[0]->timeMs);
    for (size_t i = 0; i < pts.size(); ++i)
      EXPECT_NEAR(pts[i] - pts[0], static_cast<double>(pictures[i]->timeMs) - first, 1.0) << i;
  }
  switch (c.audio) {
    case AudioKind::kMp2: {
      auto probe = orx::test::ProbeStream(path, "a:0");
      EXPECT_EQ(probe["codec_name"], "mp2");
      EXPECT_NEAR(ProbeStreamSeconds(path, "a:0"), in.audio.samples.size() * 1152.0 / 48000, 1152.0 / 48000)
          << "audio duration";
      EXPECT_TRUE(CopyStream(path, "0:a", "mp2") == in.audio.bytes) << "MP2 does not round-trip";
      break;
    }
    case AudioKind::kAc3:
      EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "ac3");
      EXPECT_TRUE(CopyStream(path, "0:a", "ac3") == in.audio.bytes) << "AC-3 does not round-trip";
      break;
    case AudioKind::kLpcm: {
      EXPECT_EQ(orx::test::ProbeStream(path, "a:0")["codec_name"], "pcm_dvd");
      auto decoded = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a",
                                            "-f", "s16be", "-"});
      ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
      EXPECT_TRUE(std::vector<uint8_t>(decoded.out.begin(), decoded.out.end()) == in.audio.bytes)
          << "LPCM decodes to " << decoded.out.size() << " bytes, not the " << in.audio.bytes.size() << " put in";
      break;
    }
    case AudioKind::kNone: break;
  }
  if (c.dvdFormat) {
    EXPECT_EQ(DvdauthorErrors(path, c.dvdFormat), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Core, DvdProgramStream,
    ::testing::Values(DvdCase{"Ntsc_Mp2", Driver::kCore, 720, 480, "30000/1001", true, AudioKind::kMp2, "NTSC"},
                      DvdCase{"Pal_Mp2", Driver::kCore, 720, 576, "25", true, AudioKind::kMp2, "PAL"},
                      DvdCase{"VideoOnly", Driver::kCore, 720, 480, "30000/1001", true, AudioKind::kNone, nullptr},
                      DvdCase{"AudioOnly", Driver::kCore, 0, 0, "", false, AudioKind::kMp2, nullptr},
                      DvdCase{"Ntsc_Ac3", Driver::kCore, 720, 480, "30000/1001", true, AudioKind::kAc3, "NTSC"},
                      DvdCase{"Ntsc_Lpcm", Driver::kCore, 720, 480, "30000/1001", true, AudioKind::kLpcm, "NTSC"}),
    [](const ::testing::TestParamInfo<DvdCase>& info) { return std::string(info.param.name); });

// Through qvacmux.so: the same rows, the PAL one written to a file named by QVAComp_OpenURL, and
// the streams of our own video and audio encoders, pushed as those encoders delivered them.
INSTANTIATE_TEST_SUITE_P(
    Component, DvdProgramStream,
    ::testing::Values(
        DvdCase{"Ntsc_Mp2", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kMp2, "NTSC"},
        DvdCase{"Pal_Mp2_File", Driver::kComponentFile, 720, 576, "25", true, AudioKind::kMp2, "PAL"},
        DvdCase{"OurEncoders_Ntsc_Mp2", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kMp2,
                "NTSC", Source::kOurEncoders},
        DvdCase{"OurEncoders_Pal_Mp2_File", Driver::kComponentFile, 720, 576, "25", true, AudioKind::kMp2, "PAL",
                Source::kOurEncoders},
        DvdCase{"VideoOnly", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kNone, nullptr},
        DvdCase{"AudioOnly", Driver::kComponentSink, 0, 0, "", false, AudioKind::kMp2, nullptr},
        DvdCase{"Ntsc_Ac3", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kAc3, "NTSC"},
        DvdCase{"Ntsc_Lpcm", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kLpcm, "NTSC"}),
    [](const ::testing::TestParamInfo<DvdCase>& info) { return std::string(info.param.name); });

// Samples that reach the component split over several buffers (only the first piece timed, as
// when a queue splits a buffer), each taken in part by the multiplexer and offered again, give
// the same file as whole samples.
TEST(DvdProgramStreamPieces, SplitSamplesGiveTheSameFile) {
  const DvdCase c{"Ntsc_Mp2", Driver::kComponentSink, 720, 480, "30000/1001", true, AudioKind::kMp2, "NTSC"};
  const DvdInputs in = MakeDvdInputs(c);
  const std::vector<uint8_t> core = CoreBytes(in);
  MuxLibrary library;
  for (uint32_t piece : {1000u, 5000u}) {
    ComponentRun run = MakeDvdComponentRun(c, in);
    run.video.pieceBytes = piece;
    MuxSink sink;
    ComponentResult result;
    RunComponent(library, run, sink, result);
    EXPECT_EQ(result.errorStatus, 0);
    EXPECT_TRUE(result.ended);
    EXPECT_TRUE(sink.Bytes() == core) << "video in pieces of " << piece << " bytes";
  }
}

// A stream's own sequence end code, in the last picture's sample or in untimed pieces after it
// (split anywhere, as an encoder delivering a picture over several buffers may send it), is
// kept once: the multiplexer appends none of its own.
TEST(DvdProgramStreamPieces, OwnSequenceEndIsKeptOnce) {
  const DvdCase c{"VideoOnly", Driver::kCore, 720, 480, "30000/1001", true, AudioKind::kNone, nullptr};
  DvdInputs in = MakeDvdInputs(c);
  std::vector<uint8_t> expected = in.video.bytes;
  expected.insert(expected.end(), kSequenceEnd.begin(), kSequenceEnd.end());
  const std::vector<EsSample> pictures = in.video.samples;
  struct Split {
    const char* name;
    std::vector<size_t> pieces;  // sizes of the untimed pieces carrying the end code; none: in the last sample
  };
  for (const Split& split : {Split{"in the last sample", {}}, Split{"own piece", {4}}, Split{"two pieces", {2, 2}},
                             Split{"three pieces", {1, 2, 1}}}) {
    SCOPED_TRACE(split.name);
    std::vector<EsSample> samples = pictures;
    if (split.pieces.empty()) samples.back().bytes.insert(samples.back().bytes.end(), kSequenceEnd.begin(), kSequenceEnd.end());
    size_t at = 0;
    for (size_t size : split.pieces) {
      EsSample piece;
      piece.timed = false;
      piece.bytes.assign(kSequenceEnd.begin() + static_cast<long>(at), kSequenceEnd.begin() + static_cast<long>(at + size));
      samples.push_back(piece);
      at += size;
    }
    in.run.video = &samples;
    const std::string path = orx::test::MakeTempDir("dvd-end") + "/out.mpg";
    ASSERT_TRUE(WriteBytes(path, CoreBytes(in)));
    EXPECT_TRUE(CopyStream(path, "0:v", "mpeg2video") == expected);
  }
}

}  // namespace
}  // namespace orx::mux::test
