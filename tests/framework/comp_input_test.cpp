#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/framework/test_component.h"
#include "tests/support/waiting.h"

namespace orx::test {
namespace {

using CompInput = TestLibrary;
using Clock = std::chrono::steady_clock;

// A started component whose output pin 0 feeds its own output queue.
ComponentInstance* Started(TestLibrary& library, ComponentInstance* instance) {
  EXPECT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 8192, 8), QVA_SUCCESS);
  EXPECT_EQ(instance->methods.QVAComp_Start(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
  (void)library;
  return instance;
}

void Finish(ComponentInstance* instance) {
  EXPECT_EQ(instance->methods.QVAComp_End(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
}

ComponentBuffer Record(uint32_t flags, uint8_t* data = nullptr, uint32_t length = 0) {
  ComponentBuffer b{};
  b.flags = flags | QVA_BUFFLAG_EXTERNAL;
  b.frameworkMark = 1;
  b.data = data;
  b.length = b.capacity = length;
  return b;
}

int CountEndMarkers(const std::vector<PulledRecord>& records) {
  int n = 0;
  for (const PulledRecord& r : records) n += (r.flags & QVA_BUFFLAG_EOS) && !(r.flags & QVA_BUFFLAG_EOI) ? 1 : 0;
  return n;
}

TEST_F(CompInput, TheMultiVideoEncoderFeedsAndCollectsAnInstance) {
  Hooks().process = ForwardingProcessHook;
  ComponentInstance* encoder = Started(*this, Create(kTestEncoder));
  for (int batch = 0; batch < 2; ++batch) {
    SCOPED_TRACE(batch);
    // Take every input slot: the next request answers at once.
    ComponentBuffer* slots[2] = {};
    ASSERT_EQ(encoder->methods.QVAComp_GetInputBuffer(encoder, 0, &slots[0], 0), QVA_SUCCESS);
    ASSERT_EQ(encoder->methods.QVAComp_GetInputBuffer(encoder, 0, &slots[1], 0), QVA_SUCCESS);
    ComponentBuffer* none = reinterpret_cast<ComponentBuffer*>(1);
    const auto start = Clock::now();
    EXPECT_EQ(encoder->methods.QVAComp_GetInputBuffer(encoder, 0, &none, 0), QVA_ERR_NOBUFFERS);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(none, nullptr);
    PinBufferConfig config{};
    config.pinIndex = 0;
    ASSERT_EQ(CompBase_GetParam(encoder, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
    EXPECT_EQ(+config.slotsInUse, 2u);
    EXPECT_EQ(+config.flags & QVA_PINBUF_STATUS_VALID, QVA_PINBUF_STATUS_VALID);
    // The filled slot is pushed back and committed as it is; the other goes back unused.
    uint8_t* filled = slots[0]->data;
    std::memset(filled, 0x40 + batch, 100);
    slots[0]->length = 100;
    slots[0]->flags = batch == 1 ? QVA_BUFFLAG_BATCHSTART : 0;
    uint32_t taken = 0;
    EXPECT_EQ(encoder->methods.QVAComp_PushInput(encoder, 0, slots[0], QVA_INFINITE, &taken), QVA_SUCCESS);
    EXPECT_EQ(taken, 100u);
    EXPECT_EQ(encoder->methods.QVAComp_ReleaseBuffer(encoder, 0, slots[1]), QVA_SUCCESS);
    ComponentBuffer end = Record(QVA_BUFFLAG_EOS);
    EXPECT_EQ(encoder->methods.QVAComp_PushInput(encoder, 0, &end, QVA_INFINITE, &taken), QVA_SUCCESS);
    std::vector<PulledRecord> out;
    while (CountEndMarkers(out) == 0) {
      auto more = DrainOutput(encoder, 50);
      out.insert(out.end(), more.begin(), more.end());
    }
    auto rest = DrainOutput(encoder, 100);
    out.insert(out.end(), rest.begin(), rest.end());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].length, 100u);
    EXPECT_EQ(out[0].data[99], 0x40 + batch);
    EXPECT_EQ(CountEndMarkers(out), 1);
    config = PinBufferConfig{};
    ASSERT_EQ(CompBase_GetParam(encoder, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
    EXPECT_EQ(+config.slotsInUse, 0u);
    EXPECT_EQ(+config.bytesQueued, 0u);
  }
  EXPECT_EQ(encoder->methods.QVAComp_GetInputBuffer(encoder, 2, nullptr, 0), QVA_ERR_BADARG);
  ComponentBuffer* any = nullptr;
  EXPECT_EQ(encoder->methods.QVAComp_GetInputBuffer(encoder, 2, &any, 0), QVA_ERR_BADPIN);
  Finish(encoder);
}

std::atomic<std::thread::id> g_hookThread;
std::atomic<uint32_t> g_processLockCount{0};
CountingEvent g_hookRan;

QVAStatus RecordingHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  g_hookThread = std::this_thread::get_id();
  g_processLockCount = QVAGetLockCount(instance->processLock);
  g_hookRan.Raise();
  return QVA_SUCCESS;
}

QVAStatus DrainingHook(ComponentInstance* instance, ComponentBuffer*) {
  ComponentBuffer* in = nullptr;
  if (CompBase_TakeInput(instance, 0, &in, 0) != QVA_SUCCESS) return QVA_ERR_NOBUFFER;
  CompBase_ReturnInput(instance, 0, in);
  return QVA_SUCCESS;
}

CountingEvent g_buffersKept;
QVAStatus KeepingHook(ComponentInstance*, ComponentBuffer* buffer) {
  if (buffer != nullptr) {
    buffer->flags |= QVA_BUFFLAG_KEEP;
    g_buffersKept.Raise();
  }
  return QVA_SUCCESS;
}

TEST_F(CompInput, DeliveryAndPushEdgeCases) {
  std::vector<uint8_t> data(10000, 0x5A);

  // A foreign 10000-byte record is split over two 8192-byte slots; bytes read says 10000.
  ComponentInstance* a = Create(kTestEncoder);
  ASSERT_EQ(CompCreateHook(a), QVA_SUCCESS);
  ComponentBuffer big = Record(0, data.data(), 10000);
  EXPECT_EQ(CompBase_DeliverInput0(a, &big), QVA_SUCCESS);
  EXPECT_EQ(big.bytesRead, 10000u);
  uint32_t inUse = 0;
  BufferQueue_GetStatus(a->inputPin[0].queue, nullptr, nullptr, &inUse, nullptr);
  EXPECT_EQ(inUse, 2u);
  CompBase_Deinit(a);
  CompBase_Release(a);

  // A push in state NONE grows the pin to the buffer, in steps of 1024 bytes.
  ComponentInstance* b = Create(kTestEncoder);
  b->inputPin[0].bufferSize = 2048;
  ComponentBuffer push5000 = Record(0, data.data(), 5000);
  uint32_t taken = 0;
  EXPECT_EQ(CompBase_PushInput(b, 0, &push5000, 0, &taken), QVA_SUCCESS);
  EXPECT_EQ(taken, 5000u);
  uint32_t slotSize = 0;
  BufferQueue_GetStatus(b->inputPin[0].queue, nullptr, &slotSize, nullptr, nullptr);
  EXPECT_EQ(slotSize, 5120u);
  EXPECT_EQ(CompBase_PushInput(b, 1, &push5000, 0, &taken), QVA_ERR_BADPIN);  // one input pin
  EXPECT_EQ(CompBase_PushInput(b, 2, &push5000, 0, &taken), QVA_ERR_BADARG);
  EXPECT_EQ(CompBase_PushInput(b, 0, nullptr, 0, &taken), QVA_ERR_NOBUFFER);
  EXPECT_EQ(CompBase_PushInput(nullptr, 0, &push5000, 0, &taken), QVA_ERR_BADHANDLE);
  CompBase_Deinit(b);
  CompBase_Release(b);

  // Format records into a running component with an empty queue: an audio one runs the hook on
  // the caller's thread under the process lock; a video one is queued for the worker.
  Hooks().process = RecordingHook;
  ComponentInstance* c = Started(*this, Create(kTestEncoder));
  uint8_t format[156] = {};
  ComponentBuffer audio = Record(QVA_BUFFLAG_FORMAT_AUDIO, format, 136);
  g_hookThread = std::thread::id();
  EXPECT_EQ(CompBase_PushInput(c, 0, &audio, 0, &taken), QVA_SUCCESS);
  EXPECT_EQ(g_hookThread.load(), std::this_thread::get_id());
  EXPECT_EQ(g_processLockCount.load(), 1u);
  ComponentBuffer video = Record(QVA_BUFFLAG_FORMAT_VIDEO, format, 156);
  g_hookThread = std::thread::id();
  g_hookRan.Reset();
  EXPECT_EQ(CompBase_PushInput(c, 0, &video, QVA_INFINITE, &taken), QVA_SUCCESS);
  ASSERT_TRUE(g_hookRan.WaitFor(1)) << "the worker did not take the video format";
  EXPECT_NE(g_hookThread.load(), std::this_thread::get_id());
  Finish(c);

  // Input mode 3 without a worker: the queue takes part of the push, which answers 41.
  ComponentInstance* d = Create(kTestEncoder);
  CompBase_SetInputMode(d, 3);
  d->inputPin[0].bufferSize = 4096;
  ASSERT_EQ(CompCreateHook(d), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetInputPin(d, 0, nullptr, nullptr, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_PushInput(d, 0, &big, 0, &taken), QVA_ERR_FULL);
  EXPECT_EQ(taken, 8192u);
  CompBase_Deinit(d);
  CompBase_Release(d);

  // Without output pins, idle rounds of the hook make room until the whole push is taken.
  Hooks().process = DrainingHook;
  ComponentInstance* sink = Create(kTestSink);
  CompBase_SetInputMode(sink, 3);
  sink->inputPin[0].bufferSize = 4096;
  ASSERT_EQ(CompCreateHook(sink), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetInputPin(sink, 0, nullptr, nullptr, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_PushInput(sink, 0, &big, 0, &taken), QVA_SUCCESS);
  EXPECT_EQ(taken, 10000u);
  EXPECT_EQ(big.data, data.data());  // the record is given back as it came
  EXPECT_EQ(big.length, 10000u);
  CompBase_Deinit(sink);
  CompBase_Release(sink);

  // A hook that keeps every buffer fills the queue after bufferCount of them.
  Hooks().process = KeepingHook;
  g_buffersKept.Reset();
  ComponentInstance* e = Started(*this, Create(kTestEncoder));
  uint8_t small[16] = {};
  for (int i = 0; i < 2; ++i) {
    ComponentBuffer b16 = Record(0, small, 16);
    EXPECT_EQ(CompBase_PushInput(e, 0, &b16, QVA_INFINITE, &taken), QVA_SUCCESS);
  }
  EXPECT_TRUE(g_buffersKept.WaitFor(2));
  ComponentBuffer third = Record(0, small, 16);
  EXPECT_EQ(CompBase_PushInput(e, 0, &third, 0, &taken), QVA_ERR_TIMEOUT);
  Finish(e);
}

// The engine ends a graph from its sinks up, so a producer upstream may still wait inside a
// delivery when End destroys the input queue it writes to. End releases the waiting write, which
// answers an error, and waits for it to leave before the queue is freed; later deliveries are
// refused.
TEST_F(CompInput, AnEndReleasesAProducerWaitingInItsInputQueue) {
  Hooks().process = KeepingHook;
  g_buffersKept.Reset();
  ComponentInstance* e = Started(*this, Create(kTestEncoder));
  CountingEvent attempts;
  std::vector<QVAStatus> statuses;
  std::thread producer([&] {
    uint8_t small[16] = {};
    for (int i = 0; i < 8; ++i) {
      ComponentBuffer b16 = Record(0, small, 16);
      attempts.Raise();
      statuses.push_back(CompBase_DeliverInput0(e, &b16));
    }
  });
  EXPECT_TRUE(g_buffersKept.WaitFor(2));
  EXPECT_TRUE(attempts.WaitFor(3));  // the third delivery waits for room that never comes
  EXPECT_EQ(e->methods.QVAComp_End(e), QVA_SUCCESS);
  producer.join();
  ASSERT_EQ(statuses.size(), 8u);
  EXPECT_EQ(statuses[0], QVA_SUCCESS);
  EXPECT_EQ(statuses[1], QVA_SUCCESS);
  for (size_t i = 2; i < statuses.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(statuses[i], QVA_SUCCESS);
  }
  EXPECT_EQ(CompBase_Release(e), QVA_SUCCESS);
}

std::atomic<int> g_errorCalls{0};
std::atomic<uint32_t> g_errorStatus{0};
void CountError(ComponentInstance*, QVAStatus status, uint32_t, void*) {
  g_errorCalls++;
  g_errorStatus = status;
}

QVAStatus FailFirst(ComponentInstance*, ComponentBuffer* buffer) {
  return buffer != nullptr ? QVA_ERR_EXECUTION : QVA_ERR_NOBUFFER;
}

TEST_F(CompInput, AFailingHookEndsTheStreamWithOneMarker) {
  const int threadsBefore = BaselineThreadCount();
  const uint32_t bytesBefore = QVAGetMemCounters().liveBytes;
  Hooks().process = FailFirst;
  ComponentInstance* c = Started(*this, Create(kTestEncoder));
  g_errorCalls = 0;
  CompBase_SetErrorCallback(c, CountError, nullptr);
  StateEvents events;
  events.Attach(c);
  uint8_t data[32] = {};
  ComponentBuffer b = Record(0, data, 32);
  uint32_t taken = 0;
  EXPECT_EQ(CompBase_PushInput(c, 0, &b, QVA_INFINITE, &taken), QVA_SUCCESS);
  // The worker reports its last change (to INIT) as it ends.
  using Change = std::pair<uint32_t, uint32_t>;
  const Change last{QVA_STATE_STOPPING, QVA_STATE_INIT};
  EXPECT_TRUE(events.WaitForLastChange(last));
  EXPECT_EQ(CompBase_GetStateWord(c), QVA_STATE_INIT);
  EXPECT_EQ(c->lastStatus.load(), QVA_ERR_EXECUTION);
  EXPECT_EQ(g_errorCalls.load(), 1);
  EXPECT_EQ(g_errorStatus.load(), QVA_ERR_EXECUTION);
  const auto changes = events.Changes();
  ASSERT_GE(changes.size(), 2u);
  EXPECT_EQ(changes[changes.size() - 2], (Change{QVA_STATE_STARTING, QVA_STATE_STOPPING}));
  EXPECT_EQ(changes.back(), last);
  int eosNotices = 0;
  for (uint32_t flags : events.Flags()) eosNotices += (flags & QVA_PROGRESSFLAG_EOS) ? 1 : 0;
  EXPECT_EQ(eosNotices, 1);
  const auto out = DrainOutput(c);
  EXPECT_EQ(CountEndMarkers(out), 1);
  EXPECT_EQ(out.size(), 1u);
  CompBase_SetEventCallback(c, nullptr, 0, nullptr);
  Finish(c);
  // The library goes on working after it.
  Hooks().process = ForwardingProcessHook;
  ComponentInstance* again = Started(*this, Create(kTestEncoder));
  Finish(again);
  EXPECT_EQ(SettledThreadCount(threadsBefore), threadsBefore);
  EXPECT_EQ(QVAGetMemCounters().liveBytes, bytesBefore);
}

TEST_F(CompInput, EndMarkersFollowTheEndWords) {
  Hooks().process = ForwardingProcessHook;
  ComponentInstance* c = Started(*this, Create(kTestEncoder));
  StateEvents events;
  events.Attach(c);
  uint32_t taken = 0;
  ComponentBuffer both = Record(QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI);
  EXPECT_EQ(CompBase_PushInput(c, 0, &both, QVA_INFINITE, &taken), QVA_SUCCESS);
  ComponentBuffer again = Record(QVA_BUFFLAG_EOS);
  EXPECT_EQ(CompBase_PushInput(c, 0, &again, QVA_INFINITE, &taken), QVA_SUCCESS);
  std::vector<PulledRecord> out;
  for (int i = 0; i < 100 && out.size() < 2; ++i) {
    auto more = DrainOutput(c, 20);
    out.insert(out.end(), more.begin(), more.end());
  }
  auto rest = DrainOutput(c, 200);
  out.insert(out.end(), rest.begin(), rest.end());
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].flags & ~QVA_BUFFLAG_ENDTIME, QVA_BUFFLAG_EOS);
  EXPECT_EQ(out[1].flags & ~QVA_BUFFLAG_ENDTIME, QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI);
  EXPECT_EQ(CompBase_GetEOS(c) & 0x10, 0x10u);
  EXPECT_EQ(CompBase_GetEOI(c) & 0x1000, 0x1000u);
  int eosNotices = 0;
  for (uint32_t flags : events.flags) eosNotices += (flags & QVA_PROGRESSFLAG_EOS) ? 1 : 0;
  EXPECT_EQ(eosNotices, 1);
  CompBase_SetEventCallback(c, nullptr, 0, nullptr);

  // An end marker pulled into the caller's own record: its flags and length 0.
  ComponentInstance* d = Create(kTestEncoder);
  ASSERT_EQ(CompBase_SetupOutputPin(d, 0, nullptr, nullptr, d, 1024, 4), QVA_SUCCESS);
  ASSERT_EQ(CompBase_SendEndMarker(d, 0, 0), QVA_SUCCESS);
  CompBase_SetTimestamp(d, 0, 1234, 0);
  ASSERT_EQ(CompBase_SendEndMarker(d, 0, 0), QVA_SUCCESS);
  uint8_t room[64];
  for (uint32_t expected : {QVA_BUFFLAG_EOS, QVA_BUFFLAG_EOS | QVA_BUFFLAG_ENDTIME}) {
    ComponentBuffer own{};
    own.data = room;
    own.capacity = sizeof room;
    own.length = 99;
    ComponentBuffer* pointer = &own;
    EXPECT_EQ(CompBase_PullOutput(d, 0, &pointer, 0), QVA_SUCCESS);
    EXPECT_EQ(own.flags, expected);
    EXPECT_EQ(own.length, 0u);
  }
  EXPECT_EQ(CompBase_Deinit(d), QVA_SUCCESS);
  CompBase_Release(d);
  Finish(c);
}

// Forwards data as ForwardingProcessHook does, counting each frame as an encoder counts it.
QVAStatus CountingForwardHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  const bool frame = buffer != nullptr && buffer->length != 0 && !(buffer->flags & QVA_BUFFLAG_FORMAT);
  const QVAStatus status = ForwardingProcessHook(instance, buffer);
  if (frame) CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  return status;
}

// A format record after frames begins a new stream: the running one is ended downstream first.
// A component that keeps its stream through a format change (its output goes on unchanged) sends
// no end in the middle; after a real end its next stream still ends again.
TEST_F(CompInput, AFormatRecordMidStreamEndsTheStreamUnlessTheComponentKeepsIt) {
  Hooks().process = CountingForwardHook;
  for (uint32_t keeps : {0u, 1u}) {
    SCOPED_TRACE(keeps);
    ComponentInstance* c = Create(kTestEncoder);
    CompBase_SetFormatKeepsStream(c, keeps);
    Started(*this, c);
    uint8_t format[156] = {};
    uint8_t frame[32] = {1};
    uint32_t taken = 0;
    const std::vector<ComponentBuffer> records = {
        Record(QVA_FORMATRECORD_VIDEO, format, sizeof format), Record(0, frame, sizeof frame),
        Record(QVA_FORMATRECORD_VIDEO, format, sizeof format), Record(0, frame, sizeof frame),
        Record(QVA_BUFFLAG_EOS),
        Record(QVA_FORMATRECORD_VIDEO, format, sizeof format), Record(0, frame, sizeof frame),
        Record(QVA_BUFFLAG_EOS)};
    for (ComponentBuffer b : records) EXPECT_EQ(CompBase_PushInput(c, 0, &b, QVA_INFINITE, &taken), QVA_SUCCESS);
    std::vector<PulledRecord> out;
    for (int i = 0; i < 200 && CountEndMarkers(out) < (keeps ? 2 : 3); ++i) {
      auto more = DrainOutput(c, 10);
      out.insert(out.end(), more.begin(), more.end());
    }
    std::string shape;
    for (const PulledRecord& r : out) shape += r.length != 0 ? 'F' : (r.flags & QVA_BUFFLAG_EOS) ? 'E' : '?';
    EXPECT_EQ(shape, keeps ? "FFEFE" : "FEFEFE");
    Finish(c);
  }
}

// A hook that holds back its last frame, as an encoder holds B pictures waiting for an anchor:
// a frame hands on the one held before; a format record or an end hands on the held one (the
// old stream's last output), and a format record then sends its own format on when asked to.
std::vector<uint8_t> g_heldFrame;
std::atomic<bool> g_sendsFormatOn{false};
QVAStatus EmitRecord(ComponentInstance* instance, uint32_t flags, const std::vector<uint8_t>& data) {
  ComponentBuffer* out = nullptr;
  const QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &out);
  if (status != QVA_SUCCESS) return status;
  std::memcpy(out->data, data.data(), data.size());
  out->length = static_cast<uint32_t>(data.size());
  out->flags = flags;
  return CompBase_DeliverOutput(instance, 0, out);
}
QVAStatus HoldsLastFrameHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  QVAStatus status = QVA_SUCCESS;
  if (!g_heldFrame.empty()) status = EmitRecord(instance, 0, g_heldFrame);
  g_heldFrame.clear();
  if (buffer->flags & QVA_BUFFLAG_FORMAT) {
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
    if (status == QVA_SUCCESS && g_sendsFormatOn) status = EmitRecord(instance, QVA_FORMATRECORD_VIDEO, {0});
  } else if (buffer->length != 0) {
    g_heldFrame.assign(buffer->data, buffer->data + buffer->length);
    CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  }
  return status;
}

// The end of a stream that a format record closes reaches downstream after the output the hook
// hands on for that stream while handling the record, and before the format it sends for the
// next one: nothing of the old stream follows its end. A component that keeps its stream sees
// no end there.
TEST_F(CompInput, TheOldStreamsLastOutputGoesBeforeTheEndAFormatRecordBrings) {
  Hooks().process = HoldsLastFrameHook;
  struct Case {
    uint32_t keeps;
    bool sendsFormatOn;
    const char* shape;  // M format record, digits frames, E end of stream
  };
  for (const Case& t : {Case{0, true, "M1EM2E"}, Case{0, false, "1E2E"}, Case{1, true, "M1M2E"}}) {
    SCOPED_TRACE(t.shape);
    g_heldFrame.clear();
    g_sendsFormatOn = t.sendsFormatOn;
    ComponentInstance* c = Create(kTestEncoder);
    CompBase_SetFormatKeepsStream(c, t.keeps);
    Started(*this, c);
    uint8_t format[156] = {};
    uint8_t first[8] = {1};
    uint8_t second[8] = {2};
    uint32_t taken = 0;
    const std::vector<ComponentBuffer> records = {
        Record(QVA_FORMATRECORD_VIDEO, format, sizeof format), Record(0, first, sizeof first),
        Record(QVA_FORMATRECORD_VIDEO, format, sizeof format), Record(0, second, sizeof second),
        Record(QVA_BUFFLAG_EOS)};
    for (ComponentBuffer b : records) EXPECT_EQ(CompBase_PushInput(c, 0, &b, QVA_INFINITE, &taken), QVA_SUCCESS);
    const int ends = t.keeps ? 1 : 2;
    std::vector<PulledRecord> out;
    for (int i = 0; i < 200 && CountEndMarkers(out) < ends; ++i) {
      auto more = DrainOutput(c, 10);
      out.insert(out.end(), more.begin(), more.end());
    }
    auto rest = DrainOutput(c, 50);
    out.insert(out.end(), rest.begin(), rest.end());
    std::string shape;
    for (const PulledRecord& r : out) {
      if (r.flags & QVA_BUFFLAG_FORMAT) shape += 'M';
      else if (r.flags & QVA_BUFFLAG_EOS) shape += 'E';
      else shape += r.length != 0 ? static_cast<char>('0' + r.data[0]) : '?';
    }
    EXPECT_EQ(shape, t.shape);
    Finish(c);
  }
}

CountingEvent g_roundsWithABuffer;
QVAStatus BusyThreeRounds(ComponentInstance*, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  g_roundsWithABuffer.Raise();
  return g_roundsWithABuffer.Count() <= 3 ? QVA_ERR_STOPPED : QVA_SUCCESS;
}

TEST_F(CompInput, WorkerRoundsPausesAndSynchronousPulls) {
  // A hook answering 19 makes the worker sleep 50 ms per round; each buffer comes back after it.
  g_roundsWithABuffer.Reset();
  Hooks().process = BusyThreeRounds;
  ComponentInstance* c = Started(*this, Create(kTestEncoder));
  uint8_t data[8] = {};
  uint32_t taken = 0;
  const auto start = Clock::now();
  for (int i = 0; i < 4; ++i) {
    ComponentBuffer b = Record(0, data, 8);
    EXPECT_EQ(CompBase_PushInput(c, 0, &b, QVA_INFINITE, &taken), QVA_SUCCESS);
  }
  ASSERT_TRUE(g_roundsWithABuffer.WaitFor(4));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  // The fourth buffer goes back to the queue as its round ends.
  EXPECT_TRUE(PollUntil([c] {
    uint32_t inUse = 1;
    BufferQueue_GetStatus(c->inputPin[0].queue, nullptr, nullptr, &inUse, nullptr);
    return inUse == 0;
  }));

  // A pause completes at the end of the round that follows it, once progress was pending.
  CompBase_SetState(c, QVA_STATE_PLAYING);
  CompBase_SetProgressPending(c, 2);
  EXPECT_EQ(CompBase_SendCommand(c, CMD_PAUSE, 0, 0, 0, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(c), QVA_STATE_PAUSING);
  ComponentBuffer b = Record(0, data, 8);
  EXPECT_EQ(CompBase_PushInput(c, 0, &b, QVA_INFINITE, &taken), QVA_SUCCESS);
  EXPECT_EQ(CompBase_WaitForState(c, QVA_STATE_PAUSED, 2000), 1u);
  Finish(c);

  // Without a worker a pull runs one round on the caller's thread and hands out its output.
  Hooks().process = ForwardingProcessHook;
  ComponentInstance* d = Create(kTestEncoder);
  ASSERT_EQ(CompCreateHook(d), QVA_SUCCESS);
  std::memset(data, 7, sizeof data);
  ComponentBuffer in = Record(0, data, 8);
  ASSERT_EQ(CompBase_DeliverInput0(d, &in), QVA_SUCCESS);
  ComponentBuffer* out = nullptr;
  ASSERT_EQ(CompBase_PullOutput(d, 0, &out, 0), QVA_SUCCESS);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->length, 8u);
  EXPECT_EQ(out->data[7], 7);
  EXPECT_EQ(CompBase_ReleaseBuffer(d, 0, out), QVA_SUCCESS);
  EXPECT_EQ(CompBase_PullOutput(d, 0, &out, 0), QVA_ERR_NOBUFFERS);
  EXPECT_EQ(CompBase_PullOutput(d, 4, &out, 0), QVA_ERR_BADPIN);
  EXPECT_EQ(CompBase_PullOutput(d, 0, nullptr, 0), QVA_ERR_BADARG);
  CompBase_Deinit(d);
  CompBase_Release(d);
}

TEST_F(CompInput, EntryPointsWithoutAContextUseTheFirstLiveInstance) {
  ComponentBuffer* slot = reinterpret_cast<ComponentBuffer*>(1);
  uint8_t data[8] = {};
  ComponentBuffer b = Record(0, data, 8);
  // No instance 0: answered, nothing handed out, nothing touched.
  EXPECT_EQ(CompBase_GetEmptyInput0(nullptr, &slot), QVA_ERR_BADHANDLE);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(CompBase_DeliverInput0(nullptr, &b), QVA_ERR_BADHANDLE);
  ComponentInstance* first = Create(kTestEncoder);
  ComponentInstance* second = Create(kTestEncoder);
  ASSERT_EQ(CompCreateHook(first), QVA_SUCCESS);
  EXPECT_EQ(CompBase_DeliverInput0(nullptr, &b), QVA_SUCCESS);  // into the first instance's queue
  uint32_t inUse = 0;
  BufferQueue_GetStatus(first->inputPin[0].queue, nullptr, nullptr, &inUse, nullptr);
  EXPECT_EQ(inUse, 1u);
  CompBase_Deinit(first);
  CompBase_Release(first);
  // The first instance is gone: its remembered place is empty, so nothing reaches it.
  EXPECT_EQ(CompBase_DeliverInput0(nullptr, &b), QVA_ERR_BADHANDLE);
  CompBase_Release(second);
}

TEST_F(CompInput, TakingInputAndWaitingAfterAFormat) {
  ComponentInstance* c = Create(kTestEncoder);
  ComponentBuffer* b = nullptr;
  EXPECT_EQ(CompBase_TakeInput(c, 0, &b, 0), QVA_ERR_COMPONENTS);
  EXPECT_EQ(c->lastStatus.load(), QVA_ERR_COMPONENTS);
  ASSERT_EQ(CompCreateHook(c), QVA_SUCCESS);
  ASSERT_EQ(CompBase_StartThread(c, IdleWorker, 0), QVA_SUCCESS);
  CompBase_SetState(c, QVA_STATE_STOPPING);  // closes the input queues
  EXPECT_EQ(CompBase_TakeInput(c, 0, &b, 0), QVA_ERR_STOPPED);
  EXPECT_EQ(CompBase_GetEmptyInput0(c, &b), QVA_ERR_STOPPED);

  // A format delivered to a STARTING component returns once the state moves on, within 1 s.
  CompBase_SetState(c, QVA_STATE_STARTING);
  uint8_t format[156] = {};
  ComponentBuffer record = Record(QVA_BUFFLAG_FORMAT_VIDEO, format, 156);
  std::thread mover([c] {
    QVASleep(150);  // how long the delivery is kept waiting
    CompBase_SetState(c, QVA_STATE_PLAYING);
  });
  auto start = Clock::now();
  EXPECT_EQ(CompBase_DeliverInput0(c, &record), QVA_SUCCESS);
  auto waited = Clock::now() - start;
  mover.join();
  EXPECT_GE(waited, std::chrono::milliseconds(140));
  EXPECT_LT(waited, std::chrono::milliseconds(900));
  CompBase_FlushQueues(c, 0, 0xFFFFFFFF, 0);
  CompBase_SetState(c, QVA_STATE_STARTING);
  start = Clock::now();
  EXPECT_EQ(CompBase_DeliverInput0(c, &record), QVA_SUCCESS);
  waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(CompBase_StopThread(c, QVA_INFINITE), QVA_SUCCESS);
  CompBase_Deinit(c);
  CompBase_Release(c);
}

QVAStatus AudioVideoFormat(ComponentInstance*, uint32_t direction, uint32_t, void* record) {
  EXPECT_EQ(direction, 1u);
  uint32_t size;
  std::memcpy(&size, record, 4);
  std::memset(static_cast<uint8_t*>(record) + 4, size == 136 ? 0xA0 : 0xB0, size - 4);
  return QVA_SUCCESS;
}

std::atomic<uint32_t> g_otherFormatSize{0};
QVAStatus OtherFormat(ComponentInstance*, uint32_t, uint32_t, void* record) {
  const uint32_t size = g_otherFormatSize.load();
  std::memcpy(record, &size, 4);
  return QVA_SUCCESS;
}

TEST_F(CompInput, FormatChangesByClass) {
  ComponentInfo both = kTestEncoder;
  both.typeFlags = QVA_TYPE_AUDIO | QVA_TYPE_VIDEO | QVA_TYPE_ENCODER;
  both.methods.QVAComp_GetFormat = AudioVideoFormat;
  ComponentInstance* c = nullptr;
  ASSERT_EQ(CompBase_CreateInstance(&both, 0, &c), QVA_SUCCESS);
  ASSERT_EQ(CompBase_SetupOutputPin(c, 0, nullptr, nullptr, c, 1024, 8), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SendFormatChange(c, 0), QVA_SUCCESS);
  auto out = DrainOutput(c);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].flags, QVA_BUFFLAG_FORMAT_AUDIO);
  EXPECT_EQ(out[0].length, 136u);
  EXPECT_EQ(out[0].data[135], 0xA0);
  EXPECT_EQ(out[1].flags, QVA_BUFFLAG_FORMAT_VIDEO);
  EXPECT_EQ(out[1].length, 156u);

