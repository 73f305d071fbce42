// The qvavscaler component on its data path, connected as the engine connects it: a
// format-change buffer, then host frames lent by reference with millisecond times, then the end
// marker; the test is the upstream pusher and the downstream sink.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>

#include "engine/catalogue/component_loader.h"
#include "framework/component_library.h"
#include "media/media_codes.h"
#include "tests/vscaler/video_format.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/lent_frames.h"
#include "tests/support/orx_test.h"
#include "tests/support/output_sink.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/support/waiting.h"
#include "tests/vscaler/closed_form_resize.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/video_scaler.h"

namespace orx::vscaler {
namespace {

using orx::test::ProcessResult;
using orx::test::RunProcess;


using test::VideoFormat;

// The downstream pin, with what the tests ask of its deliveries.
struct Sink : orx::test::OutputSink {
  using OutputSink::OutputSink;

  // A data output of this time came out.
  bool Delivered(uint64_t timestamp) const {
    return Count([timestamp](const Delivery& o) {
             return !(o.flags & QVA_BUFFLAG_FORMAT) && !o.data.empty() && o.timestamp == timestamp;
           }) > 0;
  }
  std::vector<Delivery> Frames() const {  // data outputs: no format records, no end markers
    std::vector<Delivery> frames;
    for (const Delivery& o : Deliveries())
      if (!(o.flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI))) frames.push_back(o);
    return frames;
  }
};

using orx::test::LentFrames;

struct Errors {
  static void OnError(ComponentInstance*, QVAStatus status, uint32_t, void* self) {
    auto* e = static_cast<Errors*>(self);
    {
      std::lock_guard<std::mutex> hold(e->mutex);
      e->statuses.push_back(status);
    }
    e->reported.Raise();
  }
  std::vector<QVAStatus> Seen() {
    std::lock_guard<std::mutex> hold(mutex);
    return statuses;
  }
  std::mutex mutex;
  std::vector<QVAStatus> statuses;
  orx::test::CountingEvent reported;
};

// One scaler instance, created by name through the engine's loader, wired to a sink, its
// lent-frame release and its error callback.
class ScalerRun {
 public:
  // folder: where the loader looks; name: the component's name ("qvavscaler" finds qvavscaler.so).
  ScalerRun(const std::string& folder, const std::string& name, uint32_t sinkCapacity)
      : folder_(folder), name_(name), sink(sinkCapacity) {
    // A lent frame goes back only after its output left.
    frames.CheckReleasesAgainst([this](uint64_t timestamp) { return sink.Delivered(timestamp); });
  }
  ~ScalerRun() {
    if (scaler != nullptr) {
      scaler->methods.QVAComp_End(scaler);
      CompUnload(scaler);
    }
  }
  void Create(const VideoMediaType* output) {
    ASSERT_EQ(CompSetLibPath(folder_.c_str(), kLibPathNarrow), QVA_SUCCESS);
    scaler = CompCreateByName(name_.c_str(), 0, 1);
    ASSERT_NE(scaler, nullptr) << "the loader found no " << name_ << " in " << folder_;
    if (output != nullptr) {
      VideoMediaType out = *output;
      ASSERT_EQ(scaler->methods.QVAComp_SetFormat(scaler, 1, 0, &out), QVA_SUCCESS);
    }
    ASSERT_EQ(sink.Connect(scaler), QVA_SUCCESS);
    ASSERT_EQ(scaler->methods.QVAComp_SetErrorCallback(scaler, Errors::OnError, &errors), QVA_SUCCESS);
  }
  void Start() {
    ASSERT_EQ(scaler->methods.QVAComp_Start(scaler), QVA_SUCCESS);
    ASSERT_EQ(scaler->methods.QVAComp_SendCommand(scaler, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
  }
  void ConnectRelease() {
    ASSERT_EQ(scaler->methods.QVAComp_SetPinCallback(scaler, 0, 0, LentFrames::Release, &frames), QVA_SUCCESS);
  }
  QVAStatus Push(ComponentBuffer& b) {
    uint32_t taken = 0;
    return scaler->methods.QVAComp_PushInput(scaler, 0, &b, QVA_INFINITE, &taken);
  }
  void PushFormat(const VideoMediaType& type) {
    ComponentBuffer b{};
    b.flags = QVA_FORMATRECORD_VIDEO;
    b.data = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(&type));
    b.length = b.capacity = sizeof type;
    EXPECT_EQ(Push(b), QVA_SUCCESS);
  }
  void PushLent(const uint8_t* bytes, size_t size, uint64_t timestamp) {
    ComponentBuffer b{};
    b.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_TIMESTAMP;
    b.timestamp = timestamp;
    b.data = frames.Lend(bytes, size, timestamp);
    b.length = b.capacity = static_cast<uint32_t>(size);
    b.SetReferenceHandle(b.data);
    EXPECT_EQ(Push(b), QVA_SUCCESS);
  }
  void PushEnd() {
    ComponentBuffer b{};
    b.flags = QVA_MARKER_EOS;
    EXPECT_EQ(Push(b), QVA_SUCCESS);
  }
  // Waits for the scaler's own end marker (0x110000), then ends the instance.
  void FinishStream() {
    EXPECT_TRUE(sink.WaitFor([](const Sink::Delivery& o) { return (o.flags & ~QVA_BUFFLAG_TIMESTAMP) == 0x110000; }))
        << "no end marker came out";
    EXPECT_EQ(scaler->methods.QVAComp_End(scaler), QVA_SUCCESS);
  }

  std::string folder_, name_;
  Sink sink;
  LentFrames frames;
  Errors errors;
  ComponentInstance* scaler = nullptr;
};

// The deliverable, found by name in the deliverables' folder; and the test build whose
// conversion-buffer allocations can be made to fail.
struct LibraryChoice {
  std::string folder, name;
};
LibraryChoice QvaVscaler() { return {orx::test::LibraryDir(), "qvavscaler"}; }
LibraryChoice StarvedScaler() { return {orx::test::TestLibraryDir(), "qvavscaler_starved"}; }

// Host frames of real footage: tree.avi at the picture size, stored bottom-up, rows padded to
// the pitch on the right.
std::vector<std::vector<uint8_t>> HostFrames(int pictureW, int pictureH, int pitch, int count) {
  const std::string dir = orx::test::MakeTempDir("vscaler_host");
  const std::string path = dir + "/host.bgra";
  char filter[128];
  std::snprintf(filter, sizeof filter, "scale=%d:%d,vflip,pad=%d:%d:0:0", pictureW, pictureH, pitch, pictureH);
  ProcessResult r = RunProcess({orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-i",
                                orx::test::MediaPath("tree.avi"), "-frames:v", std::to_string(count), "-vf", filter,
                                "-f", "rawvideo", "-pix_fmt", "bgra", "-y", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string bytes;
  orx::test::ReadFileBytes(path, bytes);
  const size_t frame = static_cast<size_t>(4) * pitch * pictureH;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t off = 0; off + frame <= bytes.size(); off += frame)
    frames.emplace_back(bytes.begin() + off, bytes.begin() + off + frame);
  EXPECT_EQ(frames.size(), static_cast<size_t>(count));
  return frames;
}

std::vector<uint8_t> ExpectedScale(const std::vector<uint8_t>& bgra, int pitch, int h, int pw, int ph, int ow, int oh) {
  std::vector<uint8_t> converted(PlanarBytes(static_cast<size_t>(pitch) * h));
  convert::PreprocBgraToI420(converted.data(), bgra.data(), pitch, h, 1);
  return test::ClosedFormPlanar(converted.data(), pitch, h, pw, ph, ow, oh);
}

struct StreamCase {
  int pictureW, pictureH, pitch;  // the host's picture and its row pitch in pixels
  int outW, outH, frames;
};

void RunHostStream(const StreamCase& c, bool checkWithFfmpeg) {
  SCOPED_TRACE(std::to_string(c.pictureW) + "x" + std::to_string(c.pictureH) + " pitch " + std::to_string(c.pitch));
  const auto host = HostFrames(c.pictureW, c.pictureH, c.pitch, c.frames);
  ASSERT_EQ(host.size(), static_cast<size_t>(c.frames));
  const size_t outBytes = PlanarBytes(static_cast<size_t>(c.outW) * c.outH);
  ScalerRun run(QvaVscaler().folder, QvaVscaler().name, static_cast<uint32_t>(outBytes));
  const VideoMediaType out = VideoFormat(QVA_MSUBTYPE_YUV420, c.outW, c.outH, c.outW, c.outH);
  ASSERT_NO_FATAL_FAILURE(run.Create(&out));
  ASSERT_NO_FATAL_FAILURE(run.Start());
  ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());
  run.PushFormat(VideoFormat(QVA_MSUBTYPE_BGRA, c.pitch, c.pictureH, c.pictureW, c.pictureH));
  std::vector<std::vector<uint8_t>> expected;
  for (int i = 0; i < c.frames; ++i) {
    expected.push_back(ExpectedScale(host[i], c.pitch, c.pictureH, c.pictureW, c.pictureH, c.outW, c.outH));
    run.PushLent(host[i].data(), host[i].size(), 1000 + 40 * i);
  }
  run.PushEnd();
  run.FinishStream();

  std::vector<Sink::Delivery> frames = run.sink.Frames();
  ASSERT_EQ(frames.size(), static_cast<size_t>(c.frames));
  for (int i = 0; i < c.frames; ++i) {
    EXPECT_EQ(frames[i].flags, QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_TIMESTAMP) << i;
    EXPECT_EQ(frames[i].timestamp, 1000u + 40 * i);
    ASSERT_EQ(frames[i].data.size(), outBytes) << i;
    EXPECT_TRUE(frames[i].data == expected[i]) << "frame " << i << " differs from converter + closed form";
  }
  EXPECT_EQ(run.frames.Released(), c.frames);
  EXPECT_EQ(run.frames.ReleasedTwice(), 0);
  EXPECT_EQ(run.frames.ReleasedEarly(), 0);
  EXPECT_TRUE(run.errors.Seen().empty());
  // The format went downstream first.
  const std::vector<Sink::Delivery> outputs = run.sink.Deliveries();
  ASSERT_FALSE(outputs.empty());
  EXPECT_TRUE(outputs[0].flags & QVA_BUFFLAG_FORMAT);

  if (!checkWithFfmpeg) return;
  // ffmpeg reads the sink's frames as raw 4:2:0 and compares them with its own nearest-neighbour
  // scaling of the same source (loose: ffmpeg samples at another phase).
  const std::string dir = orx::test::MakeTempDir("vscaler_sink");
  orx::test::RawVideo sinkVideo;
  sinkVideo.width = c.outW;
  sinkVideo.height = c.outH;
  for (const auto& f : frames) sinkVideo.frames.push_back(f.data);
  ASSERT_TRUE(orx::test::WriteRawFile(dir + "/sink.yuv", sinkVideo));
  orx::test::RawVideo decoded, reference;
  std::string log;
  const std::string size = std::to_string(c.outW) + "x" + std::to_string(c.outH);
  orx::test::DecodeOptions raw;
  raw.inputArgs = {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size};
  ASSERT_TRUE(orx::test::DecodeVideo(dir + "/sink.yuv", decoded, raw, &log)) << log;
  EXPECT_EQ(decoded.frames.size(), static_cast<size_t>(c.frames));
  orx::test::DecodeOptions neighbour;
  neighbour.outputArgs = {"-frames:v", std::to_string(c.frames), "-vf",
                          "scale=" + std::to_string(c.pictureW) + ":" + std::to_string(c.pictureH) +
                              ",scale=" + std::to_string(c.outW) + ":" + std::to_string(c.outH) + ":flags=neighbor"};
  ASSERT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), reference, neighbour, &log)) << log;
  orx::test::PsnrReport psnr = orx::test::ComparePsnr(reference, decoded);
  std::printf("sink frames against ffmpeg neighbour: Y %.2f dB (worst %.2f) over %zu frames\n", psnr.lumaAverage,
              psnr.lumaMinimum, psnr.frames);
  EXPECT_GE(psnr.lumaAverage, 25.0);
}

