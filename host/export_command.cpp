#include "host/export_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/export_file_suite.h"
#include "host/frame_source.h"
#include "host/host_frame.h"
#include "host/host_services.h"
#include "host/output_staging.h"
#include "host/sequence_audio.h"

namespace orx::host {

using namespace host_sdk;

namespace {

// Whether both paths name one existing file (through links or other spellings too).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::atomic<bool> g_selectorRunning{false};

}  // namespace

bool ExportSelectorRunning() { return g_selectorRunning.load(); }

bool ParseCompletionOrder(const std::string& text, CompletionOrder& order, int& window) {
  if (text == "in-order") {
    order = CompletionOrder::kInOrder;
    return true;
  }
  if (text == "early-final") {
    order = CompletionOrder::kEarlyFinal;
    return true;
  }
  if (text.compare(0, 7, "shuffle") != 0) return false;
  order = CompletionOrder::kShuffled;
  if (text.size() == 7) return true;
  if (text[7] != ':') return false;
  char* end = nullptr;
  long w = std::strtol(text.c_str() + 8, &end, 10);
  if (*end != '\0' || w < 1 || w > kMaxOutstandingFrames) return false;
  window = static_cast<int>(w);
  return true;
}

bool ParseForcedFormat(const std::string& text, std::pair<int64_t, uint32_t>& out) {
  std::string name = text.substr(0, text.find('@'));
  int64_t from = 0;
  if (name.size() != text.size()) {
    char* end = nullptr;
    long long f = std::strtoll(text.c_str() + name.size() + 1, &end, 10);
    if (*end != '\0' || end == text.c_str() + name.size() + 1 || f < 0) return false;
    from = f;
  }
  if (name.size() != 4) return false;
  // The word's bytes in memory spell the name.
  uint32_t format = static_cast<uint32_t>(static_cast<unsigned char>(name[0])) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(name[1])) << 8) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(name[2])) << 16) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(name[3])) << 24);
  if (!HostRendersFormat(format)) return false;
  out = {from, format};
  return true;
}

