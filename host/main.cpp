// orx-export: the command-line host of the exporter plug-in.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/basic_suite.h"
#include "host/dvd_compliance.h"
#include "host/export_command.h"
#include "host/frame_source.h"
#include "host/host_services.h"
#include "host/output_staging.h"
#include "host/param_store.h"
#include "host/plugin_host.h"
#include "host/source_description.h"
#include "platform/debug_output.h"
#include "platform/export.h"
#include "platform/host_sdk/utf16_text.h"

namespace {

using namespace orx::host;

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitPlugin = 2;
constexpr int kExitNoExporter = 3;
constexpr int kExitHostCheck = 4;
constexpr int kExitExportFailed = 5;
constexpr int kExitCancelled = 6;

std::mutex g_logMutex;
std::string g_pluginLog;

// The plug-in's last debug lines (at most count), for the report of a failed export: they say
// which step failed. Printed only when ORX_DEBUG has not already shown them all.
void PrintPluginLogTail(size_t count) {
  if (orx::platform::DebugToStderrEnabled()) return;
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::istringstream in(g_pluginLog);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(line);
    }
  }
  for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
    std::fprintf(stderr, "orx-export: log: %s\n", lines[i].c_str());
}

const char kUsage[] =
    "usage: orx-export [--plugin PATH] COMMAND [options]\n"
    "commands:\n"
    "  list              register the exporters and list them\n"
    "  params [--json]   the exporter's parameters after defaults, post-processing and edits\n"
    "  summary           the three summary lines\n"
    "  output-settings   what an export would produce\n"
    "  extension         the output file's extension\n"
    "  help --button ID  press a help button (ORXMuxHelpButton, ORXVideoHelpButton,\n"
    "                    ORXAudioHelpButton)\n"
    "  export --output FILE  export the source into FILE (progress bar on standard error;\n"
    "                    Ctrl-C, SIGTERM, SIGHUP or SIGQUIT cancel)\n"
    "options:\n"
    "  --type FOURCC     the exporter (MPG2, MP2B, H264, 264B; default: the first registered)\n"
    "  --input FILE.y4m  the source video (4:2:0; - reads standard input, which like a FIFO\n"
    "                    needs --frames N), or --pattern WxH@RATE, the built-in moving\n"
    "                    test picture (default 720x480@29.97)\n"
    "  --frames N        export the first N frames (the pattern has 300 unless given)\n"
    "  --audio FILE.wav  the source audio (- reads standard input), or --tone [HZ] (a sine,\n"
    "                    1000 Hz unless given, 48 kHz)\n"
    "  --set ID=VALUE    a user's edit, validated by the plug-in (repeatable, in order); a value\n"
    "                    outside the parameter's range or list is refused\n"
    "  --unlisted        let --set values inside the range but off the list through, as a host\n"
    "                    holding an old preset would\n"
    "export test options:\n"
    "  --render-threads N      render threads (at least 2; default 2)\n"
    "  --completion ORDER      in-order (default), shuffle[:W] (within W frames, default 8)\n"
    "                          or early-final (the last frame completes inside its request)\n"
    "  --seed N                seed of the shuffled order\n"
    "  --pixel-format FMT[@F]  render vuya, bgra, yuy2, yv12 or yvi2 whatever the plug-in\n"
    "                          prefers, from frame F on (repeatable)\n"
    "  --cancel-at F           cancel at the first progress report after frame F is requested\n"
    "  --suspend-at F          suspend once at the first report after frame F is requested\n"
    "  --fail-write N          the N-th write to the output file fails\n"
    "  --no-progress           no progress bar\n";

struct Options {
  std::string plugin;
  std::string command;
  std::string type;
  std::string button;
  bool json = false;
  bool unlisted = false;  // --unlisted: values inside a range but off its list pass
  SourceDescription source;
  std::vector<std::pair<std::string, std::string>> edits;
  ExportOptions exportOptions;
};

bool ParseCount(const std::string& text, int64_t low, int64_t& out) {
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > (1LL << 40)) return false;
  out = v;
  return true;
}

std::string ExecutableFolder() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<size_t>(n));
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