TEST(ScalerStream, HdHostFramesTo720x480) {
  ORX_RELEASE_ONLY();
  RunHostStream({.pictureW = 1920, .pictureH = 1080, .pitch = 1920, .outW = 720, .outH = 480, .frames = 30}, true);
  RunHostStream({.pictureW = 1920, .pictureH = 1080, .pitch = 1928, .outW = 720, .outH = 480, .frames = 30}, false);
}

TEST(ScalerStream, SdHostFramesWithPaddedRows) {
  RunHostStream({.pictureW = 640, .pictureH = 480, .pitch = 648, .outW = 352, .outH = 240, .frames = 10}, true);
}

// The planar case: 720x480 to 1920x1080 gives 3,110,400 bytes a frame.
TEST(ScalerStream, PlanarUpscaleTo1080) {
  ORX_RELEASE_ONLY();
  ScalerRun run(QvaVscaler().folder, QvaVscaler().name, 3110400);
  const VideoMediaType out = VideoFormat(QVA_MSUBTYPE_YUV420, 1920, 1080);
  ASSERT_NO_FATAL_FAILURE(run.Create(&out));
  ASSERT_NO_FATAL_FAILURE(run.Start());
  ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());
  run.PushFormat(VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480));
  std::vector<uint8_t> frame(PlanarBytes(720 * 480));
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + i / 720);
  run.PushLent(frame.data(), frame.size(), 5);
  run.PushEnd();
  run.FinishStream();
  auto frames = run.sink.Frames();
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].data.size(), 3110400u);
  EXPECT_TRUE(frames[0].data == test::ClosedFormPlanar(frame.data(), 720, 480, 720, 480, 1920, 1080));
}