bool RunHostExport(ExporterSession& session, const SourceDescription& description,
                   const ExportOptions& options, ExportOutcome& outcome, std::string& error) {
  outcome = ExportOutcome{};
  if (options.output.empty()) {
    error = "export needs --output FILE";
    return false;
  }
  // The export truncates its output first: a source given as the output would be lost.
  for (const std::string* source : {&options.input, &options.audioFile}) {
    if (!source->empty() && SameFile(*source, options.output)) {
      error = "the output " + options.output + " is the source " + *source +
              ": the export would overwrite it";
      return false;
    }
  }
  std::shared_ptr<FrameSource> opened = options.openedInput;
  if (opened == nullptr) {
    opened = std::make_shared<FrameSource>();
    if (!options.input.empty()) {
      if (!opened->OpenY4m(options.input, error)) return false;
    } else {
      if (description.width <= 0 || description.height <= 0) {
        error = "the pattern needs a frame size";
        return false;
      }
      opened->UsePattern(description.width, description.height,
                         options.frames < 0 ? 300 : options.frames);
    }
  }
  const FrameSource& source = *opened;
  int64_t frames = source.frameCount();
  if (source.streamed()) {
    // The exporter is told the sequence's length before the export starts.
    if (options.frames < 0) {
      error = "--input " + options.input +
              " is a pipe or FIFO: give its length with --frames N (a stream that ends sooner "
              "ends the sequence's new frames there)";
      return false;
    }
    frames = options.frames;
  }
  if (options.frames >= 0 && options.frames < frames) frames = options.frames;
  if (frames <= 0) {
    error = "there is no frame to export";
    return false;
  }
  if (!SourceRateUsable(description, error)) return false;
  bool audio = options.audioClip != nullptr || options.tone;

  // The sequence spans frames x the source frame duration; its end time is its last tick, so
  // that a loop over t <= end asks for exactly that many frames.
  int64_t ticksPerFrame = kTicksPerSecond / description.rateNum * description.rateDen;
  if (ticksPerFrame <= 0) {
    error = "the source frame rate is too high";
    return false;
  }
  RenderSettings render;
  render.source = &source;
  render.threads = options.renderThreads;
  render.order = options.order;
  render.shuffleWindow = options.shuffleWindow;
  render.seed = options.seed;
  render.forcedFormats = options.forcedFormats;
  render.startTime = 0;
  render.endTime = frames * ticksPerFrame - 1;
  render.ticksPerFrame = ticksPerFrame;
  SetRenderSettings(render);

  AudioSettings audioSettings;
  audioSettings.clip = options.audioClip.get();
  audioSettings.toneHz = options.toneHz;
  audioSettings.ticksPerSecond = kTicksPerSecond;
  SetAudioSettings(audioSettings);

  ProgressSettings progress;
  progress.totalFrames = frames;
  progress.cancelAtFrame = options.cancelAtFrame;
  progress.suspendAtFrame = options.suspendAtFrame;
  progress.showBar = options.showProgress;
  SetProgressSettings(progress);
  ResetReservedMemory();

  // Written beside the output and moved into place only on success: an earlier file of the
  // output's name survives every failure.
  OutputStaging staging;
  if (!staging.Prepare(options.output, error)) return false;

  ExportRecord record{};
  record.exportAudio = audio ? 1 : 0;
  record.exportVideo = 1;
  record.startTime = 0;
  record.endTime = render.endTime;
  record.fileObject = NewExportFileObject(staging.stagingPath(), options.failWrite);

  outcome.frames = frames;
  g_selectorRunning = true;
  outcome.answer = session.Export(record);
  g_selectorRunning = false;
  FinishProgressBar(outcome.answer == 0);
  outcome.render = CurrentRenderStatistics();
  outcome.progress = CurrentProgressRecord();
  outcome.reservedMemory = ReservedMemory();

  ExportFileStatistics written = ExportFileStatisticsOf(record.fileObject);
  if (written.failed && written.error != 0) {
    outcome.failureReason = "cannot write " + options.output + ": " + std::strerror(written.error);
  }
  // An export that answered success but wrote nothing has not exported anything.
  struct stat st {};
  if (outcome.answer == 0 && !outcome.progress.cancelled &&
      (::stat(staging.stagingPath().c_str(), &st) != 0 || st.st_size == 0)) {
    outcome.emptyOutput = true;
    outcome.failureReason = "nothing was written to " + options.output;
  }
  // An export with audio whose exporter never asked for a sample dropped the audio.
  if (outcome.answer == 0 && !outcome.progress.cancelled && !outcome.emptyOutput && audio &&
      CurrentAudioStatistics().framesRendered == 0) {
    outcome.emptyOutput = true;
    outcome.failureReason = "the exporter took no audio, so " + options.output +
                            " would have had none";
  }
  if (outcome.answer == 0 && !outcome.progress.cancelled && !outcome.emptyOutput) {
    std::string moveError;
    outcome.committed = staging.Commit(moveError);
    if (!outcome.committed) outcome.failureReason = moveError;
  } else {
    outcome.partialOutputDiscarded = written.opens > 0;
    staging.Discard();
  }
  auto fault = [&outcome](const std::string& text) {
    outcome.hostFault = true;
    outcome.hostFaultText += "orx-export: " + text + "\n";
  };
  if (outcome.render.overLimit) {
    fault("more than " + std::to_string(kMaxOutstandingFrames) +
          " frames were outstanding at once (" + std::to_string(outcome.render.maxOutstanding) +
          ")");
  }
  if (LiveHostFrames() != 0)
    fault(std::to_string(LiveHostFrames()) + " rendered frames were never disposed of");
  if (LiveVideoRenderers() != 0) fault("the plug-in did not release its video renderer");
  ExportFileStatistics file = ExportFileStatisticsOf(record.fileObject);
  if (file.open) fault("the plug-in left the output file open");
  AudioStatistics audioStats = CurrentAudioStatistics();
  if (audioStats.renderersMade != audioStats.renderersReleased) {
    fault("the plug-in did not release its audio renderer");
  }
  ForgetExportFileObjects();
  return true;
}

}  // namespace orx::host