// The plug-in beside the executable, else in the build tree's library folder beside it.
std::string DefaultPluginPath() {
  std::string folder = ExecutableFolder();
  std::string beside = folder + "/ExporterORXEncoder.so";
  if (::access(beside.c_str(), R_OK) == 0) return beside;
  return folder + "/../lib/ExporterORXEncoder.so";
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--plugin") {
      if (!next(o.plugin)) return false;
    } else if (a == "--type") {
      if (!next(o.type)) return false;
    } else if (a == "--button") {
      if (!next(o.button)) return false;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--unlisted") {
      o.unlisted = true;
    } else if (a == "--input") {
      // Opened once, here: its header describes the sequence, its frames are exported.
      auto input = std::make_shared<FrameSource>();
      if (!next(v) || !input->OpenY4m(v, error)) return false;
      DescribeY4mSource(input->header(), o.source);
      o.exportOptions.input = v;
      o.exportOptions.openedInput = std::move(input);
    } else if (a == "--pattern") {
      if (!next(v) || !ParsePattern(v, o.source, error)) return false;
    } else if (a == "--audio") {
      // Read whole once: its samples are what is exported.
      auto clip = std::make_shared<orx::support::AudioClip>();
      if (!next(v) || !orx::support::ReadWavFile(v, *clip, error)) return false;
      // The sequence's audio runs at 48 kHz, as an editing host's project does: a WAV at another
      // rate is resampled to the export's rate when it is rendered.
      o.source.audioSampleRate = 48000.0;
      o.exportOptions.audioClip = std::move(clip);
      o.exportOptions.audioFile = v;
    } else if (a == "--tone") {
      o.source.audioSampleRate = 48000.0;
      o.exportOptions.tone = true;
      // An optional frequency follows.
      if (i + 1 < argc) {
        char* end = nullptr;
        double hz = std::strtod(argv[i + 1], &end);
        if (end != argv[i + 1] && *end == '\0') {
          if (!(hz > 0.0 && hz < 24000.0)) {
            error = "--tone takes a frequency between 0 and 24000 Hz";
            return false;
          }
          o.exportOptions.toneHz = hz;
          ++i;
        }
      }
    } else if (a == "--output") {
      if (!next(o.exportOptions.output)) return false;
    } else if (a == "--frames" || a == "--render-threads" || a == "--cancel-at" ||
               a == "--suspend-at" || a == "--fail-write" || a == "--seed") {
      int64_t n = 0;
      int64_t low = a == "--render-threads" ? 2 : a == "--frames" || a == "--fail-write" ? 1 : 0;
      if (!next(v)) return false;
      if (!ParseCount(v, low, n) || (a == "--render-threads" && n > 64)) {
        error = a + " takes a whole number" + (low > 0 ? " of at least " + std::to_string(low) : "") +
                (a == "--render-threads" ? " and at most 64" : "");
        return false;
      }
      ExportOptions& e = o.exportOptions;
      if (a == "--frames") e.frames = n;
      else if (a == "--render-threads") e.renderThreads = static_cast<int>(n);
      else if (a == "--cancel-at") e.cancelAtFrame = n;
      else if (a == "--suspend-at") e.suspendAtFrame = n;
      else if (a == "--fail-write") e.failWrite = n;
      else e.seed = static_cast<uint32_t>(n);
    } else if (a == "--completion") {
      if (!next(v)) return false;
      if (!ParseCompletionOrder(v, o.exportOptions.order, o.exportOptions.shuffleWindow)) {
        error = "--completion takes in-order, shuffle[:W] (W from 1 to 30) or early-final";
        return false;
      }
    } else if (a == "--pixel-format") {
      std::pair<int64_t, uint32_t> forced;
      if (!next(v)) return false;
      if (!ParseForcedFormat(v, forced)) {
        error = "--pixel-format takes vuya, bgra, yuy2, yv12 or yvi2, optionally with @FRAME";
        return false;
      }
      o.exportOptions.forcedFormats.push_back(forced);
    } else if (a == "--no-progress") {
      o.exportOptions.showProgress = false;
    } else if (a == "--set") {
      if (!next(v)) return false;
      size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) {
        error = "--set takes ID=VALUE";
        return false;
      }
      o.edits.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (a == "--help" || a == "-h") {
      o.command = "usage";
    } else if (!a.empty() && a[0] != '-' && o.command.empty()) {
      o.command = a;
    } else {
      error = "unknown argument " + a;
      return false;
    }
  }
  if (o.command.empty()) {
    error = "no command given";
    return false;
  }
  return true;
}

