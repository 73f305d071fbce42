#pragma once
// The transcode engine's test bed: the recorder and behaviours the doubles reach, a search folder
// with the mock encoder and the doubles installed, configurations, and an engine driver that
// counts released frames and keeps what reaches the write callback.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/transcode/tengine.h"
#include "tests/engine/catalogue/loader_test_support.h"
#include "tests/engine/transcode/double_hooks.h"

namespace orx::test {

struct RecordedLine {
  std::string who;
  std::string text;
};

// Everything the doubles recorded since the last clear, in order.
std::vector<RecordedLine> DoubleLines();
// The lines of one double, or the lines of every double that start with prefix.
std::vector<std::string> DoubleLinesOf(const std::string& who);
void ClearDoubleLines();
// The behaviour the double named who shows (reset before every test).
DoubleBehaviour& BehaviourOf(const std::string& who);

// What a write callback received: one entry per call.
struct WrittenPiece {
  uint32_t flags;
  uint64_t seek;  // the seek offset with QVA_BUFFLAG_SEEK
  std::vector<uint8_t> data;
  uint64_t time;
};

// Callbacks and counters of one engine run.
struct EngineSink {
  std::mutex mutex;
  std::condition_variable changed;  // notified under the lock after every write and release
  std::vector<WrittenPiece> pieces;
  std::vector<void*> releasedHandles;  // reference handle of every release (none included)
  std::atomic<uint32_t> releases{0};
  std::atomic<uint32_t> endOfStream{0};
  std::atomic<int64_t> lastDataNanos{0};  // steady clock of the last data piece written
  std::vector<uint8_t> Stream();  // the data pieces joined, seeks applied
  // Waits until `condition` holds; it is asked under the sink's lock (it reads the fields
  // directly). False when the time ran out first.
  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
};
// writeContext is the EngineSink.
QVAStatus SinkWrite(QVAHandle engine, ComponentBuffer* buffer, void* writeContext, void* writeExtra);
QVAStatus SinkRelease(QVAHandle engine, ComponentBuffer* buffer, void* context, void* handle);

// The configuration an export would give for a source frame format and the target sizes.
QVATengineConfig MakeConfig(uint32_t sourceSubtype, uint32_t sourceWidth, uint32_t sourceHeight,
                            uint32_t targetWidth, uint32_t targetHeight);
StreamMediaType MakeTarget(uint32_t majorType, uint32_t subtype);

// An engine set up as the export bridge does: video source with the release callback, audio
// source, target with the write callback into sink.
class EngineDriver {
 public:
  EngineDriver(const QVATengineConfig& config, const StreamMediaType& target);
  ~EngineDriver();
  QVAHandle engine = nullptr;
  EngineSink sink;
  QVAStatus openStatus = QVA_SUCCESS;
  QVAStatus waited = QVA_SUCCESS;  // the engine's wait in Finish
  QVAStatus Run();
  // A frame lent by reference (flags 0x8, 0x4, time stamp, video) with its reference handle.
  QVAStatus DeliverFrame(const std::vector<uint8_t>& frame, uint64_t time, void* handle);
  QVAStatus EndVideo();
  QVAStatus EndAudio();
  // Waits until the sink saw the end of stream; false after the time limit.
  bool WaitForSinkEnd(uint32_t timeoutMs);
  // The export's end: end markers on the sources not ended yet, the wait for the sink's end,
  // flush, the graph wait, release; the release's status.
  QVAStatus Finish();

 private:
  bool videoEnded_ = false;
  bool audioEnded_ = false;
};

// The mock encoder's pictures in a stream, in order.
std::vector<MockPicture> ParsePictures(const std::vector<uint8_t>& stream);

// Each test: a fresh search folder with libqvavenc.so (the mock), qvacmux.so, libqvaaenc.so and
// qvavscaler.so (the doubles), cleared recordings and behaviours; at the end every entry is
// unloaded and no fixture library stays mapped.
class TengineTest : public LoaderTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Whether any of the installed libraries is still mapped.
  bool AnyFixtureMapped() const;
  std::vector<std::string> installed_;
};

}  // namespace orx::test
