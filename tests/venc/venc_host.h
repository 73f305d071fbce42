#pragma once
// A test host of libqvavenc.so that does what an export does: it loads the library with
// dlopen(RTLD_NOW | RTLD_LOCAL), binds the six entry points, sets the formats and the 212-byte
// parameter block, connects output pin 0 to its own sink, starts, pushes 4:2:0 frames lent by
// reference with millisecond time stamps, ends the input and releases the instance.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/component_library.h"
#include "media/media_codes.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"

namespace orx::venc::test {

// The library's entry points. Loading the same file twice gives the same library.
class VencLibrary {
 public:
  VencLibrary();
  ~VencLibrary();
  VencLibrary(const VencLibrary&) = delete;
  VencLibrary& operator=(const VencLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  static std::string Path();

  QVACompLibInitFn libInit = nullptr;
  QVACompLibReleaseFn libRelease = nullptr;
  QVACompLibGetCountFn libGetCount = nullptr;
  QVACompGetInfoFn getInfo = nullptr;
  QVACompCreateFn create = nullptr;
  QVACompReleaseFn release = nullptr;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// Output pin 0's peer: lends a fresh record per get and keeps a copy of every delivery.
class VencSink {
 public:
  struct Output {
    uint32_t flags;
    uint64_t timestamp;
    uintptr_t word32;
    uint32_t word40;
    std::vector<uint8_t> data;
  };
  static constexpr uint32_t kCapacity = 65536;

  static QVAStatus Get(void* context, ComponentBuffer** out);
  static QVAStatus Deliver(void* context, ComponentBuffer* buffer);

  // After this many gets, every get answers 24 (a peer that stops taking buffers); -1 never.
  void StopAfter(int gets) {
    std::lock_guard<std::mutex> hold(mutex_);
    stopAfter_ = gets;
  }
  // Waits until a delivery satisfies the test; false after the time-out.
  bool WaitFor(const std::function<bool(const Output&)>& test, int seconds = 120);
  // Waits for the component's end-of-stream marker (the n-th one).
  bool WaitForEnd(int count = 1, int seconds = 120);
  std::vector<Output> Outputs();
  // The stream: the data of every delivery that is not a format record.
  std::vector<uint8_t> Stream();
  int EndMarkers();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<ComponentBuffer, std::vector<uint8_t>>> lent_;
  std::vector<Output> outputs_;
  int gets_ = 0;
  int stopAfter_ = -1;
};

// Frames lent by reference, released by the component's pin callback.
class LentFrames {
 public:
  static void Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self);
  uint8_t* Lend(const uint8_t* bytes, size_t size);
  int Released();
  int Outstanding();
  ~LentFrames();

 private:
  std::mutex mutex_;
  std::map<uint8_t*, size_t> outstanding_;
  int released_ = 0;
};

// One instance of the component.
class VencRun {
 public:
  explicit VencRun(VencLibrary& library);
  ~VencRun();
  VencRun(const VencRun&) = delete;
  VencRun& operator=(const VencRun&) = delete;

  // Creates the instance and connects the sink, the error callback and the release of lent frames.
  QVAStatus Create();
  QVAStatus SetInput(const VideoMediaType& format);
  QVAStatus SetOutput(const VideoMediaType& format);
  QVAStatus SetParams(const VideoEncoderParams& params);
  QVAStatus Start();
  // A frame lent by reference (a copy the run owns until the component releases it), its handle
  // (the copy's address) in word +32 and `word40` in word +40.
  QVAStatus PushFrame(const uint8_t* bytes, size_t size, uint64_t timestamp, uint32_t extraFlags = 0,
                      uint32_t word40 = 0);
  QVAStatus PushFormat(const VideoMediaType& format);
  QVAStatus PushMarker(uint32_t flags);  // e.g. QVA_MARKER_EOI, QVA_MARKER_EOS
  // Ends the worker and releases the instance (also done by the destructor).
  void EndAndRelease();
  std::vector<QVAStatus> Errors();

  ComponentInstance* instance = nullptr;
  std::map<uint64_t, uintptr_t> handles;  // the handle of each frame pushed, by time stamp
  VencSink sink;
  LentFrames frames;

 private:
  static void OnError(ComponentInstance*, QVAStatus status, uint32_t, void* self);
  VencLibrary& library_;
  std::mutex errorsMutex_;
  std::vector<QVAStatus> errors_;
};

// Formats and parameter blocks as an export sets them.
VideoMediaType PlanarFormat(uint32_t subtype, uint32_t width, uint32_t height, uint32_t frameRate);
VideoMediaType Mpeg2Format(uint32_t width, uint32_t height, uint32_t frameRate, uint32_t bitRate);
// +8 = 0x901 (closed GOPs, MULTIVENC, an end of stream is a flush request), +84 = 0x800,
// progressive +12, N, M, the rate at +32 and +40, VBV 112 units.
VideoEncoderParams ExportParams(uint32_t gopLength, uint32_t anchorDistance, uint32_t bitRate, uint32_t progressive = 0);

// A whole encode through one instance: formats, parameters, frames at frameMs steps from
// firstMs, then {0x14004}; the stream once the end marker came out.
struct HostEncode {
  VideoMediaType input{};
  VideoMediaType output{};
  VideoEncoderParams params{};
  double frameMs = 40.0;
  uint64_t firstMs = 0;
};
struct HostResult {
  std::vector<uint8_t> stream;
  std::vector<VencSink::Output> outputs;
  std::vector<QVAStatus> errors;
  bool ended = false;
};
HostResult EncodeThroughHost(VencLibrary& library, const HostEncode& setup,
                             const std::vector<std::vector<uint8_t>>& frames);
// The same with frames read on demand: frameAt(i) fills the frame of index i (frameBytes bytes).
HostResult EncodeThroughHost(VencLibrary& library, const HostEncode& setup, int frameCount, size_t frameBytes,
                             const std::function<void(int, uint8_t*)>& frameAt);

}  // namespace orx::venc::test
