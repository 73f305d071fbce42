// The component's streams across changes and batches, as MULTIVENC and the engine drive it:
// parameter and size changes in mid-stream, batches separated by end-of-stream markers (with
// the drop-frame time codes of a batch that starts a minute in), a stream kept open, and the
// component's state after an end.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "engine/transcode/tengine.h"
#include "media/media_params.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/waiting.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"
#include "tests/venc/core/gop_plan.h"
#include "tests/venc/core/mpeg2_stream_reader.h"

namespace orx::venc::test {
namespace {

class VencBatches : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Loaded()) << library.Error(); }
  VencLibrary library;
};

// For each picture (coding order): whether a sequence header came since the previous picture.
std::vector<bool> SequenceHeaderBeforePicture(const std::vector<uint8_t>& es) {
  std::vector<bool> before;
  bool seen = false;
  for (const StartCode& c : StartCodesOf(es)) {
    if (c.code == 0xB3) seen = true;
    if (c.code == 0x00) {
      before.push_back(seen);
      seen = false;
    }
  }
  return before;
}

std::vector<uint64_t> PictureStamps(const std::vector<VencSink::Output>& outputs) {
  std::vector<uint64_t> stamps;
  for (const VencSink::Output& o : outputs) {
    if ((o.flags & QVA_BUFFLAG_SYNCPOINT) != 0 && (o.flags & QVA_BUFFLAG_TIMESTAMP) != 0) stamps.push_back(o.timestamp);
  }
  return stamps;
}

// How MULTIVENC separates the batches it deals to one instance.
enum class BatchEnds {
  kEndMarkers,  // each batch's first frame carries 0x8000, and {0x10004} closes the batch
  kStartFlagsOnly,  // only the 0x8000 of the next batch's first frame (a lone instance): the
                    // batches follow each other into one stream
};

// Picture stamps and batch markers in output order: a marker is written as ~time stamp.
std::vector<uint64_t> StampsAndMarkers(const std::vector<VencSink::Output>& outputs) {
  std::vector<uint64_t> events;
  for (const VencSink::Output& o : outputs) {
    if ((o.flags & QVA_BUFFLAG_BATCHSTART) != 0 && o.data.empty()) {
      EXPECT_EQ(o.flags & ~QVA_BUFFLAG_TIMESTAMP, QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_BATCHSTART);
      events.push_back(~o.timestamp);
    } else if ((o.flags & QVA_BUFFLAG_SYNCPOINT) != 0 && (o.flags & QVA_BUFFLAG_TIMESTAMP) != 0) {
      events.push_back(o.timestamp);
    }
  }
  return events;
}

