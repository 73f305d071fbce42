#include "plugin/export/export_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/debug_output.h"
#include "platform/host_sdk/identifiers.h"
#include "platform/host_sdk/suites.h"
#include "platform/host_sdk/utf16_text.h"
#include "platform/message_box.h"
#include "plugin/export/enc_session.h"
#include "plugin/export/export_settings_load.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

constexpr float kProgressStep = 0.005f;
constexpr uint32_t kAudioPumpMs = 250;
constexpr uint32_t kReservePerPixel = 120;

// The host services of one export, acquired at its start and released at its end.
struct ExportSuites {
  const BasicSuite* basic = nullptr;
  const SequenceRenderSuite* render = nullptr;
  const ExportProgressSuite* progress = nullptr;
  const ErrorSuite* error = nullptr;
  const SequenceAudioSuite* audio = nullptr;

  template <typename Suite>
  bool Acquire(const SuiteName& name, const Suite*& out) {
    const void* suite = nullptr;
    if (basic->AcquireSuite(name.name, name.version, &suite) != 0 || suite == nullptr) return false;
    out = static_cast<const Suite*>(suite);
    return true;
  }
  template <typename Suite>
  void Release(const SuiteName& name, const Suite*& suite) {
    if (suite != nullptr) basic->ReleaseSuite(name.name, name.version);
    suite = nullptr;
  }
};

// Progress reports of one export: only steps of at least 0.005 of the bar are reported; a
// suspended host is waited for; any other non-zero answer stops the export.
struct ProgressReporter {
  const ExportProgressSuite* suite;
  uint32_t exporterId;
  float last = 0.0f;
  float saved = 0.0f;
  int32_t stopAnswer = 0;

  bool Report(float p) {
    if (suite == nullptr || p - last < kProgressStep) return true;
    return Send(p);
  }
  bool Send(float p) {
    if (suite == nullptr) return true;
    int32_t answer = suite->UpdateProgress(exporterId, p);
    if (answer == kProgressSuspended) answer = suite->WaitForResume(exporterId);
    if (answer != 0) {
      stopAnswer = answer;
      return false;
    }
    last = saved = p;
    return true;
  }
};

float Fraction(int64_t t, int64_t start, int64_t duration) {
  return duration > 0
             ? static_cast<float>(static_cast<double>(t - start) / static_cast<double>(duration))
             : 1.0f;
}

std::string OutputPath(const ExporterInstance& instance, FileObject file) {
  if (instance.fileSuite == nullptr) return std::string();
  char16_t path[kTextChars] = {};
  int32_t length = 0;
  if (instance.fileSuite->GetPlatformPath(file, &length, path) != 0) return std::string();
  return Utf16ToUtf8(path, kTextChars);
}

// One pass: its start, the frame loop or the audio loop, its finish and its end.
struct PassRun {
  StandardParameters* standard;
  ExportRecord* record;
  ExportSuites& suites;
  ProgressReporter& progress;
  int64_t ticksPerSecond;
  int64_t ticksPerFrame;
  float videoShare;
  float audioShare;