TEST(ScalerStream, EndMarkerAndFrameBeforeAnyFormat) {
  ScalerRun run(QvaVscaler().folder, QvaVscaler().name, 1 << 20);
  const VideoMediaType out = VideoFormat(QVA_MSUBTYPE_YUV420, 64, 32);
  ASSERT_NO_FATAL_FAILURE(run.Create(&out));
  ASSERT_NO_FATAL_FAILURE(run.Start());
  ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());
  std::vector<uint8_t> frame(PlanarBytes(64 * 32), 50);
  run.PushLent(frame.data(), frame.size(), 77);
  run.PushEnd();
  run.FinishStream();
  auto frames = run.sink.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].flags, QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_TIMESTAMP);
  EXPECT_EQ(frames[0].timestamp, 77u);
  EXPECT_TRUE(frames[0].data.empty());
  int markers = 0;
  for (const auto& o : run.sink.Deliveries()) markers += (o.flags == 0x110000 && o.data.empty());
  EXPECT_EQ(markers, 1);
  EXPECT_EQ(run.frames.Released(), 1);
}

// The format change grows the input queue while a lent frame waits behind it: that frame comes
// out, and each lent frame is released once, after its output.
TEST(ScalerStream, FormatChangeWithAFrameQueuedBehindIt) {
  const int w = 1280, h = 720, ow = 640, oh = 360;  // 3,686,400 BGRA bytes: above the 0x2FD000 slots
  ScalerRun run(QvaVscaler().folder, QvaVscaler().name, static_cast<uint32_t>(PlanarBytes(ow * oh)));
  const VideoMediaType out = VideoFormat(QVA_MSUBTYPE_YUV420, ow, oh);
  ASSERT_NO_FATAL_FAILURE(run.Create(&out));
  // Three input slots, so that a frame, the format change and a frame all wait in the queue.
  PinBufferConfig config{};
  config.pinIndex = 0;
  config.bufferCount = 3;
  run.scaler->methods.QVAComp_SetParam(run.scaler, QVA_PARAM_BUFFERS, &config, sizeof config);
  // Before Start: a first small format is applied at once (no worker runs), then the queue fills.
  run.PushFormat(VideoFormat(QVA_MSUBTYPE_BGRA, 64, 32));
  ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());  // the input queue exists now
  std::vector<uint8_t> small(4 * 64 * 32, 90);
  run.PushLent(small.data(), small.size(), 10);
  run.PushFormat(VideoFormat(QVA_MSUBTYPE_BGRA, w, h));
  std::vector<uint8_t> big(static_cast<size_t>(4) * w * h);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13 + i / 4096);
  run.PushLent(big.data(), big.size(), 20);
  PinBufferConfig status{};
  status.pinIndex = 0;
  ASSERT_EQ(run.scaler->methods.QVAComp_GetParam(run.scaler, QVA_PARAM_BUFFERS, &status, sizeof status), QVA_SUCCESS);
  EXPECT_EQ(status.slotsInUse, 3u) << "the frame, the format change and the frame should all be queued";
  ASSERT_NO_FATAL_FAILURE(run.Start());
  run.PushEnd();
  run.FinishStream();
  auto frames = run.sink.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].timestamp, 10u);
  EXPECT_EQ(frames[1].timestamp, 20u);
  EXPECT_TRUE(frames[1].data == ExpectedScale(big, w, h, w, h, ow, oh));
  EXPECT_EQ(run.frames.Released(), 2);
  EXPECT_EQ(run.frames.ReleasedTwice(), 0);
  EXPECT_EQ(run.frames.ReleasedEarly(), 0);
}

