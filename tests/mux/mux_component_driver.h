#pragma once
// Drives qvacmux.so as the engine does: loaded by name, one instance created, output format,
// input formats and QVA_PARAM_VIDEOENCODER set, a sink on output pin 0 (or a file named by
// QVAComp_OpenURL), then format-change buffers, samples and end buffers pushed into pins 0 and
// 1 from one thread per pin.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "media/media_type.h"
#include "tests/mux/es_fixtures.h"
#include "tests/support/component_library.h"
#include "tests/support/output_sink.h"

namespace orx::mux::test {

// qvacmux.so from the deliverables' folder; fails the running test when it cannot be loaded.
class MuxLibrary : public orx::test::ComponentLibrary {
 public:
  MuxLibrary() : ComponentLibrary("qvacmux.so") {}
};

// The peer of output pin 0: lends buffers of one capacity and can refuse to lend, or to take a
// delivery, from a given request on. What it was given reads as the file a writer would make:
// a seek buffer moves the write position.
class MuxSink : public orx::test::OutputSink {
 public:
  static constexpr size_t kNever = std::numeric_limits<size_t>::max();

  explicit MuxSink(uint32_t capacity = 16384, size_t refuseLendingFrom = kNever, size_t refuseDeliveryFrom = kNever);

  // Waits for the end-of-stream marker; false when it did not come in time.
  bool WaitForEnd(int timeoutMs = 120000) const;
  std::vector<uint8_t> Bytes() const;
  size_t DataBuffers() const;
  uint32_t LargestBuffer() const;
  size_t Seeks() const;
  // Milliseconds of the data buffers, in delivery order.
  std::vector<uint64_t> Times() const;

 private:
  // A delivery that writes data: no seek and no end marker.
  static bool IsData(const Delivery& delivery);
};

// One pin's input: the format record of its format-change buffer and its samples.
struct PinInput {
  std::vector<uint8_t> format;                  // empty: the pin is not connected
  const std::vector<EsSample>* samples = nullptr;
  uint32_t pieceBytes = 0;                      // samples cut into buffers of this size; 0 whole
  size_t repeatFormatBefore = MuxSink::kNever;  // the format change comes again before this sample
  bool littleEndian16 = false;                  // the samples' 16-bit words are swapped on the pin
  bool end = true;                              // an end buffer follows the samples
};

struct ComponentRun {
  uint32_t outputType = 0x80005;  // QVA_MTYPE_MPEG2_PS
  PinInput video;
  PinInput audio;
  std::string url;                // QVAComp_OpenURL when not empty
  bool connectSink = true;
  // Called once everything is pushed, in place of waiting for the end marker before the end.
  std::function<void()> beforeEnd;
};

struct ComponentResult {
  QVAStatus setupStatus = 0;        // the first refused call while setting up, or 0
  std::atomic<QVAStatus> errorStatus{0};  // what the error callback reported last
  bool ended = false;               // the end marker reached the sink
  uint64_t lengthInBytes = 0;       // QVAComp_GetFormat's LenInBytes after the end
};

VideoMediaType MakeVideoType(uint32_t subtype, uint32_t width, uint32_t height, uint32_t framesPer1000s,
                             uint32_t bitRate);
AudioMediaType MakeAudioType(uint32_t subtype, uint32_t sampleRate, uint16_t channels, uint32_t bitRate);
template <class Record>
std::vector<uint8_t> RecordBytes(const Record& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return std::vector<uint8_t>(bytes, bytes + sizeof(Record));
}

// Runs one instance through the whole stream and ends and releases it.
void RunComponent(MuxLibrary& library, const ComponentRun& run, MuxSink& sink, ComponentResult& result);

}  // namespace orx::mux::test