  // A component of no class sets the record's size; it must fit the 272-byte record.
  ComponentInfo other = kTestEncoder;
  other.typeFlags = QVA_TYPE_MULTIPLEXER;
  other.methods.QVAComp_GetFormat = OtherFormat;
  ComponentInstance* d = nullptr;
  ASSERT_EQ(CompBase_CreateInstance(&other, 0, &d), QVA_SUCCESS);
  ASSERT_EQ(CompBase_SetupOutputPin(d, 0, nullptr, nullptr, d, 1024, 8), QVA_SUCCESS);
  g_otherFormatSize = 300;
  EXPECT_EQ(CompBase_SendFormatChange(d, 0), QVA_ERR_TOOSMALL);
  g_otherFormatSize = 200;
  EXPECT_EQ(CompBase_SendFormatChange(d, 0), QVA_SUCCESS);
  out = DrainOutput(d);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].flags, QVA_BUFFLAG_FORMAT);
  EXPECT_EQ(out[0].length, 200u);
  ComponentInstance* none = Create(kTestEncoder);
  EXPECT_EQ(CompBase_SendFormatChange(none, 0), QVA_ERR_UNSUPPORTED);
  for (ComponentInstance* i : {c, d, none}) {
    CompBase_Deinit(i);
    CompBase_Release(i);
  }
}