// The host's own check after an instance ended: every suite released, every block freed.
bool SuitesBalance() {
  bool ok = true;
  for (const auto& [key, count] : SuiteRegistry::Instance().Outstanding()) {
    if (count != 0) {
      std::fprintf(stderr, "orx-export: \"%s\" version %d acquired %d more times than released\n",
                   key.first.c_str(), key.second, count);
      ok = false;
    }
  }
  if (SuiteRegistry::Instance().liveBlocks() != 0) {
    std::fprintf(stderr, "orx-export: %d memory blocks were not freed\n",
                 SuiteRegistry::Instance().liveBlocks());
    ok = false;
  }
  return ok;
}

void PrintOutputSettings(const orx::host_sdk::OutputSettingsRecord& r) {
  std::printf("width=%d\nheight=%d\nticksPerFrame=%lld\npixelAspect=%d:%d\nfieldOrder=%d\n"
              "audioSampleRate=%.17g\naudioSampleType=%d\naudioChannels=%d\nbytesPerSecond=%d\n",
              r.width, r.height, static_cast<long long>(r.ticksPerFrame), r.pixelAspectNum,
              r.pixelAspectDen, r.fieldOrder, r.audioSampleRate, r.audioSampleType,
              r.audioChannelType, r.videoBytesPerSecond);
}

void PrintParams(const ParamStore& store) {
  for (const StoredParam& p : store.params()) {
    std::printf("%-24s %-28s = %s%s%s\n", p.id.c_str(), p.named ? p.name.c_str() : "",
                ParamValueJson(p.type, p.value).c_str(), p.hidden ? " (hidden)" : "",
                p.disabled ? " (disabled)" : "");
  }
}

// The plug-in's last debug line: the reason it gives for a failed pass.
std::string LastPluginLogLine() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  std::istringstream in(g_pluginLog);
  std::string last;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) last = line;
  }
  return last;
}

// SIGINT, SIGTERM, SIGHUP and SIGQUIT: the first cancels a running export (the plug-in sees it
// at its next progress report and the host removes what it wrote); a second one, or one that
// arrives while no export runs (an input still opening, say), ends the process at once after
// removing the staged output. Nothing is ever left under the output's own name.
volatile sig_atomic_t g_signalsSeen = 0;

void OnStopSignal(int) {
  g_signalsSeen = g_signalsSeen + 1;
  if (g_signalsSeen > 1 || !ExportSelectorRunning()) {
    DiscardStagedOutputFromSignal();
    static const char kLine[] = "\norx-export: stopped by a signal; no output was written\n";
    ssize_t ignored = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
    (void)ignored;
    ::_exit(kExitCancelled);
  }
  RequestCancel();
}

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  action.sa_flags = SA_RESTART;
  ::sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(signal, &action, nullptr);
}