// Formats and buffers the scaler cannot serve: each is refused or reported, never read past.
TEST(ScalerStream, FaultTable) {
  const VideoMediaType planar = VideoFormat(QVA_MSUBTYPE_YUV420, 64, 32);
  struct Row {
    const char* name;
    LibraryChoice library = QvaVscaler();
    VideoMediaType output;
    uint32_t sinkCapacity;
    VideoMediaType input;
    QVAStatus reported;  // the status the error callback receives
    bool pushFrame = false;
  };
  const uint32_t planarBytes = static_cast<uint32_t>(PlanarBytes(64 * 32));
  const std::vector<Row> rows = {
      {.name = "packed 4:2:2 input", .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_YUV422I, 64, 32), .reported = QVA_ERR_FORMAT},
      {.name = "NV12 input, planar output", .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_NV12, 64, 32), .reported = QVA_ERR_FORMAT},
      {.name = "picture wider than its frame", .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_BGRA, 64, 32, 66, 32), .reported = QVA_ERR_FORMAT},
      {.name = "odd width", .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_BGRA, 63, 32), .reported = QVA_ERR_FORMAT},
      {.name = "zero height", .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_BGRA, 64, 0, 64, 32), .reported = QVA_ERR_FORMAT},
      {.name = "conversion buffer refused", .library = StarvedScaler(), .output = planar, .sinkCapacity = planarBytes,
       .input = VideoFormat(QVA_MSUBTYPE_BGRA, 64, 32), .reported = QVA_ERR_NOMEMORY},
      {.name = "output one byte short", .output = planar, .sinkCapacity = planarBytes - 1,
       .input = VideoFormat(QVA_MSUBTYPE_BGRA, 64, 32), .reported = QVA_ERR_TOOSMALL, .pushFrame = true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScalerRun run(row.library.folder, row.library.name, row.sinkCapacity);
    ASSERT_NO_FATAL_FAILURE(run.Create(&row.output));
    if (row.library.name == StarvedScaler().name) {
      // The loader opened the library; reopening it only finds it.
      const std::string path = row.library.folder + "/" + row.library.name + ".so";
      void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
      ASSERT_NE(module, nullptr);
      auto starve = reinterpret_cast<void (*)()>(dlsym(module, "VScalerStarveConversionBuffers"));
      ASSERT_NE(starve, nullptr);
      starve();
      dlclose(module);
    }
    ASSERT_NO_FATAL_FAILURE(run.Start());
    ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());
    run.PushFormat(row.input);
    if (row.pushFrame) {
      std::vector<uint8_t> frame(4 * 64 * 32, 200);
      run.PushLent(frame.data(), frame.size(), 9);
      run.PushEnd();
      run.FinishStream();
      // The frame still leaves, empty and stamped: downstream counts one output per input.
      auto frames = run.sink.Frames();
      ASSERT_EQ(frames.size(), 1u);
      EXPECT_TRUE(frames[0].data.empty());
      EXPECT_EQ(frames[0].timestamp, 9u);
    }
    EXPECT_TRUE(run.errors.reported.WaitFor(1));
    EXPECT_EQ(run.errors.Seen(), std::vector<QVAStatus>{row.reported});
  }
}