// Batches of lengths as MULTIVENC deals them: every picture comes out once, in the planner's
// order per batch, each batch behind its pass-through marker; each batch opens with a sequence
// header and a closed I picture; the stream has one end code.
void RunBatches(VencLibrary& library, uint32_t rateX1000, const std::vector<int>& lengths,
                const std::vector<uint64_t>& firstMs, std::vector<std::string>* timeCodes,
                BatchEnds ends = BatchEnds::kEndMarkers) {
  const double frameMs = 1000000.0 / rateX1000;
  int total = 0;
  for (int n : lengths) total += n;
  const SourceVideo source = TreeSource(720, 576, total);
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  const VideoMediaType input = PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, rateX1000);
  const VideoMediaType output = Mpeg2Format(720, 576, rateX1000, 6000000);
  const VideoEncoderParams params = ExportParams(15, 3, 6000000);
  run.SetInput(input);
  run.SetOutput(output);
  run.SetParams(params);
  ASSERT_EQ(run.Start(), QVA_SUCCESS);
  const EncoderSettings settings = ComponentSettings(params, input, output);
  std::string expectedTypes;
  std::vector<uint64_t> expectedStamps, expectedEvents;
  std::vector<size_t> batchStarts;
  int frame = 0;
  const bool oneStream = ends == BatchEnds::kStartFlagsOnly;
  if (oneStream) {
    // One plan over every frame, its stamps counted from the first batch's.
    for (const PlannedPicture& p : PlanCodingOrder(settings, total)) {
      expectedTypes += p.type;
      expectedStamps.push_back(firstMs[0] + static_cast<uint64_t>(std::llround(p.display * frameMs)));
    }
    batchStarts.push_back(0);
  }
  for (size_t b = 0; b < lengths.size(); ++b) {
    const std::vector<PlannedPicture> plan = PlanCodingOrder(settings, lengths[b]);
    if (!oneStream) batchStarts.push_back(expectedTypes.size());
    if (oneStream) {
      // The batch's frames are pushed below; only the plan of the whole stream is expected.
    } else {
    expectedTypes += TypesOf(plan);
    expectedEvents.push_back(~firstMs[b]);
    for (const PlannedPicture& p : plan) {
      expectedStamps.push_back(firstMs[b] + static_cast<uint64_t>(std::llround(p.display * frameMs)));
      expectedEvents.push_back(expectedStamps.back());
    }
    }
    for (int i = 0; i < lengths[b]; ++i, ++frame) {
      const std::vector<uint8_t> bytes = source.Frame(frame);
      run.PushFrame(bytes.data(), bytes.size(), firstMs[b] + static_cast<uint64_t>(std::llround(i * frameMs)),
                    i == 0 ? QVA_BUFFLAG_BATCHSTART : 0);
    }
    if (b + 1 == lengths.size()) {
      run.PushMarker(QVA_MARKER_EOI);
    } else if (ends == BatchEnds::kEndMarkers) {
      run.PushMarker(QVA_MARKER_EOS);
    }
  }
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_EOI) != 0; }));
  run.EndAndRelease();
  EXPECT_TRUE(run.Errors().empty());
  const std::vector<uint8_t> stream = run.sink.Stream();
  const std::string path = WriteStreamFile(stream, "venc_batches", "batches.m2v");
  const HeaderTrace trace = TraceHeaders(path);
  ASSERT_TRUE(trace.ok) << trace.log;
  EXPECT_EQ(trace.pictureTypes, expectedTypes);
  for (int c : trace.closedGop) EXPECT_EQ(c, 1);
  EXPECT_EQ(PictureStamps(run.sink.Outputs()), expectedStamps);
  if (oneStream) {
    // Every batch's start marker is passed on, once.
    size_t markers = 0;
    for (uint64_t event : StampsAndMarkers(run.sink.Outputs())) markers += (event >> 63) != 0 ? 1 : 0;
    EXPECT_EQ(markers, lengths.size());
  } else {
    EXPECT_EQ(StampsAndMarkers(run.sink.Outputs()), expectedEvents);
  }
  const std::vector<bool> headers = SequenceHeaderBeforePicture(stream);
  for (size_t start : batchStarts) {
    ASSERT_LT(start, headers.size());
    EXPECT_TRUE(headers[start]) << "batch at picture " << start;
    EXPECT_EQ(expectedTypes[start], 'I');
  }
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", std::to_string(total));
  const orx::test::ProcessResult decode = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
  EXPECT_EQ(decode.exitCode, 0) << decode.err;
  // A flush goes on with the same stream: the one end code is the end of input's.
  EXPECT_EQ(CountStartCodes(stream, 0xB7), 1);
  EXPECT_TRUE(EndsWithSequenceEnd(stream));
  if (timeCodes != nullptr) *timeCodes = GopTimeCodes(path);
}

