// The cost of the host and the export bridge: the 300-frame 720x480 pattern exported at
// 6 Mbit/s (the engine benchmark's rate, bench/tengine_speed) to an MPEG-2 elementary stream
// through the host, the plug-in and the transcode engine, as orx-export does, in this process;
// against the same engine fed the same frames directly with the same configuration (the one the
// export gave the engine, so the instance count and the bit rate are equal), and against
// `ffmpeg -threads 1 -c:v mpeg2video` on the same frames at the same bit rate. The system asks
// for the export at no less than 0.9x the engine's frame rate. Times are wall-clock seconds,
// the best of three runs.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "engine/transcode/tengine.h"
#include "host/export_command.h"
#include "host/host_frame.h"
#include "host/host_services.h"
#include "host/param_store.h"
#include "host/plugin_host.h"
#include "platform/cpuid.h"
#include "platform/host_sdk/suites.h"
#include "platform/registry.h"
#include "plugin/startup/exporter_startup.h"
#include "plugin/export/tengine_calls.h"
#include "support/test_pattern.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

extern "C" int32_t xSDKExport(int32_t selector, orx::host_sdk::StandardParameters* standard,
                              void* record, void* unusedRecord);

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr int kFrames = 300;
constexpr int kRuns = 3;

// What the export gave the engine, kept by a table that passes every call on.
QVATengineConfig g_config{};
StreamMediaType g_target{};
QVAStatus KeepConfig(QVAHandle engine, const QVATengineConfig* config) {
  g_config = *config;
  return QVATengine_SetConfig(engine, config);
}
QVAStatus KeepTarget(QVAHandle engine, const StreamMediaType* target, uint32_t targetWord,
                     orx::plugin::TengineWriteFn write, void* writeContext, void* writeExtra, uint32_t reserved) {
  g_target = *target;
  return QVATengine_OpenTarget(engine, target, targetWord, write, writeContext, writeExtra, reserved);
}
const orx::plugin::TengineCalls kKeepingCalls{
    &QVATengine_Create,      &KeepConfig,          &QVATengine_OpenVideoSource,
    &QVATengine_OpenAudioSource, &KeepTarget,      &QVATengine_Control,
    &QVATengine_Run,         &QVATengine_DeliverVideo, &QVATengine_DeliverAudio,
    &QVATengine_Flush,       &QVATengine_Wait,     &QVATengine_Release};

double ExportSeconds(const std::string& output) {
  using namespace orx;
  host::SourceDescription source;
  source.width = kWidth;
  source.height = kHeight;
  plugin::ResetStartupStateForTest();
  host::SetCurrentSource(source);
  host::PluginHost plugin;
  plugin.UseEntry(&xSDKExport);
  int32_t final = 0;
  std::vector<host::RegisteredExporter> exporters = plugin.Startup(final);
  const host::RegisteredExporter* mpeg2 = nullptr;
  for (const host::RegisteredExporter& e : exporters) {
    if (e.fileType == 0x4D504732) mpeg2 = &e;  // 'MPG2'
  }
  if (mpeg2 == nullptr) {
    std::fprintf(stderr, "export_speed: the MPEG-2 exporter did not register\n");
    return -1.0;
  }
  host::ExporterSession session(plugin, *mpeg2);
  session.Begin();
  session.GenerateDefaults();
  session.PostProcess();
  int32_t answer = 0;
  std::string error;
  session.SetAndValidate("ORXMultiplexerContainer", "0", answer, error);
  // 6 Mbit/s, as the engine's own benchmark (bench/tengine_speed) encodes.
  session.SetAndValidate("ORXAverageBitrate", "6000", answer, error);
  host::ExportOptions options;
  options.output = output;
  options.frames = kFrames;
  options.showProgress = false;
  host::ExportOutcome outcome;
  Clock::time_point start = Clock::now();
  bool ran = host::RunHostExport(session, source, options, outcome, error);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  session.End();
  host::DropStore(mpeg2->exporterId);
  if (!ran || outcome.answer != 0) {
    std::fprintf(stderr, "export_speed: the export failed (%s, answer %d)\n", error.c_str(),
                 outcome.answer);
    return -1.0;
  }
  return seconds;
}

