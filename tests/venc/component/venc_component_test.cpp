// The "VENC" component's contract through libqvavenc.so: its descriptor, the statuses of its
// format and parameter methods, when it (re-)configures, and its failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/shipped_descriptors.h"
#include "media/media_params.h"
#include "platform/registry.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/host_log_capture.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/core/stdout_capture.h"
#include "tests/venc/component/venc_host.h"
#include "venc/common/write_log_file.h"

namespace orx::venc::test {
namespace {

constexpr uint32_t kInput = 0;
constexpr uint32_t kOutput = 1;

class VencComponent : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Loaded()) << library.Error(); }
  VencLibrary library;
};

std::vector<std::vector<uint8_t>> TestFrames(int width, int height, int count) {
  const SourceVideo source = LavfiSource("testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                                             ":rate=25",
                                         width, height, count);
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < count; ++i) frames.push_back(source.Frame(i));
  return frames;
}

TEST_F(VencComponent, DescriptorAndCount) {
  uint8_t record[kQVAInfoRecordSize + 8];
  std::memset(record, 0xEE, sizeof record);
  EXPECT_EQ(library.libGetCount(), 1u);
  ASSERT_EQ(library.getInfo(0, record), QVA_SUCCESS);
  EXPECT_EQ(std::memcmp(record, &kShippedVENC, kQVAInfoRecordSize), 0);
  EXPECT_EQ(record[kQVAInfoRecordSize], 0xEE);  // nothing past the 112 bytes
  EXPECT_EQ(library.getInfo(1, record), QVA_ERR_BADARG);
  EXPECT_EQ(library.getInfo(0, nullptr), QVA_ERR_BADARG);
  EXPECT_EQ(library.release(nullptr), QVA_ERR_BADHANDLE);
}

// A new instance holds the defaults an export starts from: planar 4:2:0 input of unknown size,
// an MPEG-2 output head of 720x480 at 30 frames/s and 4 Mbit/s, and a zero parameter block.
TEST_F(VencComponent, CreateWritesTheDefaults) {
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  ComponentInstance* c = run.instance;
  VideoMediaType input{}, output{};
  input.size = output.size = sizeof(VideoMediaType);
  ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kInput, 0, &input), QVA_SUCCESS);
  EXPECT_EQ(input.size, sizeof(VideoMediaType));
  EXPECT_EQ(input.MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(input.subtype, QVA_MSUBTYPE_YUV420);
  EXPECT_EQ(input.width + input.height + input.secondWidth + input.secondHeight + input.FrameRate, 0u);
  ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kOutput, 0, &output), QVA_SUCCESS);
  EXPECT_EQ(output.size, kMediaTypeHeaderSize);
  EXPECT_EQ(output.MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(output.subtype, QVA_MSUBTYPE_MPV2);
  EXPECT_EQ(output.width, 720u);
  EXPECT_EQ(output.height, 480u);
  EXPECT_EQ(output.secondWidth, 720u);
  EXPECT_EQ(output.secondHeight, 480u);
  EXPECT_EQ(output.FrameRate, 30000u);
  EXPECT_EQ(output.sizeSubtype, 2u);
  EXPECT_EQ(output.secondSizeSubtype, 2u);
  EXPECT_EQ(output.PARh + output.PARv + output.codecPrivateLength, 0u);
  EXPECT_EQ(output.BitrateAverage, 4000000u);
  EXPECT_EQ(output.BitrateMax, 4000000u);
  std::vector<uint8_t> params(sizeof(VideoEncoderParams), 0xEE);
  ASSERT_EQ(c->methods.QVAComp_GetParam(c, QVA_PARAM_VIDEOENCODER, params.data(), params.size()), QVA_SUCCESS);
  VideoEncoderParams zero{};
  zero.size = sizeof zero;
  EXPECT_EQ(std::memcmp(params.data(), &zero, sizeof zero), 0);
}