TEST_F(VencBatches, BatchesEndWithTheirOwnPictures) {
  // In the N 15, M 3 plan the 20th picture is a B picture (it is one with a 21st after it): the
  // first batch ends on a B picture that its end-of-stream marker has coded.
  const EncoderSettings settings =
      ComponentSettings(ExportParams(15, 3, 6000000), PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000),
                        Mpeg2Format(720, 576, 25000, 6000000));
  for (const PlannedPicture& p : PlanCodingOrder(settings, 21)) {
    if (p.display == 19) {
      EXPECT_EQ(p.type, 'B');
    }
  }
  RunBatches(library, 25000, {20, 13, 17}, {0, 800, 1320}, nullptr);
}

// A lone instance gets no end marker between batches: they follow each other into one stream,
// coded as one plan. (Restarting at each batch start cut MULTIVENC's 13, 15, 15 ... batches into
// groups of 13 and 2 pictures, two I pictures in a row every 15.)
TEST_F(VencBatches, BatchesOfALoneInstanceContinueOneStream) {
  RunBatches(library, 25000, {13, 15, 15}, {0, 520, 1120}, nullptr, BatchEnds::kStartFlagsOnly);
  RunBatches(library, 25000, {20, 13, 17}, {0, 800, 1320}, nullptr, BatchEnds::kStartFlagsOnly);
}

// SMPTE drop-frame counting: a second batch that starts at 59 993 ms (frame 1798 at 29.97, its
// stamp cut to whole ms as the engine hands it on) has the GOP time codes 00:00:59;28 and then
// 00:01:00;13.
TEST_F(VencBatches, DropFrameTimeCodesOfALaterBatch) {
  std::vector<std::string> codes;
  RunBatches(library, 29970, {6, 20}, {0, 59993}, &codes);
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes[1], "00:00:59;28");
  EXPECT_EQ(codes[2], "00:01:00;13");
}

// A later batch's time code is the label of its first frame, found from the frame's stamp (cut
// to whole ms) at the sequence's real rate: the 0.1 % slower NTSC rates were counted at 24 or 30
// frames a second (a frame ahead every 1000 frames, an hour in 108 frames ahead), and the cut
// stamp of frame 13 gave frame 12.
TEST_F(VencBatches, LaterBatchTimeCodesLabelTheirFirstFrame) {
  struct Row {
    uint32_t rateX1000;
    uint64_t firstMs;  // the batch's first frame: trunc(frame x 1000 / rate)
    const char* label;
  };
  const Row rows[] = {
      {29970, 433, "00:00:00;13"},       // frame 13
      {29970, 3600000, "01:00:00;00"},   // frame 107 892
      {23976, 1001000, "00:16:40:00"},   // frame 24 000
      {25000, 3600000, "01:00:00:00"},   // frame 90 000
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::vector<std::string> codes;
    RunBatches(library, row.rateX1000, {6, 6}, {0, row.firstMs}, &codes);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[1], row.label);
  }
}

// With option bit 12 an end of stream alone keeps the encoder open: one sequence goes on.
TEST_F(VencBatches, EndOfStreamKeptOpen) {
  const SourceVideo source = TreeSource(720, 576, 20);
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  const VideoMediaType input = PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000);
  const VideoMediaType output = Mpeg2Format(720, 576, 25000, 6000000);
  VideoEncoderParams params = ExportParams(15, 3, 6000000);
  params.optionFlags |= VEP_OPT_EOS_KEEP_OPEN;
  run.SetInput(input);
  run.SetOutput(output);
  run.SetParams(params);
  ASSERT_EQ(run.Start(), QVA_SUCCESS);
  for (int i = 0; i < 20; ++i) {
    const std::vector<uint8_t> bytes = source.Frame(i);
    run.PushFrame(bytes.data(), bytes.size(), 40 * static_cast<uint64_t>(i));
    if (i == 9) run.PushMarker(QVA_MARKER_EOS);
  }
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_EOI) != 0; }));
  run.EndAndRelease();
  const std::vector<uint8_t> stream = run.sink.Stream();
  const HeaderTrace trace = TraceHeaders(WriteStreamFile(stream, "venc_kept_open", "open.m2v"));
  EXPECT_EQ(trace.pictureTypes, TypesOf(PlanCodingOrder(ComponentSettings(params, input, output), 20)));
  EXPECT_EQ(CountStartCodes(stream, 0xB7), 1);
}