// The engine alone: the frames, rendered beforehand in the export's 'vuya' layout, lent by
// reference as the bridge lends them; the stream written to memory.
struct DirectSink {
  std::mutex mutex;
  std::condition_variable ended;
  bool end = false;
  size_t bytes = 0;
};
QVAStatus DirectWrite(QVAHandle, ComponentBuffer* buffer, void* context, void*) {
  auto* sink = static_cast<DirectSink*>(context);
  std::lock_guard<std::mutex> lock(sink->mutex);
  sink->bytes += buffer->length;
  if (buffer->length == 0 && (buffer->flags & QVA_BUFFLAG_EOS)) {
    sink->end = true;
    sink->ended.notify_all();
  }
  return QVA_SUCCESS;
}
QVAStatus DirectRelease(QVAHandle, ComponentBuffer*, void*, void*) { return QVA_SUCCESS; }

double EngineSeconds(const std::vector<orx::host_sdk::HostFrame>& frames, size_t& bytes) {
  constexpr uint32_t kFrameFlags = 0x110000C;  // video, time stamp, external, by reference
  constexpr uint32_t kEndFlags = 0x114000;     // video, end of stream, end of input
  DirectSink sink;
  QVATengineConfig config = g_config;
  StreamMediaType target = g_target;
  Clock::time_point start = Clock::now();
  QVAHandle engine = nullptr;
  if (QVATengine_Create(&engine) != QVA_SUCCESS ||
      QVATengine_SetConfig(engine, &config) != QVA_SUCCESS ||
      QVATengine_OpenVideoSource(engine, &config.sourceVideo, &DirectRelease, nullptr) !=
          QVA_SUCCESS ||
      QVATengine_OpenTarget(engine, &target, 0, &DirectWrite, &sink, nullptr, 0) != QVA_SUCCESS ||
      QVATengine_Run(engine, 0) != QVA_SUCCESS) {
    std::fprintf(stderr, "export_speed: the engine did not start\n");
    if (engine != nullptr) QVATengine_Release(engine);
    return -1.0;
  }
  for (size_t i = 0; i < frames.size(); ++i) {
    ComponentBuffer buffer{};
    buffer.flags = kFrameFlags;
    buffer.timestamp = static_cast<uint64_t>(i) * 1001 / 30;
    buffer.data = const_cast<uint8_t*>(frames[i].pixels.data());
    buffer.capacity = buffer.length = static_cast<uint32_t>(frames[i].pixels.size());
    QVATengine_DeliverVideo(engine, &buffer, 0,
                            const_cast<orx::host_sdk::HostFrame*>(&frames[i]), 0xFFFFFFFFu);
  }
  ComponentBuffer marker{};
  marker.flags = kEndFlags;
  QVATengine_DeliverVideo(engine, &marker, 0, nullptr, 10000);
  {
    std::unique_lock<std::mutex> lock(sink.mutex);
    sink.ended.wait_for(lock, std::chrono::seconds(60), [&sink] { return sink.end; });
  }
  QVATengine_Flush(engine, 0);
  QVATengine_Wait(engine, 0, 5000);
  QVATengine_Release(engine);
  bytes = sink.bytes;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double FfmpegSeconds(const std::string& y4m, uint32_t bitRate, const std::string& out) {
  std::string rate = std::to_string(bitRate);
  Clock::time_point start = Clock::now();
  orx::test::ProcessResult r = orx::test::RunProcess(
      {"ffmpeg", "-nostdin", "-v", "error", "-i", y4m, "-threads", "1", "-c:v", "mpeg2video",
       "-b:v", rate, "-maxrate", rate, "-bufsize", std::to_string(112 * 16384), "-g", "15", "-bf",
       "2", "-y", out});
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (r.exitCode != 0) {
    std::fprintf(stderr, "export_speed: ffmpeg failed: %s\n", r.err.c_str());
    return -1.0;
  }
  return seconds;
}

}  // namespace