TEST_F(VencComponent, FormatAndParameterStatuses) {
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  ComponentInstance* c = run.instance;
  VideoMediaType planar = PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000);
  VideoMediaType tiny = planar;
  tiny.size = 8;
  VideoMediaType refused = PlanarFormat(0x80001, 720, 576, 25000);
  VideoMediaType audio = planar;
  audio.MType = QVA_MTYPE_AUDIO;
  struct FormatCase {
    const char* what;
    uint32_t direction, pin;
    VideoMediaType* record;
    QVAStatus set, get;
  };
  const FormatCase formats[] = {
      {"input pin 1", kInput, 1, &planar, QVA_ERR_UNSUPPORTED, QVA_ERR_UNSUPPORTED},
      {"direction 2", 2, 0, &planar, QVA_ERR_UNSUPPORTED, QVA_ERR_UNSUPPORTED},
      {"no record", kInput, 0, nullptr, QVA_ERR_BADARG, QVA_ERR_BADARG},
      {"size word 8", kInput, 0, &tiny, QVA_ERR_TOOSMALL, QVA_ERR_TOOSMALL},
      {"subtype 0x80001", kInput, 0, &refused, QVA_ERR_FORMAT, QVA_SUCCESS},
      {"audio major type", kInput, 0, &audio, QVA_ERR_FORMAT, QVA_SUCCESS},
      {"output size word 8", kOutput, 0, &tiny, QVA_ERR_TOOSMALL, QVA_ERR_TOOSMALL},
  };
  for (const FormatCase& f : formats) {
    EXPECT_EQ(c->methods.QVAComp_SetFormat(c, f.direction, f.pin, f.record), f.set) << f.what;
    EXPECT_EQ(c->methods.QVAComp_GetFormat(c, f.direction, f.pin, f.record), f.get) << f.what;
  }

  std::vector<uint8_t> block(256, 0);
  struct ParamCase {
    const char* what;
    uint32_t id, size;
    QVAStatus set;
  };
  const ParamCase params[] = {
      {"accel 79 bytes", QVA_PARAM_VIDEOACCEL, 79, QVA_ERR_TOOSMALL},
      {"accel 80 bytes", QVA_PARAM_VIDEOACCEL, 80, QVA_SUCCESS},
      {"encoder 211 bytes", QVA_PARAM_VIDEOENCODER, 211, QVA_ERR_TOOSMALL},
      {"encoder 212 bytes", QVA_PARAM_VIDEOENCODER, 212, QVA_SUCCESS},
      {"unknown id", QVA_PARAM_VIDEO_DISPLAY, 64, QVA_ERR_UNSUPPORTED},
  };
  for (const ParamCase& p : params) {
    EXPECT_EQ(c->methods.QVAComp_SetParam(c, p.id, block.data(), p.size), p.set) << p.what;
  }
  EXPECT_EQ(c->methods.QVAComp_GetParam(c, QVA_PARAM_VIDEOENCODER, block.data(), 211), QVA_ERR_TOOSMALL);
  EXPECT_EQ(c->methods.QVAComp_GetParam(c, QVA_PARAM_VIDEOENCODER, block.data(), 212), QVA_SUCCESS);

  // A zero width keeps the one set before; a zero second size takes the first.
  ASSERT_EQ(c->methods.QVAComp_SetFormat(c, kInput, 0, &planar), QVA_SUCCESS);
  VideoMediaType narrower = PlanarFormat(QVA_MSUBTYPE_NV12, 0, 480, 25000);
  narrower.secondWidth = narrower.secondHeight = 0;
  ASSERT_EQ(c->methods.QVAComp_SetFormat(c, kInput, 0, &narrower), QVA_SUCCESS);
  VideoMediaType got{};
  got.size = sizeof got;
  ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kInput, 0, &got), QVA_SUCCESS);
  EXPECT_EQ(got.subtype, QVA_MSUBTYPE_NV12);
  EXPECT_EQ(got.width, 720u);
  EXPECT_EQ(got.height, 480u);
  EXPECT_EQ(got.secondWidth, 720u);
  EXPECT_EQ(got.secondHeight, 480u);
  // A short record receives the 16-byte head.
  VideoMediaType head{};
  head.size = 100;
  head.width = 0xBEEF;
  ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kInput, 0, &head), QVA_SUCCESS);
  EXPECT_EQ(head.size, kMediaTypeHeaderSize);
  EXPECT_EQ(head.subtype, QVA_MSUBTYPE_NV12);
  EXPECT_EQ(head.width, 0xBEEFu);
  // Output bit rates of 0 keep the ones set before.
  VideoMediaType output = Mpeg2Format(720, 576, 25000, 5000000);
  ASSERT_EQ(c->methods.QVAComp_SetFormat(c, kOutput, 0, &output), QVA_SUCCESS);
  output.BitrateAverage = output.BitrateMax = 0;
  ASSERT_EQ(c->methods.QVAComp_SetFormat(c, kOutput, 0, &output), QVA_SUCCESS);
  ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kOutput, 0, &got), QVA_SUCCESS);
  EXPECT_EQ(got.BitrateAverage, 5000000u);
  EXPECT_EQ(got.BitrateMax, 5000000u);
}