// The real end of a stream leaves the graph's own encoder paused (inside the engine's end-wait
// mask), so the engine's wait for a graph whose leaf it is returns; CMD_PLAY goes on with the
// next stream. An end that keeps the stream going (option bit 12, or a batch end under bit 11)
// and every end reaching an instance MULTIVENC drives leave it running: MULTIVENC plays a lone
// instance on after a flush's end of input without a command.
TEST_F(VencBatches, StateAfterAnEnd) {
  constexpr uint32_t kOwn = VEP_OPT_CLOSED_GOPS;
  constexpr uint32_t kExport = VEP_OPT_CLOSED_GOPS | VEP_OPT_MULTIVENC | VEP_OPT_EOS_FLUSH;
  struct Row {
    const char* name;
    uint32_t options;
    uint32_t engineFlags;
    uint32_t marker;
    bool pauses;  // else it keeps running (STARTING or PLAYING)
  } rows[] = {
      {"own encoder, end of input", kOwn, 0, QVA_MARKER_EOI, true},
      {"own encoder, end of stream", kOwn, 0, QVA_MARKER_EOS, true},
      {"own encoder, end of stream kept open (bit 12)", kOwn | VEP_OPT_EOS_KEEP_OPEN, 0, QVA_MARKER_EOS,
       false},
      {"own encoder, end of input under bit 12", kOwn | VEP_OPT_EOS_KEEP_OPEN, 0, QVA_MARKER_EOI, true},
      {"own encoder, batch end (bit 11)", kOwn | VEP_OPT_EOS_FLUSH, 0, QVA_MARKER_EOS, false},
      {"MULTIVENC's instance, batch end", kExport, VEP_ENGINE_MULTI_INSTANCE, QVA_MARKER_EOS, false},
      {"MULTIVENC's instance, end of input", kExport, VEP_ENGINE_MULTI_INSTANCE, QVA_MARKER_EOI, false},
      {"MULTIVENC's lone instance, end of input", kOwn | VEP_OPT_MULTIVENC, 0, QVA_MARKER_EOI, false},
  };
  constexpr int kFirst = 8;
  constexpr int kSecond = 6;
  const SourceVideo source = TreeSource(352, 288, kFirst + kSecond);
  const auto isPicture = [](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_SYNCPOINT) != 0; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    VencRun run(library);
    ASSERT_EQ(run.Create(), QVA_SUCCESS);
    VideoEncoderParams params = ExportParams(15, 3, 2000000);
    params.optionFlags = row.options;
    params.engineFlags = row.engineFlags;
    run.SetInput(PlanarFormat(QVA_MSUBTYPE_YUV420, 352, 288, 25000));
    run.SetOutput(Mpeg2Format(352, 288, 25000, 2000000));
    run.SetParams(params);
    ASSERT_EQ(run.Start(), QVA_SUCCESS);
    ComponentInstance* c = run.instance;
    for (int i = 0; i < kFirst; ++i) run.PushFrame(source.Frame(i).data(), source.FrameBytes(), 40 * uint64_t(i));
    run.PushMarker(row.marker);
    // The end marker goes downstream after the round's change of state.
    ASSERT_TRUE(run.sink.WaitForEnd());
    uint32_t state = 0;
    c->methods.QVAComp_GetState(c, &state);
    if (row.pauses) {
      EXPECT_EQ(state, QVA_STATE_PAUSED);
    } else {
      EXPECT_NE(state & (QVA_STATE_STARTING | QVA_STATE_PLAYING), 0u) << state;
    }
    EXPECT_EQ((state & kTengineWaitMask) != 0, row.pauses);
    // The next stream (or the same one) goes on: every picture comes out.
    if (state == QVA_STATE_PAUSED) {
      ASSERT_EQ(c->methods.QVAComp_SendCommand(c, CMD_PLAY, 0, 0, 0, 0, 2000), QVA_SUCCESS);
    }
    for (int i = kFirst; i < kFirst + kSecond; ++i) {
      run.PushFrame(source.Frame(i).data(), source.FrameBytes(), 40 * uint64_t(i));
    }
    run.PushMarker(QVA_MARKER_EOI);
    EXPECT_TRUE(run.sink.WaitFor(isPicture, kFirst + kSecond, std::chrono::seconds(60)));
    run.EndAndRelease();
    EXPECT_TRUE(run.Errors().empty());
    EXPECT_EQ(run.frames.Released(), kFirst + kSecond);
    const std::string path = WriteStreamFile(run.sink.Stream(), "venc_end_state", "end.m2v");
    const auto probe = orx::test::ProbeStream(path, "v:0", true);
    EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", std::to_string(kFirst + kSecond));
  }
}

