#pragma once
// A test host of libqvavenc.so that does what an export does: it loads the library by name, sets
// the formats and the 212-byte parameter block, connects output pin 0 to its own sink, starts,
// pushes 4:2:0 frames lent by reference with millisecond time stamps, ends the input and
// releases the instance.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "tests/support/component_library.h"
#include "tests/support/lent_frames.h"
#include "tests/support/output_sink.h"

namespace orx::venc::test {

// libqvavenc.so from the deliverables' folder. A failed load leaves the test to report it (the
// benchmark loads it too): Loaded() and Error() say what happened.
class VencLibrary : public orx::test::ComponentLibrary {
 public:
  VencLibrary() : ComponentLibrary("libqvavenc.so", {.failTest = false}) {}
};

// Output pin 0's peer: lends a fresh record per get and keeps a copy of every delivery.
class VencSink : public orx::test::OutputSink {
 public:
  using Output = Delivery;
  static constexpr uint32_t kCapacity = 65536;

  VencSink() : OutputSink(kCapacity) {}

  // After this many gets, every get answers 24 (a peer that stops taking buffers); -1 never.
  void StopAfter(int gets) {
    if (gets >= 0) RefuseGets(QVA_ERR_WRONGSTATE, static_cast<size_t>(gets));
  }
  // Waits for the component's end-of-stream marker (the n-th one).
  bool WaitForEnd(int count = 1, int seconds = 120) const;
  std::vector<Output> Outputs() const { return Deliveries(); }
  // The stream: the data of every delivery that is not a format record.
  std::vector<uint8_t> Stream() const { return Joined(QVA_BUFFLAG_FORMAT); }
};

using orx::test::LentFrames;

struct HostEncode;

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
  // Create, the two formats and the parameters of `setup`, then Start.
  QVAStatus CreateAndStart(const HostEncode& setup);
  // A frame lent by reference (a copy the run owns until the component releases it), its handle
  // (the copy's address) in bytesRead and `componentWord` in the component word.
  QVAStatus PushFrame(const uint8_t* bytes, size_t size, uint64_t timestamp, uint32_t extraFlags = 0,
                      uint32_t componentWord = 0);
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
// 352x288 at 25 frames/s, N 15, the given M and rate, as an export sets it up.
HostEncode CifEncode(uint32_t anchorDistance, uint32_t bitRate);
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