// Parameter blocks that equal the stored one change nothing; a different one re-configures
// before the next picture. Each configuration writes one "SetVideoEncoder" line.
TEST_F(VencComponent, IdenticalParameterBlocksDoNotReconfigure) {
  const auto frames = TestFrames(352, 288, 9);
  orx::test::HostLogCapture log;
  VencRun run(library);
  HostEncode setup = CifEncode(1, 3000000);
  ASSERT_EQ(run.CreateAndStart(setup), QVA_SUCCESS);
  VideoEncoderParams params = setup.params;
  for (int i = 0; i < 3; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  ASSERT_EQ(run.SetParams(params), QVA_SUCCESS);
  for (int i = 3; i < 6; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  params.gopLength = 12;
  ASSERT_EQ(run.SetParams(params), QVA_SUCCESS);
  for (int i = 6; i < 9; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitForEnd());
  run.EndAndRelease();
  EXPECT_EQ(CountOf(log.Text(), "SetVideoEncoder["), 2) << log.Text();
  EXPECT_NE(log.Text().find("I=12 P=1"), std::string::npos) << log.Text();
  const std::string path = WriteStreamFile(run.sink.Stream(), "venc_reconfigure", "params.m2v");
  orx::test::RawVideo decoded;
  std::string decodeLog;
  ASSERT_TRUE(orx::test::DecodeVideo(path, decoded, {}, &decodeLog)) << decodeLog;
  EXPECT_EQ(decoded.frames.size(), 9u);
}

// A parameter change the checks refuse (a rate of 2^31 bit/s, not a positive 32-bit rate) keeps
// the settings the encoder last passed with and takes only the new N; the stream goes on
// without an error.
TEST_F(VencComponent, RefusedParameterChangeTakesOnlyTheNewN) {
  const auto frames = TestFrames(352, 288, 20);
  orx::test::HostLogCapture log;
  VencRun run(library);
  HostEncode setup = CifEncode(1, 3000000);
  ASSERT_EQ(run.CreateAndStart(setup), QVA_SUCCESS);
  VideoEncoderParams params = setup.params;
  for (int i = 0; i < 5; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_SYNCPOINT) != 0; }));
  params.gopLength = 6;
  params.averageBitRate = params.peakBitRate = 0x80000000u;
  ASSERT_EQ(run.SetParams(params), QVA_SUCCESS);
  for (int i = 5; i < 20; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitForEnd());
  run.EndAndRelease();
  EXPECT_TRUE(run.Errors().empty());
  EXPECT_EQ(CountOf(log.Text(), "SetVideoEncoder["), 1) << log.Text();
  const std::vector<uint8_t> stream = run.sink.Stream();
  EXPECT_EQ(CountStartCodes(stream, 0xB8), 1 + 3);  // 5 pictures at N 15, then 15 at N 6
  for (const SequenceHeaderFields& h : SequenceHeadersOf(stream)) EXPECT_EQ(h.bitRateValue, 3000000 / 400);
  const std::string path = WriteStreamFile(stream, "venc_refused_change", "refused.m2v");
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", "20");
}