  int32_t Run(bool& stopped) {
    ExporterInstance& instance = *InstanceOf(record->privateData);
    int64_t start = record->startTime, end = record->endTime, duration = end - start;
    int32_t started = EncSession_Start(record, standard, suites.render);
    if (instance.fileSuite != nullptr) instance.fileSuite->Open(record->fileObject);
    const SequenceAudioSuite* audio = record->exportAudio ? suites.audio : nullptr;
    int64_t endMs = end * 1000 / ticksPerSecond;
    if (started == 0 && record->exportVideo) {
      uint32_t audioMark = 0;
      for (int64_t t = start; t <= end; t += ticksPerFrame) {
        bool final = t + ticksPerFrame > end;
        uint32_t ms = static_cast<uint32_t>(t * 1000 / ticksPerSecond);
        int32_t f = EncSession_RequestFrame(standard, suites.render, t, record, final);
        if (f == kFrameRequestCancel || f == kFrameRequestError) break;
        if (!progress.Report(Fraction(t, start, duration) * videoShare)) break;
        if (audio != nullptr && (audioMark == 0 || ms - audioMark >= kAudioPumpMs)) {
          // A quarter second ahead, but never past the sequence: audio beyond its end would
          // make the container's audio outlast its video.
          EncSession_PumpAudio(standard, suites.render, audio,
                               std::min<int64_t>(static_cast<int64_t>(ms) + kAudioPumpMs, endMs),
                               record);
          audioMark = audioMark == 0 ? 1 : ms;
        }
      }
      EncSession_Finish(standard, suites.render, audio, endMs, record);
      if (progress.stopAnswer == 0) progress.Send(progress.saved);
    } else if (started == 0 && record->exportAudio) {
      float base = progress.saved;
      for (int64_t t = start; t <= end; t += ticksPerFrame) {
        int32_t r =
            EncSession_PumpAudio(standard, suites.render, audio, t * 1000 / ticksPerSecond, record);
        if (r == kFrameRequestCancel || r == kFrameRequestError) break;
        if (!progress.Report(Fraction(t, start, duration) * audioShare + base)) break;
      }
      EncSession_Finish(standard, suites.render, audio, endMs, record);
      if (progress.stopAnswer == 0) progress.Send(progress.last);
    } else {
      EncSession_Finish(standard, suites.render, audio, endMs, record);
    }
    EncSession_End(standard, record);
    if (instance.fileSuite != nullptr) instance.fileSuite->Close(record->fileObject);
    stopped = progress.stopAnswer != 0;
    if (started != 0) return started;
    return EncSession_PassFailed() ? kResultExportFailed : 0;
  }
};

}  // namespace

bool ExportTakesTwoPasses(uint32_t fileType, ContainerChoice container, bool video, bool audio) {
  if (!video || !audio) return false;
  // The Blu-ray H.264 type follows the Blu-ray MPEG-2 type: its container 7 carries video only,
  // so the audio needs its own pass.
  if (fileType == kFileTypeMp2b || fileType == kFileType264b) return container != ContainerChoice::kMpeg2Program;
  return container == ContainerChoice::kElementary;
}

const char* SideFileExtension(AudioCodecChoice codec) {
  switch (codec) {
    case AudioCodecChoice::kPcm:
      return "pcm";
    case AudioCodecChoice::kMpegLayer2:
      return "mpa";
    case AudioCodecChoice::kMpegLayer3:
      return "mp3";
    case AudioCodecChoice::kWma:
      return "wma";
    case AudioCodecChoice::kAac:
      return "aac";
    default:
      return "raw";
  }
}

std::string ReplaceFileExtension(const std::string& path, const char* extension) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasDot ? path.substr(0, dot) : path) + "." + extension;
}

int MoveFileIntoPlace(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
  int error = errno;
  if (error == EACCES || error == EEXIST) {
    std::remove(to.c_str());
    if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
  }
  return error;
}