int main() {
  using namespace orx;
  if (test::FindProgram("ffmpeg").empty()) {
    std::fprintf(stderr, "export_speed: ffmpeg is missing\n");
    return 1;
  }
  std::string dir = test::MakeTempDir("export_speed");
  ::setenv("ORX_REGISTRY", (dir + "/registry").c_str(), 1);
  platform::RegistryWriteDword("HKCU\\Software\\ORX\\AdobePluginCS4", "GPUFlags", 0);
  platform::RegistryWriteString("HKCU\\Software\\ORX\\AdobePluginCS4", "InstallPath",
                                test::LibraryDir());
  // A processor that passes the exporters' registration gate (leaf 0x80000001 ECX bits 6, 7).
  std::vector<platform::CpuidTableEntry> table;
  platform::ParseCpuidTable(
      "0 0 0000000D 68747541 444D4163 69746E65\n1 0 00000F00 0 00000001 178BFBFF\n"
      "80000000 0 80000008 0 0 0\n80000001 0 0 0 000000C0 0\n",
      table);
  platform::SetCpuidTable(table);
  host::RegisterHostSuites();
  plugin::SetTengineCallsForTest(&kKeepingCalls);

  // The frames: the pattern as the host renders it, and as a Y4M file for ffmpeg.
  test::RawVideo raw;
  raw.width = kWidth;
  raw.height = kHeight;
  std::vector<host_sdk::HostFrame> frames(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    raw.frames.emplace_back(support::TestPatternFrameBytes(kWidth, kHeight));
    support::RenderTestPattern(kWidth, kHeight, i, raw.frames.back().data());
    frames[i].pixelFormat = host_sdk::kPixelFormatVuya;
    host::PackHostFrame(raw.frames.back().data(), kWidth, kHeight, frames[i]);
  }
  test::WriteY4mFile(dir + "/pattern.y4m", raw, 30000, 1001);
  raw.frames.clear();

  double exportBest = 1e30, engineBest = 1e30, ffmpegBest = 1e30;
  size_t engineBytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    double e = ExportSeconds(dir + "/export.m2v");
    if (e < 0) return 1;
    exportBest = std::min(exportBest, e);
    double d = EngineSeconds(frames, engineBytes);
    if (d < 0) return 1;
    engineBest = std::min(engineBest, d);
    double f = FfmpegSeconds(dir + "/pattern.y4m", g_config.targetVideo.BitrateAverage,
                             dir + "/ffmpeg.m2v");
    if (f < 0) return 1;
    ffmpegBest = std::min(ffmpegBest, f);
  }
  plugin::SetTengineCallsForTest(nullptr);
  double exportFps = kFrames / exportBest, engineFps = kFrames / engineBest,
         ffmpegFps = kFrames / ffmpegBest;
  std::printf("720x480, %d frames, %u bit/s, encoder count word %u (the export's)\n", kFrames,
              g_config.targetVideo.BitrateAverage, g_config.encoderParams.encoderCount);
  std::printf("orx-export road     %8.1f frames/s\n", exportFps);
  std::printf("engine alone        %8.1f frames/s (%zu bytes)\n", engineFps, engineBytes);
  std::printf("ffmpeg mpeg2video   %8.1f frames/s (one thread)\n", ffmpegFps);
  std::printf("export / engine     %8.3f (at least 0.9 asked)\n", exportFps / engineFps);
  std::printf("export / ffmpeg     %8.3f\n", exportFps / ffmpegFps);
  return exportFps / engineFps >= 0.9 ? 0 : 2;
}
