#pragma once
// The host's side of one export: it prepares the source (frames and audio), the output file
// object, the render pool and the progress answers, calls the plug-in's export selector, and
// afterwards moves the output into place when the export succeeded (or removes what it wrote
// when it did not: a file already bearing the output's name is never touched) and checks what
// the plug-in left behind (frames, renderers).
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/frame_source.h"
#include "host/plugin_host.h"
#include "host/progress_suite.h"
#include "host/sequence_render.h"
#include "host/source_description.h"
#include "support/audio_clip.h"

namespace orx::host {

struct ExportOptions {
  std::string output;
  std::string input;      // a Y4M file ("-": standard input); empty: the pattern
  std::shared_ptr<FrameSource> openedInput;  // the input already opened, or none
  int64_t frames = -1;    // -1: every frame of the file (300 for the pattern)
  std::shared_ptr<const support::AudioClip> audioClip;  // a WAV file read whole, or none
  std::string audioFile;  // the WAV file's path, or empty
  bool tone = false;
  double toneHz = 1000.0;
  int renderThreads = 2;
  CompletionOrder order = CompletionOrder::kInOrder;
  int shuffleWindow = 8;
  uint32_t seed = 1;
  std::vector<std::pair<int64_t, uint32_t>> forcedFormats;
  int64_t cancelAtFrame = -1;
  int64_t suspendAtFrame = -1;
  int64_t failWrite = 0;
  bool showProgress = true;
};

struct ExportOutcome {
  int32_t answer = 0;  // the export selector's answer
  int64_t frames = 0;  // frames in the sequence
  bool partialOutputDiscarded = false;  // what a failed export wrote was removed
  bool committed = false;                // the output was moved into place
  bool emptyOutput = false;  // the export answered success with nothing written (or no audio)
  std::string failureReason;             // the host's own reason for a failure, or ""
  bool hostFault = false;  // frames left alive, renderers left, more than 30 outstanding
  std::string hostFaultText;
  uint32_t reservedMemory = 0;
  RenderStatistics render;
  ProgressRecord progress;
};

// Parses "in-order", "shuffle", "shuffle:W" and "early-final".
bool ParseCompletionOrder(const std::string& text, CompletionOrder& order, int& window);
// Parses "FMT" or "FMT@FRAME" (vuya, bgra, yuy2, yv12, yvi2).
bool ParseForcedFormat(const std::string& text, std::pair<int64_t, uint32_t>& out);

// Whether the plug-in's export selector is running (a cancel request reaches it then).
bool ExportSelectorRunning();

// Runs the export selector for the session's exporter. false with error set when the source
// or the options cannot be used (the plug-in is not called then).
bool RunHostExport(ExporterSession& session, const SourceDescription& source,
                   const ExportOptions& options, ExportOutcome& outcome, std::string& error);

}  // namespace orx::host
