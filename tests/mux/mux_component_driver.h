#pragma once
// Drives qvacmux.so as the engine does: loaded by name, one instance created, output format,
// input formats and QVA_PARAM_VIDEOENCODER set, a sink on output pin 0 (or a file named by
// QVAComp_OpenURL), then format-change buffers, samples and end buffers pushed into pins 0 and
// 1 from one thread per pin.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/component_library.h"
#include "media/media_type.h"
#include "tests/mux/es_fixtures.h"

namespace orx::mux::test {

class MuxLibrary {
 public:
  MuxLibrary();  // fails the running test when qvacmux.so cannot be loaded
  ~MuxLibrary();
  MuxLibrary(const MuxLibrary&) = delete;
  MuxLibrary& operator=(const MuxLibrary&) = delete;

  bool Loaded() const { return create != nullptr && release != nullptr; }
  void* module = nullptr;
  QVACompLibGetCountFn libGetCount = nullptr;
  QVACompGetInfoFn getInfo = nullptr;
  QVACompCreateFn create = nullptr;
  QVACompReleaseFn release = nullptr;
};

// The peer of output pin 0: lends buffers of one capacity, keeps what is delivered at the
// current write position (a seek buffer moves it), and can refuse from a given request on.
class MuxSink {
 public:
  static constexpr size_t kNever = std::numeric_limits<size_t>::max();

  explicit MuxSink(uint32_t capacity = 16384, size_t refuseLendingFrom = kNever, size_t refuseDeliveryFrom = kNever)
      : capacity_(capacity), refuseLendingFrom_(refuseLendingFrom), refuseDeliveryFrom_(refuseDeliveryFrom) {}

  static QVAStatus Get(void* self, ComponentBuffer** out);
  static QVAStatus Deliver(void* self, ComponentBuffer* buffer);

  // Waits for the end-of-stream marker; false when it did not come in time.
  bool WaitForEnd(int timeoutMs = 120000) const;
  std::vector<uint8_t> Bytes() const;
  size_t DataBuffers() const;
  uint32_t LargestBuffer() const;
  size_t Seeks() const;
  // Milliseconds of the data buffers, in delivery order.
  std::vector<uint64_t> Times() const;

 private:
  struct Lent {
    ComponentBuffer record{};
    std::vector<uint8_t> storage;
  };
  const uint32_t capacity_;
  const size_t refuseLendingFrom_;
  const size_t refuseDeliveryFrom_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::unique_ptr<Lent>> lent_;
  size_t requests_ = 0;
  size_t deliveries_ = 0;
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  size_t dataBuffers_ = 0;
  uint32_t largest_ = 0;
  size_t seeks_ = 0;
  std::vector<uint64_t> times_;
  bool ended_ = false;
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