// A parameter change (rate and N) and then a size change in mid-stream: three sequences, each
// ended with its end code, all decoding, no picture lost. The size change comes with frames queued behind its format record,
// and the input queue grows under them.
TEST_F(VencBatches, ParameterAndSizeChangesInMidStream) {
  const SourceVideo small = TreeSource(352, 288, 12);
  const SourceVideo large = TreeSource(720, 576, 8);
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  // Room for every record queued below.
  PinBufferConfig config{};
  config.pinIndex = 0;
  config.bufferCount = 16;
  ASSERT_EQ(run.instance->methods.QVAComp_SetParam(run.instance, QVA_PARAM_BUFFERS, &config, sizeof config),
            QVA_SUCCESS);
  // No output format: the coded size follows the input's.
  VideoEncoderParams params = ExportParams(15, 3, 3000000);
  run.SetParams(params);
  // Before the start the first format is applied at once; the rest waits in the queue.
  run.PushFormat(PlanarFormat(QVA_MSUBTYPE_YUV420, 352, 288, 25000));
  ASSERT_EQ(run.instance->methods.QVAComp_SetPinCallback(run.instance, 0, 0, LentFrames::Release, &run.frames),
            QVA_SUCCESS);
  for (int i = 0; i < 6; ++i) run.PushFrame(small.Frame(i).data(), small.FrameBytes(), 40 * static_cast<uint64_t>(i));
  ASSERT_EQ(run.Start(), QVA_SUCCESS);
  // The new parameters come once the first pictures went out.
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_SYNCPOINT) != 0; }));
  params.gopLength = 12;
  params.averageBitRate = params.peakBitRate = 2000000;
  run.SetParams(params);
  for (int i = 6; i < 12; ++i) run.PushFrame(small.Frame(i).data(), small.FrameBytes(), 40 * static_cast<uint64_t>(i));
  // The size change with its frames queued behind it: the worker pauses once the small frames
  // are taken, and goes on when everything waits in the queue.
  EXPECT_TRUE(run.frames.WaitForReleased(12, std::chrono::milliseconds(6000)));
  ComponentInstance* c = run.instance;
  c->methods.QVAComp_SendCommand(c, CMD_PAUSE, 0, 0, 0, 0, 0);
  // The pause completes with the round that follows it: an empty buffer makes that round.
  run.PushMarker(QVA_BUFFLAG_EXTERNAL);
  uint32_t state = 0;
  orx::test::PollUntil([&] {
    c->methods.QVAComp_GetState(c, &state);
    return state == QVA_STATE_PAUSED;
  }, std::chrono::milliseconds(6000), std::chrono::milliseconds(10));
  ASSERT_EQ(state, QVA_STATE_PAUSED);
  run.PushFormat(PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000));
  for (int i = 0; i < 8; ++i) {
    run.PushFrame(large.Frame(i).data(), large.FrameBytes(), 480 + 40 * static_cast<uint64_t>(i));
  }
  PinBufferConfig status{};
  status.pinIndex = 0;
  ASSERT_EQ(c->methods.QVAComp_GetParam(c, QVA_PARAM_BUFFERS, &status, sizeof status), QVA_SUCCESS);
  EXPECT_EQ(status.slotsInUse, 9u) << "the format record and its eight frames should wait in the queue";
  ASSERT_EQ(c->methods.QVAComp_SendCommand(c, CMD_PLAY, 1, 0, 0, 0, 2000), QVA_SUCCESS);
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_EOI) != 0; }));
  run.EndAndRelease();
  EXPECT_TRUE(run.Errors().empty());
  EXPECT_EQ(run.frames.Released(), 20);
  const std::vector<VencSink::Output> outputs = run.sink.Outputs();
  EXPECT_EQ(PictureStamps(outputs).size(), 20u);
  // The size change ends the first stream downstream only after its last pictures and its end
  // code (drained while the new format is taken): an end-of-stream marker is followed by the next
  // stream's format record or by the end of input, never by data that a multiplexer would drop.
  int streamEnds = 0;
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (!(outputs[i].flags & QVA_BUFFLAG_EOS) || (outputs[i].flags & QVA_BUFFLAG_EOI)) continue;
    ++streamEnds;
    ASSERT_LT(i + 1, outputs.size());
    EXPECT_NE(outputs[i + 1].flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOI), 0u) << "data after end " << streamEnds;
    if (streamEnds == 1) {
      const std::vector<VencSink::Output> first(outputs.begin(), outputs.begin() + static_cast<std::ptrdiff_t>(i));
      EXPECT_EQ(PictureStamps(first).size(), 12u) << "pictures of the first sequence before its end";
    }
  }
  EXPECT_EQ(streamEnds, 2);
  const std::vector<uint8_t> stream = run.sink.Stream();
  const std::string path = WriteStreamFile(stream, "venc_changes", "changes.m2v");
  const orx::test::ProcessResult decode = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
  EXPECT_EQ(decode.exitCode, 0) << decode.err;
  // Each sequence decodes by itself with all its pictures. (ffmpeg, reading the whole stream,
  // re-initialises at the new size before it gives out the picture it held back at the end code.)
  std::vector<std::vector<uint8_t>> sequences(1);
  for (size_t i = 0; i < stream.size(); ++i) {
    sequences.back().push_back(stream[i]);
    if (i >= 3 && stream[i - 3] == 0 && stream[i - 2] == 0 && stream[i - 1] == 1 && stream[i] == 0xB7) {
      sequences.emplace_back();
    }
  }
  sequences.pop_back();
  ASSERT_EQ(sequences.size(), 3u);
  int decoded = 0;
  for (size_t k = 0; k < sequences.size(); ++k) {
    const std::string piece = WriteStreamFile(sequences[k], "venc_changes", "sequence" + std::to_string(k) + ".m2v");
    const auto probe = orx::test::ProbeStream(piece, "v:0", true);
    decoded += probe.count("nb_read_frames") ? std::stoi(probe.at("nb_read_frames")) : 0;
  }
  EXPECT_EQ(decoded, 20);
  EXPECT_EQ(TraceHeaders(path).pictureTypes.size(), 20u);
  // The sizes and rates of the sequence headers, in order.
  std::vector<std::pair<int, int>> sizes;
  std::vector<int> rates;
  for (const SequenceHeaderFields& h : SequenceHeadersOf(stream)) {
    if (sizes.empty() || sizes.back() != std::make_pair(h.width, h.height)) sizes.emplace_back(h.width, h.height);
    if (rates.empty() || rates.back() != h.bitRateValue) rates.push_back(h.bitRateValue);
  }
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{352, 288}, {720, 576}}));
  EXPECT_EQ(rates, (std::vector<int>{3000000 / 400, 2000000 / 400}));
}

}  // namespace
}  // namespace orx::venc::test
