#pragma once
// A transcode engine for the export bridge's tests, put in place of the engine library's
// through the plug-in's engine table. It takes the frames the bridge delivers (or stalls,
// or refuses them, as a case asks), gives each back from its own worker thread, keeps a copy
// of every frame in planar 4:2:0 for comparison with the source, and writes one record per
// frame and the PCM of every audio block as its "stream" through the write callback, then the
// end of stream once both ends arrived.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/media_type.h"
#include "plugin/export/tengine_calls.h"

namespace orx::plugin::test {

struct ScriptedFrame {
  uint64_t time = 0;
  uint32_t subtype = 0;
  std::vector<uint8_t> i420;  // the frame as planar 4:2:0 at the source size
};

struct EngineScript {
  // Answers of the set-up calls.
  QVAStatus create = 0, setConfig = 0, openVideo = 0, openAudio = 0, openTarget = 0, run = 0;
  // Target stream types that OpenTarget refuses with 40 (as the engine refuses a PCM target).
  bool refusePcmTarget = false;
  // Frames from this index on are never taken (-1: all are taken).
  int stallFrom = -1;
  // Each release of a frame is preceded by one without a frame handle (a queue-full notice).
  bool releaseWithoutHandle = false;
  // Keep copies of the frames (for the pixel comparisons).
  bool keepFrames = true;
  // The answer of Wait: a component's error when one failed, 26 when the graph never settled.
  QVAStatus wait = 0;
  // The output ends (an end of stream through the write callback) once this many frames were
  // given back, as when a graph's last component ends in the middle (-1: only at the end).
  int endOutputAfter = -1;
  // The answer of every OpenVideoSource after the first (a new format the graph did not take).
  QVAStatus reopenVideo = 0;
  // Once both ends arrived and every frame is back: this many more records are written, one
  // every tailWriteMs (an encoder finishing its last pictures), before the output's end...
  int tailWrites = 0;
  uint32_t tailWriteMs = 0;
  // ... which never comes when this is set.
  bool neverEndOutput = false;
};

struct EngineRecord {
  int creates = 0;
  int releases = 0;
  std::vector<StreamMediaType> targets;
  std::vector<uint32_t> sourceSubtypes;  // subtype of every OpenVideoSource
  std::vector<ScriptedFrame> frames;     // in the order taken
  int videoEndMarkers = 0;
  int audioEndMarkers = 0;
  int audioAfterEnd = 0;            // audio refused with 18
  std::vector<int16_t> audio;       // every audio sample taken, interleaved
  int maxInFlight = 0;              // frames taken and not yet given back
  int deliveriesWhileReleased = 0;  // calls after Release
  int tailWritesDone = 0;           // records of the script's tail written
};

class ScriptedEngine {
 public:
  static ScriptedEngine& Instance();

  // Installs the engine with a script; Uninstall restores the engine library.
  void Install(const EngineScript& script);
  void Uninstall();
  EngineRecord Record();

 private:
  friend struct ScriptedCalls;
  void Worker();

  std::mutex mutex_;
  std::condition_variable changed_;
  EngineScript script_;
  EngineRecord record_;
  bool running_ = false;
  bool released_ = true;
  bool stop_ = false;
  bool videoEnded_ = false;
  bool audioEnded_ = false;
  bool sinkEnded_ = false;
  bool earlyEndSent_ = false;
  int framesGivenBack_ = 0;
  bool videoSource_ = false;
  bool audioSource_ = false;
  int inFlight_ = 0;
  QVATengineConfig config_{};
  StreamMediaType target_{};
  TengineReleaseFn releaseFn_ = nullptr;
  TengineWriteFn writeFn_ = nullptr;
  std::deque<std::pair<ComponentBuffer, void*>> taken_;
  std::thread worker_;
};

// The frame in planar 4:2:0 by the host's layouts (rows bottom-up for 'vuya' and 'bgra').
std::vector<uint8_t> HostFrameToI420(uint32_t subtype, const uint8_t* data, int width, int height);

}  // namespace orx::plugin::test