// NV12 keeps its interleaved chroma through the component.
TEST(ScalerStream, Nv12ToNv12KeepsTheChromaPattern) {
  const int w = 64, h = 32, ow = 32, oh = 16;
  ScalerRun run(QvaVscaler().folder, QvaVscaler().name, static_cast<uint32_t>(PlanarBytes(ow * oh)));
  const VideoMediaType out = VideoFormat(QVA_MSUBTYPE_NV12, ow, oh);
  ASSERT_NO_FATAL_FAILURE(run.Create(&out));
  ASSERT_NO_FATAL_FAILURE(run.Start());
  ASSERT_NO_FATAL_FAILURE(run.ConnectRelease());
  run.PushFormat(VideoFormat(QVA_MSUBTYPE_NV12, w, h));
  std::vector<uint8_t> frame(PlanarBytes(w * h), 16);
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) {
      frame[w * h + y * w + 2 * x] = static_cast<uint8_t>(100 + x);  // Cb
      frame[w * h + y * w + 2 * x + 1] = 220;                       // Cr
    }
  run.PushLent(frame.data(), frame.size(), 3);
  run.PushEnd();
  run.FinishStream();
  auto frames = run.sink.Frames();
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].data.size(), PlanarBytes(ow * oh));
  for (int y = 0; y < oh / 2; ++y)
    for (int x = 0; x < ow / 2; ++x) {
      EXPECT_EQ(frames[0].data[ow * oh + y * ow + 2 * x], 100 + 2 * x);
      EXPECT_EQ(frames[0].data[ow * oh + y * ow + 2 * x + 1], 220);
    }
  EXPECT_TRUE(run.errors.Seen().empty());
}

}  // namespace
}  // namespace orx::vscaler