int RunExportCommand(ExporterSession& session, const Options& o) {
  ExportOptions options = o.exportOptions;
  std::stable_sort(options.forcedFormats.begin(), options.forcedFormats.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  ExportOutcome outcome;
  std::string error;
  bool ran = RunHostExport(session, o.source, options, outcome, error);
  if (!ran) {
    std::fprintf(stderr, "orx-export: %s\n", error.c_str());
    return kExitUsage;
  }
  std::fputs(outcome.hostFaultText.c_str(), stderr);
  int status = kExitOk;
  const char* kept = " (any earlier file of that name is untouched)";
  if (outcome.progress.cancelled) {
    std::fprintf(stderr, "orx-export: the export was cancelled; nothing was written to %s%s\n",
                 options.output.c_str(), kept);
    status = kExitCancelled;
  } else if (outcome.answer != 0 || !outcome.committed) {
    PrintPluginLogTail(8);
    std::string reason = outcome.failureReason;
    if (reason.empty()) reason = LastPluginLogLine();
    if (reason.empty()) reason = "the plug-in gave no reason";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    std::fprintf(stderr, "orx-export: the export failed (answer 0x%X); nothing was written to %s: %s\n",
                 static_cast<uint32_t>(outcome.answer), options.output.c_str(), reason.c_str());
    status = kExitExportFailed;
  } else {
    // The frames the plug-in rendered at the export's rate (50 source frames at 25 fps are 60
    // exported frames at 29.97), not the source's count.
    std::fprintf(stderr, "orx-export: exported %lld frames to %s\n",
                 static_cast<long long>(outcome.render.requests), options.output.c_str());
  }
  if (outcome.hostFault) status = kExitHostCheck;
  return status;
}

// The program-stream container is the DVD form: an export whose settings cannot make a
// DVD-compliant stream is still written as asked, with one warning naming what is not.
void WarnWhenNotDvdCompliant(ExporterSession& session, const ParamStore& store, const Options& o) {
  const StoredParam* container = nullptr;
  for (const StoredParam& p : store.params()) {
    if (p.id == "ORXMultiplexerContainer") container = &p;
  }
  if (container == nullptr || container->value.intValue != 1) return;
  orx::host_sdk::OutputSettingsRecord record;
  if (session.OutputSettings(record) != 0) return;
  DvdExportSettings settings;
  settings.width = record.width;
  settings.height = record.height;
  settings.ticksPerFrame = record.ticksPerFrame;
  settings.ticksPerSecond = kTicksPerSecond;
  bool audio = o.exportOptions.audioClip != nullptr || o.exportOptions.tone;
  settings.audioSampleRate = audio ? record.audioSampleRate : 0.0;
  std::string problems = DvdComplianceProblems(settings);
  if (!problems.empty()) {
    std::fprintf(stderr, "orx-export: warning: the program stream will not be DVD-compliant: %s\n",
                 problems.c_str());
  }
}

int RunInstance(PluginHost& host, const RegisteredExporter& exporter, const Options& o) {
  ExporterSession session(host, exporter);
  int32_t answer = session.Begin();
  if (answer != 0) {
    std::fprintf(stderr, "orx-export: begin instance answered %d\n", answer);
    return kExitPlugin;
  }
  session.GenerateDefaults();
  session.PostProcess();
  int status = kExitOk;
  // The export's rate comes from the exporter's list: a source at a rate it does not list is
  // exported at the listed rate nearest to it (and resampled by time), as an editing host
  // picks a preset; a later --set may choose another.
  if (StoredParam* fps = StoreFor(exporter.exporterId).FindParam(0, "ADBEVideoFPS");
      fps != nullptr && !fps->list.empty()) {
    int64_t nearest = NearestListedFrameDuration(*fps, fps->value.timeValue);
    if (nearest != fps->value.timeValue) {
      std::string error;
      if (!session.SetAndValidate("ADBEVideoFPS", std::to_string(nearest), answer, error) ||
          answer != 0) {
        std::fprintf(stderr, "orx-export: cannot export at the listed frame rate nearest the "
                             "source's: %s\n", error.empty() ? LastPluginLogLine().c_str() : error.c_str());
        status = kExitPlugin;
      }
    }
  }
  for (const auto& [id, value] : o.edits) {
    if (status != kExitOk) break;
    std::string error;
    if (!session.SetAndValidate(id, value, answer, error, o.unlisted)) {
      std::fprintf(stderr, "orx-export: %s\n", error.c_str());
      status = kExitUsage;
      break;
    }
    // The plug-in's validation refused the edit (and put the value back): it says why last.
    if (answer != 0) {
      std::fprintf(stderr, "orx-export: the plug-in refused %s=%s: %s\n", id.c_str(),
                   value.c_str(), LastPluginLogLine().c_str());
      status = kExitUsage;
      break;
    }
  }
  std::string fileType = FourCcText(exporter.fileType);
  const ParamStore& store = StoreFor(exporter.exporterId);
  if (status == kExitOk) {
    if (o.command == "params") {
      if (o.json) std::fputs(store.ToJson(fileType).c_str(), stdout);
      else PrintParams(store);
    } else if (o.command == "summary") {
      orx::host_sdk::ParamSummaryRecord record;
      session.Summary(record, true, true);
      std::printf("video: %s\naudio: %s\nbitrate: %s\n",
                  orx::host_sdk::Utf16ToUtf8(record.videoSummary, 256).c_str(),
                  orx::host_sdk::Utf16ToUtf8(record.audioSummary, 256).c_str(),
                  orx::host_sdk::Utf16ToUtf8(record.bitrateSummary, 256).c_str());
    } else if (o.command == "output-settings") {
      orx::host_sdk::OutputSettingsRecord record;
      session.OutputSettings(record);
      PrintOutputSettings(record);
    } else if (o.command == "extension") {
      std::string extension;
      answer = session.Extension(extension);
      if (answer != 0) {
        std::fprintf(stderr, "orx-export: the extension query answered %d\n", answer);
        status = kExitPlugin;
      } else {
        std::printf("%s\n", extension.c_str());
      }
    } else if (o.command == "export") {
      if (fileType == "MPG2") WarnWhenNotDvdCompliant(session, store, o);
      status = RunExportCommand(session, o);
    } else if (o.command == "help") {
      if (o.button.empty()) {
        std::fprintf(stderr, "orx-export: help needs --button ID\n");
        status = kExitUsage;
      } else {
        session.Button(o.button);
      }
    }
  }
  session.End();
  DropStore(exporter.exporterId);
  if (!SuitesBalance()) return kExitHostCheck;
  return status;
}

}  // namespace