CountingEvent g_hookHolds;
CountingEvent g_hookMayReturn;
QVAStatus HoldingHook(ComponentInstance*, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  g_hookHolds.Raise();
  g_hookMayReturn.WaitFor(1);
  EXPECT_EQ(buffer->data[0], 0x77);  // still the host's frame: not handed back early
  return QVA_SUCCESS;
}

CountingEvent g_framesReleased;
void ReleaseFrame(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void*) {
  if (!(buffer->flags & QVA_BUFFLAG_INPLACE)) return;
  delete[] buffer->data;
  g_framesReleased.Raise();
}

TEST_F(CompInput, ALentFrameTheWorkerReadsSurvivesAnEmptyCommand) {
  Hooks().process = HoldingHook;
  g_hookHolds.Reset();
  g_hookMayReturn.Reset();
  g_framesReleased.Reset();
  ComponentInstance* c = Started(*this, Create(kTestEncoder));
  ASSERT_EQ(CompBase_SetPinCallback(c, 0, 0, ReleaseFrame, nullptr), QVA_SUCCESS);
  ComponentBuffer lent{};
  lent.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL;
  lent.data = new uint8_t[64];
  std::memset(lent.data, 0x77, 64);
  lent.length = lent.capacity = 64;
  uint32_t taken = 0;
  ASSERT_EQ(CompBase_PushInput(c, 0, &lent, QVA_INFINITE, &taken), QVA_SUCCESS);
  EXPECT_TRUE(g_hookHolds.WaitFor(1));
  EXPECT_EQ(CompBase_SendCommand(c, CMD_EMPTY, 0, 0, 0, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(g_framesReleased.Count(), 0u);
  g_hookMayReturn.Raise();
  EXPECT_TRUE(g_framesReleased.WaitFor(1));
  Finish(c);
  EXPECT_EQ(g_framesReleased.Count(), 1u);
}

}  // namespace
}  // namespace orx::test
