// MPEG-2 streams written by libqvavenc.so through the test host, as an export writes them, and
// read back by ffmpeg and ffprobe: codec, profile and level, size and field order; a decode with
// -xerror of every picture pushed (the trailing B pictures included); the sequence end code; the
// header fields (progressive_sequence, top_field_first, closed_gop, the picture types of the
// planner, drop-frame time codes); the coded height; the quality against ffmpeg's own mpeg2video
// at the same rate and GOP; the bit rate and the VBV of Annex C; and the output time stamps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/core/gop_plan.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/core/vbv_checker.h"
#include "tests/venc/component/venc_host.h"

namespace orx::venc::test {
namespace {

// profile_and_level_indication of the streams written here.
constexpr int kMainAtMain = 0x48;
constexpr int kMainAtHigh = 0x44;

struct StreamRow {
  const char* name;
  int width, height;
  uint32_t rateX1000;  // 25000, 29970
  uint32_t bitRate;
  uint32_t gopLength = 15;
  uint32_t anchorDistance = 3;
  uint32_t progressive = 0;  // the export parameters' progressive flag
  int frames;
  const char* lavfi = nullptr;  // null: tree.avi
  int level = kMainAtMain;
  const char* fieldOrder = nullptr;  // ffprobe's field_order, or null to leave it unchecked
  bool quality = true;  // rate, VBV and quality against ffmpeg (release runs)
};

double FrameMs(uint32_t rateX1000) { return 1000000.0 / rateX1000; }

HostEncode SetupFor(const StreamRow& row) {
  HostEncode setup;
  setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, row.width, row.height, row.rateX1000);
  setup.output = Mpeg2Format(row.width, row.height, row.rateX1000, row.bitRate);
  setup.params = ExportParams(row.gopLength, row.anchorDistance, row.bitRate, row.progressive);
  setup.frameMs = FrameMs(row.rateX1000);
  return setup;
}

SourceVideo SourceFor(const StreamRow& row) {
  return row.lavfi != nullptr ? LavfiSource(row.lavfi, row.width, row.height, row.frames)
                              : TreeSource(row.width, row.height, row.frames);
}

// ffmpeg's mpeg2video at the same rate, N, M and VBV: the quality reference.
double FfmpegReferencePsnr(const StreamRow& row, const SourceVideo& source, bool interlaced) {
  const std::string out = orx::test::MakeTempDir("venc_reference") + "/reference.m2v";
  const std::string size = std::to_string(row.width) + "x" + std::to_string(row.height);
  const std::string rate = std::to_string(row.bitRate);
  const std::string fps = row.rateX1000 == 29970 ? "30000/1001" : std::to_string(row.rateX1000 / 1000);
  std::vector<std::string> args = {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-f", "rawvideo",
                                   "-pix_fmt", "yuv420p", "-s", size, "-r", fps, "-i", source.path, "-frames:v",
                                   std::to_string(row.frames), "-threads", "1", "-c:v", "mpeg2video", "-b:v", rate,
                                   "-minrate", rate, "-maxrate", rate, "-bufsize", std::to_string(112 * 16384),
                                   "-g", std::to_string(row.gopLength), "-bf", std::to_string(row.anchorDistance - 1)};
  if (interlaced) args.insert(args.end(), {"-flags", "+ildct+ilme", "-top", "1"});
  args.insert(args.end(), {"-y", out});
  const orx::test::ProcessResult run = orx::test::RunProcess(args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return StreamLumaPsnr(out, source, row.frames);
}

void CheckStream(const StreamRow& row, const HostResult& result, const SourceVideo& source) {
  ASSERT_TRUE(result.ended) << "no end marker came out";
  EXPECT_TRUE(result.errors.empty());
  ASSERT_FALSE(result.stream.empty());
  const std::string path = WriteStreamFile(result.stream, "venc_stream", std::string(row.name) + ".m2v");
  const bool interlaced = row.progressive == 0;

  // ffprobe: codec, profile, level, size; every picture decodes with -xerror.
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("codec_name") ? probe.at("codec_name") : "", "mpeg2video");
  EXPECT_EQ(probe.count("profile") ? probe.at("profile") : "", "Main");
  EXPECT_EQ(probe.count("level") ? probe.at("level") : "", row.level == kMainAtHigh ? "4" : "8");
  EXPECT_EQ(probe.count("width") ? probe.at("width") : "", std::to_string(row.width));
  EXPECT_EQ(probe.count("height") ? probe.at("height") : "", std::to_string(row.height));
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", std::to_string(row.frames));
  if (row.fieldOrder != nullptr) {
    EXPECT_EQ(probe.count("field_order") ? probe.at("field_order") : "", row.fieldOrder);
  }
  const orx::test::ProcessResult decode = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
  EXPECT_EQ(decode.exitCode, 0) << decode.err;
  EXPECT_TRUE(EndsWithSequenceEnd(result.stream));
  // The coded height: whole macroblock rows, an even count of them when interlaced (1088 for
  // 1080); the last slice start code names the last row.
  const int rowHeight = interlaced ? 32 : 16;
  const int codedHeight = (row.height + rowHeight - 1) / rowHeight * rowHeight;
  int lastSliceRow = 0;
  for (const StartCode& c : StartCodesOf(result.stream)) {
    if (c.code >= 1 && c.code <= 0xAF) lastSliceRow = std::max(lastSliceRow, static_cast<int>(c.code));
  }
  EXPECT_EQ(lastSliceRow * 16, codedHeight);

  // Header fields against the planner.
  const HeaderTrace trace = TraceHeaders(path);
  ASSERT_TRUE(trace.ok) << trace.log;
  for (int p : trace.progressiveSequence) EXPECT_EQ(p, interlaced ? 0 : 1);
  for (int level : trace.profileAndLevel) EXPECT_EQ(level, row.level);
  if (interlaced) {
    for (int t : trace.topFieldFirst) EXPECT_EQ(t, 1);
  }
  for (int c : trace.closedGop) EXPECT_EQ(c, 1);
  const HostEncode setup = SetupFor(row);
  const EncoderSettings settings = ComponentSettings(setup.params, setup.input, setup.output);
  const std::vector<PlannedPicture> plan = PlanCodingOrder(settings, row.frames);
  EXPECT_EQ(trace.pictureTypes, TypesOf(plan));
  if (row.rateX1000 == 29970) {
    for (int drop : trace.dropFrame) EXPECT_EQ(drop, 1);
    for (const std::string& code : GopTimeCodes(path)) EXPECT_NE(code.find(';'), std::string::npos) << code;
  }

  // Output time stamps: each picture's own presentation time, in coding order.
  std::vector<uint64_t> stamps;
  for (const VencSink::Output& o : result.outputs) {
    if ((o.flags & QVA_BUFFLAG_SYNCPOINT) != 0 && (o.flags & QVA_BUFFLAG_TIMESTAMP) != 0) stamps.push_back(o.timestamp);
  }
  ASSERT_EQ(stamps.size(), plan.size());
  for (size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(stamps[i], static_cast<uint64_t>(std::llround(plan[i].display * setup.frameMs))) << i;
  }

  if (kOrxSanitizedBuild || !row.quality) return;  // rate, buffer and quality need the long runs
  // Bit rate within 5 %, no VBV underflow.
  const double seconds = row.frames * FrameMs(row.rateX1000) / 1000.0;
  const double achieved = static_cast<double>(result.stream.size()) * 8.0 / seconds;
  EXPECT_NEAR(achieved / row.bitRate, 1.0, 0.05) << achieved;
  const VbvReport vbv = CheckVbvAnnexC(VbvPictures(ReadPictureHeaders(result.stream)), row.bitRate,
                                       int64_t{112} << 14, 2.0 * row.bitRate / 90000);
  EXPECT_EQ(vbv.underflows, 0) << vbv.firstProblem;
  // Quality: no more than 1 dB below ffmpeg's mpeg2video at the same settings.
  const double ours = StreamLumaPsnr(path, source, row.frames);
  const double reference = FfmpegReferencePsnr(row, source, interlaced);
  std::printf("%s: %.0f bit/s, Y-PSNR %.2f dB (ffmpeg %.2f dB)\n", row.name, achieved, ours, reference);
  EXPECT_GT(ours, 0.0);
  EXPECT_GE(ours, reference - 1.0);
}

void RunRow(const StreamRow& row) {
  SCOPED_TRACE(row.name);
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const SourceVideo source = SourceFor(row);
  ASSERT_GE(source.frames, row.frames);
  const HostResult result = EncodeThroughHost(library, SetupFor(row), row.frames, source.FrameBytes(),
                                              [&](int i, uint8_t* out) { source.Read(i, out); });
  CheckStream(row, result, source);
}

constexpr int kLongFrames = 200;
constexpr const char* kFieldMotion = "testsrc2=size=720x576:rate=50,tinterlace=mode=interleave_top";

TEST(VencStream, Pal576InterlacedShortRun) {
  // The short clip that also runs under the sanitizers.
  RunRow({.name = "pal576i_short", .width = 720, .height = 576, .rateX1000 = 25000, .bitRate = 6000000,
          .frames = 30, .quality = false});
}

TEST(VencStream, TreeRows) {
  ORX_RELEASE_ONLY();
  const StreamRow rows[] = {
      {.name = "pal576i", .width = 720, .height = 576, .rateX1000 = 25000, .bitRate = 6000000, .frames = kLongFrames},
      {.name = "ntsc480i", .width = 720, .height = 480, .rateX1000 = 29970, .bitRate = 8000000, .frames = kLongFrames},
      {.name = "pal576p", .width = 720, .height = 576, .rateX1000 = 25000, .bitRate = 6000000, .progressive = 1,
       .frames = kLongFrames},
  };
  for (const StreamRow& row : rows) RunRow(row);
}

TEST(VencStream, Hd1080Interlaced) {
  ORX_RELEASE_ONLY();
  RunRow({.name = "hd1080i", .width = 1920, .height = 1080, .rateX1000 = 25000, .bitRate = 15000000,
          .frames = kLongFrames, .level = kMainAtHigh});
}

// testsrc2 at 50 fields a second woven into frames: real field motion, coded top field first.
TEST(VencStream, SyntheticFieldMotion) {
  const int frames = kOrxSanitizedBuild ? 30 : kLongFrames;
  RunRow({.name = "fields576i", .width = 720, .height = 576, .rateX1000 = 25000, .bitRate = 6000000,
          .frames = frames, .lavfi = kFieldMotion, .fieldOrder = "tt"});
}

// Every length from 97 to 101 with M 1, 2 and 3: each picture pushed comes out, the trailing B
// pictures included, in the planner's order. The 101-picture run of each M also meets the rate,
// the VBV and ffmpeg's quality at the same M.
TEST(VencStream, TrailingPicturesOfEveryLength) {
  ORX_RELEASE_ONLY();
  TreeSource(720, 576, 101);  // one source serves every length
  for (uint32_t m : {1u, 2u, 3u}) {
    for (int frames = 97; frames <= 101; ++frames) {
      const std::string name = "m" + std::to_string(m) + "_" + std::to_string(frames);
      RunRow({.name = name.c_str(), .width = 720, .height = 576, .rateX1000 = 25000, .bitRate = 6000000,
              .anchorDistance = m, .frames = frames, .quality = frames == 101});
    }
  }
}

// A rate above the level's limit, as a table of rate x size -> level and declared rate. The
// standard-definition stream types keep Main level and have their rate capped at 15 Mbit/s; other
// sizes move to High level, capped at 80 Mbit/s; MPEG-1 is capped at the largest rate its 18-bit
// field holds. The sequence header declares the rate the rate control aims at, so the stream
// keeps to its level, and the buffer model of Annex C holds with the declared rate and buffer
// size (the encoder derives the buffer size from the rate).
TEST(VencStream, DeclaredRateFollowsTheLevel) {
  struct Row {
    const char* name;
    uint32_t subtype;
    int width, height;
    uint32_t requested;
    const char* level;  // ffprobe's level: "8" Main, "4" High; null for MPEG-1
    int64_t declared;
  };
  const Row rows[] = {
      {.name = "cif_200M", .subtype = QVA_MSUBTYPE_MPV2, .width = 352, .height = 288, .requested = 200000000,
       .level = "8", .declared = 15000000},
      {.name = "cif_6M", .subtype = QVA_MSUBTYPE_MPV2, .width = 352, .height = 288, .requested = 6000000,
       .level = "8", .declared = 6000000},
      {.name = "pal_20M", .subtype = QVA_MSUBTYPE_MPV2, .width = 720, .height = 576, .requested = 20000000,
       .level = "8", .declared = 15000000},
      {.name = "vga_20M", .subtype = QVA_MSUBTYPE_MPV2, .width = 640, .height = 480, .requested = 20000000,
       .level = "4", .declared = 20000000},
      {.name = "vga_200M", .subtype = QVA_MSUBTYPE_MPV2, .width = 640, .height = 480, .requested = 200000000,
       .level = "4", .declared = 80000000},
      {.name = "cif_mpeg1_200M", .subtype = QVA_MSUBTYPE_MPV, .width = 352, .height = 288,
       .requested = 200000000, .level = nullptr, .declared = 104857200},
  };
  constexpr int kFrames = 10;
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string size = std::to_string(row.width) + "x" + std::to_string(row.height);
    const SourceVideo source = LavfiSource("testsrc2=size=" + size + ":rate=25", row.width, row.height, kFrames);
    HostEncode setup;
    setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, row.width, row.height, 25000);
    setup.output = Mpeg2Format(row.width, row.height, 25000, row.requested);
    setup.output.subtype = row.subtype;
    setup.params = ExportParams(15, 1, row.requested, 1);
    setup.params.vbvBufferSize = 0;  // derived from the rate, within the level's limit
    const HostResult result = EncodeThroughHost(library, setup, kFrames, source.FrameBytes(),
                                                [&](int i, uint8_t* out) { source.Read(i, out); });
    ASSERT_TRUE(result.ended) << "no end marker came out";
    EXPECT_TRUE(result.errors.empty());
    const std::string path = WriteStreamFile(result.stream, "venc_declared_rate", std::string(row.name) + ".mpv");
    const orx::test::ProcessResult decode = orx::test::RunProcess(
        {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0) << decode.err;

    // The declared rate: bit_rate_value with, in MPEG-2, bit_rate_extension above it (read by
    // ffmpeg's trace_headers, with the profile and level by ffprobe).
    const std::vector<SequenceHeaderFields> headers = SequenceHeadersOf(result.stream);
    ASSERT_FALSE(headers.empty());
    std::vector<int64_t> declared;
    if (row.level != nullptr) {
      const auto probe = orx::test::ProbeStream(path, "v:0", true);
      EXPECT_EQ(probe.count("profile") ? probe.at("profile") : "", "Main");
      EXPECT_EQ(probe.count("level") ? probe.at("level") : "", row.level);
      EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", std::to_string(kFrames));
      const HeaderTrace trace = TraceHeaders(path);
      ASSERT_TRUE(trace.ok) << trace.log;
      ASSERT_EQ(trace.bitRateExtension.size(), trace.bitRateValue.size());
      for (size_t i = 0; i < trace.bitRateValue.size(); ++i) {
        declared.push_back((int64_t{trace.bitRateExtension[i]} << 18 | trace.bitRateValue[i]) * 400);
      }
    } else {
      for (const SequenceHeaderFields& h : headers) declared.push_back(int64_t{h.bitRateValue} * 400);
    }
    ASSERT_FALSE(declared.empty());
    for (int64_t rate : declared) EXPECT_EQ(rate, row.declared);

    // What the rate control aimed at is what the header says: a header above the real rate
    // overflows the buffer model, one below it underflows it.
    const double rate = static_cast<double>(declared.front());
    const VbvReport vbv = CheckVbvAnnexC(VbvPictures(ReadPictureHeaders(result.stream)), rate,
                                         int64_t{headers.front().vbvBufferSizeValue} << 14, 2.0 * rate / 90000);
    EXPECT_EQ(vbv.underflows, 0) << vbv.firstProblem;
    EXPECT_EQ(vbv.overflows, 0) << vbv.firstProblem;
  }
}

}  // namespace
}  // namespace orx::venc::test