// The plug-in's debug lines and message boxes reach the host here.
// Called by every library's debugger output. A line that cannot be kept is dropped without a
// word: the entry guard's own report would come back here.
extern "C" ORX_EXPORT void OrxHostLog(const char* text) {
  try {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (text) g_pluginLog += text;
  } catch (...) {
  }
}

int main(int argc, char** argv) {
  InstallStopSignals();
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fprintf(stderr, "orx-export: %s; see orx-export --help\n", error.c_str());
    return kExitUsage;
  }
  if (o.command == "usage") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  static const char* const kCommands[] = {"list", "params", "summary", "output-settings",
                                          "extension", "help", "export"};
  bool known = false;
  for (const char* c : kCommands) known = known || o.command == c;
  if (!known) {
    std::fprintf(stderr, "orx-export: unknown command %s; see orx-export --help\n",
                 o.command.c_str());
    return kExitUsage;
  }
  uint32_t wantedType = 0;
  if (!o.type.empty() && !ParseFourCc(o.type, wantedType)) {
    std::fprintf(stderr, "orx-export: --type takes a four-character code such as MPG2\n");
    return kExitUsage;
  }

  RegisterHostSuites();
  SetCurrentSource(o.source);
  PluginHost host;
  if (!host.Load(o.plugin.empty() ? DefaultPluginPath() : o.plugin, error)) {
    std::fprintf(stderr, "orx-export: %s\n", error.c_str());
    return kExitPlugin;
  }
  int32_t finalAnswer = 0;
  std::vector<RegisteredExporter> exporters = host.Startup(finalAnswer);
  if (o.command == "list") {
    for (const RegisteredExporter& e : exporters) {
      std::printf("%s  \"%s\"  extension %s  (answer %d)\n", FourCcText(e.fileType).c_str(),
                  e.name.c_str(), e.extension.c_str(), e.answer);
    }
    std::printf("registration done (answer %d)\n", finalAnswer);
  }
  if (exporters.empty()) {
    std::fprintf(stderr,
                 "orx-export: the plug-in registered no exporter (it registers its exporters only "
                 "on processors with CPUID leaf 0x80000001 ECX bits 6 and 7, and only those that "
                 "\"ShowOnGUI\" selects)\n");
    return kExitNoExporter;
  }
  if (o.command == "list") return kExitOk;

  const RegisteredExporter* chosen = &exporters.front();
  if (wantedType != 0) {
    chosen = nullptr;
    for (const RegisteredExporter& e : exporters) {
      if (e.fileType == wantedType) chosen = &e;
    }
    if (chosen == nullptr) {
      std::fprintf(stderr, "orx-export: no exporter %s is registered\n", o.type.c_str());
      return kExitUsage;
    }
  }
  return RunInstance(host, *chosen, o);
}
