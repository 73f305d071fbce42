#pragma once
// The test program links the framework directly, so it defines the three hooks itself; tests
// replace their behaviour and count their calls. TestLibrary initialises the program's library
// record with test descriptors.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "framework/component_library.h"

namespace orx::test {

using CreateHookFn = QVAStatus (*)(ComponentInstance*);
using ProcessHookFn = QVAStatus (*)(ComponentInstance*, ComponentBuffer*);
using DestroyHookFn = QVAStatus (*)(ComponentInstance*);

// The hooks' defaults follow the hook contract: create runs CompBase_Init from NONE, destroy
// runs CompBase_Deinit, process answers 0.
QVAStatus DefaultCreateHook(ComponentInstance* instance);
QVAStatus DefaultProcessHook(ComponentInstance* instance, ComponentBuffer* buffer);
QVAStatus DefaultDestroyHook(ComponentInstance* instance);

struct TestHooks {
  std::atomic<CreateHookFn> create{DefaultCreateHook};
  std::atomic<ProcessHookFn> process{DefaultProcessHook};
  std::atomic<DestroyHookFn> destroy{DefaultDestroyHook};
  std::atomic<int> createCalls{0};
  std::atomic<int> processCalls{0};
  std::atomic<int> destroyCalls{0};
  void Reset();
};
TestHooks& Hooks();

// Descriptors of the test program's library: a video encoder (1 in, 1 out), a multiplexer
// (2 in, 1 out, at most 16 instances) and a sink without output pins.
extern const ComponentInfo kTestEncoder;
extern const ComponentInfo kTestMuxer;
extern const ComponentInfo kTestSink;

// A process hook that passes data buffers on to output pin 0 (through an empty buffer of the
// peer), sets PLAYING on a format record while the worker runs, and clears the end-of-stream
// word on a buffer that starts a batch, as the video encoder does. Rounds without a buffer
// answer 30.
QVAStatus ForwardingProcessHook(ComponentInstance* instance, ComponentBuffer* buffer);

// Collects the records in an instance's unconnected output queue (flags, length, data).
struct PulledRecord {
  uint32_t flags;
  uint32_t length;
  std::vector<uint8_t> data;
};
std::vector<PulledRecord> DrainOutput(ComponentInstance* instance, uint32_t timeoutMs = 0);

// A worker that only waits until it is told to stop.
uint32_t IdleWorker(QVAHandle thread, void* instance);

// Initialises the library record with the test descriptors; checks at the end that every
// instance a test made was released and no thread is left.
class TestLibrary : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  ComponentInstance* Create(const ComponentInfo& descriptor, uint32_t privateSize = 0);
};

// Threads of this process (entries of /proc/self/task).
int ThreadCount();
// The count to compare with later: a runtime's own helper threads (ThreadSanitizer starts one
// with the first thread a program makes) are running by then.
int BaselineThreadCount();
// Waits a little for joined threads to leave /proc, then answers the count.
int SettledThreadCount(int expected);

// Records PROGRESS_STATE events: the state changes (old, new) and the flags of every event.
struct StateEvents {
  std::vector<std::pair<uint32_t, uint32_t>> changes;
  std::vector<uint32_t> flags;
  void Attach(ComponentInstance* instance);
  // Copies taken under the recorder's lock, for events that come from a running worker.
  std::vector<std::pair<uint32_t, uint32_t>> Changes() const;
  std::vector<uint32_t> Flags() const;
  // Waits until `last` is the latest change; false when the time ran out first.
  bool WaitForLastChange(std::pair<uint32_t, uint32_t> last) const;
};

}  // namespace orx::test