// Pictures that come before the input size is known are not encoded.
TEST_F(VencComponent, PictureBeforeTheSizeIsKnownIsNotEncoded) {
  const auto frames = TestFrames(352, 288, 6);
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  ASSERT_EQ(run.SetParams(ExportParams(15, 3, 3000000)), QVA_SUCCESS);
  ASSERT_EQ(run.Start(), QVA_SUCCESS);
  for (int i = 0; i < 2; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  run.PushFormat(PlanarFormat(QVA_MSUBTYPE_YUV420, 352, 288, 25000));
  for (int i = 2; i < 6; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitForEnd());
  run.EndAndRelease();
  EXPECT_TRUE(run.Errors().empty());
  const std::string path = WriteStreamFile(run.sink.Stream(), "venc_unsized", "late.m2v");
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", "4");
}

// The format's rate (frames per 1000 s) picks the first table rate that, times 1000 and rounded,
// reaches it: 29970 is 30000/1001, and 30000 stays 30.
TEST_F(VencComponent, FormatRateChoosesTheSequenceRate) {
  const auto frames = TestFrames(352, 288, 3);
  struct Case {
    uint32_t rateX1000;
    const char* probed;
  };
  const Case cases[] = {{23976, "24000/1001"}, {24000, "24/1"}, {25000, "25/1"},
                        {29970, "30000/1001"}, {30000, "30/1"}, {50000, "50/1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rateX1000);
    HostEncode setup;
    setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, 352, 288, c.rateX1000);
    setup.output = Mpeg2Format(352, 288, c.rateX1000, 3000000);
    setup.params = ExportParams(15, 3, 3000000, 1);
    setup.frameMs = 1000000.0 / c.rateX1000;
    const HostResult result = EncodeThroughHost(library, setup, frames);
    ASSERT_TRUE(result.ended);
    const std::string path = WriteStreamFile(result.stream, "venc_rates", "rate.m2v");
    const auto probe = orx::test::ProbeStream(path, "v:0");
    EXPECT_EQ(probe.count("r_frame_rate") ? probe.at("r_frame_rate") : "", c.probed);
  }
}

// The output format's codec-private fill: a temporary encoder is made only for an output whose
// codec has a sequence header to give (MPEG-2 never). A temporary encoder takes an instance
// number and prints its timings when released (debug bit 23, read at the GPU set-up).
TEST_F(VencComponent, Mpeg2OutputFormatMakesNoTemporaryEncoder) {
  const std::string dir = orx::test::MakeTempDir("venc_temporary");
  const std::string registry = dir + "/registry";
  orx::test::ScopedEnv useRegistry("ORX_REGISTRY", registry.c_str());
  orx::test::ScopedEnv noRuntime("LD_LIBRARY_PATH", nullptr);
  ASSERT_TRUE(platform::RegistryWriteDword(kEncoderRegistryKey, "EncodeGpuWaitSleep", 1u << 23));
  StdoutCapture console;
  {
    VencRun holder(library);  // an encoder that sets the GPU layer (and the debug word) up
    ASSERT_EQ(holder.Create(), QVA_SUCCESS);
    VideoEncoderParams params = ExportParams(15, 3, 3000000);
    params.engineFlags |= VEP_ENGINE_GPU;
    holder.SetParams(params);
    ASSERT_EQ(holder.Start(), QVA_SUCCESS);

    VencRun asked(library);
    ASSERT_EQ(asked.Create(), QVA_SUCCESS);
    ComponentInstance* c = asked.instance;
    VideoMediaType output = Mpeg2Format(720, 576, 25000, 6000000);
    c->methods.QVAComp_SetFormat(c, kOutput, 0, &output);
    VideoMediaType input = PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000);
    c->methods.QVAComp_SetFormat(c, kInput, 0, &input);  // marks the codec-private bytes stale
    VideoMediaType got{};
    got.size = sizeof got;
    ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kOutput, 0, &got), QVA_SUCCESS);
    EXPECT_EQ(got.codecPrivateLength, 0u);
    std::fflush(stdout);
    EXPECT_EQ(CountOf(console.Finish(), "INSTANCE[1] "), 0);

    StdoutCapture second;
    VideoMediaType mpeg4 = output;
    mpeg4.subtype = QVA_MSUBTYPE_MPV4;
    c->methods.QVAComp_SetFormat(c, kOutput, 0, &mpeg4);
    c->methods.QVAComp_SetFormat(c, kInput, 0, &input);
    input.width = input.secondWidth = 704;
    c->methods.QVAComp_SetFormat(c, kInput, 0, &input);
    ASSERT_EQ(c->methods.QVAComp_GetFormat(c, kOutput, 0, &got), QVA_SUCCESS);
    EXPECT_EQ(CountOf(second.Finish(), "INSTANCE[1] "), 1);
  }
}

// Each picture's output carries on what its input buffer carried: the sender's handle (a full
// pointer, flag 0x2) in bytesRead and, with flag 0x40, the component word, found by the
// picture's time stamp although B pictures come out after their anchors.
TEST_F(VencComponent, OutputCarriesTheInputHandleAndWord) {
  constexpr uint32_t kWord40Given = 0x40;
  const auto frames = TestFrames(352, 288, 10);
  VencRun run(library);
  ASSERT_EQ(run.CreateAndStart(CifEncode(3, 3000000)), QVA_SUCCESS);
  for (uint32_t i = 0; i < frames.size(); ++i) {
    run.PushFrame(frames[i].data(), frames[i].size(), 40 * i, kWord40Given, 7000 + i);
  }
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitForEnd());
  run.EndAndRelease();
  int pictures = 0;
  for (const VencSink::Output& o : run.sink.Outputs()) {
    if ((o.flags & QVA_BUFFLAG_SYNCPOINT) == 0 || (o.flags & QVA_BUFFLAG_TIMESTAMP) == 0) continue;
    SCOPED_TRACE(o.timestamp);
    ++pictures;
    EXPECT_EQ(o.flags & (QVA_BUFFLAG_REFHANDLE | kWord40Given), QVA_BUFFLAG_REFHANDLE | kWord40Given);
    ASSERT_EQ(run.handles.count(o.timestamp), 1u);
    EXPECT_EQ(o.bytesRead, run.handles.at(o.timestamp));
    EXPECT_EQ(o.componentWord, 7000 + o.timestamp / 40);
  }
  EXPECT_EQ(pictures, 10);
}