int32_t Exporter_Export(StandardParameters* standard, ExportRecord* record) {
  ExportSuites suites;
  suites.basic = BasicSuiteOf(standard);
  ExporterInstance* instance = record != nullptr ? InstanceOf(record->privateData) : nullptr;
  // Without the host's basic suite or an instance nothing can be acquired or exported.
  if (suites.basic == nullptr || instance == nullptr) return kResultExportFailed;
  if (!suites.Acquire(kSequenceRenderSuite, suites.render)) {
    platform::MessageBox(nullptr,
                         "Error finding the Sequence Render Suite - stopping the encoder.\n"
                         "Check to see if you have the latest Adobe updates.",
                         "ORX Encoder", 0x30);
    return kResultNoSequenceRender;
  }
  suites.Acquire(kExportProgressSuite, suites.progress);
  suites.Acquire(kErrorSuite, suites.error);
  if (record->exportAudio) suites.Acquire(kSequenceAudioSuite, suites.audio);

  int64_t ticksPerSecond = 0;
  if (instance->timeSuite != nullptr) instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);
  Exporter_LoadExportSettings(record, standard);
  int64_t ticksPerFrame =
      ParamAccess(instance->paramSuite, record->exporterId).GetTime(ADBEVideoFPS);

  int32_t answer = 0;
  // Steps of no length would never leave the frame loop.
  if (ticksPerSecond <= 0 || ticksPerFrame <= 0) answer = kResultExportFailed;

  if (answer == 0) {
    suites.render->MakeVideoRenderer(record->exporterId, &instance->videoRendererId, ticksPerFrame);
    if (instance->memorySuite != nullptr) {
      instance->memorySuite->ReserveMemory(record->exporterId,
                                           instance->width * instance->height * kReservePerPixel);
    }
    if (record->exportAudio && suites.audio != nullptr) {
      suites.audio->MakeAudioRenderer(
          record->exporterId, record->startTime, static_cast<int32_t>(instance->audioChannelType),
          kAudioSampleTypeFloat32, static_cast<float>(instance->audioSampleRate),
          &instance->audioRendererId);
    }
    bool video = record->exportVideo != 0, audio = record->exportAudio != 0;
    float videoShare = video ? (audio ? 0.9f : 1.0f) : 0.0f;
    float audioShare = audio ? (video ? 0.1f : 1.0f) : 0.0f;
    ExportState& state = GlobalExportState();
    bool twoPasses = ExportTakesTwoPasses(record->fileType, state.containerChoice, video, audio);
    std::string output, temporary, sideFile;
    if (twoPasses) {
      record->exportAudio = 0;
      state.config.audioEnabled = 0;
      output = OutputPath(*instance, record->fileObject);
      if (output.empty()) {
        // The audio pass writes through the same file object: without the video's path the
        // video could not be set aside first, and the audio would overwrite it.
        platform::DebugOutput("ORX Encoder: the output's path is unknown (too long?), so its "
                              "audio cannot go to a file of its own\n");
        answer = kResultExportFailed;
      } else {
        temporary = ReplaceFileExtension(output, "tmp");
        sideFile = ReplaceFileExtension(output, SideFileExtension(ChoiceOf<AudioCodecChoice>(instance->audioCodec)));
        if (temporary == output || sideFile == output) {
          // The video is set aside under the temporary name and the audio renamed to the side
          // file: an output that already bears either name would lose one of the streams (an
          // output named like its side file lost the audio and answered success).
          platform::DebugOutput("ORX Encoder: the output is named like its temporary or audio "
                                "side file, so its video and audio cannot be kept apart\n");
          answer = kResultExportFailed;
        }
      }
    }

    ProgressReporter progress{suites.progress, record->exporterId};
    PassRun pass{standard,       record,        suites,     progress,
                 ticksPerSecond, ticksPerFrame, videoShare, audioShare};
    int passes = answer != 0 ? 0 : twoPasses ? 2 : 1;
    bool videoSetAside = false;
    for (int i = 0; i < passes; ++i) {
      bool stopped = false;
      answer = pass.Run(stopped);
      // A cancelled, stopped or failed pass ends the export: nothing is moved into place.
      if (stopped) answer = progress.stopAnswer;
      if (answer != 0) break;
      if (i == 0 && twoPasses) {
        record->exportAudio = 1;
        state.config.audioEnabled = 1;
        record->exportVideo = 0;
        state.config.videoEnabled = 0;
        // A video that cannot be set aside would be overwritten by the audio pass.
        if (MoveFileIntoPlace(output, temporary) != 0) {
          answer = kResultExportFailed;
          break;
        }
        videoSetAside = true;
      }
    }
    // An audio pass that failed or was cancelled ends the export as a whole: the host removes
    // the output, and the video set aside for it goes too rather than stay behind unasked.
    if (answer != 0 && videoSetAside) std::remove(temporary.c_str());
    // A failed move leaves both files where they are and fails the export: nothing is lost.
    if (answer == 0 && twoPasses &&
        (MoveFileIntoPlace(output, sideFile) != 0 || MoveFileIntoPlace(temporary, output) != 0)) {
      answer = kResultExportFailed;
    }
  }

  if (suites.audio != nullptr && instance->audioRendererId != 0) {
    suites.audio->ReleaseAudioRenderer(record->exporterId, instance->audioRendererId);
    instance->audioRendererId = 0;
  }
  suites.Release(kSequenceAudioSuite, suites.audio);
  if (instance->videoRendererId != 0) {
    suites.render->ReleaseVideoRenderer(record->exporterId, instance->videoRendererId);
    instance->videoRendererId = 0;
  }
  suites.Release(kSequenceRenderSuite, suites.render);
  suites.Release(kErrorSuite, suites.error);
  suites.Release(kExportProgressSuite, suites.progress);
  return answer;
}

}  // namespace orx::plugin