// Failures reach the error callback, and the stream ends downstream.
TEST_F(VencComponent, FailuresAreReported) {
  const auto frames = TestFrames(352, 288, 4);
  struct Case {
    const char* what;
    uint32_t outputSubtype;
    uint32_t width;
    uint32_t engineFlags;  // params +84
    int stopAfter;  // the sink's gets before it refuses
    QVAStatus expected;
  };
  const Case cases[] = {
      // VC-1's macroblock encoder comes later: the open fails and is not used.
      {"an encoder that cannot open", QVA_MSUBTYPE_WMV9, 352, VEP_ENGINE_MULTI_INSTANCE, -1, QVA_ERR_OPEN},
      // The encode accelerator comes with its own wave: until then asking for it fails the open.
      {"the encode accelerator", QVA_MSUBTYPE_MPV2, 352, VEP_ENGINE_MULTI_INSTANCE | VEP_ENGINE_ACCELERATOR, -1,
       QVA_ERR_OPEN},
      // The checks refuse the first configuration: the worker stops with 3.
      {"a 4096-wide input", QVA_MSUBTYPE_MPV2, 4096, VEP_ENGINE_MULTI_INSTANCE, -1, QVA_ERR_BADARG},
      // Output that cannot be handed on is reported, not dropped.
      {"a sink that stops taking buffers", QVA_MSUBTYPE_MPV2, 352, VEP_ENGINE_MULTI_INSTANCE, 3, QVA_ERR_WRONGSTATE},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    VencRun run(library);
    ASSERT_EQ(run.Create(), QVA_SUCCESS);
    run.SetInput(PlanarFormat(QVA_MSUBTYPE_YUV420, k.width, 288, 25000));
    VideoMediaType output = Mpeg2Format(k.width, 288, 25000, 3000000);
    output.subtype = k.outputSubtype;
    run.SetOutput(output);
    VideoEncoderParams params = ExportParams(15, 3, 3000000);
    params.engineFlags = k.engineFlags;
    run.SetParams(params);
    run.sink.StopAfter(k.stopAfter);
    ASSERT_EQ(run.Start(), QVA_SUCCESS);
    std::vector<uint8_t> frame(static_cast<size_t>(k.width) * 288 * 3 / 2, 128);
    for (int i = 0; i < 4; ++i) {
      if (k.width == 352) std::memcpy(frame.data(), frames[i].data(), frame.size());
      run.PushFrame(frame.data(), frame.size(), 40 * i);
    }
    run.PushMarker(QVA_MARKER_EOI);
    EXPECT_TRUE(run.sink.WaitForEnd());
    run.EndAndRelease();
    const std::vector<QVAStatus> errors = run.Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), k.expected);
  }
}

// A frame shorter than its format is never read past its end: it is left out and reported (3),
// and the pictures around it are coded.
TEST_F(VencComponent, ShortFrameIsLeftOutAndReported) {
  const auto frames = TestFrames(352, 288, 4);
  VencRun run(library);
  ASSERT_EQ(run.CreateAndStart(CifEncode(3, 3000000)), QVA_SUCCESS);
  for (uint32_t i = 0; i < frames.size(); ++i) {
    run.PushFrame(frames[i].data(), i == 1 ? frames[i].size() / 2 : frames[i].size(), 40 * i);
  }
  run.PushMarker(QVA_MARKER_EOI);
  ASSERT_TRUE(run.sink.WaitForEnd());
  run.EndAndRelease();
  EXPECT_EQ(run.Errors(), std::vector<QVAStatus>{QVA_ERR_BADARG});
  const std::string path = WriteStreamFile(run.sink.Stream(), "venc_short_frame", "short.m2v");
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", "3");
}

// Create, start, encode, end and release, ten times (leak-free under the sanitizers).
TEST_F(VencComponent, RepeatedLifetimes) {
  const auto frames = TestFrames(352, 288, 5);
  for (int cycle = 0; cycle < 10; ++cycle) {
    const HostResult result = EncodeThroughHost(library, CifEncode(3, 3000000), frames);
    EXPECT_TRUE(result.ended) << cycle;
    EXPECT_TRUE(result.errors.empty()) << cycle;
    EXPECT_TRUE(EndsWithSequenceEnd(result.stream)) << cycle;
  }
}

}  // namespace
}  // namespace orx::venc::test
